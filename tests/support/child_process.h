// A program run by a test: its standard output read line by line, its end awaited with a bound.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavc::test {

// The full path of a program found on PATH; empty when there is none.
std::string program_on_path(const std::string& name);

// Waits at most `timeout` for any process (not only a child) to end. True when it has ended.
bool wait_for_exit(pid_t pid, std::chrono::milliseconds timeout);

// Runs `body` in a forked copy of this process and waits for it to end: whether it ended normally with
// body's true, and its peak memory. The copy should only do what is safe after a fork (no threads).
struct ForkedRun {
    bool ok = false;
    long max_rss_kb = 0;
};
ForkedRun run_forked(const std::function<bool()>& body);

// A bound on a run's peak memory that is `plain_kb` in a plain build: a sanitizer's shadow memory and
// quarantine add some hundreds of megabytes of their own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVC_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVC_TEST_SANITIZED 1
#endif
#endif
#ifdef TAVC_TEST_SANITIZED
constexpr long peak_memory_bound_kb(long plain_kb) {
    return plain_kb + 400 * 1024;
}
#else
constexpr long peak_memory_bound_kb(long plain_kb) {
    return plain_kb;
}
#endif

class ChildProcess {
  public:
    // Starts argv[0] (a path) with the test's environment plus `env` (NAME=value entries replace the
    // test's own; "NAME" alone removes it). Standard input is /dev/null.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    ~ChildProcess();  // kills a child that still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // The next line of its standard output, without the line end; none at its end or after `timeout`.
    std::optional<std::string> read_line(std::chrono::milliseconds timeout);
    // Its exit code once it ends within `timeout`; -1 when it was killed by a signal; none on time-out.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    void kill_now();

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffered_;
    std::optional<int> status_;
};

}  // namespace tavc::test
