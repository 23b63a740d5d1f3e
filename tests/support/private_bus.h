// A session bus of the test's own: a dbus-daemon started with its own configuration, whose service
// folder lies inside the test's temporary XDG_DATA_HOME, so activation files that a test registers are
// seen by this bus alone. While the object lives, the test process's XDG_DATA_HOME, XDG_CONFIG_HOME,
// XDG_RUNTIME_DIR and DBUS_SESSION_BUS_ADDRESS point into its temporary folder; they are restored after.
// The daemon and every server it started are killed when the object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "temp_folder.h"

namespace tavc::test {

class PrivateBus {
  public:
    // `daemon_env`: further NAME=value entries for the daemon, and so for every server it starts (an
    // activated server inherits the daemon's environment, not the client's). `system_services`: folders
    // of activation files the daemon reads after the user's, as a session bus reads the system's.
    explicit PrivateBus(std::vector<std::string> daemon_env = {},
                        std::vector<std::string> system_services = {});
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // False, with a reason, when the daemon could not be started (a test then skips).
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    const std::string& root() const { return root_; }
    std::string data_home() const { return root_ + "/data"; }
    std::string config_home() const { return root_ + "/config"; }
    std::string runtime_dir() const { return root_ + "/runtime"; }
    const std::string& address() const { return address_; }
    pid_t daemon_pid() const { return daemon_; }
    // What the daemon and the servers it started wrote on their standard output and error.
    std::string log_file() const { return root_ + "/bus.log"; }
    std::string log() const;

    // Processes started by this bus (the daemon's process group) whose program file is named `name`.
    std::vector<pid_t> processes_named(std::string_view name) const;
    // Waits at most `timeout` for `name` to run on this bus; its process id, or none.
    std::optional<pid_t> wait_for_process(std::string_view name, std::chrono::milliseconds timeout) const;

  private:
    void start(const std::vector<std::string>& daemon_env, const std::vector<std::string>& system_services);
    void set_env(const char* name, const std::string& value);

    // Unix socket paths are short: the folder stands directly under /tmp whatever TMPDIR says.
    TempFolder folder_{"tavc-bus", "/tmp"};
    const std::string& root_ = folder_.path();
    std::string address_;
    std::string error_;
    pid_t daemon_ = -1;
    std::vector<std::unique_ptr<ScopedEnv>> saved_env_;  // undone last set, first
};

}  // namespace tavc::test
