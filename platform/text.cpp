#include "text.h"

#include <cstdint>

namespace tavc::text {

bool iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

bool istarts_with(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && iequal(s.substr(0, prefix.size()), prefix);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank_or_control(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank_or_control(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s, std::string_view blanks) {
    const size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

std::string hash_hex(std::string_view s) {
    uint64_t hash = 14695981039346656037u;
    for (unsigned char c : s) hash = (hash ^ c) * 1099511628211u;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<size_t>(i)] = kDigits[hash & 0x0F];
    return hex;
}

}  // namespace tavc::text
