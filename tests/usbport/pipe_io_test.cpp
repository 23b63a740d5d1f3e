// The library's timed read and device I/O control request against USB devices that umockdev emulates:
// the transfer result codes each outcome of the devices facility's read comes to, and which request
// clears a pipe's halt.
#include "pipe_io.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "usb_bed_test.h"

namespace {

using tavc::devices::Handle;
using tavc::devices::ReadResult;
using tavc::devices::ReadStatus;
using tavc::test::kIn1;
using tavc::test::kIn2;
using tavc::test::UsbDevice;
using tavc::usbpipe::kControlAfterFailure;
using tavc::usbpipe::kReadDone;
using tavc::usbpipe::kReadNoPipe;
using tavc::usbpipe::kReadShort;
using tavc::usbpipe::kReadTimedOut;
using tavc::usbpipe::ReadWithTimeout;
using tavc::usbpipe::SendControlRequest;

struct CodeCase {
    const char* name;
    ReadResult result;
    int32_t code;
};

const CodeCase kCodes[] = {
    {"DoneIsZero", {ReadStatus::Done, 0}, 0},
    {"ShortIsMinusOne", {ReadStatus::Short, 0}, -1},
    {"NotOpenIsSix", {ReadStatus::NotOpen, 0}, 6},
    {"TimedOutIs1460", {ReadStatus::TimedOut, 0}, 1460},
    {"AHaltIsEpipe", {ReadStatus::Failed, EPIPE}, EPIPE},
    {"NoReadPipeIsEbadf", {ReadStatus::Failed, EBADF}, EBADF},
    {"ADeviceGoneIsEnodev", {ReadStatus::Failed, ENODEV}, ENODEV},
};

class TransferResultOf : public ::testing::TestWithParam<CodeCase> {};

TEST_P(TransferResultOf, AReadIsItsCode) {
    EXPECT_EQ(tavc::usbpipe::TransferResult(GetParam().result), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferResultOf, ::testing::ValuesIn(kCodes),
                         [](const ::testing::TestParamInfo<CodeCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

using PipeIo = tavc::test::UsbBedTest;

TEST_F(PipeIo, ATimedReadAnswersTheCodeOfEachOutcome) {
    UsbDevice& device = plug("1-1");
    const std::string path = device.interface_path(0);
    Handle pipe = tavc::devices::open_pipe(path + "/PIPE00");
    Handle interface = tavc::devices::open_interface(path);
    ASSERT_TRUE(pipe.is_open());
    std::string buffer(16, '.');
    device.send(kIn1, "0123456789");
    EXPECT_EQ(ReadWithTimeout(pipe, buffer.data(), 8, 60000), kReadDone);
    EXPECT_EQ(ReadWithTimeout(pipe, buffer.data(), 16, 5000), kReadShort);
    EXPECT_EQ(ReadWithTimeout(pipe, buffer.data(), 0, 5000), kReadDone);
    EXPECT_EQ(ReadWithTimeout(pipe, buffer.data(), 8, 300), kReadTimedOut);
    EXPECT_EQ(ReadWithTimeout(Handle(), buffer.data(), 8, 1000), kReadNoPipe);
    EXPECT_EQ(ReadWithTimeout(interface, buffer.data(), 8, 1000), EBADF);
    device.halt(kIn1);
    EXPECT_EQ(ReadWithTimeout(pipe, buffer.data(), 4, 5000), EPIPE);
    EXPECT_EQ(buffer, "89234567........");  // nothing stored after the short block
}

TEST_F(PipeIo, TheAfterFailureRequestClearsThePipesHaltAndNothingElseDoes) {
    UsbDevice& device = plug("1-1");
    const std::string path = device.interface_path(0);
    Handle pipe = tavc::devices::open_pipe(path + "/PIPE02");
    Handle interface = tavc::devices::open_interface(path);
    device.halt(kIn2);
    SendControlRequest(pipe, 0x220004);
    SendControlRequest(interface, kControlAfterFailure);
    SendControlRequest(Handle(), kControlAfterFailure);
    char buffer[4];
    EXPECT_EQ(ReadWithTimeout(pipe, buffer, 4, 5000), EPIPE);
    SendControlRequest(pipe, kControlAfterFailure);
    device.send(kIn2, "data");
    EXPECT_EQ(ReadWithTimeout(pipe, buffer, 4, 5000), kReadDone);
    EXPECT_EQ(device.requests(),
              (std::vector<std::string>{"claim 0", "read 83 4", "clear-halt 83", "read 83 4"}));
}

}  // namespace
