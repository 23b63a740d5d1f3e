// The platform layer's devices against USB devices that umockdev emulates: the interfaces udev lists, the
// claims of an interface, its pipes, timed reads, writes and clearing a halt.
#include "devices.h"

#include <cerrno>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "usb_bed_test.h"

namespace {

using namespace std::chrono_literals;
using tavc::devices::Handle;
using tavc::devices::InterfaceSet;
using tavc::devices::ReadResult;
using tavc::devices::ReadStatus;
using tavc::devices::Status;
using tavc::test::kDeviceClass;
using tavc::test::kIn1;
using tavc::test::kIn2;
using tavc::test::kOut1;
using tavc::test::kOut2;
using tavc::test::UsbDevice;
using tavc::test::UsbInterface;
using tavc::test::UsbTestbed;
using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

std::vector<std::string> interfaces_of(std::string_view interface_class) {
    InterfaceSet set(interface_class);
    EXPECT_TRUE(set.ok());
    std::vector<std::string> paths;
    std::string path;
    while (set.enumerate(paths.size(), &path) == Status::Ok) paths.push_back(path);
    EXPECT_EQ(set.enumerate(paths.size() + 5, &path), Status::NoMore);
    return paths;
}

using Devices = tavc::test::UsbBedTest;

constexpr ReadResult kDone{ReadStatus::Done, 0};
constexpr ReadResult kShort{ReadStatus::Short, 0};
constexpr ReadResult kTimedOut{ReadStatus::TimedOut, 0};

ReadResult failed(int error) {
    return {ReadStatus::Failed, error};
}

}  // namespace

namespace tavc::devices {

void PrintTo(const ReadResult& result, std::ostream* out) {
    static const char* const kNames[] = {"Done", "Short", "NotOpen", "TimedOut", "Failed"};
    *out << kNames[static_cast<int>(result.status)];
    if (result.status == ReadStatus::Failed) *out << " errno " << result.error;
}

}  // namespace tavc::devices

