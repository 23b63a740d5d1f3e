// The cashier, rating and demo pages of the main window. Their handlers are bound in the window's
// constructor.
#include <QColorDialog>
#include <QCoreApplication>
#include <QLabel>
#include <chrono>
#include <string>
#include <thread>

#include "amount_steps.h"
#include "amounts.h"
#include "form_support.h"
#include "gbk.h"
#include "main.h"
#include "rating_texts.h"
#include "settings.h"
#include "tessel.h"

namespace tavc::assistant {

namespace {

using namespace std::chrono_literals;

constexpr int kFirstPollMs = 1000;
constexpr int kNextPollMs = 500;
constexpr auto kThanksPause = 1000ms;
const char* const kWelcomeSpeech = "您好,欢迎光临";
constexpr int32_t kSpeakFlag = 1;

// Parsing and formatting use one separator, read once when the program starts.
const std::string& DecimalSeparator() {
    static const std::string separator = LocaleDecimalSeparator();
    return separator;
}
[[maybe_unused]] const std::string& kReadAtStart = DecimalSeparator();

QString Text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void Speak(std::string_view utf8) {
    TAVSpeak(Gbk(Text(utf8)).c_str(), kSpeakFlag);
}

void SoundOut(const std::string& utf8) {
    TAVSoundOut(Gbk(Text(utf8)).c_str());
}

// Runs `step`, then `last` whether or not the step failed; a failure goes on to the error box after.
template <class Step, class Last>
void WithFinalStep(Step&& step, Last&& last) {
    try {
        step();
    } catch (...) {
        last();
        throw;
    }
    last();
}

// The colour dialog's colour as the library takes it: 0x00BBGGRR.
int32_t ColorRef(const QColor& color) {
    return static_cast<int32_t>(color.red() | (color.green() << 8) | (color.blue() << 16));
}

}  // namespace

// ---- Cashier amounts ---------------------------------------------------------------------------------

void TForm1::ShowForAction(int action) {
    if (isVisible()) {
        N5Click();
        return;
    }
    RestoreFromTray();
    QCoreApplication::processEvents();
    switch (action) {
        case 1:
        case 2:
        case 3: {
            ui.PageControl1->show();
            ui.PageControl2->hide();
            ui.PageControl1->setCurrentIndex(1);
            QLineEdit* fields[] = {ui.Edit1, ui.Edit2, ui.Edit3};
            static constexpr void (TForm1::*enters[])() = {&TForm1::Edit1Enter, &TForm1::Edit2Enter,
                                                           &TForm1::Edit3Enter};
            FocusField(fields[action - 1]);
            // The focus event comes only once the window is active, which may be after the next key.
            (this->*enters[action - 1])();
            TestProbe(QStringLiteral("cashier focus Edit%1").arg(action));
            if (action == 1) {
                TAVCShowWelcome();
                Speak(kWelcomeSpeech);
            }
            break;
        }
        case 4:
            A12Click();
            break;
        default:
            break;
    }
}

void TForm1::Edit1Enter() {
    ui.Button1->setDefault(true);
    ui.Button2->setDefault(false);
    ui.Button3->setDefault(false);
}
void TForm1::Edit2Enter() {
    ui.Button2->setDefault(true);
    ui.Button1->setDefault(false);
    ui.Button3->setDefault(false);
}
void TForm1::Edit3Enter() {
    ui.Button3->setDefault(true);
    ui.Button1->setDefault(false);
    ui.Button2->setDefault(false);
}

void TForm1::Button1Click() {
    WithFinalStep(
        [this] {
            const AmountDueTexts due = AmountDue(ui.Edit1->text().toStdString(), DecimalSeparator());
            TAVCShowCost(Gbk(Text(due.cost)).c_str());
            SoundOut(due.sound);
        },
        [this] {
            TestProbe(QStringLiteral("cashier fields %1|%2|%3")
                          .arg(ui.Edit1->text(), ui.Edit2->text(), ui.Edit3->text()));
            N5Click();
        });
}

void TForm1::Button2Click() {
    WithFinalStep(
        [this] {
            ui.Edit3->setText(Text(ChangeOf(ui.Edit2->text().toStdString(), ui.Edit1->text().toStdString(),
                                            DecimalSeparator())));
        },
        [this] {
            ui.Button2->setDefault(false);
            FocusField(ui.Edit3);
            Edit3Enter();  // the focus event comes late while the window is not active
            TestProbe(QStringLiteral("cashier fields %1|%2|%3 default Button3")
                          .arg(ui.Edit1->text(), ui.Edit2->text(), ui.Edit3->text()));
        });
}

void TForm1::Button3Click() {
    WithFinalStep(
        [this] {
            const PaymentTexts payment = CompletePayment(ui.Edit3->text().toStdString(),
                                                         ui.Edit1->text().toStdString(), DecimalSeparator());
            ui.Edit2->setText(Text(payment.received));
            TAVCShowPayReturn(Gbk(Text(payment.received)).c_str(), Gbk(Text(payment.change)).c_str());
            for (const std::string& sound : payment.sounds) SoundOut(sound);
        },
        [this] {
            for (QLineEdit* field : {ui.Edit1, ui.Edit2, ui.Edit3}) field->setText(QStringLiteral("0"));
            TestProbe(QStringLiteral("cashier fields 0|0|0"));
            N5Click();
        });
}

// ---- Customer rating ---------------------------------------------------------------------------------

void TForm1::A12Click() {
    ui.A12->setEnabled(false);
    // A new request ends the poll that ran, so two polls never read the same terminal.
    SetTimerInterval(Timer3, 0);
    SetStatusText(0, Text(kRatingWaitingText));
    TAVCAskforRemark();
    Speak(kRatingRequestSpeech);
    SetTimerInterval(Timer1, kFirstPollMs);
}

bool TForm1::CacheRating(char code, const QString& detail) {
    return TAVCRemarkToCache(Gbk(AssistantSettings.UserId).c_str(), static_cast<unsigned char>(code),
                             Gbk(detail).c_str()) == 0;
}

QString TForm1::RatingDisplayText(const QString& text) const {
    return AssistantSettings.ShowRemark ? text : Text(kRatingHiddenText);
}

void TForm1::FinishRating(char code, const QString& detail) {
    // Both polls are stopped by now: the waiting messages may hold a tick, which must not read the
    // answer again and store it twice.
    QCoreApplication::processEvents();
    const bool stored = CacheRating(code, detail);
    TestProbe(QStringLiteral("rating stored %1").arg(QChar(code)));
    Speak(kRatingThanksSpeech);
    std::this_thread::sleep_for(kThanksPause);
    // A rating lost must not go unnoticed: the clerk finds the text in the tray tip and the window.
    SetStatusText(0, stored ? QString() : Text(kRatingNotStoredText));
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
        ShowMessage(this, Text(kRatingNoTerminalText));
        SetStatusText(0, Text(kRatingFailedText));
        return;
    }
    const RatingAnswer answer = FirstStepAnswer(code, AssistantSettings.RemarkLevel2);
    switch (answer.step) {
        case RatingAnswer::Step::PollAgain:
            SetTimerInterval(Timer1, kNextPollMs);
            return;
        case RatingAnswer::Step::AskSecondStep:
            SetStatusText(0, Text(kRatingWaitingForReasonText));
            TAVCAskforRemark2();
            Speak(kRatingReasonRequestSpeech);
            SetTimerInterval(Timer3, kFirstPollMs);
            return;
        case RatingAnswer::Step::Store:
            SetStatusText(0, RatingDisplayText(Text(RatingResultText(answer.text))));
            FinishRating(answer.remark, Text(answer.detail));
            return;
        case RatingAnswer::Step::Undefined:
            SetStatusText(0, Text(kRatingUndefinedText));
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
    SetStatusText(0, RatingDisplayText(Text(RatingResultText(answer.text))));
    FinishRating(answer.remark, Text(answer.detail));
}

void TForm1::FormDblClick() {
    char code = 0;
    if (TAVCReadRemark(&code) != 0) {
        // No byte came: say so rather than show one that was never read.
        ShowMessage(this, Text(kRatingNoTerminalText));
        return;
    }
    ShowMessage(this, FromGbk(std::string(1, code)));
}

// ---- Demo pages --------------------------------------------------------------------------------------

namespace {

// Shows the demo pages on `page`. The page that is active when they are displayed the first time gets its
// show handler then, as every page does when it becomes the active one.
void ChooseDemoPage(Ui::TForm1& ui, bool& displayed, int page, const std::function<void()>& first_show) {
    ui.PageControl2->show();
    ui.PageControl1->hide();
    if (!displayed) {
        displayed = true;
        first_show();
    }
    ui.PageControl2->setCurrentIndex(page);
}

}  // namespace

void TForm1::A21Click() {
    ChooseDemoPage(ui, demo_pages_displayed_, 0, [this] { TabSheet8Show(); });
}
void TForm1::A22Click() {
    ChooseDemoPage(ui, demo_pages_displayed_, 1, [this] { TabSheet8Show(); });
}
void TForm1::A23Click() {
    ChooseDemoPage(ui, demo_pages_displayed_, 2, [this] { TabSheet8Show(); });
}

void TForm1::TabSheet8Show() {
    ui.Edit17->selectAll();
    ui.Edit17->setFocus();
    running_total_ = 0;
    TestProbe(QStringLiteral("item-line page shown"));
}

void TForm1::TabSheet9Show() {
    ui.Memo2->selectAll();
    ui.Memo2->setFocus();
    TestProbe(QStringLiteral("speech page shown"));
}

void TForm1::TabSheet10Show() {
    TAVCCls();
    ui.Edit20->selectAll();
    ui.Edit20->setFocus();
    TestProbe(QStringLiteral("text page shown"));
}

void TForm1::Button14Click() {
    const QString item = ui.Edit17->text();
    const QString price = ui.Edit18->text();
    const QString quantity = ui.Edit19->text();
    const ItemLineTexts line =
        ItemLine(price.toStdString(), quantity.toStdString(), running_total_, DecimalSeparator());
    TAVCShowItemCosts(Gbk(item).c_str(), Gbk(Text(line.amount)).c_str(), Gbk(Text(line.total)).c_str());
    WriteTip(QStringLiteral("ItemName"), item);
    WriteTip(QStringLiteral("Price"), price);
    WriteTip(QStringLiteral("Count"), quantity);
}

void TForm1::Button15Click() {
    QString text = ui.Memo2->toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    TAVSpeak(Gbk(text).c_str(), kSpeakFlag);
    WriteTip(QStringLiteral("Voice"), text);
}

void TForm1::Button16Click() {
    const int32_t y = ParseInteger(ui.Edit22->text().toStdString());
    const int32_t x = ParseInteger(ui.Edit21->text().toStdString());
    const QString text = ui.Edit20->text();
    TAVCPrintText(x, y, swatch_color_, Gbk(text).c_str());
    WriteTip(QStringLiteral("Msg"), text);
}

void TForm1::Button17Click() {
    QColorDialog dialog(dialog_color_, this);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    TestProbe(QStringLiteral("colour dialog %1").arg(dialog.currentColor().name()));
    QStringList labels{dialog.windowTitle()};
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (!label->text().isEmpty()) labels << label->text().simplified();
    TestProbe(QStringLiteral("colour dialog texts ") + labels.join(u'|'));
    ProbeButtons(dialog);
    if (dialog.exec() != QDialog::Accepted) return;
    dialog_color_ = dialog.selectedColor();
    swatch_color_ = ColorRef(dialog_color_);
    ui.StaticText2->setStyleSheet(QStringLiteral("background-color: %1;").arg(dialog_color_.name()));
    TestProbe(QStringLiteral("colour %1").arg(dialog_color_.name()));
}

}  // namespace tavc::assistant
