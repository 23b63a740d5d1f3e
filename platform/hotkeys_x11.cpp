// System-wide hot keys as passive key grabs on the X root window, on the display Qt uses. A press is
// read in a native event filter and handed to the target from the event loop.
#include "hotkeys.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QObject>
#include <QPointer>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
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

constexpr unsigned kRelevantModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

struct Registration {
    QPointer<QObject> target;
    QObject* key_target;  // compared after the target is gone, never dereferenced
    int id;
    KeyCode keycode;
    unsigned modifiers;
    uint64_t serial;
};

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

class Grabs : public QObject, public QAbstractNativeEventFilter {
  public:
    std::vector<Registration> registrations;
    uint64_t next_serial = 1;
    QCoreApplication* installed_on = nullptr;

    Display* display() const {
        auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        if (app == nullptr) return nullptr;
        auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
        return x11 != nullptr ? x11->display() : nullptr;
    }

    void install() {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr || app == installed_on) return;
        app->installNativeEventFilter(this);
        installed_on = app;
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || registrations.empty()) return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
        auto* press = static_cast<xcb_key_press_event_t*>(message);
        Display* dpy = display();
        if (dpy == nullptr || press->event != DefaultRootWindow(dpy)) return false;
        for (const Registration& r : registrations) {
            if (r.keycode == press->detail && r.modifiers == (press->state & kRelevantModifiers)) {
                QCoreApplication::postEvent(this, new PressEvent(r.serial));
                break;
            }
        }
        // Passed on: Qt has no window of its own at the root, and other filters may watch presses too.
        return false;
    }

    bool event(QEvent* e) override {
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

int g_grab_errors = 0;

int count_error(Display*, XErrorEvent*) {
    ++g_grab_errors;
    return 0;
}

// The lock modifiers a press may carry besides the combination itself.
std::vector<unsigned> lock_variants(Display* dpy) {
    unsigned num_lock = 0;
    KeyCode num_lock_code = XKeysymToKeycode(dpy, XK_Num_Lock);
    if (XModifierKeymap* map = XGetModifierMapping(dpy)) {
        for (int m = 0; m < 8 && num_lock_code != 0; ++m)
            for (int k = 0; k < map->max_keypermod; ++k)
                if (map->modifiermap[m * map->max_keypermod + k] == num_lock_code) num_lock = 1u << m;
        XFreeModifiermap(map);
    }
    std::vector<unsigned> variants = {0, LockMask};
    if (num_lock != 0 && num_lock != LockMask) {
        variants.push_back(num_lock);
        variants.push_back(num_lock | LockMask);
    }
    return variants;
}

// Grabs (or releases) every lock variant of one combination; true when the server accepted all.
bool grab(Display* dpy, KeyCode keycode, unsigned modifiers, bool take) {
    Window root = DefaultRootWindow(dpy);
    XSync(dpy, False);
    g_grab_errors = 0;
    XErrorHandler previous = XSetErrorHandler(count_error);
    for (unsigned lock : lock_variants(dpy)) {
        if (take) {
            XGrabKey(dpy, keycode, modifiers | lock, root, True, GrabModeAsync, GrabModeAsync);
        } else {
            XUngrabKey(dpy, keycode, modifiers | lock, root);
        }
    }
    XSync(dpy, False);
    XSetErrorHandler(previous);
    return g_grab_errors == 0;
}

void release(Display* dpy, const Registration& r) {
    if (dpy != nullptr) grab(dpy, r.keycode, r.modifiers, false);
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
    uint32_t keysym = keysym_from_virtual_key(virtual_key);
    if (target == nullptr || dpy == nullptr || keysym == 0) return false;
    KeyCode keycode = XKeysymToKeycode(dpy, keysym);
    unsigned mask = x_modifiers_from_flags(modifiers);
    if (keycode == 0) return false;
    auto same_id = std::find_if(g.registrations.begin(), g.registrations.end(),
                                [&](const Registration& r) { return r.key_target == target && r.id == id; });
    if (same_id != g.registrations.end()) {
        if (same_id->keycode == keycode && same_id->modifiers == mask) return true;
        release(dpy, *same_id);
        g.registrations.erase(same_id);
    }
    // The server lets a client grab its own combination again; a second holder here is refused.
    for (const Registration& r : g.registrations)
        if (r.keycode == keycode && r.modifiers == mask) return false;
    if (!grab(dpy, keycode, mask, true)) {
        grab(dpy, keycode, mask, false);  // gives back the variants that were taken
        return false;
    }
    g.install();
    bool first_of_target = std::none_of(g.registrations.begin(), g.registrations.end(),
                                        [&](const Registration& r) { return r.key_target == target; });
    g.registrations.push_back({target, target, id, keycode, mask, g.next_serial++});
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
