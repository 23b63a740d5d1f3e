#include "event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "timing.h"

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
    const int fd = fd_;  // only this thread changes it
    if (fd < 0) return false;
    const timing::Deadline deadline = timing::Deadline::after_timeout_ms(timeout_ms);
    for (;;) {
        if (timing::wait_fd(fd, POLLIN, deadline).status != timing::WaitStatus::Ready) return false;
        uint64_t count = 0;
        // Reading takes the whole count: that is the reset.
        if (read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) return true;
        // EAGAIN: nothing after all
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
