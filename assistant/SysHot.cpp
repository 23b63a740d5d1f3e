#include "SysHot.h"

namespace tavc::assistant {

uint32_t VirtualKeyOf(THotKeyCode) {
    return 0;
}
TSysHotKey::TSysHotKey(QObject* owner) : TWindowedComponent(owner) {}
TSysHotKey::~TSysHotKey() = default;
bool TSysHotKey::Active() const {
    return active_;
}
void TSysHotKey::SetActive(bool value) {
    active_ = value;
}
THotKeyEntry TSysHotKey::AddHotKey(THotKeyCode key, THotKeyModifiers modifiers) {
    return {modifiers, key, false};
}
void TSysHotKey::ClearHotKeys() {
    entries_.clear();
}
int TSysHotKey::Count() const {
    return static_cast<int>(entries_.size());
}
THotKeyEntry TSysHotKey::Entry(int index) const {
    return *entries_.at(index);
}
void TSysHotKey::RegisterKey(int) {}
void TSysHotKey::UnregisterKey(int) {}
void TSysHotKey::RegisterAll() {}
void TSysHotKey::UnregisterAll() {}
uint32_t TSysHotKey::ModifierFlags(THotKeyModifiers) {
    return 0;
}
void TSysHotKey::WindowProc(TMessage& message) {
    TWindowedComponent::WindowProc(message);
}
void TSysHotKey::Loaded() {}
void TSysHotKey::WMHotKey(TMessage&) {}
void TSysHotKey::WMDestroy(TMessage&) {}

}  // namespace tavc::assistant
