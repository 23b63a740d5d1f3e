// The clerk assistant program: one instance per executable file name; a second start brings the
// running instance's window back and ends.
#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>
#include <string>

#include "about.h"
#include "help1.h"
#include "main.h"
#include "module.h"
#include "setup.h"

using namespace tavc;
using namespace tavc::assistant;

int main(int argc, char** argv) {
    std::string path = module::executable_path().value_or(argv[0]);
    std::string name = path.substr(path.rfind('/') + 1);
    InstanceMutex.emplace(instance::InstanceLock::acquire(name));
    if (InstanceMutex->already_exists()) {
        instance::send_message(MainWindowTitle, {WM_RESTOREWINDOW, 0, 0});
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
