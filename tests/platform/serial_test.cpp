#include "serial.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "scoped_config_home.h"
#include "terminal_simulator.h"

namespace {

using namespace std::chrono_literals;
using tavc::serial::Port;
using tavc::serial::Status;
using tavc::serial::Timeouts;
using tavc::test::ScopedConfigHome;
using tavc::test::TerminalSimulator;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 3;
constexpr Timeouts kTerminalTimeouts{100, 1, 500, 1, 100};

long elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

std::string every_byte_value() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    // The bytes a cooked line would translate, swallow or act on, also in the pairs they come in.
    bytes += std::string("\r\n\n\r\x11\x13\x03\x1a\x04\x7f\x00", 11);
    return bytes;
}

struct PathCase {
    int number;
    const char* expected;  // {home} stands for $XDG_CONFIG_HOME; empty: no such port
    bool linked;
};

class SerialDevicePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(SerialDevicePath, UsesTheDosdevicesLinkWhenItExistsElseTheBuiltInPort) {
    ScopedConfigHome home("serial_test");
    const PathCase& c = GetParam();
    // A link to nothing still names the port: an unplugged device never falls through to a built-in one.
    if (c.linked) TerminalSimulator::link_port(home.path(), c.number, home.path() + "/absent");
    std::string expected = c.expected;
    if (auto at = expected.find("{home}"); at != std::string::npos) expected.replace(at, 6, home.path());
    EXPECT_EQ(tavc::serial::device_path(c.number), expected);
}

INSTANTIATE_TEST_SUITE_P(Numbers, SerialDevicePath,
                         ::testing::Values(PathCase{1, "/dev/ttyS0", false},
                                           PathCase{10, "/dev/ttyS9", false},
                                           PathCase{1, "{home}/tavc/dosdevices/com1", true},
                                           PathCase{10, "{home}/tavc/dosdevices/com10", true},
                                           PathCase{0, "", false}, PathCase{11, "", false},
                                           PathCase{-1, "", false}));

// The dosdevices links lie beside the registry's files, which a relative XDG_CONFIG_HOME does not move.
TEST(SerialDevicePath, IgnoresARelativeConfigHome) {
    ScopedConfigHome home("serial_test");
    std::optional<std::string> old_home;
    if (const char* h = ::getenv("HOME")) old_home = h;
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    TerminalSimulator::link_port(home.path() + "/.config", 2, home.path() + "/absent");
    EXPECT_EQ(tavc::serial::device_path(2), home.path() + "/.config/tavc/dosdevices/com2");
    if (old_home) {
        ::setenv("HOME", old_home->c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

class SerialPort : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!sim_.ready()) GTEST_SKIP() << sim_.error();
        ASSERT_TRUE(home_.ok());
        sim_.link_as_port(home_.path(), kPort);
    }

    // Opened and set up as the terminal client library does.
    void open_for_terminal(Port& port, uint32_t baud = 9600) {
        ASSERT_EQ(port.open(kPort), Status::Ok);
        ASSERT_EQ(port.configure(baud), Status::Ok);
        ASSERT_EQ(port.set_timeouts(kTerminalTimeouts), Status::Ok);
    }

    ScopedConfigHome home_{"serial_test"};
    TerminalSimulator sim_;
};

TEST_F(SerialPort, CarriesEveryByteValueUnchangedBothWays) {
    Port port;
    open_for_terminal(port);
    const std::string bytes = every_byte_value();

    tavc::serial::Transfer sent = port.write(bytes.data(), bytes.size());
    EXPECT_TRUE(sent.ok());
    EXPECT_EQ(sent.bytes, bytes.size());
    EXPECT_EQ(sim_.wait_for_bytes(bytes.size()), bytes);

    ASSERT_TRUE(sim_.send(bytes));
    std::string got(bytes.size() + 8, '\xAA');
    ASSERT_EQ(port.set_timeouts({0, 0, 3000, 1, 100}), Status::Ok);
    tavc::serial::Transfer read = port.read(got.data(), bytes.size());
    EXPECT_TRUE(read.ok());
    got.resize(read.bytes);
    EXPECT_EQ(got, bytes);

    // Nothing the terminal sent came back to it as an echo.
    ASSERT_TRUE(port.write("END", 3).ok());
    EXPECT_EQ(sim_.wait_for_bytes(bytes.size() + 3), bytes + "END");
}

