#include "assistant_program.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "folders.h"
#include "module.h"

namespace tavc::test {

namespace fs = std::filesystem;

namespace {

std::string xdotool() {
    return program_on_path("xdotool");
}

std::string bin_dir() {
    const char* dir = std::getenv("TAVC_BIN_DIR");
    return dir != nullptr ? dir : "";
}

// The id's of windows titled exactly `title` (or of the window class `title`).
std::vector<std::string> windows_titled(const std::string& title, bool only_visible,
                                        const char* by = "--name") {
    std::vector<std::string> argv{xdotool(), "search"};
    if (only_visible) argv.push_back("--onlyvisible");
    argv.insert(argv.end(), {by, "^" + title + "$"});
    std::vector<std::string> ids;
    // xdotool search ends with 1 when nothing matches.
    std::istringstream out(run_tool(argv).value_or(""));
    for (std::string line; std::getline(out, line);)
        if (!line.empty()) ids.push_back(line);
    return ids;
}

const std::string kMainTitle = "ORB-100小助手";

// WM_DELETE_WINDOW, as a window manager sends it for the close button.
bool send_close_request(const std::string& window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    bool sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event) != 0;
    XCloseDisplay(display);
    return sent;
}

}  // namespace

std::optional<std::string> run_tool(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    if (argv.empty() || argv[0].empty()) return std::nullopt;
    ChildProcess tool(argv);
    if (!tool.started()) return std::nullopt;
    std::string out;
    auto end = std::chrono::steady_clock::now() + timeout;
    while (auto line = tool.read_line(std::chrono::duration_cast<std::chrono::milliseconds>(
               std::max(end - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration(0))))) {
        out += *line + "\n";
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    std::optional<int> code = tool.wait(std::max(left, std::chrono::milliseconds(100)));
    if (!code || *code != 0) return std::nullopt;
    return out;
}

bool own_network_namespace() {
    static const bool done = [] {
        if (::unshare(CLONE_NEWNET) != 0) return false;
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        ifreq request{};
        std::snprintf(request.ifr_name, sizeof(request.ifr_name), "lo");
        bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
        request.ifr_flags |= IFF_UP;
        up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
        ::close(fd);
        return up;
    }();
    return done;
}

TrayHost::TrayHost() {
    std::string trayer = program_on_path("trayer");
    if (trayer.empty()) {
        why_ = "trayer is not installed";
        return;
    }
    trayer_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{trayer, "--edge", "bottom", "--align", "right"});
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        why_ = "no X display";
        return;
    }
    Atom selection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
    bool owned = wait_until(10s, [&] { return XGetSelectionOwner(display, selection) != None; });
    XCloseDisplay(display);
    if (!owned) why_ = "trayer did not take the notification area";
}

Desktop::Desktop() : xvfb_(std::make_unique<XvfbServer>()) {
    if (!xvfb_->started()) {
        why_ = xvfb_->why();
        return;
    }
    if (program_on_path("xdotool").empty()) {
        why_ = "xdotool is not installed";
        return;
    }
    tray_ = std::make_unique<TrayHost>();
    why_ = tray_->why();
}

std::string hot_key_file(const std::vector<HotKeyFileRecord>& records) {
    auto text = [](std::string& out, const std::string& value) {
        out += '\x06';
        out += static_cast<char>(value.size());
        out += value;
    };
    auto integer = [](std::string& out, int32_t value) {
        out += '\x04';
        for (int i = 0; i < 4; ++i) out += static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
    };
    auto boolean = [](std::string& out, bool value) { out += value ? '\x09' : '\x08'; };
    std::string out;
    text(out, "hot keys");
    out += '\x01';
    for (const HotKeyFileRecord& r : records) {
        text(out, "key");
        integer(out, r.kind);
        if (r.kind == 0) text(out, r.command);
        for (bool flag : {r.ctrl, r.alt, r.shift, r.win}) boolean(out, flag);
        integer(out, r.key_index);
        boolean(out, false);
    }
    out += '\x00';
    return out;
}

