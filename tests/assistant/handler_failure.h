// The message of the HandlerError that a step of the program ends with.
#pragma once

#include <optional>
#include <string>

#include "handler_error.h"

namespace tavc::test {

// What the failure of `step` says; none when it succeeds.
template <typename Step>
std::optional<std::string> FailureOf(Step step) {
    try {
        step();
    } catch (const tavc::assistant::HandlerError& e) {
        return e.what();
    }
    return std::nullopt;
}

}  // namespace tavc::test
