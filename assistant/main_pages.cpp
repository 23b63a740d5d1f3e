// The cashier, rating and demo pages of the main window. Their handlers are bound in the window's
// constructor; the bodies here are the frame's minimum until the pages are built.
#include <QCoreApplication>

#include <string>

#include "gbk.h"
#include "main.h"
#include "tessel.h"

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
            fields[action - 1]->setFocus();
            if (action == 1) {
                TAVCShowWelcome();
                const std::string greeting = Gbk(QStringLiteral("您好,欢迎光临"));
                TAVSpeak(greeting.c_str(), 1);
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

void TForm1::A12Click() {}
void TForm1::Button1Click() {}
void TForm1::Button2Click() {}
void TForm1::Button3Click() {}
void TForm1::Timer1Timer() {}
void TForm1::Timer3Timer() {}
void TForm1::FormDblClick() {}
void TForm1::A21Click() {}
void TForm1::A22Click() {}
void TForm1::A23Click() {}
void TForm1::TabSheet8Show() {}
void TForm1::TabSheet9Show() {}
void TForm1::TabSheet10Show() {}
void TForm1::Button14Click() {}
void TForm1::Button15Click() {}
void TForm1::Button16Click() {}
void TForm1::Button17Click() {}

}  // namespace tavc::assistant