TEST_F(SerialPort, SetsTheBaudRateEightDataBitsNoParityOneStopBitAndARawLine) {
    Port port;
    open_for_terminal(port, 115200);
    termios t = sim_.line_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

class SerialFlowControl : public SerialPort, public ::testing::WithParamInterface<bool> {};

TEST_P(SerialFlowControl, StaysAsTheDeviceReportsIt) {
    termios t = sim_.line_settings();
    if (GetParam()) {
        t.c_cflag |= CRTSCTS;
    } else {
        t.c_cflag &= ~CRTSCTS;
    }
    ASSERT_TRUE(sim_.set_line_settings(t));
    Port port;
    open_for_terminal(port);
    EXPECT_EQ((sim_.line_settings().c_cflag & CRTSCTS) != 0, GetParam());
}

INSTANTIATE_TEST_SUITE_P(OnAndOff, SerialFlowControl, ::testing::Bool());

TEST_F(SerialPort, RefusesABaudRateWithoutADeviceSpeed) {
    Port port;
    ASSERT_EQ(port.open(kPort), Status::Ok);
    for (uint32_t rate : {0u, 9601u, 12345u, 4294967295u})
        EXPECT_EQ(port.configure(rate), Status::Unsupported) << rate;
    termios t = sim_.line_settings();
    EXPECT_NE(cfgetospeed(&t), static_cast<speed_t>(B0));  // a refused rate never hangs the line up
}

TEST_F(SerialPort, IsExclusiveInThisAndAnotherProcessUntilClosed) {
    Port first;
    ASSERT_EQ(first.open(kPort), Status::Ok);
    Port second;
    EXPECT_EQ(second.open(kPort), Status::Busy);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Port other;
        _exit(other.open(kPort) == Status::Busy ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process could open the port";

    first.close();
    EXPECT_EQ(second.open(kPort), Status::Ok);
    // Reopening the port one holds closes it first, so it does not collide with itself.
    EXPECT_EQ(second.open(kPort), Status::Ok);
}

TEST_F(SerialPort, FailsForAMissingDeviceAPortOutOfRangeAndAFileThatIsNoTty) {
    TerminalSimulator::link_port(home_.path(), 4, home_.path() + "/absent");
    std::string file = home_.path() + "/plain";
    std::ofstream(file) << "x";
    TerminalSimulator::link_port(home_.path(), 5, file);
    Port port;
    EXPECT_EQ(port.open(4), Status::NotFound);
    EXPECT_EQ(port.open(0), Status::NoSuchPort);
    EXPECT_EQ(port.open(11), Status::NoSuchPort);
    EXPECT_EQ(port.open(5), Status::Failed);
    EXPECT_FALSE(port.is_open());
    char byte = 0;
    EXPECT_EQ(port.read(&byte, 1).status, Status::Failed);
    EXPECT_EQ(port.write(&byte, 1).status, Status::Failed);
}

// Coarse bounds only: they catch a read that does not wait or one that hangs.
TEST_F(SerialPort, ReadOfOneByteFromASilentTerminalEndsWithNoBytesAfterItsTimeOut) {
    Port port;
    open_for_terminal(port);
    char byte = 'x';
    Clock::time_point start = Clock::now();
    tavc::serial::Transfer r = port.read(&byte, 1);
    long ms = elapsed_ms(start);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_EQ(byte, 'x');
    EXPECT_GE(ms, 500);
    EXPECT_LT(ms, 3000);
}

TEST_F(SerialPort, ReadEndsWhenTheGapAfterTheLastByteExceedsTheInterval) {
    Port port;
    open_for_terminal(port);
    ASSERT_EQ(port.set_timeouts({100, 0, 60000, 1, 100}), Status::Ok);
    ASSERT_TRUE(sim_.send("ab"));
    char buf[10] = {};
    Clock::time_point start = Clock::now();
    tavc::serial::Transfer r = port.read(buf, sizeof buf);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(std::string(buf, r.bytes), "ab");
    EXPECT_LT(elapsed_ms(start), 3000);
}

void ignore_signal(int) {}

TEST_F(SerialPort, ReadIsNotCutShortBySignals) {
    Port port;
    open_for_terminal(port);
    struct sigaction action {};
    action.sa_handler = ignore_signal;  // no SA_RESTART: every wait sees EINTR
    struct sigaction old {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGUSR1;
    event._sigev_un._tid = gettid();
    timer_t timer{};
    ASSERT_EQ(timer_create(CLOCK_MONOTONIC, &event, &timer), 0);
    itimerspec every_30ms{{0, 30'000'000}, {0, 30'000'000}};
    ASSERT_EQ(timer_settime(timer, 0, &every_30ms, nullptr), 0);

    char byte = 'x';
    Clock::time_point start = Clock::now();
    tavc::serial::Transfer r = port.read(&byte, 1);
    long ms = elapsed_ms(start);
    timer_delete(timer);
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_GE(ms, 500);
}

TEST_F(SerialPort, ReadAndWriteFailOnceTheTerminalHungUp) {
    Port port;
    open_for_terminal(port);
    sim_.hang_up();
    char byte = 'x';
    EXPECT_EQ(port.write("PJ22", 4).status, Status::Failed);
    EXPECT_EQ(port.read(&byte, 1).status, Status::Failed);
    EXPECT_EQ(byte, 'x');
}

}  // namespace
