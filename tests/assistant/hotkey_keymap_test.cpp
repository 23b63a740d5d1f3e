// The assistant program's hot keys pressed as a clerk presses them: keys by key code, the keypad with
// NumLock on and off, and a keymap that changes while the program runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "assistant_program.h"
#include "keyboard.h"

// After gtest: X.h defines None.
#include <X11/X.h>
#include <X11/keysym.h>

namespace tavc::test {
namespace {

constexpr int kDoesNothing = 7;  // an action kind without an action: the press is only reported

// File key indices.
constexpr int kNumDot = 67, kDelete = 17, kReturn = 2, kHome = 9, kNum7 = 61, kOne = 19, kNine = 27;

class HotKeyKeymapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop_ = std::make_unique<Desktop>();
        if (!desktop_->ready()) GTEST_SKIP() << desktop_->why();
        keyboard_ = std::make_unique<Keyboard>();
        if (!keyboard_->ok()) GTEST_SKIP() << keyboard_->why();
        app_ = std::make_unique<AssistantProgram>();
        ASSERT_TRUE(app_->ok()) << app_->error();
        config_ = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", app_->config_home());
    }
    // The program goes first; the desktop after the members declared after it.
    void TearDown() override { app_.reset(); }

    // Starts the program (demo mode registers at once) with Win+ these keys, then Win+9 as the marker,
    // and hides it, so that no key it does not hold reaches its window.
    void StartWithWinAnd(const std::vector<int>& key_indices) {
        std::vector<HotKeyFileRecord> records;
        for (int index : key_indices)
            records.push_back({.key_index = index, .win = true, .kind = kDoesNothing});
        records.push_back({.key_index = kNine, .win = true, .kind = kDoesNothing});
        marker_ = "hotkey " + std::to_string(key_indices.size()) + " kind " + std::to_string(kDoesNothing);
        app_->write_hot_keys(records);
        ASSERT_TRUE(app_->start_and_wait());
        ASSERT_TRUE(app_->probe().wait_for("hotkeys registered " + std::to_string(records.size())));
        ASSERT_TRUE(app_->start()->wait(10s).has_value());
        ASSERT_TRUE(app_->wait_visible(false));
        marker_code_ = keyboard_->key_code(XK_9);
        ASSERT_NE(marker_code_, 0u);
    }

    // Presses the key with Win, then the marker: presses reach the program in order, so the hot keys the
    // key fired are those reported before the marker. Their indices.
    std::vector<int> Fired(unsigned keycode) {
        EXPECT_TRUE(keyboard_->press(keycode, Mod4Mask));
        EXPECT_TRUE(keyboard_->press(marker_code_, Mod4Mask));
        if (!app_->probe().wait_for(marker_)) {
            ADD_FAILURE() << "the marker Win+9 was not reported";
            return {};
        }
        std::vector<std::string> lines = app_->probe().lines();
        std::vector<int> fired;
        for (size_t i = seen_; i < lines.size(); ++i) {
            if (lines[i] == marker_) {
                seen_ = i + 1;
                break;
            }
            int index = -1, kind = -1;
            if (std::sscanf(lines[i].c_str(), "hotkey %d kind %d", &index, &kind) == 2)
                fired.push_back(index);
        }
        return fired;
    }

    // Waits until some client holds the key code with Win (the program, once it has followed a change).
    bool WaitHeld(unsigned keycode, bool held) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (keyboard_->held(keycode, Mod4Mask) != held) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    std::unique_ptr<Desktop> desktop_;
    std::unique_ptr<Keyboard> keyboard_;
    std::unique_ptr<AssistantProgram> app_;
    std::unique_ptr<ScopedEnv> config_;
    std::string marker_;
    unsigned marker_code_ = 0;
    size_t seen_ = 0;
};

// A keypad key is the Windows key it stands for in the NumLock state of the moment, and never the other.
TEST_F(HotKeyKeymapTest, KeypadKeysFireTheKeyTheyStandForInTheirNumLockState) {
    StartWithWinAnd({kNumDot, kDelete, kReturn, kHome, kNum7});
    enum { NumDot, Delete, Return, Home, Num7 };
    struct Case {
        const char* key;
        uint32_t level1, level2;  // the key, found by its levels in the keymap, pressed by its key code
        bool num_lock;
        std::vector<int> fired;
    };
    const Case cases[] = {
        {"keypad .", XK_KP_Delete, XK_KP_Decimal, true, {NumDot}},
        {"keypad .", XK_KP_Delete, XK_KP_Decimal, false, {Delete}},
        {"Delete", XK_Delete, 0, true, {Delete}},
        {"keypad Enter", XK_KP_Enter, 0, false, {Return}},
        {"keypad Enter", XK_KP_Enter, 0, true, {Return}},
        {"Return", XK_Return, 0, true, {Return}},
        {"keypad 7", XK_KP_Home, XK_KP_7, false, {Home}},
        {"keypad 7", XK_KP_Home, XK_KP_7, true, {Num7}},
        {"Home", XK_Home, 0, true, {Home}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.num_lock ? " with NumLock on" : " with NumLock off"));
        unsigned keycode = keyboard_->key_code(c.level1, c.level2);
        ASSERT_NE(keycode, 0u);
        ASSERT_TRUE(keyboard_->set_num_lock(c.num_lock));
        EXPECT_EQ(Fired(keycode), c.fired);
    }
}

TEST_F(HotKeyKeymapTest, AKeymapChangeMovesAHotKeyToItsNewKeyCode) {
    StartWithWinAnd({kOne});
    unsigned old_code = keyboard_->key_code(XK_1);
    unsigned new_code = keyboard_->unused_key_code();
    ASSERT_NE(old_code, 0u);
    ASSERT_NE(new_code, 0u);
    EXPECT_EQ(Fired(old_code), std::vector<int>{0});

    // Taken away first: once the new key code is held, the program has seen both changes.
    ASSERT_TRUE(keyboard_->remap(old_code, {}));
    ASSERT_TRUE(keyboard_->remap(new_code, {XK_1, XK_exclam}));
    ASSERT_TRUE(WaitHeld(new_code, true)) << "Win+1 was not grabbed on its new key code";
    EXPECT_FALSE(keyboard_->held(old_code, Mod4Mask)) << "the old key code was not given back";
    EXPECT_EQ(Fired(new_code), std::vector<int>{0});
    EXPECT_EQ(Fired(old_code), std::vector<int>{});
}

}  // namespace
}  // namespace tavc::test
