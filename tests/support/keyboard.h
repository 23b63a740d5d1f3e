// The test X server's keyboard played as a clerk plays it: keys pressed by key code through the X test
// extension, so a key is pressed as it is even where its keysym sits only at a second level (the keypad's
// "." is KP_Delete, and KP_Decimal only with NumLock), NumLock switched with its own key, and the keymap
// changed as a layout switch changes it. As another X client, it also tells which key combinations some
// client holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace tavc::test {

class Keyboard {
  public:
    Keyboard();  // on DISPLAY; ok() false (and why() says why) without a server or its test extension
    ~Keyboard();
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    bool ok() const { return why_.empty(); }
    const std::string& why() const { return why_; }

    // The key code whose levels 1 and 2 hold these keysyms (level2 0: whatever it holds); 0 when none.
    unsigned key_code(uint32_t level1, uint32_t level2 = 0) const;
    // A key code that produces nothing, for a keymap change to give a meaning; 0 when there is none.
    unsigned unused_key_code() const;

    // Holds the keys of `modifiers` (X masks: ShiftMask, Mod4Mask), presses and releases `keycode`, and
    // lets the modifiers go; true once the server has taken it all.
    bool press(unsigned keycode, unsigned modifiers = 0);
    // Puts NumLock on or off, pressing its key when it is not so already.
    bool set_num_lock(bool on);
    // The modifier NumLock sets.
    unsigned num_lock_mask() const;

    // Gives `keycode` the keysyms of its levels 1, 2, ... (none: the key produces nothing).
    bool remap(unsigned keycode, const std::vector<uint32_t>& keysyms);

    // As another client: takes a grab of `keycode` with `modifiers` (true when the server allowed it, so
    // no other client holds it), or gives it back.
    static constexpr unsigned kAnyModifier = 1u << 15;  // X's AnyModifier, without Xlib's macros here
    static constexpr unsigned kWin = 1u << 6;           // Mod4Mask
    bool grab(unsigned keycode, unsigned modifiers);
    void ungrab(unsigned keycode, unsigned modifiers);
    // Whether some other client holds `keycode` with exactly `modifiers` (a grab of this one is refused).
    bool held(unsigned keycode, unsigned modifiers = kAnyModifier);
    // The key code of a digit key.
    unsigned digit(int digit) const;

  private:
    std::vector<uint32_t> row(unsigned keycode) const;
    unsigned modifier_key(unsigned modifier) const;

    _XDisplay* display_ = nullptr;
    std::string why_;
};

}  // namespace tavc::test
