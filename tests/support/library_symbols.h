// The names a shared library shows in its dynamic symbol table, as nm reads them.
#pragma once

#include <stdio.h>

#include <optional>
#include <set>
#include <string>

namespace tavc::test {

// The defined dynamic symbols of the library at path; none when nm is missing or cannot read it.
inline std::optional<std::set<std::string>> dynamic_symbols(const std::string& path) {
    std::string command = "nm -D --defined-only --format=posix '" + path + "' 2>/dev/null";
    FILE* nm = ::popen(command.c_str(), "r");
    if (nm == nullptr) return std::nullopt;
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::string s(line);
        names.insert(s.substr(0, s.find(' ')));
    }
    if (::pclose(nm) != 0 && names.empty()) return std::nullopt;
    return names;
}

}  // namespace tavc::test
