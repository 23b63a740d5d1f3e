#include "text.h"

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

}  // namespace tavc::text
