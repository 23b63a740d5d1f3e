// What the bus backend's files share and nobody else sees: the names on the bus, the bus errors that
// carry an HRESULT, and the client's one method call.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>

#include "com.h"

namespace tavc::com {

namespace bus {
inline constexpr char kClassObjectPath[] = "/tavc/com/ClassObject";
inline constexpr char kObjectPathPrefix[] = "/tavc/com/Object/";
inline constexpr char kClassFactoryInterface[] = "tavc.com.ClassFactory";
inline constexpr char kUnknownInterface[] = "tavc.com.Unknown";
inline constexpr char kDispatchInterface[] = "tavc.com.Dispatch";
inline constexpr char kErrorPrefix[] = "tavc.com.Error.HRESULT_";

// Answers the call `m` with the bus error that carries `hr`.
int reply_failure(sd_bus_message* m, HResult hr);
// The HRESULT a failed call stands for: the server's own, else `otherwise` (a bus or transport failure).
HResult hresult_of(const sd_bus_error& error, HResult otherwise);

// A time-out as sd-bus takes it: microseconds, and never 0 (which would mean its own default).
inline uint64_t to_us(std::chrono::milliseconds ms) {
    return ms.count() <= 0 ? 1 : static_cast<uint64_t>(ms.count()) * 1000u;
}
}  // namespace bus

namespace detail {
struct Connection {
    sd_bus* bus = nullptr;
    ~Connection() { sd_bus_flush_close_unref(bus); }
};
}  // namespace detail

}  // namespace tavc::com
