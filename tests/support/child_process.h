// A program run by a test: its standard output read line by line, its end awaited with a bound.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tavc::test {

// The full path of a program found on PATH; empty when there is none.
std::string program_on_path(const std::string& name);

// Waits at most `timeout` for any process (not only a child) to end. True when it has ended.
bool wait_for_exit(pid_t pid, std::chrono::milliseconds timeout);

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
