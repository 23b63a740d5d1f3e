#include "panelkit_record.h"

#include <stdlib.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tavc::test {
namespace {

template <typename T>
std::optional<T> ParseInteger(std::string_view s) {
    T value{};
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return value;
}

std::optional<std::string> ParseHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        auto [end, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (ec != std::errc() || end != hex.data() + i + 2) return std::nullopt;
        bytes += static_cast<char>(value);
    }
    return bytes;
}

std::optional<DriverArg> ParseArg(std::string_view field) {
    if (field == "null") return DriverArg(nullptr);
    if (field.size() < 2 || field[1] != ':') return std::nullopt;
    std::string_view value = field.substr(2);
    switch (field[0]) {
        case 'i':
            if (auto n = ParseInteger<int32_t>(value)) return DriverArg(*n);
            return std::nullopt;
        case 's':
            if (auto bytes = ParseHex(value)) return DriverArg(std::move(*bytes));
            return std::nullopt;
        case 'r': {
            std::array<int32_t, 4> r{};
            for (size_t i = 0; i < 4; ++i) {
                size_t comma = i < 3 ? value.find(',') : value.size();
                if (comma == std::string_view::npos) return std::nullopt;
                auto n = ParseInteger<int32_t>(value.substr(0, comma));
                if (!n) return std::nullopt;
                r[i] = *n;
                value = value.substr(std::min(comma + 1, value.size()));
            }
            return DriverArg(r);
        }
        default:
            return std::nullopt;
    }
}

void PrintText(std::ostream& out, const std::string& bytes) {
    out << '"';
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out << static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out << escape;
        }
    }
    out << '"';
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const DriverCall& call) {
    out << call.entry << '(';
    for (size_t i = 0; i < call.args.size(); ++i) {
        const DriverArg& a = call.args[i];
        if (i > 0) out << ", ";
        switch (a.kind) {
            case DriverArg::Kind::Number:
                out << a.number;
                break;
            case DriverArg::Kind::Text:
                PrintText(out, a.text);
                break;
            case DriverArg::Kind::Rectangle:
                out << '{' << a.rectangle[0] << ", " << a.rectangle[1] << ", " << a.rectangle[2] << ", "
                    << a.rectangle[3] << '}';
                break;
            case DriverArg::Kind::Null:
                out << "NULL";
                break;
        }
    }
    return out << ')';
}

std::optional<DriverCall> ParseDriverCall(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        size_t blank = line.find(' ', start);
        fields.push_back(line.substr(start, blank == std::string_view::npos ? blank : blank - start));
        if (blank == std::string_view::npos) break;
        start = blank + 1;
    }
    if (fields.size() < 3 || fields[2].empty()) return std::nullopt;
    DriverCall call;
    auto time = ParseInteger<uint64_t>(fields[0]);
    auto pid = ParseInteger<int>(fields[1]);
    if (!time || !pid) return std::nullopt;
    call.time_ns = *time;
    call.pid = *pid;
    call.entry = std::string(fields[2]);
    for (size_t i = 3; i < fields.size(); ++i) {
        std::optional<DriverArg> arg = ParseArg(fields[i]);
        if (!arg) return std::nullopt;
        call.args.push_back(std::move(*arg));
    }
    return call;
}

PanelkitRecord::PanelkitRecord() {
    folder_.emplace("panelkit_record");
    if (!folder_->ok()) throw std::runtime_error("cannot make a temporary folder");
    path_ = *folder_ / "calls.txt";
}

PanelkitRecord::PanelkitRecord(std::string path) : path_(std::move(path)) {}

void PanelkitRecord::export_to_environment() const {
    ::setenv("PANELKIT_RECORD", path_.c_str(), 1);
}

std::vector<DriverCall> PanelkitRecord::calls() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    std::vector<DriverCall> calls;
    for (size_t start = 0;;) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // none left, or one still being written
        std::string_view line(text.data() + start, end - start);
        std::optional<DriverCall> call = ParseDriverCall(line);
        if (!call) throw std::runtime_error("malformed record line: " + std::string(line));
        calls.push_back(std::move(*call));
        start = end + 1;
    }
    return calls;
}

std::vector<DriverCall> PanelkitRecord::wait_for_calls(size_t count,
                                                       std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::vector<DriverCall> now = calls();
        if (now.size() >= count || std::chrono::steady_clock::now() >= deadline) return now;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void PanelkitRecord::clear() const {
    std::ofstream(path_, std::ios::binary | std::ios::trunc);
}

}  // namespace tavc::test
