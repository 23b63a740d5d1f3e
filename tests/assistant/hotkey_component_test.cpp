// The hot-key component on a real X server: keys typed with xdotool or pressed by key code reach
// OnHotKey, and a second X client shows which combinations the component holds.
#include "SysHot.h"
#include "hotkeys.h"
#include "keyboard.h"
#include "xvfb_server.h"

#include <gtest/gtest.h>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// After gtest and Qt: X.h defines None and Bool.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace tavc::assistant {
namespace {

constexpr THotKeyCode kDigitOne = 25;  // component key codes of "1" to "9" run on from here

// Sees every key press the program reads from the server. Installed before the hot keys' own filter, so
// it runs after it: when it sees a press, the hot keys have already matched it.
class KeyPressWatch : public QAbstractNativeEventFilter {
  public:
    int seen = 0;
    std::function<void()> on_next_press;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        if ((static_cast<xcb_generic_event_t*>(message)->response_type & 0x7F) != XCB_KEY_PRESS) return false;
        ++seen;
        if (auto action = std::exchange(on_next_press, nullptr)) action();
        return false;
    }
};

class HotKeyComponent : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new test::XvfbServer;
        if (!server_->started()) return;
        static int argc = 1;
        static char name[] = "hotkey_component_test";
        static char* argv[] = {name, nullptr};
        app_ = new QGuiApplication(argc, argv);
        watch_ = new KeyPressWatch;
        app_->installNativeEventFilter(watch_);
    }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
        delete watch_;
        watch_ = nullptr;
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (!server_->started()) GTEST_SKIP() << server_->why();
        if (test::program_on_path("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
        if (!keyboard_.ok()) GTEST_SKIP() << keyboard_.why();
        component_ = std::make_unique<TSysHotKey>(nullptr);
        component_->OnHotKey = [this](QObject* sender, int32_t index) {
            EXPECT_EQ(sender, component_.get());
            pressed_.push_back(index);
        };
    }

    void AddWinDigits(int first, int last) {
        for (int digit = first; digit <= last; ++digit)
            component_->AddHotKey(static_cast<THotKeyCode>(kDigitOne + digit - 1), HotKeyWin);
    }

    // Types a combination this program holds and returns once the program has handled the press.
    void Type(const std::string& keys) {
        Await([&] { return server_->press_keys(keys); }, keys);
    }
    // The same, a key pressed by its key code.
    void PressKeyCode(unsigned keycode, unsigned modifiers) {
        Await([&] { return keyboard_.press(keycode, modifiers); }, "key code " + std::to_string(keycode));
    }
    void Await(const std::function<bool()>& press, const std::string& keys) {
        int before = watch_->seen;
        ASSERT_TRUE(press()) << keys;
        QElapsedTimer waited;
        waited.start();
        while (watch_->seen == before && waited.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ASSERT_GT(watch_->seen, before) << keys << " never reached the program";
        QCoreApplication::sendPostedEvents();
    }
    // Whether some client holds the key code with Win: plain, with CapsLock, NumLock, and both.
    std::vector<bool> HeldWithWin(unsigned keycode) {
        unsigned num_lock = keyboard_.num_lock_mask();
        std::vector<bool> held;
        for (unsigned lock : {0u, unsigned(LockMask), num_lock, num_lock | LockMask})
            held.push_back(keyboard_.held(keycode, Mod4Mask | lock));
        return held;
    }
    static inline const std::vector<bool> kAlways{true, true, true, true}, kNever{false, false, false, false},
        kWithNumLock{false, false, true, true};
    // Types a combination this program does not hold: whether it went astray shows once a later
    // Type has been handled, since presses arrive in order.
    void TypeElsewhere(const std::string& keys) { ASSERT_TRUE(server_->press_keys(keys)) << keys; }

    static inline test::XvfbServer* server_ = nullptr;
    static inline QGuiApplication* app_ = nullptr;
    static inline KeyPressWatch* watch_ = nullptr;
    test::Keyboard keyboard_;
    std::unique_ptr<TSysHotKey> component_;
    std::vector<int32_t> pressed_;
};

TEST_F(HotKeyComponent, WinOneToFiveReachOnHotKeyWithTheirIndices) {
    AddWinDigits(1, 5);
    component_->SetActive(true);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(component_->Entry(i).Registered) << i;
    for (int digit = 1; digit <= 5; ++digit) Type("super+" + std::to_string(digit));
    EXPECT_EQ(pressed_, (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

TEST_F(HotKeyComponent, APressWithNumLockOrCapsLockOnIsStillReported) {
    AddWinDigits(1, 1);
    component_->SetActive(true);
    TypeElsewhere("Num_Lock");
    Type("super+1");
    TypeElsewhere("Caps_Lock");
    Type("super+1");
    TypeElsewhere("Num_Lock");
    Type("super+1");
    TypeElsewhere("Caps_Lock");
    EXPECT_EQ(pressed_, (std::vector<int32_t>{0, 0, 0}));
}

TEST_F(HotKeyComponent, ACombinationHeldByAnotherClientStaysSilentAndShiftsNoIndex) {
    ASSERT_TRUE(keyboard_.grab(keyboard_.digit(2), Mod4Mask));
    AddWinDigits(1, 5);
    component_->SetActive(true);
    EXPECT_TRUE(component_->Entry(0).Registered);
    EXPECT_FALSE(component_->Entry(1).Registered);
    EXPECT_TRUE(component_->Entry(2).Registered);
    TypeElsewhere("super+2");  // goes to the other client
    Type("super+3");
    EXPECT_EQ(pressed_, (std::vector<int32_t>{2}));
    keyboard_.ungrab(keyboard_.digit(2), Mod4Mask);
    // The failed attempt gave back the lock variants it had taken.
    EXPECT_TRUE(!keyboard_.held(keyboard_.digit(2)));
}

TEST_F(HotKeyComponent, TheSameCombinationTwiceRegistersOnlyTheFirst) {
    AddWinDigits(1, 1);
    AddWinDigits(1, 1);
    component_->SetActive(true);
    EXPECT_TRUE(component_->Entry(0).Registered);
    EXPECT_FALSE(component_->Entry(1).Registered);
    Type("super+1");
    EXPECT_EQ(pressed_, (std::vector<int32_t>{0}));
}

TEST_F(HotKeyComponent, ClearingWhileActiveFreesEveryGrabAndTheNextEntryIsIndexZero) {
    AddWinDigits(1, 5);
    component_->SetActive(true);
    component_->ClearHotKeys();
    EXPECT_TRUE(component_->Active());
    EXPECT_EQ(component_->Count(), 0);
    for (int digit = 1; digit <= 5; ++digit) EXPECT_TRUE(!keyboard_.held(keyboard_.digit(digit))) << digit;

    THotKeyEntry entry = component_->AddHotKey(kDigitOne + 2, HotKeyWin);
    EXPECT_TRUE(entry.Registered);
    TypeElsewhere("super+1");  // no longer held
    Type("super+3");
    EXPECT_EQ(pressed_, (std::vector<int32_t>{0}));
}

// The press is matched while Win+1 is index 0; the list is cleared before the press is handed on, and
// index 0 is then Win+2. The press must not be reported as that entry.
TEST_F(HotKeyComponent, APressMatchedBeforeClearingIsNotReportedAsANewEntry) {
    AddWinDigits(1, 1);
    component_->SetActive(true);
    watch_->on_next_press = [this] {
        component_->ClearHotKeys();
        AddWinDigits(2, 3);
    };
    Type("super+1");
    Type("super+3");
    EXPECT_EQ(pressed_, (std::vector<int32_t>{1}));
}

TEST_F(HotKeyComponent, SettingActiveTwiceMakesOneAttemptOnly) {
    ASSERT_TRUE(keyboard_.grab(keyboard_.digit(1), Mod4Mask));
    AddWinDigits(1, 1);
    component_->SetActive(true);
    EXPECT_FALSE(component_->Entry(0).Registered);
    keyboard_.ungrab(keyboard_.digit(1), Mod4Mask);
    component_->SetActive(true);
    EXPECT_FALSE(component_->Entry(0).Registered);
    component_->SetActive(false);
    component_->SetActive(true);
    EXPECT_TRUE(component_->Entry(0).Registered);
}

TEST_F(HotKeyComponent, RegisteringEveryEntryAgainWhileActiveKeepsThemRegistered) {
    AddWinDigits(1, 2);
    component_->SetActive(true);
    component_->Loaded();
    EXPECT_TRUE(component_->Entry(0).Registered);
    EXPECT_TRUE(component_->Entry(1).Registered);
    Type("super+2");
    component_->SetActive(false);
    EXPECT_TRUE(!keyboard_.held(keyboard_.digit(1)));
    EXPECT_TRUE(!keyboard_.held(keyboard_.digit(2)));
    EXPECT_EQ(pressed_, (std::vector<int32_t>{1}));
}

TEST_F(HotKeyComponent, AnEmptyActiveListHasNoWindowUntilAnEntryIsAdded) {
    component_->SetActive(true);
    EXPECT_FALSE(component_->HasWindow());
    EXPECT_TRUE(component_->AddHotKey(kDigitOne, HotKeyWin).Registered);
    EXPECT_TRUE(component_->HasWindow());
}

TEST_F(HotKeyComponent, KeyCodesWithoutAKeyAreNotRegistered) {
    component_->SetActive(true);
    EXPECT_FALSE(component_->AddHotKey(0, HotKeyWin).Registered);
    EXPECT_FALSE(component_->AddHotKey(102, HotKeyWin).Registered);
    EXPECT_TRUE(component_->AddHotKey(kDigitOne, HotKeyWin).Registered);
    EXPECT_EQ(component_->Count(), 3);
}

TEST_F(HotKeyComponent, APressWithoutAHandlerIsIgnored) {
    AddWinDigits(1, 2);
    component_->SetActive(true);
    component_->OnHotKey = nullptr;
    Type("super+1");
    component_->OnHotKey = [this](QObject*, int32_t index) { pressed_.push_back(index); };
    Type("super+2");
    EXPECT_EQ(pressed_, (std::vector<int32_t>{1}));
}

TEST_F(HotKeyComponent, AMessageNamingNoRegisteredEntryIsNotReported) {
    AddWinDigits(1, 1);
    AddWinDigits(1, 1);  // listed, not registered
    component_->SetActive(true);
    for (int id : {5, 1, 0x10000}) {
        hotkeys::HotKeyEvent stray(id);
        QCoreApplication::sendEvent(component_->WindowHandle(), &stray);
    }
    hotkeys::HotKeyEvent press(0);
    QCoreApplication::sendEvent(component_->WindowHandle(), &press);
    EXPECT_EQ(pressed_, (std::vector<int32_t>{0}));
}

TEST_F(HotKeyComponent, DestroyingItWhileActiveLeavesNothingGrabbed) {
    AddWinDigits(1, 5);
    component_->SetActive(true);
    ASSERT_FALSE(!keyboard_.held(keyboard_.digit(1)));
    component_.reset();
    for (int digit = 1; digit <= 5; ++digit) EXPECT_TRUE(!keyboard_.held(keyboard_.digit(digit))) << digit;
}

// The keypad's "." is Num . with NumLock and Delete without; Xvfb's keyboard also has a "." key of its own.
TEST_F(HotKeyComponent, AKeypadKeyIsHeldInTheNumLockStateOfItsMeaningAndEveryGrabIsGivenBack) {
    constexpr THotKeyCode kNumDot = 74, kDelete = 22;
    const unsigned keypad_dot = keyboard_.key_code(XK_KP_Delete, XK_KP_Decimal);
    const unsigned delete_key = keyboard_.key_code(XK_Delete);
    ASSERT_NE(keypad_dot, 0u);
    ASSERT_NE(delete_key, 0u);
    ASSERT_NE(keyboard_.num_lock_mask(), 0u);
    const unsigned own_dot = keyboard_.key_code(XK_KP_Decimal, XK_KP_Decimal);
    ASSERT_NE(own_dot, 0u);
    component_->SetActive(true);
    EXPECT_TRUE(component_->AddHotKey(kNumDot, HotKeyWin).Registered);
    EXPECT_EQ(HeldWithWin(keypad_dot), kWithNumLock);
    EXPECT_EQ(HeldWithWin(own_dot), kAlways);
    EXPECT_EQ(HeldWithWin(delete_key), kNever);
    EXPECT_TRUE(component_->AddHotKey(kDelete, HotKeyWin).Registered);
    EXPECT_EQ(HeldWithWin(keypad_dot), kAlways);
    EXPECT_EQ(HeldWithWin(delete_key), kAlways);
    component_->SetActive(false);
    EXPECT_EQ(HeldWithWin(keypad_dot), kNever);
    EXPECT_EQ(HeldWithWin(delete_key), kNever);
    EXPECT_EQ(HeldWithWin(own_dot), kNever);
}

// As one hot key, Win+Return is taken as a whole when another client holds Win with keypad Enter.
TEST_F(HotKeyComponent, ACombinationHeldOnOneOfItsKeyCodesByAnotherClientTakesNoneOfThem) {
    constexpr THotKeyCode kReturn = 5;
    const unsigned keypad_enter = keyboard_.key_code(XK_KP_Enter);
    const unsigned return_key = keyboard_.key_code(XK_Return);
    ASSERT_NE(keypad_enter, 0u);
    ASSERT_TRUE(keyboard_.grab(keypad_enter, Mod4Mask));
    component_->SetActive(true);
    EXPECT_FALSE(component_->AddHotKey(kReturn, HotKeyWin).Registered);
    EXPECT_EQ(HeldWithWin(return_key), kNever);
    keyboard_.ungrab(keypad_enter, Mod4Mask);
    component_->SetActive(false);
    component_->SetActive(true);
    EXPECT_TRUE(component_->Entry(0).Registered);
    PressKeyCode(keypad_enter, Mod4Mask);
    EXPECT_EQ(pressed_, (std::vector<int32_t>{0}));
}

// No key of the server's keymap produces F13 until a keymap change gives it one; the next activation
// registers it there.
TEST_F(HotKeyComponent, AFunctionKeyNoKeyProducesIsRegisteredOnceAKeyProducesIt) {
    constexpr THotKeyCode kF13 = 88;
    ASSERT_EQ(keyboard_.key_code(XK_F13), 0u);
    component_->SetActive(true);
    EXPECT_FALSE(component_->AddHotKey(kF13, HotKeyWin).Registered);
    const unsigned spare = keyboard_.unused_key_code();
    ASSERT_NE(spare, 0u);
    ASSERT_TRUE(keyboard_.remap(spare, {XK_F13}));
    struct Restore {
        test::Keyboard& keyboard;
        unsigned keycode;
        ~Restore() { keyboard.remap(keycode, {}); }
    } restore{keyboard_, spare};
    component_->SetActive(false);
    component_->SetActive(true);
    EXPECT_TRUE(component_->Entry(0).Registered);
    PressKeyCode(spare, Mod4Mask);
    EXPECT_EQ(pressed_, (std::vector<int32_t>{0}));
}

TEST_F(HotKeyComponent, DeactivatingGivesEveryCombinationBack) {
    AddWinDigits(1, 5);
    component_->SetActive(true);
    component_->SetActive(false);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(component_->Entry(i).Registered) << i;
    for (int digit = 1; digit <= 5; ++digit) EXPECT_TRUE(!keyboard_.held(keyboard_.digit(digit))) << digit;
}

}  // namespace
}  // namespace tavc::assistant
