// The one wait behind every blocking call of the platform layer: a deadline on the steady clock, and a
// wait on descriptors until it. A wait never ends before its deadline: the time left is rounded up to
// whole milliseconds, and a poll that times out a little early is followed by another. Each facility
// keeps its own reading of what the wait reports.
#pragma once

#include <poll.h>

#include <chrono>
#include <compare>
#include <span>

namespace tavc::timing {

class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    // `wait` from now; a negative wait is over at once, one of a century or more never ends (the
    // clock's arithmetic would overflow).
    template <typename Rep, typename Period>
    static Deadline after(std::chrono::duration<Rep, Period> wait) {
        if (wait >= std::chrono::hours(24 * 365 * 100)) return never();
        if (wait <= wait.zero()) return Deadline(Clock::now());
        return Deadline(Clock::now() + std::chrono::ceil<Clock::duration>(wait));
    }
    // A time-out in milliseconds as poll takes one: a negative one is no limit.
    static Deadline after_timeout_ms(int timeout_ms) {
        return timeout_ms < 0 ? never() : after(std::chrono::milliseconds(timeout_ms));
    }
    static Deadline at(Clock::time_point when) { return Deadline(when); }
    static Deadline never() { return Deadline(Clock::time_point::max()); }

    bool is_never() const { return when_ == Clock::time_point::max(); }
    bool passed() const { return !is_never() && Clock::now() >= when_; }
    // Whole milliseconds left, rounded up; 0 once passed, -1 for never, at most INT_MAX: poll's time-out.
    int remaining_ms() const;
    // Clock::time_point::max() for never.
    Clock::time_point when() const { return when_; }

    // The earlier deadline is the smaller.
    auto operator<=>(const Deadline&) const = default;

  private:
    explicit Deadline(Clock::time_point when) : when_(when) {}
    Clock::time_point when_;
};

enum class WaitStatus {
    Ready,     // some descriptor has events
    TimedOut,  // the deadline passed first
    Failed,    // poll failed (not EINTR, which is retried)
};

struct WaitResult {
    WaitStatus status = WaitStatus::Failed;
    short revents = 0;  // wait_fd, Ready: what poll reported, POLLHUP and POLLERR included
    int error = 0;      // Failed: poll's errno
};

// Waits until `fd` has one of `events` (or a hang-up or error) or the deadline passes. A deadline that
// has passed still looks once without waiting, so wait_fd(fd, events, Deadline::after(0ms)) tells
// whether the descriptor is ready now.
WaitResult wait_fd(int fd, short events, const Deadline& deadline);

// The same over several descriptors; each one's revents is left in its entry.
WaitResult wait_fds(std::span<pollfd> fds, const Deadline& deadline);

}  // namespace tavc::timing
