// The demo pages through the real assistant program: the item line with its running total, the speech
// page and the text page with its colour, checked at the terminal, the driver and the remembered texts.
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "counter_road_fixture.h"
#include "registry.h"

namespace tavc::test {
namespace {

using Kind = TerminalCommand::Kind;

// The tool-bar buttons' centres in the window, and their menus' items from the top.
constexpr int kBasicMenu = 2 + 27;      // "基本操作": 登录, 请求评价, 唱收唱付
constexpr int kDemoMenu = 2 + 63 + 27;  // "功能演示": 客显屏, 语音合成, 文字显示
constexpr int kCashierItem = 3;

bool ChooseMenuItem(CounterRoad& road, int menu, int item) {
    AssistantProgram& app = road.app();
    if (!road.click(menu, 16) || !app.wait_popup()) return false;
    std::string keys;
    for (int i = 0; i < item; ++i) keys += "Down ";
    return app.key(keys + "Return");
}

std::optional<std::string> Tip(const std::string& name) {
    std::optional<registry::Key> key =
        registry::Key::open(registry::Hive::CurrentUser, "Software\\TAVC\\Tips", false);
    if (!key) return std::nullopt;
    std::optional<registry::Value> value = key->read(name);
    return value ? std::optional<std::string>(value->text) : std::nullopt;
}

// The remembered text once it is `expected` (the program writes it after its terminal command), or as
// it stands after a few seconds.
std::optional<std::string> TipBecomes(const std::string& name, const std::string& expected) {
    std::optional<std::string> value;
    for (int i = 0; i < 250 && (value = Tip(name)) != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return value;
}

// "PJ31" and the three texts of one item line.
void ExpectItemLine(CounterRoad& road, const std::string& amount, const std::string& total) {
    std::vector<TerminalCommand> commands = road.next_commands(4);
    ASSERT_EQ(commands.size(), 4u);
    ExpectScreen(commands[0], "31");
    ExpectText(commands[1], 80, 318, Gbk("头袍拉定"));
    ExpectText(commands[2], 80, 356, amount);
    ExpectText(commands[3], 80, 436, total);
}

TEST_F(CounterRoadTest, DemoPagesSendTheirLinesTextsAndSpeech) {
    ASSERT_TRUE(road.start(true));
    AssistantProgram& app = road.app();
    ASSERT_TRUE(app.focus_main());

    // The first demo page: the item-line page with the remembered defaults; the total runs on.
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 1));
    ASSERT_TRUE(app.probe().wait_for("item-line page shown"));
    ASSERT_TRUE(app.key("Return"));
    ExpectItemLine(road, "12.00", "12.00");
    ASSERT_TRUE(app.key("Return"));
    ExpectItemLine(road, "12.00", "24.00");
    EXPECT_EQ(TipBecomes("ItemName", Gbk("头袍拉定")), Gbk("头袍拉定"));
    EXPECT_EQ(TipBecomes("Price", "12.0"), "12.0");
    EXPECT_EQ(TipBecomes("Count", "1"), "1");

