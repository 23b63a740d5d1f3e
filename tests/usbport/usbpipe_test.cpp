// The four exports against USB devices that umockdev emulates: which interface is the device, what a read
// or write moves, when the after-failure request follows, and that nothing stays open after a call.
#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "usb_bed_test.h"
#include "usbpipe.h"

namespace {

using tavc::test::kIn1;
using tavc::test::kIn2;
using tavc::test::kOut1;
using tavc::test::kOut2;
using tavc::test::UsbDevice;
using tavc::test::UsbInterface;
using tavc::test::UsbTestbed;
using Clock = std::chrono::steady_clock;

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

using ReadExport = int32_t (*)(void*, int32_t);
using WriteExport = int32_t (*)(const void*, int32_t);

ReadExport read_port(int n) {
    return n == 1 ? ReadPort1 : ReadPort2;
}
WriteExport write_port(int n) {
    return n == 1 ? WritePort1 : WritePort2;
}
// The endpoint behind each export's pipe on the usual device.
uint8_t read_endpoint(int n) {
    return n == 1 ? kIn1 : kIn2;
}
uint8_t write_endpoint(int n) {
    return n == 1 ? kOut1 : kOut2;
}

std::string clear_halt(uint8_t endpoint) {
    char text[32];
    std::snprintf(text, sizeof text, "clear-halt %02x", endpoint);
    return text;
}

// The requests that start with `kind` ("clear-halt", "read", ...).
std::vector<std::string> requests_of(UsbDevice& device, const std::string& kind) {
    std::vector<std::string> found;
    for (const std::string& request : device.requests())
        if (request.rfind(kind, 0) == 0) found.push_back(request);
    return found;
}

using UsbPipeBed = tavc::test::UsbBedTest;

// One device with the usual interface.
class UsbPipe : public UsbPipeBed {
  protected:
    void SetUp() override {
        UsbPipeBed::SetUp();
        if (!IsSkipped()) device_ = &plug("1-1");
    }

