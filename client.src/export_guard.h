// Keeps C++ failures inside the library: every export body runs through `guarded`.
#pragma once

#include <cstdint>
#include <exception>

namespace tavc::tessel {

// Runs body and returns its result; any exception becomes `on_failure`.
template <typename Body>
int32_t guarded(int32_t on_failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return on_failure;
    }
}

}  // namespace tavc::tessel
