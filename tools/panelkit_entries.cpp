// Compiled into each stand-in driver; PANELKIT_WITHOUT_SET2SPLASH leaves out one entry, for tests of a
// driver that lacks one.
#include "panelkit_entries.h"

#include <type_traits>

#include "driver_entries.h"

#define PANELKIT_ENTRY extern "C" __attribute__((visibility("default")))

using namespace panelkit_stand_in;

PANELKIT_ENTRY void Cls(int32_t* rect) {
    report("Cls", {rectangle(rect)});
}
PANELKIT_ENTRY void Scroll(int32_t a, int32_t b, int32_t c) {
    report("Scroll", {number(a), number(b), number(c)});
}
PANELKIT_ENTRY void SetFont(int32_t size, char* face, int32_t style) {
    report("SetFont", {number(size), text(face), number(style)});
}
PANELKIT_ENTRY void DrawText(int32_t x, int32_t y, char* s) {
    report("DrawText", {number(x), number(y), text(s)});
}
PANELKIT_ENTRY void DrawImage(int32_t x, int32_t y, char* file, int32_t* rect) {
    report("DrawImage", {number(x), number(y), text(file), rectangle(rect)});
}
PANELKIT_ENTRY void DrawLine(int32_t a, int32_t b, int32_t c, int32_t d) {
    report("DrawLine", {number(a), number(b), number(c), number(d)});
}
PANELKIT_ENTRY void Reset() {
    report("Reset", {});
}
PANELKIT_ENTRY void SetOrigin(int32_t a, int32_t b) {
    report("SetOrigin", {number(a), number(b)});
}
PANELKIT_ENTRY void SoundOut(char* s) {
    report("SoundOut", {text(s)});
}
PANELKIT_ENTRY void SoftSoundOut(char* s, int32_t flag) {
    // Only the low byte carries the boolean.
    report("SoftSoundOut", {text(s), number(flag & 0xFF)});
}
PANELKIT_ENTRY void TAVSpeak(char* s, int32_t mode) {
    report("TAVSpeak", {text(s), number(mode)});
}
#ifndef PANELKIT_WITHOUT_SET2SPLASH
PANELKIT_ENTRY void Set2Splash() {
    report("Set2Splash", {});
}
#endif
PANELKIT_ENTRY void avdisplayA(int32_t channel, char* s, int32_t m) {
    report("avdisplayA", {number(channel), text(s), number(m)});
}
PANELKIT_ENTRY void avreset(int32_t channel) {
    report("avreset", {number(channel)});
}
PANELKIT_ENTRY void avresetdisplay(int32_t channel) {
    report("avresetdisplay", {number(channel)});
}

// The stand-ins take exactly the parameters the agent passes.
namespace entries = corvis::driver;
static_assert(std::is_same_v<decltype(&Cls), entries::ClsEntry>);
static_assert(std::is_same_v<decltype(&Scroll), entries::ScrollEntry>);
static_assert(std::is_same_v<decltype(&SetFont), entries::SetFontEntry>);
static_assert(std::is_same_v<decltype(&DrawText), entries::DrawTextEntry>);
static_assert(std::is_same_v<decltype(&DrawImage), entries::DrawImageEntry>);
static_assert(std::is_same_v<decltype(&DrawLine), entries::DrawLineEntry>);
static_assert(std::is_same_v<decltype(&Reset), entries::ResetEntry>);
static_assert(std::is_same_v<decltype(&SetOrigin), entries::SetOriginEntry>);
static_assert(std::is_same_v<decltype(&SoundOut), entries::SoundOutEntry>);
static_assert(std::is_same_v<decltype(&SoftSoundOut), entries::SoftSoundOutEntry>);
static_assert(std::is_same_v<decltype(&TAVSpeak), entries::TAVSpeakEntry>);
static_assert(std::is_same_v<decltype(&avdisplayA), entries::avdisplayAEntry>);
static_assert(std::is_same_v<decltype(&avreset), entries::avresetEntry>);
static_assert(std::is_same_v<decltype(&avresetdisplay), entries::avresetdisplayEntry>);
