#include "xvfb_server.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace tavc::test {
namespace {

std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace

XvfbServer::XvfbServer() {
    std::string xvfb = find_program("Xvfb");
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
    server_.reset();
}

}  // namespace tavc::test
