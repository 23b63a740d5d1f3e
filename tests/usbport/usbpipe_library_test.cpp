// libusbpipe.so as a program outside the system uses it: loaded by name from the build's bin folder,
// showing its four exports and nothing else, and moving blocks with no state kept between calls.
#include <dlfcn.h>
#include <stdio.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "library_symbols.h"
#include "usb_device_fake.h"
#include "usbpipe.h"

namespace {

using tavc::test::UsbDevice;
using tavc::test::UsbTestbed;

std::string library_path() {
    const char* bin = std::getenv("TAVC_BIN_DIR");
    return std::string(bin != nullptr ? bin : ".") + "/libusbpipe.so";
}

TEST(UsbPipeLibrary, ShowsTheFourExportsAndNothingElse) {
    const auto names = tavc::test::dynamic_symbols(library_path());
    if (!names) GTEST_SKIP() << "nm is not available or could not read the library";
    EXPECT_EQ(*names, (std::set<std::string>{"ReadPort1", "ReadPort2", "WritePort1", "WritePort2"}));
}

class LoadedUsbPipe : public ::testing::Test {
  protected:
    void SetUp() override {
        handle_ = ::dlopen(library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << ::dlerror();
        read1_ = reinterpret_cast<decltype(&ReadPort1)>(::dlsym(handle_, "ReadPort1"));
        read2_ = reinterpret_cast<decltype(&ReadPort2)>(::dlsym(handle_, "ReadPort2"));
        write1_ = reinterpret_cast<decltype(&WritePort1)>(::dlsym(handle_, "WritePort1"));
        write2_ = reinterpret_cast<decltype(&WritePort2)>(::dlsym(handle_, "WritePort2"));
        ASSERT_TRUE(read1_ && read2_ && write1_ && write2_);
    }
    void TearDown() override {
        if (handle_ != nullptr) ::dlclose(handle_);
    }

    void* handle_ = nullptr;
    decltype(&ReadPort1) read1_ = nullptr;
    decltype(&ReadPort2) read2_ = nullptr;
    decltype(&WritePort1) write1_ = nullptr;
    decltype(&WritePort2) write2_ = nullptr;
};

TEST_F(LoadedUsbPipe, MovesBlocksOnEachPipeOnceTheDeviceIsThereAndFailsOnceItIsGone) {
    UsbTestbed bed;
    if (!bed.ok()) GTEST_SKIP() << "umockdev's preload library is not available";
    std::string buffer(8, '.');
    // Before the device is plugged in, and after: each call looks afresh.
    EXPECT_EQ(read1_(buffer.data(), 8), -1);
    EXPECT_EQ(write2_("12345678", 8), -1);

    UsbDevice& device = bed.plug("1-1");
    device.send(tavc::test::kIn1, "readone!");
    device.send(tavc::test::kIn2, "readtwo!");
    EXPECT_EQ(read1_(buffer.data(), 8), 0);
    EXPECT_EQ(buffer, "readone!");
    EXPECT_EQ(read2_(buffer.data(), 8), 0);
    EXPECT_EQ(buffer, "readtwo!");
    EXPECT_EQ(write1_("written1", 8), 0);
    EXPECT_EQ(write2_("written2", 8), 0);
    EXPECT_EQ(device.received(tavc::test::kOut1), (std::vector<std::string>{"written1"}));
    EXPECT_EQ(device.received(tavc::test::kOut2), (std::vector<std::string>{"written2"}));
    EXPECT_TRUE(device.wait_until_closed());

    bed.unplug(device);
    device.send(tavc::test::kIn1, "readone!");
    buffer.assign(8, '.');
    EXPECT_EQ(read1_(buffer.data(), 8), -1);
    EXPECT_EQ(write1_("written1", 8), -1);
    EXPECT_EQ(buffer, "........");
    EXPECT_EQ(device.received(tavc::test::kOut1).size(), 1u);
}

}  // namespace
