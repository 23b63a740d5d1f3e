// The clerk's keys and clicks through the real assistant program, as a clerk uses them: typing over what
// a field holds without selecting it, Enter on each page after visiting the others, Tab through a page,
// double clicks on labels and the status bar during a poll, and the sound commands of the hot-key file.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "counter_road_fixture.h"
#include "profile.h"

namespace tavc::test {
namespace {

using namespace std::chrono_literals;
using Kind = TerminalCommand::Kind;

constexpr int kDemoMenu = 2 + 63 + 27;  // "功能演示" on the tool bar: 客显屏, 语音合成, 文字显示

// Brings the hidden window back (a second start) and opens a demo page from the menu.
void OpenDemoPage(CounterRoad& road, int item, const std::string& shown) {
    AssistantProgram& app = road.app();
    ASSERT_EQ(app.start()->wait(10s), 0);
    ASSERT_TRUE(app.wait_visible(true));
    ASSERT_TRUE(road.click(kDemoMenu, 16));
    ASSERT_TRUE(app.wait_popup());
    std::string keys;
    for (int i = 0; i < item; ++i) keys += "Down ";
    ASSERT_TRUE(app.key(keys + "Return"));
    ASSERT_TRUE(app.probe().wait_for(shown));
}

// Win+1 up to the welcome's screen and greeting, taken.
void Welcome(CounterRoad& road) {
    ASSERT_TRUE(road.hot_key(1));
    ASSERT_TRUE(road.app().probe().wait_for("cashier focus Edit1"));
    ASSERT_EQ(road.next_commands(1).size(), 1u);
    ASSERT_EQ(road.next_calls(1).size(), 1u);
}

TEST_F(CounterRoadTest, WhatTheClerkTypesReplacesWhatAFieldHeld) {
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();

    // Into the "0" of a fresh field, then into the last customer's amount.
    for (const auto& [typed, shown] : {std::pair{"12.5", "12.50"}, std::pair{"8", "8.00"}}) {
        Welcome(road);
        ASSERT_TRUE(app.type(typed));
        ASSERT_TRUE(app.key("Return"));
        std::vector<TerminalCommand> commands = road.next_commands(2);
        ASSERT_EQ(commands.size(), 2u);
        ExpectText(commands[1], 96, 318, shown);
        EXPECT_EQ(road.next_calls(1),
                  (std::vector<DriverCall>{DriverCall("SoundOut", {shown + std::string("_P")})}));
        ASSERT_TRUE(app.wait_visible(false));
    }

    // The received amount, then the change typed over the one computed.
    ASSERT_TRUE(road.hot_key(2));
    ASSERT_TRUE(app.probe().wait_for("cashier focus Edit2"));
    ASSERT_TRUE(app.type("20"));
    ASSERT_TRUE(app.key("Return"));
    ASSERT_TRUE(app.probe().wait_for("cashier fields 8|20|12.00 default Button3"));
    ASSERT_TRUE(app.type("2"));
    ASSERT_TRUE(app.key("Return"));
    std::vector<TerminalCommand> commands = road.next_commands(3);
    ASSERT_EQ(commands.size(), 3u);
    ExpectText(commands[1], 96, 318, "10.00");
    ExpectText(commands[2], 96, 354, "2.00");
}

TEST_F(CounterRoadTest, EnterActsOnThePageItIsPressedInAfterAVisitToTheReceivedField) {
    ASSERT_TRUE(profile::write(road.cache_file(), CacheHex("Logins"), CacheHex("0001"), CacheHex("secret")));
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();
    ASSERT_TRUE(road.hot_key(2));
    ASSERT_TRUE(app.probe().wait_for("cashier focus Edit2"));
    ASSERT_TRUE(app.type("5"));
    ASSERT_TRUE(road.hide());

    // Back on the login page: Enter in the id field moves on to the password, Enter there logs in.
    ASSERT_EQ(app.start()->wait(10s), 0);
    ASSERT_TRUE(app.probe().wait_for("login page"));
    ASSERT_TRUE(app.focus_main());
    ASSERT_TRUE(app.key("Return"));
    ASSERT_TRUE(app.type("secret"));
    ASSERT_TRUE(app.key("Return"));
    std::vector<TerminalCommand> commands = road.next_commands(2);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].bytes, "PJDL000000010");
    ASSERT_TRUE(app.probe().wait_for("logged in"));
    ASSERT_TRUE(app.wait_visible(false));

