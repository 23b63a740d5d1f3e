#include "help1.h"

#include "form_support.h"
#include "main_steps.h"
#include "texts.h"

namespace tavc::assistant {

TForm3::TForm3(QWidget* owner) : QDialog(owner) {
    ui.setupUi(this);
    setFixedSize(size());
    PlaceAtDesktopCentre(this);
    QStringList lines;
    for (std::string_view line : texts::kHotKeyHelp) lines << Text(line);
    ui.Memo1->setPlainText(lines.join(u'\n'));
    connect(ui.Button1, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tavc::assistant
