// The assistant program tavcclt run for real: on a test X server with a notification area, its serial
// port on the terminal simulator's pty, its server on loopback port 80 in a network of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "assistant_program.h"
#include "keyboard.h"
#include "planted_fifo.h"
#include "profile.h"
#include "rating_server_fake.h"
#include "registry.h"
#include "terminal_simulator.h"

namespace tavc::test {
namespace {

using registry::Hive;
using registry::Key;
using registry::Value;
using registry::ValueType;

const std::string kTitle = "ORB-100小助手";
const std::string kSettings = "Software\\TAVC\\Settings";
const std::string kUploadAtClose =
    "无法连接服务器上传本地缓存的评价数据. 下次小助手启动并选择远程登陆时将再次尝试!";

class AssistantProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        network_ = own_network_namespace();  // before any thread or server starts
        desktop_ = std::make_unique<Desktop>();
        if (!desktop_->ready()) GTEST_SKIP() << desktop_->why();
        app_ = std::make_unique<AssistantProgram>(ProgramName());
        ASSERT_TRUE(app_->ok()) << app_->error();
        config_ = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", app_->config_home());
    }
    // The program goes first; the desktop after the members declared after it.
    void TearDown() override { app_.reset(); }
    virtual std::string ProgramName() const { return "tavcclt"; }

    static std::optional<Value> Setting(const std::string& name) {
        std::optional<Key> key = Key::open(Hive::CurrentUser, kSettings, false);
        return key ? key->read(name) : std::nullopt;
    }
    // The setting once it is `expected` (the program writes it as it goes), or as it stands after a few
    // seconds.
    static std::optional<Value> SettingBecomes(const std::string& name, const Value& expected) {
        std::optional<Value> value;
        for (int i = 0; i < 500 && (value = Setting(name)) != expected; ++i)
            std::this_thread::sleep_for(20ms);
        return value;
    }
    static void Store(const std::string& name, const Value& value) {
        Key::open(Hive::CurrentUser, kSettings, true)->write(name, value);
    }
    // A login the server once confirmed, as the library caches it beside the program.
    void CacheLogin(const std::string& user, const std::string& password) const {
        ASSERT_TRUE(profile::write(app_->folder() + "/tavc.cache", CacheHex("Logins"), CacheHex(user),
                                   CacheHex(password)));
    }
    void CacheRating() const {
        ASSERT_TRUE(profile::write(app_->folder() + "/tavc.cache", CacheHex("Remarks"),
                                   CacheHex("2026-01-02%2003:04:05"), CacheHex("0001,I,")));
    }
    // Starts the program on the terminal simulator's port 1 and waits for its login page.
    void StartOnTerminal(TerminalSimulator& terminal) {
        if (!terminal.ready()) GTEST_SKIP() << terminal.error();
        terminal.link_as_port(app_->config_home(), 1);
        ASSERT_TRUE(app_->start_and_wait());
        ASSERT_TRUE(app_->probe().wait_for("login page"));
    }
    // Types the password on the login page (the id field has the focus) and presses Enter.
    void LogIn(const std::string& id, const std::string& password, bool offline = true) {
        ASSERT_TRUE(app_->focus_main());
        if (!id.empty()) {
            ASSERT_TRUE(app_->key("ctrl+a"));
            ASSERT_TRUE(app_->type(id));
        }
        ASSERT_TRUE(app_->key("Return"));  // Enter in the id field moves on to the password
        ASSERT_TRUE(app_->type(password));
        if (!offline) {
            ASSERT_TRUE(app_->key("Tab Tab Tab space shift+Tab shift+Tab shift+Tab"));
        }
        ASSERT_TRUE(app_->key("Return"));
    }
    void ExpectBox(const std::string& text) {
        ASSERT_TRUE(app_->probe().wait_for("box " + ProgramName() + "|" + text)) << text;
        ASSERT_TRUE(app_->answer_box(ProgramName(), "Return"));
    }
    // Asks the program to close, answers Yes and the upload message, and waits for its end.
    void CloseWithYes() {
        ASSERT_TRUE(app_->request_close());
        ASSERT_TRUE(app_->answer_box(kTitle, "Return"));
        ExpectBox(kUploadAtClose);
        std::optional<int> code = app_->main_process()->wait(20s);
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, 0);
    }

    bool network_ = false;
    std::unique_ptr<Desktop> desktop_;
    std::unique_ptr<AssistantProgram> app_;
    std::unique_ptr<ScopedEnv> config_;
};

