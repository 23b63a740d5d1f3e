// A TCP client for one line-based exchange: connect with a time-out, write a line, read lines with a
// deadline, disconnect. One client object per connection; not shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "timing.h"

namespace tavc::tcp {

enum class LineStatus {
    Line,      // a line arrived
    TooLong,   // a line over the bound arrived and was dropped whole
    Closed,    // the peer ended the connection; nothing is left to read
    TimedOut,  // no complete line within the time
    Failed,    // not connected, or the connection broke
};

// Cuts received bytes into lines that end at LF. The LF and one CR right before it are not part of
// the line. A line over kMaxLineBytes is dropped up to its LF and reported as TooLong, so that no
// reply can make the buffer grow without bound.
class LineSplitter {
  public:
    static constexpr size_t kMaxLineBytes = 16384;

    void append(std::string_view bytes);
    // The next complete line, or none when no complete line is buffered yet.
    std::optional<LineStatus> next(std::string& line);
    // After the peer's end: the text after the last LF as a last line, or none when nothing is left.
    std::optional<LineStatus> rest(std::string& line);

  private:
    std::string pending_;
    bool dropping_ = false;  // inside an over-long line, waiting for its LF
};

class Client {
  public:
    Client() = default;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client();

    void set_host(std::string host) { host_ = std::move(host); }
    void set_port(int32_t port) { port_ = port; }

    // Resolves the host (name or numeric address) and connects to its first address that answers
    // within timeout_ms in all (the name resolution not counted). False on any failure, a port outside
    // 1-65535 included.
    bool connect(uint32_t timeout_ms);
    // Writes text followed by CR LF, all of it within timeout_ms. False when that fails.
    bool write_line(std::string_view text, uint32_t timeout_ms);
    // Waits up to timeout_ms for the next line (see LineSplitter). When the peer ends the connection,
    // the text after its last LF is the last line.
    LineStatus read_line(std::string& line, uint32_t timeout_ms);
    // The same until `deadline`, for a wait that spans several lines.
    LineStatus read_line(std::string& line, const timing::Deadline& deadline);
    void disconnect();

  private:
    std::string host_;
    int32_t port_ = 0;
    int fd_ = -1;
    bool peer_closed_ = false;
    LineSplitter splitter_;
};

}  // namespace tavc::tcp
