// A GBK text of the system as a person's console shows it, for the stand-ins of tools/.
#pragma once

#include <string>

namespace tavc::tools {

// In double quotes, in the console's own encoding, control bytes written as \xNN, so that a stray line
// end or escape sequence cannot garble the console.
std::string console_text(const std::string& gbk);

}  // namespace tavc::tools
