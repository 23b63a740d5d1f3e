// Running the real assistant program tavcclt in a test: a copy of it and libtessel.so in a temporary
// folder with its own configuration, runtime folder and serial-port links, on the test's X server with a
// real notification area, driven by xdotool and watched through its test probe (TAVCCLT_TEST_PROBE).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "other_user.h"
#include "temp_folder.h"
#include "xvfb_server.h"

namespace tavc::test {

using namespace std::chrono_literals;

// Asks `check` every 20 ms until it holds; false when it did not within `timeout`.
template <class Check>
bool wait_until(std::chrono::milliseconds timeout, Check check) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (check()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(20ms);
    }
}

// Runs a tool to its end (at most `timeout`); its standard output, or none when it failed to run or
// ended with another code than 0.
std::optional<std::string> run_tool(const std::vector<std::string>& argv,
                                    std::chrono::milliseconds timeout = 10s);

// Gives this process, and whatever it starts from now on, a network of its own with only the loopback
// interface, so a test may serve the fixed HTTP port 80 without meeting any other server. False when the
// system does not allow it (the test then skips). Call it before starting any thread or X server.
bool own_network_namespace();

// A notification area on the test's X server: trayer, ready once it owns _NET_SYSTEM_TRAY_S0.
class TrayHost {
  public:
    TrayHost();
    bool started() const { return why_.empty(); }
    const std::string& why() const { return why_; }

  private:
    std::unique_ptr<ChildProcess> trayer_;
    std::string why_;
};

// What the clerk's program runs on: the test's own X server, xdotool for keys and clicks, and a
// notification area. When one is missing, ready() is false and why() says which (a test then skips).
class Desktop {
  public:
    Desktop();
    bool ready() const { return why_.empty(); }
    const std::string& why() const { return why_; }

  private:
    std::unique_ptr<XvfbServer> xvfb_;
    std::unique_ptr<TrayHost> tray_;  // declared after the server, so it goes first
    std::string why_;
};

// One record of a hot-key file.
struct HotKeyFileRecord {
    int32_t key_index = 0;
    bool ctrl = false, alt = false, shift = false, win = false;
    int32_t kind = 0;
    std::string command;  // written only for kind 0
};
// The bytes of a hot-key file holding `records`.
std::string hot_key_file(const std::vector<HotKeyFileRecord>& records);

// A name or value as the cache file beside the program stores it: upper-case hex of its bytes.
std::string CacheHex(const std::string& bytes);
// The five usual bindings, Win+1 to Win+5.
std::vector<HotKeyFileRecord> usual_hot_keys();

// The lines the program's probe wrote, read in order: each wait looks at the lines after the last match.
class ProbeLog {
  public:
    explicit ProbeLog(std::string path) : path_(std::move(path)) {}
    // Waits for a line that contains `text`; true when one came within `timeout`.
    bool wait_for(const std::string& text, std::chrono::milliseconds timeout = 10s);
    // Every line so far (without moving on).
    std::vector<std::string> lines() const;
    // Lines after the last match that contain `text`.
    size_t count_after(const std::string& text) const;
    // Moves past every line written so far.
    void skip_all() { cursor_ = lines().size(); }

  private:
    std::string path_;
    size_t cursor_ = 0;
};

