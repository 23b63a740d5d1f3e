// The customer terminal's side of the serial line, on a pseudo-terminal: the code under test opens the
// slave through the dosdevices link, the simulator holds the master. It records every byte and every
// command it decodes, answers "PJQ" from a script of rating keys (or stays silent), and can hang up.
#pragma once

#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavc::test {

struct TerminalCommand {
    enum class Kind {
        Screen,  // "PJ" + two digits
        Login,   // "PJDL0000" + user + "0"
        Text,    // "PJ17" text packet
        Query,   // "PJQ"
        Other,   // anything else: another code, or bytes that are no command
    };
    Kind kind = Kind::Other;
    std::string bytes;  // exactly as received
    std::string code;   // Screen and Other: what followed "PJ"
    std::string user;   // Login
    int x = 0;          // Text: the 16-bit fields as sent
    int y = 0;
    uint16_t color = 0;
    std::string text;                                 // Text: without its terminating zero
    std::chrono::steady_clock::time_point arrived{};  // when its first byte was read
};

// Takes the complete commands off the front of `pending`. The line has no framing: a text packet ends at
// its zero byte and "PJQ" is complete by itself; a code or a login ends where the next "PJ" begins or,
// when `write_ended` (no byte came for a while: the sender is in its pause), at the end of `pending`.
std::vector<TerminalCommand> decode_terminal_commands(std::string& pending, bool write_ended);

class TerminalSimulator {
  public:
    TerminalSimulator();
    ~TerminalSimulator();
    TerminalSimulator(const TerminalSimulator&) = delete;
    TerminalSimulator& operator=(const TerminalSimulator&) = delete;

    // False when no pseudo-terminal could be had; error() says why (a test then skips).
    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }
    const std::string& slave_path() const { return slave_path_; }

    // Makes $config_home/tavc/dosdevices/com<number> a link to the slave (replacing an older link).
    void link_as_port(const std::string& config_home, int number) const;
    // The same link to any target, e.g. a path that does not exist, for a missing device.
    static void link_port(const std::string& config_home, int number, const std::string& target);

    // One key per coming "PJQ", in order; a query beyond the script gets no answer.
    void answer_queries(std::string_view keys);
    // The key for a "PJQ" beyond the script (a real terminal answers 'N' until a button is pressed);
    // none, the default, leaves such a query unanswered.
    void answer_unscripted_queries(std::optional<char> key);
    // Sends bytes to the slave side as the terminal would. False once hung up.
    bool send(std::string_view bytes);
    // Holds the line's output off (or lets it go again), as a terminal that stops taking bytes: writes
    // on the slave side then time out instead of failing.
    bool hold_output(bool held);
    // Closes the terminal's end: later writes on the slave side fail.
    void hang_up();
    // Closes it as soon as `count` bytes in all have arrived (inside the sender's pause after that write).
    void hang_up_after(size_t count);

    // Wait until at least `count` commands (bytes) arrived, at most `timeout`; return all so far.
    std::vector<TerminalCommand> wait_for_commands(
        size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(3));
    std::string wait_for_bytes(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Once the line is hung up (hang_up, or hang_up_after's count reached) and every byte read before that
    // is decoded, at most `timeout`: all commands. What a test compares after a write failed, since the
    // sender sees its failure before the reader has decoded what went through.
    std::vector<TerminalCommand> commands_after_hang_up(
        std::chrono::milliseconds timeout = std::chrono::seconds(3));
    std::vector<TerminalCommand> commands() const;
    std::string received() const;
    size_t queries_answered() const;

    // The slave's line settings as its user left them, and a way to preset them.
    termios line_settings() const;
    bool set_line_settings(const termios& settings);

  private:
    void run();
    void decode(bool write_ended);
    void close_master();

    bool ready_ = false;
    std::string error_;
    std::string slave_path_;
    int slave_ = -1;  // held open so the master never sees the slave vanish while the port is reopened
    int wake_[2] = {-1, -1};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int master_ = -1;  // closed only by the reader thread
    bool stop_ = false;
    bool hang_up_requested_ = false;
    size_t hang_up_at_ = SIZE_MAX;
    std::deque<char> answers_;
    std::optional<char> fallback_answer_;
    size_t answered_ = 0;
    std::string received_;
    std::string pending_;
    std::chrono::steady_clock::time_point pending_since_{};
    std::vector<TerminalCommand> commands_;
    std::thread reader_;
};

}  // namespace tavc::test
