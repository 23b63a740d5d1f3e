// Keeps C++ failures inside: the exports of the C libraries, the code the loader runs in them, and the
// registry (which both of those call) run their bodies through `guarded`.
#pragma once

#include <type_traits>

namespace tavc {

// Runs body and gives its result; any exception becomes on_failure.
template <typename Body>
std::invoke_result_t<Body&> guarded(std::invoke_result_t<Body&> on_failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return on_failure;
    }
}

}  // namespace tavc
