// USB device interfaces found by their device interface class, and the bulk pipes of an interface, in
// place of the Windows device set-up service and its pipe I/O.
//
// An interface of class {G} is a USB interface whose udev device carries the property
// TAVC_INTERFACE_CLASS={G} (G in upper case with its braces), which the device's udev rule sets. The
// interfaces are taken in the order of their sysfs paths, and an interface's path is its sysfs path. A
// pipe's path is the interface path, "/" and the pipe name: "PIPE00" and "PIPE02" are the interface's
// first and second bulk IN endpoints, "PIPE01" and "PIPE03" its first and second bulk OUT endpoints, in
// descriptor order.
//
// Opening an interface or a pipe opens the USB device with libusb and claims the interface, detaching a
// kernel driver only when one is bound, and giving it back when the claim ends. The handles of one
// process on one interface share one claim, which ends with the last of them, so several threads may
// open and use the same interface at once. Nothing is printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavc::devices {

enum class Status {
    Ok,
    NoMore,    // past the last interface of a set
    NotFound,  // no such interface, device or pipe (any more)
    Denied,    // the permissions of the device node refuse it
    Busy,      // another program has claimed the interface
    Failed,    // any other failure of the system or the device
};

// What a timed read came to.
enum class ReadStatus {
    Done,      // all length bytes came
    Short,     // the device ended the block with fewer bytes than asked (the buffer holds them)
    NotOpen,   // the handle is not open
    TimedOut,  // no block came in time; no byte was stored
    Failed,    // the transfer failed: see error
};

struct ReadResult {
    ReadStatus status = ReadStatus::Failed;
    // Failed: the system's error number (errno) of the failed transfer: EPIPE for a halted endpoint, ENODEV
    // for a device gone, EOVERFLOW for a device that sent more than was asked, EBADF for a handle that is
    // no read pipe.
    int error = 0;
    bool operator==(const ReadResult&) const = default;
};

namespace backend {
struct Claim;
}

// The interfaces of one class present when the set was made, in the order of their sysfs paths.
class InterfaceSet {
  public:
    // `interface_class` is the class's text form with braces ("{682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A}").
    explicit InterfaceSet(std::string_view interface_class);

    // False when udev could not list the devices: then no device of the class is present, and
    // enumerate answers NoMore.
    bool ok() const { return ok_; }

    // The path of the interface at `index`: Ok, or NoMore past the last.
    Status enumerate(size_t index, std::string* path) const;

  private:
    std::vector<std::string> paths_;
    bool ok_ = false;
};

// An open interface or pipe; its share of the claim ends when it goes.
class Handle {
  public:
    Handle() = default;
    Handle(Handle&& other) noexcept;
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle();

    bool is_open() const { return claim_ != nullptr; }
    // The path it was opened with.
    const std::string& path() const { return path_; }

  private:
    Handle(backend::Claim* claim, uint8_t endpoint, std::string path);
    void reset();

    friend Handle open_interface(const std::string&, Status*);
    friend Handle open_pipe(const std::string&, Status*);
    friend ReadResult read_with_timeout(const Handle&, void*, size_t, uint32_t);
    friend Status write(const Handle&, const void*, size_t);
    friend void clear_halt(const Handle&);

    backend::Claim* claim_ = nullptr;
    uint8_t endpoint_ = 0;  // none for an interface
    std::string path_;
};

// Opens the interface at `path` (its sysfs path). A closed handle on failure; `status`, when given, says
// why: NotFound for a path that is no USB interface or whose device has gone, Denied or Busy when the
// device or the interface cannot be had.
Handle open_interface(const std::string& path, Status* status = nullptr);

// Opens the pipe at `path` (an interface path, "/" and a pipe name): the interface as open_interface
// does, and the pipe's endpoint. NotFound also for a pipe name the interface has no endpoint for.
Handle open_pipe(const std::string& path, Status* status = nullptr);

// Reads one block of at most `length` bytes from a read pipe, as one bulk transfer that waits at most
// `timeout_ms` (at least 1 ms): Done when all came, Short when the block was shorter (the buffer then
// holds it). Nothing is stored on any other result, so nothing reaches the buffer after the return. A
// read of 0 bytes is Done at once and leaves the device's next block where it is.
ReadResult read_with_timeout(const Handle& pipe, void* buffer, size_t length, uint32_t timeout_ms);

// Writes all `length` bytes to a write pipe as one bulk transfer (0 bytes: a zero-length packet), waiting
// as long as the device takes. Ok, or why it failed.
Status write(const Handle& pipe, const void* data, size_t length);

// Clears the pipe's halt, as the device expects after a failed transfer, and ignores what the device
// answers. A handle that is no pipe does nothing.
void clear_halt(const Handle& pipe);

}  // namespace tavc::devices
