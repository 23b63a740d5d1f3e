// The four exports against a device made of folders and FIFOs: which interface is the device, what a
// read or write moves, when the control request follows, and that no descriptor outlives a call.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "usb_device_fake.h"
#include "usbpipe.h"

namespace {

using namespace std::chrono_literals;
using tavc::test::DeviceObserver;
using tavc::test::DeviceRoot;
using tavc::test::FarEnd;
using tavc::test::ScopedEnv;
using Clock = std::chrono::steady_clock;
using Control = DeviceObserver::Control;

constexpr uint32_t kAfterFailure = 0x220008;
constexpr size_t kBufferSize = 128;
constexpr char kUntouched = '\xEE';

struct CaseName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& param_info) const {
        return param_info.param.name;
    }
};

long elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// Bytes that differ from block to block and from the untouched filling.
std::string block(size_t size, char seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7);
    return bytes;
}

std::string canonical(const std::string& path) {
    return std::filesystem::canonical(path).string();
}

using ReadExport = int32_t (*)(void*, int32_t);
using WriteExport = int32_t (*)(const void*, int32_t);

ReadExport read_port(int n) {
    return n == 1 ? ReadPort1 : ReadPort2;
}
WriteExport write_port(int n) {
    return n == 1 ? WritePort1 : WritePort2;
}
// The pipe each export uses, as the device's driver names them.
const char* read_pipe(int n) {
    return n == 1 ? "PIPE00" : "PIPE02";
}
const char* write_pipe(int n) {
    return n == 1 ? "PIPE01" : "PIPE03";
}

// One device with one interface, the far end of each pipe held by the test, and the observer.
class UsbPipe : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root_.ok());
        interface_ = root_.add_interface("usb0");
        for (const char* pipe : tavc::test::kPipeNames) {
            far_.push_back(std::make_unique<FarEnd>(pipe_path(pipe)));
            ASSERT_TRUE(far_.back()->ok()) << pipe;
        }
        open_before_ = tavc::test::open_paths();
    }
    void TearDown() override {
        EXPECT_EQ(tavc::test::open_paths(), open_before_) << "a call left a descriptor open";
    }

    std::string pipe_path(std::string_view pipe) const { return interface_ + "/" + std::string(pipe); }
    FarEnd& far(std::string_view pipe) {
        for (size_t i = 0; i < 4; ++i)
            if (pipe == tavc::test::kPipeNames[i]) return *far_[i];
        throw std::logic_error("no such pipe");
    }

    DeviceRoot root_;
    std::string interface_;
    std::vector<std::unique_ptr<FarEnd>> far_;
    DeviceObserver observer_;
    std::multiset<std::string> open_before_;
};

// ---- Reads ---------------------------------------------------------------------------------------

struct ReadCase {
    const char* name;
    int port;
    int32_t length;
    std::string waiting;  // in the pipe before the call
    std::string later;    // sent once the read waits
    int32_t result;
    bool control;  // the control request follows
};

const ReadCase kReads[] = {
    {"AFullBlockWaitingFillsTheBuffer", 1, 64, block(64, 1), "", 0, false},
    {"AFullBlockWaitingOnTheSecondReadPipe", 2, 64, block(64, 2), "", 0, false},
    {"ABlockArrivingWithinTheLimitFillsTheBuffer", 1, 64, "", block(64, 3), 0, false},
    {"ABlockArrivingOnTheSecondReadPipe", 2, 64, "", block(64, 4), 0, false},
    {"FewerBytesWaitingFailAfterTheControlRequest", 1, 64, block(10, 5), "", -1, true},
    {"FewerBytesArrivingLaterSucceed", 1, 64, "", block(10, 6), 0, false},
    {"MoreBytesWaitingThanAskedLeaveTheRestInThePipe", 1, 64, block(100, 7), "", 0, false},
    {"ZeroBytesSucceedAtOnce", 1, 0, "", "", 0, false},
    {"ZeroBytesTakeNothingWaiting", 2, 0, block(10, 8), "", 0, false},
};

