// What each answer of the terminal to the rating query leads to, at both steps, and what the status bar
// then shows.
#include "rating_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tavc::assistant::FirstStepAnswer;
using tavc::assistant::RatingAnswer;
using tavc::assistant::RatingDisplayText;
using tavc::assistant::RatingResultText;
using tavc::assistant::SecondStepAnswer;
using Step = RatingAnswer::Step;

struct AnswerCase {
    const char* name;
    char code;
    bool remark_level2;  // first step only
    Step step;
    char remark;
    std::string detail;
    std::string text;
};

void ExpectAnswer(const RatingAnswer& got, const AnswerCase& c) {
    EXPECT_EQ(got.step, c.step);
    if (c.step != Step::Store) return;
    EXPECT_EQ(got.remark, c.remark);
    EXPECT_EQ(got.detail, c.detail);
    EXPECT_EQ(got.text, c.text);
}

class FirstStep : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(FirstStep, AnswerLeadsToItsStep) {
    ExpectAnswer(FirstStepAnswer(GetParam().code, GetParam().remark_level2), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirstStep,
    ::testing::Values(
        AnswerCase{"NotYetPollsAgain", 'N', false, Step::PollAgain, 0, "", ""},
        AnswerCase{"VeryContent", 'I', false, Step::Store, 'I', "", "非常满意"},
        AnswerCase{"Content", 'J', false, Step::Store, 'J', "", "满意"},
        AnswerCase{"Average", 'K', false, Step::Store, 'K', "", "一般"},
        AnswerCase{"Discontent", 'L', false, Step::Store, 'L', "", "不满意"},
        AnswerCase{"VeryDiscontentWithoutSecondStep", 'M', false, Step::Store, 'M', "", "非常不满意"},
        AnswerCase{"VeryDiscontentAsksWhy", 'M', true, Step::AskSecondStep, 0, "", ""},
        AnswerCase{"NoKeyIsAResult", 'V', false, Step::Store, 'V', "", "用户没有按键"},
        AnswerCase{"OtherLettersStillStoredWithSecondStepOn", 'L', true, Step::Store, 'L', "", "不满意"},
        AnswerCase{"LowerCaseIsUndefined", 'i', false, Step::Undefined, 0, "", ""},
        AnswerCase{"OtherLetterIsUndefined", 'A', true, Step::Undefined, 0, "", ""},
        AnswerCase{"ZeroByteIsUndefined", '\0', false, Step::Undefined, 0, "", ""},
        AnswerCase{"HighByteIsUndefined", '\xC4', false, Step::Undefined, 0, "", ""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

class SecondStep : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(SecondStep, AnswerIsStoredAsVeryDiscontentWithItsReason) {
    ExpectAnswer(SecondStepAnswer(GetParam().code), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecondStep,
    ::testing::Values(AnswerCase{"NotYetPollsAgain", 'N', false, Step::PollAgain, 0, "", ""},
                      AnswerCase{"I", 'I', false, Step::Store, 'M', "业务流程不熟悉", "业务流程不熟悉"},
                      AnswerCase{"J", 'J', false, Step::Store, 'M', "业务流程不熟悉", "业务流程不熟悉"},
                      AnswerCase{"K", 'K', false, Step::Store, 'M', "未列出不满意原因", "未列出不满意原因"},
                      AnswerCase{"V", 'V', false, Step::Store, 'M', "未列出不满意原因", "未列出不满意原因"},
                      AnswerCase{"L", 'L', false, Step::Store, 'M', "服务态度不好", "服务态度不好"},
                      AnswerCase{"M", 'M', false, Step::Store, 'M', "服务态度不好", "服务态度不好"},
                      AnswerCase{"OtherByteHasAnEmptyReason", 'x', false, Step::Store, 'M', "", ""},
                      AnswerCase{"ZeroByteHasAnEmptyReason", '\0', false, Step::Store, 'M', "", ""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(RatingStatusText, ShowsTheResultWithAFullWidthColonOnlyWhenAsked) {
    EXPECT_EQ(RatingDisplayText(RatingResultText("一般"), true), "评价结果\uFF1A一般");
    EXPECT_EQ(RatingDisplayText(RatingResultText(""), true), "评价结果\uFF1A");
    EXPECT_EQ(RatingDisplayText(RatingResultText("一般"), false), "客户已评价");
    EXPECT_EQ(RatingDisplayText(RatingResultText(""), false), "客户已评价");
}

}  // namespace
