#include "instance.h"

#include <dirent.h>
#include <fcntl.h>
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

#include "folders.h"
#include "module.h"
#include "text.h"
#include "timing.h"

namespace tavc::instance {

namespace {

struct Folder {
    std::string path;
    file_io::Fd fd;
    std::string why;  // when fd is not open
};

std::string folder_path() {
    std::string runtime = folders::runtime_dir();
    if (!runtime.empty()) return runtime + "/tavc";
    std::string state = folders::state_home();
    return state.empty() ? std::string() : state + "/tavc-runtime";
}

// The folder, checked once and then held open: ours, no link, nobody else may write or enter it.
Folder open_folder(bool create) {
    std::string path = folder_path();
    if (path.empty()) return {path, file_io::Fd(), "no XDG_RUNTIME_DIR and no home folder"};
    if (create) file_io::make_folders(path, 0700);
    file_io::Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    std::string why;
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        why = std::strerror(errno);
    } else if (st.st_uid != ::geteuid()) {
        why = "the folder belongs to another user";
    } else if ((st.st_mode & 077) != 0 && ::fchmod(fd.get(), 0700) != 0) {
        why = std::string("others may enter the folder: ") + std::strerror(errno);
    }
    if (!why.empty()) return {path, file_io::Fd(), why};
    return {path, std::move(fd), why};
}

// A fixed-length name whatever the program's file name holds.
std::string endpoint_name(std::string_view program) {
    return text::hash_hex(program) + ".sock";
}

// Through the folder's descriptor, the address stays short however long the folder's path is.
sockaddr_un endpoint_address(int folder, const std::string& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "/proc/self/fd/%d/%s", folder, name.c_str());
    return address;
}

bool same_user(int socket) {
    ucred peer{};
    socklen_t size = sizeof(peer);
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

// Reads exactly `size` bytes before `timeout_ms` passes (-1: no bound). False on end, error or time-out.
bool read_exact(int fd, void* data, size_t size, int timeout_ms) {
    auto* out = static_cast<char*>(data);
    const timing::Deadline deadline = timing::Deadline::after_timeout_ms(timeout_ms);
    while (size > 0) {
        if (timing::wait_fd(fd, POLLIN, deadline).status != timing::WaitStatus::Ready) return false;
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

InstanceLock InstanceLock::acquire(std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos)
        return InstanceLock(State::Failed, name, "", "not a file name");
    Folder folder = open_folder(true);
    if (!folder.fd) return InstanceLock(State::Failed, name, folder.path, folder.why);
    std::string file = std::string(name) + ".lock";
    file_io::Fd fd(::openat(folder.fd.get(), file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return InstanceLock(State::Failed, name, folder.path, file + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return InstanceLock(State::Failed, name, folder.path, file + ": not a file of this user");
    int r;
    do r = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    if (r != 0 && errno == EWOULDBLOCK) return InstanceLock(State::AlreadyExists, name, folder.path, "");
    if (r != 0) return InstanceLock(State::Failed, name, folder.path, file + ": " + std::strerror(errno));
    return InstanceLock(State::Acquired, name, folder.path, "", std::move(folder.fd), std::move(fd));
}

void InstanceLock::release() {
    file_io::Fd(fd_.release());
    file_io::Fd(folder_fd_.release());
}

std::unique_ptr<MessageEndpoint> MessageEndpoint::create(const InstanceLock& lock) {
    if (lock.state() != InstanceLock::State::Acquired || !lock.folder_fd_) return nullptr;
    file_io::Fd folder(::fcntl(lock.folder_fd_.get(), F_DUPFD_CLOEXEC, 0));
    if (!folder) return nullptr;
    std::string name = endpoint_name(lock.name_);
    sockaddr_un address = endpoint_address(folder.get(), name);
    file_io::Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return nullptr;
    ::unlinkat(folder.get(), name.c_str(), 0);  // left by an instance that ended: the lock is ours now
    struct stat st {};
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd.get(), 8) != 0 || ::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return nullptr;
    return std::unique_ptr<MessageEndpoint>(
        new MessageEndpoint(std::move(fd), std::move(folder), std::move(name), st.st_dev, st.st_ino));
}

MessageEndpoint::~MessageEndpoint() {
    // The bound socket keeps its file's inode alive, so no later file can carry the same one.
    struct stat st {};
    if (::fstatat(folder_.get(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == device_ &&
        st.st_ino == inode_)
        ::unlinkat(folder_.get(), name_.c_str(), 0);
}

std::optional<MessageEndpoint::Pending> MessageEndpoint::receive() {
    file_io::Fd client(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!client) return std::nullopt;
    if (!same_user(client.get())) return std::nullopt;
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

std::optional<int64_t> send_message(std::string_view name, const WindowMessage& message) {
    Folder folder = open_folder(false);
    if (!folder.fd) return std::nullopt;
    sockaddr_un address = endpoint_address(folder.fd.get(), endpoint_name(name));
    file_io::Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return std::nullopt;
    int r;
    do r = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    while (r != 0 && errno == EINTR);
    // A listener of another user gets nothing, as the receiver takes nothing from one.
    if (r != 0 || !same_user(fd.get())) return std::nullopt;
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
