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
#include "main_steps.h"
#include "settings.h"
#include "setup.h"
#include "tessel.h"
#include "texts.h"

namespace tavc::assistant {

THotKeyList HotKeyList;
std::optional<instance::InstanceLock> InstanceMutex;

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
    setWindowTitle(Text(texts::kTitle));
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

    panels_[0] = new QLabel(Text(texts::kStatusAtStart), ui.StatusBar1);
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
        std::fputs((Text(texts::kNoMessageEndpoint) + u'\n').toLocal8Bit().constData(), stderr);
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
    for (int i = 0; i < texts::kTipCount; ++i) tips[i] = Text(texts::kTipDefaults[i]);
    for (int i = 0; i < texts::kTipCount; ++i) ReadTip(Text(texts::kTipNames[i]), tips[i]);
    ui.Edit17->setText(tips[texts::kItemName]);
    ui.Edit18->setText(tips[texts::kPrice]);
    ui.Edit19->setText(tips[texts::kCount]);
    ui.Edit20->setText(tips[texts::kMsg]);
    ui.Memo2->clear();
    ui.Memo2->appendPlainText(tips[texts::kVoice]);

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
    const QString title = Text(texts::kTitle);
    QMessageBox question(QMessageBox::Question, title, Text(texts::kExitQuestion),
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
    SetStatusText(0, Text(texts::kStatusUploading));
    QCoreApplication::processEvents();
    std::string url = Gbk(AssistantSettings.ServerUrl);
    if (TAVCUploadRemarks(url.c_str(), kServerPort) != 0)
        ShowMessage(this, Text(texts::kUploadAtCloseFailed));
    SetStatusText(0, Text(texts::kStatusReady));
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
    tray_->Add(Text(texts::kTitle) + u'-' + StatusText(0));
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

void TForm1::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    // Labels, the status bar and the pages pass their double clicks on; only the window's own surface
    // asks the terminal.
    if (childAt(event->position().toPoint()) != nullptr) return;
    Guarded([this] { FormDblClick(); });
}

}  // namespace tavc::assistant
