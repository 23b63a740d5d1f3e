// The program's own texts, all in one table (UTF-8; the forms turn them into what Qt and the library
// take). A %1 stands for the title, which is written once.
#pragma once

#include <array>
#include <string_view>

namespace tavc::assistant::texts {

// The main window's caption; a second start looks for the window by it.
inline constexpr std::string_view kTitle = "ORB-100小助手";

// The status bar and the frame.
inline constexpr std::string_view kStatusAtStart = "就绪...";
inline constexpr std::string_view kStatusReady = "就绪";
inline constexpr std::string_view kStatusUploading = "正在上传本地评价数据,请稍等...";
inline constexpr std::string_view kExitQuestion = "是否要退出%1?";
inline constexpr std::string_view kUploadAtCloseFailed =
    "无法连接服务器上传本地缓存的评价数据. 下次小助手启动并选择远程登陆时将再次尝试!";
inline constexpr std::string_view kNoMessageEndpoint = "无法建立窗口的消息端点: 再次启动将找不到这个窗口。";
// A start that cannot tell whether an instance runs: no folder at all, or the folder %2 that cannot serve.
inline constexpr std::string_view kCannotTellNoFolder =
    "无法确定%1是否已在运行: 找不到可用的文件夹。本次启动将退出。";
inline constexpr std::string_view kCannotTellFolder =
    "无法确定%1是否已在运行: 不能使用文件夹 %2。本次启动将退出。";

// The settings dialog.
inline constexpr std::string_view kSettingsChanged = "设置已经改变。%1将重新启动!";

// The login page.
inline constexpr std::string_view kLoginNotInCache = "本地数据不能验证用户口令!请尝试远程登陆.";
inline constexpr std::string_view kLoginParametersMissing = "不能登录服务器-参数不足!";
inline constexpr std::string_view kLoginInvalidUser = "不能登录服务器-无效的用户!";
inline constexpr std::string_view kLoginInvalidPassword = "不能登录服务器-无效的用户名或口令!";
inline constexpr std::string_view kLoginNoConnection = "不能连接服务器-请检查服务器URL的设置!";
inline constexpr std::string_view kLoginNoAnswer = "不能登录服务器-响应超时!请检查服务器是否正常运行.";
inline constexpr std::string_view kUploadAtLoginFailed =
    "无法连接服务器上传本地缓存的评价数据. 小助手退出时将再次尝试!";
inline constexpr std::string_view kTerminalLoginFailed = "不能登录评价器,请检查设备的硬件连接!";

// The cashier page.
inline constexpr std::string_view kWelcomeSpeech = "您好,欢迎光临";

// The customer rating: status texts and spoken texts.
inline constexpr std::string_view kRatingWaiting = "等待客户评价...";
inline constexpr std::string_view kRatingWaitingForReason = "等待进一步评价";
inline constexpr std::string_view kRatingResultPrefix = "评价结果：";  // full-width colon
inline constexpr std::string_view kRatingHidden = "客户已评价";
inline constexpr std::string_view kRatingUndefined = "未定义的评价结果. 忽略!";
inline constexpr std::string_view kRatingFailed = "通信失败.";
inline constexpr std::string_view kRatingNoTerminal = "无法与设备通信,请检查硬件连接!";
// Left in the status bar (and so in the tray tip) when the library could store the rating nowhere.
inline constexpr std::string_view kRatingNotStored = "评价未能保存,请检查缓存文件夹!";
inline constexpr std::string_view kRatingRequestSpeech = "请您选择按钮,评价我们的服务";
inline constexpr std::string_view kRatingReasonRequestSpeech = "请您进一步评价";
inline constexpr std::string_view kRatingThanksSpeech = "感谢您对我们工作的支持,请不要忘记随身物品";
// By the terminal's answers V, I, J, K, L, M: how satisfied, and at the second step why not.
inline constexpr std::array<std::string_view, 6> kRatingTexts = {"用户没有按键", "非常满意", "满意",
                                                                 "一般",         "不满意",   "非常不满意"};
inline constexpr std::array<std::string_view, 6> kReasonTexts = {"未列出不满意原因", "业务流程不熟悉",
                                                                 "业务流程不熟悉",   "未列出不满意原因",
                                                                 "服务态度不好",     "服务态度不好"};

// The remembered texts of the demo pages: their value names under the Tips key, in the order they are
// read at start, and their defaults.
inline constexpr int kTipCount = 5;
inline constexpr std::array<std::string_view, kTipCount> kTipNames = {"ItemName", "Price", "Count", "Msg",
                                                                      "Voice"};
inline constexpr std::array<std::string_view, kTipCount> kTipDefaults = {
    "头袍拉定", "12.0", "1", "星辰科技创造奇迹", "<在这里输入文字>"};
enum Tip { kItemName, kPrice, kCount, kMsg, kVoice };

// The hot-key help: five entries of three lines, the key, then what it does.
inline constexpr std::array<std::string_view, 15> kHotKeyHelp = {
    "  Win+1 : ",
    "      播报欢迎语,TAV-C评价器显示欢迎画面,小助手窗口弹出,焦点在\"应收金额\";",
    "      输入金额后回车,金额显示在评价器上,窗口自动隐藏.",
    "  Win+2 : ",
    "      小助手窗口弹出,焦点在\"预收金额\";回车后焦点移到\"找零金额\",可以修改;",
    "      再回车,预收金额和找零金额显示在评价器上,窗口自动隐藏.",
    "  Win+3 : ",
    "      小助手窗口弹出,焦点在\"找零金额\";输入找零金额后回车,",
    "      预收金额和找零金额显示在评价器上,窗口自动隐藏.",
    "  Win+4 : ",
    "      小助手窗口弹出,自动选择菜单\"基本操作/请求评价\",",
    "      请客户对服务进行评价.",
    "  Win+5 : ",
    "      询问用户是否要退出",
    "      %1.",
};

}  // namespace tavc::assistant::texts
