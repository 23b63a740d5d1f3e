#include "hkutils.h"

namespace tavc::assistant {

std::string HotKeyFilePath() {
    return ".hkd";
}
void LoadHotKeyFile(THotKeyList& list) {
    LoadHotKeyFile(list, HotKeyFilePath());
}
void LoadHotKeyFile(THotKeyList&, const std::string&) {}
THotKeyCode HotKeyIndexToKey(int32_t) {
    return 0;
}
THotKeyModifiers HotKeyModifiers(const THotKeyRecord&) {
    return 0;
}
std::span<const std::string> KeyNames() {
    return {};
}
std::span<const std::string> ActionNames() {
    return {};
}
std::span<const std::string> YesNoNames() {
    return {};
}

}  // namespace tavc::assistant
