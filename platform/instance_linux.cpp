#include "instance.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "module.h"

namespace tavc::instance {

namespace {

// A folder that only we can use: ours, no link, nobody else may write or enter it.
bool private_folder(const std::string& path) {
    if (!file_io::make_folders(path, 0700)) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

// Hex of the title's bytes keeps the socket name short and free of separators whatever the title holds.
std::string endpoint_path(const std::string& folder, std::string_view title) {
    static const char digits[] = "0123456789abcdef";
    std::string name;
    for (unsigned char c : title) {
        name += digits[c >> 4];
        name += digits[c & 15];
    }
    return folder + "/" + name + "." + std::to_string(::getuid()) + ".sock";
}

bool socket_address(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

// Reads exactly `size` bytes before `deadline_ms` passes (-1: no bound). False on end, error or time-out.
bool read_exact(int fd, void* data, size_t size, int timeout_ms) {
    auto* out = static_cast<char*>(data);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (size > 0) {
        int wait = -1;
        if (timeout_ms >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            wait = static_cast<int>(left.count());
        }
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, wait);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        ssize_t n = ::read(fd, out, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        out += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The message as it travels: three little-endian fields, 4 + 8 + 8 bytes.
constexpr size_t kMessageSize = 20;

void put(unsigned char* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
uint64_t get(const unsigned char* at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t{at[i]} << (8 * i);
    return value;
}

}  // namespace

std::optional<std::string> runtime_folder() {
    std::string base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        base = runtime;
    } else {
        base = "/tmp/tavc-" + std::to_string(::getuid());
        if (!private_folder(base)) return std::nullopt;
    }
    std::string folder = base + "/tavc";
    if (!private_folder(folder)) return std::nullopt;
    return folder;
}

InstanceLock InstanceLock::acquire(std::string_view name) {
    std::optional<std::string> folder = runtime_folder();
    if (!folder || name.empty() || name.find('/') != std::string_view::npos)
        return {State::Failed, file_io::Fd()};
    std::string path = *folder + "/" + std::string(name) + ".lock";
    file_io::Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) return {State::Failed, file_io::Fd()};
    int r;
    do r = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    if (r == 0) return {State::Acquired, std::move(fd)};
    return {errno == EWOULDBLOCK ? State::AlreadyExists : State::Failed, file_io::Fd()};
}

void InstanceLock::release() {
    file_io::Fd(fd_.release());
}

std::unique_ptr<MessageEndpoint> MessageEndpoint::create(std::string_view window_title) {
    std::optional<std::string> folder = runtime_folder();
    sockaddr_un address{};
    if (!folder) return nullptr;
    std::string path = endpoint_path(*folder, window_title);
    if (!socket_address(path, address)) return nullptr;
    file_io::Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return nullptr;
    ::unlink(path.c_str());  // left by an instance that died
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd.get(), 8) != 0)
        return nullptr;
    return std::unique_ptr<MessageEndpoint>(new MessageEndpoint(std::move(fd), path));
}

MessageEndpoint::~MessageEndpoint() {
    ::unlink(path_.c_str());
}

std::optional<MessageEndpoint::Pending> MessageEndpoint::receive() {
    file_io::Fd client(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!client) return std::nullopt;
    ucred peer{};
    socklen_t peer_size = sizeof(peer);
    if (::getsockopt(client.get(), SOL_SOCKET, SO_PEERCRED, &peer, &peer_size) != 0 || peer.uid != ::getuid())
        return std::nullopt;
    unsigned char bytes[kMessageSize];
    if (!read_exact(client.get(), bytes, sizeof(bytes), 1000)) return std::nullopt;
    WindowMessage message{static_cast<uint32_t>(get(bytes, 4)), get(bytes + 4, 8),
                          static_cast<int64_t>(get(bytes + 12, 8))};
    return Pending(std::move(client), message);
}

void MessageEndpoint::Pending::reply(int64_t result) {
    file_io::Fd fd(fd_.release());
    if (!fd) return;
    unsigned char bytes[8];
    put(bytes, static_cast<uint64_t>(result), 8);
    file_io::write_all(fd.get(), std::string_view(reinterpret_cast<char*>(bytes), sizeof(bytes)));
}

std::optional<int64_t> send_message(std::string_view window_title, const WindowMessage& message) {
    std::optional<std::string> folder = runtime_folder();
    sockaddr_un address{};
    if (!folder || !socket_address(endpoint_path(*folder, window_title), address)) return std::nullopt;
    file_io::Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return std::nullopt;
    int r;
    do r = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    while (r != 0 && errno == EINTR);
    if (r != 0) return std::nullopt;
    unsigned char bytes[kMessageSize];
    put(bytes, message.message, 4);
    put(bytes + 4, message.wparam, 8);
    put(bytes + 12, static_cast<uint64_t>(message.lparam), 8);
    if (!file_io::write_all(fd.get(), std::string_view(reinterpret_cast<char*>(bytes), sizeof(bytes))))
        return std::nullopt;
    // As long as the receiver lives: it answers after handling the message, or its end closes the line.
    unsigned char answer[8];
    if (!read_exact(fd.get(), answer, sizeof(answer), -1)) return 0;
    return static_cast<int64_t>(get(answer, 8));
}

void restart_program() {
    std::optional<std::string> path = module::executable_path();
    if (!path) return;
    // Descriptors that libraries opened without O_CLOEXEC too.
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        int own = ::dirfd(dir);
        while (dirent* entry = ::readdir(dir)) {
            int fd = std::atoi(entry->d_name);
            if (entry->d_name[0] < '0' || entry->d_name[0] > '9' || fd <= 2 || fd == own) continue;
            int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
        ::closedir(dir);
    }
    std::fflush(nullptr);
    char* argv[] = {path->data(), nullptr};
    ::execv(path->c_str(), argv);
}

}  // namespace tavc::instance
