#include "help1.h"

#include "form_support.h"

namespace tavc::assistant {

namespace {

// Five entries of three lines: the key, then what it does.
const char* const kHelpLines[] = {
    "  Win+1 : ",
    "      播报欢迎语,TAV-C评价器显示欢迎画面,小助手窗口弹出,焦点在\"应收金额\";",
    "      输入金额后回车,金额显示在评价器上,窗口自动隐藏.",
    "  Win+2 : ",
    "      小助手窗口弹出,焦点在\"预收金额\";回车后焦点移到\"找零金额\",可以修改;",
    "      再回车,预收金额和找零金额显示在评价器上,窗口自动隐藏.",
    "  Win+3 : ",
    "      小助手窗口弹出,焦点在\"找零金额\";输入找零金额后回车,",
    "      预收金额和找零金额显示在评价器上,窗口自动隐藏.",
    "  Win+4 : ",
    "      小助手窗口弹出,自动选择菜单\"基本操作/请求评价\",",
    "      请客户对服务进行评价.",
    "  Win+5 : ",
    "      询问用户是否要退出",
    "      ORB-100小助手.",
};

}  // namespace

TForm3::TForm3(QWidget* owner) : QDialog(owner) {
    ui.setupUi(this);
    setFixedSize(size());
    PlaceAtDesktopCentre(this);
    QStringList lines;
    for (const char* line : kHelpLines) lines << QString::fromUtf8(line);
    ui.Memo1->setPlainText(lines.join(u'\n'));
    connect(ui.Button1, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tavc::assistant
