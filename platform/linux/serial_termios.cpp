#include "serial.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>

#include "file_io.h"
#include "folders.h"
#include "timing.h"

namespace tavc::serial {
namespace {

using Clock = timing::Deadline::Clock;
using timing::Deadline;

// The one place where the system's error numbers become results. Reads and writes handle EINTR and
// EAGAIN themselves, so EWOULDBLOCK reaching this point comes from the lock.
Status status_from_errno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENODEV:
        case ENXIO:
        case ELOOP:
            return Status::NotFound;
        case EBUSY:
        case EWOULDBLOCK:
            return Status::Busy;
        default:
            return Status::Failed;
    }
}

struct Speed {
    uint32_t rate;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// 0 has no entry on purpose: B0 would hang the line up.
std::optional<speed_t> speed_for(uint32_t rate) {
    for (const Speed& s : kSpeeds)
        if (s.rate == rate) return s.code;
    return std::nullopt;
}

Deadline deadline_after(uint32_t per_byte_ms, uint32_t constant_ms, size_t bytes) {
    if (per_byte_ms == 0 && constant_ms == 0) return Deadline::never();
    uint64_t ms = static_cast<uint64_t>(per_byte_ms) * bytes + constant_ms;
    return Deadline::after(std::chrono::duration<uint64_t, std::milli>(ms));
}

// A hung-up or failing line is broken even with data left: nothing more will come from it.
bool broken(short revents) {
    return (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

}  // namespace

std::string device_path(int number) {
    if (number < 1 || number > 10) return {};
    std::string home = folders::config_home();
    if (!home.empty()) {
        // lstat: a link to a device that is unplugged still names the port, so it never falls through
        // to a built-in port the user did not choose.
        std::string link = folders::port_link_in(home, number);
        struct stat st {};
        if (::lstat(link.c_str(), &st) == 0) return link;
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

Port::~Port() {
    close();
}

Port::Port(Port&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), baud_rate_(other.baud_rate_), timeouts_(other.timeouts_) {}

Port& Port::operator=(Port&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        baud_rate_ = other.baud_rate_;
        timeouts_ = other.timeouts_;
    }
    return *this;
}

Status Port::open(int number) {
    close();
    std::string path = device_path(number);
    if (path.empty()) return Status::NoSuchPort;
    int fd = -1;
    do {
        // Non-blocking: the open must not wait for a carrier, and every wait below is a poll.
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return status_from_errno(errno);
    // TIOCEXCL keeps out other opens except root's; the lock also keeps out root and a second open
    // within this process.
    int r = 0;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        int error = errno;
        ::close(fd);
        return status_from_errno(error);
    }
    fd_ = fd;
    baud_rate_ = 0;
    timeouts_ = {};
    return Status::Ok;
}

Status Port::configure(uint32_t baud_rate) {
    if (fd_ < 0) return Status::Failed;
    std::optional<speed_t> speed = speed_for(baud_rate);
    if (!speed) return Status::Unsupported;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return status_from_errno(errno);
    // Binary data both ways, as on a COM port. A break is a line event there, not a data byte.
    t.c_iflag &=
        ~(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON | IXOFF | IXANY | INPCK | IMAXBEL);
    t.c_iflag |= IGNBRK;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    // Reads return at once; the time-outs are kept by poll.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, *speed) != 0 || ::cfsetospeed(&t, *speed) != 0) return Status::Unsupported;
    int r = 0;
    do {
        r = ::tcsetattr(fd_, TCSANOW, &t);
    } while (r != 0 && errno == EINTR);
    if (r != 0) return status_from_errno(errno);
    // tcsetattr succeeds when any part of the change took: check what the device made of it.
    termios now{};
    if (::tcgetattr(fd_, &now) != 0) return status_from_errno(errno);
    if (::cfgetospeed(&now) != *speed || ::cfgetispeed(&now) != *speed) return Status::Unsupported;
    constexpr tcflag_t kLine = CSIZE | PARENB | CSTOPB | CLOCAL | CREAD;
    if ((now.c_cflag & kLine) != (t.c_cflag & kLine) || (now.c_lflag & (ECHO | ICANON | ISIG)) != 0 ||
        (now.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR)) != 0 || (now.c_oflag & OPOST) != 0)
        return Status::Failed;
    baud_rate_ = baud_rate;
    return Status::Ok;
}

Status Port::set_timeouts(const Timeouts& timeouts) {
    if (fd_ < 0) return Status::Failed;
    timeouts_ = timeouts;
    return Status::Ok;
}

Transfer Port::read(void* data, size_t size) {
    if (fd_ < 0) return {Status::Failed, 0};
    auto* out = static_cast<unsigned char*>(data);
    const Deadline total = deadline_after(timeouts_.read_per_byte_ms, timeouts_.read_constant_ms, size);
    Clock::time_point last_byte{};
    size_t got = 0;
    while (got < size) {
        ssize_t r = ::read(fd_, out + got, size - got);
        if (r > 0) {
            got += static_cast<size_t>(r);
            last_byte = Clock::now();
            continue;
        }
        // 0 is "nothing queued" on a line with VMIN 0.
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN) return {status_from_errno(errno), got};
        Deadline until = total;
        if (got > 0 && timeouts_.read_interval_ms != 0)
            until = std::min(until,
                             Deadline::at(last_byte + std::chrono::milliseconds(timeouts_.read_interval_ms)));
        timing::WaitResult ready = timing::wait_fd(fd_, POLLIN, until);
        if (ready.status == timing::WaitStatus::TimedOut) return {Status::Ok, got};
        if (ready.status == timing::WaitStatus::Failed || broken(ready.revents)) return {Status::Failed, got};
    }
    return {Status::Ok, got};
}

Transfer Port::write(const void* data, size_t size) {
    if (fd_ < 0) return {Status::Failed, 0};
    const Deadline deadline = deadline_after(timeouts_.write_per_byte_ms, timeouts_.write_constant_ms, size);
    file_io::WriteResult written =
        file_io::write_all(fd_, std::string_view(static_cast<const char*>(data), size), deadline);
    const size_t sent = written.written;
    switch (written.status) {
        case file_io::WriteStatus::Written:
        case file_io::WriteStatus::TimedOut:
            break;
        case file_io::WriteStatus::HungUp:
            return {Status::Failed, sent};
        case file_io::WriteStatus::Failed:
            return {status_from_errno(written.error), sent};
    }
    // A COM port's write ends when the bytes are on the line; here they may still sit in the queue.
    for (;;) {
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return {Status::Ok, sent};
        Clock::time_point now = Clock::now();
        if (deadline.passed()) return {Status::Ok, sent - std::min(sent, static_cast<size_t>(queued))};
        // One character is ten bit times at 8N1.
        uint32_t rate = baud_rate_ != 0 ? baud_rate_ : 9600;
        auto left = std::chrono::microseconds(static_cast<uint64_t>(queued) * 10'000'000u / rate + 100);
        std::this_thread::sleep_until(std::min(now + left, deadline.when()));
    }
}

void Port::close() {
    if (fd_ < 0) return;
    // The exclusive flag belongs to the tty, which outlives this descriptor when another holds it open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace tavc::serial
