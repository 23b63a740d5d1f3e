// Devices found by their device interface class, and the pipes under an interface, in place of the
// Windows device set-up service and its overlapped pipe I/O.
//
// The interfaces of class {G} are the entries of $TAVC_DEVICE_ROOT/{G}/ (/dev/tavc when the variable is
// unset or empty), in byte order of their names. Each entry is a folder, or a link to one, and its path is
// the interface path; a device driver (or a udev rule of it) makes them. A pipe is a file inside that folder.
// Everything here may be used from several threads at once; a Handle from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file_io.h"

namespace tavc::devices {

enum class Status {
    Ok,
    NoMore,    // past the last interface of a set
    NotFound,  // no such folder or file, or a folder where a file is wanted or the other way round
    Denied,    // the permissions refuse it
    Failed,    // any other failure of the system or the device
};

// Results of read_with_timeout. Any other value is the system's error number (errno) of the failed
// read or wait; ENXIO shares its value 6 with kNoPipe, and means much the same.
inline constexpr int kReadDone = 0;          // length bytes at once, or any number after a wait
inline constexpr int kReadShortAtOnce = -1;  // ended at once with fewer bytes than asked
inline constexpr int kReadNoPipe = 6;        // the handle is not open
inline constexpr int kReadTimedOut = 1460;   // nothing came in time; no byte was stored

class Handle;

// The folder whose entries are the interfaces of `interface_class`, the class's text form with braces
// ("{682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A}").
std::string class_folder(std::string_view interface_class);

// The interfaces of one class present when the set was made.
class InterfaceSet {
  public:
    explicit InterfaceSet(std::string_view interface_class);

    // False when the class folder could not be listed (missing, not a folder, unreadable): then no
    // device of the class is present, and enumerate answers NoMore.
    bool ok() const { return ok_; }

    // The path of the interface at `index`: Ok; NoMore past the last; NotFound, Denied or Failed when
    // that entry cannot be read as a folder (gone, a link to nothing, a plain file), and the caller goes
    // on with the next index.
    Status enumerate(size_t index, std::string* path) const;

  private:
    std::string folder_;
    std::vector<std::string> names_;
    bool ok_ = false;
};

// How a pipe is used: Overlapped pipes are read with read_with_timeout, Synchronous ones written with
// write.
enum class PipeIo { Overlapped, Synchronous };

// Opens the interface (its folder). A closed handle on failure; `status`, when given, says why.
Handle open_interface(const std::string& path, Status* status = nullptr);

// Opens an existing pipe file for reading and writing, shared with any other opener.
Handle open_pipe(const std::string& path, PipeIo io, Status* status = nullptr);

// Reads up to `length` bytes into `buffer`. Bytes waiting now end the read at once: kReadDone when they
// fill the buffer, kReadShortAtOnce when fewer; a read of 0 bytes is kReadDone. Otherwise the read waits
// at most `timeout_ms` for the next bytes and takes what came (kReadDone, however few), or ends with
// kReadTimedOut and stores nothing, so nothing can reach the buffer after the return.
int read_with_timeout(const Handle& pipe, void* buffer, size_t length, uint32_t timeout_ms);

// Writes all `length` bytes, waiting as long as the device takes. Ok, or why it failed.
Status write(const Handle& pipe, const void* data, size_t length);

// Sends the device I/O control request `code` with no input and no output data; whatever the device
// answers is ignored.
void control(const Handle& pipe, uint32_t code);

// An open interface or pipe; closed when it goes.
class Handle {
  public:
    Handle() = default;
    Handle(Handle&&) noexcept = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool is_open() const { return static_cast<bool>(fd_); }
    // The path it was opened with.
    const std::string& path() const { return path_; }

  private:
    Handle(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    friend Handle open_interface(const std::string&, Status*);
    friend Handle open_pipe(const std::string&, PipeIo, Status*);
    friend int read_with_timeout(const Handle&, void*, size_t, uint32_t);
    friend Status write(const Handle&, const void*, size_t);
    friend void control(const Handle&, uint32_t);

    file_io::Fd fd_;
    std::string path_;
};

// Sees what a test cannot see at a FIFO: the moment a timed read starts to wait, and control requests.
// Called on the calling thread, so an observer must be safe to call from several threads at once.
class Observer {
  public:
    virtual ~Observer() = default;
    virtual void read_waits(const std::string& pipe_path) = 0;
    virtual void control_sent(const std::string& pipe_path, uint32_t code) = 0;
};

// Installs `observer` (null: none). The caller keeps it alive until it is replaced.
void set_observer(Observer* observer);

}  // namespace tavc::devices