namespace {

// ---- Listing ---------------------------------------------------------------------------------------

TEST_F(Devices, AreTheInterfacesCarryingTheClassInTheOrderOfTheirSysfsPaths) {
    UsbInterface plain;
    plain.of_class = false;
    UsbDevice& third = plug("1-3");
    UsbDevice& first = plug("1-1", {plain, UsbInterface{}});
    UsbDevice& second = plug("1-2");
    plug("1-4", {plain});

    EXPECT_EQ(interfaces_of(kDeviceClass),
              (std::vector<std::string>{first.interface_path(1), second.interface_path(0),
                                        third.interface_path(0)}));
    EXPECT_EQ(first.interface_path(1), "/sys/devices/usb1/1-1/1-1:1.1");
}

TEST_F(Devices, OfAnotherClassOrWithNoDeviceAtAllAreNone) {
    EXPECT_TRUE(interfaces_of(kDeviceClass).empty());
    plug("1-1");
    for (const char* other :
         {"{00000000-0000-0000-0000-000000000000}", "{682c3004-da2f-4d13-b7b4-6cab9c5da05a}",
          "{682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A*", "*"})
        EXPECT_TRUE(interfaces_of(other).empty()) << other;
}

// ---- Claims ----------------------------------------------------------------------------------------

TEST_F(Devices, ShareOneClaimOfAnInterfaceThatEndsWithTheLastHandle) {
    UsbDevice& device = plug("1-1");
    const std::string path = device.interface_path(0);
    Status status = Status::Failed;
    {
        Handle interface = tavc::devices::open_interface(path, &status);
        ASSERT_TRUE(interface.is_open());
        EXPECT_EQ(status, Status::Ok);
        EXPECT_EQ(interface.path(), path);
        Handle again = tavc::devices::open_interface(path);
        Handle pipe = tavc::devices::open_pipe(path + "/PIPE01", &status);
        EXPECT_EQ(status, Status::Ok);
        EXPECT_EQ(pipe.path(), path + "/PIPE01");
        Handle moved = std::move(again);
        EXPECT_FALSE(again.is_open());
        EXPECT_EQ(device.requests(), (std::vector<std::string>{"claim 0"}));
    }
    EXPECT_EQ(device.requests(), (std::vector<std::string>{"claim 0", "release 0"}));
    EXPECT_EQ(device.openings(), 1u);
}

TEST_F(Devices, DetachABoundKernelDriverForTheClaimAndGiveItBackAfterwards) {
    UsbInterface driven;
    driven.driver = "vendor_bulk";
    UsbDevice& device = plug("1-1", {UsbInterface{}, driven});
    {
        Handle plain = tavc::devices::open_interface(device.interface_path(0));
        Handle interface = tavc::devices::open_interface(device.interface_path(1));
        ASSERT_TRUE(plain.is_open() && interface.is_open());
        EXPECT_EQ(device.driver(1), "");
    }
    EXPECT_EQ(device.requests(), (std::vector<std::string>{"claim 0", "disconnect 1", "claim 1", "release 1",
                                                           "connect 1", "release 0"}));
    EXPECT_EQ(device.driver(1), "vendor_bulk");
}

TEST_F(Devices, FailAsBusyWhileAnotherProgramHoldsTheInterface) {
    UsbDevice& device = plug("1-1");
    device.refuse_claims();
    Status status = Status::Ok;
    EXPECT_FALSE(tavc::devices::open_interface(device.interface_path(0), &status).is_open());
    EXPECT_EQ(status, Status::Busy);
    EXPECT_FALSE(tavc::devices::open_pipe(device.interface_path(0) + "/PIPE00", &status).is_open());
    EXPECT_EQ(status, Status::Busy);
    EXPECT_TRUE(device.requests().empty());
}

TEST_F(Devices, FailAsNotFoundForAPathThatIsNoInterfaceOrWhoseDeviceIsGone) {
    UsbDevice& device = plug("1-1");
    UsbDevice& gone = plug("1-2");
    const std::string gone_path = gone.interface_path(0);
    bed_.unplug(gone);
    const std::string device_path = "/sys/devices/usb1/1-1";
    for (const std::string& path : {device_path, std::string("/sys/devices/usb1/1-9/1-9:1.0"), gone_path,
                                    std::string("relative"), std::string()}) {
        Status status = Status::Ok;
        EXPECT_FALSE(tavc::devices::open_interface(path, &status).is_open()) << path;
        EXPECT_EQ(status, Status::NotFound) << path;
        EXPECT_FALSE(tavc::devices::open_pipe(path + "/PIPE00", &status).is_open()) << path;
        EXPECT_EQ(status, Status::NotFound) << path;
    }
    EXPECT_TRUE(device.requests().empty());
}

// ---- Pipes -----------------------------------------------------------------------------------------

struct PipeCase {
    const char* pipe;
    std::string request;  // what one transfer of 8 bytes on it asks of the device
};

TEST_F(Devices, AreTheBulkEndpointsInDescriptorOrderOnly) {
    // An interrupt endpoint first, and a third pair of bulk endpoints after the two that count.
    UsbInterface interface;
    interface.endpoints = {{0x85, false}, {0x86}, {0x07}, {0x88}, {0x01}, {0x89}, {0x0A}};
    UsbDevice& device = plug("1-1", {interface});
    const std::string path = device.interface_path(0);
    const PipeCase cases[] = {
        {"PIPE00", "read 86 8"}, {"PIPE01", "write 07 8"}, {"PIPE02", "read 88 8"}, {"PIPE03", "write 01 8"}};
    device.send(0x86, "12345678");
    device.send(0x88, "12345678");
    std::vector<std::string> expected{"claim 0"};
    Handle held = tavc::devices::open_interface(path);
    for (const PipeCase& c : cases) {
        Handle pipe = tavc::devices::open_pipe(path + "/" + c.pipe);
        ASSERT_TRUE(pipe.is_open()) << c.pipe;
        char buffer[8];
        if (c.request[0] == 'r') {
            EXPECT_EQ(tavc::devices::read_with_timeout(pipe, buffer, 8, 5000), kDone) << c.pipe;
        } else {
            EXPECT_EQ(tavc::devices::write(pipe, "abcdefgh", 8), Status::Ok) << c.pipe;
        }
        expected.push_back(c.request);
    }
    EXPECT_EQ(device.requests(), expected);
}

TEST_F(Devices, ThatTheInterfaceLacksAreNotFoundAndLeaveNoClaim) {
    UsbInterface one_pair;
    one_pair.endpoints = {{kIn1}, {kOut1}};
    UsbDevice& device = plug("1-1", {one_pair});
    const std::string path = device.interface_path(0);
    for (const char* name : {"PIPE02", "PIPE03", "PIPE04", "pipe00", "PIPE0", ""}) {
        Status status = Status::Ok;
        EXPECT_FALSE(tavc::devices::open_pipe(path + "/" + name, &status).is_open()) << name;
        EXPECT_EQ(status, Status::NotFound) << name;
    }
    EXPECT_TRUE(tavc::devices::open_pipe(path + "/PIPE00").is_open());
    std::vector<std::string> requests = device.requests();
    EXPECT_EQ(requests.size(), 14u);
    for (size_t i = 0; i + 1 < requests.size(); i += 2) {
        EXPECT_EQ(requests[i], "claim 0");
        EXPECT_EQ(requests[i + 1], "release 0");
    }
}

// ---- Timed reads -----------------------------------------------------------------------------------

class TimedRead : public Devices {
  protected:
    void SetUp() override {
        Devices::SetUp();
        if (IsSkipped()) return;
        device_ = &plug("1-1");
        pipe_ = tavc::devices::open_pipe(device_->interface_path(0) + "/PIPE00");
        ASSERT_TRUE(pipe_.is_open());
    }
    void TearDown() override {
        pipe_ = Handle();
        Devices::TearDown();
    }

