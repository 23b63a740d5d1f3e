// The library's one serial connection to the terminal: the port it holds for the life of the process,
// and the write discipline every terminal command follows.
#pragma once

#include <cstdint>
#include <string_view>

#include "results.h"
#include "serial.h"

namespace tavc::tessel {

// The open device, or null when the port is not open. Changed only by OpenConfiguredPort and ClosePort.
// A plain pointer, so it has no destructor of its own: the unload handler that closes it may run after
// the library's C++ destructors.
extern serial::Port* PortHandle;

inline bool PortIsOpen() {
    return PortHandle != nullptr;
}

// COM`port_number` (1-9; any other number is COM10) at `baud_rate`, 8N1, raw, with the terminal's
// time-outs. A port that is not open when the device cannot be opened or configured.
serial::Port OpenPort(int32_t port_number, uint32_t baud_rate);

// Reads "Comport" and "BAUND_RATE" (defaults 1 and 9600; a value of another type counts as missing),
// opens the port into PortHandle, and tells the user "打开串口%d出错!" with the number as configured
// when that fails. PortHandle must be null on entry.
void OpenConfiguredPort();

// Closes PortHandle (nothing is sent to the terminal) and sets it to null.
void ClosePort();

// One command under the write discipline: -1 when the port is not open (nothing written); one write of
// all the bytes, -2 at once when it fails; else a 50 ms pause and 0. A write that reports fewer bytes
// than asked for still counts as done.
ExportResult WriteCommand(std::string_view bytes);

// Writes `query` without looking at the write's result and without the pause, then reads one byte within
// the read time-out: 0 with the byte in `key`, -1 port not open, -4 read failed, -5 no byte. `key` is
// changed only on 0.
ExportResult QueryByte(std::string_view query, char& key);

}  // namespace tavc::tessel
