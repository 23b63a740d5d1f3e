#include "private_bus.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace tavc::test {
namespace {

constexpr char kDaemon[] = "/usr/bin/dbus-daemon";
constexpr std::chrono::seconds kStartTimeout{10};

std::string config_text(const std::string& root, const std::vector<std::string>& system_services) {
    std::string more;
    for (const std::string& folder : system_services) more += "  <servicedir>" + folder + "</servicedir>\n";
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <keep_umask/>\n"
           "  <listen>unix:path=" +
           root +
           "/runtime/bus</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <servicedir>" +
           root + "/data/dbus-1/services</servicedir>\n" + more +
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

// The fields of /proc/<pid>/stat after the command name: state, ppid, pgrp, ...
std::optional<pid_t> process_group_of(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    size_t close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    long ppid = 0, pgrp = 0;
    if (!(rest >> state >> ppid >> pgrp) || state == "Z") return std::nullopt;
    return static_cast<pid_t>(pgrp);
}

}  // namespace

PrivateBus::PrivateBus(std::vector<std::string> daemon_env, std::vector<std::string> system_services) {
    if (!folder_.ok()) {
        error_ = "cannot create a temporary folder";
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(data_home() + "/dbus-1/services", ec);
    std::filesystem::create_directories(config_home(), ec);
    std::filesystem::create_directories(runtime_dir(), ec);
    std::filesystem::permissions(runtime_dir(), std::filesystem::perms::owner_all, ec);
    set_env("XDG_DATA_HOME", data_home());
    set_env("XDG_CONFIG_HOME", config_home());
    set_env("XDG_RUNTIME_DIR", runtime_dir());
    if (access(kDaemon, X_OK) != 0) {
        error_ = "dbus-daemon is not installed";
        return;
    }
    start(daemon_env, system_services);
    if (ok()) set_env("DBUS_SESSION_BUS_ADDRESS", address_);
}

void PrivateBus::set_env(const char* name, const std::string& value) {
    saved_env_.push_back(std::make_unique<ScopedEnv>(name, value));
}

void PrivateBus::start(const std::vector<std::string>& daemon_env,
                       const std::vector<std::string>& system_services) {
    std::string config = root_ + "/bus.conf";
    std::ofstream(config) << config_text(root_, system_services);

    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string_view entry(*e);
        bool replaced = false;
        for (const std::string& extra : daemon_env)
            if (entry.substr(0, entry.find('=') + 1) ==
                std::string_view(extra).substr(0, extra.find('=') + 1))
                replaced = true;
        if (!replaced) env.emplace_back(entry);
    }
    env.insert(env.end(), daemon_env.begin(), daemon_env.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string config_arg = "--config-file=" + config;
    std::string print_arg = "--print-address=3";
    char* argv[] = {const_cast<char*>(kDaemon), config_arg.data(), const_cast<char*>("--nofork"),
                    print_arg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::string log = log_file();
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session, so that the daemon and every server it starts can be killed as one group.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    int r = posix_spawn(&daemon_, kDaemon, &actions, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(pipe_fds[1]);
    if (r != 0) {
        close(pipe_fds[0]);
        daemon_ = -1;
        error_ = std::string("cannot start dbus-daemon: ") + std::strerror(r);
        return;
    }
    // Ready once it prints its address.
    auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    std::string line;
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd fd{pipe_fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[512];
        ssize_t n = read(pipe_fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    close(pipe_fds[0]);
    if (line.find('\n') == std::string::npos) {
        error_ = "dbus-daemon did not report its address";
        return;
    }
    address_ = line.substr(0, line.find('\n'));
}

PrivateBus::~PrivateBus() {
    if (daemon_ > 0) {
        kill(-daemon_, SIGKILL);
        kill(daemon_, SIGKILL);
        waitpid(daemon_, nullptr, 0);
    }
    while (!saved_env_.empty()) saved_env_.pop_back();
}

std::string PrivateBus::log() const {
    std::ifstream in(log_file());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<pid_t> PrivateBus::processes_named(std::string_view name) const {
    std::vector<pid_t> found;
    if (daemon_ <= 0) return found;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return found;
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid == daemon_) continue;
        if (process_group_of(static_cast<pid_t>(pid)) != daemon_) continue;
        std::error_code ec;
        auto exe = std::filesystem::read_symlink("/proc/" + std::string(entry->d_name) + "/exe", ec);
        if (!ec && exe.filename() == name) found.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return found;
}

std::optional<pid_t> PrivateBus::wait_for_process(std::string_view name,
                                                  std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto found = processes_named(name);
        if (!found.empty()) return found.front();
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        usleep(2000);  // /proc offers nothing to wait on for a process yet to come
    }
}

}  // namespace tavc::test