    UsbDevice* device_ = nullptr;
};

// ---- Reads ---------------------------------------------------------------------------------------

struct ReadCase {
    const char* name;
    int port;
    int32_t length;
    std::string waiting;  // sent by the device before the call
    std::string later;    // sent once the read waits
    int32_t result;
    bool control;  // the after-failure request follows
};

const ReadCase kReads[] = {
    {"AFullBlockWaitingFillsTheBuffer", 1, 64, block(64, 1), "", 0, false},
    {"AFullBlockWaitingOnTheSecondReadPipe", 2, 64, block(64, 2), "", 0, false},
    {"ABlockArrivingWithinTheLimitFillsTheBuffer", 1, 64, "", block(64, 3), 0, false},
    {"ABlockArrivingOnTheSecondReadPipe", 2, 64, "", block(64, 4), 0, false},
    {"AShortBlockWaitingFailsAfterTheRequest", 1, 64, block(10, 5), "", -1, true},
    {"AShortBlockArrivingLaterFailsAfterTheRequest", 2, 64, "", block(10, 6), -1, true},
    {"ALongerBlockFillsTheBufferAndLeavesTheRestForTheNextRead", 1, 64, block(100, 7), "", 0, false},
    {"ZeroBytesSucceedAtOnce", 1, 0, "", "", 0, false},
    {"ZeroBytesTakeNothingWaiting", 2, 0, block(10, 8), "", 0, false},
};

class UsbPipeReads : public UsbPipe, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(UsbPipeReads, MoveWhatTheDeviceSentAndNothingMore) {
    const ReadCase& c = GetParam();
    const uint8_t endpoint = read_endpoint(c.port);
    if (!c.waiting.empty()) device_->send(endpoint, c.waiting);
    std::thread device;
    if (!c.later.empty()) {
        device = std::thread([&] {
            // The probe and the pipe's opening come before the read's transfer.
            if (device_->wait_for_reads(endpoint, 1)) device_->send(endpoint, c.later);
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
    std::vector<std::string> controls;
    if (c.control) controls.push_back(clear_halt(endpoint));
    EXPECT_EQ(requests_of(*device_, "clear-halt"), controls);
    // What the read did not take is the next read's.
    std::string rest = sent.substr(taken);
    if (!rest.empty()) {
        std::string next(kBufferSize, kUntouched);
        EXPECT_EQ(read_port(c.port)(next.data(), static_cast<int32_t>(rest.size())), 0);
        EXPECT_EQ(next.substr(0, rest.size()), rest);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbPipeReads, ::testing::ValuesIn(kReads), CaseName());

TEST_F(UsbPipe, AReadFindsTheDeviceAfreshMovesOneBlockAndLetsGoOfEverything) {
    device_->send(kIn1, block(64, 9));
    std::string buffer(64, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), 64), 0);
    // The probe claims and lets go; the pipe's claim is the device's too, held until the block is in.
    EXPECT_EQ(device_->requests(),
              (std::vector<std::string>{"claim 0", "release 0", "claim 0", "read 81 64", "release 0"}));
    EXPECT_TRUE(device_->wait_until_closed());
    EXPECT_EQ(device_->openings(), 2u);
}

TEST_F(UsbPipe, AReadWithNoBlockForTheLimitFailsAfterTheRequestAndStoresNothingLater) {
    std::string buffer(kBufferSize, kUntouched);
    Clock::time_point start = Clock::now();
    int32_t result = ReadPort1(buffer.data(), 64);
    long waited = elapsed_ms(start);

    EXPECT_EQ(result, -1);
    EXPECT_GE(waited, 1000);
    EXPECT_LT(waited, 6000);
    EXPECT_EQ(requests_of(*device_, "cancel"), (std::vector<std::string>{"cancel 81"}));
    EXPECT_EQ(requests_of(*device_, "clear-halt"), (std::vector<std::string>{clear_halt(kIn1)}));
    // A block sent right after the time-out is the next read's: no transfer is left that could take it.
    const std::string late = block(64, 10);
    device_->send(kIn1, late);
    EXPECT_EQ(buffer, std::string(kBufferSize, kUntouched));
    std::string next(64, kUntouched);
    EXPECT_EQ(ReadPort1(next.data(), 64), 0);
    EXPECT_EQ(next, late);
}

TEST_F(UsbPipe, AHaltedEndpointFailsOnceAndTheRequestClearsItsHalt) {
    device_->halt(kIn2);
    device_->halt(kOut1);
    const std::string data = block(64, 11);
    device_->send(kIn2, data);
    std::string buffer(64, kUntouched);
    EXPECT_EQ(ReadPort2(buffer.data(), 64), -1);
    EXPECT_EQ(WritePort1(data.data(), 64), -1);
    EXPECT_EQ(buffer, std::string(64, kUntouched));
    EXPECT_EQ(requests_of(*device_, "clear-halt"),
              (std::vector<std::string>{clear_halt(kIn2), clear_halt(kOut1)}));

    EXPECT_EQ(ReadPort2(buffer.data(), 64), 0);
    EXPECT_EQ(buffer, data);
    EXPECT_EQ(WritePort1(data.data(), 64), 0);
    EXPECT_EQ(device_->received(kOut1), (std::vector<std::string>{data}));
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
    {"ZeroBytesAsAZeroLengthPacket", 1, 0},
    {"ALargeBlockAsOneTransfer", 2, 200000},
};

class UsbPipeWrites : public UsbPipe, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(UsbPipeWrites, DeliverTheWholeBlockToTheirPipeOnly) {
    const WriteCase& c = GetParam();
    const std::string data = block(c.length, 12);
    EXPECT_EQ(write_port(c.port)(data.data(), static_cast<int32_t>(c.length)), 0);
    for (int port : {1, 2}) {
        std::vector<std::string> expected;
        if (port == c.port) expected.push_back(data);
        EXPECT_EQ(device_->received(write_endpoint(port)), expected) << port;
    }
    EXPECT_TRUE(requests_of(*device_, "clear-halt").empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbPipeWrites, ::testing::ValuesIn(kWrites), CaseName());

TEST_F(UsbPipe, AWriteLendsTheInterfaceFromItsKernelDriverAndGivesItBack) {
    UsbInterface driven;
    driven.driver = "vendor_bulk";
    UsbDevice& device = plug("1-0", {driven});
    const std::string data = block(64, 13);
    EXPECT_EQ(WritePort2(data.data(), 64), 0);
    EXPECT_EQ(device.received(kOut2), (std::vector<std::string>{data}));
    EXPECT_EQ(device.driver(0), "vendor_bulk");
    std::vector<std::string> expected{"disconnect 0", "claim 0",     "release 0", "connect 0", "disconnect 0",
                                      "claim 0",      "write 04 64", "release 0", "connect 0"};
    EXPECT_EQ(device.requests(), expected);
    EXPECT_TRUE(device_->requests().empty());
}

// ---- Which interface is the device -----------------------------------------------------------------

// Something first in sysfs order (device "1-0") that cannot serve as the device; "1-1" can.
struct FirstInterfaceCase {
    const char* name;
    std::function<void(UsbPipeBed&)> make;
};

class UsbPipeFirstInterface : public UsbPipe, public ::testing::WithParamInterface<FirstInterfaceCase> {};

UsbInterface without_class() {
    UsbInterface interface;
    interface.of_class = false;
    return interface;
}

UsbInterface named(std::string name) {
    UsbInterface interface;
    interface.name = std::move(name);
    return interface;
}

// An interface name that makes the interface path of device "1-0" `length` bytes long.
std::string name_for_path_length(size_t length) {
    return std::string(length - std::string("/sys/devices/usb1/1-0/").size(), 'a');
}

const FirstInterfaceCase kFirstInterfaces[] = {
    {"AnInterfaceWithoutTheClass", [](UsbPipeBed& t) { t.plug("1-0", {without_class()}); }},
    {"AnInterfaceThatAnotherProgramHolds", [](UsbPipeBed& t) { t.plug("1-0").refuse_claims(); }},
    {"AnInterfaceWhosePathIsOneByteOverTheLimit",
     [](UsbPipeBed& t) { t.plug("1-0", {named(name_for_path_length(249))}); }},
};

TEST_P(UsbPipeFirstInterface, IsPassedOverForTheNextInterface) {
    GetParam().make(*this);
    const std::string data = block(64, 14);
    device_->send(kIn1, data);
    std::string buffer(64, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), 64), 0);
    EXPECT_EQ(buffer, data);
    EXPECT_EQ(WritePort1(data.data(), 64), 0);
    EXPECT_EQ(device_->received(kOut1), (std::vector<std::string>{data}));
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbPipeFirstInterface, ::testing::ValuesIn(kFirstInterfaces), CaseName());

TEST_F(UsbPipe, TheFirstOfTwoUsableInterfacesInSysfsOrderIsTheDevice) {
    // Plugged in after "1-1" but first in sysfs order, with a second interface of the class.
    UsbDevice& first = plug("1-0", {UsbInterface{}, UsbInterface{}});
    const std::string data = block(64, 15);
    EXPECT_EQ(WritePort2(data.data(), 64), 0);
    EXPECT_EQ(first.received(kOut2), (std::vector<std::string>{data}));
    EXPECT_TRUE(device_->requests().empty());
    EXPECT_EQ(first.requests(),
              (std::vector<std::string>{"claim 0", "release 0", "claim 0", "write 04 64", "release 0"}));
}

TEST_F(UsbPipe, AnInterfacePathOfExactlyTheLimitIsUsed) {
    UsbDevice& longest = plug("1-0", {named(name_for_path_length(248))});
    ASSERT_EQ(longest.interface_path(0).size(), 248u);
    const std::string data = block(64, 16);
    longest.send(kIn1, data);
    std::string buffer(64, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), 64), 0);
    EXPECT_EQ(buffer, data);
}

