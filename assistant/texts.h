// The program's constant texts: the remembered texts' names and defaults and the rating texts.
#pragma once

#include <array>

namespace tavc::assistant::texts {

constexpr int kTipCount = 5;
// Value names under the Tips key, in the order they are read at start.
constexpr std::array<const char*, kTipCount> TipNames = {"ItemName", "Price", "Count", "Msg", "Voice"};
constexpr std::array<const char*, kTipCount> TipDefaults = {"头袍拉定", "12.0", "1", "星辰科技创造奇迹",
                                                            "<在这里输入文字>"};
enum Tip { ItemName, Price, Count, Msg, Voice };

// By the terminal's answers V, I, J, K, L, M.
constexpr std::array<const char*, 6> RemarkTexts = {"用户没有按键", "非常满意", "满意",
                                                    "一般",         "不满意",   "非常不满意"};
constexpr std::array<const char*, 6> RemarkTexts2 = {"未列出不满意原因", "业务流程不熟悉", "业务流程不熟悉",
                                                     "未列出不满意原因", "服务态度不好",   "服务态度不好"};

}  // namespace tavc::assistant::texts
