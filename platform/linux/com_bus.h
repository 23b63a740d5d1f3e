// What the bus backend's files share and nobody else sees (but the fuzz target of its readers): the
// names on the bus, the bus errors that carry an HRESULT, and the readers of a call's arguments.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

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

// The names of a GetIDsOfNames call `m`, read one at a time, and their dispatch ids in `iface` (names
// compared without regard to case). kUnknownName when one is not a method; kInvalidArgument for more
// than kMaxNamesPerCall names, which is refused before the rest of the message is looked at.
HResult read_ids_of_names(sd_bus_message* m, const InterfaceInfo& iface, std::vector<int32_t>& ids);
// The text of a method call `m`: UTF-16 code units that point into the message.
HResult read_text(sd_bus_message* m, std::u16string_view& text);

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
