// The speech and sound exports of libtessel.so, loaded as a host program loads the library, once per
// process. The serial port that the library opens at load is a pty of the test's own, never a real port.
#pragma once

#include <cstdint>
#include <string>

namespace tavc::test {

struct TesselAgentExports {
    int32_t (*sound_out)(const char*) = nullptr;
    int32_t (*soft_sound_out)(const char*, int32_t) = nullptr;
    int32_t (*speak)(const char*, int32_t) = nullptr;

    bool loaded() const { return sound_out != nullptr && soft_sound_out != nullptr && speak != nullptr; }

    // Loads `library` (a path) at the first call; later calls give the same exports.
    static const TesselAgentExports& get(const std::string& library);
};

}  // namespace tavc::test
