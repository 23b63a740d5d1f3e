// Finding the device by its interface class and opening it and its pipes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "devices.h"

namespace tavc::usbpipe {

// The device interface class of the device.
inline constexpr std::string_view kInterfaceClass = "{682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A}";

// The longest interface path: a Windows device path of 256 bytes less "\", a six-character pipe name
// and the terminating NUL. Callers that know the limit may rely on it.
inline constexpr size_t kMaxInterfacePath = 248;

// Opens the first interface of `interface_class` whose path fits and that opens, trying them in order;
// its path goes to `path`. A closed handle when none does (`path` is then empty).
devices::Handle OpenFirstDeviceInterface(std::string_view interface_class, std::string* path);

// Opens the interface that enumeration found at `interface_path` and copies that path to `path`. A
// closed handle, and `path` unchanged, when the path is longer than kMaxInterfacePath or does not open.
devices::Handle OpenInterfaceDetail(const std::string& interface_path, std::string* path);

// Whether a device of the class is present; its interface path then goes to `path`.
bool ProbeDevice(std::string_view interface_class, std::string* path);

// The device of kInterfaceClass, open; a closed handle when there is none.
devices::Handle OpenDevice();

// The pipe `pipe_name` of the device, open for reading (waited on with a time-out) or for writing.
devices::Handle OpenReadPipe(std::string_view pipe_name);
devices::Handle OpenWritePipe(std::string_view pipe_name);

}  // namespace tavc::usbpipe
