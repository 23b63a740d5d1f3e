// The main window's demo pages: the item line with its running total, the speech page, and the text page
// with its colour; their last texts are remembered.
#include <QColorDialog>
#include <QLabel>
#include <functional>
#include <string>

#include "amount_steps.h"
#include "amounts.h"
#include "form_support.h"
#include "gbk.h"
#include "main.h"
#include "main_steps.h"
#include "settings.h"
#include "tessel.h"
#include "texts.h"

namespace tavc::assistant {

namespace {

// The colour dialog's colour as the library takes it: 0x00BBGGRR.
int32_t ColorRef(const QColor& color) {
    return static_cast<int32_t>(color.red() | (color.green() << 8) | (color.blue() << 16));
}

}  // namespace

namespace {

// Shows the demo pages on `page`. The page that is active when they are displayed the first time gets its
// show handler then, as every page does when it becomes the active one.
void ChooseDemoPage(Ui::TForm1& ui, bool& displayed, int page, const std::function<void()>& first_show) {
    ui.PageControl2->show();
    ui.PageControl1->hide();
    if (!displayed) {
        displayed = true;
        first_show();
    }
    ui.PageControl2->setCurrentIndex(page);
}

}  // namespace

void TForm1::A21Click() {
    ChooseDemoPage(ui, demo_pages_displayed_, 0, [this] { TabSheet8Show(); });
}
void TForm1::A22Click() {
    ChooseDemoPage(ui, demo_pages_displayed_, 1, [this] { TabSheet8Show(); });
}
void TForm1::A23Click() {
    ChooseDemoPage(ui, demo_pages_displayed_, 2, [this] { TabSheet8Show(); });
}

void TForm1::TabSheet8Show() {
    ui.Edit17->selectAll();
    ui.Edit17->setFocus();
    running_total_ = 0;
    TestProbe(QStringLiteral("item-line page shown"));
}

void TForm1::TabSheet9Show() {
    ui.Memo2->selectAll();
    ui.Memo2->setFocus();
    TestProbe(QStringLiteral("speech page shown"));
}

void TForm1::TabSheet10Show() {
    TAVCCls();
    ui.Edit20->selectAll();
    ui.Edit20->setFocus();
    TestProbe(QStringLiteral("text page shown"));
}

void TForm1::Button14Click() {
    const QString item = ui.Edit17->text();
    const QString price = ui.Edit18->text();
    const QString quantity = ui.Edit19->text();
    const ItemLineTexts line =
        ItemLine(price.toStdString(), quantity.toStdString(), running_total_, DecimalSeparator());
    TAVCShowItemCosts(Gbk(item).c_str(), Gbk(FromUtf8(line.amount)).c_str(),
                      Gbk(FromUtf8(line.total)).c_str());
    WriteTip(FromUtf8(texts::kTipNames[texts::kItemName]), item);
    WriteTip(FromUtf8(texts::kTipNames[texts::kPrice]), price);
    WriteTip(FromUtf8(texts::kTipNames[texts::kCount]), quantity);
}

void TForm1::Button15Click() {
    QString text = ui.Memo2->toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    Speak(text);
    WriteTip(FromUtf8(texts::kTipNames[texts::kVoice]), text);
}

void TForm1::Button16Click() {
    const int32_t y = ParseInteger(ui.Edit22->text().toStdString());
    const int32_t x = ParseInteger(ui.Edit21->text().toStdString());
    const QString text = ui.Edit20->text();
    TAVCPrintText(x, y, swatch_color_, Gbk(text).c_str());
    WriteTip(FromUtf8(texts::kTipNames[texts::kMsg]), text);
}

void TForm1::Button17Click() {
    QColorDialog dialog(dialog_color_, this);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    TestProbe(QStringLiteral("colour dialog %1").arg(dialog.currentColor().name()));
    QStringList labels{dialog.windowTitle()};
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (!label->text().isEmpty()) labels << label->text().simplified();
    TestProbe(QStringLiteral("colour dialog texts ") + labels.join(u'|'));
    ProbeButtons(dialog);
    if (dialog.exec() != QDialog::Accepted) return;
    dialog_color_ = dialog.selectedColor();
    swatch_color_ = ColorRef(dialog_color_);
    ui.StaticText2->setStyleSheet(QStringLiteral("background-color: %1;").arg(dialog_color_.name()));
}

}  // namespace tavc::assistant
