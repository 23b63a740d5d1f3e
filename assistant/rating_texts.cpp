#include "rating_texts.h"

#include "texts.h"

namespace tavc::assistant {

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
    return {RatingAnswer::Step::Store, code, {}, texts::kRatingTexts[static_cast<size_t>(i)]};
}

RatingAnswer SecondStepAnswer(char code) {
    if (code == kRatingNotYet) return {RatingAnswer::Step::PollAgain};
    const int i = AnswerIndex(code);
    const std::string_view reason = i < 0 ? std::string_view() : texts::kReasonTexts[static_cast<size_t>(i)];
    return {RatingAnswer::Step::Store, 'M', reason, reason};
}

std::string RatingResultText(std::string_view answer_text) {
    return std::string(texts::kRatingResultPrefix) + std::string(answer_text);
}

std::string RatingDisplayText(std::string_view text, bool show_remark) {
    return std::string(show_remark ? text : texts::kRatingHidden);
}

}  // namespace tavc::assistant