TEST_F(AssistantProgramTest, FirstStartShowsTheLoginPageCentredAndClosingSavesTheSevenSettings) {
    if (!network_) GTEST_SKIP() << "no network of the test's own: port 80 may be served on this machine";
    CacheRating();  // so that the upload at close has something to send
    ASSERT_TRUE(app_->start_and_wait());
    EXPECT_TRUE(app_->probe().wait_for("login page id=0001 selected=0001 button5=0"));
    std::optional<std::pair<int, int>> position = app_->window_position();
    ASSERT_TRUE(position.has_value());
    EXPECT_NEAR(position->first, (640 - 302) / 2, 2);
    EXPECT_NEAR(position->second, (480 - 201) / 2, 2);
    EXPECT_FALSE(Setting("Comport").has_value());

    CloseWithYes();
    EXPECT_EQ(Setting("DNSStr"), (Value{ValueType::String, "http://127.0.0.1/tavc/"}));
    EXPECT_EQ(Setting("usrid"), (Value{ValueType::String, "0001"}));
    EXPECT_EQ(Setting("ErrLog_filename"), (Value{ValueType::String, app_->program() + ".log"}));
    EXPECT_EQ(Setting("demo_mode"), (Value{ValueType::Dword, "", 1}));
    EXPECT_EQ(Setting("Remarklevel2"), (Value{ValueType::Dword, "", 0}));
    EXPECT_EQ(Setting("Comport"), (Value{ValueType::Dword, "", 1}));
    EXPECT_EQ(Setting("show_Remark"), (Value{ValueType::Dword, "", 0}));
    EXPECT_FALSE(Setting("BAUND_RATE").has_value());
}

TEST_F(AssistantProgramTest, ASecondStartHidesAVisibleWindowAndBringsAHiddenOneBackOnTheLoginPage) {
    ASSERT_TRUE(app_->start_and_wait());
    ASSERT_TRUE(app_->probe().wait_for("login page"));

    std::unique_ptr<ChildProcess> second = app_->start();
    EXPECT_EQ(second->wait(10s), 0);
    EXPECT_TRUE(app_->probe().wait_for("tray add ORB-100小助手-就绪... available=1"));
    EXPECT_TRUE(app_->wait_visible(false));

    second = app_->start();
    EXPECT_EQ(second->wait(10s), 0);
    EXPECT_TRUE(app_->probe().wait_for("tray delete"));
    EXPECT_TRUE(app_->probe().wait_for("login page id=0001 selected=0001 button5=0"));
    EXPECT_TRUE(app_->wait_visible(true));
    // Neither second start made a window of its own.
    EXPECT_EQ(
        run_tool({program_on_path("xdotool"), "search", "--name", "^" + kTitle + "$"}).value_or("").size(),
        app_->main_window().size() + 1);
}

