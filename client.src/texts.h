// The library's own user-visible texts, as GBK bytes (generated from texts.txt).
#pragma once

namespace tavc::tessel::texts {

extern const char kPortOpenFailed[];  // printf format with the configured port number

}  // namespace tavc::tessel::texts
