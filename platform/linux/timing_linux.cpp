#include "timing.h"

#include <cerrno>
#include <climits>

namespace tavc::timing {

int Deadline::remaining_ms() const {
    if (is_never()) return -1;
    Clock::time_point now = Clock::now();
    if (now >= when_) return 0;
    // Rounded up: a poll of the truncated time would end before the deadline.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(when_ - now).count();
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

WaitResult wait_fds(std::span<pollfd> fds, const Deadline& deadline) {
    for (;;) {
        int r = ::poll(fds.data(), fds.size(), deadline.remaining_ms());
        if (r > 0) return {WaitStatus::Ready, 0, 0};
        if (r < 0 && errno != EINTR) return {WaitStatus::Failed, 0, errno};
        // poll may end a little before the time it was given; after a signal the loop looks again, with
        // no wait once the deadline has passed.
        if (r == 0 && deadline.passed()) return {WaitStatus::TimedOut, 0, 0};
    }
}

WaitResult wait_fd(int fd, short events, const Deadline& deadline) {
    pollfd p{fd, events, 0};
    WaitResult result = wait_fds({&p, 1}, deadline);
    result.revents = p.revents;
    return result;
}

}  // namespace tavc::timing
