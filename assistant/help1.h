// The hot-key help dialog: a fixed description of the usual bindings Win+1 to Win+5.
#pragma once

#include <QDialog>

#include "ui_help1.h"

namespace tavc::assistant {

class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* owner);
    Ui::TForm3 ui;
};

}  // namespace tavc::assistant
