// System-wide hot keys: a key combination registered for a target object and an id; a press reaches
// the target as a posted HotKeyEvent carrying the id. Keys are given as the Windows virtual-key codes
// and MOD_* flags that the system's tables and files use.
#pragma once

#include <QEvent>
#include <cstdint>

class QObject;

namespace tavc::hotkeys {

inline constexpr uint32_t mod_alt = 0x1;
inline constexpr uint32_t mod_control = 0x2;
inline constexpr uint32_t mod_shift = 0x4;
inline constexpr uint32_t mod_win = 0x8;

// Posted to a target when one of its hot keys is pressed.
class HotKeyEvent : public QEvent {
  public:
    explicit HotKeyEvent(int id);
    int id() const { return id_; }
    static QEvent::Type type();

  private:
    int id_;
};

// The X keysym of a virtual-key code; 0 when the code names no key (code 0 included).
uint32_t keysym_from_virtual_key(uint32_t virtual_key);

// The X modifier mask (Shift, Control, Mod1 for Alt, Mod4 for Win) of a set of MOD_* flags.
uint32_t x_modifiers_from_flags(uint32_t modifiers);

// Takes the combination for `target` under `id`. False when the key is unknown, there is no X display,
// or the combination is taken by another client or under another id here. An id registered again gives
// up what it held before (the same combination simply stays held).
bool register_hot_key(QObject* target, int id, uint32_t modifiers, uint32_t virtual_key);

// Gives up what `target` registered under `id`; false when it held nothing there.
bool unregister_hot_key(QObject* target, int id);

// Gives up everything `target` registered.
void unregister_all(QObject* target);

}  // namespace tavc::hotkeys
