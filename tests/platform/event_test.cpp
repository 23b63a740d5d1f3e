// The auto-reset event that wakes the agent's worker and the bus server's loop.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <thread>

#include "event.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tavc::event::AutoResetEvent;

TEST(AutoResetEvent, KeepsASignalUntilTheWaitAndMergesSignals) {
    AutoResetEvent event;
    ASSERT_TRUE(event.create());
    event.signal();
    event.signal();
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.wait(0));
}

TEST(AutoResetEvent, TimesOutAfterAtLeastItsTime) {
    AutoResetEvent event;
    ASSERT_TRUE(event.create());
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(event.wait(30));
    EXPECT_GE(Clock::now() - start, 30ms);
}

TEST(AutoResetEvent, ASignalFromAnotherThreadEndsAWaitWithoutLimit) {
    AutoResetEvent event;
    ASSERT_TRUE(event.create());
    std::thread signaller([&] { event.signal(); });
    EXPECT_TRUE(event.wait(-1));
    signaller.join();
}

TEST(AutoResetEvent, ASignalAfterCloseDoesNothing) {
    AutoResetEvent event;
    ASSERT_TRUE(event.create());
    event.close();
    event.signal();
    EXPECT_FALSE(event.is_open());
    EXPECT_FALSE(event.wait(0));
}

TEST(AutoResetEvent, ItsDescriptorPollsReadableOnlyWhileSignalled) {
    AutoResetEvent event;
    ASSERT_TRUE(event.create());
    pollfd p{event.fd(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    event.signal();
    EXPECT_EQ(poll(&p, 1, 0), 1);
    EXPECT_TRUE(event.wait(0));
    EXPECT_EQ(poll(&p, 1, 0), 0);
}

}  // namespace
