#include "terminal_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "folders.h"

namespace tavc::test {
namespace {

using Clock = std::chrono::steady_clock;

// Longer than a write takes to arrive, far shorter than the sender's 50 ms pause between writes.
constexpr int kWriteEndedMs = 20;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

TerminalCommand classify(std::string bytes) {
    TerminalCommand c;
    c.bytes = std::move(bytes);
    const std::string& b = c.bytes;
    if (b.size() < 2 || b.compare(0, 2, "PJ") != 0) return c;
    c.code = b.substr(2);
    if (b == "PJQ") {
        c.kind = TerminalCommand::Kind::Query;
    } else if (b.size() >= 14 && b.compare(0, 5, "PJ17\x01") == 0 && b.back() == '\0') {
        auto u16 = [&](size_t at) {
            return static_cast<int>(static_cast<unsigned char>(b[at]) << 8 |
                                    static_cast<unsigned char>(b[at + 1]));
        };
        c.kind = TerminalCommand::Kind::Text;
        c.x = u16(5);
        c.y = u16(7);
        c.color = static_cast<uint16_t>(u16(9));
        c.text = b.substr(13, b.size() - 14);
    } else if (b.size() >= 9 && b.compare(0, 8, "PJDL0000") == 0 && b.back() == '0') {
        c.kind = TerminalCommand::Kind::Login;
        c.user = b.substr(8, b.size() - 9);
    } else if (c.code.size() == 2 && is_digit(c.code[0]) && is_digit(c.code[1])) {
        c.kind = TerminalCommand::Kind::Screen;
    }
    return c;
}

}  // namespace

std::vector<TerminalCommand> decode_terminal_commands(std::string& pending, bool write_ended) {
    std::vector<TerminalCommand> out;
    // Takes the bytes before `end`; npos: the command's end has not been seen, so it ends with the write.
    // False when it has to wait for more bytes.
    auto take_until = [&](size_t end) {
        if (end == std::string::npos) {
            if (!write_ended) return false;
            end = pending.size();
        }
        out.push_back(classify(pending.substr(0, end)));
        pending.erase(0, end);
        return true;
    };
    constexpr auto npos = std::string::npos;
    for (bool more = true; more && !pending.empty();) {
        if (pending.compare(0, 2, "PJ") != 0) {
            more = take_until(pending.find("PJ", 1));
        } else if (pending.size() >= 3 && pending[2] == 'Q') {
            more = take_until(3);
        } else if (pending.size() >= 5 && pending.compare(0, 5, "PJ17\x01") == 0) {
            // The header holds zero bytes of its own: the text's zero comes at offset 13 or later.
            size_t zero = pending.size() > 13 ? pending.find('\0', 13) : npos;
            more = take_until(zero == npos ? npos : zero + 1);
        } else {
            more = take_until(pending.find("PJ", 2));
        }
    }
    return out;
}

TerminalSimulator::TerminalSimulator() {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        error_ = std::string("no pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) ::close(master);
        return;
    }
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0) {
        error_ = "ptsname failed";
        ::close(master);
        return;
    }
    slave_path_ = name;
    // The master's own line discipline is raw from the start, and on Linux termios requests on the master
    // act on the slave: so nothing is set here. The slave stays in its cooked start-up state (echo,
    // CR/LF translation, XON/XOFF), since making the line raw is the job of the code under test.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
        error_ = std::string("pseudo-terminal set-up failed: ") + std::strerror(errno);
        ::close(master);
        return;
    }
    master_ = master;
    ready_ = true;
    reader_ = std::thread([this] { run(); });
}

