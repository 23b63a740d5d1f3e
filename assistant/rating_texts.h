// The customer rating's texts and what each answer of the terminal leads to, at the first step (how
// satisfied) and at the second (why not). Texts are UTF-8; the form converts them.
#pragma once

#include <string>
#include <string_view>

namespace tavc::assistant {

// The order of the answers in the two rating text tables (texts.h).
inline constexpr std::string_view kRatingAnswerOrder = "VIJKLM";

// Status texts and spoken texts of the rating.
inline constexpr std::string_view kRatingWaitingText = "等待客户评价...";
inline constexpr std::string_view kRatingWaitingForReasonText = "等待进一步评价";
inline constexpr std::string_view kRatingResultPrefix = "评价结果：";  // full-width colon
inline constexpr std::string_view kRatingHiddenText = "客户已评价";
inline constexpr std::string_view kRatingUndefinedText = "未定义的评价结果. 忽略!";
inline constexpr std::string_view kRatingFailedText = "通信失败.";
inline constexpr std::string_view kRatingNoTerminalText = "无法与设备通信,请检查硬件连接!";
// Left in the status bar (and so in the tray tip) when the library could store the rating nowhere.
inline constexpr std::string_view kRatingNotStoredText = "评价未能保存,请检查缓存文件夹!";
inline constexpr std::string_view kRatingRequestSpeech = "请您选择按钮,评价我们的服务";
inline constexpr std::string_view kRatingReasonRequestSpeech = "请您进一步评价";
inline constexpr std::string_view kRatingThanksSpeech = "感谢您对我们工作的支持,请不要忘记随身物品";

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
    std::string_view text;    // Store: the text shown after kRatingResultPrefix
};

RatingAnswer FirstStepAnswer(char code, bool remark_level2);
// Every byte but "N" ends the second step: stored as "M" with its reason, empty for a byte outside the
// table.
RatingAnswer SecondStepAnswer(char code);

// "评价结果：" followed by the answer's text.
std::string RatingResultText(std::string_view answer_text);
// The status text of a stored rating: `text` when the rating is to be shown, else kRatingHiddenText.
std::string RatingDisplayText(std::string_view text, bool show_remark);

}  // namespace tavc::assistant
