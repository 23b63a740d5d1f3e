// The platform layer's devices: interfaces listed from the device root, opens, and the timed read's
// results at FIFOs.
#include "devices.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "usb_device_fake.h"

namespace {

using namespace std::chrono_literals;
using tavc::devices::Handle;
using tavc::devices::InterfaceSet;
using tavc::devices::PipeIo;
using tavc::devices::Status;
using tavc::test::DeviceObserver;
using tavc::test::DeviceRoot;
using tavc::test::FarEnd;
using tavc::test::kDeviceClass;
using tavc::test::ScopedEnv;
using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// ---- Listing ---------------------------------------------------------------------------------------

TEST(DeviceInterfaces, AreTheClassFoldersEntriesInNameOrderWithUnreadableOnesFailing) {
    DeviceRoot root;
    ASSERT_TRUE(root.ok());
    for (const char* name : {"c", "a", "B"}) root.add_interface(name);
    std::ofstream(root.class_folder() + "/0file") << "x";
    root.add_link("1dead", root.path() + "/absent");
    std::filesystem::create_directory(root.path() + "/elsewhere");
    root.add_link("b", root.path() + "/elsewhere");

    InterfaceSet set(kDeviceClass);
    ASSERT_TRUE(set.ok());
    std::vector<std::pair<Status, std::string>> seen;
    for (size_t i = 0; i < 9; ++i) {
        std::string path = "unchanged";
        Status s = set.enumerate(i, &path);
        seen.emplace_back(s, s == Status::Ok ? path.substr(root.class_folder().size() + 1) : path);
    }
    std::vector<std::pair<Status, std::string>> expected = {{Status::NotFound, "unchanged"},
                                                            {Status::NotFound, "unchanged"},
                                                            {Status::Ok, "B"},
                                                            {Status::Ok, "a"},
                                                            {Status::Ok, "b"},
                                                            {Status::Ok, "c"},
                                                            {Status::NoMore, "unchanged"},
                                                            {Status::NoMore, "unchanged"},
                                                            {Status::NoMore, "unchanged"}};
    EXPECT_EQ(seen, expected);
}

TEST(DeviceInterfaces, LieUnderTheDeviceRootOrElseUnderDevTavc) {
    {
        ScopedEnv root("TAVC_DEVICE_ROOT", "/tmp/devices");
        EXPECT_EQ(tavc::devices::class_folder(kDeviceClass), std::string("/tmp/devices/") + kDeviceClass);
    }
    for (std::optional<std::string> unset : {std::optional<std::string>(), std::optional<std::string>("")}) {
        ScopedEnv root("TAVC_DEVICE_ROOT", unset);
        EXPECT_EQ(tavc::devices::class_folder(kDeviceClass), std::string("/dev/tavc/") + kDeviceClass);
    }
}

TEST(DeviceInterfaces, OfAClassWithoutAFolderAreNone) {
    DeviceRoot root;
    ASSERT_TRUE(root.ok());
    root.add_interface("usb0");
    InterfaceSet other("{00000000-0000-0000-0000-000000000000}");
    EXPECT_FALSE(other.ok());
    std::string path;
    EXPECT_EQ(other.enumerate(0, &path), Status::NoMore);

    ScopedEnv missing("TAVC_DEVICE_ROOT", root.path() + "/absent");
    EXPECT_FALSE(InterfaceSet(kDeviceClass).ok());
}

// ---- Opens -----------------------------------------------------------------------------------------

TEST(DeviceOpens, TakeAnInterfaceFolderAndAPipeFileOnly) {
    DeviceRoot root;
    ASSERT_TRUE(root.ok());
    std::string interface = root.add_interface("usb0");
    Status status = Status::Failed;

    EXPECT_TRUE(tavc::devices::open_interface(interface, &status).is_open());
    EXPECT_EQ(status, Status::Ok);
    EXPECT_FALSE(tavc::devices::open_interface(interface + "/PIPE00", &status).is_open());
    EXPECT_EQ(status, Status::NotFound);
    EXPECT_FALSE(tavc::devices::open_interface(interface + "/absent", &status).is_open());
    EXPECT_EQ(status, Status::NotFound);

    for (PipeIo io : {PipeIo::Overlapped, PipeIo::Synchronous}) {
        Handle pipe = tavc::devices::open_pipe(interface + "/PIPE01", io, &status);
        EXPECT_TRUE(pipe.is_open());
        EXPECT_EQ(pipe.path(), interface + "/PIPE01");
        EXPECT_FALSE(tavc::devices::open_pipe(interface + "/PIPE09", io, &status).is_open());
        EXPECT_EQ(status, Status::NotFound);
        EXPECT_FALSE(tavc::devices::open_pipe(interface, io, &status).is_open());
        EXPECT_EQ(status, Status::NotFound);
    }
}

// ---- Timed reads -----------------------------------------------------------------------------------

class TimedRead : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root_.ok());
        ASSERT_TRUE(far_.ok());
        ASSERT_TRUE(pipe_.is_open());
    }

    // One read of `length` into a fresh buffer; the buffer as it is afterwards.
    int read(size_t length, uint32_t timeout_ms, std::string* buffer) {
        buffer->assign(16, '.');
        return tavc::devices::read_with_timeout(pipe_, buffer->data(), length, timeout_ms);
    }

    DeviceRoot root_;
    std::string interface_ = root_.add_interface("usb0");
    std::string pipe_path_ = interface_ + "/PIPE00";
    FarEnd far_{pipe_path_};
    Handle pipe_ = tavc::devices::open_pipe(pipe_path_, PipeIo::Overlapped);
    DeviceObserver observer_;
};

