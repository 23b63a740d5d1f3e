// One running instance per program file name, the message a second start sends to the running
// instance's main window, and a restart of the program in place.
//
// The instance lock is $XDG_RUNTIME_DIR/tavc/<name>.lock held with flock: the kernel drops it when the
// process ends, however it ends. Without XDG_RUNTIME_DIR the folder is /tmp/tavc-<uid>/tavc, made with mode
// 0700 and used only when it is ours and no symbolic link.
// A window's message endpoint is a Unix socket in the same folder, named from the window's title and the
// user id; the sender waits until the receiver has handled the message, as a sent window message does.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "file_io.h"

namespace tavc::instance {

// The per-user folder that holds the lock files and message endpoints (made when missing); none when
// no safe folder can be had.
std::optional<std::string> runtime_folder();

class InstanceLock {
  public:
    enum class State { Acquired, AlreadyExists, Failed };

    // Takes the lock named `name` (a file name, no folder) without waiting.
    static InstanceLock acquire(std::string_view name);

    State state() const { return state_; }
    bool already_exists() const { return state_ == State::AlreadyExists; }
    // Gives the lock up; also done at destruction, and by the kernel when the process ends or replaces its
    // image (the descriptor is close-on-exec).
    void release();

  private:
    InstanceLock(State state, file_io::Fd fd) : state_(state), fd_(std::move(fd)) {}
    State state_;
    file_io::Fd fd_;

  public:
    InstanceLock(InstanceLock&&) = default;
};

struct WindowMessage {
    uint32_t message = 0;
    uint64_t wparam = 0;
    int64_t lparam = 0;
};

// The receiving end of a window's messages. Its descriptor becomes readable when a sender waits; the
// program's event loop watches it and calls receive().
class MessageEndpoint {
  public:
    // Replaces a stale endpoint of the same title (only the instance lock's holder may call this). None
    // when the socket cannot be made.
    static std::unique_ptr<MessageEndpoint> create(std::string_view window_title);
    ~MessageEndpoint();
    MessageEndpoint(const MessageEndpoint&) = delete;
    MessageEndpoint& operator=(const MessageEndpoint&) = delete;

    int fd() const { return listen_.get(); }

    // A sender that waits for its answer; the answer goes back when reply() runs or the object goes.
    class Pending {
      public:
        explicit Pending(file_io::Fd fd, WindowMessage message) : fd_(std::move(fd)), message_(message) {}
        Pending(Pending&&) = default;
        ~Pending() { reply(0); }
        const WindowMessage& message() const { return message_; }
        void reply(int64_t result);

      private:
        file_io::Fd fd_;
        WindowMessage message_;
    };
    // Takes one waiting sender's message; none when no sender waits or it sent no whole message within
    // a second.
    std::optional<Pending> receive();

  private:
    MessageEndpoint(file_io::Fd listen, std::string path)
        : listen_(std::move(listen)), path_(std::move(path)) {}
    file_io::Fd listen_;
    std::string path_;
};

// Sends `message` to the window titled `window_title` of this user and waits until it has been handled
// (or the receiver has ended). Its result; none when no such window exists.
std::optional<int64_t> send_message(std::string_view window_title, const WindowMessage& message);

// Replaces the process image with the program's own executable file, without arguments. Every open
// descriptor is made close-on-exec first, so the serial port, the instance lock and the display
// connection are free before the new image loads its libraries. Returns only when that fails.
void restart_program();

}  // namespace tavc::instance
