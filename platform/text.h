// Small text rules the layer and the system share: names compared without regard to the case of ASCII
// letters (every other byte, GBK included, as it stands), trimming, and a short name for a long text.
#pragma once

#include <string>
#include <string_view>

namespace tavc::text {

constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequal(std::string_view a, std::string_view b);
bool istarts_with(std::string_view s, std::string_view prefix);

// Bytes 0-32: the control bytes and the blank.
constexpr bool is_blank_or_control(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

// Without the leading and trailing bytes 0-32.
std::string_view trim(std::string_view s);
// Without the leading and trailing bytes found in `blanks`.
std::string_view trim(std::string_view s, std::string_view blanks);

// The 64-bit FNV-1a hash of the bytes as 16 lower-case hex digits: a name of fixed length that stands
// for a text of any length. Stored names are made of it, so it never changes.
std::string hash_hex(std::string_view s);

}  // namespace tavc::text
