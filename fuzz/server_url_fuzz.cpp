// The server URL and the query values: any text splits or is refused, and encodes without a byte that
// could end the request line or start another header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rating_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto url = tavc::tessel::SplitServerUrl(text)) {
        if (url->path.empty() || url->path[0] != '/') std::abort();
        for (char c : url->host + url->path)
            if (static_cast<unsigned char>(c) <= 32) std::abort();
    }
    for (bool delimiters : {false, true}) {
        std::string encoded = tavc::tessel::PercentEncode(text, delimiters);
        for (char c : encoded)
            if (static_cast<unsigned char>(c) <= 32 || c == 0x7F || (delimiters && (c == '&' || c == '=')))
                std::abort();
    }
    return 0;
}