std::vector<HotKeyFileRecord> usual_hot_keys() {
    return {{.key_index = 19, .win = true, .kind = 0},
            {.key_index = 20, .win = true, .kind = 1},
            {.key_index = 21, .win = true, .kind = 2},
            {.key_index = 22, .win = true, .kind = 0, .command = "PJ"},
            {.key_index = 23, .win = true, .kind = 3}};
}

bool ProbeLog::wait_for(const std::string& text, std::chrono::milliseconds timeout) {
    return wait_until(timeout, [&] {
        std::vector<std::string> all = lines();
        for (size_t i = cursor_; i < all.size(); ++i) {
            if (all[i].find(text) != std::string::npos) {
                cursor_ = i + 1;
                return true;
            }
        }
        return false;
    });
}

std::vector<std::string> ProbeLog::lines() const {
    std::vector<std::string> all;
    std::string content = read_file(path_);
    size_t start = 0;
    // A last line still being written is left out.
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
        all.push_back(content.substr(start, end - start));
    return all;
}

size_t ProbeLog::count_after(const std::string& text) const {
    std::vector<std::string> all = lines();
    size_t count = 0;
    for (size_t i = cursor_; i < all.size(); ++i) count += all[i].find(text) != std::string::npos;
    return count;
}

AssistantProgram::AssistantProgram(const std::string& file_name)
    : file_name_(file_name), probe_(probe_file()) {
    if (!folder_.ok() || bin_dir().empty()) {
        error_ = "no temporary folder or TAVC_BIN_DIR";
        return;
    }
    std::error_code ec;
    fs::create_directories(folder(), ec);
    fs::create_directories(folders::dosdevices_folder_in(config_home()), ec);
    fs::create_directories(runtime_dir(), ec);
    ::chmod(runtime_dir().c_str(), 0700);
    fs::copy_file(bin_dir() + "/tavcclt", program(), ec);
    if (ec || copy_library(bin_dir() + "/libtessel.so", folder()).empty())
        error_ = "cannot copy the program: " + ec.message();
    // Never the machine's real ports: every port leads nowhere until a test links it.
    for (int port = 1; port <= 10; ++port) link_port(port, folder_ / "no-such-tty");
    // A hot-key file without keys: a missing one is reported at every start.
    write_hot_keys({});
}

AssistantProgram::~AssistantProgram() {
    if (main_) main_->kill_now();
}

void AssistantProgram::copy_as(const std::string& file_name) const {
    std::error_code ec;
    fs::copy_file(program(), folder() + "/" + file_name, ec);
    write_hot_keys({}, file_name);
}

void AssistantProgram::link_port(int number, const std::string& target) const {
    std::string link = folders::port_link_in(config_home(), number);
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_symlink(target, link, ec);
}

void AssistantProgram::write_hot_keys(const std::vector<HotKeyFileRecord>& records,
                                      const std::string& file_name) const {
    std::string name = file_name.empty() ? file_name_ : file_name;
    std::ofstream(folder() + "/" + module::with_extension(name, ".hkd"), std::ios::binary)
        << hot_key_file(records);
}

void AssistantProgram::run_as(const OtherUser& user) {
    user.give(folder_.path());
    launcher_ = user.launcher();
}

std::unique_ptr<ChildProcess> AssistantProgram::start(const std::string& file_name) {
    std::string path = folder() + "/" + (file_name.empty() ? file_name_ : file_name);
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + config_home(), "XDG_RUNTIME_DIR=" + runtime_dir(),
                                 "TAVCCLT_TEST_PROBE=" + probe_file(), "QT_QPA_PLATFORM",
                                 "DBUS_SESSION_BUS_ADDRESS"};
    auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (const std::string& entry : env_) {
        std::erase_if(env, [&](const std::string& own) { return name_of(own) == name_of(entry); });
        env.push_back(entry);
    }
    // In a sanitizer build: what Qt and the X libraries keep until the end is no leak of ours.
    if (const char* source = std::getenv("TAVC_SOURCE_DIR"))
        env.push_back(std::string("LSAN_OPTIONS=print_suppressions=0:suppressions=") + source +
                      "/tests/support/qt_leaks.supp");
    // Through a shell that replaces itself, so the process is the program's and its standard error is kept;
    // the log is opened before a launcher changes the user.
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$@\" 2>>\"$0\"", stderr_file()};
    argv.insert(argv.end(), launcher_.begin(), launcher_.end());
    argv.push_back(path);
    return std::make_unique<ChildProcess>(argv, env);
}

