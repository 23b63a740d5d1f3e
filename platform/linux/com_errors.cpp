// Bus errors that carry an HRESULT: "tavc.com.Error.HRESULT_" and its 8 hex digits.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "com_bus.h"

namespace tavc::com::bus {

int reply_failure(sd_bus_message* m, HResult hr) {
    char name[sizeof(kErrorPrefix) + 8];
    std::snprintf(name, sizeof name, "%s%08X", kErrorPrefix, static_cast<uint32_t>(hr));
    char text[32];
    std::snprintf(text, sizeof text, "HRESULT 0x%08X", static_cast<uint32_t>(hr));
    return sd_bus_reply_method_errorf(m, name, "%s", text);
}

// The HRESULT a failed call stands for: the server's own, else `otherwise` (a bus or transport failure).
HResult hresult_of(const sd_bus_error& error, HResult otherwise) {
    if (error.name != nullptr && std::strncmp(error.name, kErrorPrefix, sizeof kErrorPrefix - 1) == 0) {
        const char* digits = error.name + sizeof kErrorPrefix - 1;
        char* end = nullptr;
        unsigned long v = std::strtoul(digits, &end, 16);
        if (end != digits && *end == '\0' && std::strlen(digits) == 8) {
            HResult hr = static_cast<HResult>(static_cast<uint32_t>(v));
            if (failed(hr)) return hr;
        }
    }
    return otherwise;
}

}  // namespace tavc::com::bus
