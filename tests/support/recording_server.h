// A server of a class on the test's bus, run on a thread of its own, that records every call and every
// change of its lock count: the far end for tests of bus clients.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com.h"

namespace tavc::test {

class RecordingServer {
  public:
    // Takes the class's bus name; status() says whether that worked. Every call is answered `answer`.
    RecordingServer(const com::Guid& clsid, const com::InterfaceInfo& iface, com::HResult answer = com::kOk);
    ~RecordingServer();
    RecordingServer(const RecordingServer&) = delete;
    RecordingServer& operator=(const RecordingServer&) = delete;

    com::HResult status() const { return status_; }
    // Revokes the class on the server's thread; false when that did not happen within `timeout`.
    bool revoke(std::chrono::milliseconds timeout);
    // Waits for the lock count (objects and server locks held) to be `count`.
    bool wait_for_locks(int count, std::chrono::milliseconds timeout);
    int locks();
    // The calls so far: the method's index in the interface, and the text.
    std::vector<std::pair<size_t, std::u16string>> calls();
    void clear_calls();

  private:
    void change_locks(int by);

    com::HResult answer_;
    com::HResult status_ = com::kFail;
    std::unique_ptr<com::Server> server_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> revoke_{false};
    bool revoked_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    int locks_ = 0;
    std::vector<std::pair<size_t, std::u16string>> calls_;
};

}  // namespace tavc::test