TEST_F(AssistantProgramTest, ACopyUnderAnotherFileNameRunsAsItsOwnInstance) {
    ASSERT_TRUE(app_->start_and_wait());
    app_->copy_as("tavcclt-copy");
    std::unique_ptr<ChildProcess> copy = app_->start("tavcclt-copy");
    // Both windows are visible: the copy made its own instead of hiding the first.
    bool two = false;
    for (int i = 0; i < 500 && !two; ++i) {
        std::string out =
            run_tool({program_on_path("xdotool"), "search", "--onlyvisible", "--name", "^" + kTitle + "$"})
                .value_or("");
        two = std::count(out.begin(), out.end(), '\n') == 2;
        if (!two) std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(two);
    EXPECT_TRUE(app_->window_visible());
    EXPECT_FALSE(copy->wait(0ms).has_value());
}

TEST_F(AssistantProgramTest, TheExitQuestionAnsweredNoHidesAndTheTrayMenuRestores) {
    if (!network_) GTEST_SKIP() << "no network of the test's own";
    CacheRating();
    ASSERT_TRUE(app_->start_and_wait());
    ASSERT_TRUE(app_->request_close());
    ASSERT_TRUE(app_->probe().wait_for("question " + kTitle + "|是否要退出ORB-100小助手?"));
    ASSERT_TRUE(app_->answer_box(kTitle, "Escape"));
    EXPECT_TRUE(app_->probe().wait_for("tray add ORB-100小助手-就绪..."));
    EXPECT_TRUE(app_->wait_visible(false));

    // A double click on the icon restores the window; a single click does nothing.
    ASSERT_TRUE(app_->tray_click(1));
    ASSERT_TRUE(app_->tray_click(1, true));
    EXPECT_TRUE(app_->probe().wait_for("tray delete"));
    EXPECT_TRUE(app_->wait_visible(true));
    EXPECT_EQ(app_->probe().count_after("hidden"), 0u);
    ASSERT_TRUE(app_->request_close());
    ASSERT_TRUE(app_->answer_box(kTitle, "Escape"));
    ASSERT_TRUE(app_->probe().wait_for("tray add"));
    ASSERT_TRUE(app_->wait_visible(false));

    // The icon's menu at the cursor, its first item "恢复窗口[&R]".
    ASSERT_TRUE(app_->tray_click(3));
    ASSERT_TRUE(app_->wait_popup());
    ASSERT_TRUE(app_->key("Down Return"));
    EXPECT_TRUE(app_->probe().wait_for("tray delete"));
    EXPECT_TRUE(app_->wait_visible(true));

    ASSERT_TRUE(app_->probe().wait_for("login page"));
    // The close request while hidden asks the question; Yes runs the close steps, whose upload cannot
    // reach the server.
    ASSERT_TRUE(app_->request_close());
    ASSERT_TRUE(app_->answer_box(kTitle, "Escape"));
    ASSERT_TRUE(app_->wait_visible(false));
    CloseWithYes();
    EXPECT_EQ(Setting("usrid"), (Value{ValueType::String, "0001"}));
}

// A stored value of the wrong type ends the creation handler before the hot-key component exists; the
// program still closes cleanly, and the close leaves every value it never read as the clerk's settings
// hold it. The error box's caption is the application title.
struct WrongType {
    const char* name;
    const char* key;
    const char* value_name;
    Value value;
    friend void PrintTo(const WrongType& c, std::ostream* os) { *os << c.name; }
};

class WrongTypeSettingTest : public AssistantProgramTest, public ::testing::WithParamInterface<WrongType> {
    std::string ProgramName() const override { return "TAVCclt.bin"; }
};

TEST_P(WrongTypeSettingTest, IsReportedAndTheCloseKeepsTheStoredSettings) {
    if (!network_) GTEST_SKIP() << "no network of the test's own";
    // A clerk's settings, outside demo mode, with one value of the wrong type.
    Store("DNSStr", Value{ValueType::String, "http://127.0.0.1/tavc/"});
    Store("usrid", Value{ValueType::String, "0042"});
    Store("ErrLog_filename", Value{ValueType::String, "/var/log/counter.log"});
    Store("demo_mode", Value{ValueType::Dword, "", 0});
    Store("Remarklevel2", Value{ValueType::Dword, "", 1});
    Store("Comport", Value{ValueType::Dword, "", 1});
    Store("show_Remark", Value{ValueType::Dword, "", 1});
    Key::open(Hive::CurrentUser, GetParam().key, true)->write(GetParam().value_name, GetParam().value);
    const std::string before = read_file(app_->config_home() + "/tavc/user.reg");
    CacheRating();
    std::unique_ptr<ChildProcess> program = app_->start();
    // No full stop after a closing quote, which sorts below it.
    ASSERT_TRUE(app_->probe().wait_for(std::string("error Tavcclt|Invalid data type for '") +
                                       GetParam().value_name + "'"));
    ASSERT_TRUE(app_->answer_box("Tavcclt", "Return"));
    // Timer2 was not stopped: the window goes to the notification area by itself.
    ASSERT_TRUE(app_->probe().wait_for("tray add"));
    ASSERT_TRUE(app_->request_close());
    ASSERT_TRUE(app_->answer_box(kTitle, "Return"));
    ASSERT_TRUE(app_->probe().wait_for("box Tavcclt|" + kUploadAtClose));
    ASSERT_TRUE(app_->answer_box("Tavcclt", "Return"));
    EXPECT_EQ(program->wait(20s), 0);
    EXPECT_EQ(read_file(app_->config_home() + "/tavc/user.reg"), before);
}

INSTANTIATE_TEST_SUITE_P(
    Values, WrongTypeSettingTest,
    ::testing::Values(
        WrongType{"RememberedText", "Software\\TAVC\\Tips", "ItemName", {ValueType::Dword, "", 7}},
        WrongType{"SecondStep", "Software\\TAVC\\Settings", "Remarklevel2", {ValueType::String, "on"}},
        WrongType{"DemoMode", "Software\\TAVC\\Settings", "demo_mode", {ValueType::String, "yes"}}),
    [](const ::testing::TestParamInfo<WrongType>& param) { return std::string(param.param.name); });

TEST_F(AssistantProgramTest, AnOfflineLoginAgainstTheCachedPairLogsInOnTheTerminalAndHides) {
    TerminalSimulator terminal;
    CacheLogin("0001", "secret");
    StartOnTerminal(terminal);
    LogIn("", "secret");
    std::vector<TerminalCommand> commands = terminal.wait_for_commands(2);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].bytes, "PJDL000000010");
    EXPECT_EQ(commands[1].bytes, "PJ22");
    EXPECT_TRUE(app_->probe().wait_for("logged in"));
    EXPECT_TRUE(app_->probe().wait_for("tray add ORB-100小助手-就绪..."));
    EXPECT_TRUE(app_->wait_visible(false));
    std::optional<std::pair<int, int>> position = app_->window_position();
    ASSERT_TRUE(position.has_value());
    EXPECT_EQ(*position, std::make_pair(640 - 302, 0));
}

