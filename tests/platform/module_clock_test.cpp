#include <gtest/gtest.h>

#include "clock.h"
#include "module.h"

namespace {

TEST(Module, ExecutablePathIsThisTestProgram) {
    auto path = tavc::module::executable_path();
    ASSERT_TRUE(path.has_value());
    EXPECT_NE(path->find("module_clock_test"), std::string::npos);
    EXPECT_EQ(tavc::module::folder_of(*path) + "tavc_module_clock_test", *path);
}

TEST(Module, FolderOfKeepsTheLastSeparator) {
    EXPECT_EQ(tavc::module::folder_of("/a/b/c"), "/a/b/");
    EXPECT_EQ(tavc::module::folder_of("/c"), "/");
    EXPECT_EQ(tavc::module::folder_of("c"), "");
}

TEST(Module, FileNameIsWhatFollowsTheLastSeparator) {
    EXPECT_EQ(tavc::module::file_name("/opt/tavc/tavcclt"), "tavcclt");
    EXPECT_EQ(tavc::module::file_name("/opt/tavc/tavcclt.exe"), "tavcclt.exe");
    EXPECT_EQ(tavc::module::file_name("tavcclt"), "tavcclt");
    EXPECT_EQ(tavc::module::file_name("/opt/tavc/"), "");
}

TEST(Module, WithExtensionReplacesOnlyTheFileNamesExtension) {
    EXPECT_EQ(tavc::module::with_extension("/opt/tavc/tavcclt", ".hkd"), "/opt/tavc/tavcclt.hkd");
    EXPECT_EQ(tavc::module::with_extension("/opt/tavc/tavcclt.exe", ".hkd"), "/opt/tavc/tavcclt.hkd");
    EXPECT_EQ(tavc::module::with_extension("/opt/tavc/a.b.c", ".log"), "/opt/tavc/a.b.log");
    EXPECT_EQ(tavc::module::with_extension("/opt/tavc.d/tavcclt", ".log"), "/opt/tavc.d/tavcclt.log");
    EXPECT_EQ(tavc::module::with_extension("/opt/tavc/.hidden", ".log"), "/opt/tavc/.log");
    EXPECT_EQ(tavc::module::with_extension("tavcclt.exe", ".hkd"), "tavcclt.hkd");
    EXPECT_EQ(tavc::module::with_extension("", ".log"), ".log");
}

TEST(Module, LibraryPathOfAFunctionInThisProgramIsTheProgram) {
    auto path = tavc::module::library_path(reinterpret_cast<const void*>(&tavc::module::folder_of));
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, *tavc::module::executable_path());
}

TEST(Clock, SleepLastsAtLeastItsTimeByTheTickCount) {
    uint32_t start = tavc::clock::tick_count();
    tavc::clock::sleep_ms(20);
    EXPECT_GE(static_cast<uint32_t>(tavc::clock::tick_count() - start), 20u);
}

}  // namespace
