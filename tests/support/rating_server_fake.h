// A rating server on loopback for tests, and for the rating server stand-in of tools/: answers every
// request from a script and records the raw bytes the client sent on each connection. Serves one
// connection at a time on its own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavc::test {

struct RatingRequest {
    std::string raw;   // every byte the client sent on its connection, until it closed
    std::string page;  // last path segment of the request target: "slogin.asp", "sremark.asp", ...

    // The value of a query parameter as it stands on the wire, or percent-decoded; empty when absent.
    std::string query(std::string_view name) const;
    std::string decoded(std::string_view name) const;
};

struct RatingReply {
    std::string bytes;          // sent as they stand
    uint32_t delay_ms = 0;      // pause between the request and the reply
    bool keep_open = false;     // after the bytes, stay silent until the client goes
    bool refuse_later = false;  // stop listening before this reply goes out

    // An HTTP reply whose body ends in the answer line "<digit></>".
    static RatingReply answer(char digit);
    // The status line, the given lines (each followed by CR LF) and nothing else.
    static RatingReply lines(const std::vector<std::string>& lines);
    // Closes the connection without sending a byte.
    static RatingReply hang_up() { return {}; }
    // Keeps the connection open without sending a byte.
    static RatingReply silence() { return {.keep_open = true}; }
};

class FakeRatingServer {
  public:
    // script(request, index) gives the reply to the index-th request (from 0); by default every
    // request is answered 0.
    using Script = std::function<RatingReply(const RatingRequest&, size_t)>;

    // `port` 0 lets the kernel choose one; a fixed port serves a client whose port is fixed (the
    // assistant program's 80, inside a network of the test's own). Throws std::system_error when the
    // port cannot be had.
    explicit FakeRatingServer(Script script = {}, int port = 0);
    FakeRatingServer(const FakeRatingServer&) = delete;
    FakeRatingServer& operator=(const FakeRatingServer&) = delete;
    ~FakeRatingServer();

    // The server listens on 127.0.0.1 at this port (chosen by the kernel).
    int port() const { return port_; }
    // A server URL naming this server's address and the directory "tavc".
    std::string url() const { return "http://127.0.0.1/tavc/"; }

    // From now on connections are refused (the port stays reserved).
    void refuse_connections();

    // The requests whose connections have ended, in order; waits up to 5 s for at least at_least.
    std::vector<RatingRequest> requests(size_t at_least = 0) const;

  private:
    void run();
    void serve(int fd);
    // Waits for fd (none: -1) to be readable, for the time-out (-1: none) or for a wake-up; false when
    // the server stops.
    bool wait_readable(int fd, int timeout_ms) const;
    void stop_listening();

    Script script_;
    int listen_fd_ = -1;
    int reserve_fd_ = -1;  // bound, not listening: holds the port while refusing
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable done_;
    std::condition_variable changed_;
    std::vector<RatingRequest> requests_;
    size_t started_ = 0;
    bool listening_ = true;
    bool refuse_requested_ = false;
    std::atomic<bool> stopping_ = false;
};

// A loopback port at which a connection attempt gets no answer: a listener whose backlog is full, so
// the kernel drops further SYNs. ready() is false when this machine does not behave that way.
class UnansweringPort {
  public:
    UnansweringPort();
    UnansweringPort(const UnansweringPort&) = delete;
    UnansweringPort& operator=(const UnansweringPort&) = delete;
    ~UnansweringPort();

    bool ready() const { return ready_; }
    int port() const { return port_; }

  private:
    int listen_fd_ = -1;
    std::vector<int> fillers_;
    int port_ = 0;
    bool ready_ = false;
};

}  // namespace tavc::test
