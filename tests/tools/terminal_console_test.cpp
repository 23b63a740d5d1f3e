// tavc-terminal as a person runs it: commands that reach its serial port are printed readably, and a
// rating key typed on its standard input answers the next rating query.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "child_process.h"
#include "codepage.h"
#include "serial.h"
#include "temp_folder.h"

namespace {

using namespace std::chrono_literals;
using tavc::test::ChildProcess;
using tavc::test::ScopedEnv;
using tavc::test::TempFolder;

// tavc-terminal on port 1 of its own configuration folder, its standard input a FIFO the test types into.
class TerminalConsole : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.ok());
        ASSERT_EQ(::mkfifo(keys_path_.c_str(), 0600), 0);
        keys_ = ::open(keys_path_.c_str(), O_RDWR | O_CLOEXEC);  // read-write: opening does not wait
        ASSERT_GE(keys_, 0);
        const std::string program = std::string(std::getenv("TAVC_BIN_DIR")) + "/tavc-terminal";
        console_.emplace(
            std::vector<std::string>{"/bin/sh", "-c", "exec \"$0\" 1 <\"$1\"", program, keys_path_},
            std::vector<std::string>{"XDG_CONFIG_HOME=" + config_});
        ASSERT_TRUE(WaitForLine("Rating buttons:").has_value());
        ASSERT_EQ(port_.open(1), tavc::serial::Status::Ok);
        ASSERT_EQ(port_.configure(9600), tavc::serial::Status::Ok);
        ASSERT_EQ(port_.set_timeouts({0, 0, 3000, 0, 3000}), tavc::serial::Status::Ok);
    }
    void TearDown() override {
        port_.close();
        console_.reset();
        if (keys_ >= 0) ::close(keys_);
    }

    // The next line that begins with `start`, skipping others; none after a few seconds.
    std::optional<std::string> WaitForLine(std::string_view start) {
        while (std::optional<std::string> line = console_->read_line(5s))
            if (line->starts_with(start)) return line;
        return std::nullopt;
    }
    void Send(std::string_view bytes) {
        ASSERT_EQ(port_.write(bytes.data(), bytes.size()).bytes, bytes.size());
    }
    void Type(std::string_view line) {
        const std::string text = std::string(line) + "\n";
        ASSERT_EQ(::write(keys_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    std::optional<char> Query() {
        Send("PJQ");
        char key = 0;
        if (port_.read(&key, 1).bytes != 1) return std::nullopt;
        return key;
    }

    TempFolder folder_{"tavc-terminal"};
    ScopedEnv config_home_{"XDG_CONFIG_HOME", folder_ / "config"};
    std::string config_ = folder_ / "config";
    std::string keys_path_ = folder_ / "keys";
    int keys_ = -1;
    std::optional<ChildProcess> console_;
    tavc::serial::Port port_;
};

TEST_F(TerminalConsole, PrintsScreensAndTextPacketsReadably) {
    Send("PJ22");
    const std::string text = tavc::codepage::gbk_from_utf8("欢迎光临\n!");
    // "PJ17", 1, x, y and the colour (red in RGB565) as 16-bit big-endian values, two zero bytes, the text.
    Send(std::string("PJ17\x01\x00\x01\x01\x3E\xF8\x00\x00\x00", 13) + text + std::string(1, '\0'));
    EXPECT_EQ(WaitForLine("PJ22"), "PJ22  welcome screen");
    EXPECT_EQ(WaitForLine("text"), "text   at (1, 318) colour F800 (#FF0000): \"欢迎光临\\x0A!\"");
}

TEST_F(TerminalConsole, TypedRatingKeyAnswersTheNextQueryOnly) {
    EXPECT_EQ(Query(), 'N');
    Type("x");
    EXPECT_TRUE(WaitForLine("type one of").has_value());
    Type("m");
    EXPECT_EQ(WaitForLine("button"), "button M: answers the next rating query");
    EXPECT_EQ(Query(), 'M');
    EXPECT_EQ(Query(), 'N');
}

TEST_F(TerminalConsole, RunsOnWhenItsInputEndsAndRemovesItsPortLinkAtTheEnd) {
    ::close(keys_);
    keys_ = -1;
    EXPECT_EQ(Query(), 'N');
    port_.close();
    ::kill(console_->pid(), SIGINT);
    EXPECT_EQ(console_->wait(5s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(config_ + "/tavc/dosdevices/com1")));
}

}  // namespace
