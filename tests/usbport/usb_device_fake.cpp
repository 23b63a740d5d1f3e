#include "usb_device_fake.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>

namespace tavc::test {

using Clock = std::chrono::steady_clock;

DeviceRoot::DeviceRoot() {
    ok_ = folder_.ok() && ::mkdir(class_folder().c_str(), 0755) == 0;
}

std::string DeviceRoot::add_interface(std::string_view name) const {
    std::string path = class_folder() + "/" + std::string(name);
    ::mkdir(path.c_str(), 0755);
    for (const char* pipe : kPipeNames) ::mkfifo((path + "/" + pipe).c_str(), 0666);
    return path;
}

std::string DeviceRoot::add_link(std::string_view name, const std::string& target) const {
    std::string path = class_folder() + "/" + std::string(name);
    std::error_code ignored;
    std::filesystem::create_symlink(target, path, ignored);
    return path;
}

std::optional<std::string> DeviceRoot::name_for_path_length(size_t length) const {
    size_t prefix = class_folder().size() + 1;
    if (length <= prefix || length - prefix > NAME_MAX) return std::nullopt;
    return std::string(length - prefix, 'a');
}

FarEnd::FarEnd(const std::string& fifo_path) {
    // Reading and writing: the open never waits for the library's end, and never sees it gone.
    fd_ = ::open(fifo_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

FarEnd::~FarEnd() {
    if (fd_ >= 0) ::close(fd_);
}

bool FarEnd::write(std::string_view bytes) const {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

std::string FarEnd::read(size_t count, std::chrono::milliseconds timeout) const {
    std::string got;
    Clock::time_point deadline = Clock::now() + timeout;
    char chunk[4096];
    while (got.size() < count && Clock::now() < deadline) {
        ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, count - got.size()));
        if (n > 0) {
            got.append(chunk, static_cast<size_t>(n));
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 50);
        } else if (!(n < 0 && errno == EINTR)) {
            break;
        }
    }
    return got;
}

std::string FarEnd::drain() const {
    std::string got;
    char chunk[4096];
    for (;;) {
        ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n <= 0) return got;
        got.append(chunk, static_cast<size_t>(n));
    }
}

DeviceObserver::DeviceObserver() {
    devices::set_observer(this);
}

DeviceObserver::~DeviceObserver() {
    devices::set_observer(nullptr);
}

void DeviceObserver::read_waits(const std::string& pipe_path) {
    std::multiset<std::string> open = open_paths();
    std::lock_guard lock(mutex_);
    waiting_.push_back(pipe_path);
    if (!open_while_waiting_) open_while_waiting_ = std::move(open);
    changed_.notify_all();
}

void DeviceObserver::control_sent(const std::string& pipe_path, uint32_t code) {
    std::lock_guard lock(mutex_);
    controls_.push_back({pipe_path, code});
}

bool DeviceObserver::wait_for_waiting_reads(const std::string& pipe_path, size_t count,
                                            std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::count(waiting_.begin(), waiting_.end(), pipe_path)) >= count;
    });
}

std::vector<DeviceObserver::Control> DeviceObserver::controls() {
    std::lock_guard lock(mutex_);
    return controls_;
}

std::multiset<std::string> DeviceObserver::open_while_waiting() {
    std::lock_guard lock(mutex_);
    return open_while_waiting_.value_or(std::multiset<std::string>{});
}

std::multiset<std::string> open_paths() {
    std::multiset<std::string> paths;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return paths;
    int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
        char target[PATH_MAX];
        ssize_t n = ::readlinkat(own, entry->d_name, target, sizeof target - 1);
        if (n > 0) paths.emplace(target, static_cast<size_t>(n));
    }
    ::closedir(dir);
    return paths;
}

}  // namespace tavc::test