TEST_F(AssistantProgramTest, AnOfflineLoginWithAnotherPasswordIsRefused) {
    TerminalSimulator terminal;
    CacheLogin("0001", "secret");
    StartOnTerminal(terminal);
    LogIn("", "wrong");
    ExpectBox("本地数据不能验证用户口令!请尝试远程登陆.");
    // A command sent before the box would be at the terminal within moments: none comes.
    EXPECT_TRUE(terminal.wait_for_commands(1, 500ms).empty());
}

TEST_F(AssistantProgramTest, AFailedTerminalLoginKeepsTheNewIdAndUnlocksNothing) {
    Store("demo_mode", Value{ValueType::Dword, "", 0});
    CacheLogin("0002", "pw");
    ASSERT_TRUE(app_->start_and_wait());  // port 1 leads nowhere
    ASSERT_TRUE(app_->probe().wait_for("locked"));
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    LogIn("0002", "pw");
    ExpectBox("不能登录评价器,请检查设备的硬件连接!");
    EXPECT_EQ(app_->probe().count_after("unlocked"), 0u);
    EXPECT_EQ(app_->probe().count_after("logged in"), 0u);
    std::vector<std::string> lines = app_->probe().lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "panel1 0002"), lines.end());
    EXPECT_TRUE(app_->window_visible());
}

struct ServerCase {
    const char* name;
    std::optional<char> answer;  // none: nothing listens on port 80
    const char* message;
};

class ServerLoginTest : public AssistantProgramTest, public ::testing::WithParamInterface<ServerCase> {};

TEST_P(ServerLoginTest, EachServerResultGivesItsMessage) {
    if (!network_) GTEST_SKIP() << "no network of the test's own";
    TerminalSimulator terminal;
    std::optional<FakeRatingServer> server;
    if (GetParam().answer) {
        char answer = *GetParam().answer;
        server.emplace([answer](const RatingRequest&, size_t) { return RatingReply::answer(answer); }, 80);
    }
    StartOnTerminal(terminal);
    LogIn("", "pw", false);
    ExpectBox(GetParam().message);
    EXPECT_TRUE(terminal.wait_for_commands(1, 500ms).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Results, ServerLoginTest,
    ::testing::Values(ServerCase{"ParametersMissing", '1', "不能登录服务器-参数不足!"},
                      ServerCase{"InvalidUser", '2', "不能登录服务器-无效的用户!"},
                      ServerCase{"InvalidPassword", '3', "不能登录服务器-无效的用户名或口令!"},
                      ServerCase{"NoConnection", std::nullopt, "不能连接服务器-请检查服务器URL的设置!"},
                      ServerCase{"AnotherDigit", '7', "不能登录服务器-响应超时!请检查服务器是否正常运行."}),
    [](const ::testing::TestParamInfo<ServerCase>& param) { return std::string(param.param.name); });

TEST_F(AssistantProgramTest, AServerLoginWhoseUploadFailsStillLogsIn) {
    if (!network_) GTEST_SKIP() << "no network of the test's own";
    TerminalSimulator terminal;
    CacheRating();
    // The login is answered; then the server is gone, so the upload cannot connect.
    FakeRatingServer server(
        [](const RatingRequest&, size_t) {
            RatingReply reply = RatingReply::answer('0');
            reply.refuse_later = true;
            return reply;
        },
        80);
    StartOnTerminal(terminal);
    LogIn("", "pw", false);
    ExpectBox("无法连接服务器上传本地缓存的评价数据. 小助手退出时将再次尝试!");
    std::vector<TerminalCommand> commands = terminal.wait_for_commands(2);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].bytes, "PJDL000000010");
    EXPECT_TRUE(app_->probe().wait_for("logged in"));
    ASSERT_EQ(server.requests(1).size(), 1u);
    EXPECT_EQ(server.requests()[0].page, "slogin.asp");
}

