// What the udev and libusb halves of the devices facility share: where an interface sits on the bus, and
// the one place where the errors of both become the facility's results.
#pragma once

#include <cstdint>
#include <string>

#include "devices.h"

namespace tavc::devices::backend {

// An interface as udev describes it.
struct InterfaceLocation {
    int bus = 0;
    int address = 0;
    int number = 0;     // bInterfaceNumber
    int alternate = 0;  // the alternate setting in use
};

// Finds the interface at sysfs path `path` through udev: Ok, or NotFound when it is no USB interface (any
// more).
Status locate_interface(const std::string& path, InterfaceLocation* location);

// libusb's and udev's errors as the facility's results (devices_errors.cpp).
Status status_from_errno(int error);
Status status_from_libusb(int error);
// The errno that a failed transfer reports.
int errno_from_libusb(int error);
// A read transfer that did not succeed: TimedOut, or Failed with its errno.
ReadResult read_failure_from_libusb(int error);

}  // namespace tavc::devices::backend
