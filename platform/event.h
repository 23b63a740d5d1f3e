// An auto-reset event: signals that arrive while nobody waits merge into one, and a wait that sees the
// event signalled resets it. One thread waits; any thread signals.
#pragma once

#include <mutex>

namespace tavc::event {

class AutoResetEvent {
  public:
    AutoResetEvent() = default;
    ~AutoResetEvent() { close(); }
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Not signalled at first. False when the system refuses one.
    bool create();
    // Any thread; never allocates. Does nothing once the event is closed, so a late signal can never
    // touch a file descriptor that has been reused.
    void signal();
    // The waiting thread only: true when signalled (which resets the event), false when `timeout_ms`
    // (negative: no limit) passed first or the event is not open. wait(0) never waits.
    bool wait(int timeout_ms);
    // The waiting thread only: a descriptor that polls readable while the event is signalled, for a
    // loop that waits on other descriptors too (then wait(0) resets it); -1 when not open.
    int fd() const { return fd_; }
    // The waiting thread only.
    void close();
    bool is_open() const;

  private:
    mutable std::mutex mutex_;  // orders signal against close
    int fd_ = -1;
};

}  // namespace tavc::event
