// The settings dialog.
#pragma once

#include <QDialog>

#include "ui_setup.h"

namespace tavc::assistant {

class TForm2 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* owner);
    Ui::TForm2 ui;
};

}  // namespace tavc::assistant
