#include "tray_icon.h"

#include <QIcon>
#include <QSystemTrayIcon>
#include <string>

#include "form_support.h"
#include "gbk.h"

namespace tavc::assistant {

QString TrayTip(const QString& text) {
    constexpr size_t kTipBytes = 63;
    QString tip;
    size_t bytes = 0;
    // Whole characters (a surrogate pair counts as one) while their GBK bytes fit.
    for (qsizetype i = 0; i < text.size();) {
        qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QString character = text.mid(i, length);
        size_t size = Gbk(character).size();
        if (bytes + size > kTipBytes) break;
        bytes += size;
        tip += character;
        i += length;
    }
    return tip;
}

TTrayIcon::TTrayIcon(QObject* owner)
    : QObject(owner), icon_(new QSystemTrayIcon(QIcon(QStringLiteral(":/mainicon.png")), this)) {
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!OnMouse) return;
        if (reason == QSystemTrayIcon::DoubleClick) OnMouse(Mouse::DoubleClick);
        if (reason == QSystemTrayIcon::Context) OnMouse(Mouse::RightButton);
    });
}

void TTrayIcon::Add(const QString& tip) {
    if (icon_->isVisible()) return;
    icon_->setToolTip(TrayTip(tip));
    icon_->show();
    TestProbe(QStringLiteral("tray add ") + icon_->toolTip() + QStringLiteral(" available=") +
              QString::number(QSystemTrayIcon::isSystemTrayAvailable()));
}

void TTrayIcon::Delete() {
    if (icon_->isVisible()) TestProbe(QStringLiteral("tray delete"));
    icon_->hide();
}

bool TTrayIcon::Exists() const {
    return icon_->isVisible();
}

}  // namespace tavc::assistant
