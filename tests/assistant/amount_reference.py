#!/usr/bin/env python3
"""Reference texts of amounts near the edges of the two roundings, computed exactly with decimal.

Prints one line per case: the 80-bit value as a hexadecimal float that strtold reads exactly (64-bit
significand, binary exponent), a TAB, and the text it must be shown as: the exact value rounded to 18
significant digits (half to even, as the processor rounds to nearest), then to two decimals half away
from zero, in fixed notation with "." and without "-" when the result is zero.
"""
from decimal import Decimal, Context, ROUND_HALF_EVEN, ROUND_HALF_UP
from fractions import Fraction

EXACT = Context(prec=6000, Emax=10**6, Emin=-10**6)
EIGHTEEN = Context(prec=18, rounding=ROUND_HALF_EVEN, Emax=10**6, Emin=-10**6)
MANTISSA_BITS = 64
MAX_EXPONENT = 16383 - 63     # of the largest value, with a 64-bit integer significand
MIN_EXPONENT = -16382 - 63    # of the smallest subnormal

# Decimal values at which a rounding decides: halves at the second decimal, the 18th and 19th
# significant digit falling on or next to it, carries through nines, and the ends of the 80-bit range.
TARGETS = [
    "0", "2.675", "0.125", "1.005", "0.005", "0.015", "0.045", "8.345", "1.115", "2.5", "12", "12.5",
    "0.00499999999999999999995", "0.004999999999999999999", "0.0049999999999999999",
    "99999999999999.995", "999999999999999.995", "9999999999999999.995", "99999999999999999.995",
    "1234567890123456.785", "123456789012345.675", "12345678901234567.5", "123456789012345678.9",
    "999999999999999999.5", "1000000000000000000", "18446744073709551615", "1e20", "1.5e100",
    "123456789.123456785", "0.9999999999999999999", "0.994999999999999999999",
    # Exact ties at the 18th digit, which go to the even digit before the second rounding.
    "1000000000000000005", "1000000000000000015", "12345678901234567.25", "12345678901234567.75",
]


def split(value):
    """The 80-bit value nearest to `value` (a Fraction > 0) as (significand, exponent)."""
    exponent = value.numerator.bit_length() - value.denominator.bit_length() - MANTISSA_BITS
    while Fraction(2) ** (exponent + MANTISSA_BITS) <= value:
        exponent += 1
    while Fraction(2) ** (exponent + MANTISSA_BITS - 1) > value:
        exponent -= 1
    exponent = max(exponent, MIN_EXPONENT)
    scaled = value / Fraction(2) ** exponent
    significand = round(scaled)  # half to even
    return significand, exponent


def exact(significand, exponent):
    if exponent >= 0:
        return Decimal(significand * 2 ** exponent)
    return EXACT.divide(Decimal(significand * 5 ** -exponent), Decimal(10) ** -exponent)


def reference(value):
    rounded = EIGHTEEN.plus(value)
    cents = rounded.quantize(Decimal("0.01"), rounding=ROUND_HALF_UP, context=EXACT)
    text = "{:f}".format(cents)
    return text[1:] if text.startswith("-") and cents == 0 else text


def cases():
    yield 0, 0
    yield (1 << 64) - 1, MAX_EXPONENT  # the largest value
    yield 1, MIN_EXPONENT               # the smallest
    for target in TARGETS[1:]:
        significand, exponent = split(Fraction(Decimal(target)))
        for step in (-1, 0, 1):
            yield significand + step, exponent


def main():
    for significand, exponent in dict.fromkeys(cases()):
        for sign in ("", "-"):
            value = exact(significand, exponent)
            print("{}0x{:x}p{}\t{}".format(sign, significand, exponent, reference(-value if sign else value)))


if __name__ == "__main__":
    main()
