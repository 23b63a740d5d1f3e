#include "SysHot.h"

#include "hotkeys.h"

#include <array>

namespace tavc::assistant {
namespace {

// Runs of component key codes whose virtual-key codes rise with them.
struct KeyRun {
    int first_code;
    int last_code;
    uint32_t first_virtual_key;
};

constexpr std::array<KeyRun, 11> kKeyRuns = {{
    {0, 0, 0x00},
    {1, 1, 0x03},
    {2, 3, 0x08},
    {4, 5, 0x0C},
    {6, 7, 0x13},
    {8, 8, 0x1B},
    {9, 18, 0x20},
    {19, 33, 0x2B},
    {34, 59, 0x41},
    {60, 99, 0x60},
    {100, 101, 0x90},
}};

}  // namespace

uint32_t VirtualKeyOf(THotKeyCode key) {
    for (const KeyRun& run : kKeyRuns)
        if (key >= run.first_code && key <= run.last_code)
            return run.first_virtual_key + (key - run.first_code);
    return 0;
}

TSysHotKey::TSysHotKey(QObject* owner) : TWindowedComponent(owner) {}

TSysHotKey::~TSysHotKey() {
    SetActive(false);
    ClearHotKeys();
}

bool TSysHotKey::Active() const {
    return active_;
}

void TSysHotKey::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    if (value) {
        RegisterAll();
    } else {
        UnregisterAll();
    }
}

THotKeyEntry TSysHotKey::AddHotKey(THotKeyCode key, THotKeyModifiers modifiers) {
    auto entry = std::make_unique<THotKeyEntry>();
    entry->Key = key;
    entry->Modifiers = modifiers;
    entries_.push_back(std::move(entry));
    int index = Count() - 1;
    if (active_) RegisterKey(index);
    return *entries_[index];
}

void TSysHotKey::ClearHotKeys() {
    if (active_) UnregisterAll();
    entries_.clear();
}

int TSysHotKey::Count() const {
    return static_cast<int>(entries_.size());
}

THotKeyEntry TSysHotKey::Entry(int index) const {
    return *entries_.at(index);
}

void TSysHotKey::RegisterKey(int index) {
    THotKeyEntry& entry = *entries_.at(index);
    entry.Registered = hotkeys::register_hot_key(WindowHandle(), index, ModifierFlags(entry.Modifiers),
                                                 VirtualKeyOf(entry.Key));
}

void TSysHotKey::UnregisterKey(int index) {
    THotKeyEntry& entry = *entries_.at(index);
    if (!entry.Registered) return;
    hotkeys::unregister_hot_key(WindowHandle(), index);
    entry.Registered = false;
}

void TSysHotKey::RegisterAll() {
    int count = Count();
    for (int i = 0; i < count; ++i) RegisterKey(i);
}

void TSysHotKey::UnregisterAll() {
    int count = Count();
    for (int i = 0; i < count; ++i) UnregisterKey(i);
}

uint32_t TSysHotKey::ModifierFlags(THotKeyModifiers modifiers) {
    uint32_t flags = 0;
    if (modifiers & HotKeyShift) flags |= hotkeys::mod_shift;
    if (modifiers & HotKeyCtrl) flags |= hotkeys::mod_control;
    if (modifiers & HotKeyAlt) flags |= hotkeys::mod_alt;
    if (modifiers & HotKeyWin) flags |= hotkeys::mod_win;
    return flags;
}

void TSysHotKey::WindowProc(TMessage& message) {
    switch (message.Msg) {
        case WM_HOTKEY:
            WMHotKey(message);
            break;
        case WM_DESTROY:
            WMDestroy(message);
            break;
        default:
            TWindowedComponent::WindowProc(message);
    }
}

void TSysHotKey::Loaded() {
    TWindowedComponent::Loaded();
    if (active_) RegisterAll();
}

void TSysHotKey::WMHotKey(TMessage& message) {
    // The whole id is the index (cut to 16 bits, entry 65536 would pass for entry 0), and only an entry
    // that holds its registration now is reported: never an index the list no longer has.
    if (message.WParam >= entries_.size() || !entries_[message.WParam]->Registered) return;
    if (OnHotKey) OnHotKey(this, static_cast<int32_t>(message.WParam));
}

void TSysHotKey::WMDestroy(TMessage& message) {
    SetActive(false);
    DefaultMessage(message);
}

}  // namespace tavc::assistant