TEST_F(UsbPipe, ADeviceWithOnePairOfEndpointsHasTheFirstTwoPipesOnly) {
    UsbInterface one_pair;
    one_pair.endpoints = {{kIn1}, {kOut1}};
    UsbDevice& device = plug("1-0", {one_pair});
    const std::string data = block(64, 17);
    device.send(kIn1, data);
    std::string buffer(kBufferSize, kUntouched);
    EXPECT_EQ(ReadPort2(buffer.data(), 64), -1);
    EXPECT_EQ(WritePort2(data.data(), 64), -1);
    EXPECT_EQ(buffer, std::string(kBufferSize, kUntouched));
    EXPECT_TRUE(requests_of(device, "read").empty());
    EXPECT_TRUE(requests_of(device, "clear-halt").empty());
    EXPECT_EQ(ReadPort1(buffer.data(), 64), 0);
    EXPECT_EQ(buffer.substr(0, 64), data);
    EXPECT_EQ(WritePort1(data.data(), 64), 0);
    EXPECT_EQ(device.received(kOut1), (std::vector<std::string>{data}));
}

// ---- Nothing to talk to ----------------------------------------------------------------------------

struct NoDeviceCase {
    const char* name;
    std::function<void(UsbPipeBed&)> make;
};

class UsbPipeNoDevice : public UsbPipeBed, public ::testing::WithParamInterface<NoDeviceCase> {};

