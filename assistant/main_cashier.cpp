// The main window's cashier page: the amount due, the amount received and the change, each shown on the
// terminal and spoken, and the window shown for the next step of a service.
#include <QCoreApplication>
#include <string>

#include "amount_steps.h"
#include "form_support.h"
#include "gbk.h"
#include "main.h"
#include "main_steps.h"
#include "tessel.h"
#include "texts.h"

namespace tavc::assistant {

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
                Speak(Text(texts::kWelcomeSpeech));
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
            TAVCShowCost(Gbk(FromUtf8(due.cost)).c_str());
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
            ui.Edit3->setText(FromUtf8(ChangeOf(ui.Edit2->text().toStdString(),
                                                ui.Edit1->text().toStdString(), DecimalSeparator())));
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
            ui.Edit2->setText(FromUtf8(payment.received));
            TAVCShowPayReturn(Gbk(FromUtf8(payment.received)).c_str(), Gbk(FromUtf8(payment.change)).c_str());
            for (const std::string& sound : payment.sounds) SoundOut(sound);
        },
        [this] {
            for (QLineEdit* field : {ui.Edit1, ui.Edit2, ui.Edit3}) field->setText(QStringLiteral("0"));
            TestProbe(QStringLiteral("cashier fields 0|0|0"));
            N5Click();
        });
}

}  // namespace tavc::assistant
