// Serial ports COM1 to COM10, used like a Windows COM port: exclusive, raw 8-bit line, reads and writes
// bounded by the COMMTIMEOUTS arithmetic.
//
// Port n opens $XDG_CONFIG_HOME/tavc/dosdevices/comn (a symbolic link to a tty; ~/.config when the
// variable is unset or relative) when that link exists, even if it points nowhere, else /dev/ttyS(n-1).
// A Port is used from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavc::serial {

enum class Status {
    Ok,
    NoSuchPort,   // port number outside 1..10
    NotFound,     // the device does not exist
    Busy,         // another open holds the device, in this or another process
    Unsupported,  // a baud rate the device has no speed for
    Failed,       // any other failure of the device (not a tty, I/O error, hung up, port not open)
};

// Time-outs in milliseconds, with the meaning of the Windows COMMTIMEOUTS fields. A read of n bytes
// ends after read_per_byte_ms * n + read_constant_ms, or when read_interval_ms pass between two bytes
// after the first; a write of n bytes gets write_per_byte_ms * n + write_constant_ms. A zero interval,
// or both zero total values, means that bound is not used; with no bound at all a read waits for all
// its bytes.
struct Timeouts {
    uint32_t read_interval_ms = 0;
    uint32_t read_per_byte_ms = 0;
    uint32_t read_constant_ms = 0;
    uint32_t write_per_byte_ms = 0;
    uint32_t write_constant_ms = 0;
};

// Outcome of a read or write. A time-out is not a failure: Ok with fewer bytes (0 for a read that
// received nothing).
struct Transfer {
    Status status = Status::Failed;
    size_t bytes = 0;
    bool ok() const { return status == Status::Ok; }
};

// The device path port `number` opens now; empty outside 1..10.
std::string device_path(int number);

class Port {
  public:
    constexpr Port() = default;
    ~Port();
    Port(Port&& other) noexcept;
    Port& operator=(Port&& other) noexcept;
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Opens COM`number` for reading and writing, exclusively, only if the device exists. A port that is
    // open already is closed first. The line is left as the device reports it until `configure`.
    Status open(int number);

    // Baud rate, 8 data bits, no parity, one stop bit, and a raw line: no echo, no CR/LF translation,
    // no XON/XOFF, no signal characters, modem lines ignored, receiver on. Other settings (hardware
    // flow control among them) stay as the device reports them.
    Status configure(uint32_t baud_rate);

    Status set_timeouts(const Timeouts& timeouts);

    // Blocks until `size` bytes arrived or a read time-out ended it.
    Transfer read(void* data, size_t size);

    // Blocks until the bytes have left the device's output queue or the write time-out ended it; bytes
    // still queued then are not counted as written.
    Transfer write(const void* data, size_t size);

    // Releases the device for the next open. Closing a port that is not open does nothing.
    void close();

    bool is_open() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    uint32_t baud_rate_ = 0;
    Timeouts timeouts_{};
};

}  // namespace tavc::serial
