// One stored command text turned into calls of the driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "agent_frame.h"
#include "driver_table.h"

namespace corvis {

// A command converted to the ANSI code page: at most 127 bytes and the NUL.
inline constexpr size_t kNarrowCommandBytes = frame::kCommandBytes + 1;
// The worker's wait after a "Cls" call, before it reads the next command.
inline constexpr uint32_t kClsPauseMs = 200;

// Converts `text` (up to its first NUL unit, or all of it) to GBK, a character without a GBK form
// becoming '?'. Writes at most kNarrowCommandBytes bytes, always NUL-terminated. False when the command
// needs more than 127 bytes: `out` is then empty, so the command does nothing.
bool NarrowCommandText(std::u16string_view text, char (&out)[kNarrowCommandBytes]);

// Reads the frame (word, TAB, length field, TAB, argument field) and the word's arguments from a
// NUL-terminated narrowed command and calls the driver. A command that breaks the frame or the word's
// grammar or limits makes no call; a call whose entry is absent is skipped, the command's other call
// still made. Returns how many milliseconds the worker must wait before the next command.
uint32_t DispatchCommand(const DriverTable& driver, const char* text);

}  // namespace corvis
