#include "main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <cstdio>
#include <string>

#include "form_support.h"
#include "gbk.h"
#include "help1.h"
#include "settings.h"
#include "setup.h"
#include "tessel.h"
#include "texts.h"

namespace tavc::assistant {

THotKeyList HotKeyList;
std::optional<instance::InstanceLock> InstanceMutex;

namespace {

const QString kUploading = QStringLiteral("正在上传本地评价数据,请稍等...");
const QString kReady = QStringLiteral("就绪");
constexpr int32_t kServerPort = 80;

}  // namespace

void SetTimerInterval(QTimer* timer, int interval_ms) {
    if (interval_ms == timer->interval() && (interval_ms == 0 || timer->isActive())) return;
    timer->setInterval(interval_ms);
    if (interval_ms == 0) {
        timer->stop();
    } else {
        timer->start();
    }
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    ui.setupUi(this);
    setWindowTitle(QString::fromUtf8(MainWindowTitle));
    setFixedSize(302, 201);
    for (QAction* separator : {ui.N4, ui.N11, ui.N6}) {
        separator->setText(QString());
        separator->setSeparator(true);
    }
    ui.ToolButton1->setMenu(ui.A1);
    ui.ToolButton2->setMenu(ui.A2);
    ui.ToolButton3->setMenu(ui.A3);
    // Outside the client area: it only takes Enter for the received field, never the focus.
    ui.Button2->setFocusPolicy(Qt::NoFocus);
    ui.Memo2->setTabChangesFocus(true);

    panels_[0] = new QLabel(QStringLiteral("就绪..."), ui.StatusBar1);
    panels_[0]->setFixedWidth(200);
    panels_[1] = new QLabel(ui.StatusBar1);
    panels_[1]->setFixedWidth(50);
    panels_[1]->setAlignment(Qt::AlignCenter);
    for (QLabel* panel : panels_) ui.StatusBar1->addWidget(panel);

    Timer1 = new QTimer(this);
    Timer3 = new QTimer(this);
    Timer2 = new QTimer(this);
    Timer2->setInterval(100);
    Timer2->start();  // enabled in the layout; the creation handler stops it
    tray_ = new TTrayIcon(this);
    ConnectHandlers();

    if (InstanceMutex) messages_ = instance::MessageEndpoint::create(*InstanceMutex);
    if (messages_) {
        message_notifier_ = new QSocketNotifier(messages_->fd(), QSocketNotifier::Read, this);
        connect(message_notifier_, &QSocketNotifier::activated, this, [this] { ReceiveMessages(); });
    } else {
        std::fputs(
            QStringLiteral("无法建立窗口的消息端点: 再次启动将找不到这个窗口。\n").toLocal8Bit().constData(),
            stderr);
    }
    PlaceAtDesktopCentre(this);
    Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

template <class Sender, class Signal, class Handler>
void TForm1::Bind(Sender* sender, Signal signal, Handler handler) {
    connect(sender, signal, this, [this, handler](auto&&...) { Guarded([&] { (this->*handler)(); }); });
}

void TForm1::Guarded(const std::function<void()>& handler) {
    RunHandler(this, handler);
}

void TForm1::ConnectHandlers() {
    const auto clicked = &QAbstractButton::clicked;
    const auto triggered = &QAction::triggered;
    Bind(ui.N1, triggered, &TForm1::N1Click);
    Bind(ui.N5, triggered, &TForm1::N5Click);
    Bind(ui.bangzhu1, triggered, &TForm1::bangzhu1Click);
    Bind(ui.N2, triggered, &TForm1::N2Click);
    Bind(ui.N3, triggered, &TForm1::N3Click);
    Bind(ui.A11, triggered, &TForm1::A11Click);
    Bind(ui.A12, triggered, &TForm1::A12Click);
    Bind(ui.A13, triggered, &TForm1::A13Click);
    Bind(ui.A14, triggered, &TForm1::A14Click);
    Bind(ui.A21, triggered, &TForm1::A21Click);
    Bind(ui.A22, triggered, &TForm1::A22Click);
    Bind(ui.A23, triggered, &TForm1::A23Click);
    Bind(ui.A31, triggered, &TForm1::A31Click);
    Bind(ui.A32, triggered, &TForm1::A32Click);
    Bind(ui.A33, triggered, &TForm1::A33Click);
    Bind(ui.ComboBox2, qOverload<int>(&QComboBox::activated), &TForm1::ComboBox2Click);
    Bind(ui.Edit4, &QLineEdit::textChanged, &TForm1::Edit4Change);
    Bind(ui.Edit5, &QLineEdit::textChanged, &TForm1::Edit4Change);
    Bind(ui.Button5, clicked, &TForm1::Button5Click);
    Bind(ui.Button6, clicked, &TForm1::Button6Click);
    Bind(ui.Button1, clicked, &TForm1::Button1Click);
    Bind(ui.Button2, clicked, &TForm1::Button2Click);
    Bind(ui.Button3, clicked, &TForm1::Button3Click);
    Bind(ui.Button14, clicked, &TForm1::Button14Click);
    Bind(ui.Button15, clicked, &TForm1::Button15Click);
    Bind(ui.Button16, clicked, &TForm1::Button16Click);
    Bind(ui.Button17, clicked, &TForm1::Button17Click);
    Bind(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
    Bind(Timer2, &QTimer::timeout, &TForm1::Timer2Timer);
    Bind(Timer3, &QTimer::timeout, &TForm1::Timer3Timer);
    connect(ui.PageControl2, &QTabWidget::currentChanged, this, [this](int index) {
        static constexpr void (TForm1::*shows[])() = {&TForm1::TabSheet8Show, &TForm1::TabSheet9Show,
                                                      &TForm1::TabSheet10Show};
        if (index >= 0 && index < 3) Guarded([&] { (this->*shows[index])(); });
    });
    tray_->OnMouse = [this](TTrayIcon::Mouse mouse) { Guarded([&] { WMTrayIcon(mouse); }); };
    // Key presses (Enter and the default buttons) and the edit boxes' OnEnter.
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // The window's default button takes Enter before the field sees it.
            if (QPushButton* button = DefaultButton()) {
                button->click();
                return true;
            }
            if (watched == ui.Edit4) Guarded([this] { Edit4KeyPress('\r'); });
        }
    } else if (event->type() == QEvent::FocusIn) {
        if (watched == ui.Edit1) Guarded([this] { Edit1Enter(); });
        if (watched == ui.Edit2) Guarded([this] { Edit2Enter(); });
        if (watched == ui.Edit3) Guarded([this] { Edit3Enter(); });
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    QPushButton* button = DefaultButton();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && button != nullptr) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

QPushButton* TForm1::DefaultButton() const {
    // Each page has its own default button; the hidden Button2 acts only while the received field has
    // the focus, so the default it kept from a visit there never takes another page's Enter.
    QPushButton* button = nullptr;
    if (ui.PageControl2->isVisible()) {
        QPushButton* const demo[] = {ui.Button14, ui.Button15, ui.Button16};
        int page = ui.PageControl2->currentIndex();
        if (page >= 0 && page < 3) button = demo[page];
    } else if (ui.PageControl1->currentWidget() == ui.TabSheet1) {
        button = ui.Button5;
    } else if (ui.PageControl1->currentWidget() == ui.TabSheet2) {
        if (ui.Button2->isDefault() && focusWidget() == ui.Edit2) return ui.Button2;
        for (QPushButton* own : {ui.Button1, ui.Button3})
            if (own->isDefault()) button = own;
    }
    return button != nullptr && button->isEnabled() && button->isVisible() ? button : nullptr;
}

void TForm1::FocusField(QLineEdit* field) {
    // As a Tab into the field does: what the clerk types replaces the old text.
    field->setFocus();
    field->selectAll();
}

QString TForm1::StatusText(int panel) const {
    return panels_[panel]->text();
}

void TForm1::SetStatusText(int panel, const QString& text) {
    panels_[panel]->setText(text);
    TestProbe(QStringLiteral("panel%1 %2").arg(panel).arg(text));
}

// ---- Frame -----------------------------------------------------------------------------------------

void TForm1::FormCreate() {
    QString tips[texts::kTipCount];
    for (int i = 0; i < texts::kTipCount; ++i) tips[i] = QString::fromUtf8(texts::TipDefaults[i]);
    for (int i = 0; i < texts::kTipCount; ++i) ReadTip(QString::fromUtf8(texts::TipNames[i]), tips[i]);
    ui.Edit17->setText(tips[texts::ItemName]);
    ui.Edit18->setText(tips[texts::Price]);
    ui.Edit19->setText(tips[texts::Count]);
    ui.Edit20->setText(tips[texts::Msg]);
    ui.Memo2->clear();
    ui.Memo2->appendPlainText(tips[texts::Voice]);

    LoadSettings();
    SetStatusText(1, AssistantSettings.UserId);
    int port_index = AssistantSettings.ComPort - 1;
    ui.ComboBox2->setCurrentIndex(port_index >= 0 && port_index < ui.ComboBox2->count() ? port_index : -1);
    ComboBox2Click();

    HotKeys = new TSysHotKey(this);
    HotKeys->OnHotKey = [this](QObject* sender, int32_t index) {
        Guarded([&] { HotKeyPressed(sender, index); });
    };
    LoadHotKeyFile(HotKeyList);
    Timer2->stop();
    if (AssistantSettings.DemoMode) {
        RegisterHotKeys();
    } else {
        SetLocked(true);
    }
}

void TForm1::SetLocked(bool locked) {
    ui.ToolButton1->setEnabled(!locked);
    ui.A31->setEnabled(!locked);
    ui.PageControl1->setTabEnabled(ui.PageControl1->indexOf(ui.TabSheet2), !locked);
    if (locked) ui.ToolButton2->hide();
    TestProbe(locked ? QStringLiteral("locked") : QStringLiteral("unlocked"));
}

void TForm1::FormShow() {
    A11Click();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    TestProbe(QStringLiteral("shown"));
    Guarded([this] { FormShow(); });
}

void TForm1::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!painted_) TestProbe(QStringLiteral("painted"));
    painted_ = true;
}

