// The library's serial exports as a user's machine reaches them: the settings in user.reg, the terminal
// behind the dosdevices link, the library loaded afresh by each test so its load-time open runs.
#include <dlfcn.h>
#include <stdio.h>
#include <unistd.h>

#include <termios.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "library_symbols.h"
#include "results.h"
#include "scoped_config_home.h"
#include "serial.h"
#include "terminal_simulator.h"

namespace {

// Names each case of a table after its `name` field.
struct CaseName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& param_info) const {
        return param_info.param.name;
    }
};

using namespace std::chrono_literals;
using tavc::test::ScopedConfigHome;
using tavc::test::TerminalCommand;
using tavc::test::TerminalSimulator;
using Clock = std::chrono::steady_clock;
using Kind = TerminalCommand::Kind;
using namespace tavc::tessel;

constexpr int32_t kWhite = 0x00FFFFFF;
constexpr const char* kSettings = "Software\\TAVC\\Settings";

long elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

std::string dword(const char* name, uint32_t value) {
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\n", name, value);
    return line;
}

// The text packet as the terminal expects it, written out independently of the library's code.
std::string packet(int x, int y, std::string_view text) {
    std::string p = "PJ17\x01";
    for (int v : {x, y, 0xFFFF, 0}) {
        p += static_cast<char>((v >> 8) & 0xFF);
        p += static_cast<char>(v & 0xFF);
    }
    p += text;
    p += '\0';
    return p;
}

// Everything the library wrote to standard error between start() and finish().
class StderrCapture {
  public:
    void start() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = ::dup(2);
        ::dup2(::fileno(file_), 2);
    }
    std::string finish() {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        std::string text;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
        std::fclose(file_);
        return text;
    }

  private:
    FILE* file_ = nullptr;
    int saved_ = -1;
};

// libtessel.so from the build, loaded with dlopen so that each load runs the library's start-up anew.
struct Tessel {
    void* handle = nullptr;
    std::string load_messages;
    decltype(&::TAVCReset) TAVCReset = nullptr;
    decltype(&::TAVCCommand) TAVCCommand = nullptr;
    decltype(&::TAVCShowWelcome) TAVCShowWelcome = nullptr;
    decltype(&::TAVCCls) TAVCCls = nullptr;
    decltype(&::TAVCLogin) TAVCLogin = nullptr;
    decltype(&::TAVCAskforRemark) TAVCAskforRemark = nullptr;
    decltype(&::TAVCAskforRemark2) TAVCAskforRemark2 = nullptr;
    decltype(&::TAVCReadRemark) TAVCReadRemark = nullptr;
    decltype(&::TAVCPrintText) TAVCPrintText = nullptr;
    decltype(&::TAVCShowCost) TAVCShowCost = nullptr;
    decltype(&::TAVCShowPayReturn) TAVCShowPayReturn = nullptr;
    decltype(&::TAVCShowItemCosts) TAVCShowItemCosts = nullptr;

    static std::string path() {
        const char* bin = std::getenv("TAVC_BIN_DIR");
        return std::string(bin != nullptr ? bin : ".") + "/libtessel.so";
    }

    template <typename F>
    void bind(F& f, const char* name) {
        f = reinterpret_cast<F>(::dlsym(handle, name));
        EXPECT_NE(f, nullptr) << name;
    }

    bool load() {
        StderrCapture capture;
        capture.start();
        handle = ::dlopen(path().c_str(), RTLD_NOW | RTLD_LOCAL);
        load_messages = capture.finish();
        EXPECT_NE(handle, nullptr) << ::dlerror();
        if (handle == nullptr) return false;
        bind(TAVCReset, "TAVCReset");
        bind(TAVCCommand, "TAVCCommand");
        bind(TAVCShowWelcome, "TAVCShowWelcome");
        bind(TAVCCls, "TAVCCls");
        bind(TAVCLogin, "TAVCLogin");
        bind(TAVCAskforRemark, "TAVCAskforRemark");
        bind(TAVCAskforRemark2, "TAVCAskforRemark2");
        bind(TAVCReadRemark, "TAVCReadRemark");
        bind(TAVCPrintText, "TAVCPrintText");
        bind(TAVCShowCost, "TAVCShowCost");
        bind(TAVCShowPayReturn, "TAVCShowPayReturn");
        bind(TAVCShowItemCosts, "TAVCShowItemCosts");
        return !::testing::Test::HasFailure();
    }

