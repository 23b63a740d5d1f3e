// A list of system-wide hot keys, registered while the component is active.
#pragma once

#include "WComp.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tavc::assistant {

using THotKeyCode = uint8_t;       // 0..101, the component's key codes
using THotKeyModifiers = uint8_t;  // bit 0 Shift, bit 1 Ctrl, bit 2 Alt, bit 3 Win

inline constexpr THotKeyModifiers HotKeyShift = 0x1;
inline constexpr THotKeyModifiers HotKeyCtrl = 0x2;
inline constexpr THotKeyModifiers HotKeyAlt = 0x4;
inline constexpr THotKeyModifiers HotKeyWin = 0x8;

inline constexpr int HotKeyCodeCount = 102;

struct THotKeyEntry {
    THotKeyModifiers Modifiers = 0;
    THotKeyCode Key = 0;
    bool Registered = false;
};

using THotKeyEvent = std::function<void(QObject* sender, int32_t index)>;

// The virtual-key code of a component key code; 0 for codes above 101.
uint32_t VirtualKeyOf(THotKeyCode key);

class TSysHotKey : public TWindowedComponent {
  public:
    explicit TSysHotKey(QObject* owner);
    ~TSysHotKey() override;

    bool Active() const;
    void SetActive(bool value);
    THotKeyEvent OnHotKey;

    THotKeyEntry AddHotKey(THotKeyCode key, THotKeyModifiers modifiers);
    void ClearHotKeys();
    int Count() const;
    THotKeyEntry Entry(int index) const;

    void RegisterKey(int index);
    void UnregisterKey(int index);
    void RegisterAll();
    void UnregisterAll();
    static uint32_t ModifierFlags(THotKeyModifiers modifiers);

    void WindowProc(TMessage& message) override;
    void Loaded() override;

  private:
    void WMHotKey(TMessage& message);
    void WMDestroy(TMessage& message);

    bool active_ = false;
    std::vector<std::unique_ptr<THotKeyEntry>> entries_;
};

}  // namespace tavc::assistant
