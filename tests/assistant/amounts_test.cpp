// Amounts as the clerk types them and as the terminal shows them.
#include "amounts.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define TAVC_LEAK_CHECKS 1
#endif

#include "child_process.h"
#include "handler_failure.h"
#include "temp_folder.h"

namespace {

using namespace std::chrono_literals;
using tavc::assistant::Amount;
using tavc::assistant::AmountText;
using tavc::assistant::LocaleDecimalSeparator;
using tavc::assistant::ParseAmount;
using tavc::assistant::ParseInteger;
using tavc::test::ChildProcess;
using tavc::test::FailureOf;

struct AmountCase {
    const char* name;
    std::string text;
    std::string separator;
    std::optional<Amount> value;  // none: the conversion error
    std::string shown;            // AmountText of the value, with the same separator
};

class AmountField : public ::testing::TestWithParam<AmountCase> {};

TEST_P(AmountField, ParsesToTheValueAndShowsItWithTwoDecimals) {
    const AmountCase& c = GetParam();
    if (!c.value) {
        EXPECT_EQ(FailureOf([&] { ParseAmount(c.text, c.separator); }),
                  "'" + c.text + "' is not a valid floating point value");
        return;
    }
    const Amount value = ParseAmount(c.text, c.separator);
    EXPECT_EQ(value, *c.value);
    EXPECT_EQ(AmountText(value, c.separator), c.shown);
}

const std::string kArabicSeparator = "\u066B";

INSTANTIATE_TEST_SUITE_P(
    Cases, AmountField,
    ::testing::Values(
        AmountCase{"Whole", "12", ".", 12.0L, "12.00"}, AmountCase{"OneDecimal", "12.5", ".", 12.5L, "12.50"},
        AmountCase{"BlanksAround", "  12.5  ", ".", 12.5L, "12.50"},
        AmountCase{"PlusSign", "+12.5", ".", 12.5L, "12.50"},
        AmountCase{"Exponent", "1.25e1", ".", 12.5L, "12.50"},
        AmountCase{"ExponentWithCapitalAndSign", "125E-1", ".", 12.5L, "12.50"},
        AmountCase{"Negative", "-2.5", ".", -2.5L, "-2.50"},
        AmountCase{"HalfAwayFromZeroUp", "2.675", ".", 2.675L, "2.68"},
        AmountCase{"HalfAwayFromZeroDown", "-0.125", ".", -0.125L, "-0.13"},
        AmountCase{"LoneSeparatorIsZero", ".", ".", 0.0L, "0.00"},
        AmountCase{"NoIntegerDigits", "-.5", ".", -0.5L, "-0.50"},
        AmountCase{"NoFractionDigits", "7.", ".", 7.0L, "7.00"},
        AmountCase{"NegativeThatRoundsToZeroHasNoSign", "-0.001", ".", -0.001L, "0.00"},
        AmountCase{"UnderflowReadsAsZero", "1e-5000", ".", 0.0L, "0.00"},
        AmountCase{"BeyondDoubleWithinExtended", "1e400", ".", 1e400L, "1" + std::string(400, '0') + ".00"},
        AmountCase{"CommaSeparator", "12,5", ",", 12.5L, "12,50"},
        AmountCase{"SeparatorOfTwoBytes", "12" + kArabicSeparator + "5", kArabicSeparator, 12.5L,
                   "12" + kArabicSeparator + "50"},
        AmountCase{"CommaWhereThePointIsTheSeparator", "12,5", ".", std::nullopt, ""},
        AmountCase{"PointWhereTheCommaIsTheSeparator", "12.5", ",", std::nullopt, ""},
        AmountCase{"ThousandsSeparator", "1,000.00", ".", std::nullopt, ""},
        AmountCase{"CurrencySign", "\u00A512", ".", std::nullopt, ""},
        AmountCase{"TrailingCurrencySign", "12$", ".", std::nullopt, ""},
        AmountCase{"Letters", "abc", ".", std::nullopt, ""}, AmountCase{"Empty", "", ".", std::nullopt, ""},
        AmountCase{"OnlyBlanks", "   ", ".", std::nullopt, ""},
        AmountCase{"OnlyASign", "-", ".", std::nullopt, ""},
        AmountCase{"TwoSeparators", "1.2.3", ".", std::nullopt, ""},
        AmountCase{"BlankInside", "12 5", ".", std::nullopt, ""},
        AmountCase{"ExponentWithoutDigits", "1e+", ".", std::nullopt, ""},
        AmountCase{"ExponentAlone", "e5", ".", std::nullopt, ""},
        AmountCase{"Tab", "\t12", ".", std::nullopt, ""},
        AmountCase{"Infinity", "inf", ".", std::nullopt, ""},
        AmountCase{"HexadecimalFloat", "0x1p3", ".", std::nullopt, ""},
        AmountCase{"OverflowOfEightyBits", "1e5000", ".", std::nullopt, ""},
        AmountCase{"OverflowOfEightyBitsNegative", "-2e4932", ".", std::nullopt, ""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(AmountText, ArithmeticBeyondTheRangeIsShownAsInfinity) {
    const Amount big = ParseAmount("1e4932", ".");
    EXPECT_EQ(AmountText(big * 10, "."), "INF");
    EXPECT_EQ(AmountText(-big * 10, "."), "-INF");
    EXPECT_EQ(AmountText(std::nanl(""), "."), "NAN");
}

// Every value of the reference script, computed exactly with Python's decimal module.
TEST(AmountText, MatchesTheDecimalReferenceNearBothRoundings) {
    const std::string script =
        std::string(std::getenv("TAVC_SOURCE_DIR")) + "/tests/assistant/amount_reference.py";
    ChildProcess python({"/usr/bin/env", "python3", script});
    int cases = 0;
    while (std::optional<std::string> line = python.read_line(30s)) {
        const size_t tab = line->find('\t');
        ASSERT_NE(tab, std::string::npos) << *line;
        const std::string hex = line->substr(0, tab);
        const Amount value = std::strtold(hex.c_str(), nullptr);
        EXPECT_EQ(AmountText(value, "."), line->substr(tab + 1)) << hex;
        ++cases;
    }
    const std::optional<int> status = python.wait(10s);
    if (cases == 0 && status == 127) GTEST_SKIP() << "python3 is not installed";
    EXPECT_EQ(status, 0);
    EXPECT_GT(cases, 100);
}

struct IntegerCase {
    const char* name;
    std::string text;
    std::optional<int32_t> value;  // none: the conversion error
};

class IntegerField : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerField, ParsesWithin32BitsOrFailsWithTheFieldText) {
    const IntegerCase& c = GetParam();
    if (c.value) {
        EXPECT_EQ(ParseInteger(c.text), *c.value);
    } else {
        EXPECT_EQ(FailureOf([&] { ParseInteger(c.text); }), "'" + c.text + "' is not a valid integer value");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntegerField,
    ::testing::Values(IntegerCase{"One", "1", 1}, IntegerCase{"BlanksAndMinus", " -3 ", -3},
                      IntegerCase{"Plus", "+318", 318}, IntegerCase{"Largest", "2147483647", INT32_MAX},
                      IntegerCase{"Smallest", "-2147483648", INT32_MIN},
                      IntegerCase{"LeadingZeros", "0007", 7}, IntegerCase{"Fraction", "1.5", std::nullopt},
                      IntegerCase{"Empty", "", std::nullopt}, IntegerCase{"OnlyASign", "+", std::nullopt},
                      IntegerCase{"AboveRange", "2147483648", std::nullopt},
                      IntegerCase{"BelowRange", "-2147483649", std::nullopt},
                      IntegerCase{"FarAboveRange", "99999999999999999999", std::nullopt},
                      IntegerCase{"Exponent", "1e2", std::nullopt},
                      IntegerCase{"Hexadecimal", "0x10", std::nullopt},
                      IntegerCase{"Letters", "abc", std::nullopt}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The separator comes from the environment's locale, compiled for the test into a folder of its own.
class LocaleSeparator : public ::testing::Test {
  protected:
    // Compiles the locale `name` (e.g. "de_DE") as <name>.UTF-8 into the test's folder; false when the
    // machine has no locale sources or compiler.
    bool Compile(const std::string& name) {
        if (!folder_.ok()) return false;
        ChildProcess localedef(
            {"/usr/bin/env", "localedef", "-i", name, "-f", "UTF-8", folder_ / (name + ".UTF-8")});
        return localedef.wait(60s) == 0;
    }
    std::string Separator(const std::string& locale) {
        tavc::test::ScopedEnv locpath("LOCPATH", folder_.path());
        tavc::test::ScopedEnv all("LC_ALL", locale);
#ifdef TAVC_LEAK_CHECKS
        // glibc keeps the path list of every locale lookup under LOCPATH for good.
        __lsan_disable();
#endif
        std::string separator = LocaleDecimalSeparator();
#ifdef TAVC_LEAK_CHECKS
        __lsan_enable();
#endif
        return separator;
    }

    tavc::test::TempFolder folder_{"tavc-locale"};
};

TEST_F(LocaleSeparator, IsThePointInTheCLocaleAndForAnUnknownLocale) {
    EXPECT_EQ(Separator("C.UTF-8"), ".");
    EXPECT_EQ(Separator("xx_YY.UTF-8"), ".");
}

TEST_F(LocaleSeparator, IsTheLocalesOwnCharacter) {
    if (!Compile("de_DE") || !Compile("ps_AF")) GTEST_SKIP() << "no locale sources to compile";
    EXPECT_EQ(Separator("de_DE.UTF-8"), ",");
    EXPECT_EQ(Separator("ps_AF.UTF-8"), kArabicSeparator);
    const std::string separator = Separator("de_DE.UTF-8");
    EXPECT_EQ(AmountText(ParseAmount("1234,5", separator), separator), "1234,50");
}

}  // namespace
