// The command language, through NarrowCommandText and DispatchCommand, against the recording stand-in
// driver loaded by the real driver table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codepage.h"
#include "command_language.h"
#include "panelkit_record.h"

namespace {

using corvis::DispatchCommand;
using corvis::DriverTable;
using corvis::kClsPauseMs;
using corvis::kNarrowCommandBytes;
using corvis::NarrowCommandText;
using tavc::test::DriverCall;
using tavc::test::PanelkitRecord;

std::string Gbk(std::u16string_view text) {
    return tavc::codepage::gbk_from_utf16(text);
}

std::u16string Units(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The frame as the client library writes it: the length field counts the argument field's GBK bytes.
std::u16string Frame(std::u16string_view word, std::u16string_view field) {
    return std::u16string(word) + u"\t" + Units(std::to_string(Gbk(field).size())) + u"\t" +
           std::u16string(field);
}

DriverCall PrintTextFont() {
    return {"SetFont", {12, Gbk(u"宋体"), 0}};
}

struct LanguageCase {
    const char* name;
    std::u16string command;
    std::vector<DriverCall> calls;
    uint32_t pause_ms = 0;
};

void PrintTo(const LanguageCase& c, std::ostream* out) {
    *out << c.name;
}

const DriverTable& Recorder() {
    static const DriverTable table = [] {
        DriverTable t;
        t.load(PANELKIT_RECORDER);
        return t;
    }();
    return table;
}

// Narrows and dispatches like the worker; the calls the command made.
std::vector<DriverCall> Dispatch(const DriverTable& driver, const PanelkitRecord& record,
                                 std::u16string_view command, uint32_t* pause_ms = nullptr) {
    record.clear();
    char narrow[kNarrowCommandBytes];
    NarrowCommandText(command, narrow);
    uint32_t pause = DispatchCommand(driver, narrow);
    if (pause_ms != nullptr) *pause_ms = pause;
    return record.calls();
}

std::vector<LanguageCase> Cases() {
    const std::u16string a64(64, u'a');
    const std::u16string pad127 = u"SoundOut\t2\tab" + std::u16string(127 - 13, u' ');
    const std::u16string prompt = u"请您选择按钮,评价我们的服务";
    return {
        // The examples.
        {"PrintTextDrawsInCharacterCells",
         Frame(u"PrintText", u"2\t3\t3\tabc"),
         {PrintTextFont(), {"DrawText", {17, 37, "abc"}}}},
        {"ClsNullClearsTheScreenAndPauses", u"Cls\t4\tNULL", {{"Cls", {nullptr}}}, kClsPauseMs},
        {"SoundOutIsCutByTheLengthField", u"SoundOut\t2\t12.00_P", {{"SoundOut", {"12"}}}},
        {"SoftSoundOutTakesTextAndFlag",
         Frame(u"SoftSoundOut", u"12.00\t1"),
         {{"SoftSoundOut", {"12.00", 1}}}},
        {"DrawImageWithoutRectangle",
         u"DrawImage\t21\t10\t20\tlogo.bmp\t4\tNULL",
         {{"DrawImage", {10, 20, "logo.bmp", nullptr}}}},

        // Every word.
        {"PrintTextCellOneOneIsAtOneOne",
         Frame(u"PrintText", u"1\t1\t4\t你好"),
         {PrintTextFont(), {"DrawText", {1, 1, Gbk(u"你好")}}}},
        {"PrintTextCountedTextKeepsBlanksAndTabs",
         Frame(u"PrintText", u"1\t2\t5\ta b\tc"),
         {PrintTextFont(), {"DrawText", {1, 19, "a b\tc"}}}},
        {"PrintTextCountCutsTheText",
         Frame(u"PrintText", u"1\t1\t2\tabcdef"),
         {PrintTextFont(), {"DrawText", {1, 1, "ab"}}}},
        {"PrintTextWithCountZeroDrawsTheEmptyText",
         Frame(u"PrintText", u"1\t1\t0"),
         {PrintTextFont(), {"DrawText", {1, 1, ""}}}},
        {"PrintTextCountBeyondTheBytesPresentIsIgnored", Frame(u"PrintText", u"1\t1\t5\tabc"), {}},
        {"PrintTextCountWithoutItsTabIsIgnored", Frame(u"PrintText", u"1\t1\t3 abc"), {}},
        {"PrintTextCellWhoseOriginOverflowsIsIgnored", Frame(u"PrintText", u"134217729\t1\t1\ta"), {}},
        {"PrintTextLargestCellThatFits",
         Frame(u"PrintText", u"134217728\t1\t1\ta"),
         {PrintTextFont(), {"DrawText", {2147483633, 1, "a"}}}},
        {"DrawTextAtAPoint", Frame(u"DrawText", u"10\t-20\t2\thi"), {{"DrawText", {10, -20, "hi"}}}},
        {"SetFontTakesSizeFaceAndStyle", Frame(u"SetFont", u"16\tArial\t1"), {{"SetFont", {16, "Arial", 1}}}},
        {"SetFontWithAChineseFace", Frame(u"SetFont", u"24\t黑体\t0"), {{"SetFont", {24, Gbk(u"黑体"), 0}}}},
        {"SetFontWithoutStyleIsIgnored", Frame(u"SetFont", u"16\tArial"), {}},
        {"DrawLineTakesFourNumbers", Frame(u"DrawLine", u"1\t2\t3\t4"), {{"DrawLine", {1, 2, 3, 4}}}},
        {"DrawLineTakesAnyWhiteSpaceBetweenNumbers",
         Frame(u"DrawLine", u" 1  2\n3\r\n4"),
         {{"DrawLine", {1, 2, 3, 4}}}},
        {"DrawLineWithThreeNumbersIsIgnored", Frame(u"DrawLine", u"1\t2\t3"), {}},
        {"ClsWithARectangle",
         Frame(u"Cls", u"0\t0\t100\t50"),
         {{"Cls", {std::array<int32_t, 4>{0, 0, 100, 50}}}},
         kClsPauseMs},
        {"ClsNullIsComparedWithCase", Frame(u"Cls", u"null"), {}},
        {"ClsWithAnEmptyFieldIsIgnored", u"Cls\t0\t", {}},
        {"DrawImageWithARectangle",
         Frame(u"DrawImage", u"10\t20\tlogo.bmp\t10\t0\t0\t100\t50"),
         {{"DrawImage", {10, 20, "logo.bmp", std::array<int32_t, 4>{0, 0, 100, 50}}}}},
        {"DrawImageWithAShortRectangleIsIgnored", Frame(u"DrawImage", u"10\t20\tlogo.bmp\t3\t1\t2"), {}},
        {"ScrollTakesThreeNumbers", Frame(u"Scroll", u"1\t-2\t3"), {{"Scroll", {1, -2, 3}}}},
        {"ResetIgnoresItsArgumentField", Frame(u"Reset", u"anything 1 2"), {{"Reset", {}}}},
        {"SetOriginAcceptsSigns", Frame(u"SetOrigin", u"+5\t-0"), {{"SetOrigin", {5, 0}}}},
        {"SoundOutWithLengthZeroSendsTheEmptyText", u"SoundOut\t0\t", {{"SoundOut", {""}}}},
        {"SoundOutWithNothingAfterTheLengthSendsTheEmptyText", u"SoundOut\t0", {{"SoundOut", {""}}}},
        {"SoundOutKeepsALeadingBlank", u"SoundOut\t3\t 12", {{"SoundOut", {" 12"}}}},
        {"SoundOutTakesTheWholeFieldWithItsTabsAndBlanks",
         Frame(u"SoundOut", u"a\tb c"),
         {{"SoundOut", {"a\tb c"}}}},
        {"SoundOutOfAChineseText", Frame(u"SoundOut", prompt), {{"SoundOut", {Gbk(prompt)}}}},
        {"SoftSoundOutTextEndsAtABlank", Frame(u"SoftSoundOut", u"ab cd\t1"), {{"SoftSoundOut", {"ab", 0}}}},
        {"SoftSoundOutWithAnEmptyTextTakesTheFlagAsText",
         u"SoftSoundOut\t2\t\t0",
         {{"SoftSoundOut", {"0", 0}}}},
        {"SoftSoundOutAnyNonZeroFlagIsTrue", Frame(u"SoftSoundOut", u"x\t-7"), {{"SoftSoundOut", {"x", 1}}}},
        {"SoftSoundOutWithoutAFlagIsFalse", Frame(u"SoftSoundOut", u"x"), {{"SoftSoundOut", {"x", 0}}}},
        {"SoftSoundOutWithoutATextIsIgnored", u"SoftSoundOut\t0\t", {}},
        {"TAVSpeakOfTheRatingPromptPassesZero",
         u"TAVSpeak\t29\t" + prompt + u"\t1",
         {{"TAVSpeak", {Gbk(prompt), 0}}}},
        {"TAVSpeakWithAnEmptyTextTakesTheFlagAsText", u"TAVSpeak\t2\t\t0", {{"TAVSpeak", {"0", 0}}}},
        {"Set2SplashTakesNoArguments", u"Set2Splash\t0\t", {{"Set2Splash", {}}}},
        {"AvDisplayCutsTheText", Frame(u"avdisplay", u"3\tabcdef\t5"), {{"avdisplayA", {0, "abc", 5}}}},
        {"AvDisplayWithALargerCountPassesTheWholeText",
         Frame(u"avdisplay", u"10\tabcdef\t5"),
         {{"avdisplayA", {0, "abcdef", 5}}}},
        {"AvDisplayCountOver64IsIgnored", Frame(u"avdisplay", u"65\tabc\t5"), {}},
        {"AvDisplayNegativeCountIsIgnored", Frame(u"avdisplay", u"-1\tabc\t5"), {}},
        {"AvDisplayWithoutMIsIgnored", Frame(u"avdisplay", u"3\tabc"), {}},
        {"AvResetDisplayPassesZero", u"avresetdisplay\t0\t", {{"avresetdisplay", {0}}}},
        {"AvResetPassesZero", u"avreset\t0\t", {{"avreset", {0}}}},

        // The frame and its limits.
        {"WordsAreComparedWithCase", u"reset\t0\t", {}},
        {"UnknownWordDoesNothing", u"Beep\t0\t", {}},
        {"EmptyTextDoesNothing", u"", {}},
        {"BlanksOnlyDoNothing", u"  \t \r\n", {}},
        {"WhiteSpaceBeforeTheWordIsSkipped", u" \tReset\t0\t", {{"Reset", {}}}},
        {"AnyWhiteSpaceSeparatesWordAndLength", u"SoundOut \t 2\tab", {{"SoundOut", {"ab"}}}},
        {"MissingLengthFieldIsIgnored", u"Reset", {}},
        {"LengthOf64IsTheLimit", u"SoundOut\t64\t" + a64, {{"SoundOut", {Gbk(a64)}}}},
        {"LengthOver64IsIgnored", u"SoundOut\t65\t" + a64 + u"a", {}},
        {"LengthBeyondTheBytesPresentIsIgnored", u"SoundOut\t5\tabc", {}},
        {"NegativeLengthIsIgnored", u"SoundOut\t-1\tabc", {}},
        {"LengthNotFollowedByATabIsIgnored", u"SoundOut\t2 ab", {}},
        {"LengthThatIsNoNumberIsIgnored", u"SoundOut\t2x\tab", {}},
        {"HugeLengthIsIgnored", u"SoundOut\t99999999999\tab", {}},
        {"CommandOf127BytesRuns", pad127, {{"SoundOut", {"ab"}}}},
        {"CommandOver127BytesIsIgnored", pad127 + u" ", {}},
        {"CommandOver127BytesInGbkIsIgnored", u"SoundOut\t2\tab" + std::u16string(58, u'宋'), {}},

        // Numbers.
        {"NumbersSpanThe32BitRange",
         Frame(u"SetOrigin", u"-2147483648\t2147483647"),
         {{"SetOrigin", {INT32_MIN, INT32_MAX}}}},
        {"NumberOutside32BitsIsIgnored", Frame(u"SetOrigin", u"2147483648\t0"), {}},
        {"NumberWithTrailingLettersIsIgnored", Frame(u"Scroll", u"1\t2x\t3"), {}},
        {"SignWithoutDigitsIsIgnored", Frame(u"Scroll", u"1\t-\t3"), {}},
        {"FieldsBeyondTheWordsOwnAreIgnored", Frame(u"SetOrigin", u"1\t2\t3"), {{"SetOrigin", {1, 2}}}},

        // Conversion to GBK.
        {"CharacterWithoutGbkFormBecomesAQuestionMark", u"SoundOut\t3\ta한b", {{"SoundOut", {"a?b"}}}},
        {"UnpairedSurrogateBecomesAQuestionMark",
         std::u16string(u"SoundOut\t1\t") + char16_t(0xD800),
         {{"SoundOut", {"?"}}}},
        {"TextEndsAtItsFirstNulUnit", std::u16string(u"SoundOut\t4\tab\0cd", 16), {}},
    };
}

class CommandLanguage : public ::testing::TestWithParam<LanguageCase> {
  protected:
    void SetUp() override {
        ASSERT_NE(Recorder().library, nullptr) << PANELKIT_RECORDER;
        record_.export_to_environment();
    }
    PanelkitRecord record_;
};

TEST_P(CommandLanguage, MakesTheDriverCallsOfTheCommand) {
    const LanguageCase& c = GetParam();
    uint32_t pause_ms = 0;
    EXPECT_EQ(Dispatch(Recorder(), record_, c.command, &pause_ms), c.calls);
    EXPECT_EQ(pause_ms, c.pause_ms);
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandLanguage, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<LanguageCase>& param) {
                             return param.param.name;
                         });

TEST_F(CommandLanguage, ReadsEveryCommandAfresh) {
    EXPECT_EQ(Dispatch(Recorder(), record_, Frame(u"SoftSoundOut", u"x\t1")),
              (std::vector<DriverCall>{{"SoftSoundOut", {"x", 1}}}));
    EXPECT_EQ(Dispatch(Recorder(), record_, Frame(u"SoftSoundOut", u"y")),
              (std::vector<DriverCall>{{"SoftSoundOut", {"y", 0}}}));
    EXPECT_EQ(Dispatch(Recorder(), record_, Frame(u"SetFont", u"16\tArial\t1")).size(), 1u);
    EXPECT_EQ(Dispatch(Recorder(), record_, Frame(u"SetFont", u"16")), std::vector<DriverCall>{});
}

TEST_F(CommandLanguage, PrintTextStillDrawsWhenTheDriverLacksSetFont) {
    DriverTable without_set_font = Recorder();
    without_set_font.SetFont = nullptr;
    EXPECT_EQ(Dispatch(without_set_font, record_, Frame(u"PrintText", u"2\t3\t3\tabc")),
              (std::vector<DriverCall>{{"DrawText", {17, 37, "abc"}}}));
}

TEST_F(CommandLanguage, ClsWithoutItsEntryMakesNoCallAndNoPause) {
    DriverTable without_cls = Recorder();
    without_cls.Cls = nullptr;
    uint32_t pause_ms = 1;
    EXPECT_EQ(Dispatch(without_cls, record_, u"Cls\t4\tNULL", &pause_ms), std::vector<DriverCall>{});
    EXPECT_EQ(pause_ms, 0u);
}

TEST(DriverTable, LoadsEveryEntryOfTheDriver) {
    DriverTable table;
    std::string problem = "unset";
    ASSERT_TRUE(table.load(PANELKIT_RECORDER, &problem));
    EXPECT_EQ(problem, "");
    int present = 0;
    table.for_each_entry([&](const char*, auto entry) { present += entry != nullptr; });
    EXPECT_EQ(present, 15);
    table.unload();
    EXPECT_EQ(table.library, nullptr);
    EXPECT_EQ(table.Cls, nullptr);
}

TEST(DriverTable, NamesAnAbsentEntryAndRunsEveryOtherCommand) {
    DriverTable table;
    std::string problem;
    ASSERT_TRUE(table.load(PANELKIT_WITHOUT_SET2SPLASH, &problem));
    EXPECT_EQ(problem, "no entry Set2Splash");
    EXPECT_EQ(table.Set2Splash, nullptr);
    PanelkitRecord record;
    record.export_to_environment();
    EXPECT_EQ(Dispatch(table, record, u"Set2Splash\t0\t"), std::vector<DriverCall>{});
    EXPECT_EQ(Dispatch(table, record, u"Reset\t0\t"), (std::vector<DriverCall>{{"Reset", {}}}));
    EXPECT_EQ(Dispatch(table, record, Frame(u"PrintText", u"1\t1\t1\ta")),
              (std::vector<DriverCall>{PrintTextFont(), {"DrawText", {1, 1, "a"}}}));
    table.unload();
}

TEST(DriverTable, WithoutADriverEveryCommandRunsWithoutCalls) {
    DriverTable table;
    std::string problem;
    EXPECT_FALSE(table.load("/nonexistent/libpanelkit.so", &problem));
    EXPECT_NE(problem, "");
    EXPECT_EQ(table.library, nullptr);
    for (const LanguageCase& c : Cases()) {
        char narrow[kNarrowCommandBytes];
        NarrowCommandText(c.command, narrow);
        EXPECT_EQ(DispatchCommand(table, narrow), 0u) << c.name;
    }
}

TEST(NarrowCommandText, FillsAtMost127BytesAndTheNul) {
    char out[kNarrowCommandBytes];
    std::memset(out, 'x', sizeof out);
    const std::u16string fits = std::u16string(63, u'宋') + u"a";  // 127 bytes
    ASSERT_TRUE(NarrowCommandText(fits, out));
    EXPECT_EQ(std::string(out), Gbk(fits));
    EXPECT_EQ(out[127], '\0');

    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(NarrowCommandText(std::u16string(64, u'宋'), out));  // 128 bytes
    EXPECT_EQ(out[0], '\0');
}

TEST(NarrowCommandText, StopsAtTheFirstNulUnit) {
    char out[kNarrowCommandBytes];
    ASSERT_TRUE(NarrowCommandText(std::u16string_view(u"ab\0cd", 5), out));
    EXPECT_STREQ(out, "ab");
}

}  // namespace
