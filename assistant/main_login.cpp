// The main window's login page: offline against the library's cache or through the rating server, the
// upload after a server login, the clerk announced to the terminal, and what a login unlocks.
#include <QCoreApplication>
#include <QScreen>
#include <string>

#include "form_support.h"
#include "gbk.h"
#include "main.h"
#include "main_steps.h"
#include "settings.h"
#include "tessel.h"
#include "texts.h"

namespace tavc::assistant {

void TForm1::A11Click() {
    ui.PageControl1->show();
    ui.PageControl2->hide();
    ui.PageControl1->setCurrentIndex(0);
    ui.Edit4->setText(AssistantSettings.UserId);
    ui.Edit5->setText(QString());
    Edit4Change();
    FocusField(ui.Edit4);
    TestProbe(QStringLiteral("login page id=%1 selected=%2 button5=%3")
                  .arg(ui.Edit4->text(), ui.Edit4->selectedText())
                  .arg(ui.Button5->isEnabled()));
}

void TForm1::Edit4Change() {
    bool enabled = !ui.Edit4->text().isEmpty() && !ui.Edit5->text().isEmpty();
    ui.Button5->setEnabled(enabled);
}

void TForm1::Edit4KeyPress(char key) {
    if (key == '\r') FocusField(ui.Edit5);
}

void TForm1::Button5Click() {
    const std::string id = Gbk(ui.Edit4->text());
    const std::string password = Gbk(ui.Edit5->text());
    if (ui.CheckBox1->isChecked()) {
        if (TAVCLoginToCache(id.c_str(), password.c_str()) != 0) {
            ShowMessage(this, Text(texts::kLoginNotInCache));
            return;
        }
    } else {
        const std::string url = Gbk(AssistantSettings.ServerUrl);
        switch (TAVCLoginToDB(id.c_str(), password.c_str(), url.c_str(), kServerPort)) {
            case 0:
                break;
            case 1:
                ShowMessage(this, Text(texts::kLoginParametersMissing));
                return;
            case 2:
                ShowMessage(this, Text(texts::kLoginInvalidUser));
                return;
            case 3:
                ShowMessage(this, Text(texts::kLoginInvalidPassword));
                return;
            case -2:
                ShowMessage(this, Text(texts::kLoginNoConnection));
                return;
            default:
                ShowMessage(this, Text(texts::kLoginNoAnswer));
                return;
        }
        SetStatusText(0, Text(texts::kStatusUploading));
        QCoreApplication::processEvents();
        if (TAVCUploadRemarks(url.c_str(), kServerPort) != 0)
            ShowMessage(this, Text(texts::kUploadAtLoginFailed));
        SetStatusText(0, Text(texts::kStatusReady));
    }
    AssistantSettings.UserId = ui.Edit4->text();
    AssistantSettings.Changed(AssistantSettings.kUserId);
    SetStatusText(1, AssistantSettings.UserId);
    const std::string user = Gbk(AssistantSettings.UserId);
    if (TAVCLogin(user.c_str()) != 0) {
        ShowMessage(this, Text(texts::kTerminalLoginFailed));
        return;
    }
    EnterLoggedInState();
}

void TForm1::EnterLoggedInState() {
    ui.PageControl1->show();
    ui.PageControl2->hide();
    ui.PageControl1->setCurrentIndex(1);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().width() - frameGeometry().width(), 0);
    Timer2->start();
    TestProbe(QStringLiteral("logged in"));
    if (AssistantSettings.DemoMode) return;
    SetLocked(false);
    RegisterHotKeys();
}

void TForm1::Button6Click() {
    close();
}

void TForm1::A13Click() {
    ui.PageControl1->show();
    ui.PageControl2->hide();
    ui.PageControl1->setCurrentIndex(1);
    FocusField(ui.Edit1);
}

void TForm1::A14Click() {
    close();
}

}  // namespace tavc::assistant
