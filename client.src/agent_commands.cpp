// The speech and sound exports: each hands one agent command to the command agent through the bus.
#include <algorithm>
#include <string>
#include <string_view>

#include "agent_frame.h"
#include "codepage.h"
#include "com.h"
#include "export_guard.h"
#include "kel_typelib.h"
#include "results.h"

namespace tavc::tessel {
namespace {

// What the agent's reader takes; a longer command would be cut there and run as another one.
using corvis::frame::kArgumentBytes;
using corvis::frame::kCommandBytes;

// Activation, Execute and release within the call; the objects are released on every path.
ExportResult SendAgentCommand(const std::string& command) {
    if (command.size() > kCommandBytes) return kAgentUnreachable;
    const std::u16string wide = codepage::utf16_from_gbk(command);
    // The agent counts the bytes again after converting back: only a text that survives the round trip
    // reaches it as it was counted.
    if (codepage::gbk_from_utf16(wide) != command) return kAgentUnreachable;
    com::Session session;
    if (com::failed(session.open())) return kAgentUnreachable;
    com::Object agent;
    if (com::failed(session.create_instance(corvis::kKelClassId, corvis::kIKel, agent)))
        return kAgentUnreachable;
    const com::HResult hr = agent.invoke("Execute", wide);
    agent.release();
    return com::succeeded(hr) ? kOk : kAgentUnreachable;
}

ExportResult SendText(const char* text) {
    if (text == nullptr) return kAgentUnreachable;
    const std::string_view argument(text);
    if (argument.size() > kArgumentBytes) return kAgentUnreachable;
    return SendAgentCommand(corvis::frame::Command("SoundOut", argument));
}

ExportResult SendTextWithFlag(std::string_view word, std::string_view text, int32_t flag) {
    // A boolean in a 32-bit argument: only its low byte counts.
    const std::string argument = std::string(text) + '\t' + ((flag & 0xFF) != 0 ? '1' : '0');
    if (argument.size() > kArgumentBytes) return kAgentUnreachable;
    return SendAgentCommand(corvis::frame::Command(word, argument));
}

// The agent would take the part after a white space for the flag.
ExportResult SendSoftSound(const char* text, int32_t flag) {
    if (text == nullptr) return kAgentUnreachable;
    const std::string_view t(text);
    if (std::any_of(t.begin(), t.end(), corvis::frame::IsWhiteSpace)) return kAgentUnreachable;
    return SendTextWithFlag("SoftSoundOut", t, flag);
}

// The agent speaks a text up to its first white space and never reads the flag, so a text of several
// words or lines goes as it stands and its first word is spoken. A text without a word would have the
// flag's digit spoken instead.
ExportResult SendSpeech(const char* text, int32_t flag) {
    if (text == nullptr) return kAgentUnreachable;
    const std::string_view t(text);
    if (std::all_of(t.begin(), t.end(), corvis::frame::IsWhiteSpace)) return kAgentUnreachable;
    return SendTextWithFlag("TAVSpeak", t, flag);
}

}  // namespace
}  // namespace tavc::tessel

using namespace tavc::tessel;

extern "C" TESSEL_API ExportResult TAVSoundOut(const char* text) {
    return tavc::guarded(kAgentUnreachable, [&] { return SendText(text); });
}

extern "C" TESSEL_API ExportResult TAVSoftSoundOut(const char* text, int32_t flag) {
    return tavc::guarded(kAgentUnreachable, [&] { return SendSoftSound(text, flag); });
}

extern "C" TESSEL_API ExportResult TAVSpeak(const char* text, int32_t flag) {
    return tavc::guarded(kAgentUnreachable, [&] { return SendSpeech(text, flag); });
}
