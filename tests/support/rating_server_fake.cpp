#include "rating_server_fake.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace tavc::test {
namespace {

sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return addr;
}

int bound_socket(int port, bool reuse) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    if (reuse) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr = loopback(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int port_of(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::abort();
}

void send_all(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the client went away: what it got is what it got
        data.remove_prefix(static_cast<size_t>(n));
    }
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The request target's query, from the request line "GET <target> HTTP/1.1".
std::string_view query_of(std::string_view raw) {
    raw = raw.substr(0, raw.find("\r\n"));
    if (raw.substr(0, 4) != "GET ") return {};
    raw.remove_prefix(4);
    raw = raw.substr(0, raw.rfind(" HTTP/1.1"));
    size_t q = raw.find('?');
    return q == std::string_view::npos ? std::string_view() : raw.substr(q + 1);
}

}  // namespace

std::string RatingRequest::query(std::string_view name) const {
    std::string_view q = query_of(raw);
    while (!q.empty()) {
        std::string_view item = q.substr(0, q.find('&'));
        q.remove_prefix(std::min(q.size(), item.size() + 1));
        size_t eq = item.find('=');
        if (item.substr(0, eq) == name)
            return std::string(eq == std::string_view::npos ? "" : item.substr(eq + 1));
    }
    return {};
}

std::string RatingRequest::decoded(std::string_view name) const {
    std::string value = query(name), out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && hex_value(value[i + 1]) >= 0 &&
            hex_value(value[i + 2]) >= 0) {
            out += static_cast<char>(hex_value(value[i + 1]) * 16 + hex_value(value[i + 2]));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

RatingReply RatingReply::answer(char digit) {
    return lines(
        {"Content-Type: text/html", "", "<html><body>", std::string(1, digit) + "</>", "</body></html>"});
}

RatingReply RatingReply::lines(const std::vector<std::string>& lines) {
    RatingReply reply;
    reply.bytes = "HTTP/1.1 200 OK\r\n";
    for (const std::string& line : lines) reply.bytes += line + "\r\n";
    return reply;
}

FakeRatingServer::FakeRatingServer(Script script, int port) : script_(std::move(script)) {
    if (!script_) script_ = [](const RatingRequest&, size_t) { return RatingReply::answer('0'); };
    // Reusable, so that the port can be held again while a served connection still uses it.
    listen_fd_ = bound_socket(port, true);
    if (listen_fd_ < 0 || ::listen(listen_fd_, 64) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
        const int error = errno;
        if (listen_fd_ >= 0) ::close(listen_fd_);
        throw std::system_error(error, std::generic_category(), "listen on port " + std::to_string(port));
    }
    port_ = port_of(listen_fd_);
    ::fcntl(listen_fd_, F_SETFL, O_NONBLOCK);  // a wake-up must not leave the thread stuck in accept
    thread_ = std::thread([this] { run(); });
}

FakeRatingServer::~FakeRatingServer() {
    stopping_ = true;
    char wake = 'w';
    (void)!::write(wake_[1], &wake, 1);
    thread_.join();
    for (int fd : {listen_fd_, reserve_fd_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void FakeRatingServer::refuse_connections() {
    std::unique_lock lock(mutex_);
    refuse_requested_ = true;
    char wake = 'w';
    (void)!::write(wake_[1], &wake, 1);
    changed_.wait(lock, [&] { return !listening_; });
}

void FakeRatingServer::stop_listening() {
    if (!listening_) return;
    ::close(listen_fd_);
    listen_fd_ = -1;
    // A bound socket that does not listen answers every connection attempt with a reset.
    reserve_fd_ = bound_socket(port_, true);
    if (reserve_fd_ < 0) fail("rating server: reserve the port");
    listening_ = false;
    changed_.notify_all();
}

std::vector<RatingRequest> FakeRatingServer::requests(size_t at_least) const {
    std::unique_lock lock(mutex_);
    done_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= at_least; });
    return requests_;
}

bool FakeRatingServer::wait_readable(int fd, int timeout_ms) const {
    if (stopping_) return false;  // an earlier wait may have taken the wake-up byte
    pollfd p[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
    int r;
    do {
        r = ::poll(p, 2, timeout_ms);
    } while (r < 0 && errno == EINTR);
    if (r > 0 && p[0].revents) {
        char c = 0;
        (void)!::read(wake_[0], &c, 1);
    }
    return r >= 0 && !stopping_;
}

void FakeRatingServer::run() {
    // Only this thread touches the listening socket.
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (refuse_requested_) stop_listening();
        }
        if (!wait_readable(listen_fd_, -1)) return;
        if (listen_fd_ < 0) continue;
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        serve(fd);
        ::close(fd);
    }
}

void FakeRatingServer::serve(int fd) {
    RatingRequest request;
    auto read_some = [&] {
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) request.raw.append(buf, static_cast<size_t>(n));
        return n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN));
    };
    bool open = true;
    while (open && request.raw.find("\r\n\r\n") == std::string::npos) {
        if (!wait_readable(fd, -1)) return;
        open = read_some();
    }
    std::string target = request.raw.substr(0, request.raw.find(' ', 4));
    target = target.substr(0, target.find('?'));
    request.page = target.substr(target.rfind('/') + 1);

    size_t index;
    {
        std::lock_guard lock(mutex_);
        index = started_++;
    }
    RatingReply reply = script_(request, index);
    if (reply.delay_ms > 0 && !wait_readable(-1, static_cast<int>(reply.delay_ms))) return;
    if (reply.refuse_later) {
        std::lock_guard lock(mutex_);
        stop_listening();
    }
    send_all(fd, reply.bytes);
    if (!reply.keep_open) ::shutdown(fd, SHUT_WR);
    // Read on to the client's end: the record is complete, and no unread byte turns the close into a
    // reset that could destroy the reply before the client read it.
    while (open) {
        if (!wait_readable(fd, -1)) return;
        open = read_some();
    }
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
    done_.notify_all();
}

UnansweringPort::UnansweringPort() {
    listen_fd_ = bound_socket(0, false);
    if (listen_fd_ < 0 || ::listen(listen_fd_, 0) != 0) return;
    port_ = port_of(listen_fd_);
    sockaddr_in addr = loopback(port_);
    // Connect until an attempt stays unanswered: the accept queue is then full.
    for (int i = 0; i < 16 && !ready_; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            pollfd p{fd, POLLOUT, 0};
            if (errno != EINPROGRESS) {
                ::close(fd);
                return;
            }
            if (::poll(&p, 1, 300) == 0) {
                ready_ = true;
                ::close(fd);
                break;
            }
        }
        fillers_.push_back(fd);
    }
}

UnansweringPort::~UnansweringPort() {
    for (int fd : fillers_) ::close(fd);
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

}  // namespace tavc::test
