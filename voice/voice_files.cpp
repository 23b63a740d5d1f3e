#include "voice_files.h"

#include <cstdlib>

#include "file_io.h"

namespace tavc::voxcat {
namespace {

constexpr size_t kLinePieceBytes = 62;
constexpr int kEndOfFileByte = 0x1A;
constexpr int kNothingPending = EOF - 1;

File stream_of(file_io::Fd fd, const char* mode) {
    File file(fd ? ::fdopen(fd.get(), mode) : nullptr);
    if (file) fd.release();
    return file;
}

}  // namespace

std::string PathIn(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += '/';
    path += name;
    return path;
}

File OpenToRead(const std::string& path) {
    return stream_of(file_io::open_regular(path), "rb");
}

File CreateAnew(const std::string& path) {
    return stream_of(file_io::create_anew(path, 0666), "wb");
}

void PutLe32(unsigned char* at, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(v >> (8 * i));
}

int32_t GetLe32(const unsigned char* at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
    return static_cast<int32_t>(v);
}

int ListReader::get() {
    if (ended_) return EOF;
    int c;
    if (pending_ != kNothingPending) {
        c = pending_;
        pending_ = kNothingPending;
    } else {
        c = std::getc(file_);
    }
    if (c == '\r') {
        int after = std::getc(file_);
        if (after == '\n') return '\n';
        pending_ = after;
    }
    if (c == EOF || c == kEndOfFileByte) {
        ended_ = true;
        return EOF;
    }
    return c;
}

ListReader::Result ListReader::next(std::string& line) {
    line.clear();
    while (line.size() < kLinePieceBytes) {
        int c = get();
        if (c == EOF) break;
        line += static_cast<char>(c);
        if (c == '\n') break;
    }
    if (std::ferror(file_)) return Result::ReadError;
    if (line.empty()) return Result::End;
    ++number_;
    size_t zero = line.find('\0');
    if (zero != std::string::npos) line.resize(zero);
    return Result::Line;
}

bool IsEmptyListLine(std::string_view line) {
    return line.empty() || line == "\n";
}

std::optional<WordLine> ParseWordLine(std::string_view line, std::string& why) {
    size_t comma = line.find(',');
    if (comma == std::string_view::npos) {
        why = "no comma";
        return std::nullopt;
    }
    if (comma > kLongestWord) {
        why = "a word of more than 31 bytes";
        return std::nullopt;
    }
    std::string_view rest = line.substr(comma + 1);
    if (rest.size() < 2) {
        why = "fewer than two characters behind the comma";
        return std::nullopt;
    }
    return WordLine{std::string(line.substr(0, comma)), std::string(rest.substr(0, rest.size() - 2))};
}

int16_t ParseMapLine(std::string_view line) {
    std::string text(line);
    long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned long>(value) & 0xFFFF));
}

}  // namespace tavc::voxcat
