#include "amounts.h"

#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "handler_error.h"

namespace tavc::assistant {
namespace {

constexpr int kSignificantDigits = 18;
constexpr int kDecimals = 2;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The run of decimal digits at `pos`, which moves past it.
std::string_view Digits(std::string_view text, size_t& pos) {
    const size_t start = pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

void SkipBlanks(std::string_view text, size_t& pos) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
}

[[noreturn]] void NotAFloat(std::string_view text) {
    throw HandlerError("'" + std::string(text) + "' is not a valid floating point value");
}

[[noreturn]] void NotAnInteger(std::string_view text) {
    throw HandlerError("'" + std::string(text) + "' is not a valid integer value");
}

// The conversion itself goes through the C library in the "C" locale, whatever the program's own
// locale is, so the digits are read exactly once, correctly rounded to 80 bits.
Amount ReadCanonical(const std::string& canonical, bool& overflow) {
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    errno = 0;
    const Amount value = strtold_l(canonical.c_str(), nullptr, c_locale);
    // An underflow is a value too small to hold: it reads as (nearly) zero, as a clerk would expect.
    overflow = errno == ERANGE && std::isinf(value);
    return value;
}

}  // namespace

std::string LocaleDecimalSeparator() {
    const locale_t user = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, "", nullptr);
    if (user == nullptr) return ".";
    std::string separator = nl_langinfo_l(RADIXCHAR, user);
    const std::string codeset = nl_langinfo_l(CODESET, user);
    freelocale(user);
    if (separator.empty()) return ".";
    // A separator outside ASCII is only understood in a UTF-8 locale (the form's texts are Unicode).
    const bool ascii = separator.size() == 1 && static_cast<unsigned char>(separator[0]) < 0x80;
    if (!ascii && codeset != "UTF-8") return ".";
    return separator;
}

Amount ParseAmount(std::string_view text, std::string_view separator) {
    size_t pos = 0;
    SkipBlanks(text, pos);
    std::string canonical;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-') canonical += '-';
        ++pos;
    }
    const std::string_view whole = Digits(text, pos);
    std::string_view fraction;
    bool has_separator = false;
    if (!separator.empty() && text.substr(pos).starts_with(separator)) {
        has_separator = true;
        pos += separator.size();
        fraction = Digits(text, pos);
    }
    if (whole.empty() && !has_separator) NotAFloat(text);
    canonical += whole.empty() ? "0" : whole;
    if (!fraction.empty()) canonical += "." + std::string(fraction);
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        ++pos;
        canonical += 'e';
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) canonical += text[pos++];
        const std::string_view exponent = Digits(text, pos);
        if (exponent.empty()) NotAFloat(text);
        canonical += exponent;
    }
    SkipBlanks(text, pos);
    if (pos != text.size()) NotAFloat(text);
    bool overflow = false;
    const Amount value = ReadCanonical(canonical, overflow);
    if (overflow) NotAFloat(text);
    return value;
}

int32_t ParseInteger(std::string_view text) {
    size_t pos = 0;
    SkipBlanks(text, pos);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    const std::string_view digits = Digits(text, pos);
    SkipBlanks(text, pos);
    if (digits.empty() || pos != text.size()) NotAnInteger(text);
    int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) NotAnInteger(text);
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) NotAnInteger(text);
    return static_cast<int32_t>(value);
}

std::string AmountText(Amount value, std::string_view separator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";

    // First the 18 significant digits, rounded to nearest: d.ddddddddddddddddde±x.
    char scientific[64];
    const auto [end, error] = std::to_chars(scientific, scientific + sizeof scientific, value,
                                            std::chars_format::scientific, kSignificantDigits - 1);
    if (error != std::errc()) return "NAN";  // cannot happen: the buffer holds any 80-bit value
    const std::string_view written(scientific, static_cast<size_t>(end - scientific));
    const bool negative = written.front() == '-';
    const size_t e = written.find('e');
    std::string digits;  // the 18 digits, without the point
    for (char c : written.substr(0, e))
        if (IsDigit(c)) digits += c;
    const int exponent = std::atoi(std::string(written.substr(e + 1)).c_str());

    // Then that digit string to two decimals, half away from zero. `keep` digits lie before the
    // rounding position; the value is 0.<digits> x 10^(exponent + 1).
    const int keep = exponent + 1 + kDecimals;
    std::string kept;  // the amount in hundredths, without leading zeros beyond the integer part
    if (keep >= static_cast<int>(digits.size())) {
        kept = digits + std::string(static_cast<size_t>(keep) - digits.size(), '0');
    } else if (keep >= 0) {
        kept = digits.substr(0, static_cast<size_t>(keep));
        if (digits[static_cast<size_t>(keep)] >= '5') {
            size_t i = kept.size();
            while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
            if (i == 0)
                kept.insert(kept.begin(), '1');
            else
                ++kept[i - 1];
        }
    }
    if (kept.size() < kDecimals + 1) kept.insert(0, kDecimals + 1 - kept.size(), '0');
    const bool zero = kept.find_first_not_of('0') == std::string::npos;

    std::string text = negative && !zero ? "-" : "";
    text += kept.substr(0, kept.size() - kDecimals);
    text += separator;
    text += kept.substr(kept.size() - kDecimals);
    return text;
}

}  // namespace tavc::assistant
