// The program's one notification-area icon, with the add and delete operations the main window uses.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QSystemTrayIcon;

namespace tavc::assistant {

// The tip as the notification area takes it: at most 63 bytes of GBK, cut before a character that would
// not fit whole.
QString TrayTip(const QString& text);

class TTrayIcon : public QObject {
    Q_OBJECT
  public:
    enum class Mouse { DoubleClick, RightButton };

    explicit TTrayIcon(QObject* owner);

    // Shows the icon with `tip` (cut by TrayTip); an icon that is shown already stays as it is.
    void Add(const QString& tip);
    // Removes the icon, whether it is shown or not.
    void Delete();
    bool Exists() const;

    // The icon's mouse messages that the window acts on.
    std::function<void(Mouse)> OnMouse;

  private:
    QSystemTrayIcon* icon_;
};

}  // namespace tavc::assistant
