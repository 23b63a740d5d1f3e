// The main window. Its handlers live in a file for each part: the frame (main.cpp), the settings
// (main_settings.cpp), the login page (main_login.cpp), the cashier page (main_cashier.cpp), the customer
// rating (main_rating.cpp), the demo pages (main_demo.cpp) and the hot-key actions (main_hotkeys.cpp).
#pragma once

#include <QColor>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "SysHot.h"
#include "hkutils.h"
#include "instance.h"
#include "tray_icon.h"
#include "ui_main.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tavc::assistant {

// Window messages of the main window, as a second start sends them.
constexpr uint32_t WM_TRAYICON = 0x401;
constexpr uint32_t WM_RESTOREWINDOW = 0x402;

// The hot keys of the hot-key file, in file order; a record's index is its hot-key id.
extern THotKeyList HotKeyList;
// Held from the program start until the close steps.
extern std::optional<instance::InstanceLock> InstanceMutex;

// Starts, restarts (a different non-zero interval) or stops (0) a timer by its interval alone.
void SetTimerInterval(QTimer* timer, int interval_ms);

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1 ui;
    bool Restarting = false;
    TSysHotKey* HotKeys = nullptr;  // owned by the window; none until the creation handler made it
    QTimer* Timer1;
    QTimer* Timer2;
    QTimer* Timer3;

    // Status bar panels: 0 the status text, 1 the current clerk id.
    QString StatusText(int panel) const;
    void SetStatusText(int panel, const QString& text);

    // Frame
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void HideToTray();
    void N5Click();
    void N1Click();
    void N3Click();
    void WMTrayIcon(TTrayIcon::Mouse mouse);
    void WMRestoreWindow();
    void Timer2Timer();
    void A32Click();
    void N2Click() {}
    void bangzhu1Click() {}
    void A33Click() {}

    // Settings
    void ComboBox2Click();
    void A31Click();

    // Login
    void A11Click();
    void Edit4Change();
    void Edit4KeyPress(char key);
    void Button5Click();
    void EnterLoggedInState();
    void Button6Click();
    void A13Click();
    void A14Click();

    // Hot keys
    void RegisterHotKeys();
    void UnregisterHotKeys();
    void HotKeyPressed(QObject* sender, int32_t index);
    void RunHotKeyAction(int32_t index);

    // Cashier
    void ShowForAction(int action);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Edit1Enter();
    void Edit2Enter();
    void Edit3Enter();

    // Rating
    void A12Click();
    void Timer1Timer();
    void Timer3Timer();
    void FormDblClick();
    // Stores one rating of the current clerk in the library's cache file; false when it could not.
    bool CacheRating(char code, const QString& detail);
    QString RatingDisplayText(const QString& text) const;

    // Demo pages
    void A21Click();
    void A22Click();
    void A23Click();
    void TabSheet8Show();
    void TabSheet9Show();
    void TabSheet10Show();
    void Button14Click();
    void Button15Click();
    void Button16Click();
    void Button17Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Connects a component's event to a handler through the one error wrapper.
    template <class Sender, class Signal, class Handler>
    void Bind(Sender* sender, Signal signal, Handler handler);
    void Guarded(const std::function<void()>& handler);
    void ConnectHandlers();
    void ReceiveMessages();
    // Restores a hidden window: icon removed, window shown and brought to the front.
    void RestoreFromTray();
    void SetLocked(bool locked);
    QPushButton* DefaultButton() const;
    // Gives an edit box the focus with its whole text selected.
    void FocusField(QLineEdit* field);

    QLabel* panels_[2];
    bool painted_ = false;
    TTrayIcon* tray_;
    std::unique_ptr<instance::MessageEndpoint> messages_;
    QSocketNotifier* message_notifier_ = nullptr;

    // The rating's last steps, the same at either step once an answer is read.
    void FinishRating(char code, const QString& detail);
    // Demo pages: the item-line page's running total, whether the pages have been displayed yet, the
    // colour dialog's own colour and the swatch's (0x00BBGGRR).
    double running_total_ = 0;
    bool demo_pages_displayed_ = false;
    QColor dialog_color_ = Qt::black;
    int32_t swatch_color_ = 0x0000FF;
};

}  // namespace tavc::assistant
