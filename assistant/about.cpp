#include "about.h"

#include <QFile>
#include <QPixmap>

namespace tavc::assistant {

TForm4::TForm4(QWidget* owner) : QDialog(owner) {
    ui.setupUi(this);
    setFixedSize(size());
    QFile picture(QStringLiteral(":/about.jpg"));
    if (picture.open(QIODevice::ReadOnly))
        ui.Image1->setPixmap(QPixmap::fromImage(DecodeJpeg(picture.readAll())));
    connect(ui.Button1, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tavc::assistant
