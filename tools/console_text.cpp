#include "console_text.h"

#include <cstdio>

#include "codepage.h"

namespace tavc::tools {

std::string console_text(const std::string& gbk) {
    std::string out = "\"";
    for (char c : codepage::locale_from_gbk(gbk)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace tavc::tools
