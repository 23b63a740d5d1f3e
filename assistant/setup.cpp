#include "setup.h"

#include "form_support.h"

namespace tavc::assistant {

TForm2::TForm2(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    ui.setupUi(this);
    setFixedSize(size());
    PlaceAtDesktopCentre(this);
    connect(ui.Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui.Button2, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace tavc::assistant
