// The libraries' own messages to the user (the program uses Qt message boxes instead).
#pragma once

#include <string_view>

namespace tavc::message_box {

// Shows a GBK text: on standard error in the locale's encoding, and as a desktop notification when the
// session bus offers a notification service. Never blocks for more than about half a second.
void show(std::string_view gbk_text);

}  // namespace tavc::message_box
