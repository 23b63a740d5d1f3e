// The platform layer's one wait: deadlines on the steady clock and the wait on descriptors until them.
#include "timing.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <thread>

namespace {

using namespace std::chrono_literals;
using tavc::timing::Deadline;
using tavc::timing::wait_fd;
using tavc::timing::wait_fds;
using tavc::timing::WaitStatus;
using Clock = Deadline::Clock;

// A pipe whose ends close with it.
struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        close_write();
        ::close(fds[0]);
    }
    void put() { EXPECT_EQ(::write(fds[1], "x", 1), 1); }
    void close_write() {
        if (fds[1] >= 0) ::close(fds[1]);
        fds[1] = -1;
    }
    int read_end() const { return fds[0]; }
    int fds[2] = {-1, -1};
};

TEST(Deadline, NeverHasNoTimeLeftToCountAndNeverPasses) {
    Deadline never = Deadline::never();
    EXPECT_TRUE(never.is_never());
    EXPECT_FALSE(never.passed());
    EXPECT_EQ(never.remaining_ms(), -1);
}

TEST(Deadline, OfANegativeTimeOutAsPollTakesOneIsNever) {
    EXPECT_TRUE(Deadline::after_timeout_ms(-1).is_never());
    EXPECT_TRUE(Deadline::after_timeout_ms(0).passed());
    EXPECT_GT(Deadline::after_timeout_ms(60000).remaining_ms(), 0);
}

TEST(Deadline, AfterNothingOrLessHasPassedAtOnce) {
    for (Deadline d : {Deadline::after(0ms), Deadline::after(-5ms), Deadline::at(Clock::now() - 1h)}) {
        EXPECT_TRUE(d.passed());
        EXPECT_FALSE(d.is_never());
        EXPECT_EQ(d.remaining_ms(), 0);
    }
}

TEST(Deadline, CountsWholeMillisecondsUpAndStopsAtPollsLargestTimeOut) {
    Deadline soon = Deadline::after(1h);
    EXPECT_GT(soon.remaining_ms(), 3599000);
    EXPECT_LE(soon.remaining_ms(), 3600000);
    // Less than a millisecond left is one millisecond to wait, not none.
    Deadline sub = Deadline::at(Clock::now() + 1h + 1ns);
    EXPECT_GE(Clock::now() + std::chrono::milliseconds(sub.remaining_ms()), sub.when());
    EXPECT_EQ(Deadline::after(24h * 365).remaining_ms(), INT_MAX);
}

TEST(Deadline, OfACenturyOrMoreIsNever) {
    EXPECT_TRUE(Deadline::after(24h * 365 * 100).is_never());
    EXPECT_TRUE(Deadline::after(std::chrono::duration<uint64_t, std::milli>(UINT64_MAX)).is_never());
    EXPECT_FALSE(Deadline::after(24h * 365 * 99).is_never());
}

TEST(Deadline, TheEarlierIsTheSmaller) {
    Clock::time_point now = Clock::now();
    EXPECT_LT(Deadline::at(now), Deadline::at(now + 1ns));
    EXPECT_LT(Deadline::after(1h), Deadline::never());
    EXPECT_EQ(std::min(Deadline::never(), Deadline::at(now)), Deadline::at(now));
}

TEST(WaitFd, IsReadyWithWhatPollReported) {
    Pipe pipe;
    pipe.put();
    auto result = wait_fd(pipe.read_end(), POLLIN, Deadline::after(5s));
    EXPECT_EQ(result.status, WaitStatus::Ready);
    EXPECT_EQ(result.revents, POLLIN);
}

TEST(WaitFd, ReportsAHangUpAsReadyForTheCallerToJudge) {
    Pipe pipe;
    pipe.close_write();
    auto result = wait_fd(pipe.read_end(), POLLIN, Deadline::never());
    EXPECT_EQ(result.status, WaitStatus::Ready);
    EXPECT_NE(result.revents & POLLHUP, 0);
}

TEST(WaitFd, WithAPassedDeadlineStillLooksOnceWithoutWaiting) {
    Pipe pipe;
    EXPECT_EQ(wait_fd(pipe.read_end(), POLLIN, Deadline::after(0ms)).status, WaitStatus::TimedOut);
    pipe.put();
    EXPECT_EQ(wait_fd(pipe.read_end(), POLLIN, Deadline::after(0ms)).status, WaitStatus::Ready);
}

TEST(WaitFd, NeverEndsBeforeItsDeadline) {
    Pipe pipe;
    // Fractions of a millisecond too: a wait of the truncated time would end early.
    for (std::chrono::microseconds wait : {300us, 1500us, 2000us, 20000us}) {
        Deadline d = Deadline::after(wait);
        EXPECT_EQ(wait_fd(pipe.read_end(), POLLIN, d).status, WaitStatus::TimedOut);
        EXPECT_GE(Clock::now(), d.when()) << wait.count() << " us";
    }
}

TEST(WaitFd, WithoutADeadlineWaitsForTheDescriptor) {
    Pipe pipe;
    std::thread writer([&] {
        std::this_thread::sleep_for(20ms);
        pipe.put();
    });
    EXPECT_EQ(wait_fd(pipe.read_end(), POLLIN, Deadline::never()).status, WaitStatus::Ready);
    writer.join();
}

std::atomic<int> g_signals{0};

TEST(WaitFd, GoesOnWaitingAfterASignal) {
    struct sigaction action {};
    action.sa_handler = [](int) { g_signals.fetch_add(1); };
    ASSERT_EQ(::sigaction(SIGUSR1, &action, nullptr), 0);  // no SA_RESTART: poll ends with EINTR
    Pipe pipe;
    std::atomic<bool> done{false};
    pthread_t waiter = ::pthread_self();
    std::thread signaller([&] {
        while (!done.load()) {
            ::pthread_kill(waiter, SIGUSR1);
            std::this_thread::sleep_for(5ms);
        }
    });
    Deadline d = Deadline::after(100ms);
    auto result = wait_fd(pipe.read_end(), POLLIN, d);
    Clock::time_point end = Clock::now();
    done.store(true);
    signaller.join();
    ::signal(SIGUSR1, SIG_DFL);
    EXPECT_EQ(result.status, WaitStatus::TimedOut);
    EXPECT_GE(end, d.when());
    EXPECT_GT(g_signals.load(), 0);
}

TEST(WaitFds, LeavesEachDescriptorsEventsInItsEntry) {
    Pipe quiet, busy;
    busy.put();
    pollfd fds[2] = {{quiet.read_end(), POLLIN, 0}, {busy.read_end(), POLLIN, 0}};
    EXPECT_EQ(wait_fds(fds, Deadline::after(5s)).status, WaitStatus::Ready);
    EXPECT_EQ(fds[0].revents, 0);
    EXPECT_EQ(fds[1].revents, POLLIN);
}

TEST(WaitFds, NeverEndsBeforeItsDeadline) {
    Pipe a, b;
    pollfd fds[2] = {{a.read_end(), POLLIN, 0}, {b.read_end(), POLLIN, 0}};
    Deadline d = Deadline::after(1500us);
    EXPECT_EQ(wait_fds(fds, d).status, WaitStatus::TimedOut);
    EXPECT_GE(Clock::now(), d.when());
}

}  // namespace