bool AssistantProgram::start_and_wait(std::chrono::milliseconds timeout) {
    main_ = start();
    return main_->started() && wait_visible(true, timeout);
}

std::string AssistantProgram::stderr_text() const {
    return read_file(stderr_file());
}

std::string AssistantProgram::main_window() const {
    std::vector<std::string> ids = windows_titled(kMainTitle, false);
    // The exit question carries the same title: the main window is the one found before it came, or
    // else (after a restart) the one made first.
    if (std::find(ids.begin(), ids.end(), main_window_) == ids.end())
        main_window_ =
            ids.empty() ? std::string() : *std::min_element(ids.begin(), ids.end(), [](auto& a, auto& b) {
                return std::stoul(a) < std::stoul(b);
            });
    return main_window_;
}

bool AssistantProgram::window_visible() const {
    std::string main = main_window();
    if (main.empty()) return false;
    for (const std::string& id : windows_titled(kMainTitle, true))
        if (id == main) return true;
    return false;
}

bool AssistantProgram::wait_visible(bool visible, std::chrono::milliseconds timeout) const {
    return wait_until(timeout, [&] { return window_visible() == visible && !main_window().empty(); });
}

std::string AssistantProgram::window_of(const ChildProcess& process,
                                        std::chrono::milliseconds timeout) const {
    std::string window;
    wait_until(timeout, [&] {
        std::istringstream out(run_tool({xdotool(), "search", "--all", "--onlyvisible", "--pid",
                                         std::to_string(process.pid()), "--name", "^" + kMainTitle + "$"})
                                   .value_or(""));
        std::getline(out, window);
        return !window.empty();
    });
    return window;
}

size_t AssistantProgram::titled_windows() const {
    return windows_titled(kMainTitle, false).size();
}

std::optional<std::pair<int, int>> AssistantProgram::window_position() const {
    return position_of(main_window());
}

std::optional<std::pair<int, int>> AssistantProgram::box_position(const std::string& caption,
                                                                  std::chrono::milliseconds timeout) const {
    return position_of(find_box(caption, timeout));
}

std::optional<std::pair<int, int>> AssistantProgram::position_of(const std::string& window) const {
    if (window.empty()) return std::nullopt;
    std::optional<std::string> out = run_tool({xdotool(), "getwindowgeometry", "--shell", window});
    if (!out) return std::nullopt;
    int x = -1, y = -1;
    std::istringstream lines(*out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("X=", 0) == 0) x = std::stoi(line.substr(2));
        if (line.rfind("Y=", 0) == 0) y = std::stoi(line.substr(2));
    }
    return std::make_pair(x, y);
}

std::string AssistantProgram::find_box(const std::string& caption, std::chrono::milliseconds timeout,
                                       const std::string& besides) const {
    std::string box;
    std::string main = main_window();
    wait_until(timeout, [&] {
        for (const std::string& id : windows_titled(caption, true))
            if (id != main && id != besides &&
                std::find(answered_.begin(), answered_.end(), id) == answered_.end())
                box = id;
        return !box.empty();
    });
    return box;
}

bool AssistantProgram::answer_box(const std::string& caption, const std::string& keys,
                                  std::chrono::milliseconds timeout) {
    return answer(find_box(caption, timeout), keys);
}

