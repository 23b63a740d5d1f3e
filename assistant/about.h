// The about box, with its picture decoded from the JPEG in the program's resources.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QImage>

#include "ui_about.h"

namespace tavc::assistant {

// Decodes a baseline or progressive JPEG with libjpeg; a null image when the data is no JPEG it can read.
QImage DecodeJpeg(const QByteArray& data);

class TForm4 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm4(QWidget* owner);
    Ui::TForm4 ui;
};

}  // namespace tavc::assistant
