// libusbpipe.so as a program outside the system uses it: loaded by name from the build's bin folder,
// showing its four exports and nothing else, and moving blocks with no state kept between calls.
#include <dlfcn.h>
#include <stdio.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "usb_device_fake.h"
#include "usbpipe.h"

namespace {

using tavc::test::DeviceRoot;
using tavc::test::FarEnd;

std::string library_path() {
    const char* bin = std::getenv("TAVC_BIN_DIR");
    return std::string(bin != nullptr ? bin : ".") + "/libusbpipe.so";
}

TEST(UsbPipeLibrary, ShowsTheFourExportsAndNothingElse) {
    std::string command = "nm -D --defined-only --format=posix '" + library_path() + "' 2>/dev/null";
    FILE* nm = ::popen(command.c_str(), "r");
    if (nm == nullptr) GTEST_SKIP() << "nm is not available";
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::string s(line);
        names.insert(s.substr(0, s.find(' ')));
    }
    if (::pclose(nm) != 0 && names.empty()) GTEST_SKIP() << "nm could not read the library";
    EXPECT_EQ(names, (std::set<std::string>{"ReadPort1", "ReadPort2", "WritePort1", "WritePort2"}));
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
    DeviceRoot root;
    ASSERT_TRUE(root.ok());
    std::string buffer(8, '.');
    // Before the device is plugged in, and after: each call looks afresh.
    EXPECT_EQ(read1_(buffer.data(), 8), -1);
    EXPECT_EQ(write2_("12345678", 8), -1);

    std::string interface = root.add_interface("usb0");
    FarEnd pipe0(interface + "/PIPE00"), pipe1(interface + "/PIPE01");
    FarEnd pipe2(interface + "/PIPE02"), pipe3(interface + "/PIPE03");
    ASSERT_TRUE(pipe0.write("readone!") && pipe2.write("readtwo!"));
    EXPECT_EQ(read1_(buffer.data(), 8), 0);
    EXPECT_EQ(buffer, "readone!");
    EXPECT_EQ(read2_(buffer.data(), 8), 0);
    EXPECT_EQ(buffer, "readtwo!");
    EXPECT_EQ(write1_("written1", 8), 0);
    EXPECT_EQ(write2_("written2", 8), 0);
    EXPECT_EQ(pipe1.drain(), "written1");
    EXPECT_EQ(pipe3.drain(), "written2");

    std::filesystem::remove_all(interface);
    ASSERT_TRUE(pipe0.write("readone!"));
    buffer.assign(8, '.');
    EXPECT_EQ(read1_(buffer.data(), 8), -1);
    EXPECT_EQ(write1_("written1", 8), -1);
    EXPECT_EQ(buffer, "........");
}

}  // namespace