bool AssistantProgram::answer(const std::string& box, const std::string& keys) {
    if (box.empty()) return false;
    answered_.push_back(box);
    run_tool({xdotool(), "windowfocus", "--sync", box});
    return key(keys);
}

bool AssistantProgram::click_in_box(const std::string& caption, int x, int y,
                                    std::chrono::milliseconds timeout) {
    std::string box = find_box(caption, timeout);
    return !box.empty() && run_tool({xdotool(), "mousemove", "--window", box, "--sync", std::to_string(x),
                                     std::to_string(y), "click", "1"})
                               .has_value();
}

bool AssistantProgram::wait_box_gone(const std::string& caption, std::chrono::milliseconds timeout) const {
    return wait_until(timeout, [&] { return windows_titled(caption, true).empty(); });
}

bool AssistantProgram::key(const std::string& keys) const {
    std::vector<std::string> argv{xdotool(), "key", "--delay", "20"};
    std::istringstream words(keys);
    for (std::string word; words >> word;) argv.push_back(word);
    return run_tool(argv).has_value();
}

bool AssistantProgram::type(const std::string& text) const {
    return run_tool({xdotool(), "type", "--delay", "10", text}).has_value();
}

bool AssistantProgram::focus_main() const {
    std::string main = main_window();
    return !main.empty() && run_tool({xdotool(), "windowfocus", "--sync", main}).has_value();
}

bool AssistantProgram::click(int x, int y) const {
    std::string main = main_window();
    return !main.empty() && run_tool({xdotool(), "mousemove", "--window", main, "--sync", std::to_string(x),
                                      std::to_string(y), "click", "1"})
                                .has_value();
}

bool AssistantProgram::tray_click(int button, bool double_click) const {
    // The icon is the window that trayer embedded in its panel: the panel's first child.
    std::optional<std::string> panel = run_tool({xdotool(), "search", "--classname", "^panel$"});
    if (!panel || panel->empty()) return false;
    std::string icon;
    wait_until(10s, [&] {
        std::optional<std::string> children =
            run_tool({program_on_path("xwininfo"), "-children", "-id", panel->substr(0, panel->find('\n'))});
        std::istringstream lines(children.value_or(""));
        // "0x200026 (has no name): ()  22x24+1001+1  +1001+743": the embedded icon, not trayer's 1x1 helper
        for (std::string line; std::getline(lines, line) && icon.empty();) {
            size_t id = line.find("0x");
            size_t size = line.find("  ", line.find(')', id));
            if (id == std::string::npos || size == std::string::npos || line.find("1x1", size) == size + 2)
                continue;
            icon = std::to_string(std::stoul(line.substr(id), nullptr, 16));
        }
        return !icon.empty();
    });
    if (icon.empty()) return false;
    // No --sync: it fails when the pointer is on the spot already. The server takes the move before the
    // click.
    return run_tool({xdotool(), "mousemove", "--window", icon, "4", "4", "click", "--repeat",
                     double_click ? "2" : "1", std::to_string(button)})
        .has_value();
}

bool AssistantProgram::wait_popup(std::chrono::milliseconds timeout) const {
    // Every window of the program has its class; the pop-up is a visible one besides the main window.
    std::string main = main_window();
    return wait_until(timeout, [&] {
        for (const std::string& id : windows_titled(file_name_, true, "--class"))
            if (id != main) return true;
        return false;
    });
}

bool AssistantProgram::request_close() const {
    std::string main = main_window();
    return !main.empty() && send_close_request(main);
}

bool AssistantProgram::close_with_yes(std::chrono::milliseconds timeout) {
    return main_ && close_with_yes(main_window(), *main_, timeout);
}

bool AssistantProgram::close_with_yes(const std::string& window, ChildProcess& process,
                                      std::chrono::milliseconds timeout) {
    return !window.empty() && send_close_request(window) &&
           answer(find_box(kMainTitle, 10s, window), "Return") && process.wait(timeout).has_value();
}

std::string CacheHex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace tavc::test