    int32_t reset() const { return TAVCReset(); }

    void unload() {
        if (handle == nullptr) return;
        ::dlclose(handle);
        handle = nullptr;
        // Really gone, so the next load starts afresh.
        void* still = ::dlopen(path().c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_EQ(still, nullptr) << "libtessel.so stayed loaded after dlclose";
        if (still != nullptr) ::dlclose(still);
    }
};

size_t count_of(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

std::vector<std::string> bytes_of(const std::vector<TerminalCommand>& commands) {
    std::vector<std::string> out;
    for (const TerminalCommand& c : commands) out.push_back(c.bytes);
    return out;
}

class TesselAtThePty : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!sim_.ready()) GTEST_SKIP() << sim_.error();
        ASSERT_TRUE(home_.ok());
        // The load-time message must reach standard error only, never a real session's notifications.
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::unsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override { lib_.unload(); }

    // user.reg with these values (null: no settings key at all), the terminal as COM`linked`, then load.
    void load_with(const char* values, int linked = 1) {
        if (values != nullptr) home_.write_user_values(kSettings, values);
        sim_.link_as_port(home_.path(), linked);
        ASSERT_TRUE(lib_.load());
    }

    // Sends a marker command and returns all the terminal got before it: shows what a call wrote,
    // including nothing, without waiting for an absence.
    std::vector<std::string> received_before_marker() {
        EXPECT_EQ(lib_.TAVCCommand("MARK"), 0);
        std::vector<std::string> got;
        for (size_t n = 1; n < 16; ++n) {
            got = bytes_of(sim_.wait_for_commands(n));
            if (!got.empty() && got.back() == "PJMARK") break;
        }
        EXPECT_FALSE(got.empty() || got.back() != "PJMARK") << "the marker never came";
        if (!got.empty()) got.pop_back();
        return got;
    }

    ScopedConfigHome home_{"tessel_link_test"};
    TerminalSimulator sim_;
    Tessel lib_;
};

TEST_F(TesselAtThePty, PrintsTextAsOnePacketOfEighteenBytes) {
    load_with(nullptr);
    EXPECT_EQ(lib_.TAVCPrintText(96, 318, kWhite, "12.0"), 0);
    auto got = sim_.wait_for_commands(1);
    ASSERT_EQ(got.size(), 1u);
    const char expected[] = "\x50\x4A\x31\x37\x01\x00\x60\x01\x3E\xFF\xFF\x00\x00\x31\x32\x2E\x30";
    EXPECT_EQ(got[0].bytes, std::string(expected, sizeof expected));  // with the text's zero: 18 bytes
    EXPECT_EQ(got[0].kind, Kind::Text);
    EXPECT_EQ(got[0].x, 96);
    EXPECT_EQ(got[0].y, 318);
    EXPECT_EQ(got[0].color, 0xFFFF);
    EXPECT_EQ(got[0].text, "12.0");
    EXPECT_EQ(lib_.load_messages, "");
}

TEST_F(TesselAtThePty, LogsInWithThirteenBytesThenShowsTheWelcomeAfterTwoPauses) {
    load_with(nullptr);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(lib_.TAVCLogin("0001"), 0);
    EXPECT_GE(elapsed_ms(start), 100);  // a pause after each of the two writes
    auto got = sim_.wait_for_commands(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, "PJDL000000010");
    EXPECT_EQ(got[0].kind, Kind::Login);
    EXPECT_EQ(got[0].user, "0001");
    EXPECT_EQ(got[1].bytes, "PJ22");
}

struct ShowCase {
    const char* name;
    std::function<ExportResult(const Tessel&)> call;
    std::vector<std::string> expected;
};

