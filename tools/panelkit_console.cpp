// A stand-in for the display and sound driver, for running the system without the terminal: prints
// each call readably on standard error and, when PANELKIT_LOG names a file, appends it there too.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "codepage.h"
#include "panelkit_entries.h"

namespace panelkit_stand_in {
namespace {

// The driver's texts are GBK; people read them as UTF-8, control characters escaped.
std::string Quoted(const char* gbk) {
    if (gbk == nullptr) return "NULL";
    std::string out = "\"";
    for (unsigned char c : tavc::codepage::utf8_from_gbk(gbk)) {
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Describe(const Arg& arg) {
    switch (arg.kind) {
        case Arg::Kind::Number:
            return std::to_string(arg.number);
        case Arg::Kind::Text:
            return Quoted(arg.text);
        case Arg::Kind::Rectangle:
            if (arg.rectangle == nullptr) return "NULL";
            return "{" + std::to_string(arg.rectangle[0]) + ", " + std::to_string(arg.rectangle[1]) + ", " +
                   std::to_string(arg.rectangle[2]) + ", " + std::to_string(arg.rectangle[3]) + "}";
    }
    return "?";
}

std::string LocalTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
                  now.tv_nsec / 1000000);
    return text;
}

}  // namespace

void report(const char* entry, std::initializer_list<Arg> args) {
    std::string line = LocalTime() + " panelkit: " + entry + "(";
    bool first = true;
    for (const Arg& arg : args) {
        if (!first) line += ", ";
        first = false;
        line += Describe(arg);
    }
    line += ")\n";
    std::fputs(line.c_str(), stderr);
    const char* log = std::getenv("PANELKIT_LOG");
    if (log == nullptr || *log == '\0') return;
    if (FILE* f = std::fopen(log, "a")) {
        std::fputs(line.c_str(), f);
        std::fclose(f);
    }
}

}  // namespace panelkit_stand_in
