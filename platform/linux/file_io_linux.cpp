#include "file_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace tavc::file_io {
namespace {

// How long a lock waiter sleeps at most when no close is reported.
constexpr std::chrono::milliseconds kCloseBackstop{5};

}  // namespace

Fd::~Fd() {
    if (fd_ >= 0) ::close(fd_);
}

WriteResult write_all(int fd, std::string_view data, const timing::Deadline& deadline) {
    WriteResult result{WriteStatus::Written, 0, 0};
    bool socket = true;  // until the descriptor says otherwise
    while (result.written < data.size()) {
        std::string_view left = data.substr(result.written);
        // On a socket, MSG_NOSIGNAL: a peer that has gone must not end the process with SIGPIPE.
        ssize_t n = socket ? ::send(fd, left.data(), left.size(), MSG_NOSIGNAL)
                           : ::write(fd, left.data(), left.size());
        if (n < 0 && socket && errno == ENOTSOCK) {
            socket = false;
            continue;
        }
        if (n > 0) {
            result.written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return {WriteStatus::Failed, result.written, errno};
        // No room for now.
        timing::WaitResult room = timing::wait_fd(fd, POLLOUT, deadline);
        switch (room.status) {
            case timing::WaitStatus::TimedOut:
                return {WriteStatus::TimedOut, result.written, 0};
            case timing::WaitStatus::Failed:
                return {WriteStatus::Failed, result.written, room.error};
            case timing::WaitStatus::Ready:
                if ((room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                    return {WriteStatus::HungUp, result.written, 0};
                break;
        }
    }
    return result;
}

Fd open_regular(const std::string& path) {
    // Without O_NONBLOCK the open of a FIFO waits for a writer; on a regular file the flag does nothing.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return Fd();
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        return Fd();
    }
    return fd;
}

Fd create_anew(const std::string& path, mode_t mode) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Fd();
    // Something put at the name after the unlink makes the open fail rather than be written through.
    return Fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
}

namespace {

mode_t replacement_mode(const std::string& path, const struct stat& opened) {
    struct stat at {};
    if (::lstat(path.c_str(), &at) != 0 || !S_ISREG(at.st_mode) || at.st_dev != opened.st_dev ||
        at.st_ino != opened.st_ino || at.st_uid != ::geteuid())
        return 0600;
    return at.st_mode & 07777;
}

}  // namespace

std::optional<FileText> read_file(const std::string& path) {
    FileText file;
    Fd fd = open_regular(path);
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR) return file;
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return std::nullopt;
    file.exists = true;
    file.mode = replacement_mode(path, st);
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        file.text.append(buf, static_cast<size_t>(n));
    }
    return file;
}

bool folder_writable(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool make_folders(const std::string& path, mode_t mode) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool replace_file(const std::string& path, std::string_view text, mode_t mode) {
    // One fixed name: the next writer removes what a writer killed midway left there.
    std::string temp = path + ".tmp";
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT) return false;
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return false;
    bool ok = write_all(fd.get(), text) && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0;
    ok = ::close(fd.release()) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
    return true;
}

std::optional<Fd> lock_file(const std::string& path, bool exclusive, bool create,
                            std::chrono::milliseconds wait) {
    // Whatever stands in the lock file's place, a FIFO or a link, must neither block nor redirect the open.
    int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_RDWR | O_CREAT : O_RDONLY);
    Fd fd(::open(path.c_str(), flags, 0600));
    if (!fd) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const int operation = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd.get(), operation) == 0) return fd;
    if (errno != EWOULDBLOCK && errno != EINTR) return std::nullopt;
    // A holder that is stopped or hangs must not hold up every other process for ever: the wait is
    // bounded, so no blocking flock. A holder lets go by closing the file; a waiter woken by that close
    // tries again at once, as a blocked flock would, where one that slept blindly lost nearly every time
    // to a writer storing again straight away. The watch is set before the next try, so no close goes
    // unseen; the short poll is a backstop where closes are not reported.
    Fd closes(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    bool watching = closes && ::inotify_add_watch(closes.get(), path.c_str(), IN_CLOSE | IN_DONT_FOLLOW) >= 0;
    const timing::Deadline deadline = timing::Deadline::after(wait);
    for (;;) {
        if (::flock(fd.get(), operation) == 0) return fd;
        if (errno != EWOULDBLOCK && errno != EINTR) return std::nullopt;
        if (deadline.passed()) return std::nullopt;
        if (!watching) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        timing::wait_fd(closes.get(), POLLIN, std::min(deadline, timing::Deadline::after(kCloseBackstop)));
        char events[4096];
        while (::read(closes.get(), events, sizeof events) > 0) {
        }
    }
}

}  // namespace tavc::file_io