void TForm1::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) TestProbe(QStringLiteral("hidden"));
}

bool TForm1::FormCloseQuery() {
    if (Restarting) return true;
    const QString title = QString::fromUtf8(MainWindowTitle);
    QMessageBox question(QMessageBox::Question, title, QStringLiteral("是否要退出ORB-100小助手?"),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setDefaultButton(QMessageBox::Yes);
    TestProbe(QStringLiteral("question ") + title + u'|' + question.text());
    ProbeButtons(question);
    if (question.exec() == QMessageBox::Yes) return true;
    hide();
    HideToTray();
    return false;
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool may_close = false;
    Guarded([&] { may_close = FormCloseQuery(); });
    if (!may_close) {
        event->ignore();
        return;
    }
    Guarded([this] { FormClose(); });
    event->accept();
    TestProbe(QStringLiteral("closed"));
    if (Restarting) instance::restart_program();
    QCoreApplication::quit();
}

void TForm1::FormClose() {
    SetStatusText(0, kUploading);
    QCoreApplication::processEvents();
    std::string url = Gbk(AssistantSettings.ServerUrl);
    if (TAVCUploadRemarks(url.c_str(), kServerPort) != 0)
        ShowMessage(this,
                    QStringLiteral(
                        "无法连接服务器上传本地缓存的评价数据. 下次小助手启动并选择远程登陆时将再次尝试!"));
    SetStatusText(0, kReady);
    // The endpoint goes while the lock is still held, so it can never be that of an instance started after.
    delete message_notifier_;
    message_notifier_ = nullptr;
    messages_.reset();
    if (InstanceMutex) InstanceMutex->release();
    UnregisterHotKeys();
    tray_->Delete();
    SaveSettings();
}

void TForm1::HideToTray() {
    tray_->Add(QString::fromUtf8(MainWindowTitle) + u'-' + StatusText(0));
    hide();
}

void TForm1::N5Click() {
    hide();
    HideToTray();
}

void TForm1::RestoreFromTray() {
    tray_->Delete();
    show();
    raise();
    activateWindow();
}

void TForm1::N1Click() {
    if (isVisible()) {
        N5Click();
    } else {
        RestoreFromTray();
    }
}

void TForm1::N3Click() {
    close();
}

void TForm1::WMTrayIcon(TTrayIcon::Mouse mouse) {
    switch (mouse) {
        case TTrayIcon::Mouse::DoubleClick:
            N1Click();
            break;
        case TTrayIcon::Mouse::RightButton:
            TestProbe(QStringLiteral("tray menu"));
            ui.PopupMenu1->popup(QCursor::pos());
            break;
    }
}

void TForm1::WMRestoreWindow() {
    N1Click();
}

void TForm1::ReceiveMessages() {
    while (std::optional<instance::MessageEndpoint::Pending> pending = messages_->receive()) {
        switch (pending->message().message) {
            case WM_RESTOREWINDOW:
                Guarded([this] { WMRestoreWindow(); });
                break;
            default:
                break;
        }
        pending->reply(0);
    }
}

void TForm1::Timer2Timer() {
    Timer2->stop();
    hide();
    HideToTray();
}

void TForm1::A32Click() {
    TForm3 help(this);
    // Once the dialog is up and its memo laid out.
    QTimer::singleShot(0, &help, [&help] {
        TestProbe(QStringLiteral("help lines %1 sideways %2")
                      .arg(help.ui.Memo1->document()->blockCount())
                      .arg(help.ui.Memo1->horizontalScrollBar()->maximum()));
    });
    help.exec();
}

// ---- Settings ----------------------------------------------------------------------------------------

void TForm1::ComboBox2Click() {
    int32_t port = ui.ComboBox2->currentIndex() + 1;
    if (port == AssistantSettings.ComPort) return;
    AssistantSettings.ComPort = port;
    AssistantSettings.Changed(AssistantSettings.kComPort);
    SaveSettings();
    TAVCReset();  // reopens the port from the registry, so the number is saved first
    TestProbe(QStringLiteral("port %1").arg(port));
}

void TForm1::A31Click() {
    bool changed = false;
    {
        TForm2 setup(this);
        setup.ui.Edit1->setText(AssistantSettings.ServerUrl);
        int port_index = AssistantSettings.ComPort - 1;
        setup.ui.ComboBox1->setCurrentIndex(
            port_index >= 0 && port_index < setup.ui.ComboBox1->count() ? port_index : -1);
        setup.ui.CheckBox1->setChecked(AssistantSettings.RemarkLevel2);
        setup.ui.CheckBox2->setChecked(AssistantSettings.DemoMode);
        if (setup.exec() == QDialog::Accepted) {
            AssistantSettings.ComPort = setup.ui.ComboBox1->currentIndex() + 1;
            AssistantSettings.ServerUrl = setup.ui.Edit1->text();
            AssistantSettings.RemarkLevel2 = setup.ui.CheckBox1->isChecked();
            AssistantSettings.DemoMode = setup.ui.CheckBox2->isChecked();
            for (auto field : {TAssistantSettings::kComPort, TAssistantSettings::kServerUrl,
                               TAssistantSettings::kRemarkLevel2, TAssistantSettings::kDemoMode})
                AssistantSettings.Changed(field);
            ShowMessage(this, QStringLiteral("设置已经改变。ORB-100小助手将重新启动!"));
            changed = true;
        }
    }
    if (!changed) return;
    Restarting = true;
    close();
}

// ---- Login -------------------------------------------------------------------------------------------

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
    if (enabled != ui.Button5->isEnabled()) TestProbe(QStringLiteral("button5=%1").arg(enabled));
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
            ShowMessage(this, QStringLiteral("本地数据不能验证用户口令!请尝试远程登陆."));
            return;
        }
    } else {
        const std::string url = Gbk(AssistantSettings.ServerUrl);
        switch (TAVCLoginToDB(id.c_str(), password.c_str(), url.c_str(), kServerPort)) {
            case 0:
                break;
            case 1:
                ShowMessage(this, QStringLiteral("不能登录服务器-参数不足!"));
                return;
            case 2:
                ShowMessage(this, QStringLiteral("不能登录服务器-无效的用户!"));
                return;
            case 3:
                ShowMessage(this, QStringLiteral("不能登录服务器-无效的用户名或口令!"));
                return;
            case -2:
                ShowMessage(this, QStringLiteral("不能连接服务器-请检查服务器URL的设置!"));
                return;
            default:
                ShowMessage(this, QStringLiteral("不能登录服务器-响应超时!请检查服务器是否正常运行."));
                return;
        }
        SetStatusText(0, kUploading);
        QCoreApplication::processEvents();
        if (TAVCUploadRemarks(url.c_str(), kServerPort) != 0)
            ShowMessage(this,
                        QStringLiteral("无法连接服务器上传本地缓存的评价数据. 小助手退出时将再次尝试!"));
        SetStatusText(0, kReady);
    }
    AssistantSettings.UserId = ui.Edit4->text();
    AssistantSettings.Changed(AssistantSettings.kUserId);
    SetStatusText(1, AssistantSettings.UserId);
    const std::string user = Gbk(AssistantSettings.UserId);
    if (TAVCLogin(user.c_str()) != 0) {
        ShowMessage(this, QStringLiteral("不能登录评价器,请检查设备的硬件连接!"));
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

// ---- Hot keys ----------------------------------------------------------------------------------------

void TForm1::RegisterHotKeys() {
    if (HotKeys == nullptr) return;
    // Every login registers again: the component starts empty each time, so that each registered
    // index stays its record's index in HotKeyList.
    UnregisterHotKeys();
    const size_t count = HotKeyList.size();
    for (size_t i = 0; i < count; ++i)
        HotKeys->AddHotKey(HotKeyIndexToKey(HotKeyList[i]->KeyIndex), HotKeyModifiers(*HotKeyList[i]));
    HotKeys->SetActive(true);
    TestProbe(QStringLiteral("hotkeys registered %1").arg(count));
}

void TForm1::UnregisterHotKeys() {
    if (HotKeys == nullptr) return;  // the creation handler failed before making it
    HotKeys->SetActive(false);
    HotKeys->ClearHotKeys();
}

void TForm1::HotKeyPressed(QObject* /*sender*/, int32_t index) {
    RunHotKeyAction(index);
}

void TForm1::RunHotKeyAction(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= HotKeyList.size()) return;
    const THotKeyRecord& record = *HotKeyList[static_cast<size_t>(index)];
    TestProbe(QStringLiteral("hotkey %1 kind %2").arg(index).arg(record.Kind));
    switch (record.Kind) {
        case 0:
            if (record.Command.empty()) {
                ShowForAction(1);
            } else if (record.Command == "PJ") {
                ShowForAction(4);
            } else {
                TAVSoundOut(record.Command.c_str());
            }
            break;
        case 1:
            ShowForAction(2);
            break;
        case 2:
            ShowForAction(3);
            break;
        case 3:
            close();
            break;
        default:
            break;
    }
}

void TForm1::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    // Labels, the status bar and the pages pass their double clicks on; only the window's own surface
    // asks the terminal.
    if (childAt(event->position().toPoint()) != nullptr) return;
    Guarded([this] { FormDblClick(); });
}

}  // namespace tavc::assistant
