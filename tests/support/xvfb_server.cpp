#include "xvfb_server.h"

#include <signal.h>

#include <chrono>

namespace tavc::test {

XvfbServer::XvfbServer() {
    std::string xvfb = program_on_path("Xvfb");
    if (xvfb.empty()) {
        why_ = "Xvfb is not installed";
        return;
    }
    // With -displayfd the server picks a free display itself and writes its number once it accepts
    // clients: that line is the readiness signal.
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        xvfb, "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24", "-noreset"});
    if (!server_->started()) {
        why_ = "Xvfb could not be started";
        return;
    }
    std::optional<std::string> number = server_->read_line(std::chrono::seconds(30));
    if (!number || number->empty() || number->find_first_not_of("0123456789") != std::string::npos) {
        why_ = "Xvfb did not report a display";
        server_.reset();
        return;
    }
    display_ = ":" + *number;
    display_env_ = std::make_unique<ScopedEnv>("DISPLAY", display_);
}

XvfbServer::~XvfbServer() {
    display_env_.reset();
    // Asked to end, the server removes its socket and lock file; killed, it would leave them behind.
    if (server_ && ::kill(server_->pid(), SIGTERM) == 0) server_->wait(std::chrono::seconds(10));
    server_.reset();
}

bool XvfbServer::press_keys(const std::string& keys) const {
    std::string xdotool = program_on_path("xdotool");
    if (!started() || xdotool.empty()) return false;
    // xdotool syncs with the server before it exits, so the press has happened when it has ended.
    ChildProcess child({xdotool, "key", keys}, {"DISPLAY=" + display_});
    return child.wait(std::chrono::seconds(30)) == 0;
}

}  // namespace tavc::test
