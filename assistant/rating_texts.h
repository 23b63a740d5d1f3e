// What each answer of the terminal leads to at the customer rating's first step (how satisfied) and its
// second (why not), and the texts of the status bar it shows (texts.h). No Qt: the form converts them.
#pragma once

#include <string>
#include <string_view>

#include "texts.h"

namespace tavc::assistant {

// The order of the answers in the two rating text tables of texts.h.
inline constexpr std::string_view kRatingAnswerOrder = "VIJKLM";

// The code that stands for "no button pressed yet": ask again after 500 ms.
inline constexpr char kRatingNotYet = 'N';

// What one answer of the terminal leads to.
struct RatingAnswer {
    enum class Step {
        PollAgain,      // "N": ask again in 500 ms
        Store,          // store `remark` with `detail`, show `text`, thank, hide
        AskSecondStep,  // "M" with the second step on: ask why
        Undefined,      // a byte outside the first step's table: report it, store nothing
    };
    Step step = Step::Undefined;
    char remark = 0;          // Store: the code stored
    std::string_view detail;  // Store: the detail stored ("" after the first step)
    std::string_view text;    // Store: the text shown after texts::kRatingResultPrefix
};

RatingAnswer FirstStepAnswer(char code, bool remark_level2);
// Every byte but "N" ends the second step: stored as "M" with its reason, empty for a byte outside the
// table.
RatingAnswer SecondStepAnswer(char code);

// "评价结果：" followed by the answer's text.
std::string RatingResultText(std::string_view answer_text);
// The status text of a stored rating: `text` when the rating is to be shown, else texts::kRatingHidden.
std::string RatingDisplayText(std::string_view text, bool show_remark);

}  // namespace tavc::assistant