TerminalSimulator::~TerminalSimulator() {
    if (reader_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        [[maybe_unused]] ssize_t n = ::write(wake_[1], "x", 1);
        reader_.join();
    }
    close_master();
    for (int fd : {slave_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void TerminalSimulator::link_port(const std::string& config_home, int number, const std::string& target) {
    std::filesystem::create_directories(folders::dosdevices_folder_in(config_home));
    std::filesystem::path link = folders::port_link_in(config_home, number);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
}

void TerminalSimulator::link_as_port(const std::string& config_home, int number) const {
    link_port(config_home, number, slave_path_);
}

void TerminalSimulator::answer_queries(std::string_view keys) {
    std::lock_guard lock(mutex_);
    answers_.insert(answers_.end(), keys.begin(), keys.end());
}

void TerminalSimulator::answer_unscripted_queries(std::optional<char> key) {
    std::lock_guard lock(mutex_);
    fallback_answer_ = key;
}

bool TerminalSimulator::send(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return master_ >= 0;
}

bool TerminalSimulator::hold_output(bool held) {
    return slave_ >= 0 && ::tcflow(slave_, held ? TCOOFF : TCOON) == 0;
}

void TerminalSimulator::hang_up() {
    std::unique_lock lock(mutex_);
    if (!reader_.joinable()) return;
    hang_up_requested_ = true;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], "x", 1);
    changed_.wait(lock, [&] { return master_ < 0; });
}

void TerminalSimulator::hang_up_after(size_t count) {
    std::lock_guard lock(mutex_);
    hang_up_at_ = count;
}

void TerminalSimulator::close_master() {
    std::lock_guard lock(mutex_);
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    changed_.notify_all();
}

void TerminalSimulator::decode(bool write_ended) {
    // Called with mutex_ held.
    std::vector<TerminalCommand> decoded = decode_terminal_commands(pending_, write_ended);
    for (TerminalCommand& c : decoded) {
        c.arrived = pending_since_;
        if (c.kind == TerminalCommand::Kind::Query && master_ >= 0 &&
            (!answers_.empty() || fallback_answer_)) {
            char key = fallback_answer_.value_or('\0');
            if (!answers_.empty()) {
                key = answers_.front();
                answers_.pop_front();
            }
            if (::write(master_, &key, 1) == 1) ++answered_;
        }
        commands_.push_back(std::move(c));
    }
    if (!decoded.empty()) {
        pending_since_ = Clock::now();
        changed_.notify_all();
    }
}

void TerminalSimulator::run() {
    for (;;) {
        int master = -1;
        bool waiting = false;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            if (hang_up_requested_ || received_.size() >= hang_up_at_) {
                hang_up_requested_ = false;
                hang_up_at_ = SIZE_MAX;
                if (master_ >= 0) ::close(master_);
                master_ = -1;
                changed_.notify_all();
            }
            master = master_;
            waiting = !pending_.empty();
        }
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {master, POLLIN, 0}};
        int r = ::poll(fds, master >= 0 ? 2 : 1, waiting ? kWriteEndedMs : -1);
        if (r < 0 && errno == EINTR) continue;
        if ((fds[0].revents & POLLIN) != 0) {
            char drain[16];
            [[maybe_unused]] ssize_t n = ::read(wake_[0], drain, sizeof drain);
            continue;
        }
        std::lock_guard lock(mutex_);
        if (r == 0) {
            decode(true);
            continue;
        }
        if ((fds[1].revents & POLLIN) == 0) {
            // Only a hang-up from the slave side: nobody holds it, which cannot last while slave_ is open.
            continue;
        }
        char buf[4096];
        ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) continue;
        if (pending_.empty()) pending_since_ = Clock::now();
        received_.append(buf, static_cast<size_t>(n));
        pending_.append(buf, static_cast<size_t>(n));
        decode(false);
        changed_.notify_all();
    }
}

std::vector<TerminalCommand> TerminalSimulator::wait_for_commands(size_t count,
                                                                  std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return commands_.size() >= count; });
    return commands_;
}

std::string TerminalSimulator::wait_for_bytes(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
    return received_;
}

std::vector<TerminalCommand> TerminalSimulator::commands_after_hang_up(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return master_ < 0 && pending_.empty(); });
    return commands_;
}

std::vector<TerminalCommand> TerminalSimulator::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::string TerminalSimulator::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

size_t TerminalSimulator::queries_answered() const {
    std::lock_guard lock(mutex_);
    return answered_;
}

termios TerminalSimulator::line_settings() const {
    termios t{};
    if (slave_ >= 0) ::tcgetattr(slave_, &t);
    return t;
}

bool TerminalSimulator::set_line_settings(const termios& settings) {
    return slave_ >= 0 && ::tcsetattr(slave_, TCSANOW, &settings) == 0;
}

}  // namespace tavc::test