class UsbPipeReads : public UsbPipe, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(UsbPipeReads, MoveWhatTheDeviceSentAndNothingMore) {
    const ReadCase& c = GetParam();
    const std::string pipe = read_pipe(c.port);
    ASSERT_TRUE(far(pipe).write(c.waiting));
    std::thread device;
    if (!c.later.empty()) {
        device = std::thread([&] {
            if (observer_.wait_for_waiting_reads(pipe_path(pipe), 1)) far(pipe).write(c.later);
        });
    }
    std::string buffer(kBufferSize, kUntouched);
    int32_t result = read_port(c.port)(buffer.data(), c.length);
    if (device.joinable()) device.join();

    EXPECT_EQ(result, c.result);
    const std::string& sent = c.waiting.empty() ? c.later : c.waiting;
    size_t taken = std::min(sent.size(), static_cast<size_t>(c.length));
    std::string expected = sent.substr(0, taken) + std::string(kBufferSize - taken, kUntouched);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(far(pipe).drain(), sent.substr(taken)) << "what the read did not take stays in the pipe";
    std::vector<Control> controls;
    if (c.control) controls.push_back({pipe_path(pipe), kAfterFailure});
    EXPECT_EQ(observer_.controls(), controls);
    if (!c.later.empty()) {
        // The device itself is held open while the read waits.
        EXPECT_EQ(observer_.open_while_waiting().count(canonical(interface_)), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbPipeReads, ::testing::ValuesIn(kReads), CaseName());

TEST_F(UsbPipe, AReadWithNoDataForTheLimitFailsAfterTheControlRequestAndStoresNothingLater) {
    const std::string block64 = block(64, 9);
    std::string buffer(kBufferSize, kUntouched);
    Clock::time_point start = Clock::now();
    int32_t result = ReadPort1(buffer.data(), 64);
    long waited = elapsed_ms(start);

    EXPECT_EQ(result, -1);
    EXPECT_GE(waited, 1000);
    EXPECT_LT(waited, 6000);
    EXPECT_EQ(observer_.controls(), (std::vector<Control>{{pipe_path("PIPE00"), kAfterFailure}}));
    // A block sent right after the time-out stays in the pipe: no read is left that could take it.
    ASSERT_TRUE(far("PIPE00").write(block64));
    EXPECT_EQ(far("PIPE00").read(64), block64);
    EXPECT_EQ(buffer, std::string(kBufferSize, kUntouched));
}

// ---- Writes --------------------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    int port;
    size_t length;
};

const WriteCase kWrites[] = {
    {"AFullBlockOnTheFirstWritePipe", 1, 64},
    {"AFullBlockOnTheSecondWritePipe", 2, 64},
    {"ZeroBytes", 1, 0},
    {"ABlockLargerThanThePipeHolds", 2, 200000},
};

class UsbPipeWrites : public UsbPipe, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(UsbPipeWrites, DeliverTheWholeBlockToTheirPipeOnly) {
    const WriteCase& c = GetParam();
    const std::string pipe = write_pipe(c.port);
    const std::string data = block(c.length, 10);
    std::string arrived;
    // The device reads while the write goes on, as a block larger than the pipe holds needs.
    std::thread device([&] { arrived = far(pipe).read(c.length); });
    EXPECT_EQ(write_port(c.port)(data.data(), static_cast<int32_t>(c.length)), 0);
    device.join();
    EXPECT_EQ(arrived, data);
    for (const char* other : tavc::test::kPipeNames) {
        if (other != pipe) {
            EXPECT_EQ(far(other).drain(), "") << other;
        }
    }
    EXPECT_TRUE(observer_.controls().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbPipeWrites, ::testing::ValuesIn(kWrites), CaseName());

TEST_F(UsbPipe, AWriteTheDeviceRefusesFailsAfterTheControlRequest) {
    // /dev/full takes no byte: every write to it fails.
    for (int port : {1, 2}) {
        std::string pipe = pipe_path(write_pipe(port));
        std::filesystem::remove(pipe);
        std::filesystem::create_symlink("/dev/full", pipe);
    }
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    open_before_ = tavc::test::open_paths();
    const std::string data = block(64, 11);
    EXPECT_EQ(WritePort1(data.data(), 64), -1);
    EXPECT_EQ(WritePort2(data.data(), 64), -1);
    EXPECT_EQ(observer_.controls(), (std::vector<Control>{{pipe_path("PIPE01"), kAfterFailure},
                                                          {pipe_path("PIPE03"), kAfterFailure}}));
}

// ---- Which interface is the device -----------------------------------------------------------------

// An entry "a…" that sorts before the usable interface "usb0" and cannot serve as the device.
struct FirstEntryCase {
    const char* name;
    std::function<void(const DeviceRoot&)> make;
};

void make_file(const std::string& path) {
    std::ofstream(path) << "not a device";
}

const FirstEntryCase kFirstEntries[] = {
    {"ALinkToNothing", [](const DeviceRoot& r) { r.add_link("a", r.path() + "/absent"); }},
    {"APlainFile", [](const DeviceRoot& r) { make_file(r.class_folder() + "/a"); }},
    {"ALinkToAPlainFile",
     [](const DeviceRoot& r) {
         make_file(r.path() + "/file");
         r.add_link("a", r.path() + "/file");
     }},
    {"AnInterfaceWhosePathIsOneByteOverTheLimit",
     [](const DeviceRoot& r) { r.add_interface(r.name_for_path_length(249).value_or("a")); }},
};

class UsbPipeFirstEntry : public UsbPipe, public ::testing::WithParamInterface<FirstEntryCase> {};

TEST_P(UsbPipeFirstEntry, IsPassedOverForTheNextInterface) {
    GetParam().make(root_);
    const std::string data = block(64, 12);
    ASSERT_TRUE(far("PIPE00").write(data));
    std::string buffer(64, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), 64), 0);
    EXPECT_EQ(buffer, data);
    EXPECT_EQ(WritePort1(data.data(), 64), 0);
    EXPECT_EQ(far("PIPE01").drain(), data);
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbPipeFirstEntry, ::testing::ValuesIn(kFirstEntries), CaseName());

