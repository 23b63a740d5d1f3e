// A test's own X server: Xvfb on a free display number, DISPLAY pointing at it while the object lives.
#pragma once

#include "child_process.h"
#include "temp_folder.h"

#include <memory>
#include <string>

namespace tavc::test {

class XvfbServer {
  public:
    // Starts Xvfb and waits until it accepts clients. When Xvfb is missing or does not come up,
    // started() is false and why() says what went wrong (a test then skips).
    XvfbServer();
    ~XvfbServer();  // stops the server and puts DISPLAY back
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool started() const { return !display_.empty(); }
    const std::string& why() const { return why_; }
    const std::string& display() const { return display_; }  // ":N"

    // Types a key combination as xdotool names it ("super+1", "Num_Lock") into the server and returns
    // once the server has taken it; false when xdotool is missing or fails.
    bool press_keys(const std::string& keys) const;

  private:
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ScopedEnv> display_env_;
    std::string display_;
    std::string why_;
};

}  // namespace tavc::test
