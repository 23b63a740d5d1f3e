// The whole counter around the real assistant program: the program (assistant_program.h) on a test X
// server with a notification area and the usual hot keys Win+1 to Win+5, its serial port 1 on the
// terminal simulator, its session bus a private one on which corvis is registered and loads the
// recording stand-in driver, and its cache file read back as the library wrote it.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "assistant_program.h"
#include "panelkit_record.h"
#include "private_bus.h"
#include "terminal_simulator.h"

namespace tavc::test {

class CounterRoad {
  public:
    // Everything but the program itself; skip_reason() says what is missing (the test then skips).
    CounterRoad();
    ~CounterRoad();
    CounterRoad(const CounterRoad&) = delete;
    CounterRoad& operator=(const CounterRoad&) = delete;

    const std::string& skip_reason() const { return skip_; }
    // The test has a network of its own, so a server on loopback port 80 meets the program alone.
    bool own_network() const { return network_; }

    AssistantProgram& app() { return *app_; }
    TerminalSimulator& terminal() { return *terminal_; }
    const PanelkitRecord& driver() const { return *record_; }
    const PrivateBus& bus() const { return *bus_; }

    // A DWORD value of the program's settings, written before the start.
    void set_setting(const std::string& name, uint32_t value) const;

    // Starts the program and waits until it shows its login page with the hot keys registered (demo
    // mode, the default), then sends it to the notification area unless `visible`.
    bool start(bool visible = false);
    // Hides a visible main window (as a second start does) and waits until it is hidden.
    bool hide();
    // Presses a hot key and waits for the program to take it.
    bool hot_key(int number);
    // `count` clicks at a point of the main window's client area.
    bool click(int x, int y, int count = 1) const;
    // Selects the focused field's text and types `text` in its place.
    bool retype(const std::string& text);

    // The terminal's commands and the driver's calls after those already taken: waits until `count`
    // more came (or the time-out passed) and takes them.
    std::vector<TerminalCommand> next_commands(size_t count,
                                               std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::vector<DriverCall> next_calls(size_t count,
                                       std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Nothing more within `quiet` on either side.
    bool nothing_more(std::chrono::milliseconds quiet = std::chrono::milliseconds(300));

    // The cached ratings' records "user,code,detail" (GBK), in file order.
    std::vector<std::string> cached_ratings() const;
    std::string cache_file() const { return app_->folder() + "/tavc.cache"; }

    // The program's probe lines and standard error, for a failed test's report.
    std::string trace() const;
    // Asks for a rating with Win+4, first hiding a window that a former step left visible.
    bool request_rating();

    // The error box of a failed handler: its probe line seen, then answered with Enter.
    bool answer_error(const std::string& text);
    // A message box of the program, the same way.
    bool answer_message(const std::string& text);

  private:
    bool network_ = false;
    std::string skip_;
    std::unique_ptr<Desktop> desktop_;
    std::unique_ptr<PanelkitRecord> record_;
    std::unique_ptr<PrivateBus> bus_;
    std::unique_ptr<AssistantProgram> app_;
    std::unique_ptr<ScopedEnv> config_;
    std::unique_ptr<TerminalSimulator> terminal_;
    size_t commands_taken_ = 0;
    size_t calls_taken_ = 0;
};

// GBK bytes of a UTF-8 text, as the terminal and the driver receive them.
std::string Gbk(const std::string& utf8);

}  // namespace tavc::test
