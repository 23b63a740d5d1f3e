// The terminal's commands as bytes on the line. Each is built in the 64-byte command buffer; an argument
// that does not fit is refused rather than cut.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavc::tessel {

inline constexpr size_t kCommandBufferSize = 64;
// "PJ" + code + its zero; "PJDL0000" + user + "0" + its zero; 13 header bytes + text + its zero, sent.
inline constexpr size_t kLongestCode = kCommandBufferSize - 3;
inline constexpr size_t kLongestUser = kCommandBufferSize - 10;
inline constexpr size_t kLongestText = kCommandBufferSize - 14;

struct CommandBytes {
    std::array<char, kCommandBufferSize> buffer{};
    size_t size = 0;  // bytes that go on the line
    std::string_view bytes() const { return {buffer.data(), size}; }
};

// 0x00BBGGRR to RGB565, each channel cut to its high bits; bits 24-31 are ignored.
uint16_t ColorToRgb565(int32_t color);

// None for a null or over-long argument.
std::optional<CommandBytes> BuildCommand(const char* code);
std::optional<CommandBytes> BuildLogin(const char* user);
// "PJ17", 0x01, x, y and the RGB565 colour as 16-bit big-endian values (low 16 bits of x and y), two
// zero bytes, the text and its terminating zero.
std::optional<CommandBytes> BuildTextPacket(int32_t x, int32_t y, int32_t color, const char* text);

}  // namespace tavc::tessel
