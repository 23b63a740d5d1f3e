// Conversions between the system ANSI code page (936, GBK) and Unicode.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavc::codepage {

// GBK bytes to UTF-8 / UTF-16. A byte sequence that is not GBK becomes U+FFFD.
std::string utf8_from_gbk(std::string_view gbk);
std::u16string utf16_from_gbk(std::string_view gbk);

// UTF-8 / UTF-16 to GBK. A character without a GBK form (or a broken sequence) becomes '?',
// as the Windows default conversion does.
std::string gbk_from_utf8(std::string_view utf8);
std::string gbk_from_utf16(std::u16string_view utf16);

// The same into a fixed buffer, without allocating (after a thread's first call): the number of bytes
// written, no NUL added; none when the text does not fit, `out` then holding only whole characters.
std::optional<size_t> gbk_from_utf16(std::u16string_view utf16, std::span<char> out);

// A GBK character is a lead byte with the trail byte after it, or any other single byte. A lead byte
// without a byte that can trail is a character of its own, so a broken pair never swallows a line end,
// a slash or a blank.
constexpr bool is_gbk_lead_byte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}
constexpr bool is_gbk_trail_byte(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE);
}
// The bytes of the character that `gbk` begins with (1 or 2; 0 for an empty text).
constexpr size_t gbk_char_length(std::string_view gbk) {
    if (gbk.empty()) return 0;
    return gbk.size() >= 2 && is_gbk_lead_byte(static_cast<unsigned char>(gbk[0])) &&
                   is_gbk_trail_byte(static_cast<unsigned char>(gbk[1]))
               ? 2
               : 1;
}

// GBK bytes to the character set of the calling program's locale (LC_CTYPE, as setlocale left it), for
// showing a text to a person; a character that set lacks, or bytes that are not GBK, become '?'.
std::string locale_from_gbk(std::string_view gbk);

}  // namespace tavc::codepage
