// Arbitrary bytes as an agent command: once as the UTF-16 text a client hands to Execute (stored in the
// ring, narrowed and dispatched as the worker does), once directly as narrowed GBK bytes. The stub
// driver checks what reaches it: every text within 64 bytes, every rectangle readable, and a pause
// only after a Cls call.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "agent_module.h"
#include "command_language.h"

namespace {

bool g_cls_called = false;

void CheckText(const char* text) {
    if (text == nullptr || strnlen(text, 65) > 64) __builtin_trap();
}

void CheckRectangle(const int32_t* rect) {
    if (rect == nullptr) return;
    volatile int32_t sum = rect[0] + 0;
    sum = sum + rect[3];
}

extern "C" {
void StubCls(int32_t* rect) {
    CheckRectangle(rect);
    g_cls_called = true;
}
void StubNumbers3(int32_t, int32_t, int32_t) {}
void StubSetFont(int32_t, char* face, int32_t) {
    CheckText(face);
}
void StubDrawText(int32_t, int32_t, char* text) {
    CheckText(text);
}
void StubDrawImage(int32_t, int32_t, char* file, int32_t* rect) {
    CheckText(file);
    CheckRectangle(rect);
}
void StubNumbers4(int32_t, int32_t, int32_t, int32_t) {}
void StubNone() {}
void StubNumbers2(int32_t, int32_t) {}
void StubText(char* text) {
    CheckText(text);
}
void StubTextFlag(char* text, int32_t flag) {
    CheckText(text);
    if (flag != 0 && flag != 1) __builtin_trap();
}
void StubTextZero(char* text, int32_t mode) {
    CheckText(text);
    if (mode != 0) __builtin_trap();
}
void StubAvDisplay(int32_t channel, char* text, int32_t) {
    CheckText(text);
    if (channel != 0) __builtin_trap();
}
void StubChannel(int32_t channel) {
    if (channel != 0) __builtin_trap();
}
}

corvis::DriverTable StubDriver() {
    corvis::DriverTable d;
    d.Cls = StubCls;
    d.Scroll = StubNumbers3;
    d.SetFont = StubSetFont;
    d.DrawText = StubDrawText;
    d.DrawImage = StubDrawImage;
    d.DrawLine = StubNumbers4;
    d.Reset = StubNone;
    d.SetOrigin = StubNumbers2;
    d.SoundOut = StubText;
    d.SoftSoundOut = StubTextFlag;
    d.TAVSpeak = StubTextZero;
    d.Set2Splash = StubNone;
    d.avdisplayA = StubAvDisplay;
    d.avreset = StubChannel;
    d.avresetdisplay = StubChannel;
    return d;
}

void Dispatch(const corvis::DriverTable& driver, const char* narrow) {
    g_cls_called = false;
    const uint32_t pause_ms = corvis::DispatchCommand(driver, narrow);
    if (pause_ms != (g_cls_called ? corvis::kClsPauseMs : 0)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const corvis::DriverTable driver = StubDriver();
    static corvis::AgentModule* module = new corvis::AgentModule;

    // As Execute receives it, and as the worker runs the slot.
    std::u16string text(size / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    corvis::CommandRing& ring = module->ring;
    const corvis::ExecuteResult stored = corvis::Execute(*module, text.data(), text.size());
    if ((stored == corvis::ExecuteResult::TooLong) != (text.size() > corvis::kSlotTextUnits))
        __builtin_trap();
    if (stored == corvis::ExecuteResult::Stored) {
        char narrow[corvis::kNarrowCommandBytes];
        const bool fits = corvis::NarrowCommandText(ring.front()->text, narrow);
        if (strnlen(narrow, sizeof narrow) >= sizeof narrow || (!fits && narrow[0] != '\0')) __builtin_trap();
        Dispatch(driver, narrow);
        ring.pop();
    }

    // As narrowed bytes, in a buffer of exactly their size so a read past the end is caught.
    char* bytes = new char[size + 1];
    if (size > 0) std::memcpy(bytes, data, size);
    bytes[size] = '\0';
    Dispatch(driver, bytes);
    delete[] bytes;
    return 0;
}
