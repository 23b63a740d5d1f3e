#include "tcp_client.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>

#include "file_io.h"
#include "timing.h"

namespace tavc::tcp {
namespace {

using timing::Deadline;

// A non-blocking connect, finished within the time that is left.
int connect_one(const addrinfo& ai, const Deadline& deadline) {
    int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
    if (fd < 0) return -1;
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) == 0) return fd;
    if (errno == EINPROGRESS || errno == EINTR) {
        int error = 0;
        socklen_t len = sizeof error;
        if (timing::wait_fd(fd, POLLOUT, deadline).status == timing::WaitStatus::Ready &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0)
            return fd;
    }
    ::close(fd);
    return -1;
}

}  // namespace

void LineSplitter::append(std::string_view bytes) {
    pending_.append(bytes);
}

std::optional<LineStatus> LineSplitter::next(std::string& line) {
    size_t lf = pending_.find('\n');
    if (dropping_) {
        if (lf == std::string::npos) {
            pending_.clear();
            return std::nullopt;
        }
        pending_.erase(0, lf + 1);
        dropping_ = false;
        return LineStatus::TooLong;
    }
    if (lf == std::string::npos) {
        // Longer than the bound even if the byte still to come were the CR before the LF.
        if (pending_.size() > kMaxLineBytes + 1) {
            pending_.clear();
            dropping_ = true;
        }
        return std::nullopt;
    }
    size_t len = lf;
    if (len > 0 && pending_[len - 1] == '\r') --len;
    LineStatus status = LineStatus::TooLong;
    if (len <= kMaxLineBytes) {
        line.assign(pending_, 0, len);
        status = LineStatus::Line;
    }
    pending_.erase(0, lf + 1);
    return status;
}

std::optional<LineStatus> LineSplitter::rest(std::string& line) {
    if (dropping_) {
        dropping_ = false;
        return LineStatus::TooLong;
    }
    if (pending_.empty()) return std::nullopt;
    LineStatus status = LineStatus::TooLong;
    if (pending_.size() <= kMaxLineBytes) {
        line = pending_;
        status = LineStatus::Line;
    }
    pending_.clear();
    return status;
}

Client::~Client() {
    disconnect();
}

bool Client::connect(uint32_t timeout_ms) {
    disconnect();
    if (port_ < 1 || port_ > 65535) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host_.c_str(), std::to_string(port_).c_str(), &hints, &found) != 0) return false;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    const Deadline deadline = Deadline::after(std::chrono::milliseconds(timeout_ms));
    for (const addrinfo* ai = list.get(); ai != nullptr && fd_ < 0; ai = ai->ai_next) {
        if (deadline.passed()) break;
        fd_ = connect_one(*ai, deadline);
    }
    return fd_ >= 0;
}

bool Client::write_line(std::string_view text, uint32_t timeout_ms) {
    if (fd_ < 0) return false;
    std::string data;
    data.reserve(text.size() + 2);
    data.append(text).append("\r\n");
    return static_cast<bool>(
        file_io::write_all(fd_, data, Deadline::after(std::chrono::milliseconds(timeout_ms))));
}

LineStatus Client::read_line(std::string& line, uint32_t timeout_ms) {
    return read_line(line, Deadline::after(std::chrono::milliseconds(timeout_ms)));
}

LineStatus Client::read_line(std::string& line, const Deadline& deadline) {
    for (;;) {
        if (auto status = splitter_.next(line)) return *status;
        if (peer_closed_) return splitter_.rest(line).value_or(LineStatus::Closed);
        if (fd_ < 0) return LineStatus::Failed;
        // A hang-up or an error makes the socket ready too: the read tells which.
        timing::WaitResult ready = timing::wait_fd(fd_, POLLIN, deadline);
        if (ready.status == timing::WaitStatus::TimedOut) return LineStatus::TimedOut;
        if (ready.status == timing::WaitStatus::Failed) return LineStatus::Failed;
        char buf[4096];
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n > 0) {
            splitter_.append(std::string_view(buf, static_cast<size_t>(n)));
        } else if (n == 0) {
            peer_closed_ = true;
        } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return LineStatus::Failed;
        }
    }
}

void Client::disconnect() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    peer_closed_ = false;
    splitter_ = LineSplitter();
}

}  // namespace tavc::tcp