TEST_F(UsbPipe, AFirstInterfaceThatCannotBeOpenedLeavesTheSecondToBeUsed) {
    std::string first = root_.add_interface("a");
    ::chmod(first.c_str(), 0);
    int probe = ::open(first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (probe >= 0) {
        ::close(probe);
        ::chmod(first.c_str(), 0755);
        GTEST_SKIP() << "permissions do not keep this user out of a folder";
    }
    const std::string data = block(64, 13);
    EXPECT_TRUE(far("PIPE02").write(data));
    std::string buffer(64, kUntouched);
    EXPECT_EQ(ReadPort2(buffer.data(), 64), 0);
    EXPECT_EQ(buffer, data);
    ::chmod(first.c_str(), 0755);
}

TEST_F(UsbPipe, TheFirstOfTwoUsableInterfacesInNameOrderIsTheDevice) {
    // Made after "usb0" but first in name order, and reached through a link.
    std::string target = root_.path() + "/real";
    std::filesystem::rename(interface_, target);
    root_.add_interface("usb1");
    root_.add_link("usb0", target);
    open_before_ = tavc::test::open_paths();
    const std::string data = block(64, 14);
    ASSERT_TRUE(far("PIPE03").ok());
    EXPECT_EQ(WritePort2(data.data(), 64), 0);
    EXPECT_EQ(far("PIPE03").drain(), data);
    EXPECT_EQ(tavc::test::FarEnd(root_.class_folder() + "/usb1/PIPE03").drain(), "");
}

TEST_F(UsbPipe, AnInterfacePathOfExactlyTheLimitIsUsed) {
    std::optional<std::string> name = root_.name_for_path_length(248);
    if (!name) GTEST_SKIP() << "the temporary folder's path is too long";
    std::filesystem::remove_all(interface_);
    std::string longest = root_.add_interface(*name);
    ASSERT_EQ(longest.size(), 248u);
    open_before_ = tavc::test::open_paths();
    FarEnd pipe(longest + "/PIPE00");
    const std::string data = block(64, 15);
    ASSERT_TRUE(pipe.write(data));
    std::string buffer(64, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), 64), 0);
    EXPECT_EQ(buffer, data);
}

