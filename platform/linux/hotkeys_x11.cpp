// System-wide hot keys as passive key grabs on the X root window, on the display Qt uses. A press is
// read in a native event filter and handed to the target from the event loop.
#include "hotkeys.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QObject>
#include <QPointer>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace tavc::hotkeys {
namespace {

// Rows of consecutive virtual-key codes whose keysyms also run consecutively.
struct KeyRow {
    uint32_t first_key;
    uint32_t last_key;
    uint32_t first_keysym;
};

constexpr std::array<KeyRow, 5> kRuns = {{
    {0x30, 0x39, XK_0},
    {0x41, 0x5A, XK_a},
    {0x60, 0x69, XK_KP_0},
    {0x70, 0x87, XK_F1},
    {0x25, 0x28, XK_Left},  // Left, Up, Right, Down
}};

struct KeyPair {
    uint32_t key;
    uint32_t keysym;
};

constexpr std::array<KeyPair, 27> kSingles = {{
    {0x03, XK_Cancel},    {0x08, XK_BackSpace},    {0x09, XK_Tab},         {0x0C, XK_Clear},
    {0x0D, XK_Return},    {0x13, XK_Pause},        {0x14, XK_Caps_Lock},   {0x1B, XK_Escape},
    {0x20, XK_space},     {0x21, XK_Prior},        {0x22, XK_Next},        {0x23, XK_End},
    {0x24, XK_Home},      {0x29, XK_Select},       {0x2B, XK_Execute},     {0x2C, XK_Print},
    {0x2D, XK_Insert},    {0x2E, XK_Delete},       {0x2F, XK_Help},        {0x6A, XK_KP_Multiply},
    {0x6B, XK_KP_Add},    {0x6C, XK_KP_Separator}, {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal},
    {0x6F, XK_KP_Divide}, {0x90, XK_Num_Lock},     {0x91, XK_Scroll_Lock},
}};

// The keypad's keys by the Windows key they stand for: Enter, and the NumLock-off meanings.
constexpr std::array<KeyPair, 12> kKeypadKeys = {{
    {0x0C, XK_KP_Begin},
    {0x0D, XK_KP_Enter},
    {0x21, XK_KP_Prior},
    {0x22, XK_KP_Next},
    {0x23, XK_KP_End},
    {0x24, XK_KP_Home},
    {0x25, XK_KP_Left},
    {0x26, XK_KP_Up},
    {0x27, XK_KP_Right},
    {0x28, XK_KP_Down},
    {0x2D, XK_KP_Insert},
    {0x2E, XK_KP_Delete},
}};

constexpr unsigned kRelevantModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

// One passive grab: a key code with the whole modifier state it takes, lock modifiers included.
struct Grab {
    KeyCode keycode;
    unsigned modifiers;
    bool operator==(const Grab&) const = default;
};

struct Registration {
    QPointer<QObject> target;
    QObject* key_target;  // compared after the target is gone, never dereferenced
    int id;
    uint32_t virtual_key;
    unsigned modifiers;
    std::vector<Grab> grabs;  // what the server holds for it on the current keymap
    uint64_t serial;
};

// The keymap as the server has it now, asked for each time: Xlib refreshes its cached copy only on
// a MappingNotify it reads itself, and Qt reads the events through xcb.
struct Keymap {
    KeyboardMapping mapping;
    unsigned num_lock = 0;  // the modifier NumLock sets; 0 when no modifier carries it
};

Keymap current_keymap(Display* dpy) {
    Keymap keymap;
    int first = 0, last = 0, per_keycode = 0;
    XDisplayKeycodes(dpy, &first, &last);
    KeySym* syms = XGetKeyboardMapping(dpy, static_cast<KeyCode>(first), last - first + 1, &per_keycode);
    if (syms == nullptr) return keymap;
    keymap.mapping.first_keycode = static_cast<uint32_t>(first);
    keymap.mapping.keysyms_per_keycode = static_cast<uint32_t>(per_keycode);
    keymap.mapping.keysyms.assign(syms, syms + static_cast<size_t>(last - first + 1) * per_keycode);
    XFree(syms);
    auto is_num_lock = [&](KeyCode code) {
        if (code < first || code > last) return false;
        auto row = keymap.mapping.keysyms.begin() + static_cast<ptrdiff_t>(code - first) * per_keycode;
        return std::find(row, row + per_keycode, XK_Num_Lock) != row + per_keycode;
    };
    if (XModifierKeymap* map = XGetModifierMapping(dpy)) {
        for (int m = 0; m < 8; ++m)
            for (int k = 0; k < map->max_keypermod; ++k)
                if (is_num_lock(map->modifiermap[m * map->max_keypermod + k])) keymap.num_lock = 1u << m;
        XFreeModifiermap(map);
    }
    if (keymap.num_lock == LockMask) keymap.num_lock = 0;
    return keymap;
}

// The grabs that hold a combination on this keymap: each key code in the lock variants (CapsLock, and
// NumLock in the states where the key code stands for the key) a press may carry.
std::vector<Grab> grabs_for(const Keymap& keymap, uint32_t virtual_key, unsigned modifiers) {
    std::vector<Grab> grabs;
    for (const KeyCodeStates& key : key_codes_of_virtual_key(keymap.mapping, virtual_key)) {
        std::vector<unsigned> locks;
        if (key.num_lock_states & num_lock_off) locks.insert(locks.end(), {0u, unsigned(LockMask)});
        if ((key.num_lock_states & num_lock_on) && keymap.num_lock != 0)
            locks.insert(locks.end(), {keymap.num_lock, keymap.num_lock | LockMask});
        for (unsigned lock : locks) grabs.push_back({key.keycode, modifiers | lock});
    }
    return grabs;
}

// A press on its way to its target: delivered only if the registration it matched still exists, so a
// press read just before an unregistration never reaches a list that has changed since.
class PressEvent : public QEvent {
  public:
    explicit PressEvent(uint64_t serial) : QEvent(type()), serial_(serial) {}
    uint64_t serial() const { return serial_; }
    static QEvent::Type type() {
        static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
        return registered;
    }