class TesselShows : public TesselAtThePty, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(TesselShows, SendsItsScreenThenItsTextsInOrderWithAPauseAfterEach) {
    const ShowCase& c = GetParam();
    load_with(nullptr);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(c.call(lib_), 0);
    EXPECT_GE(elapsed_ms(start), static_cast<long>(50 * c.expected.size()));
    EXPECT_EQ(bytes_of(sim_.wait_for_commands(c.expected.size())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Exports, TesselShows,
    ::testing::Values(
        ShowCase{"ShowWelcome", [](const Tessel& lib) { return lib.TAVCShowWelcome(); }, {"PJ22"}},
        ShowCase{"Cls", [](const Tessel& lib) { return lib.TAVCCls(); }, {"PJ29"}},
        ShowCase{"AskforRemark", [](const Tessel& lib) { return lib.TAVCAskforRemark(); }, {"PJ21"}},
        ShowCase{"AskforRemark2", [](const Tessel& lib) { return lib.TAVCAskforRemark2(); }, {"PJ28"}},
        ShowCase{"EmptyCommand", [](const Tessel& lib) { return lib.TAVCCommand(""); }, {"PJ"}},
        ShowCase{"ShowCost",
                 [](const Tessel& lib) { return lib.TAVCShowCost("12.00"); },
                 {"PJ23", packet(96, 318, "12.00")}},
        ShowCase{"ShowPayReturn",
                 [](const Tessel& lib) { return lib.TAVCShowPayReturn("20.00", "7.50"); },
                 {"PJ24", packet(96, 318, "20.00"), packet(96, 354, "7.50")}},
        ShowCase{"ShowItemCosts",
                 [](const Tessel& lib) { return lib.TAVCShowItemCosts("Tea", "3.00", "12.50"); },
                 {"PJ31", packet(80, 318, "Tea"), packet(80, 356, "3.00"), packet(80, 436, "12.50")}}),
    CaseName());

struct FailingShowCase {
    const char* name;
    std::function<ExportResult(const Tessel&)> call;
    std::vector<std::string> written;  // the writes that went through before the failing one
};

class TesselShowFailures : public TesselAtThePty, public ::testing::WithParamInterface<FailingShowCase> {};

TEST_P(TesselShowFailures, StopAtTheFirstWriteThatFails) {
    const FailingShowCase& c = GetParam();
    load_with(nullptr);
    size_t through = 0;
    for (const std::string& w : c.written) through += w.size();
    if (through == 0) {
        sim_.hang_up();
    } else {
        sim_.hang_up_after(through);
    }
    Clock::time_point start = Clock::now();
    EXPECT_EQ(c.call(lib_), kWriteFailed);
    EXPECT_LT(elapsed_ms(start), 3000);
    EXPECT_EQ(bytes_of(sim_.commands_after_hang_up()), c.written);
    // The port stays open: the library only answers -1 when it has no port.
    EXPECT_EQ(lib_.TAVCCls(), kWriteFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Exports, TesselShowFailures,
    ::testing::Values(
        FailingShowCase{"ShowWelcome", [](const Tessel& lib) { return lib.TAVCShowWelcome(); }, {}},
        FailingShowCase{"Cls", [](const Tessel& lib) { return lib.TAVCCls(); }, {}},
        FailingShowCase{
            "ShowCostAtItsScreen", [](const Tessel& lib) { return lib.TAVCShowCost("1.00"); }, {}},
        FailingShowCase{
            "ShowCostAtItsText", [](const Tessel& lib) { return lib.TAVCShowCost("1.00"); }, {"PJ23"}},
        FailingShowCase{"ShowPayReturnAtItsSecondText",
                        [](const Tessel& lib) { return lib.TAVCShowPayReturn("20.00", "7.50"); },
                        {"PJ24", packet(96, 318, "20.00")}},
        FailingShowCase{"ShowItemCostsAtItsFirstText",
                        [](const Tessel& lib) { return lib.TAVCShowItemCosts("Tea", "3.00", "12.50"); },
                        {"PJ31"}},
        FailingShowCase{
            "LoginAtTheWelcome", [](const Tessel& lib) { return lib.TAVCLogin("0001"); }, {"PJDL000000010"}}),
    CaseName());

TEST_F(TesselAtThePty, ReadsTheRatingKeyTheTerminalAnswers) {
    load_with(nullptr);
    sim_.answer_queries("N");
    char key = 'x';
    EXPECT_EQ(lib_.TAVCReadRemark(&key), 0);
    EXPECT_EQ(key, 'N');
    auto got = sim_.wait_for_commands(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Kind::Query);
    EXPECT_EQ(got[0].bytes, "PJQ");
}

TEST_F(TesselAtThePty, AnswersNoReplyWhenTheTerminalStaysSilentAndLeavesTheByte) {
    load_with(nullptr);
    char key = 'x';
    Clock::time_point start = Clock::now();
    EXPECT_EQ(lib_.TAVCReadRemark(&key), kNoReply);
    long ms = elapsed_ms(start);
    EXPECT_EQ(key, 'x');
    EXPECT_GE(ms, 500);
    EXPECT_LT(ms, 3000);
}

TEST_F(TesselAtThePty, AnswersReadFailedWhenTheLineIsGoneAndLeavesTheByte) {
    load_with(nullptr);
    sim_.hang_up();
    char key = 'x';
    EXPECT_EQ(lib_.TAVCReadRemark(&key), kReadFailed);
    EXPECT_EQ(key, 'x');
}

TEST_F(TesselAtThePty, TakesTheFirstByteWaitingOnTheLineAsTheRatingKey) {
    load_with(nullptr);
    ASSERT_TRUE(sim_.send("K"));  // came before the query: nothing may throw it away
    sim_.answer_queries("I");
    char key = 'x';
    EXPECT_EQ(lib_.TAVCReadRemark(&key), 0);
    EXPECT_EQ(key, 'K');
    EXPECT_EQ(lib_.TAVCReadRemark(&key), 0);
    EXPECT_EQ(key, 'I');
}

TEST_F(TesselAtThePty, CountsAWriteThatTimesOutAsDoneAndPausesAfterIt) {
    load_with(nullptr);
    ASSERT_TRUE(sim_.hold_output(true));
    Clock::time_point start = Clock::now();
    EXPECT_EQ(lib_.TAVCCls(), 0);
    EXPECT_GE(elapsed_ms(start), 150);  // the write's 104 ms, then the pause
    ASSERT_TRUE(sim_.hold_output(false));
    // Nothing of the timed-out write went out; the line works on.
    EXPECT_EQ(received_before_marker(), std::vector<std::string>{});
}

struct RefusalCase {
    const char* name;
    std::function<ExportResult(const Tessel&)> call;
    ExportResult result;
    std::vector<std::string> written;
};

class TesselRefusals : public TesselAtThePty, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(TesselRefusals, NeverWriteAnArgumentThatDoesNotFitTheCommandBuffer) {
    const RefusalCase& c = GetParam();
    load_with(nullptr);
    EXPECT_EQ(c.call(lib_), c.result);
    EXPECT_EQ(received_before_marker(), c.written);
}

const std::string k61(61, 'c'), k62(62, 'c'), k54(54, 'u'), k55(55, 'u'), k50(50, 't'), k51(51, 't');

INSTANTIATE_TEST_SUITE_P(
    Arguments, TesselRefusals,
    ::testing::Values(
        RefusalCase{
            "LongestCode", [](const Tessel& lib) { return lib.TAVCCommand(k61.c_str()); }, 0, {"PJ" + k61}},
        RefusalCase{"CodeTooLong",
                    [](const Tessel& lib) { return lib.TAVCCommand(k62.c_str()); },
                    kCommandRefused,
                    {}},
        RefusalCase{
            "NullCode", [](const Tessel& lib) { return lib.TAVCCommand(nullptr); }, kCommandRefused, {}},
        RefusalCase{"LongestUser",
                    [](const Tessel& lib) { return lib.TAVCLogin(k54.c_str()); },
                    0,
                    {"PJDL0000" + k54 + "0", "PJ22"}},
        RefusalCase{
            "UserTooLong", [](const Tessel& lib) { return lib.TAVCLogin(k55.c_str()); }, kCommandRefused, {}},
        RefusalCase{
            "NullUser", [](const Tessel& lib) { return lib.TAVCLogin(nullptr); }, kCommandRefused, {}},
        RefusalCase{"LongestText",
                    [](const Tessel& lib) { return lib.TAVCPrintText(96, 318, kWhite, k50.c_str()); },
                    0,
                    {packet(96, 318, k50)}},
        RefusalCase{"TextTooLong",
                    [](const Tessel& lib) { return lib.TAVCPrintText(96, 318, kWhite, k51.c_str()); },
                    kCommandRefused,
                    {}},
        RefusalCase{"NullText",
                    [](const Tessel& lib) { return lib.TAVCPrintText(96, 318, kWhite, nullptr); },
                    kCommandRefused,
                    {}},
        // A show is a sequence of steps: the screen has been switched when its text is refused.
        RefusalCase{"ShowCostWithTooLongAmount",
                    [](const Tessel& lib) { return lib.TAVCShowCost(k51.c_str()); },
                    kCommandRefused,
                    {"PJ23"}},
        RefusalCase{"ShowPayReturnWithoutChange",
                    [](const Tessel& lib) { return lib.TAVCShowPayReturn("20.00", nullptr); },
                    kCommandRefused,
                    {"PJ24", packet(96, 318, "20.00")}},
        RefusalCase{"ShowItemCostsWithoutAmount",
                    [](const Tessel& lib) { return lib.TAVCShowItemCosts("Tea", nullptr, "12.50"); },
                    kCommandRefused,
                    {"PJ31", packet(80, 318, "Tea")}},
        RefusalCase{"ReadRemarkIntoNull",
                    [](const Tessel& lib) { return lib.TAVCReadRemark(nullptr); },
                    kReadFailed,
                    {}}),
    CaseName());

// ---- Opening the port ------------------------------------------------------------------------------

std::string open_failed(const std::string& number) {
    return "打开串口" + number + "出错!";
}

struct ComportCase {
    const char* name;
    uint32_t stored;
    const char* shown;
};

class TesselComport : public TesselAtThePty, public ::testing::WithParamInterface<ComportCase> {};

TEST_P(TesselComport, OpensCom10ForANumberOutsideOneToNineAndNamesTheNumberAsConfigured) {
    const ComportCase& c = GetParam();
    load_with(dword("Comport", c.stored).c_str(), 10);
    EXPECT_EQ(lib_.load_messages, "");
    EXPECT_EQ(lib_.TAVCShowWelcome(), 0);
    EXPECT_EQ(bytes_of(sim_.wait_for_commands(1)), std::vector<std::string>{"PJ22"});
    lib_.unload();

    TerminalSimulator::link_port(home_.path(), 10, home_.path() + "/unplugged");
    ASSERT_TRUE(lib_.load());
    EXPECT_EQ(count_of(lib_.load_messages, open_failed(c.shown)), 1u) << lib_.load_messages;
}

INSTANTIATE_TEST_SUITE_P(Numbers, TesselComport,
                         ::testing::Values(ComportCase{"Ten", 10, "10"}, ComportCase{"Zero", 0, "0"},
                                           ComportCase{"Eleven", 11, "11"},
                                           ComportCase{"MinusOne", 0xFFFFFFFF, "-1"}),
                         CaseName());

struct LineCase {
    const char* name;
    const char* values;  // null: no settings key
    int port;
    speed_t speed;
};

class TesselLine : public TesselAtThePty, public ::testing::WithParamInterface<LineCase> {};

TEST_P(TesselLine, OpensTheConfiguredPortAtTheConfiguredRateWithEightNoneOne) {
    const LineCase& c = GetParam();
    load_with(c.values, c.port);
    EXPECT_EQ(lib_.load_messages, "");
    termios t = sim_.line_settings();
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(lib_.TAVCCls(), 0);
    EXPECT_EQ(bytes_of(sim_.wait_for_commands(1)), std::vector<std::string>{"PJ29"});
}

const std::string kComport3 = dword("Comport", 3);
const std::string kRate19200 = dword("Comport", 2) + dword("BAUND_RATE", 19200);

INSTANTIATE_TEST_SUITE_P(
    Settings, TesselLine,
    ::testing::Values(LineCase{"NoSettingsKey", nullptr, 1, B9600},
                      LineCase{"EmptySettingsKey", "", 1, B9600},
                      LineCase{"Comport3", kComport3.c_str(), 3, B9600},
                      LineCase{"BaudRate19200", kRate19200.c_str(), 2, B19200},
                      // Values of another type count as missing.
                      LineCase{"TextValues", "\"Comport\"=\"3\"\n\"BAUND_RATE\"=\"19200\"\n", 1, B9600}),
    CaseName());

class TesselWithoutItsDevice : public TesselAtThePty {
  protected:
    void SetUp() override {
        TesselAtThePty::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        home_.write_user_values(kSettings, kComport3.c_str());
        TerminalSimulator::link_port(home_.path(), 3, home_.path() + "/unplugged");
        ASSERT_TRUE(lib_.load());
    }
};

TEST_F(TesselWithoutItsDevice, SaysSoOnceAtLoadAndAnswersNotOpenFromEverySerialExport) {
    EXPECT_EQ(count_of(lib_.load_messages, open_failed("3")), 1u) << lib_.load_messages;
    char key = 'x';
    StderrCapture capture;
    capture.start();
    std::vector<ExportResult> results = {lib_.TAVCCommand("22"),
                                         lib_.TAVCCommand(nullptr),
                                         lib_.TAVCShowWelcome(),
                                         lib_.TAVCCls(),
                                         lib_.TAVCLogin("0001"),
                                         lib_.TAVCAskforRemark(),
                                         lib_.TAVCAskforRemark2(),
                                         lib_.TAVCReadRemark(&key),
                                         lib_.TAVCReadRemark(nullptr),
                                         lib_.TAVCPrintText(96, 318, kWhite, "12.0"),
                                         lib_.TAVCShowCost("1.00"),
                                         lib_.TAVCShowPayReturn("1.00", "0.00"),
                                         lib_.TAVCShowItemCosts("Tea", "1.00", "1.00")};
    EXPECT_EQ(capture.finish(), "");
    EXPECT_EQ(results, std::vector<ExportResult>(results.size(), kPortNotOpen));
    EXPECT_EQ(key, 'x');
}

TEST_F(TesselWithoutItsDevice, WorksAgainAfterAResetOnceTheDeviceIsBack) {
    StderrCapture capture;
    capture.start();
    EXPECT_EQ(lib_.reset(), kPortNotOpen);  // still missing: the message again
    EXPECT_EQ(count_of(capture.finish(), open_failed("3")), 1u);

    sim_.link_as_port(home_.path(), 3);
    capture.start();
    EXPECT_EQ(lib_.reset(), 0);
    EXPECT_EQ(capture.finish(), "");
    EXPECT_EQ(lib_.TAVCShowWelcome(), 0);
    EXPECT_EQ(bytes_of(sim_.wait_for_commands(1)), std::vector<std::string>{"PJ22"});
}

TEST_F(TesselAtThePty, ResetReopensThePortItHoldsWithoutCollidingWithItself) {
    load_with(nullptr);
    EXPECT_EQ(lib_.reset(), 0);
    EXPECT_EQ(lib_.reset(), 0);
    EXPECT_EQ(lib_.TAVCCls(), 0);
    EXPECT_EQ(bytes_of(sim_.wait_for_commands(1)), std::vector<std::string>{"PJ29"});
}

TEST_F(TesselAtThePty, ResetTakesANewPortNumberFromTheSettings) {
    load_with(nullptr, 1);
    home_.write_user_values(kSettings, kComport3.c_str());
    sim_.link_as_port(home_.path(), 3);
    TerminalSimulator::link_port(home_.path(), 1, home_.path() + "/unplugged");
    EXPECT_EQ(lib_.reset(), 0);
    EXPECT_EQ(lib_.TAVCShowWelcome(), 0);
    EXPECT_EQ(bytes_of(sim_.wait_for_commands(1)), std::vector<std::string>{"PJ22"});
}

TEST_F(TesselAtThePty, RefusesABaudRateTheDeviceCannotTakeAtLoad) {
    load_with((kComport3 + dword("BAUND_RATE", 12345)).c_str(), 3);
    EXPECT_EQ(count_of(lib_.load_messages, open_failed("3")), 1u) << lib_.load_messages;
    EXPECT_EQ(lib_.TAVCCls(), kPortNotOpen);
}

TEST_F(TesselAtThePty, HoldsThePortExclusivelyUntilUnloaded) {
    load_with(nullptr);
    tavc::serial::Port other;
    EXPECT_EQ(other.open(1), tavc::serial::Status::Busy);
    lib_.unload();
    EXPECT_EQ(other.open(1), tavc::serial::Status::Ok);

    // Now the port is somebody else's: the library cannot have it.
    ASSERT_TRUE(lib_.load());
    EXPECT_EQ(count_of(lib_.load_messages, open_failed("1")), 1u) << lib_.load_messages;
    EXPECT_EQ(lib_.TAVCCls(), kPortNotOpen);
}

// ---- The library's face --------------------------------------------------------------------------

TEST(TesselSymbols, ShowTheTwentyExportsAndNothingElseOfOurs) {
    const auto names = tavc::test::dynamic_symbols(Tessel::path());
    if (!names) GTEST_SKIP() << "nm is not available or could not read the library";
    std::set<std::string> exports = {
        "TAVCReset",         "TAVCCommand",       "TAVCShowWelcome", "TAVCCls",         "TAVCLogin",
        "TAVCAskforRemark",  "TAVCAskforRemark2", "TAVCReadRemark",  "TAVCPrintText",   "TAVCShowCost",
        "TAVCShowPayReturn", "TAVCShowItemCosts", "TAVSoundOut",     "TAVSoftSoundOut", "TAVSpeak",
        "TAVCLoginToCache",  "TAVCRemarkToCache", "TAVCLoginToDB",   "TAVCRemarkToDB",  "TAVCUploadRemarks"};
    EXPECT_EQ(*names, exports);
}

}  // namespace
