// A test's own X server: Xvfb on a free display number, DISPLAY pointing at it while the object lives.
#pragma once

#include "child_process.h"
#include "temp_folder.h"

#include <memory>
#include <string>

struct _XDisplay;  // Xlib's Display

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

// Another client of the test's X server: what it can grab tells what the program holds, and what it holds
// the program cannot have.
class OtherXClient {
  public:
    OtherXClient();
    ~OtherXClient();
    OtherXClient(const OtherXClient&) = delete;
    OtherXClient& operator=(const OtherXClient&) = delete;
    bool ok() const { return display_ != nullptr; }

    static constexpr unsigned kAnyModifier = 1u << 15;  // X's AnyModifier, without Xlib's macros here
    static constexpr unsigned kWin = 1u << 6;           // Mod4Mask
    // Grabs the digit key with these X modifiers (any by default); true when the server allowed it.
    bool GrabDigit(int digit, unsigned modifiers = kAnyModifier);
    void UngrabDigit(int digit, unsigned modifiers = kAnyModifier);
    // True when no client holds the digit with any modifiers (the probe's grab is given back).
    bool DigitIsFree(int digit);

  private:
    bool Grab(unsigned keycode, unsigned modifiers);
    unsigned DigitKeycode(int digit) const;
    ::_XDisplay* display_;
};

}  // namespace tavc::test