  private:
    uint64_t serial_;
};

// Asks for the grabs to be laid anew on a changed keymap, once for a burst of change events.
class RemapEvent : public QEvent {
  public:
    RemapEvent() : QEvent(type()) {}
    static QEvent::Type type() {
        static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
        return registered;
    }
};

class Grabs : public QObject, public QAbstractNativeEventFilter {
  public:
    std::vector<Registration> registrations;
    uint64_t next_serial = 1;
    QCoreApplication* installed_on = nullptr;
    unsigned num_lock = 0;  // of the keymap the grabs were laid on
    int xkb_event = -1;     // the XKB extension's event code on this connection
    bool remap_pending = false;

    Display* display() const {
        auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        if (app == nullptr) return nullptr;
        auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
        return x11 != nullptr ? x11->display() : nullptr;
    }

    void install(Display* dpy) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr || app == installed_on) return;
        int opcode = 0, event_base = 0, error_base = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
        xkb_event =
            XkbQueryExtension(dpy, &opcode, &event_base, &error_base, &major, &minor) ? event_base : -1;
        app->installNativeEventFilter(this);
        installed_on = app;
    }

    // A keymap change reaches Qt's connection as core MappingNotify or, since Qt uses XKB, as XKB's
    // new-keyboard and map notifications.
    bool is_keymap_change(const xcb_generic_event_t* event) const {
        uint8_t kind = event->response_type & 0x7F;
        if (kind == XCB_MAPPING_NOTIFY)
            return reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER;
        if (xkb_event < 0 || kind != xkb_event) return false;
        uint8_t xkb_type = reinterpret_cast<const uint8_t*>(event)[1];
        return xkb_type == XkbNewKeyboardNotify || xkb_type == XkbMapNotify;
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || registrations.empty()) return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if (is_keymap_change(event)) {
            // Laid anew from the event loop, not inside Qt's event dispatch.
            if (!std::exchange(remap_pending, true)) QCoreApplication::postEvent(this, new RemapEvent);
            return false;
        }
        if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
        auto* press = static_cast<xcb_key_press_event_t*>(message);
        Display* dpy = display();
        if (dpy == nullptr || press->event != DefaultRootWindow(dpy)) return false;
        const Grab pressed{press->detail, press->state & (kRelevantModifiers | LockMask | num_lock)};
        for (const Registration& r : registrations) {
            if (std::find(r.grabs.begin(), r.grabs.end(), pressed) != r.grabs.end()) {
                QCoreApplication::postEvent(this, new PressEvent(r.serial));
                break;
            }
        }
        // Passed on: Qt has no window of its own at the root, and other filters may watch presses too.
        return false;
    }

    bool held_here(const Grab& grab) const {
        return std::any_of(registrations.begin(), registrations.end(), [&](const Registration& r) {
            return std::find(r.grabs.begin(), r.grabs.end(), grab) != r.grabs.end();
        });
    }

    void remap();

    bool event(QEvent* e) override {
        if (e->type() == RemapEvent::type()) {
            remap_pending = false;
            remap();
            return true;
        }
        if (e->type() != PressEvent::type()) return QObject::event(e);
        uint64_t serial = static_cast<PressEvent*>(e)->serial();
        auto it = std::find_if(registrations.begin(), registrations.end(),
                               [&](const Registration& r) { return r.serial == serial; });
        if (it != registrations.end() && it->target) {
            HotKeyEvent press(it->id);
            QCoreApplication::sendEvent(it->target, &press);
        }
        return true;
    }
};