class AssistantProgram {
  public:
    // A copy of build/bin/tavcclt named `file_name`, with libtessel.so and a hot-key file without keys,
    // in a new folder.
    explicit AssistantProgram(const std::string& file_name = "tavcclt");
    ~AssistantProgram();
    AssistantProgram(const AssistantProgram&) = delete;
    AssistantProgram& operator=(const AssistantProgram&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    std::string folder() const { return folder_.path() + "/bin"; }
    std::string program() const { return folder() + "/" + file_name_; }
    std::string config_home() const { return folder_ / "config"; }
    std::string runtime_dir() const { return folder_ / "runtime"; }
    // Another copy of the program in the same folder.
    void copy_as(const std::string& file_name) const;
    // Serial port n leads to a tty (the terminal simulator's slave) or to a path that does not exist.
    void link_port(int number, const std::string& target) const;
    void write_hot_keys(const std::vector<HotKeyFileRecord>& records,
                        const std::string& file_name = "") const;
    // Extra NAME=value entries for the processes started from now on; an entry replaces the fixture's own
    // of that name, and "NAME" alone removes it.
    void add_env(const std::string& entry) { env_.push_back(entry); }
    // Runs the program as `user` from now on, the copy's folders handed over to that account.
    void run_as(const OtherUser& user);
    // Words put before the program's path of the processes started from now on (another account's
    // launcher, other_user.h).
    void set_launcher(std::vector<std::string> launcher) { launcher_ = std::move(launcher); }
    // The files the program writes beside its folder: its test probe's lines and its standard error.
    std::string probe_file() const { return folder_ / "probe.log"; }
    std::string stderr_file() const { return folder_ / "stderr.log"; }

    // Starts the copy `file_name` (default: the first); its standard error goes to stderr_text().
    std::unique_ptr<ChildProcess> start(const std::string& file_name = "");
    // Starts the program and waits until its main window is visible: false when it is not within
    // `timeout`. The process stays in main_process().
    bool start_and_wait(std::chrono::milliseconds timeout = 20s);
    ChildProcess* main_process() const { return main_.get(); }

    ProbeLog& probe() { return probe_; }
    std::string stderr_text() const;

    // The main window (found by its title, visible or not); empty when there is none.
    std::string main_window() const;
    bool window_visible() const;
    // Waits until the main window is visible (or hidden).
    bool wait_visible(bool visible, std::chrono::milliseconds timeout = 10s) const;
    // The visible main window of `process`, a program started by start(), found by its process id; empty
    // when it shows none within `timeout`.
    std::string window_of(const ChildProcess& process, std::chrono::milliseconds timeout = 10s) const;
    // How many windows, visible or not, carry the main window's title.
    size_t titled_windows() const;
    // Position of the main window on the screen.
    std::optional<std::pair<int, int>> window_position() const;
    // Position of a visible window titled `caption` other than the main window (a dialog).
    std::optional<std::pair<int, int>> box_position(const std::string& caption,
                                                    std::chrono::milliseconds timeout = 10s) const;

    // Finds a visible window titled `caption` other than the main window, gives it the focus and
    // presses `keys` (xdotool key names) in it. False when no such window came within `timeout`.
    bool answer_box(const std::string& caption, const std::string& keys,
                    std::chrono::milliseconds timeout = 10s);
    // Clicks at a point of a visible window titled `caption` other than the main window (a dialog), which
    // also gives the dialog the keyboard.
    bool click_in_box(const std::string& caption, int x, int y, std::chrono::milliseconds timeout = 10s);
    // Waits until no visible window is titled `caption`.
    bool wait_box_gone(const std::string& caption, std::chrono::milliseconds timeout = 10s) const;
    // Key presses through the X test extension to whichever window has the focus (xdotool key).
    bool key(const std::string& keys) const;
    // Types text into the focused window.
    bool type(const std::string& text) const;
    // Gives the main window the focus.
    bool focus_main() const;
    // A click at a point of the main window's client area.
    bool click(int x, int y) const;

    // A click with `button` (1 left, 3 right; 2 clicks with `double_click`) on the notification-area icon.
    bool tray_click(int button, bool double_click = false) const;
    // Waits until a pop-up of the program (a menu, a drop-down list) is open.
    bool wait_popup(std::chrono::milliseconds timeout = 10s) const;
    // The close request of the window's close button.
    bool request_close() const;
    // Closes the program through its window's close request and answers the exit question with Yes;
    // waits for the end. False when it did not end.
    bool close_with_yes(std::chrono::milliseconds timeout = 20s);
    // The same for the window `window` of `process`, another program than the first.
    bool close_with_yes(const std::string& window, ChildProcess& process,
                        std::chrono::milliseconds timeout = 20s);

  private:
    std::optional<std::pair<int, int>> position_of(const std::string& window) const;
    // A visible window titled `caption`, neither the main window nor `besides` nor one answered already.
    std::string find_box(const std::string& caption, std::chrono::milliseconds timeout,
                         const std::string& besides = "") const;
    // Gives the box `box` the focus and presses `keys` in it; false when there is no box.
    bool answer(const std::string& box, const std::string& keys);

    TempFolder folder_{"tavcclt"};
    std::string file_name_;
    std::string error_;
    std::vector<std::string> env_;
    std::vector<std::string> launcher_;  // the command that starts the program as another user
    std::unique_ptr<ChildProcess> main_;
    ProbeLog probe_;
    mutable std::string main_window_;    // as last found, while it exists
    std::vector<std::string> answered_;  // boxes answered already, which may linger for a moment
};

}  // namespace tavc::test