TEST_F(AssistantProgramTest, APortChangeInTheSelectorSavesTheSettingsAndReopensThePort) {
    TerminalSimulator first, second;
    if (!second.ready()) GTEST_SKIP() << second.error();
    second.link_as_port(app_->config_home(), 2);
    CacheLogin("0001", "secret");
    StartOnTerminal(first);
    // The selector on the tool band: open it and take the next item, COM2.
    ASSERT_TRUE(app_->click(215 + 40, 2 + 10));
    ASSERT_TRUE(app_->wait_popup());
    ASSERT_TRUE(app_->key("Down Return"));
    ASSERT_EQ(SettingBecomes("Comport", Value{ValueType::Dword, "", 2}), (Value{ValueType::Dword, "", 2}));
    EXPECT_EQ(Setting("DNSStr"), (Value{ValueType::String, "http://127.0.0.1/tavc/"}));
    EXPECT_EQ(Setting("usrid"), (Value{ValueType::String, "0001"}));
    EXPECT_TRUE(Setting("ErrLog_filename").has_value());
    EXPECT_TRUE(Setting("demo_mode").has_value());
    EXPECT_TRUE(Setting("Remarklevel2").has_value());
    EXPECT_TRUE(Setting("show_Remark").has_value());

    // Hidden and brought back by second starts, the window opens on the login page again.
    for (int i = 0; i < 2; ++i) EXPECT_EQ(app_->start()->wait(10s), 0);
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    LogIn("", "secret");
    std::vector<TerminalCommand> commands = second.wait_for_commands(1);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0].bytes, "PJDL000000010");
    EXPECT_TRUE(first.wait_for_commands(1, 500ms).empty()) << first.received();
}

TEST_F(AssistantProgramTest, AStoredPortOutsideTheListIsStoredAsZeroAtStart) {
    Store("Comport", Value{ValueType::Dword, "", 11});
    ASSERT_TRUE(app_->start_and_wait());
    ASSERT_EQ(SettingBecomes("Comport", Value{ValueType::Dword, "", 0}), (Value{ValueType::Dword, "", 0}));
    EXPECT_EQ(Setting("usrid"), (Value{ValueType::String, "0001"}));  // all seven saved
}

TEST_F(AssistantProgramTest, TheHotKeyHelpShowsItsFifteenLinesAndClosesWithOk) {
    ASSERT_TRUE(app_->start_and_wait());
    // "帮助" on the tool bar, then its second item "热键".
    ASSERT_TRUE(app_->click(2 + 118 + 27, 6 + 10));
    ASSERT_TRUE(app_->wait_popup());
    ASSERT_TRUE(app_->key("Down Down Return"));
    ASSERT_TRUE(app_->probe().wait_for("help lines 15"));
    ASSERT_TRUE(app_->click_in_box("热键定义", 180 + 36, 229 + 10));  // "确定"
    EXPECT_TRUE(app_->wait_box_gone("热键定义"));
    EXPECT_TRUE(app_->window_visible());
}