Grabs& grabs() {
    static Grabs* instance = new Grabs;  // lives to the end of the process, as the display does
    return *instance;
}

std::vector<unsigned long> g_failed_requests;

int note_error(Display*, XErrorEvent* error) {
    g_failed_requests.push_back(error->serial);
    return 0;
}

// Takes (or gives back) the grabs in one round trip; the grabs the server refused, since one taken by
// another client fails late with BadAccess.
std::vector<Grab> apply(Display* dpy, const std::vector<Grab>& grabs, bool take) {
    if (grabs.empty()) return {};
    Window root = DefaultRootWindow(dpy);
    XSync(dpy, False);
    g_failed_requests.clear();
    XErrorHandler previous = XSetErrorHandler(note_error);
    std::vector<unsigned long> requests;
    for (const Grab& grab : grabs) {
        requests.push_back(NextRequest(dpy));
        if (take) {
            XGrabKey(dpy, grab.keycode, grab.modifiers, root, True, GrabModeAsync, GrabModeAsync);
        } else {
            XUngrabKey(dpy, grab.keycode, grab.modifiers, root);
        }
    }
    XSync(dpy, False);
    XSetErrorHandler(previous);
    std::vector<Grab> refused;
    for (size_t i = 0; i < grabs.size(); ++i)
        if (std::find(g_failed_requests.begin(), g_failed_requests.end(), requests[i]) !=
            g_failed_requests.end())
            refused.push_back(grabs[i]);
    return refused;
}

void release(Display* dpy, const Registration& r) {
    if (dpy != nullptr) apply(dpy, r.grabs, false);
}

// Keeps every registration on the key codes that stand for its key now. A key code that another client
// holds is left out; the registration itself stays, as a registered hot key is never taken away.
void Grabs::remap() {
    Display* dpy = display();
    if (dpy == nullptr || registrations.empty()) return;
    Keymap keymap = current_keymap(dpy);
    num_lock = keymap.num_lock;
    for (Registration& r : registrations) {
        std::vector<Grab> wanted = grabs_for(keymap, r.virtual_key, r.modifiers);
        std::vector<Grab> gone, added;
        for (const Grab& grab : r.grabs)
            if (std::find(wanted.begin(), wanted.end(), grab) == wanted.end()) gone.push_back(grab);
        apply(dpy, gone, false);
        std::erase_if(r.grabs, [&](const Grab& grab) {
            return std::find(gone.begin(), gone.end(), grab) != gone.end();
        });
        for (const Grab& grab : wanted)
            if (std::find(r.grabs.begin(), r.grabs.end(), grab) == r.grabs.end() && !held_here(grab))
                added.push_back(grab);
        std::vector<Grab> refused = apply(dpy, added, true);
        for (const Grab& grab : added)
            if (std::find(refused.begin(), refused.end(), grab) == refused.end()) r.grabs.push_back(grab);
    }
}

}  // namespace

HotKeyEvent::HotKeyEvent(int id) : QEvent(type()), id_(id) {}

QEvent::Type HotKeyEvent::type() {
    static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
}

uint32_t keysym_from_virtual_key(uint32_t virtual_key) {
    for (const KeyRow& row : kRuns)
        if (virtual_key >= row.first_key && virtual_key <= row.last_key)
            return row.first_keysym + (virtual_key - row.first_key);
    for (const KeyPair& pair : kSingles)
        if (pair.key == virtual_key) return pair.keysym;
    return 0;
}

std::vector<uint32_t> keysyms_from_virtual_key(uint32_t virtual_key) {
    std::vector<uint32_t> keysyms;
    if (uint32_t own = keysym_from_virtual_key(virtual_key)) keysyms.push_back(own);
    for (const KeyPair& pair : kKeypadKeys)
        if (pair.key == virtual_key) keysyms.push_back(pair.keysym);
    return keysyms;
}

