#include "copied_host.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace tavc::test {

CopiedHost::CopiedHost(const std::string& subfolder) {
    const char* source = std::getenv("TAVC_TESSEL_HOST");
    if (source == nullptr) throw std::runtime_error("TAVC_TESSEL_HOST is not set");
    if (!root_.ok()) throw std::runtime_error("mkdtemp failed");
    folder_ =
        subfolder.empty() ? std::filesystem::path(root_.path()) : std::filesystem::path(root_ / subfolder);
    std::filesystem::create_directories(folder_);
    program_ = folder_ / "tessel_host";
    // A copy, not a link: the program's own path must name this folder.
    std::filesystem::copy_file(source, program_);
}

CopiedHost::~CopiedHost() {
    // Writable again, so that the temporary folder can go.
    ::chmod(folder_.c_str(), 0755);
}

void CopiedHost::run_as(const OtherUser& user) {
    launcher_ = user.launcher();
    OtherUser::open_up(folder_.string(), std::filesystem::path(root_.path()).parent_path().string());
    ::chmod(folder_.c_str(), 0555);
}

std::string CopiedHost::cache_text() const {
    std::ifstream in(cache_file(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void CopiedHost::write_cache(const std::string& text) const {
    std::ofstream(cache_file(), std::ios::binary | std::ios::trunc) << text;
}

pid_t CopiedHost::start(const std::vector<std::string>& args, int& out) const {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> words = launcher_;
    words.push_back(program_.string());
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    pid_t pid = -1;
    int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[1]);
    if (error != 0) {
        ::close(pipe_fds[0]);
        throw std::runtime_error("cannot start tessel_host");
    }
    out = pipe_fds[0];
    return pid;
}

int32_t CopiedHost::finish(pid_t pid, int out, rusage* usage) const {
    std::string printed;
    char buf[256];
    for (ssize_t n; (n = ::read(out, buf, sizeof buf)) != 0;) {
        if (n > 0)
            printed.append(buf, static_cast<size_t>(n));
        else if (errno != EINTR)
            break;
    }
    ::close(out);
    int status = 0;
    rusage used{};
    while (::wait4(pid, &status, 0, &used) < 0 && errno == EINTR) {
    }
    if (usage) *usage = used;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || printed.empty()) {
        ADD_FAILURE() << "tessel_host ended with status " << status << ", printed '" << printed << "'";
        return INT32_MIN;
    }
    return static_cast<int32_t>(std::strtol(printed.c_str(), nullptr, 10));
}

int32_t CopiedHost::call(const std::vector<std::string>& args, rusage* usage) const {
    int out = -1;
    pid_t pid = start(args, out);
    return finish(pid, out, usage);
}

std::vector<int32_t> CopiedHost::call_together(const std::vector<std::vector<std::string>>& runs) const {
    std::vector<std::pair<pid_t, int>> started;
    for (const auto& args : runs) {
        int out = -1;
        pid_t pid = start(args, out);
        started.emplace_back(pid, out);
    }
    std::vector<int32_t> results;
    for (auto [pid, out] : started) results.push_back(finish(pid, out));
    return results;
}

}  // namespace tavc::test
