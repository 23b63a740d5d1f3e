// The tests' stand-in driver: appends one line per call to the file that PANELKIT_RECORD names (the
// format is described in panelkit_record.h). Records nothing when the variable is not set.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "panelkit_entries.h"

namespace panelkit_stand_in {
namespace {

void AppendHex(std::string& out, const char* bytes) {
    static const char kDigits[] = "0123456789abcdef";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes); *p != 0; ++p) {
        out += kDigits[*p >> 4];
        out += kDigits[*p & 0xF];
    }
}

void AppendArg(std::string& out, const Arg& arg) {
    switch (arg.kind) {
        case Arg::Kind::Number:
            out += "i:" + std::to_string(arg.number);
            return;
        case Arg::Kind::Text:
            if (arg.text == nullptr) {
                out += "null";
                return;
            }
            out += "s:";
            AppendHex(out, arg.text);
            return;
        case Arg::Kind::Rectangle:
            if (arg.rectangle == nullptr) {
                out += "null";
                return;
            }
            out += "r:" + std::to_string(arg.rectangle[0]) + "," + std::to_string(arg.rectangle[1]) + "," +
                   std::to_string(arg.rectangle[2]) + "," + std::to_string(arg.rectangle[3]);
            return;
    }
}

}  // namespace

void report(const char* entry, std::initializer_list<Arg> args) {
    const char* path = std::getenv("PANELKIT_RECORD");
    if (path == nullptr || *path == '\0') return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::string line = std::to_string(static_cast<unsigned long long>(now.tv_sec) * 1000000000ull +
                                      static_cast<unsigned long long>(now.tv_nsec));
    line += ' ' + std::to_string(getpid()) + ' ' + entry;
    for (const Arg& arg : args) {
        line += ' ';
        AppendArg(line, arg);
    }
    line += '\n';
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    // The whole line in one appending write, so lines of two processes never interleave.
    size_t done = 0;
    while (done < line.size()) {
        ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
}

}  // namespace panelkit_stand_in
