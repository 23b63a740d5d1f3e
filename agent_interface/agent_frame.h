// The frame of an agent command, as the agent reads it and its clients build it: the word, a TAB, the
// length of the argument field in bytes, a TAB, and the argument field, all in GBK.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvis::frame {

// The argument field, and every text the agent takes from it.
inline constexpr size_t kArgumentBytes = 64;
// A whole command after its conversion to GBK, not counting its NUL; a longer one does nothing.
inline constexpr size_t kCommandBytes = 127;

// Where the agent's reader ends a word or a number.
constexpr bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The command as a client sends it.
inline std::string Command(std::string_view word, std::string_view argument) {
    return std::string(word) + '\t' + std::to_string(argument.size()) + '\t' + std::string(argument);
}

}  // namespace corvis::frame