TEST_F(AssistantProgramTest, TheSettingsDialogRestartsTheProgramWhichThenHoldsThePort) {
    if (!network_) GTEST_SKIP() << "no network of the test's own";
    TerminalSimulator first, second;
    if (!second.ready()) GTEST_SKIP() << second.error();
    second.link_as_port(app_->config_home(), 2);
    CacheLogin("0001", "secret");
    CacheRating();
    StartOnTerminal(first);
    // "帮助" on the tool bar, then its first item "设置".
    ASSERT_TRUE(app_->click(2 + 118 + 27, 6 + 10));
    ASSERT_TRUE(app_->wait_popup());
    ASSERT_TRUE(app_->key("Down Return"));
    // Into the URL field (in the group box at 8, 8), then on to the port, the next one, and OK.
    ASSERT_TRUE(app_->click_in_box("设置", 8 + 105 + 60, 8 + 44 + 10));
    ASSERT_TRUE(app_->key("ctrl+a"));
    ASSERT_TRUE(app_->type("http://127.0.0.1/other/"));
    ASSERT_TRUE(app_->key("Tab Down Return"));
    ExpectBox("设置已经改变。ORB-100小助手将重新启动!");
    // No question: the close steps run and the program starts anew in the same process.
    ExpectBox(kUploadAtClose);
    ASSERT_TRUE(app_->probe().wait_for("closed"));
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    ASSERT_TRUE(app_->wait_visible(true));
    EXPECT_EQ(Setting("DNSStr"), (Value{ValueType::String, "http://127.0.0.1/other/"}));
    EXPECT_EQ(Setting("Comport"), (Value{ValueType::Dword, "", 2}));
    EXPECT_EQ(app_->stderr_text().find("打开串口"), std::string::npos) << app_->stderr_text();

    LogIn("", "secret");
    std::vector<TerminalCommand> commands = second.wait_for_commands(1);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0].bytes, "PJDL000000010");
}

TEST_F(AssistantProgramTest, OutsideDemoModeHotKeysActOnlyAfterALoginAndOnceAfterTwoLogins) {
    TerminalSimulator terminal;
    Store("demo_mode", Value{ValueType::Dword, "", 0});
    CacheLogin("0001", "secret");
    app_->write_hot_keys(usual_hot_keys());
    StartOnTerminal(terminal);
    std::vector<std::string> start = app_->probe().lines();
    EXPECT_NE(std::find(start.begin(), start.end(), "locked"), start.end());

    // Before a login Win+1 does nothing (the id field may see the key): the login that follows is the
    // first thing the terminal sees.
    ASSERT_TRUE(app_->key("super+1"));
    LogIn("0001", "secret");
    ASSERT_TRUE(app_->probe().wait_for("unlocked"));
    ASSERT_TRUE(app_->probe().wait_for("hotkeys registered 5"));
    std::vector<TerminalCommand> commands = terminal.wait_for_commands(2);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].bytes, "PJDL000000010");
    EXPECT_EQ(app_->probe().count_after("hotkey "), 0u);
    for (const std::string& line : app_->probe().lines())
        EXPECT_EQ(line.rfind("hotkey ", 0), std::string::npos);

    // A second login registers again.
    ASSERT_TRUE(app_->wait_visible(false));
    EXPECT_EQ(app_->start()->wait(10s), 0);
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    LogIn("", "secret");
    ASSERT_TRUE(app_->probe().wait_for("hotkeys registered 5"));
    ASSERT_EQ(terminal.wait_for_commands(4).size(), 4u);
    ASSERT_TRUE(app_->wait_visible(false));

    // Win+1 welcomes once and brings the window up; pressed again, it only hides the window.
    ASSERT_TRUE(app_->key("super+1"));
    ASSERT_TRUE(app_->probe().wait_for("hotkey 0 kind 0"));
    ASSERT_TRUE(app_->probe().wait_for("shown"));
    ASSERT_TRUE(app_->key("super+1"));
    ASSERT_TRUE(app_->probe().wait_for("hotkey 0 kind 0"));
    ASSERT_TRUE(app_->probe().wait_for("hidden"));
    commands = terminal.wait_for_commands(5);
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[4].bytes, "PJ22");
    size_t presses = 0;
    for (const std::string& line : app_->probe().lines()) presses += line.rfind("hotkey ", 0) == 0;
    EXPECT_EQ(presses, 2u);
    EXPECT_EQ(terminal.wait_for_commands(6, 500ms).size(), 5u);
}

TEST_F(AssistantProgramTest, TheExitHotKeyAsksTheQuestionAndNoLeavesTheProgramHidden) {
    app_->write_hot_keys(usual_hot_keys());
    ASSERT_TRUE(app_->start_and_wait());
    ASSERT_TRUE(app_->probe().wait_for("hotkeys registered 5"));
    ASSERT_TRUE(app_->start()->wait(10s).has_value());  // hides it
    ASSERT_TRUE(app_->wait_visible(false));
    ASSERT_TRUE(app_->key("super+5"));
    ASSERT_TRUE(app_->probe().wait_for("question "));
    ASSERT_TRUE(app_->answer_box(kTitle, "Escape"));
    // Still running and hidden: the key asks again.
    ASSERT_TRUE(app_->key("super+5"));
    ASSERT_TRUE(app_->probe().wait_for("question "));
    EXPECT_FALSE(app_->window_visible());
    EXPECT_EQ(app_->probe().count_after("shown"), 0u);
    EXPECT_FALSE(app_->main_process()->wait(0ms).has_value());
}

