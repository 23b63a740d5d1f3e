#include "form_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <cstdlib>
#include <string>

#include "file_io.h"
#include "module.h"

namespace tavc::assistant {

QString ApplicationTitle() {
    std::string path = module::executable_path().value_or("tavcclt");
    QString name = QString::fromStdString(module::file_name(path));
    name = name.left(name.indexOf(u'.'));
    return name.left(1) + name.mid(1).toLower();
}

QString ErrorBoxText(const QString& what) {
    if (!what.isEmpty() && what.back() > u'.') return what + u'.';
    return what;
}

void PlaceAtDesktopCentre(QWidget* window) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->geometry().center() - window->rect().center());
}

void ProbeButtons(const QWidget& box) {
    QStringList texts;
    for (const QAbstractButton* button : box.findChildren<QAbstractButton*>()) texts << button->text();
    TestProbe(QStringLiteral("buttons ") + texts.join(u'|'));
}

void ShowMessage(QWidget* owner, const QString& text) {
    TestProbe(QStringLiteral("box ") + ApplicationTitle() + u'|' + text);
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, owner);
    ProbeButtons(box);
    box.exec();
}

void ShowErrorBox(QWidget* owner, const QString& what) {
    QString text = ErrorBoxText(what);
    TestProbe(QStringLiteral("error ") + ApplicationTitle() + u'|' + text);
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, owner);
    ProbeButtons(box);
    box.exec();
}

void TestProbe(const QString& line) {
    static const int fd = [] {
        const char* path = std::getenv("TAVCCLT_TEST_PROBE");
        return path == nullptr ? -1 : ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    }();
    if (fd >= 0) file_io::write_all(fd, (line + u'\n').toStdString());
}

}  // namespace tavc::assistant
