#include "tessel_agent_exports.h"

#include "dynamic_library.h"
#include "scoped_config_home.h"
#include "terminal_simulator.h"

namespace tavc::test {
namespace {

TesselAgentExports load(const std::string& path) {
    static TerminalSimulator terminal;
    TesselAgentExports e;
    dynamic_library::Library* library = nullptr;
    {
        // The port is opened at load from its link; after that the folder has served.
        ScopedConfigHome home("tavc-tessel");
        if (!terminal.ready() || !home.ok()) return e;
        terminal.link_as_port(home.path(), 1);
        library = dynamic_library::open(path.c_str());
    }
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
