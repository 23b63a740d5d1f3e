// One customer's whole road at the counter, through the real assistant program: the hot keys under a
// real X server with a notification area, the terminal on its serial port, the agent and the driver on
// a session bus, the rating in the cache file and on the rating server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "counter_road_fixture.h"
#include "rating_server_fake.h"

namespace tavc::test {
namespace {

using Kind = TerminalCommand::Kind;

TEST_F(CounterRoadTest, WelcomeAmountsRatingAndUploadRunFromTheHotKeysToTheServer) {
    if (!road.own_network()) GTEST_SKIP() << "no network of the test's own for the rating server";
    FakeRatingServer server({}, 80);
    road.terminal().answer_queries("NNI");
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();

    // Win+1: the welcome screen and the greeting; the due amount, Enter.
    ASSERT_TRUE(road.hot_key(1));
    ASSERT_TRUE(app.probe().wait_for("cashier focus Edit1"));
    std::vector<TerminalCommand> commands = road.next_commands(1);
    ASSERT_EQ(commands.size(), 1u);
    ExpectScreen(commands[0], "22");
    std::vector<DriverCall> calls = road.next_calls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], DriverCall("TAVSpeak", {Gbk("您好,欢迎光临"), 0}));
    ASSERT_TRUE(road.retype("12"));
    ASSERT_TRUE(app.key("Return"));
    commands = road.next_commands(2);
    ASSERT_EQ(commands.size(), 2u);
    ExpectScreen(commands[0], "23");
    ExpectText(commands[1], 96, 318, "12.00");
    EXPECT_EQ(road.next_calls(1), (std::vector<DriverCall>{DriverCall("SoundOut", {"12.00_P"})}));
    EXPECT_TRUE(app.wait_visible(false));

    // Win+2: the amount received, Enter computes the change, Enter shows and speaks the pair.
    ASSERT_TRUE(road.hot_key(2));
    ASSERT_TRUE(app.probe().wait_for("cashier focus Edit2"));
    ASSERT_TRUE(road.retype("100"));
    ASSERT_TRUE(app.key("Return"));
    ASSERT_TRUE(app.probe().wait_for("cashier fields 12|100|88.00 default Button3"));
    ASSERT_TRUE(app.key("Return"));
    commands = road.next_commands(3);
    ASSERT_EQ(commands.size(), 3u);
    ExpectScreen(commands[0], "24");
    ExpectText(commands[1], 96, 318, "100.00");
    ExpectText(commands[2], 96, 354, "88.00");
    EXPECT_EQ(road.next_calls(3),
              (std::vector<DriverCall>{DriverCall("SoundOut", {"100.00_k"}),
                                       DriverCall("SoundOut", {"88.00_b"}), DriverCall("SoundOut", {"_C"})}));
    ASSERT_TRUE(app.probe().wait_for("cashier fields 0|0|0"));
    EXPECT_TRUE(app.wait_visible(false));

    // Win+4: the request, two polls without an answer, then "very satisfied".
    ASSERT_TRUE(road.hot_key(4));
    ASSERT_TRUE(app.probe().wait_for("rating request enabled", std::chrono::seconds(15)));
    commands = road.next_commands(4);
    ASSERT_EQ(commands.size(), 4u);
    ExpectScreen(commands[0], "21");
    for (size_t i = 1; i < 4; ++i) EXPECT_EQ(commands[i].kind, Kind::Query);
    EXPECT_EQ(road.next_calls(2),
              (std::vector<DriverCall>{DriverCall("TAVSpeak", {Gbk("请您选择按钮,评价我们的服务"), 0}),
                                       DriverCall("TAVSpeak", {Gbk(kThanks), 0})}));
    EXPECT_EQ(road.cached_ratings(), std::vector<std::string>{"0001,I,"});
    EXPECT_TRUE(app.wait_visible(false));
    EXPECT_TRUE(road.nothing_more());

    // Closing uploads the rating and empties the cache.
    ASSERT_TRUE(app.request_close());
    ASSERT_TRUE(app.answer_box("ORB-100小助手", "Return"));
    ASSERT_EQ(app.main_process()->wait(std::chrono::seconds(20)), 0);
    std::vector<RatingRequest> requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].page, "sremark.asp");
    EXPECT_EQ(requests[0].query("user"), "0001");
    EXPECT_EQ(requests[0].query("remark"), "I");
    EXPECT_TRUE(road.cached_ratings().empty());
}

// One row: the due amount after Win+1 and Enter, then Win+2 (received) or Win+3 (change) with its text,
// Enter (and Enter again after Win+2).
struct CashierCase {
    const char* name;
    const char* due;
    const char* due_error = nullptr;  // the due step fails: nothing after it
    const char* due_text = nullptr;
    int key = 2;
    const char* typed = nullptr;
    const char* step_error = nullptr;  // the received (Win+2) or the final step fails
    const char* change = nullptr;      // Win+2: the change field after the first Enter
    std::vector<std::string> pair;     // received and change at the terminal; empty: nothing sent
};

