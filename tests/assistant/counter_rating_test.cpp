// The customer rating through the real assistant program: every answer of the terminal at both steps,
// with the rating text shown or not and the second step on or off, checked at the terminal, the driver
// and the cache file; failures, silence and requests made while one is waiting.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "counter_road_fixture.h"

namespace tavc::test {
namespace {

using Kind = TerminalCommand::Kind;

const std::string kUndefined = "未定义的评价结果. 忽略!";
const std::string kNoTerminal = "无法与设备通信,请检查硬件连接!";

// One request and the terminal's answers to its queries, in order.
struct RatingRow {
    const char* answers;
    const char* code = nullptr;  // stored; none: nothing stored (an answer outside the first step's table)
    const char* text = "";  // after "评价结果：" when shown; also the stored detail at the second step
    bool second_step = false;
};

struct RatingTable {
    const char* name;
    bool show_remark;
    bool remark_level2;
    std::vector<RatingRow> rows;
};

const std::vector<RatingRow> kFirstStep = {
    {"I", "I", "非常满意"},     {"J", "J", "满意"},   {"K", "K", "一般"}, {"L", "L", "不满意"},
    {"V", "V", "用户没有按键"}, {"NNJ", "J", "满意"}, {"X", nullptr},     {"\x01", nullptr},
};
const std::vector<RatingRow> kSecondStep = {
    {"MI", "M", "业务流程不熟悉", true},   {"MJ", "M", "业务流程不熟悉", true},
    {"MK", "M", "未列出不满意原因", true}, {"MV", "M", "未列出不满意原因", true},
    {"ML", "M", "服务态度不好", true},     {"MM", "M", "服务态度不好", true},
    {"MNL", "M", "服务态度不好", true},    {"MX", "M", "", true},
};

std::vector<RatingRow> Rows(std::vector<RatingRow> a, const std::vector<RatingRow>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const RatingTable kTables[] = {
    {"ShownWithSecondStep", true, true, Rows(kFirstStep, kSecondStep)},
    {"HiddenWithoutSecondStep", false, false, Rows(kFirstStep, {{"M", "M", "非常不满意"}})},
    {"ShownWithoutSecondStep", true, false, {{"M", "M", "非常不满意"}, {"K", "K", "一般"}}},
    {"HiddenWithSecondStep",
     false,
     true,
     {{"MI", "M", "业务流程不熟悉", true}, {"MX", "M", "", true}, {"V", "V", "用户没有按键"}}},
};

class RatingTableTest : public CounterRoadTest, public ::testing::WithParamInterface<RatingTable> {};

TEST_P(RatingTableTest, EachAnswerIsStoredOnceWithItsTextOrIgnored) {
    const RatingTable& table = GetParam();
    road.set_setting("show_Remark", table.show_remark);
    road.set_setting("Remarklevel2", table.remark_level2);
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();
    std::vector<std::string> stored;
    for (const RatingRow& row : table.rows) {
        SCOPED_TRACE(std::string("answers ") + row.answers);
        const std::string answers = row.answers;
        road.terminal().answer_queries(answers);
        ASSERT_TRUE(road.request_rating());

        std::vector<DriverCall> speech{DriverCall("TAVSpeak", {Gbk(kRatingRequest), 0})};
        if (row.code == nullptr) {
            ASSERT_TRUE(app.probe().wait_for("panel0 " + kUndefined));
        } else {
            const std::string shown = table.show_remark ? "评价结果：" + std::string(row.text) : "客户已评价";
            ASSERT_TRUE(app.probe().wait_for("panel0 " + shown));
            ASSERT_TRUE(app.probe().wait_for("rating request enabled"));
            EXPECT_TRUE(app.wait_visible(false));
            if (row.second_step) speech.push_back(DriverCall("TAVSpeak", {Gbk(kReasonRequest), 0}));
            speech.push_back(DriverCall("TAVSpeak", {Gbk(kThanks), 0}));
            stored.push_back(std::string("0001,") + row.code + "," + (row.second_step ? Gbk(row.text) : ""));
        }

        // "PJ21", a query per answer, and "PJ28" after the first step's "M" when the second step follows.
        std::vector<TerminalCommand> commands = road.next_commands(1 + answers.size() + row.second_step);
        ASSERT_EQ(commands.size(), 1 + answers.size() + row.second_step);
        ExpectScreen(commands[0], "21");
        for (size_t i = 1; i < commands.size(); ++i) {
            if (row.second_step && i == 2) {
                ExpectScreen(commands[i], "28");
            } else {
                EXPECT_EQ(commands[i].kind, Kind::Query) << i;
            }
        }
        EXPECT_EQ(road.next_calls(speech.size()), speech);
        EXPECT_EQ(road.cached_ratings(), stored);
        // The poll stopped with the answer: no further query, nothing stored twice.
        EXPECT_TRUE(road.next_commands(1, std::chrono::milliseconds(0)).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, RatingTableTest, ::testing::ValuesIn(kTables),
                         [](const ::testing::TestParamInfo<RatingTable>& param) { return param.param.name; });

// The status texts the program set after its line `after` (the last one so written).
std::vector<std::string> StatusTextsAfter(AssistantProgram& app, const std::string& after) {
    std::vector<std::string> lines = app.probe().lines();
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        if (line == after) {
            out.clear();
            continue;
        }
        if (line.rfind("panel0 ", 0) == 0) out.push_back(line.substr(7));
    }
    return out;
}

TEST_F(CounterRoadTest, FailuresSilenceAndNewRequestsLeaveEachAnswerStoredOnce) {
    road.set_setting("show_Remark", 1);
    road.set_setting("Remarklevel2", 1);
    ASSERT_TRUE(road.start());
    AssistantProgram& app = road.app();
    TerminalSimulator& terminal = road.terminal();
    const auto all_commands = [&] { return road.next_commands(1000, std::chrono::milliseconds(0)); };

    // No answer at the first step: the message, then the status text; nothing stored or spoken.
    ASSERT_TRUE(road.request_rating());
    ASSERT_TRUE(road.answer_message(kNoTerminal));
    ASSERT_TRUE(app.probe().wait_for("panel0 通信失败."));
    std::vector<TerminalCommand> commands = road.next_commands(2);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].kind, Kind::Query);
    EXPECT_EQ(road.next_calls(1),
              (std::vector<DriverCall>{DriverCall("TAVSpeak", {Gbk(kRatingRequest), 0})}));
    EXPECT_TRUE(road.next_commands(1, std::chrono::milliseconds(1500)).empty());
    EXPECT_TRUE(road.cached_ratings().empty());
    EXPECT_TRUE(app.window_visible());

    // No answer at the second step: the poll goes on silently until the customer answers.
    terminal.answer_queries("M");
    ASSERT_TRUE(road.request_rating());
    ASSERT_TRUE(app.probe().wait_for("panel0 等待进一步评价"));
    ASSERT_EQ(road.next_commands(5, std::chrono::seconds(10)).size(), 5u);  // PJ21, PJQ, PJ28, PJQ, PJQ
    terminal.answer_queries("L");
    ASSERT_TRUE(app.probe().wait_for("rating request enabled"));
    EXPECT_EQ(StatusTextsAfter(app, "panel0 等待进一步评价"),
              (std::vector<std::string>{"评价结果：服务态度不好", ""}));
    EXPECT_EQ(app.probe().count_after("box "), 0u);
    for (const TerminalCommand& query : all_commands()) EXPECT_EQ(query.kind, Kind::Query);
    EXPECT_EQ(road.cached_ratings(), (std::vector<std::string>{"0001,M," + Gbk("服务态度不好")}));
    road.next_calls(3);

    // A request while the first step waits starts it again; the answer is stored once.
    terminal.answer_unscripted_queries('N');
    ASSERT_TRUE(road.request_rating());
    ASSERT_EQ(road.next_commands(3, std::chrono::seconds(10)).size(), 3u);  // PJ21, PJQ, PJQ
    ASSERT_TRUE(road.request_rating());
    terminal.answer_queries("I");
    ASSERT_TRUE(app.probe().wait_for("rating request enabled"));
    commands = all_commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](auto& c) { return c.code == "21"; }), 1);
    EXPECT_EQ(road.cached_ratings().size(), 2u);
    EXPECT_EQ(road.cached_ratings().back(), "0001,I,");

    // A request while the second step waits ends that poll: the next answer is a first-step answer, stored
    // once, and no poll reads the terminal after it.
    terminal.answer_queries("M");
    ASSERT_TRUE(road.request_rating());
    ASSERT_TRUE(app.probe().wait_for("panel0 等待进一步评价"));
    ASSERT_FALSE(road.next_commands(5, std::chrono::seconds(10)).empty());
    ASSERT_TRUE(road.request_rating());
    terminal.answer_queries("K");
    ASSERT_TRUE(app.probe().wait_for("rating request enabled"));
    all_commands();
    EXPECT_TRUE(road.next_commands(1, std::chrono::milliseconds(1500)).empty());
    terminal.answer_unscripted_queries(std::nullopt);
    EXPECT_EQ(road.cached_ratings().size(), 3u);
    EXPECT_EQ(road.cached_ratings().back(), "0001,K,");

    // A double click on the window's own surface (between the pages and the status bar) queries once and
    // shows the answer, or that the terminal did not answer.
    ASSERT_TRUE(road.hot_key(2));
    ASSERT_TRUE(app.wait_visible(true));
    ASSERT_TRUE(road.click(150, 179, 2));
    ASSERT_TRUE(road.answer_message(kNoTerminal));
    terminal.answer_queries("N");
    ASSERT_TRUE(road.click(150, 179, 2));
    ASSERT_TRUE(road.answer_message("N"));
    commands = all_commands();
    ASSERT_EQ(commands.size(), 2u);
    for (const TerminalCommand& query : commands) EXPECT_EQ(query.kind, Kind::Query);
    EXPECT_EQ(road.cached_ratings().size(), 3u);
}

}  // namespace
}  // namespace tavc::test
