#include "event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace tavc::event {

bool AutoResetEvent::create() {
    int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return false;
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return true;
}

void AutoResetEvent::signal() {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    const uint64_t one = 1;
    // EAGAIN only when the counter is near overflow, which still leaves it signalled.
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool AutoResetEvent::wait(int timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const int fd = fd_;  // only this thread changes it
    if (fd < 0) return false;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        int wait_ms = -1;
        if (timeout_ms >= 0) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left < 0) left = 0;
            wait_ms = static_cast<int>(left);
        }
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, wait_ms);
        if (r > 0) {
            uint64_t count = 0;
            // Reading takes the whole count: that is the reset.
            if (read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) return true;
            continue;  // EAGAIN: nothing after all
        }
        if (r < 0 && errno != EINTR) return false;
        // A time-out counts only once the deadline has really passed.
        if (timeout_ms >= 0 && Clock::now() >= deadline) return false;
    }
}

void AutoResetEvent::close() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool AutoResetEvent::is_open() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

}  // namespace tavc::event
