// The main window's customer rating: the request, the polls of its two steps, the answer shown, stored
// with the current clerk and thanked for.
#include <QCoreApplication>
#include <chrono>
#include <string>
#include <thread>

#include "form_support.h"
#include "gbk.h"
#include "main.h"
#include "main_steps.h"
#include "rating_texts.h"
#include "settings.h"
#include "tessel.h"
#include "texts.h"

namespace tavc::assistant {

namespace {

using namespace std::chrono_literals;

constexpr int kFirstPollMs = 1000;
constexpr int kNextPollMs = 500;
constexpr auto kThanksPause = 1000ms;

}  // namespace

void TForm1::A12Click() {
    ui.A12->setEnabled(false);
    // A new request ends the poll that ran, so two polls never read the same terminal.
    SetTimerInterval(Timer3, 0);
    SetStatusText(0, Text(texts::kRatingWaiting));
    TAVCAskforRemark();
    Speak(Text(texts::kRatingRequestSpeech));
    SetTimerInterval(Timer1, kFirstPollMs);
}

bool TForm1::CacheRating(char code, const QString& detail) {
    return TAVCRemarkToCache(Gbk(AssistantSettings.UserId).c_str(), static_cast<unsigned char>(code),
                             Gbk(detail).c_str()) == 0;
}

QString TForm1::RatingDisplayText(const QString& text) const {
    return FromUtf8(assistant::RatingDisplayText(text.toStdString(), AssistantSettings.ShowRemark));
}

void TForm1::FinishRating(char code, const QString& detail) {
    // Both polls are stopped by now: the waiting messages may hold a tick, which must not read the
    // answer again and store it twice.
    QCoreApplication::processEvents();
    const bool stored = CacheRating(code, detail);
    Speak(Text(texts::kRatingThanksSpeech));
    std::this_thread::sleep_for(kThanksPause);
    // A rating lost must not go unnoticed: the clerk finds the text in the tray tip and the window.
    SetStatusText(0, stored ? QString() : Text(texts::kRatingNotStored));
    N5Click();
    // A request taken while the messages ran has started a poll of its own: the item waits for its end.
    if (Timer1->isActive() || Timer3->isActive()) return;
    ui.A12->setEnabled(true);
    TestProbe(QStringLiteral("rating request enabled"));
}

void TForm1::Timer1Timer() {
    SetTimerInterval(Timer1, 0);
    char code = 0;
    if (TAVCReadRemark(&code) != 0) {
        ShowMessage(this, Text(texts::kRatingNoTerminal));
        SetStatusText(0, Text(texts::kRatingFailed));
        return;
    }
    const RatingAnswer answer = FirstStepAnswer(code, AssistantSettings.RemarkLevel2);
    switch (answer.step) {
        case RatingAnswer::Step::PollAgain:
            SetTimerInterval(Timer1, kNextPollMs);
            return;
        case RatingAnswer::Step::AskSecondStep:
            SetStatusText(0, Text(texts::kRatingWaitingForReason));
            TAVCAskforRemark2();
            Speak(Text(texts::kRatingReasonRequestSpeech));
            SetTimerInterval(Timer3, kFirstPollMs);
            return;
        case RatingAnswer::Step::Store:
            SetStatusText(0, RatingDisplayText(FromUtf8(RatingResultText(answer.text))));
            FinishRating(answer.remark, FromUtf8(answer.detail));
            return;
        case RatingAnswer::Step::Undefined:
            SetStatusText(0, Text(texts::kRatingUndefined));
            return;
    }
}

void TForm1::Timer3Timer() {
    char code = 0;
    if (TAVCReadRemark(&code) != 0) {
        SetTimerInterval(Timer3, kNextPollMs);
        return;
    }
    const RatingAnswer answer = SecondStepAnswer(code);
    if (answer.step == RatingAnswer::Step::PollAgain) {
        SetTimerInterval(Timer3, kNextPollMs);
        return;
    }
    SetTimerInterval(Timer3, 0);
    SetStatusText(0, RatingDisplayText(FromUtf8(RatingResultText(answer.text))));
    FinishRating(answer.remark, FromUtf8(answer.detail));
}

void TForm1::FormDblClick() {
    char code = 0;
    if (TAVCReadRemark(&code) != 0) {
        // No byte came: say so rather than show one that was never read.
        ShowMessage(this, Text(texts::kRatingNoTerminal));
        return;
    }
    ShowMessage(this, FromGbk(std::string(1, code)));
}

}  // namespace tavc::assistant
