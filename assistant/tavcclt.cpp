// The clerk assistant program: one instance per executable file name; a second start brings the
// running instance's window back and ends.
#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <string>

#include "about.h"
#include "form_support.h"
#include "help1.h"
#include "main.h"
#include "main_steps.h"
#include "module.h"
#include "setup.h"
#include "texts.h"

using namespace tavc;
using namespace tavc::assistant;

namespace {

// Not 0, which a second start gives: whoever started the program sees that it did not run.
constexpr int kCannotTell = 1;

// Without a lock to trust, a start cannot tell whether another instance runs; it says so rather than
// run as a second one.
void ReportCannotTell(const instance::InstanceLock& lock) {
    const QString text = lock.folder().empty()
                             ? Text(texts::kCannotTellNoFolder)
                             : Text(texts::kCannotTellFolder).arg(QString::fromStdString(lock.folder()));
    std::fprintf(stderr, "%s (%s)\n", text.toLocal8Bit().constData(), lock.why().c_str());
    ShowMessage(nullptr, text);
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = module::executable_path().value_or(argv[0]);
    std::string name = module::file_name(path);
    InstanceMutex.emplace(instance::InstanceLock::acquire(name));
    if (InstanceMutex->already_exists()) {
        instance::send_message(name, {WM_RESTOREWINDOW, 0, 0});
        return 0;
    }
    HotKeyList.clear();

    QApplication application(argc, argv);
    // The clerk reads Chinese whatever the desktop's locale: Qt's own texts (Yes, No, OK, the colour
    // dialog) from its Chinese translation.
    QTranslator qt_texts;
    if (qt_texts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qt_texts);
    // The window closes itself and ends the program; hiding it to the notification area must not.
    QApplication::setQuitOnLastWindowClosed(false);
    QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei"));
    if (InstanceMutex->state() == instance::InstanceLock::State::Failed) {
        ReportCannotTell(*InstanceMutex);
        return kCannotTell;
    }
    {
        TForm1 form1;
        TForm2 form2(&form1);
        TForm3 form3(&form1);
        TForm4 form4(&form1);
        form1.show();
        QApplication::exec();
    }
    HotKeyList.clear();
    return 0;
}