    // Another demo page and back sets the total to 0; the cashier page and back keeps it.
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 2));
    ASSERT_TRUE(app.probe().wait_for("speech page shown"));
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 1));
    ASSERT_TRUE(app.probe().wait_for("item-line page shown"));
    ASSERT_TRUE(app.key("Return"));
    ExpectItemLine(road, "12.00", "12.00");
    ASSERT_TRUE(ChooseMenuItem(road, kBasicMenu, kCashierItem));
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 1));
    ASSERT_TRUE(app.key("Return"));
    ExpectItemLine(road, "12.00", "24.00");
    EXPECT_EQ(app.probe().count_after("item-line page shown"), 0u);

    // A bad quantity, then a bad price (reported first): nothing sent, the total and the texts kept.
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 2));
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 1));
    ASSERT_TRUE(app.probe().wait_for("item-line page shown"));
    ASSERT_TRUE(app.key("Tab Tab"));
    ASSERT_TRUE(road.retype("1.5"));
    ASSERT_TRUE(app.key("Return"));
    ASSERT_TRUE(road.answer_error("'1.5' is not a valid integer value."));
    ASSERT_TRUE(app.key("shift+Tab"));
    ASSERT_TRUE(road.retype(""));
    ASSERT_TRUE(app.key("Return"));
    ASSERT_TRUE(road.answer_error("'' is not a valid floating point value."));
    EXPECT_TRUE(road.nothing_more());
    EXPECT_EQ(TipBecomes("Price", "12.0"), "12.0");
    EXPECT_EQ(TipBecomes("Count", "1"), "1");
    ASSERT_TRUE(road.retype("2.5"));
    ASSERT_TRUE(app.key("Tab"));
    ASSERT_TRUE(road.retype("-3"));
    ASSERT_TRUE(app.key("Return"));
    ExpectItemLine(road, "-7.50", "-7.50");
    EXPECT_EQ(TipBecomes("Price", "2.5"), "2.5");
    EXPECT_EQ(TipBecomes("Count", "-3"), "-3");

    // The text page clears the screen when it becomes the active page, not when it is shown again.
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 3));
    ASSERT_TRUE(app.probe().wait_for("text page shown"));
    std::vector<TerminalCommand> commands = road.next_commands(1);
    ASSERT_EQ(commands.size(), 1u);
    ExpectScreen(commands[0], "29");
    ASSERT_TRUE(ChooseMenuItem(road, kBasicMenu, kCashierItem));
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 3));
    EXPECT_TRUE(road.nothing_more());
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 2));
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 3));
    ASSERT_TRUE(app.probe().wait_for("text page shown"));
    commands = road.next_commands(1);
    ASSERT_EQ(commands.size(), 1u);
    ExpectScreen(commands[0], "29");

    // The text in the swatch's red at (1, 318); the first colour dialog opens on black, whose choice
    // then draws the text.
    ASSERT_TRUE(app.key("Return"));
    commands = road.next_commands(1);
    ASSERT_EQ(commands.size(), 1u);
    ExpectText(commands[0], 1, 318, Gbk("星辰科技创造奇迹"));
    EXPECT_EQ(commands[0].color, 0xF800);
    EXPECT_EQ(TipBecomes("Msg", Gbk("星辰科技创造奇迹")), Gbk("星辰科技创造奇迹"));
    ASSERT_TRUE(app.key("Tab Tab Tab Tab space"));
    ASSERT_TRUE(app.probe().wait_for("colour dialog #000000"));
    // Qt's own texts, in Chinese whatever the locale.
    EXPECT_TRUE(app.probe().wait_for("colour dialog texts 选择颜色|基本颜色(&B)|"));
    EXPECT_TRUE(app.probe().wait_for("确定|取消"));
    ASSERT_TRUE(app.answer_box("选择颜色", "Return"));
    ASSERT_TRUE(app.wait_box_gone("选择颜色"));
    ASSERT_TRUE(app.key("Return"));
    commands = road.next_commands(1);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].kind, Kind::Text);
    EXPECT_EQ(commands[0].color, 0);

    // Two lines in the memo: the text goes whole and is remembered whole, the driver speaks its first word.
    ASSERT_TRUE(ChooseMenuItem(road, kDemoMenu, 2));
    ASSERT_TRUE(app.probe().wait_for("speech page shown"));
    ASSERT_TRUE(app.type("ab cd"));
    ASSERT_TRUE(app.key("Return"));
    ASSERT_TRUE(app.type("ef"));
    ASSERT_TRUE(road.click(8 + 48 + 37, 36 + 21 + 80 + 8));  // "播放"
    EXPECT_EQ(road.next_calls(1), (std::vector<DriverCall>{DriverCall("TAVSpeak", {"ab", 0})}));
    EXPECT_EQ(TipBecomes("Voice", "ab cd\r\nef"), "ab cd\r\nef");
    // One line replaces it, remembered as typed.
    ASSERT_TRUE(road.click(8 + 8 + 60, 36 + 21 + 16 + 20));  // into the memo
    ASSERT_TRUE(app.key("ctrl+a"));
    ASSERT_TRUE(app.type("gh ij"));
    ASSERT_TRUE(road.click(8 + 48 + 37, 36 + 21 + 80 + 8));
    EXPECT_EQ(road.next_calls(1), (std::vector<DriverCall>{DriverCall("TAVSpeak", {"gh", 0})}));
    EXPECT_EQ(TipBecomes("Voice", "gh ij"), "gh ij");
    EXPECT_TRUE(road.nothing_more());
}

}  // namespace
}  // namespace tavc::test
