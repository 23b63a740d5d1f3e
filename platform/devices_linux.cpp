#include "devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

namespace tavc::devices {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<Observer*> observer{nullptr};

// The one place where the system's error numbers become results.
Status status_from_errno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case EISDIR:
        case ENODEV:
        case ENXIO:
        case ELOOP:
            return Status::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return Status::Denied;
        default:
            return Status::Failed;
    }
}

void set_status(Status* status, Status value) {
    if (status != nullptr) *status = value;
}

Handle failed_open(Status* status) {
    set_status(status, status_from_errno(errno));
    return {};
}

int open_retrying(const std::string& path, int flags) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t read_retrying(int fd, void* buffer, size_t length) {
    ssize_t r = 0;
    do {
        r = ::read(fd, buffer, length);
    } while (r < 0 && errno == EINTR);
    return r;
}

// The names in `folder`, in byte order; none when it cannot be listed to its end.
bool list_folder(const std::string& folder, std::vector<std::string>* names) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) break;
        std::string_view name = entry->d_name;
        if (name != "." && name != "..") names->emplace_back(name);
    }
    bool complete = errno == 0;
    ::closedir(dir);
    if (!complete) names->clear();
    std::sort(names->begin(), names->end());
    return complete;
}

}  // namespace

std::string class_folder(std::string_view interface_class) {
    // Where a udev rule of the device's driver links the interfaces.
    const char* root = std::getenv("TAVC_DEVICE_ROOT");
    std::string folder = root != nullptr && root[0] != '\0' ? root : "/dev/tavc";
    return folder + "/" + std::string(interface_class);
}

InterfaceSet::InterfaceSet(std::string_view interface_class) : folder_(class_folder(interface_class)) {
    ok_ = list_folder(folder_, &names_);
}

Status InterfaceSet::enumerate(size_t index, std::string* path) const {
    if (index >= names_.size()) return Status::NoMore;
    std::string entry = folder_ + "/" + names_[index];
    struct stat st {};
    if (::stat(entry.c_str(), &st) != 0) return status_from_errno(errno);
    if (!S_ISDIR(st.st_mode)) return Status::NotFound;
    *path = std::move(entry);
    return Status::Ok;
}

Handle open_interface(const std::string& path, Status* status) {
    // A folder opens for reading only; write access to it means nothing here.
    int fd = open_retrying(path, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return failed_open(status);
    set_status(status, Status::Ok);
    return Handle(fd, path);
}

Handle open_pipe(const std::string& path, PipeIo io, Status* status) {
    // Reading and writing: a FIFO opened so never sees its far end as gone, and the open never waits.
    int flags = O_RDWR;
    if (io == PipeIo::Overlapped) flags |= O_NONBLOCK;
    int fd = open_retrying(path, flags);
    if (fd < 0) return failed_open(status);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        set_status(status, Status::NotFound);
        return {};
    }
    set_status(status, Status::Ok);
    return Handle(fd, path);
}

int read_with_timeout(const Handle& pipe, void* buffer, size_t length, uint32_t timeout_ms) {
    if (!pipe.is_open()) return kReadNoPipe;
    int fd = pipe.fd_.get();
    ssize_t r = read_retrying(fd, buffer, length);
    if (r >= 0) return static_cast<size_t>(r) == length ? kReadDone : kReadShortAtOnce;
    if (errno != EAGAIN) return errno;

    if (Observer* o = observer.load(std::memory_order_acquire)) o->read_waits(pipe.path());
    // Only a read that finds bytes takes them: when the wait ends without, no read is left that could
    // still store into the buffer.
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        Clock::time_point now = Clock::now();
        if (now >= deadline) return kReadTimedOut;
        // Rounded up, so the wait never ends before the deadline.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(std::min<decltype(left)>(left, INT_MAX)));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (ready == 0) continue;
        if ((p.revents & POLLNVAL) != 0) return EBADF;
        r = read_retrying(fd, buffer, length);
        if (r > 0) return kReadDone;
        // A zero-length transfer completes a read; an end of file after a hang-up is a far end gone.
        if (r == 0) return (p.revents & POLLHUP) != 0 ? EPIPE : kReadDone;
        if (errno != EAGAIN) return errno;
        // A device in error that still has nothing to read would wake every poll at once.
        if ((p.revents & POLLERR) != 0) return EIO;
        if ((p.revents & POLLHUP) != 0) return EPIPE;
        // Another reader of the pipe took the bytes first: wait on.
    }
}

Status write(const Handle& pipe, const void* data, size_t length) {
    if (!pipe.is_open()) return Status::Failed;
    int fd = pipe.fd_.get();
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t sent = 0;
    while (sent < length) {
        ssize_t r = ::write(fd, bytes + sent, length - sent);
        if (r > 0) {
            sent += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, -1) < 0 && errno != EINTR) return status_from_errno(errno);
            continue;
        }
        // A device that takes no byte and reports nothing has refused the block.
        return r < 0 ? status_from_errno(errno) : Status::Failed;
    }
    return Status::Ok;
}

void control(const Handle& pipe, uint32_t code) {
    if (!pipe.is_open()) return;
    int r = 0;
    do {
        r = ::ioctl(pipe.fd_.get(), static_cast<unsigned long>(code), nullptr);
    } while (r != 0 && errno == EINTR);
    if (Observer* o = observer.load(std::memory_order_acquire)) o->control_sent(pipe.path(), code);
}

void set_observer(Observer* o) {
    observer.store(o, std::memory_order_release);
}

}  // namespace tavc::devices