const NoDeviceCase kNoDevices[] = {
    {"NoDeviceAtAll", [](UsbPipeBed&) {}},
    {"OnlyDevicesWithoutTheClass",
     [](UsbPipeBed& t) {
         t.plug("1-1", {without_class(), without_class()});
         t.plug("1-2", {without_class()});
     }},
    {"OnlyAnInterfaceThatAnotherProgramHolds", [](UsbPipeBed& t) { t.plug("1-1").refuse_claims(); }},
    {"OnlyAnInterfaceWhosePathIsTooLong",
     [](UsbPipeBed& t) { t.plug("1-0", {named(name_for_path_length(249))}); }},
    {"OnlyAnInterfaceWithoutBulkEndpoints",
     [](UsbPipeBed& t) {
         UsbInterface interrupt_only;
         interrupt_only.endpoints = {{0x81, false}, {0x02, false}};
         t.plug("1-1", {interrupt_only});
     }},
    {"OnlyADeviceThatIsGone",
     [](UsbPipeBed& t) {
         UsbDevice& device = t.plug("1-1");
         t.bed().unplug(device);
     }},
};

TEST_P(UsbPipeNoDevice, FailsEveryExportWithoutTouchingTheBuffer) {
    GetParam().make(*this);
    std::string buffer(kBufferSize, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), 64), -1);
    EXPECT_EQ(ReadPort2(buffer.data(), 64), -1);
    EXPECT_EQ(WritePort1(buffer.data(), 64), -1);
    EXPECT_EQ(WritePort2(buffer.data(), 64), -1);
    EXPECT_EQ(buffer, std::string(kBufferSize, kUntouched));
    for (UsbDevice* device : plugged_) {
        EXPECT_TRUE(requests_of(*device, "read").empty());
        EXPECT_TRUE(requests_of(*device, "write").empty());
        EXPECT_TRUE(requests_of(*device, "clear-halt").empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbPipeNoDevice, ::testing::ValuesIn(kNoDevices), CaseName());

TEST_F(UsbPipe, RefusesANegativeLengthOrANullBufferWithoutTouchingTheDevice) {
    const std::string data = block(64, 18);
    device_->send(kIn1, data);
    std::string buffer(kBufferSize, kUntouched);
    EXPECT_EQ(ReadPort1(buffer.data(), -1), -1);
    EXPECT_EQ(ReadPort2(nullptr, 64), -1);
    EXPECT_EQ(WritePort1(buffer.data(), INT32_MIN), -1);
    EXPECT_EQ(WritePort2(nullptr, 1), -1);
    EXPECT_EQ(buffer, std::string(kBufferSize, kUntouched));
    EXPECT_TRUE(device_->requests().empty());
    // No room is needed for nothing.
    EXPECT_EQ(ReadPort2(nullptr, 0), 0);
    EXPECT_EQ(WritePort1(nullptr, 0), 0);
    EXPECT_EQ(device_->received(kOut1), (std::vector<std::string>{""}));
    EXPECT_EQ(ReadPort1(buffer.data(), 64), 0);
    EXPECT_EQ(buffer.substr(0, 64), data);
}

}  // namespace
