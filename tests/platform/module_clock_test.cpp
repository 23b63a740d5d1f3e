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
