#include "counter_road.h"

#include <cstdlib>
#include <thread>

#include "codepage.h"
#include "profile.h"
#include "registry.h"

namespace tavc::test {

namespace {

const std::string kProgram = "tavcclt";
const std::string kTitle = "tavcclt";  // the error and message boxes' caption

std::string unhex(const std::string& text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string Gbk(const std::string& utf8) {
    return codepage::gbk_from_utf8(utf8);
}

CounterRoad::CounterRoad() {
    network_ = own_network_namespace();  // before any thread or server starts
    desktop_ = std::make_unique<Desktop>();
    if (!desktop_->ready()) {
        skip_ = desktop_->why();
        return;
    }
    record_ = std::make_unique<PanelkitRecord>();
    bus_ = std::make_unique<PrivateBus>(std::vector<std::string>{
        "LD_LIBRARY_PATH=" + env("TAVC_TEST_BIN_DIR") + "/support", "PANELKIT_RECORD=" + record_->path()});
    if (!bus_->ok()) {
        skip_ = bus_->error();
        return;
    }
    app_ = std::make_unique<AssistantProgram>(kProgram);
    if (!app_->ok()) {
        skip_ = app_->error();
        return;
    }
    // The program's settings and class registrations are its own; its bus is the test's.
    config_ = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", app_->config_home());
    app_->add_env("DBUS_SESSION_BUS_ADDRESS=" + bus_->address());
    ChildProcess registering({env("TAVC_BIN_DIR") + "/corvis", "-RegServer"});
    if (registering.wait(std::chrono::seconds(10)) != 0) {
        skip_ = "corvis -RegServer failed";
        return;
    }
    app_->write_hot_keys(usual_hot_keys());
    terminal_ = std::make_unique<TerminalSimulator>();
    if (!terminal_->ready()) {
        skip_ = terminal_->error();
        return;
    }
    terminal_->link_as_port(app_->config_home(), 1);
}

CounterRoad::~CounterRoad() {
    app_.reset();
    terminal_.reset();
    config_.reset();
    bus_.reset();
    record_.reset();
    desktop_.reset();
}

void CounterRoad::set_setting(const std::string& name, uint32_t value) const {
    registry::Key::open(registry::Hive::CurrentUser, "Software\\TAVC\\Settings", true)
        ->write(name, registry::Value{registry::ValueType::Dword, "", value});
}

bool CounterRoad::start(bool visible) {
    // The creation handler registers the hot keys before the window shows its login page.
    return app_->start_and_wait() && app_->probe().wait_for("hotkeys registered ") &&
           app_->probe().wait_for("login page") && (visible || hide());
}

bool CounterRoad::hide() {
    if (app_->window_visible()) {
        std::unique_ptr<ChildProcess> second = app_->start();
        if (second->wait(std::chrono::seconds(10)) != 0) return false;
    }
    return app_->wait_visible(false);
}

bool CounterRoad::hot_key(int number) {
    // xdotool now and then fails to send the keys on a busy machine (it then ends with an error): it
    // tries again, a few times at most.
    const std::string keys = "super+" + std::to_string(number);
    for (int i = 0; i < 3 && !app_->key(keys); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return app_->probe().wait_for("hotkey " + std::to_string(number - 1) + " kind");
}

bool CounterRoad::click(int x, int y, int count) const {
    // Moved away first, and the exit code not looked at: xdotool's pointer move reports a failure when
    // the pointer is on the spot already. What the click brings is what a test checks.
    ChildProcess xdotool({program_on_path("xdotool"), "mousemove", "0", "0", "mousemove", "--window",
                          app_->main_window(), std::to_string(x), std::to_string(y), "click", "--repeat",
                          std::to_string(count), "--delay", "40", "1"});
    return xdotool.wait(std::chrono::seconds(10)).has_value();
}

bool CounterRoad::retype(const std::string& text) {
    if (!app_->key("ctrl+a")) return false;
    if (text.empty()) return app_->key("BackSpace");
    // "--": a text may begin with "-".
    return run_tool({program_on_path("xdotool"), "type", "--delay", "10", "--", text}).has_value();
}

std::vector<TerminalCommand> CounterRoad::next_commands(size_t count, std::chrono::milliseconds timeout) {
    std::vector<TerminalCommand> all = terminal_->wait_for_commands(commands_taken_ + count, timeout);
    std::vector<TerminalCommand> fresh(all.begin() + static_cast<std::ptrdiff_t>(commands_taken_), all.end());
    commands_taken_ = all.size();
    return fresh;
}

std::vector<DriverCall> CounterRoad::next_calls(size_t count, std::chrono::milliseconds timeout) {
    std::vector<DriverCall> all = record_->wait_for_calls(calls_taken_ + count, timeout);
    std::vector<DriverCall> fresh(all.begin() + static_cast<std::ptrdiff_t>(calls_taken_), all.end());
    calls_taken_ = all.size();
    return fresh;
}

bool CounterRoad::nothing_more(std::chrono::milliseconds quiet) {
    return next_commands(1, quiet).empty() && next_calls(1, quiet).empty();
}

std::vector<std::string> CounterRoad::cached_ratings() const {
    std::vector<std::string> out;
    for (const profile::Entry& entry :
         profile::entries(cache_file(), CacheHex("Remarks")).value_or(std::vector<profile::Entry>{}))
        out.push_back(unhex(entry.value));
    return out;
}

std::string CounterRoad::trace() const {
    std::string out = "the program's probe:\n";
    for (const std::string& line : app_->probe().lines()) out += "  " + line + "\n";
    return out + "its standard error:\n" + app_->stderr_text();
}

bool CounterRoad::request_rating() {
    // A hot key on a visible window only hides it.
    if (app_->window_visible() && !(hot_key(4) && app_->wait_visible(false))) return false;
    return hot_key(4);
}

bool CounterRoad::answer_error(const std::string& text) {
    return app_->probe().wait_for("error " + kTitle + "|" + text) && app_->answer_box(kTitle, "Return");
}

bool CounterRoad::answer_message(const std::string& text) {
    return app_->probe().wait_for("box " + kTitle + "|" + text) && app_->answer_box(kTitle, "Return");
}

}  // namespace tavc::test
