#include "codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>

namespace tavc::codepage {
namespace {

// A converter per call: iconv_open costs well under a microsecond here, and a thread_local cache with a
// destructor would pin the library in memory, so dlclose could no longer unload it.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in; at each sequence that cannot be converted, skips `skip(in)` bytes and appends
    // `replacement` instead. False when `out` has no more room (it then holds whole characters only).
    template <typename Output, typename Skip>
    bool run(std::string_view in, std::string_view replacement, Skip skip, Output& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t src_left = in.size();
        while (src_left > 0) {
            char* dst = out.next();
            size_t dst_left = out.room();
            size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
            out.advance(out.room() - dst_left);
            if (r != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) {
                if (!out.make_room(out.room() + 1)) return false;
            } else {  // EILSEQ or EINVAL (truncated sequence at the end)
                if (out.room() < replacement.size() && !out.make_room(replacement.size())) return false;
                std::memcpy(out.next(), replacement.data(), replacement.size());
                out.advance(replacement.size());
                size_t n = std::min(src_left, skip(std::string_view(src, src_left)));
                src += n;
                src_left -= n;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return true;
    }

  private:
    iconv_t cd_;
};

// Output that grows as needed.
class GrowingOutput {
  public:
    explicit GrowingOutput(size_t expected) { text_.resize(expected); }
    char* next() { return text_.data() + used_; }
    size_t room() const { return text_.size() - used_; }
    void advance(size_t n) { used_ += n; }
    bool make_room(size_t n) {
        text_.resize(std::max(text_.size() * 2, used_ + n + 16));
        return true;
    }
    std::string take() {
        text_.resize(used_);
        return std::move(text_);
    }

  private:
    std::string text_;
    size_t used_ = 0;
};

// Output into a caller's buffer, which never grows.
class FixedOutput {
  public:
    explicit FixedOutput(std::span<char> buffer) : buffer_(buffer) {}
    char* next() { return buffer_.data() + used_; }
    size_t room() const { return buffer_.size() - used_; }
    void advance(size_t n) { used_ += n; }
    bool make_room(size_t) { return false; }
    size_t used() const { return used_; }

  private:
    std::span<char> buffer_;
    size_t used_ = 0;
};

size_t utf8_sequence_length(std::string_view s) {
    unsigned char c = static_cast<unsigned char>(s[0]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    // A broken sequence skips only its lead byte.
    for (size_t i = 1; i < n; ++i)
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
    return n;
}

size_t utf16_unit_pair(std::string_view s) {
    // Input is UTF-16LE bytes: skip one code unit (two bytes).
    return s.size() >= 2 ? 2 : s.size();
}

template <typename Skip>
std::string convert(Converter& converter, std::string_view in, std::string_view replacement, Skip skip) {
    GrowingOutput out(in.size() * 2 + 16);
    converter.run(in, replacement, skip, out);
    return out.take();
}

constexpr char kReplacementUtf16[] = {static_cast<char>(0xFD), static_cast<char>(0xFF)};

// The fixed-buffer conversion must not allocate, so it keeps its converter per thread. Only the agent's
// worker calls it; a library that is to be unloaded must not (see the note on Converter).
Converter& fixed_gbk_from_utf16_converter() {
    thread_local Converter c("CP936", "UTF-16LE");
    return c;
}

std::string_view utf16_bytes(std::u16string_view utf16) {
    return std::string_view(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
}

}  // namespace

std::string utf8_from_gbk(std::string_view gbk) {
    Converter c("UTF-8", "CP936");
    return convert(c, gbk, "\xEF\xBF\xBD", gbk_char_length);
}

std::u16string utf16_from_gbk(std::string_view gbk) {
    Converter c("UTF-16LE", "CP936");
    std::string bytes = convert(c, gbk, std::string_view(kReplacementUtf16, 2), gbk_char_length);
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string gbk_from_utf8(std::string_view utf8) {
    Converter c("CP936", "UTF-8");
    return convert(c, utf8, "?", utf8_sequence_length);
}

std::string gbk_from_utf16(std::u16string_view utf16) {
    Converter c("CP936", "UTF-16LE");
    return convert(c, utf16_bytes(utf16), "?", utf16_unit_pair);
}

std::string locale_from_gbk(std::string_view gbk) {
    Converter c(nl_langinfo(CODESET), "CP936");
    return convert(c, gbk, "?", gbk_char_length);
}

std::optional<size_t> gbk_from_utf16(std::u16string_view utf16, std::span<char> out) {
    FixedOutput fixed(out);
    if (!fixed_gbk_from_utf16_converter().run(utf16_bytes(utf16), "?", utf16_unit_pair, fixed))
        return std::nullopt;
    return fixed.used();
}

}  // namespace tavc::codepage