// ---- Nothing to talk to ----------------------------------------------------------------------------

struct NoDeviceCase {
    const char* name;
    std::function<void(const DeviceRoot&, const std::string& interface)> make;
};

const NoDeviceCase kNoDevices[] = {
    {"NoRootFolder", [](const DeviceRoot& r, const std::string&) { std::filesystem::remove_all(r.path()); }},
    {"NoClassFolder",
     [](const DeviceRoot& r, const std::string&) { std::filesystem::remove_all(r.class_folder()); }},
    {"AClassFolderThatIsAFile",
     [](const DeviceRoot& r, const std::string&) {
         std::filesystem::remove_all(r.class_folder());
         make_file(r.class_folder());
     }},
    {"AnEmptyClassFolder", [](const DeviceRoot&, const std::string& i) { std::filesystem::remove_all(i); }},
    {"OnlyManyEntriesThatAreNoFolders",
     [](const DeviceRoot& r, const std::string& i) {
         std::filesystem::remove_all(i);
         for (int n = 0; n < 500; ++n) r.add_link("dead" + std::to_string(n), r.path() + "/absent");
     }},
    {"OnlyAnInterfaceWhosePathIsTooLong",
     [](const DeviceRoot& r, const std::string& i) {
         std::filesystem::rename(i, r.class_folder() + "/" + r.name_for_path_length(249).value_or("a"));
     }},
    {"AnInterfaceWithoutItsPipes",
     [](const DeviceRoot&, const std::string& i) {
         for (const char* pipe : tavc::test::kPipeNames) std::filesystem::remove(i + "/" + pipe);
     }},
    {"PipesThatAreFolders",
     [](const DeviceRoot&, const std::string& i) {
         for (const char* pipe : tavc::test::kPipeNames) {
             std::filesystem::remove(i + "/" + pipe);
             std::filesystem::create_directory(i + "/" + pipe);
         }
     }},
};

class UsbPipeNoDevice : public ::testing::TestWithParam<NoDeviceCase> {};

TEST_P(UsbPipeNoDevice, FailsEveryExportWithoutTouchingTheBuffer) {
    DeviceRoot root;
    ASSERT_TRUE(root.ok());
    std::string interface = root.add_interface("usb0");
    GetParam().make(root, interface);
    DeviceObserver observer;
    std::multiset<std::string> open_before = tavc::test::open_paths();
    std::string buffer(kBufferSize, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), 64), -1);
    EXPECT_EQ(ReadPort2(buffer.data(), 64), -1);
    EXPECT_EQ(WritePort1(buffer.data(), 64), -1);
    EXPECT_EQ(WritePort2(buffer.data(), 64), -1);
    EXPECT_EQ(buffer, std::string(kBufferSize, kUntouched));
    EXPECT_TRUE(observer.controls().empty());
    EXPECT_EQ(tavc::test::open_paths(), open_before);
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbPipeNoDevice, ::testing::ValuesIn(kNoDevices), CaseName());

TEST_F(UsbPipe, RefusesANegativeLengthOrANullBufferWithoutTouchingThePipes) {
    const std::string data = block(64, 16);
    ASSERT_TRUE(far("PIPE00").write(data));
    std::string buffer(kBufferSize, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), -1), -1);
    EXPECT_EQ(ReadPort2(nullptr, 64), -1);
    EXPECT_EQ(WritePort1(buffer.data(), INT32_MIN), -1);
    EXPECT_EQ(WritePort2(nullptr, 1), -1);
    EXPECT_EQ(buffer, std::string(kBufferSize, kUntouched));
    EXPECT_EQ(far("PIPE00").drain(), data);
    EXPECT_EQ(far("PIPE03").drain(), "");
    EXPECT_TRUE(observer_.controls().empty());
    // No room is needed for nothing.
    EXPECT_EQ(ReadPort2(nullptr, 0), 0);
    EXPECT_EQ(WritePort1(nullptr, 0), 0);
}

}  // namespace