    // One read of `length` into a fresh buffer; the buffer as it is afterwards.
    ReadResult read(size_t length, uint32_t timeout_ms, std::string* buffer) {
        buffer->assign(16, '.');
        return tavc::devices::read_with_timeout(pipe_, buffer->data(), length, timeout_ms);
    }

    UsbDevice* device_ = nullptr;
    Handle pipe_;
};

struct WaitingCase {
    const char* name;
    std::string waiting;
    size_t length;
    ReadResult result;
    std::string buffer;
    std::string next;  // what the next read of 16 bytes gets
};

const WaitingCase kWaiting[] = {
    {"AllAskedForIsDone", "0123456789", 8, kDone, "01234567........", "89"},
    {"FewerThanAskedIsShort", "0123", 8, kShort, "0123............", ""},
    {"ZeroBytesAreDoneWithoutATransfer", "0123", 0, kDone, "................", "0123"},
};

class TimedReadOfABlockWaiting : public TimedRead, public ::testing::WithParamInterface<WaitingCase> {};

TEST_P(TimedReadOfABlockWaiting, EndsWithWhatTheBlockHolds) {
    const WaitingCase& c = GetParam();
    device_->send(kIn1, c.waiting);
    std::string buffer;
    EXPECT_EQ(read(c.length, 60000, &buffer), c.result);
    EXPECT_EQ(buffer, c.buffer);
    if (!c.next.empty()) {
        EXPECT_EQ(read(16, 5000, &buffer), kShort);
        EXPECT_EQ(buffer.substr(0, c.next.size()), c.next);
    }
    std::vector<std::string> reads;
    for (const std::string& r : device_->requests())
        if (r.rfind("read", 0) == 0) reads.push_back(r);
    std::vector<std::string> expected;
    if (c.length > 0) expected.push_back("read 81 " + std::to_string(c.length));
    if (!c.next.empty()) expected.push_back("read 81 16");
    EXPECT_EQ(reads, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TimedReadOfABlockWaiting, ::testing::ValuesIn(kWaiting),
                         [](const ::testing::TestParamInfo<WaitingCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST_F(TimedRead, TakesABlockThatArrivesWhileItWaitsAndJudgesItsLength) {
    for (const std::string& block : {std::string("abcdefgh"), std::string("abc")}) {
        std::thread device([&] {
            if (device_->wait_for_reads(kIn1, block.size() == 8 ? 1 : 2)) device_->send(kIn1, block);
        });
        std::string buffer;
        ReadResult result = read(8, 60000, &buffer);
        device.join();
        EXPECT_EQ(result, block.size() == 8 ? kDone : kShort);
        EXPECT_EQ(buffer, block + std::string(16 - block.size(), '.'));
    }
}

TEST_F(TimedRead, TimesOutNoSoonerThanItsLimitCancelsTheTransferAndStoresNothing) {
    std::string buffer;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(read(8, 300, &buffer), kTimedOut);
    EXPECT_GE(elapsed_ms(start), 300);
    EXPECT_EQ(buffer, std::string(16, '.'));
    EXPECT_EQ(device_->requests(), (std::vector<std::string>{"claim 0", "read 81 8", "cancel 81"}));
    // A block that comes afterwards is the next read's.
    device_->send(kIn1, "late");
    EXPECT_EQ(read(8, 5000, &buffer), kShort);
    EXPECT_EQ(buffer.substr(0, 4), "late");
}

TEST_F(TimedRead, OfAHaltedEndpointFailsWithEpipeAndStoresNothing) {
    device_->halt(kIn1);
    device_->send(kIn1, "data");
    std::string buffer;
    EXPECT_EQ(read(4, 5000, &buffer), failed(EPIPE));
    EXPECT_EQ(buffer, std::string(16, '.'));
}

TEST_F(TimedRead, OfAClosedHandleAnInterfaceOrAWritePipeIsNotOpenOrFailsWithEbadf) {
    std::string buffer(8, '.');
    Handle interface = tavc::devices::open_interface(device_->interface_path(0));
    Handle write_pipe = tavc::devices::open_pipe(device_->interface_path(0) + "/PIPE01");
    EXPECT_EQ(tavc::devices::read_with_timeout(Handle(), buffer.data(), 8, 1000),
              (ReadResult{ReadStatus::NotOpen, 0}));
    EXPECT_EQ(tavc::devices::read_with_timeout(interface, buffer.data(), 8, 1000), failed(EBADF));
    EXPECT_EQ(tavc::devices::read_with_timeout(write_pipe, buffer.data(), 8, 1000), failed(EBADF));
    EXPECT_EQ(buffer, "........");
    EXPECT_EQ(device_->requests(), (std::vector<std::string>{"claim 0"}));
}

TEST_F(TimedRead, WaitingTwiceAtOnceOnOnePipeGivesTheOneBlockToOneReadOnly) {
    Handle second = tavc::devices::open_pipe(device_->interface_path(0) + "/PIPE00");
    ReadStatus results[2] = {};
    std::string buffers[2];
    std::thread readers[2];
    for (int i = 0; i < 2; ++i) {
        readers[i] = std::thread([&, i] {
            buffers[i].assign(4, '.');
            results[i] =
                tavc::devices::read_with_timeout(i == 0 ? pipe_ : second, buffers[i].data(), 4, 3000).status;
        });
    }
    EXPECT_TRUE(device_->wait_for_reads(kIn1, 2));
    device_->send(kIn1, "data");
    for (std::thread& t : readers) t.join();
    std::multiset<ReadStatus> got(results, results + 2);
    EXPECT_EQ(got, (std::multiset<ReadStatus>{ReadStatus::Done, ReadStatus::TimedOut}));
    EXPECT_EQ(std::multiset<std::string>(buffers, buffers + 2), (std::multiset<std::string>{"data", "...."}));
}

// ---- Writes and clearing a halt ----------------------------------------------------------------------

TEST_F(Devices, WritesDeliverEachBlockAsOneTransferOrReportTheRefusal) {
    UsbDevice& device = plug("1-1");
    const std::string path = device.interface_path(0);
    Handle pipe = tavc::devices::open_pipe(path + "/PIPE03");
    ASSERT_TRUE(pipe.is_open());
    std::string data(150000, 'x');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
    EXPECT_EQ(tavc::devices::write(pipe, data.data(), data.size()), Status::Ok);
    EXPECT_EQ(tavc::devices::write(pipe, nullptr, 0), Status::Ok);
    EXPECT_EQ(device.received(kOut2), (std::vector<std::string>{data, ""}));
    EXPECT_TRUE(device.received(kOut1).empty());

    device.halt(kOut2);
    EXPECT_EQ(tavc::devices::write(pipe, data.data(), 64), Status::Failed);
    Handle read_pipe = tavc::devices::open_pipe(path + "/PIPE02");
    Handle interface = tavc::devices::open_interface(path);
    for (const Handle* other : {&read_pipe, &interface})
        EXPECT_EQ(tavc::devices::write(*other, data.data(), 64), Status::Failed);
    EXPECT_EQ(tavc::devices::write(Handle(), data.data(), 1), Status::Failed);
    EXPECT_EQ(device.received(kOut2).size(), 2u);
    EXPECT_TRUE(device.received(kIn2).empty());
}

TEST_F(Devices, ClearingAHaltClearsThePipesAndAnInterfaceOrAClosedHandleHasNone) {
    UsbDevice& device = plug("1-1");
    const std::string path = device.interface_path(0);
    Handle pipe = tavc::devices::open_pipe(path + "/PIPE02");
    Handle interface = tavc::devices::open_interface(path);
    device.halt(kIn2);
    tavc::devices::clear_halt(interface);
    tavc::devices::clear_halt(Handle());
    char buffer[4];
    EXPECT_EQ(tavc::devices::read_with_timeout(pipe, buffer, 4, 5000), failed(EPIPE));
    tavc::devices::clear_halt(pipe);
    device.send(kIn2, "data");
    EXPECT_EQ(tavc::devices::read_with_timeout(pipe, buffer, 4, 5000), kDone);
    EXPECT_EQ(device.requests(),
              (std::vector<std::string>{"claim 0", "read 83 4", "clear-halt 83", "read 83 4"}));
}

}  // namespace
