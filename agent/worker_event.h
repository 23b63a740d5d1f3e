// The worker's wake-up: an auto-reset event (signals that arrive while nobody waits merge into one).
#pragma once

#include <mutex>

namespace corvis {

class WorkerEvent {
  public:
    WorkerEvent() = default;
    ~WorkerEvent() { close(); }
    WorkerEvent(const WorkerEvent&) = delete;
    WorkerEvent& operator=(const WorkerEvent&) = delete;

    // Not signalled at first. False when the system refuses one.
    bool create();
    // Any thread. Does nothing once the event is closed, so a late release can never touch a file
    // descriptor that has been reused.
    void signal();
    // The waiting thread only: true when signalled (which resets the event), false when `timeout_ms`
    // (negative: no limit) passed first or the event is not open.
    bool wait(int timeout_ms);
    // The waiting thread only.
    void close();
    bool is_open() const;

  private:
    mutable std::mutex mutex_;  // orders signal against close
    int fd_ = -1;
};

}  // namespace corvis