std::vector<KeyCodeStates> key_codes_of_virtual_key(const KeyboardMapping& mapping, uint32_t virtual_key) {
    const uint32_t columns = mapping.keysyms_per_keycode;
    const size_t keys = columns == 0 ? 0 : mapping.keysyms.size() / columns;
    std::vector<uint8_t> states(keys, 0);
    for (uint32_t keysym : keysyms_from_virtual_key(virtual_key)) {
        // The keys whose own keysym (or NumLock meaning) it is, and those that reach it otherwise.
        std::vector<uint8_t> named(keys, 0), reached(keys, 0);
        for (size_t key = 0; key < keys; ++key) {
            const uint32_t* row = mapping.keysyms.data() + key * columns;
            for (uint32_t group = 0; group < 2 && group * 2 < columns; ++group) {
                uint32_t level1 = row[group * 2];
                uint32_t level2 = group * 2 + 1 < columns ? row[group * 2 + 1] : NoSymbol;
                bool keypad = IsKeypadKey(level2);
                if (level1 == keysym) named[key] |= keypad ? num_lock_off : num_lock_off | num_lock_on;
                if (level2 == keysym) {
                    if (keypad) {
                        named[key] |= num_lock_on;
                    } else {
                        reached[key] |= num_lock_off | num_lock_on;
                    }
                }
            }
            for (uint32_t column = 4; column < columns; ++column)
                if (row[column] == keysym) reached[key] |= num_lock_off | num_lock_on;
        }
        bool any_named = std::any_of(named.begin(), named.end(), [](uint8_t s) { return s != 0; });
        const std::vector<uint8_t>& found = any_named ? named : reached;
        for (size_t key = 0; key < keys; ++key) states[key] |= found[key];
    }
    std::vector<KeyCodeStates> codes;
    for (size_t key = 0; key < keys; ++key) {
        uint32_t keycode = mapping.first_keycode + static_cast<uint32_t>(key);
        if (states[key] != 0 && keycode <= 255) codes.push_back({static_cast<uint8_t>(keycode), states[key]});
    }
    return codes;
}

uint32_t x_modifiers_from_flags(uint32_t modifiers) {
    uint32_t mask = 0;
    if (modifiers & mod_shift) mask |= ShiftMask;
    if (modifiers & mod_control) mask |= ControlMask;
    if (modifiers & mod_alt) mask |= Mod1Mask;
    if (modifiers & mod_win) mask |= Mod4Mask;
    return mask;
}

bool register_hot_key(QObject* target, int id, uint32_t modifiers, uint32_t virtual_key) {
    Grabs& g = grabs();
    Display* dpy = g.display();
    if (target == nullptr || dpy == nullptr || keysym_from_virtual_key(virtual_key) == 0) return false;
    unsigned mask = x_modifiers_from_flags(modifiers);
    auto same_id = std::find_if(g.registrations.begin(), g.registrations.end(),
                                [&](const Registration& r) { return r.key_target == target && r.id == id; });
    if (same_id != g.registrations.end()) {
        if (same_id->virtual_key == virtual_key && same_id->modifiers == mask) return true;
        release(dpy, *same_id);
        g.registrations.erase(same_id);
    }
    Keymap keymap = current_keymap(dpy);
    std::vector<Grab> wanted = grabs_for(keymap, virtual_key, mask);
    if (wanted.empty()) return false;
    // The server lets a client grab its own combination again; a second holder here is refused.
    if (std::any_of(wanted.begin(), wanted.end(), [&](const Grab& grab) { return g.held_here(grab); }))
        return false;
    // The combination is one hot key: held on one key code by another client, it is taken as a whole.
    if (!apply(dpy, wanted, true).empty()) {
        apply(dpy, wanted, false);  // gives back what was taken
        return false;
    }
    g.install(dpy);
    g.num_lock = keymap.num_lock;
    bool first_of_target = std::none_of(g.registrations.begin(), g.registrations.end(),
                                        [&](const Registration& r) { return r.key_target == target; });
    g.registrations.push_back({target, target, id, virtual_key, mask, std::move(wanted), g.next_serial++});
    if (first_of_target) {
        QObject::connect(target, &QObject::destroyed, &g, [target] { unregister_all(target); });
    }
    return true;
}

bool unregister_hot_key(QObject* target, int id) {
    Grabs& g = grabs();
    auto it = std::find_if(g.registrations.begin(), g.registrations.end(),
                           [&](const Registration& r) { return r.key_target == target && r.id == id; });
    if (it == g.registrations.end()) return false;
    release(g.display(), *it);
    g.registrations.erase(it);
    return true;
}

void unregister_all(QObject* target) {
    Grabs& g = grabs();
    Display* dpy = g.display();
    std::erase_if(g.registrations, [&](const Registration& r) {
        if (r.key_target != target) return false;
        release(dpy, r);
        return true;
    });
}

}  // namespace tavc::hotkeys
