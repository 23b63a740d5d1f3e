// Amounts of the cashier and demo pages: the text a clerk types into an amount field, and the text with
// two decimals that goes to the terminal. Texts are UTF-8; the form converts them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavc::assistant {

// 80-bit extended precision on x86-64.
using Amount = long double;

// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), as UTF-8; "." when the
// environment names no usable locale. Read once at program start: parsing and formatting use the same.
std::string LocaleDecimalSeparator();

// Optional blanks, optional sign, digits with at most one `separator` (a lone separator reads as 0),
// optional exponent ("E" or "e", optional sign, digits), optional blanks. Anything else, the empty text
// and a value beyond the 80-bit range throw HandlerError "'<text>' is not a valid floating point value".
Amount ParseAmount(std::string_view text, std::string_view separator);

// Optional blanks, optional sign, decimal digits within 32 bits, optional blanks. Anything else throws
// HandlerError "'<text>' is not a valid integer value".
int32_t ParseInteger(std::string_view text);

// "%.2f" of the amount: rounded first to 18 significant digits (to nearest), then to two decimals half
// away from zero (2.675 gives "2.68", -0.125 "-0.13"); fixed notation, "-" only when the rounded amount
// is not zero, `separator` before the decimals, no thousands separators. An infinite amount (only
// arithmetic on amounts makes one) gives "INF" or "-INF", NaN gives "NAN".
std::string AmountText(Amount value, std::string_view separator);

}  // namespace tavc::assistant
