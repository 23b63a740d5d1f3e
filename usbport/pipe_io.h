// The library's timed read with its transfer result codes, and its device I/O control request, on the
// devices facility's pipes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices.h"

namespace tavc::usbpipe {

// Transfer result codes of ReadWithTimeout. Any other value is the system's error number (errno) of the
// failed transfer: EPIPE for a halted endpoint, ENODEV for a device gone, EOVERFLOW for a device that sent
// more than was asked, EBADF for a handle that is no read pipe. ENXIO shares its value 6 with kReadNoPipe.
inline constexpr int32_t kReadDone = 0;         // all length bytes came
inline constexpr int32_t kReadShort = -1;       // the device ended the block with fewer bytes than asked
inline constexpr int32_t kReadNoPipe = 6;       // the handle is not open
inline constexpr int32_t kReadTimedOut = 1460;  // no block came in time; no byte was stored

// The device I/O control request a pipe understands: the device's request after a failed transfer
// (device type 0x22, function 2, buffered, any access), which clears the endpoint's halt.
inline constexpr uint32_t kControlAfterFailure = 0x220008;

// The facility's read result as a transfer result code.
int32_t TransferResult(const devices::ReadResult& result);

// devices::read_with_timeout, with its result as a transfer result code.
int32_t ReadWithTimeout(const devices::Handle& pipe, void* buffer, size_t length, uint32_t timeout_ms);

// Sends the device I/O control request `code` with no input and no output data, and ignores what the
// device answers. kControlAfterFailure clears the pipe's halt; any other code, and a handle that is no
// pipe, do nothing.
void SendControlRequest(const devices::Handle& pipe, uint32_t code);

}  // namespace tavc::usbpipe
