#include "keyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>

namespace tavc::test {
namespace {

int g_errors = 0;

int count_error(Display*, XErrorEvent*) {
    ++g_errors;
    return 0;
}

}  // namespace

Keyboard::Keyboard() {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        why_ = "no X display";
        return;
    }
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &event_base, &error_base, &major, &minor))
        why_ = "the X server has no XTEST extension";
}

Keyboard::~Keyboard() {
    if (display_ != nullptr) XCloseDisplay(display_);
}

// Read from the server each time: Xlib's cached copy does not see the changes this client makes.
std::vector<uint32_t> Keyboard::row(unsigned keycode) const {
    int per_keycode = 0;
    KeySym* syms = XGetKeyboardMapping(display_, static_cast<KeyCode>(keycode), 1, &per_keycode);
    if (syms == nullptr) return {};
    std::vector<uint32_t> keysyms(syms, syms + per_keycode);
    XFree(syms);
    return keysyms;
}

unsigned Keyboard::key_code(uint32_t level1, uint32_t level2) const {
    int first = 0, last = 0;
    XDisplayKeycodes(display_, &first, &last);
    for (int code = first; code <= last; ++code) {
        std::vector<uint32_t> keysyms = row(code);
        if (keysyms.empty() || keysyms[0] != level1) continue;
        if (level2 == 0 || (keysyms.size() > 1 && keysyms[1] == level2)) return static_cast<unsigned>(code);
    }
    return 0;
}

unsigned Keyboard::unused_key_code() const {
    int first = 0, last = 0;
    XDisplayKeycodes(display_, &first, &last);
    for (int code = first; code <= last; ++code) {
        std::vector<uint32_t> keysyms = row(code);
        if (std::all_of(keysyms.begin(), keysyms.end(), [](uint32_t s) { return s == NoSymbol; }))
            return static_cast<unsigned>(code);
    }
    return 0;
}

// The first key that sets a modifier bit; 0 when none does.
unsigned Keyboard::modifier_key(unsigned modifier) const {
    unsigned found = 0;
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (map == nullptr) return 0;
    for (int m = 0; m < 8 && found == 0; ++m) {
        if (modifier != (1u << m)) continue;
        for (int k = 0; k < map->max_keypermod && found == 0; ++k)
            found = map->modifiermap[m * map->max_keypermod + k];
    }
    XFreeModifiermap(map);
    return found;
}

bool Keyboard::press(unsigned keycode, unsigned modifiers) {
    std::vector<unsigned> held_keys;
    for (unsigned bit = 1; bit <= Mod5Mask; bit <<= 1) {
        if (!(modifiers & bit)) continue;
        unsigned key = modifier_key(bit);
        if (key == 0) return false;
        held_keys.push_back(key);
    }
    for (unsigned key : held_keys) XTestFakeKeyEvent(display_, key, True, CurrentTime);
    XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
    XTestFakeKeyEvent(display_, keycode, False, CurrentTime);
    for (auto key = held_keys.rbegin(); key != held_keys.rend(); ++key)
        XTestFakeKeyEvent(display_, *key, False, CurrentTime);
    XSync(display_, False);
    return true;
}

unsigned Keyboard::num_lock_mask() const {
    unsigned num_lock = key_code(XK_Num_Lock);
    unsigned mask = 0;
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (map == nullptr) return 0;
    for (int m = 0; m < 8; ++m)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (num_lock != 0 && map->modifiermap[m * map->max_keypermod + k] == num_lock) mask = 1u << m;
    XFreeModifiermap(map);
    return mask;
}

bool Keyboard::set_num_lock(bool on) {
    unsigned mask = num_lock_mask();
    unsigned key = key_code(XK_Num_Lock);
    XkbStateRec state{};
    if (mask == 0 || key == 0 || XkbGetState(display_, XkbUseCoreKbd, &state) != Success) return false;
    if (((state.locked_mods & mask) != 0) != on && !press(key)) return false;
    return XkbGetState(display_, XkbUseCoreKbd, &state) == Success && ((state.locked_mods & mask) != 0) == on;
}

bool Keyboard::remap(unsigned keycode, const std::vector<uint32_t>& keysyms) {
    std::vector<KeySym> syms(keysyms.begin(), keysyms.end());
    if (syms.empty()) syms.push_back(NoSymbol);
    XChangeKeyboardMapping(display_, static_cast<int>(keycode), static_cast<int>(syms.size()), syms.data(),
                           1);
    XSync(display_, False);
    return true;
}

static_assert(Keyboard::kAnyModifier == AnyModifier && Keyboard::kWin == Mod4Mask);

unsigned Keyboard::digit(int digit) const {
    return key_code(XK_0 + static_cast<uint32_t>(digit));
}

bool Keyboard::grab(unsigned keycode, unsigned modifiers) {
    // A grab another client holds fails late, with BadAccess.
    XSync(display_, False);
    g_errors = 0;
    XErrorHandler previous = XSetErrorHandler(count_error);
    XGrabKey(display_, static_cast<int>(keycode), modifiers, DefaultRootWindow(display_), True, GrabModeAsync,
             GrabModeAsync);
    XSync(display_, False);
    XSetErrorHandler(previous);
    return g_errors == 0;
}

void Keyboard::ungrab(unsigned keycode, unsigned modifiers) {
    XUngrabKey(display_, static_cast<int>(keycode), modifiers, DefaultRootWindow(display_));
    XSync(display_, False);
}

bool Keyboard::held(unsigned keycode, unsigned modifiers) {
    if (!grab(keycode, modifiers)) return true;
    ungrab(keycode, modifiers);
    return false;
}

}  // namespace tavc::test
