// Whatever a clerk may type into an amount or a number field. A text either fails with the conversion
// error or gives a value whose two-decimal text reads back as the same text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "amounts.h"
#include "handler_error.h"

namespace {

using namespace tavc::assistant;

void check(bool ok) {
    if (!ok) std::abort();
}

bool IsAmountText(std::string_view text, std::string_view separator) {
    if (text.starts_with('-')) text.remove_prefix(1);
    if (text.size() < 3 + separator.size()) return false;
    const size_t at = text.size() - 2 - separator.size();
    if (text.substr(at, separator.size()) != separator) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if ((i < at || i >= at + separator.size()) && (text[i] < '0' || text[i] > '9')) return false;
    return true;
}

void CheckAmount(std::string_view text, std::string_view separator) {
    Amount value;
    try {
        value = ParseAmount(text, separator);
    } catch (const HandlerError&) {
        return;
    }
    check(std::isfinite(value));
    const std::string shown = AmountText(value, separator);
    check(IsAmountText(shown, separator));
    check(AmountText(ParseAmount(shown, separator), separator) == shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckAmount(text, ".");
    CheckAmount(text, ",");
    CheckAmount(text, "\u066B");
    try {
        const int32_t n = ParseInteger(text);
        check(ParseInteger(std::to_string(n)) == n);
    } catch (const HandlerError&) {
    }
    return 0;
}
