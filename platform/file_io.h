// The files the system keeps. Whole-file reads and replacements (registry hives, the cache file, bus
// activation files): a file is never seen half written, also after a crash. Opens of the files it only
// reads or writes in place (the hot-key file, the voice library): a FIFO or a link where a file belongs
// neither holds a call up nor redirects a write.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "timing.h"

namespace tavc::file_io {

// An owned file descriptor.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    ~Fd();
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

enum class WriteStatus {
    Written,   // all of it
    TimedOut,  // the deadline passed before the descriptor took the rest
    HungUp,    // the descriptor, with no room, reports a hang-up or an error
    Failed,    // the write or the wait failed: see error
};

struct WriteResult {
    WriteStatus status = WriteStatus::Failed;
    size_t written = 0;  // the bytes the descriptor took
    int error = 0;       // Failed: the write's or the wait's errno
    explicit operator bool() const { return status == WriteStatus::Written; }
};

// Writes all of data, resuming after signals and partial writes; where the descriptor has no room for now
// (a non-blocking one), waits for room until the deadline. A socket is written with MSG_NOSIGNAL: a peer
// that has gone is a failed write, never a SIGPIPE that ends the process.
WriteResult write_all(int fd, std::string_view data,
                      const timing::Deadline& deadline = timing::Deadline::never());

// Opens an existing file to read when it is a regular file; a FIFO, a device or a socket in its place
// could hold up the open or every read for ever. An invalid descriptor, with errno set, otherwise:
// EISDIR for a folder, ENXIO for any other kind of file.
Fd open_regular(const std::string& path);

// A new, empty file at `path` with `mode` (less the umask), open for writing, in place of whatever file
// stood there: a link or a FIFO at the name is removed, never written through. Invalid, with errno set,
// when that cannot be (a folder at the name, a missing folder).
Fd create_anew(const std::string& path, mode_t mode);

struct FileText {
    bool exists = false;  // false: no such file (text empty)
    // The mode its replacement takes: the file's own permission bits when it is a regular file of this
    // process's owner, else 0600, so that a link or another user's file lends its mode to nothing.
    mode_t mode = 0600;
    std::string text;
};

// The whole file; none when it exists but cannot be read or is not a regular file (then nothing may
// replace it). Opened with open_regular: never blocks on a FIFO put in the file's place.
std::optional<FileText> read_file(const std::string& path);

// Whether this process may make and replace files in the folder (on a file system mounted writable).
bool folder_writable(const std::string& path);

// Creates the folder and its missing parents with `mode`. True when it is a folder afterwards.
bool make_folders(const std::string& path, mode_t mode = 0700);

// Replaces the file as a whole with `mode`: the text goes to the temporary file "<path>.tmp", which
// reaches the disk and then takes the file's place by rename; the folder is synced too, so a power loss
// cannot bring back the old file. On failure the old file stays as it was. The temporary file's name is
// fixed, so that a writer killed midway leaves no more than that one file, which the next write replaces:
// writers of one file must take turns (lock_file).
bool replace_file(const std::string& path, std::string_view text, mode_t mode);

// How long a lock is waited for before the caller gives up.
inline constexpr std::chrono::milliseconds kLockWait{5000};

// An advisory lock (flock) on a lock file of its own, held while the returned descriptor lives; the
// kernel drops it if the process dies. The data file itself cannot carry the lock, since replace_file
// puts a new file in its place. With `create`, a missing lock file is made with mode 0600. Only a regular
// file serves (a link in its place is not followed). None when the lock file cannot be opened or the lock
// is not had within `wait`.
std::optional<Fd> lock_file(const std::string& path, bool exclusive, bool create,
                            std::chrono::milliseconds wait = kLockWait);

// What an edit made of a file's text.
struct Edited {
    enum class Kind { Refused, Unchanged, Changed };
    Kind kind = Kind::Unchanged;
    std::string text;  // Changed: the file's new text

    static Edited refused() { return {Kind::Refused, {}}; }
    static Edited unchanged() { return {Kind::Unchanged, {}}; }
    static Edited changed(std::string text) { return {Kind::Changed, std::move(text)}; }
};

// One change of a file whose writers take turns: under the exclusive lock on `lock_path` (made when
// missing, waited for as lock_file waits), reads the file (a missing one is empty), runs `edit` on its
// text, and replaces the file with what the edit made of it (replace_file) with `mode`, or with the mode
// read_file gives when there is none. The edit may take the text it is given (to free it early). True
// when the edit changed nothing or the replacement is in place; false, with the file as it was, when the
// lock is not had, the file cannot be read, the edit refuses or the replacement fails.
bool edit_under_lock(const std::string& path, const std::string& lock_path,
                     const std::function<Edited(std::string& text)>& edit,
                     std::optional<mode_t> mode = std::nullopt);

}  // namespace tavc::file_io
