// Number runs found in texts and read as Chinese number words.
#include <string>

#include <gtest/gtest.h>

#include "codepage.h"
#include "number_reading.h"

namespace {

using tavc::codepage::gbk_from_utf8;
using tavc::codepage::utf8_from_gbk;

struct Reading {
    const char* run;
    const char* words;  // UTF-8
};

class NumberRunReading : public ::testing::TestWithParam<Reading> {};

TEST_P(NumberRunReading, ReadsTheRunAsTheseWords) {
    EXPECT_EQ(utf8_from_gbk(tavc::voxcat::ReadNumberRun(GetParam().run)), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    ShortRuns, NumberRunReading,
    ::testing::Values(Reading{"5", "五"}, Reading{"2", "两"}, Reading{"02", "两"}, Reading{"10", "十"},
                      Reading{"12", "十二"}, Reading{"012", "十二"}, Reading{"20", "二十"},
                      Reading{"22", "二十二"}, Reading{"102", "一百零二"}, Reading{"110", "一百一十"},
                      Reading{"200", "二百"}, Reading{"1001", "一千零一"}, Reading{"1010", "一千零一十"},
                      Reading{"2000", "二千"}, Reading{"10010", "一万零一十"},
                      Reading{"99999", "九万九千九百九十九"}, Reading{"0.5", "点五"}, Reading{".5", "点五"},
                      Reading{"2.50", "两点五零"}, Reading{"20.5", "二十点五"}, Reading{"3.14", "三点一四"},
                      Reading{"1.2.3", "一百点十二点三"}, Reading{"12.5", "十二点五"},
                      Reading{"2009", "二千零九"}, Reading{"01000", "一千"}, Reading{".", "点"}));

// Numbers of 100000 and more once lost all but their last five digits, and a lone 0 was silent.
INSTANTIATE_TEST_SUITE_P(
    LongRuns, NumberRunReading,
    ::testing::Values(Reading{"100000", "十万"}, Reading{"123456", "十二万三千四百五十六"},
                      Reading{"100010", "十万零一十"}, Reading{"1000000", "一百万"},
                      Reading{"1002000", "一百万二千"}, Reading{"1000200", "一百万零二百"},
                      Reading{"10000001", "一千万零一"}, Reading{"200000000", "二亿"},
                      Reading{"100000001", "一亿零一"}, Reading{"100001000", "一亿零一千"},
                      Reading{"10001000", "一千万一千"}, Reading{"20000000000002", "二十万亿零二"},
                      Reading{"1234567890123456",
                              "一千二百三十四万五千六百七十八亿九千零一十二万三千四百五十六"},
                      Reading{"12345678901234567", "一二三四五六七八九零一二三四五六七"}, Reading{"0", "零"},
                      Reading{"00", "零"}, Reading{"0.0", "点零"}));

TEST(NumberRunReading, ReadsRunsOfAnyLengthWhole) {
    std::string digits(250, '1');
    std::string expected;
    for (int i = 0; i < 250; ++i) expected += "一";
    EXPECT_EQ(utf8_from_gbk(tavc::voxcat::ReadNumberRun(digits)), expected);

    std::string decimals = "7." + std::string(40, '3');
    expected = "七点";
    for (int i = 0; i < 40; ++i) expected += "三";
    EXPECT_EQ(utf8_from_gbk(tavc::voxcat::ReadNumberRun(decimals)), expected);
}

struct Found {
    const char* text;  // UTF-8
    bool found;
    size_t start;
    size_t end;
};

class NumberRunFinding : public ::testing::TestWithParam<Found> {};

TEST_P(NumberRunFinding, FindsTheFirstRunOfDigitsAndPointsByGbkByteIndex) {
    size_t start = 99;
    size_t end = 99;
    std::string text = gbk_from_utf8(GetParam().text);
    ASSERT_EQ(tavc::voxcat::FindNumberRun(text, start, end), GetParam().found);
    if (!GetParam().found) return;
    EXPECT_EQ(start, GetParam().start);
    EXPECT_EQ(end, GetParam().end);
}

INSTANTIATE_TEST_SUITE_P(Texts, NumberRunFinding,
                         ::testing::Values(Found{"共12.5元", true, 2, 6}, Found{"2009/7", true, 0, 4},
                                           Found{"/7", true, 1, 2}, Found{"价3", true, 2, 3},
                                           Found{"共元", false, 0, 0}, Found{"", false, 0, 0},
                                           Found{"a.b", true, 1, 2}));

}  // namespace