struct AtOnceCase {
    const char* name;
    std::string waiting;
    size_t length;
    int result;
    std::string buffer;
};

const AtOnceCase kAtOnce[] = {
    {"AllAskedForEndsDone", "0123456789", 8, tavc::devices::kReadDone, "01234567........"},
    {"FewerThanAskedEndsShort", "0123", 8, tavc::devices::kReadShortAtOnce, "0123............"},
    {"ZeroBytesEndDone", "0123", 0, tavc::devices::kReadDone, "................"},
};

class TimedReadAtOnce : public TimedRead, public ::testing::WithParamInterface<AtOnceCase> {};

TEST_P(TimedReadAtOnce, OfBytesAlreadyWaitingEndsWithoutWaiting) {
    const AtOnceCase& c = GetParam();
    ASSERT_TRUE(far_.write(c.waiting));
    std::string buffer;
    EXPECT_EQ(read(c.length, 60000, &buffer), c.result);
    EXPECT_EQ(buffer, c.buffer);
    EXPECT_FALSE(observer_.wait_for_waiting_reads(pipe_path_, 1, 0ms));
}

INSTANTIATE_TEST_SUITE_P(Cases, TimedReadAtOnce, ::testing::ValuesIn(kAtOnce),
                         [](const ::testing::TestParamInfo<AtOnceCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST_F(TimedRead, TakesWhateverArrivesWhileItWaits) {
    std::thread device([&] {
        if (observer_.wait_for_waiting_reads(pipe_path_, 1)) far_.write("abc");
    });
    std::string buffer;
    EXPECT_EQ(read(8, 60000, &buffer), tavc::devices::kReadDone);
    device.join();
    EXPECT_EQ(buffer, "abc.............");
}

TEST_F(TimedRead, TimesOutNoSoonerThanItsLimitAndLeavesLaterBytesInThePipe) {
    std::string buffer;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(read(8, 300, &buffer), tavc::devices::kReadTimedOut);
    EXPECT_GE(elapsed_ms(start), 300);
    ASSERT_TRUE(far_.write("late"));
    EXPECT_EQ(far_.read(4), "late");
    EXPECT_EQ(buffer, std::string(16, '.'));
}

TEST_F(TimedRead, OfAClosedHandleOrAFolderAnswersNoPipeOrTheSystemsError) {
    std::string buffer(8, '.');
    EXPECT_EQ(tavc::devices::read_with_timeout(Handle(), buffer.data(), 8, 1000), tavc::devices::kReadNoPipe);
    Handle folder = tavc::devices::open_interface(interface_);
    EXPECT_EQ(tavc::devices::read_with_timeout(folder, buffer.data(), 8, 1000), EISDIR);
    EXPECT_EQ(buffer, "........");
}

TEST_F(TimedRead, ThatLosesTheBytesToAnotherReaderWaitsOnUntilItsLimit) {
    Handle second = tavc::devices::open_pipe(pipe_path_, PipeIo::Overlapped);
    int results[2] = {};
    std::string buffers[2];
    std::thread readers[2];
    for (int i = 0; i < 2; ++i) {
        readers[i] = std::thread([&, i] {
            buffers[i].assign(4, '.');
            results[i] =
                tavc::devices::read_with_timeout(i == 0 ? pipe_ : second, buffers[i].data(), 4, 1500);
        });
    }
    // Both wait, then one block comes: one reader takes it, the other finds nothing and waits on.
    EXPECT_TRUE(observer_.wait_for_waiting_reads(pipe_path_, 2));
    EXPECT_TRUE(far_.write("data"));
    for (std::thread& t : readers) t.join();
    std::multiset<int> got(results, results + 2);
    EXPECT_EQ(got, (std::multiset<int>{tavc::devices::kReadDone, tavc::devices::kReadTimedOut}));
    EXPECT_EQ(std::multiset<std::string>(buffers, buffers + 2), (std::multiset<std::string>{"data", "...."}));
}

std::atomic<int> signals_handled{0};

void count_signal(int) {
    signals_handled.fetch_add(1);
}

// Interrupting signals without SA_RESTART, as a host program may install them.
class TimedReadUnderSignals : public TimedRead {
  protected:
    void SetUp() override {
        TimedRead::SetUp();
        struct sigaction action {};
        action.sa_handler = count_signal;
        sigemptyset(&action.sa_mask);
        ASSERT_EQ(::sigaction(SIGUSR1, &action, &saved_), 0);
    }
    void TearDown() override { ::sigaction(SIGUSR1, &saved_, nullptr); }

    // Sends `count` signals to `thread`, each once the one before was handled, until the read is over.
    static void interrupt(std::thread& thread, int count, const std::atomic<bool>& over) {
        for (int i = 0; i < count && !over; ++i) {
            int before = signals_handled.load();
            ::pthread_kill(thread.native_handle(), SIGUSR1);
            Clock::time_point sent = Clock::now();
            while (signals_handled.load() == before && !over && Clock::now() - sent < 5s)
                std::this_thread::yield();
        }
    }

    struct sigaction saved_ {};
};

TEST_F(TimedReadUnderSignals, WaitsThroughThemForTheBytes) {
    std::string buffer;
    int result = 0;
    std::atomic<bool> over{false};
    std::thread reader([&] {
        result = read(4, 60000, &buffer);
        over = true;
    });
    EXPECT_TRUE(observer_.wait_for_waiting_reads(pipe_path_, 1));
    interrupt(reader, 5, over);
    EXPECT_TRUE(far_.write("data"));
    reader.join();
    EXPECT_EQ(result, tavc::devices::kReadDone);
    EXPECT_EQ(buffer.substr(0, 4), "data");
}

TEST_F(TimedReadUnderSignals, WaitsThroughThemForItsWholeLimit) {
    std::string buffer;
    int result = 0;
    Clock::time_point start = Clock::now();
    std::atomic<bool> over{false};
    std::thread reader([&] {
        result = read(4, 400, &buffer);
        over = true;
    });
    EXPECT_TRUE(observer_.wait_for_waiting_reads(pipe_path_, 1));
    interrupt(reader, 5, over);
    reader.join();
    EXPECT_EQ(result, tavc::devices::kReadTimedOut);
    EXPECT_GE(elapsed_ms(start), 400);
}

// ---- Writes and control requests -------------------------------------------------------------------

TEST(DeviceWrites, DeliverEveryByteOrReportTheRefusal) {
    DeviceRoot root;
    ASSERT_TRUE(root.ok());
    std::string interface = root.add_interface("usb0");
    FarEnd far(interface + "/PIPE01");
    Handle pipe = tavc::devices::open_pipe(interface + "/PIPE01", PipeIo::Synchronous);
    ASSERT_TRUE(pipe.is_open());
    std::string data(150000, 'x');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
    std::string arrived;
    std::thread device([&] { arrived = far.read(data.size()); });
    EXPECT_EQ(tavc::devices::write(pipe, data.data(), data.size()), Status::Ok);
    device.join();
    EXPECT_EQ(arrived, data);

    EXPECT_EQ(tavc::devices::write(Handle(), data.data(), 1), Status::Failed);
    Handle full = tavc::devices::open_pipe("/dev/full", PipeIo::Synchronous);
    if (!full.is_open()) GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(tavc::devices::write(full, data.data(), 64), Status::Failed);
}

TEST(DeviceControl, IsReportedWithItsPipeAndCodeWhateverTheDeviceAnswers) {
    DeviceRoot root;
    ASSERT_TRUE(root.ok());
    std::string interface = root.add_interface("usb0");
    DeviceObserver observer;
    Handle pipe = tavc::devices::open_pipe(interface + "/PIPE02", PipeIo::Overlapped);
    tavc::devices::control(pipe, 0x220008);
    tavc::devices::control(Handle(), 0x220008);
    EXPECT_EQ(observer.controls(), (std::vector<DeviceObserver::Control>{{interface + "/PIPE02", 0x220008}}));
}

}  // namespace
