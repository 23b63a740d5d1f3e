#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern char** environ;

namespace tavc::test {

std::string program_on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view folders(path != nullptr ? path : "/usr/bin:/bin");
    while (true) {
        size_t colon = folders.find(':');
        std::string folder(folders.substr(0, colon));
        std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (colon == std::string_view::npos) return {};
        folders.remove_prefix(colon + 1);
    }
}

bool wait_for_exit(pid_t pid, std::chrono::milliseconds timeout) {
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return errno == ESRCH;
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, static_cast<int>(timeout.count()));
    } while (r < 0 && errno == EINTR);
    close(fd);
    return r > 0;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<std::string> entries;
    auto name_of = [](std::string_view e) { return e.substr(0, e.find('=')); };
    for (char** e = environ; *e != nullptr; ++e) {
        bool replaced = false;
        for (const std::string& change : env) replaced = replaced || name_of(change) == name_of(*e);
        if (!replaced) entries.emplace_back(*e);
    }
    for (const std::string& change : env)
        if (change.find('=') != std::string::npos) entries.push_back(change);
    std::vector<char*> envp;
    for (std::string& e : entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);

    int fds[2];
    if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    if (posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
}

ChildProcess::~ChildProcess() {
    kill_now();
    if (out_ >= 0) close(out_);
}

std::optional<std::string> ChildProcess::read_line(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (buffered_.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd p{out_, POLLIN, 0};
        if (out_ < 0 || left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return std::nullopt;
        char buf[256];
        ssize_t n = read(out_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        buffered_.append(buf, static_cast<size_t>(n));
    }
    size_t end = buffered_.find('\n');
    std::string line = buffered_.substr(0, end);
    buffered_.erase(0, end + 1);
    return line;
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0) return status_;
    if (!wait_for_exit(pid_, timeout)) return std::nullopt;
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return status_;
}

void ChildProcess::kill_now() {
    if (pid_ <= 0 || status_) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = -1;
}

}  // namespace tavc::test
