// The program's texts are Unicode; the library and the registry take GBK, our own tables hold UTF-8.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "codepage.h"

namespace tavc::assistant {

inline std::string Gbk(const QString& text) {
    return codepage::gbk_from_utf8(text.toStdString());
}
inline QString FromUtf8(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline QString FromGbk(std::string_view gbk) {
    return QString::fromStdString(codepage::utf8_from_gbk(gbk));
}

}  // namespace tavc::assistant