// The probe line "buttons ..." that follows a box's line: the texts on its buttons.
std::string ButtonsOf(ProbeLog& probe) {
    if (!probe.wait_for("buttons ")) return "(no buttons line)";
    std::vector<std::string> lines = probe.lines();
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        if (line->rfind("buttons ", 0) == 0) return line->substr(8);
    return "";
}

TEST_F(AssistantProgramTest, TheStandardButtonsSpeakChinese) {
    ASSERT_TRUE(app_->start_and_wait());
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    // An offline login that the cache cannot confirm: a message with its OK button.
    LogIn("", "pw");
    ASSERT_TRUE(app_->probe().wait_for("box " + ProgramName() + "|"));
    EXPECT_EQ(ButtonsOf(app_->probe()), "确定");
    ASSERT_TRUE(app_->answer_box(ProgramName(), "Return"));
    // The exit question's Yes and No.
    ASSERT_TRUE(app_->request_close());
    ASSERT_TRUE(app_->probe().wait_for("question "));
    std::string buttons = ButtonsOf(app_->probe());
    EXPECT_NE(buttons.find("是"), std::string::npos) << buttons;
    EXPECT_NE(buttons.find("否"), std::string::npos) << buttons;
    EXPECT_EQ(buttons.find("Yes"), std::string::npos) << buttons;
    EXPECT_EQ(buttons.find("No"), std::string::npos) << buttons;
    ASSERT_TRUE(app_->answer_box(kTitle, "Escape"));
}

TEST_F(AssistantProgramTest, TheDialogsOpenAtTheCentreOfTheDesktopAfterALogin) {
    TerminalSimulator terminal;
    CacheLogin("0001", "secret");
    StartOnTerminal(terminal);
    LogIn("", "secret");
    ASSERT_TRUE(app_->probe().wait_for("tray add"));
    ASSERT_TRUE(app_->wait_visible(false));
    ASSERT_EQ(app_->start()->wait(10s), 0);  // back, in the top right corner
    ASSERT_TRUE(app_->wait_visible(true));
    ASSERT_EQ(app_->window_position(), std::make_pair(640 - 302, 0));

    // "帮助" on the tool bar, its second item "热键": the fifteen lines wrapped in the memo.
    ASSERT_TRUE(app_->click(2 + 118 + 27, 6 + 10));
    ASSERT_TRUE(app_->wait_popup());
    ASSERT_TRUE(app_->key("Down Down Return"));
    EXPECT_TRUE(app_->probe().wait_for("help lines 15 sideways 0"));
    EXPECT_EQ(app_->box_position("热键定义"), std::make_pair((640 - 443) / 2, (480 - 267) / 2));
    ASSERT_TRUE(app_->click_in_box("热键定义", 180 + 36, 229 + 10));  // "确定"
    ASSERT_TRUE(app_->wait_box_gone("热键定义"));

    // Its first item "设置".
    ASSERT_TRUE(app_->click(2 + 118 + 27, 6 + 10));
    ASSERT_TRUE(app_->wait_popup());
    ASSERT_TRUE(app_->key("Down Return"));
    EXPECT_EQ(app_->box_position("设置"), std::make_pair((640 - 373) / 2, (480 - 194) / 2));
    ASSERT_TRUE(app_->click_in_box("设置", 220 + 37, 157 + 10));  // "取消"
    EXPECT_TRUE(app_->wait_box_gone("设置"));
}

// A hot-key file the integrator left out or cut short: the failure's box, the hide timer left running
// (it fires while the box is up, before the window is first shown), and no hot key acts.
struct BrokenHotKeyFile {
    const char* name;
    enum { kMissing, kCut, kFifo } file;
    size_t keep;        // bytes kept of the usual file
    const char* error;  // after "Cannot open file "<path>". " for a file that cannot be opened
    friend void PrintTo(const BrokenHotKeyFile& c, std::ostream* os) { *os << c.name; }
};

class BrokenHotKeyFileTest : public AssistantProgramTest,
                             public ::testing::WithParamInterface<BrokenHotKeyFile> {};

