#include "tessel_agent_exports.h"

#include <stdlib.h>

#include <filesystem>

#include "dynamic_library.h"
#include "terminal_simulator.h"

namespace tavc::test {
namespace {

TesselAgentExports load(const std::string& path) {
    static TerminalSimulator terminal;
    TesselAgentExports e;
    std::string config = "/tmp/tavc-tessel.XXXXXX";
    if (!terminal.ready() || mkdtemp(config.data()) == nullptr) return e;
    terminal.link_as_port(config, 1);
    const char* old = getenv("XDG_CONFIG_HOME");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    auto* library = dynamic_library::open(path.c_str());
    if (old != nullptr) {
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;  // the port is open: its link has served
    std::filesystem::remove_all(config, ignored);
    e.sound_out = reinterpret_cast<decltype(e.sound_out)>(dynamic_library::symbol(library, "TAVSoundOut"));
    e.soft_sound_out =
        reinterpret_cast<decltype(e.soft_sound_out)>(dynamic_library::symbol(library, "TAVSoftSoundOut"));
    e.speak = reinterpret_cast<decltype(e.speak)>(dynamic_library::symbol(library, "TAVSpeak"));
    return e;
}

}  // namespace

const TesselAgentExports& TesselAgentExports::get(const std::string& library) {
    static const TesselAgentExports exports = load(library);
    return exports;
}

}  // namespace tavc::test
