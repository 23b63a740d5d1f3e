#include "codepage.h"

#include <gtest/gtest.h>
#include <locale.h>

namespace {

using tavc::codepage::gbk_char_length;
using tavc::codepage::gbk_from_utf16;
using tavc::codepage::gbk_from_utf8;
using tavc::codepage::locale_from_gbk;
using tavc::codepage::utf16_from_gbk;
using tavc::codepage::utf8_from_gbk;

struct RoundTrip {
    const char* utf8;
    const char* gbk;
};

class CodepageRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(CodepageRoundTrip, ConvertsBothWaysExactly) {
    const RoundTrip& c = GetParam();
    EXPECT_EQ(gbk_from_utf8(c.utf8), c.gbk);
    EXPECT_EQ(utf8_from_gbk(c.gbk), c.utf8);
    EXPECT_EQ(gbk_from_utf16(utf16_from_gbk(c.gbk)), c.gbk);
}

INSTANTIATE_TEST_SUITE_P(Texts, CodepageRoundTrip,
                         ::testing::Values(RoundTrip{"", ""}, RoundTrip{"PJ22", "PJ22"},
                                           RoundTrip{"宋体", "\xCB\xCE\xCC\xE5"}, RoundTrip{"€", "\x80"},
                                           // A trail byte 0x5C must survive: it is a backslash in ASCII.
                                           RoundTrip{"丶", "\xD8\xBC"}, RoundTrip{"\t1", "\t1"}));

struct CharLength {
    std::string_view gbk;
    size_t length;
};

class GbkCharLength : public ::testing::TestWithParam<CharLength> {};

TEST_P(GbkCharLength, TakesATrailByteAlongOnlyAfterALeadByte) {
    EXPECT_EQ(gbk_char_length(GetParam().gbk), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, GbkCharLength,
    ::testing::Values(CharLength{"", 0}, CharLength{"a\x81", 1}, CharLength{"\x81", 1},
                      CharLength{"\x81\x40", 2}, CharLength{"\xFE\xFE", 2}, CharLength{"\x81\x7E", 2},
                      CharLength{"\x81\x80", 2}, CharLength{"\xCB\xCEx", 2},
                      // Bytes that cannot trail stay characters of their own after a lead byte.
                      CharLength{"\x81\x3F", 1}, CharLength{"\x81\x7F", 1}, CharLength{"\x81\xFF", 1},
                      CharLength{"\x81/", 1}, CharLength{"\x81\n", 1},
                      CharLength{std::string_view("\x81\0", 2), 1},
                      // No lead byte: 0x80 and 0xFF lead nothing.
                      CharLength{"\x80\x40", 1}, CharLength{"\xFF\x40", 1}));

TEST(Codepage, CountsAGbkCharacterAsTwoBytesAndOneUtf16Unit) {
    std::string gbk = gbk_from_utf8("请您选择按钮,评价我们的服务");
    EXPECT_EQ(gbk.size(), 27u);
    EXPECT_EQ(utf16_from_gbk(gbk).size(), 14u);
}

TEST(Codepage, ReplacesACharacterWithoutGbkFormByAQuestionMark) {
    EXPECT_EQ(gbk_from_utf8("a\xF0\x9F\x98\x80"
                            "b"),
              "a?b");
    EXPECT_EQ(gbk_from_utf8("a\xFF"
                            "b"),
              "a?b");  // broken UTF-8
}

TEST(Codepage, ReplacesBytesThatAreNotGbk) {
    EXPECT_EQ(utf8_from_gbk("a\xFF"
                            "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf8_from_gbk("a\x81"), "a\xEF\xBF\xBD");  // lead byte without its trail
    // A lead byte before a byte that cannot trail: only the lead is lost.
    EXPECT_EQ(utf8_from_gbk("a\x81\nb"), "a\xEF\xBF\xBD\nb");
    EXPECT_EQ(utf16_from_gbk("\x81\"x"), u"\xFFFD\"x");
}

TEST(Codepage, KeepsEmbeddedNulBytes) {
    std::string with_nul("a\0b", 3);
    EXPECT_EQ(gbk_from_utf8(with_nul), with_nul);
    EXPECT_EQ(utf16_from_gbk(with_nul).size(), 3u);
}

TEST(Codepage, ConvertsIntoAFixedBufferOnlyWhenTheWholeTextFits) {
    char buf[6];
    std::optional<size_t> n = gbk_from_utf16(u"a宋体!", buf);
    ASSERT_EQ(n, 6u);
    EXPECT_EQ(std::string(buf, *n), gbk_from_utf8("a宋体!"));
    // One byte short: refused.
    EXPECT_EQ(gbk_from_utf16(u"a宋体!", std::span<char>(buf, 5)), std::nullopt);
    EXPECT_EQ(gbk_from_utf16(u"宋", std::span<char>(buf, 1)), std::nullopt);
    EXPECT_EQ(gbk_from_utf16(u"", std::span<char>(buf, 0)), 0u);
}

TEST(Codepage, ReplacesAnUnpairedSurrogateInAFixedBuffer) {
    char buf[8];
    const char16_t text[] = {u'a', 0xD800, u'b'};
    std::optional<size_t> n = gbk_from_utf16(std::u16string_view(text, 3), buf);
    ASSERT_EQ(n, 3u);
    EXPECT_EQ(std::string(buf, *n), "a?b");
}

// The program's character set while the test runs, the one it had before coming back afterwards.
class ProgramLocale : public ::testing::Test {
  protected:
    void TearDown() override { setlocale(LC_CTYPE, old_.c_str()); }
    bool Use(const char* name) { return setlocale(LC_CTYPE, name) != nullptr; }

    std::string old_ = setlocale(LC_CTYPE, nullptr);
};

TEST_F(ProgramLocale, ShowsGbkInAUtf8Locale) {
    if (!Use("C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
    EXPECT_EQ(locale_from_gbk(gbk_from_utf8("欢迎光临 12.00")), "欢迎光临 12.00");
    EXPECT_EQ(locale_from_gbk("a\xFF-b"), "a?-b");
}

TEST_F(ProgramLocale, ShowsWhatAnAsciiLocaleLacksAsQuestionMarks) {
    ASSERT_TRUE(Use("C"));
    EXPECT_EQ(locale_from_gbk(gbk_from_utf8("宋体 ok")), "?? ok");
}

}  // namespace
