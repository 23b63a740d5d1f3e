// The 15 entry points of a stand-in display and sound driver, defined once (panelkit_entries.cpp) for
// every stand-in. Each stand-in library defines report(), which receives every call.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace panelkit_stand_in {

struct Arg {
    enum class Kind { Number, Text, Rectangle };
    Kind kind;
    int32_t number;
    const char* text;          // null for a null pointer
    const int32_t* rectangle;  // four values, or null
};

inline Arg number(int32_t value) {
    return {Arg::Kind::Number, value, nullptr, nullptr};
}
inline Arg text(const char* value) {
    return {Arg::Kind::Text, 0, value, nullptr};
}
inline Arg rectangle(const int32_t* value) {
    return {Arg::Kind::Rectangle, 0, nullptr, value};
}

// Called for every entry, with its name and its arguments in order.
void report(const char* entry, std::initializer_list<Arg> args);

}  // namespace panelkit_stand_in
