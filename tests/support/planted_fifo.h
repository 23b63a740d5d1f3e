// A FIFO put where a file is expected, as a prankster or a mistake leaves one. Held, the test keeps it
// open at both ends: opening it never waits, and a read from it waits until the test lets go. Not held,
// nobody has it open: a plain open for reading waits for a writer that never comes.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <utility>

namespace tavc::test {

class PlantedFifo {
  public:
    explicit PlantedFifo(const std::string& path, bool held = true) : path_(path) {
        made_ = ::mkfifo(path.c_str(), 0600) == 0;
        if (made_ && held) fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        made_ = made_ && (!held || fd_ >= 0);
    }
    ~PlantedFifo() { let_go(); }
    PlantedFifo(const PlantedFifo&) = delete;
    PlantedFifo& operator=(const PlantedFifo&) = delete;

    bool ok() const { return made_; }
    // Whatever waits on the FIFO goes on: a read sees its end, an open gets the writer it waits for.
    void let_go() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        int writer = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (writer >= 0) ::close(writer);
    }

  private:
    std::string path_;
    bool made_ = false;
    int fd_ = -1;
};

// Runs `call` on a thread of its own: its result when it returns within `timeout`, else none, after
// letting `fifo` go so that a call stuck on it ends and takes its thread with it.
template <typename Call>
auto returns_within(std::chrono::milliseconds timeout, PlantedFifo& fifo, Call call)
    -> std::optional<decltype(call())> {
    auto result = std::async(std::launch::async, std::move(call));
    if (result.wait_for(timeout) == std::future_status::ready) return result.get();
    fifo.let_go();
    result.wait();
    return std::nullopt;
}

}  // namespace tavc::test
