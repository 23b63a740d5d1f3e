#include "rating_texts.h"

namespace tavc::assistant {

const std::array<std::string_view, 6> kFirstStepRatingTexts = {
    "用户没有按键", "非常满意", "满意", "一般", "不满意", "非常不满意",
};
const std::array<std::string_view, 6> kSecondStepReasonTexts = {
    "未列出不满意原因", "业务流程不熟悉", "业务流程不熟悉",
    "未列出不满意原因", "服务态度不好",   "服务态度不好",
};

namespace {

// The table index of a listed answer; none for any other byte ("N" included).
int AnswerIndex(char code) {
    const size_t i = kRatingAnswerOrder.find(code);
    return i == std::string_view::npos ? -1 : static_cast<int>(i);
}

}  // namespace

RatingAnswer FirstStepAnswer(char code, bool remark_level2) {
    if (code == kRatingNotYet) return {RatingAnswer::Step::PollAgain};
    const int i = AnswerIndex(code);
    if (i < 0) return {RatingAnswer::Step::Undefined};
    if (code == 'M' && remark_level2) return {RatingAnswer::Step::AskSecondStep};
    return {RatingAnswer::Step::Store, code, {}, kFirstStepRatingTexts[static_cast<size_t>(i)]};
}

RatingAnswer SecondStepAnswer(char code) {
    if (code == kRatingNotYet) return {RatingAnswer::Step::PollAgain};
    const int i = AnswerIndex(code);
    const std::string_view reason =
        i < 0 ? std::string_view() : kSecondStepReasonTexts[static_cast<size_t>(i)];
    return {RatingAnswer::Step::Store, 'M', reason, reason};
}

std::string RatingResultText(std::string_view answer_text) {
    return std::string(kRatingResultPrefix) + std::string(answer_text);
}

std::string RatingDisplayText(std::string_view text, bool show_remark) {
    return std::string(show_remark ? text : kRatingHiddenText);
}

}  // namespace tavc::assistant
