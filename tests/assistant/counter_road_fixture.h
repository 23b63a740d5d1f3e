// A test of the real assistant program at the whole counter (counter_road.h): each test runs one program
// and prints what it probed when it fails.
#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <utility>

#include "counter_road.h"

namespace tavc::test {

inline const std::string kGreeting = "您好,欢迎光临";
inline const std::string kRatingRequest = "请您选择按钮,评价我们的服务";
inline const std::string kReasonRequest = "请您进一步评价";
inline const std::string kThanks = "感谢您对我们工作的支持,请不要忘记随身物品";

class CounterRoadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!road.skip_reason().empty()) GTEST_SKIP() << road.skip_reason();
    }
    void TearDown() override {
        if (!HasFailure() || !road.skip_reason().empty()) return;
        std::cerr << road.trace();
    }

    CounterRoad road;
};

inline void ExpectScreen(const TerminalCommand& command, const std::string& code) {
    EXPECT_EQ(command.kind, TerminalCommand::Kind::Screen) << command.bytes;
    EXPECT_EQ(command.code, code);
}
inline void ExpectText(const TerminalCommand& command, int x, int y, const std::string& text) {
    EXPECT_EQ(command.kind, TerminalCommand::Kind::Text) << command.bytes;
    EXPECT_EQ(std::make_pair(command.x, command.y), std::make_pair(x, y));
    EXPECT_EQ(command.text, text);
}

}  // namespace tavc::test
