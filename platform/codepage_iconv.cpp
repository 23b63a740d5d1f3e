#include "codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tavc::codepage {
namespace {

// One converter per direction and thread: iconv_open costs far more than a short conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in; at each sequence that cannot be converted, skips `skip(in)` bytes and appends
    // `replacement` instead.
    template <typename Skip>
    std::string run(std::string_view in, std::string_view replacement, Skip skip) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        size_t src_left = in.size();
        size_t used = 0;
        while (src_left > 0) {
            char* dst = out.data() + used;
            size_t dst_left = out.size() - used;
            size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
            used = out.size() - dst_left;
            if (r != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
            } else {  // EILSEQ or EINVAL (truncated sequence at the end)
                out.resize(std::max(out.size(), used + replacement.size() + 16));
                std::memcpy(out.data() + used, replacement.data(), replacement.size());
                used += replacement.size();
                size_t n = std::min(src_left, skip(std::string_view(src, src_left)));
                src += n;
                src_left -= n;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        out.resize(used);
        return out;
    }

private:
    iconv_t cd_;
};

size_t utf8_sequence_length(std::string_view s) {
    unsigned char c = static_cast<unsigned char>(s[0]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    // A broken sequence skips only its lead byte.
    for (size_t i = 1; i < n; ++i)
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
    return n;
}

size_t gbk_sequence_length(std::string_view s) {
    unsigned char c = static_cast<unsigned char>(s[0]);
    if (c >= 0x81 && c <= 0xFE && s.size() >= 2) return 2;
    return 1;
}

size_t utf16_unit_pair(std::string_view s) {
    // Input is UTF-16LE bytes: skip one code unit (two bytes).
    return s.size() >= 2 ? 2 : s.size();
}

constexpr char kReplacementUtf16[] = {static_cast<char>(0xFD), static_cast<char>(0xFF)};

}  // namespace

std::string utf8_from_gbk(std::string_view gbk) {
    thread_local Converter c("UTF-8", "CP936");
    return c.run(gbk, "\xEF\xBF\xBD", gbk_sequence_length);
}

std::u16string utf16_from_gbk(std::string_view gbk) {
    thread_local Converter c("UTF-16LE", "CP936");
    std::string bytes = c.run(gbk, std::string_view(kReplacementUtf16, 2), gbk_sequence_length);
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::string gbk_from_utf8(std::string_view utf8) {
    thread_local Converter c("CP936", "UTF-8");
    return c.run(utf8, "?", utf8_sequence_length);
}

std::string gbk_from_utf16(std::u16string_view utf16) {
    thread_local Converter c("CP936", "UTF-16LE");
    std::string_view bytes(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
    return c.run(bytes, "?", utf16_unit_pair);
}

}  // namespace tavc::codepage
