// Reading back what the recording stand-in driver (libpanelkit.so in tests/support/, built from
// panelkit_recorder.cpp) was called with.
//
// The stand-in appends one line per call to the file that the environment variable PANELKIT_RECORD
// names (nothing when it is unset), each written with one O_APPEND write, so the lines of several
// processes never interleave. A line is fields separated by single blanks, ended by '\n':
//   <time> <pid> <entry> <arg>...
//   time   CLOCK_MONOTONIC at the call, in nanoseconds (the clock of std::chrono::steady_clock)
//   pid    the calling process
//   entry  the entry point's name, e.g. SetFont
//   arg    one per parameter, in order:
//          i:<decimal>      an int32 (for SoftSoundOut's flag: its low byte, 0 to 255)
//          s:<hex>          a text: its bytes up to the NUL, two lower-case hex digits each ("s:" if empty)
//          r:<a>,<b>,<c>,<d> a rectangle: its four int32 values
//          null             a null text or rectangle pointer
// Example: "81234567890 4242 DrawText i:17 i:37 s:616263" is DrawText(17, 37, "abc").
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "temp_folder.h"

namespace tavc::test {

struct DriverArg {
    enum class Kind { Number, Text, Rectangle, Null };
    Kind kind = Kind::Null;
    int32_t number = 0;
    std::string text;  // the bytes, for Text
    std::array<int32_t, 4> rectangle{};

    DriverArg(int32_t n) : kind(Kind::Number), number(n) {}
    DriverArg(std::string bytes) : kind(Kind::Text), text(std::move(bytes)) {}
    DriverArg(const char* bytes) : kind(Kind::Text), text(bytes) {}
    DriverArg(std::array<int32_t, 4> r) : kind(Kind::Rectangle), rectangle(r) {}
    DriverArg(std::nullptr_t) {}

    bool operator==(const DriverArg&) const = default;
};

struct DriverCall {
    std::string entry;
    std::vector<DriverArg> args;
    uint64_t time_ns = 0;  // see the format above
    int pid = 0;

    DriverCall() = default;
    DriverCall(std::string e, std::vector<DriverArg> a) : entry(std::move(e)), args(std::move(a)) {}

    std::chrono::steady_clock::time_point time() const {
        return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(time_ns));
    }
    // Entry and arguments only: the time and the process are not compared.
    friend bool operator==(const DriverCall& a, const DriverCall& b) {
        return a.entry == b.entry && a.args == b.args;
    }
};

// Readably, for test messages: SetFont(12, "\xCB\xCE\xCC\xE5", 0), Cls(NULL), Cls({0, 0, 100, 50}).
std::ostream& operator<<(std::ostream& out, const DriverCall& call);

// One line of a record file, without its '\n'; none when it is not a well-formed record line.
std::optional<DriverCall> ParseDriverCall(std::string_view line);

class PanelkitRecord {
  public:
    // A record file in a temporary folder of its own, removed with the object; the file is created by
    // the first call. Put path() into PANELKIT_RECORD of the process that loads the stand-in.
    PanelkitRecord();
    // An existing or future file of the caller's, left in place.
    explicit PanelkitRecord(std::string path);
    PanelkitRecord(const PanelkitRecord&) = delete;
    PanelkitRecord& operator=(const PanelkitRecord&) = delete;

    const std::string& path() const { return path_; }
    // setenv("PANELKIT_RECORD", path()) for this process; before the driver is called from a thread.
    void export_to_environment() const;

    // Every call recorded so far, in file order. A last line still being written is left out; a line
    // that does not parse fails loudly (it is a fault of the stand-in).
    std::vector<DriverCall> calls() const;
    // Waits until at least `count` calls are recorded or `timeout` has passed; returns calls() as it
    // stood last (so fewer than `count` after a time-out).
    std::vector<DriverCall> wait_for_calls(size_t count, std::chrono::milliseconds timeout) const;
    // Empties the file.
    void clear() const;

  private:
    std::optional<TempFolder> folder_;  // ours to remove, when we made it
    std::string path_;
};

}  // namespace tavc::test
