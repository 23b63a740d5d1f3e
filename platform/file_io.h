// Whole-file reads and replacements for the text files the system keeps (registry hives, the cache file,
// bus activation files): a file is never seen half written, also after a crash.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

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

// Writes all of data, resuming after signals and partial writes.
bool write_all(int fd, std::string_view data);

struct FileText {
    bool exists = false;  // false: no such file (text empty)
    mode_t mode = 0600;   // the file's permission bits when it exists
    std::string text;
};

// The whole file; none when it exists but cannot be read or is not a regular file (then nothing may
// replace it). Never blocks on a FIFO put in the file's place.
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

}  // namespace tavc::file_io