TEST_P(BrokenHotKeyFileTest, IsReportedAndLeavesNoHotKey) {
    const std::string file = app_->folder() + "/tavcclt.hkd";
    std::string bytes = hot_key_file(usual_hot_keys());
    std::filesystem::remove(file);
    if (GetParam().file == GetParam().kCut)
        std::ofstream(file, std::ios::binary) << bytes.substr(0, GetParam().keep);
    // A FIFO in the file's place once held the start-up for ever, its window never painted.
    std::optional<PlantedFifo> fifo;
    if (GetParam().file == GetParam().kFifo) {
        ASSERT_TRUE(fifo.emplace(file).ok());
    }
    std::unique_ptr<ChildProcess> program = app_->start();
    std::string error = GetParam().error;
    if (GetParam().file != GetParam().kCut) error = "Cannot open file \"" + file + "\". " + error;
    ASSERT_TRUE(app_->probe().wait_for("error " + ProgramName() + "|" + error)) << app_->stderr_text();
    ASSERT_TRUE(app_->answer_box(ProgramName(), "Return"));
    // Whether the timer fired before the box was answered decides whether the window stays up; both came
    // once the first show and the icon did.
    std::vector<std::string> lines;
    auto seen = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    for (int i = 0; i < 500 && !(seen("shown") && seen("tray add " + kTitle + "-就绪... available=1")); ++i) {
        std::this_thread::sleep_for(20ms);
        lines = app_->probe().lines();
    }
    ASSERT_TRUE(seen("shown"));
    const bool visible =
        std::find(lines.rbegin(), lines.rend(), "hidden") > std::find(lines.rbegin(), lines.rend(), "shown");
    ASSERT_TRUE(app_->wait_visible(visible));
    // A registered Win+1 would show or hide the window; Win+5 would ask the exit question.
    ASSERT_TRUE(app_->key("super+1 super+5"));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(app_->probe().count_after("hotkey"), 0u);
    EXPECT_EQ(app_->window_visible(), visible);
    EXPECT_FALSE(program->wait(0ms).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenHotKeyFileTest,
    ::testing::Values(
        BrokenHotKeyFile{"Missing", BrokenHotKeyFile::kMissing, 0, "No such file or directory."},
        BrokenHotKeyFile{"Fifo", BrokenHotKeyFile::kFifo, 0, "No such device or address."},
        // header 11 bytes, records of 22 and 20: in the third record, after its name
        BrokenHotKeyFile{"CutShort", BrokenHotKeyFile::kCut, 11 + 22 + 20 + 5, "Stream read error."}),
    [](const ::testing::TestParamInfo<BrokenHotKeyFile>& param) { return std::string(param.param.name); });

// Outside demo mode every login registers the hot keys again: a combination another program held at the
// first login acts once it is free at the second.
TEST_F(AssistantProgramTest, AHotKeyHeldElsewhereAtTheFirstLoginActsAfterTheSecond) {
    TerminalSimulator terminal;
    Keyboard other;  // another X client
    if (!other.ok()) GTEST_SKIP() << other.why();
    Store("demo_mode", Value{ValueType::Dword, "", 0});
    CacheLogin("0001", "secret");
    app_->write_hot_keys(usual_hot_keys());
    ASSERT_TRUE(other.grab(other.digit(1), Keyboard::kWin));
    StartOnTerminal(terminal);
    LogIn("", "secret");
    ASSERT_TRUE(app_->probe().wait_for("hotkeys registered 5"));
    ASSERT_TRUE(app_->wait_visible(false));
    ASSERT_EQ(terminal.wait_for_commands(2).size(), 2u);
    ASSERT_TRUE(app_->key("super+1"));  // the other client's
    other.ungrab(other.digit(1), Keyboard::kWin);

    ASSERT_EQ(app_->start()->wait(10s), 0);
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    LogIn("", "secret");
    ASSERT_TRUE(app_->probe().wait_for("hotkeys registered 5"));
    ASSERT_EQ(terminal.wait_for_commands(4).size(), 4u);
    ASSERT_TRUE(app_->wait_visible(false));
    EXPECT_TRUE(other.held(other.digit(1), Keyboard::kWin));  // the program holds it now
    ASSERT_TRUE(app_->key("super+1"));
    EXPECT_TRUE(app_->probe().wait_for("hotkey 0 kind 0"));
    EXPECT_TRUE(app_->probe().wait_for("cashier focus Edit1"));
    std::vector<TerminalCommand> commands = terminal.wait_for_commands(5);
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[4].bytes, "PJ22");
}

}  // namespace
}  // namespace tavc::test
