#include "message_box.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "codepage.h"

namespace {

class MessageBox : public ::testing::Test {
  protected:
    void SetUp() override {
        // No notification may reach a real desktop from a test.
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override { setenv("LC_ALL", "C.UTF-8", 1); }

    static std::string shown(const char* locale, const std::string& gbk) {
        setenv("LC_ALL", locale, 1);
        ::testing::internal::CaptureStderr();
        tavc::message_box::show(gbk);
        return ::testing::internal::GetCapturedStderr();
    }
};

TEST_F(MessageBox, WritesTheTextOnStandardErrorInAUtf8Locale) {
    std::string gbk = tavc::codepage::gbk_from_utf8("打开串口3出错!");
    EXPECT_EQ(shown("C.UTF-8", gbk), "打开串口3出错!\n");
}

TEST_F(MessageBox, WritesGbkBytesInAGbkLocale) {
    std::string gbk = tavc::codepage::gbk_from_utf8("打开串口3出错!");
    EXPECT_EQ(shown("zh_CN.GBK", gbk), gbk + "\n");
}

}  // namespace