const CashierCase kCashierCases[] = {
    {.name = "received above due",
     .due = "12.5",
     .due_text = "12.50",
     .typed = "100",
     .change = "87.50",
     .pair = {"100.00", "87.50"}},
    {.name = "change typed directly",
     .due = "12.5",
     .due_text = "12.50",
     .key = 3,
     .typed = "7.5",
     .pair = {"20.00", "7.50"}},
    {.name = "received below due",
     .due = "12.5",
     .due_text = "12.50",
     .typed = "10",
     .change = "-2.50",
     .pair = {"10.00", "-2.50"}},
    {.name = "blanks, sign and exponent",
     .due = " 1.25e1 ",
     .due_text = "12.50",
     .typed = "+100",
     .change = "87.50",
     .pair = {"100.00", "87.50"}},
    {.name = "a bad due amount sends nothing",
     .due = "12,5",
     .due_error = "'12,5' is not a valid floating point value."},
    {.name = "a bad change sends nothing and resets the fields",
     .due = "12",
     .due_text = "12.00",
     .key = 3,
     .typed = "abc",
     .step_error = "'abc' is not a valid floating point value."},
    {.name = "a bad received amount still moves on to the change",
     .due = "12",
     .due_text = "12.00",
     .typed = "1 2",
     .step_error = "'1 2' is not a valid floating point value.",
     .change = "0",
     .pair = {"12.00", "0.00"}},
};

TEST_F(CounterRoadTest, CashierStepsSendTheirAmountsAndABadFieldSendsNothing) {
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();
    // A hot key while the window has the keyboard focus only hides it.
    ASSERT_TRUE(road.hot_key(2));
    ASSERT_TRUE(app.probe().wait_for("cashier focus Edit2"));
    ASSERT_TRUE(app.focus_main());
    ASSERT_TRUE(road.hot_key(2));
    ASSERT_TRUE(app.wait_visible(false));
    for (const CashierCase& c : kCashierCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(road.hot_key(1));
        ASSERT_TRUE(app.probe().wait_for("cashier focus Edit1"));
        ASSERT_EQ(road.next_commands(1).size(), 1u);
        EXPECT_EQ(road.next_calls(1),
                  (std::vector<DriverCall>{DriverCall("TAVSpeak", {Gbk("您好,欢迎光临"), 0})}));
        ASSERT_TRUE(road.retype(c.due));
        ASSERT_TRUE(app.key("Return"));
        if (c.due_error != nullptr) {
            ASSERT_TRUE(road.answer_error(c.due_error));
            EXPECT_TRUE(app.wait_visible(false));
            EXPECT_TRUE(road.nothing_more());
            continue;
        }
        std::vector<TerminalCommand> commands = road.next_commands(2);
        ASSERT_EQ(commands.size(), 2u);
        ExpectScreen(commands[0], "23");
        ExpectText(commands[1], 96, 318, c.due_text);
        EXPECT_EQ(road.next_calls(1),
                  (std::vector<DriverCall>{DriverCall("SoundOut", {c.due_text + std::string("_P")})}));
        ASSERT_TRUE(app.wait_visible(false));

        ASSERT_TRUE(road.hot_key(c.key));
        ASSERT_TRUE(app.probe().wait_for("cashier focus Edit" + std::to_string(c.key)));
        ASSERT_TRUE(road.retype(c.typed));
        ASSERT_TRUE(app.key("Return"));
        if (c.key == 2) {
            ASSERT_TRUE(app.probe().wait_for(std::string("cashier fields ") + c.due + "|" + c.typed + "|" +
                                             c.change + " default Button3"));
            if (c.step_error != nullptr) {
                ASSERT_TRUE(road.answer_error(c.step_error));
            }
            ASSERT_TRUE(app.key("Return"));
        }
        // The last step resets the fields and hides the window before a failure is reported.
        ASSERT_TRUE(app.probe().wait_for("cashier fields 0|0|0"));
        if (c.key == 3 && c.step_error != nullptr) {
            ASSERT_TRUE(road.answer_error(c.step_error));
        }
        if (c.pair.empty()) {
            EXPECT_TRUE(road.nothing_more());
        } else {
            commands = road.next_commands(3);
            ASSERT_EQ(commands.size(), 3u);
            ExpectScreen(commands[0], "24");
            ExpectText(commands[1], 96, 318, c.pair[0]);
            ExpectText(commands[2], 96, 354, c.pair[1]);
            EXPECT_EQ(road.next_calls(3), (std::vector<DriverCall>{DriverCall("SoundOut", {c.pair[0] + "_k"}),
                                                                   DriverCall("SoundOut", {c.pair[1] + "_b"}),
                                                                   DriverCall("SoundOut", {"_C"})}));
        }
        EXPECT_TRUE(app.wait_visible(false));
    }
}

}  // namespace
}  // namespace tavc::test
