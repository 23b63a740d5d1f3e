// Every result the library's exports give, named once.
#pragma once

#include <cstdint>

namespace tavc::usbpipe {

enum Result : int32_t {
    kOk = 0,
    kFailed = -1,  // any failure: a bad buffer, no device, no such pipe, a short or failed transfer
};

}  // namespace tavc::usbpipe
