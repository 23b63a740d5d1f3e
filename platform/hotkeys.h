// System-wide hot keys: a key combination registered for a target object and an id; a press reaches
// the target as a posted HotKeyEvent carrying the id. Keys are given as the Windows virtual-key codes
// and MOD_* flags that the system's tables and files use.
#pragma once

#include <QEvent>
#include <cstdint>
#include <vector>

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

// Every X keysym a virtual-key code stands for: the key's own, then the keypad's keysym of the same key
// (Return and KP_Enter, Delete and KP_Delete). Empty when the code names no key.
std::vector<uint32_t> keysyms_from_virtual_key(uint32_t virtual_key);

// A keyboard mapping as the X server gives it: `keysyms_per_keycode` columns for each key code from
// `first_keycode` on (column 0 level 1, column 1 level 2, columns 2 and 3 the second group's).
struct KeyboardMapping {
    uint32_t first_keycode = 8;
    uint32_t keysyms_per_keycode = 0;
    std::vector<uint32_t> keysyms;
};

// The NumLock states in which a key code stands for a virtual key.
inline constexpr uint8_t num_lock_off = 0x1;
inline constexpr uint8_t num_lock_on = 0x2;

struct KeyCodeStates {
    uint8_t keycode;
    uint8_t num_lock_states;  // num_lock_off, num_lock_on or both
    bool operator==(const KeyCodeStates&) const = default;
};

// The key codes that stand for a virtual key in `mapping`, in key code order. A key that holds one of its
// keysyms at level 1 names it; on a keypad key (a keypad keysym at level 2) level 2 is its meaning with
// NumLock on and level 1 its meaning with NumLock off. A keysym that no key holds so is looked for at
// the keys' other levels (a digit reached with Shift). Empty when no key produces it.
std::vector<KeyCodeStates> key_codes_of_virtual_key(const KeyboardMapping& mapping, uint32_t virtual_key);

// The X modifier mask (Shift, Control, Mod1 for Alt, Mod4 for Win) of a set of MOD_* flags.
uint32_t x_modifiers_from_flags(uint32_t modifiers);

// Takes the combination for `target` under `id`, on every key code of the current keymap that stands for
// the key (key_codes_of_virtual_key), and follows later keymap changes. False when the key is unknown or
// no key produces it, there is no X display, or another client or another id here holds the combination
// on any of those key codes (then nothing is taken). An id registered again gives up what it held before
// (the same combination simply stays held).
bool register_hot_key(QObject* target, int id, uint32_t modifiers, uint32_t virtual_key);

// Gives up what `target` registered under `id`; false when it held nothing there.
bool unregister_hot_key(QObject* target, int id);

// Gives up everything `target` registered.
void unregister_all(QObject* target);

}  // namespace tavc::hotkeys
