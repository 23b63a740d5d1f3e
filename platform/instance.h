// One running instance per program file name, the message a second start sends to the running
// instance's main window, and a restart of the program in place.
//
// The instance's lock and its main window's endpoint live in one folder of the user's: $XDG_RUNTIME_DIR/tavc,
// or without XDG_RUNTIME_DIR $XDG_STATE_HOME/tavc-runtime (~/.local/state/tavc-runtime), which unlike a
// folder in /tmp no other user can make first. The folder serves only when it is a folder of this user that
// no one else may enter, and no link; it is then used through its descriptor, so a folder put in its place
// later changes nothing. The lock is <name>.lock held with flock: the kernel drops it when the process ends,
// however it ends. The endpoint is a Unix socket named by a hash of the program's file name and reached
// through /proc/self/fd/<folder>, so its address is short whatever the folder's path; both ends check that
// the other is this user (SO_PEERCRED). The sender waits until the receiver has handled the message, as a
// sent window message does.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "file_io.h"

namespace tavc::instance {

class InstanceLock {
  public:
    enum class State { Acquired, AlreadyExists, Failed };

    // Takes the lock of the program file name `name` (no folder) without waiting. Failed means that
    // whether another instance runs cannot be told.
    static InstanceLock acquire(std::string_view name);

    State state() const { return state_; }
    bool already_exists() const { return state_ == State::AlreadyExists; }
    // The folder used or tried; "" when none can be named (no XDG_RUNTIME_DIR and no home folder).
    const std::string& folder() const { return folder_; }
    // With Failed: why the folder or the lock does not serve.
    const std::string& why() const { return why_; }
    // Gives the lock up; also done at destruction, and by the kernel when the process ends or replaces its
    // image (the descriptor is close-on-exec).
    void release();

    InstanceLock(InstanceLock&&) = default;

  private:
    InstanceLock(State state, std::string_view name, std::string folder, std::string why,
                 file_io::Fd folder_fd = file_io::Fd(), file_io::Fd fd = file_io::Fd())
        : state_(state),
          name_(name),
          folder_(std::move(folder)),
          why_(std::move(why)),
          folder_fd_(std::move(folder_fd)),
          fd_(std::move(fd)) {}
    friend class MessageEndpoint;
    State state_;
    std::string name_, folder_, why_;
    file_io::Fd folder_fd_, fd_;
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
    // The endpoint of the instance that holds `lock`, named after the lock's program file name, in its
    // folder; it replaces one left by an instance that ended. None when the lock is not held or the
    // socket cannot be made.
    static std::unique_ptr<MessageEndpoint> create(const InstanceLock& lock);
    // Removes the endpoint unless another has taken its name since: an instance that gave its lock up
    // never removes the endpoint of one started after.
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
    MessageEndpoint(file_io::Fd listen, file_io::Fd folder, std::string name, dev_t device, ino_t inode)
        : listen_(std::move(listen)),
          folder_(std::move(folder)),
          name_(std::move(name)),
          device_(device),
          inode_(inode) {}
    file_io::Fd listen_, folder_;
    std::string name_;
    dev_t device_;  // of the socket file made, told apart from one made later under the same name
    ino_t inode_;
};

// Sends `message` to the main window of this user's running instance of the program file name `name` and
// waits until it has been handled (or the receiver has ended). Its result; none when no such window
// exists.
std::optional<int64_t> send_message(std::string_view name, const WindowMessage& message);

// Replaces the process image with the program's own executable file, without arguments. Every open
// descriptor is made close-on-exec first, so the serial port, the instance lock and the display
// connection are free before the new image loads its libraries. Returns only when that fails.
void restart_program();

}  // namespace tavc::instance
