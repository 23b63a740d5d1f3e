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

// GBK bytes to the character set of the calling program's locale (LC_CTYPE, as setlocale left it), for
// showing a text to a person; a character that set lacks, or bytes that are not GBK, become '?'.
std::string locale_from_gbk(std::string_view gbk);

}  // namespace tavc::codepage
