// The stand-in drivers themselves: the record file format and its reader, appends from two processes,
// and the readable stand-in's log.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "codepage.h"
#include "driver_table.h"
#include "panelkit_record.h"

namespace {

using namespace std::chrono_literals;
using corvis::DriverTable;
using tavc::test::DriverCall;
using tavc::test::PanelkitRecord;
using tavc::test::ParseDriverCall;

std::string Hex(std::string_view bytes) {
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(PanelkitRecord, ParsesEveryKindOfArgument) {
    std::optional<DriverCall> call =
        ParseDriverCall("81234567890 4242 DrawImage i:-10 i:20 s:6c6f676f r:0,-1,100,50");
    ASSERT_TRUE(call);
    EXPECT_EQ(call->time_ns, 81234567890u);
    EXPECT_EQ(call->pid, 4242);
    EXPECT_EQ(*call, (DriverCall{"DrawImage", {-10, 20, "logo", std::array<int32_t, 4>{0, -1, 100, 50}}}));
    EXPECT_EQ(ParseDriverCall("1 2 Cls null"), (DriverCall{"Cls", {nullptr}}));
    EXPECT_EQ(ParseDriverCall("1 2 SoundOut s:"), (DriverCall{"SoundOut", {""}}));
    EXPECT_EQ(ParseDriverCall("1 2 Reset"), (DriverCall{"Reset", {}}));
}

TEST(PanelkitRecord, RejectsLinesOutsideTheFormat) {
    for (const char* line :
         {"", "1 2", "x 2 Reset", "1 2 Reset ", "1 2 Cls q:1", "1 2 SoundOut s:6", "1 2 SoundOut s:zz",
          "1 2 Cls r:1,2,3", "1 2 Cls r:1,2,3,4,5", "1 2 Scroll i:99999999999"})
        EXPECT_FALSE(ParseDriverCall(line)) << '"' << line << '"';
}

TEST(PanelkitRecord, LeavesOutALineStillBeingWritten) {
    PanelkitRecord record;
    std::ofstream(record.path()) << "1 2 Reset\n3 4 Res";
    EXPECT_EQ(record.calls(), (std::vector<DriverCall>{{"Reset", {}}}));
}

TEST(PanelkitRecord, WaitsForCallsUntilItsTimeOut) {
    PanelkitRecord record;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(record.wait_for_calls(1, 20ms).empty());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);

    std::thread writer([&] {
        std::this_thread::sleep_for(20ms);
        std::ofstream(record.path(), std::ios::app) << "1 2 Reset\n";
    });
    EXPECT_EQ(record.wait_for_calls(1, 5s).size(), 1u);
    writer.join();
}

TEST(RecordingStandIn, WritesOneLinePerCallInTheDocumentedFormat) {
    PanelkitRecord record;
    record.export_to_environment();
    DriverTable driver;
    ASSERT_TRUE(driver.load(PANELKIT_RECORDER));
    std::string face = tavc::codepage::gbk_from_utf8("宋体");
    int32_t rect[4] = {1, 2, 3, -4};
    char file[] = "a b";
    const auto before = std::chrono::steady_clock::now();
    driver.SetFont(12, face.data(), 0);
    driver.DrawImage(5, 6, file, rect);
    driver.SoftSoundOut(file, 0x201);  // only the low byte counts
    driver.Cls(nullptr);
    const std::string pid = std::to_string(getpid());
    std::istringstream lines(ReadFile(record.path()));
    std::vector<std::string> rest;
    for (std::string line; std::getline(lines, line);) rest.push_back(line.substr(line.find(' ') + 1));
    EXPECT_EQ(rest, (std::vector<std::string>{pid + " SetFont i:12 s:" + Hex(face) + " i:0",
                                              pid + " DrawImage i:5 i:6 s:612062 r:1,2,3,-4",
                                              pid + " SoftSoundOut s:612062 i:1", pid + " Cls null"}));
    std::vector<DriverCall> calls = record.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_GE(calls[0].time(), before);
    EXPECT_LE(calls[3].time(), std::chrono::steady_clock::now());
    driver.unload();
}

TEST(RecordingStandIn, TwoProcessesNeverInterleaveWithinALine) {
    PanelkitRecord record;
    record.export_to_environment();
    DriverTable driver;
    ASSERT_TRUE(driver.load(PANELKIT_RECORDER));
    std::string text(60, 'x');
    constexpr int kCalls = 300;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    for (int i = 0; i < kCalls; ++i) driver.SoundOut(text.data());
    if (child == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::vector<DriverCall> calls = record.calls();  // throws on a broken line
    ASSERT_EQ(calls.size(), 2u * kCalls);
    int from_child = 0;
    for (const DriverCall& call : calls) {
        EXPECT_EQ(call, (DriverCall{"SoundOut", {text}}));
        from_child += call.pid == child;
    }
    EXPECT_EQ(from_child, kCalls);
    driver.unload();
}

TEST(ReadableStandIn, LogsEachCallWithItsGbkTextsAsUtf8) {
    PanelkitRecord folder;  // a temporary place for the log
    const std::string log = folder.path() + ".log";
    ::setenv("PANELKIT_LOG", log.c_str(), 1);
    DriverTable driver;
    ASSERT_TRUE(driver.load(PANELKIT_CONSOLE));
    std::string face = tavc::codepage::gbk_from_utf8("宋体");
    std::string speech = tavc::codepage::gbk_from_utf8("请您选择按钮,评价我们的服务");
    int32_t rect[4] = {0, 0, 100, 50};
    char tabbed[] = "a\tb";
    driver.SetFont(12, face.data(), 0);
    driver.TAVSpeak(speech.data(), 0);
    driver.Cls(nullptr);
    driver.Cls(rect);
    driver.SoftSoundOut(tabbed, 1);
    driver.unload();
    ::unsetenv("PANELKIT_LOG");

    std::istringstream lines(ReadFile(log));
    std::vector<std::string> calls;
    for (std::string line; std::getline(lines, line);)
        calls.push_back(line.substr(line.find("panelkit: ") + 10));
    EXPECT_EQ(calls, (std::vector<std::string>{"SetFont(12, \"宋体\", 0)",
                                               "TAVSpeak(\"请您选择按钮,评价我们的服务\", 0)", "Cls(NULL)",
                                               "Cls({0, 0, 100, 50})", "SoftSoundOut(\"a\\tb\", 1)"}));
    std::remove(log.c_str());
}

}  // namespace
