// The about box, with its picture decoded from the JPEG in the program's resources.
#pragma once

#include <QDialog>

#include "jpeg_picture.h"
#include "ui_about.h"

namespace tavc::assistant {

class TForm4 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm4(QWidget* owner);
    Ui::TForm4 ui;
};

}  // namespace tavc::assistant