    // Enter on the item-line page sends the item line.
    OpenDemoPage(road, 1, "item-line page shown");
    ASSERT_TRUE(app.key("Return"));
    commands = road.next_commands(4);
    ASSERT_EQ(commands.size(), 4u);
    ExpectScreen(commands[0], "31");
    EXPECT_EQ(app.probe().count_after("cashier fields"), 0u);
}

TEST_F(CounterRoadTest, TabFollowsThePagesOrder) {
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();
    // From the due field past its "发送" to the received field: the hidden button takes no focus.
    Welcome(road);
    ASSERT_TRUE(app.key("Tab Tab"));
    ASSERT_TRUE(app.type("100"));
    ASSERT_TRUE(app.key("Return"));
    ASSERT_TRUE(app.probe().wait_for("cashier fields 0|100|100.00 default Button3"));
    EXPECT_TRUE(road.next_commands(1, 500ms).empty());  // no amount due went out
    ASSERT_TRUE(app.key("Return"));
    ASSERT_EQ(road.next_commands(3).size(), 3u);
    ASSERT_EQ(road.next_calls(3).size(), 3u);
    ASSERT_TRUE(app.wait_visible(false));

    // From the memo to "播放", which a space presses.
    OpenDemoPage(road, 2, "speech page shown");
    ASSERT_TRUE(app.type("hello"));
    ASSERT_TRUE(app.key("Tab space"));
    EXPECT_EQ(road.next_calls(1), (std::vector<DriverCall>{DriverCall("TAVSpeak", {"hello", 0})}));
}

TEST_F(CounterRoadTest, OnlyADoubleClickOnTheWindowsOwnSurfaceQueriesTheTerminal) {
    road.terminal().answer_unscripted_queries('N');
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();
    ASSERT_TRUE(road.hot_key(4));  // the window comes up on the login page and the poll runs
    ASSERT_TRUE(app.wait_visible(true));
    ASSERT_TRUE(app.probe().wait_for("panel0 等待客户评价..."));
    ASSERT_TRUE(road.click(100, 191, 2));                  // the status bar's text
    ASSERT_TRUE(road.click(8 + 48 + 6, 36 + 21 + 20, 2));  // the label "ID:"
    ASSERT_TRUE(road.click(250, 150, 2));                  // the login page beside its controls
    std::this_thread::sleep_for(1500ms);                   // a few polls
    EXPECT_EQ(app.probe().count_after("box "), 0u);

    ASSERT_TRUE(road.click(150, 179, 2));  // between the pages and the status bar
    ASSERT_TRUE(road.answer_message("N"));
    road.terminal().answer_queries("I");
    ASSERT_TRUE(app.probe().wait_for("rating request enabled"));
    EXPECT_EQ(road.cached_ratings(), std::vector<std::string>{"0001,I,"});
}

TEST_F(CounterRoadTest, SoundCommandsOfTheHotKeyFileReachTheDriverAndLeaveTheWindowAlone) {
    // Win+6 to Win+8 with commands only the driver reads ("PJ" alone asks for a rating), Win+9 of a kind
    // without an action. The key indices of "0" to "9" run from 18.
    std::vector<HotKeyFileRecord> keys = usual_hot_keys();
    keys.push_back({.key_index = 24, .win = true, .kind = 0, .command = "pj"});
    keys.push_back({.key_index = 25, .win = true, .kind = 0, .command = "PJ21"});
    keys.push_back({.key_index = 26, .win = true, .kind = 0, .command = Gbk("欢迎光临")});
    keys.push_back({.key_index = 27, .win = true, .kind = 7});
    road.app().write_hot_keys(keys);
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();
    for (int number = 6; number <= 9; ++number) ASSERT_TRUE(road.hot_key(number));
    EXPECT_EQ(road.next_calls(3),
              (std::vector<DriverCall>{DriverCall("SoundOut", {"pj"}), DriverCall("SoundOut", {"PJ21"}),
                                       DriverCall("SoundOut", {Gbk("欢迎光临")})}));
    EXPECT_TRUE(road.nothing_more());
    EXPECT_EQ(app.probe().count_after("shown"), 0u);
    EXPECT_FALSE(app.window_visible());
}

}  // namespace
}  // namespace tavc::test
