// The worker thread against the recording stand-in driver: quiet period, drains, and the shutdown
// handshake with a stand-in for the shell's main thread. Results are awaited on the record file or on
// the hooks, with time-outs; the few sleeps are the time a client holds its object.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent_module.h"
#include "panelkit_record.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using corvis::AgentModule;
using tavc::test::DriverCall;
using tavc::test::PanelkitRecord;

constexpr auto kTimeout = 5s;
constexpr auto kQuietPeriod = 50ms;

// What the worker's hooks posted to the "main thread", and the module as it stood at post_quit.
class ShellHooks {
  public:
    void Install(AgentModule& module, const PanelkitRecord& record) {
        module.request_stop = [this] {
            std::lock_guard lock(mutex_);
            ++stop_requests_;
            stop_time_ = Clock::now();
            changed_.notify_all();
        };
        module.post_quit = [this, &module, &record] {
            std::lock_guard lock(mutex_);
            ++quits_;
            at_quit_.class_revoked = module.class_revoked.load();
            at_quit_.event_open = module.workerEvent.is_open();
            at_quit_.driver_loaded = module.driver.library != nullptr;
            at_quit_.calls = record.calls().size();
            changed_.notify_all();
        };
    }

    bool WaitForStopRequest() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kTimeout, [&] { return stop_requests_ > 0; });
    }
    bool WaitForQuit() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kTimeout, [&] { return quits_ > 0; });
    }

    struct AtQuit {
        bool class_revoked = false;
        bool event_open = true;
        bool driver_loaded = true;
        size_t calls = 0;
    };
    int stop_requests() const {
        std::lock_guard lock(mutex_);
        return stop_requests_;
    }
    Clock::time_point stop_time() const {
        std::lock_guard lock(mutex_);
        return stop_time_;
    }
    int quits() const {
        std::lock_guard lock(mutex_);
        return quits_;
    }
    AtQuit at_quit() const {
        std::lock_guard lock(mutex_);
        return at_quit_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int stop_requests_ = 0;
    Clock::time_point stop_time_;
    int quits_ = 0;
    AtQuit at_quit_;
};

std::u16string Sound(const std::string& text) {
    const std::string command = "SoundOut\t" + std::to_string(text.size()) + "\t" + text;
    return std::u16string(command.begin(), command.end());
}

DriverCall SoundCall(const std::string& text) {
    return {"SoundOut", {text}};
}

class CommandWorker : public ::testing::Test {
  protected:
    void SetUp() override {
        record_.export_to_environment();
        hooks_->Install(*module_, record_);
    }

    void TearDown() override {
        if (!started_) {
            delete module_;
            delete hooks_;
            return;
        }
        while (module_->lockCount.load() > 0) corvis::ReleaseServerLock(*module_);
        corvis::NotifyClassRevoked(*module_);
        if (hooks_->WaitForQuit()) {
            delete module_;
            delete hooks_;
        } else {
            ADD_FAILURE() << "the worker did not end; its module is left to it";
        }
    }

    void Start(const char* driver = PANELKIT_RECORDER) {
        ASSERT_TRUE(corvis::StartCommandWorker(*module_, driver));
        started_ = true;
    }

    void Store(std::u16string_view command) {
        ASSERT_EQ(corvis::Execute(*module_, command.data(), command.size()), corvis::ExecuteResult::Stored);
    }

    // One client: takes an object, stores its commands, releases it. The time just before the release.
    Clock::time_point Submit(std::initializer_list<std::u16string> commands) {
        corvis::AddServerLock(*module_);
        for (const std::u16string& c : commands) Store(c);
        const Clock::time_point released = Clock::now();
        corvis::ReleaseServerLock(*module_);
        return released;
    }

    PanelkitRecord record_;
    // Deleted only once the worker has ended: a worker that hangs must not outlive them.
    AgentModule* module_ = new AgentModule;
    ShellHooks* hooks_ = new ShellHooks;
    bool started_ = false;
};

TEST_F(CommandWorker, RunsNothingWhileAnObjectIsHeldThenEveryCommandInOrder) {
    Start();
    corvis::AddServerLock(*module_);
    Store(Sound("a"));
    Store(Sound("b"));
    Store(Sound("c"));
    std::this_thread::sleep_for(100ms);  // the client holds its object
    EXPECT_EQ(record_.calls(), std::vector<DriverCall>{});
    const Clock::time_point released = Clock::now();
    corvis::ReleaseServerLock(*module_);

    std::vector<DriverCall> calls = record_.wait_for_calls(3, kTimeout);
    ASSERT_EQ(calls, (std::vector<DriverCall>{SoundCall("a"), SoundCall("b"), SoundCall("c")}));
    for (const DriverCall& call : calls) EXPECT_GE(call.time() - released, kQuietPeriod) << call;
}

TEST_F(CommandWorker, RunsACommandAfterTheQuietPeriodAndThenAsksTheShellToStop) {
    Start();
    const Clock::time_point released = Submit({Sound("12")});
    ASSERT_TRUE(hooks_->WaitForStopRequest());
    std::vector<DriverCall> calls = record_.calls();
    ASSERT_EQ(calls, std::vector<DriverCall>{SoundCall("12")});
    EXPECT_GE(calls[0].time() - released, kQuietPeriod);
    EXPECT_GE(hooks_->stop_time(), calls[0].time());
    EXPECT_EQ(hooks_->quits(), 0);
}

TEST_F(CommandWorker, TwoReleases30msApartRunAsOneDrainAfterTheSecond) {
    Start();
    const Clock::time_point first = Submit({Sound("a")});
    std::this_thread::sleep_for(30ms);
    const Clock::time_point second = Submit({Sound("b")});
    // One drain is certain only when the second release ended within the quiet period that the first
    // one began: measured from before the first to after the second.
    if (Clock::now() - first >= kQuietPeriod)
        GTEST_SKIP() << "timing: the releases came too far apart on this machine";

    std::vector<DriverCall> calls = record_.wait_for_calls(2, kTimeout);
    ASSERT_EQ(calls, (std::vector<DriverCall>{SoundCall("a"), SoundCall("b")}));
    EXPECT_GE(calls[0].time() - second, kQuietPeriod)
        << "the first release must not start a drain of its own";
}

TEST_F(CommandWorker, ReleaseDuringADrainGivesAnotherQuietPeriodBeforeStopping) {
    Start();
    Submit({u"Cls\t4\tNULL"});
    ASSERT_EQ(record_.wait_for_calls(1, kTimeout).size(), 1u);  // the worker now pauses after Cls
    const Clock::time_point released = Submit({Sound("b")});
    ASSERT_TRUE(hooks_->WaitForStopRequest());
    EXPECT_EQ(record_.calls(), (std::vector<DriverCall>{{"Cls", {nullptr}}, SoundCall("b")}));
    EXPECT_GE(hooks_->stop_time() - released, kQuietPeriod);
    EXPECT_EQ(hooks_->stop_requests(), 1);
}

TEST_F(CommandWorker, PausesAfterClsBeforeTheNextCommand) {
    Start();
    Submit({u"Cls\t4\tNULL", Sound("x")});
    std::vector<DriverCall> calls = record_.wait_for_calls(2, kTimeout);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_GE(calls[1].time() - calls[0].time(), 200ms);
}

TEST_F(CommandWorker, ACommandStoredBetweenTheStopRequestAndTheRevocationRunsBeforeTheQuit) {
    Start();
    Submit({Sound("a")});
    ASSERT_TRUE(hooks_->WaitForStopRequest());
    // An activation the shell still handles after releasing its name.
    Submit({Sound("b")});
    corvis::NotifyClassRevoked(*module_);
    ASSERT_TRUE(hooks_->WaitForQuit());

    EXPECT_EQ(record_.calls(), (std::vector<DriverCall>{SoundCall("a"), SoundCall("b")}));
    const ShellHooks::AtQuit at_quit = hooks_->at_quit();
    EXPECT_EQ(at_quit.calls, 2u);
    EXPECT_TRUE(at_quit.class_revoked);
    EXPECT_FALSE(at_quit.event_open);
    EXPECT_FALSE(at_quit.driver_loaded);
    EXPECT_EQ(hooks_->stop_requests(), 1);
}

TEST_F(CommandWorker, AnObjectHeldAcrossTheRevocationRunsItsCommandsOnlyAfterItsRelease) {
    Start();
    Submit({Sound("a")});
    ASSERT_TRUE(hooks_->WaitForStopRequest());
    corvis::AddServerLock(*module_);
    Store(Sound("b"));
    corvis::NotifyClassRevoked(*module_);
    std::this_thread::sleep_for(100ms);  // the client holds its object past the revocation
    EXPECT_EQ(record_.calls(), std::vector<DriverCall>{SoundCall("a")});
    EXPECT_EQ(hooks_->quits(), 0);
    const Clock::time_point released = Clock::now();
    corvis::ReleaseServerLock(*module_);

    ASSERT_TRUE(hooks_->WaitForQuit());
    std::vector<DriverCall> calls = record_.calls();
    ASSERT_EQ(calls, (std::vector<DriverCall>{SoundCall("a"), SoundCall("b")}));
    EXPECT_GE(calls[1].time() - released, kQuietPeriod);
    EXPECT_EQ(hooks_->at_quit().calls, 2u);
}

TEST_F(CommandWorker, AReleaseHalfDoneWhenTheRevocationWakesTheWorkerStillRunsItsCommand) {
    Start();
    Submit({Sound("a")});
    ASSERT_TRUE(hooks_->WaitForStopRequest());
    corvis::AddServerLock(*module_);
    Store(Sound("b"));
    // The release has brought the count to zero but not yet set the activity flag when the revocation
    // wakes the worker: its idle test sees no activity and no object, yet a command waits.
    module_->lockCount.fetch_sub(1);
    corvis::NotifyClassRevoked(*module_);
    ASSERT_TRUE(hooks_->WaitForQuit());
    EXPECT_EQ(hooks_->at_quit().calls, 2u);
    EXPECT_EQ(record_.calls(), (std::vector<DriverCall>{SoundCall("a"), SoundCall("b")}));
}

TEST_F(CommandWorker, EndsWhenTheShellRevokesTheClassUnasked) {
    Start();
    corvis::NotifyClassRevoked(*module_);
    ASSERT_TRUE(hooks_->WaitForQuit());
    EXPECT_EQ(hooks_->stop_requests(), 0);
    EXPECT_FALSE(hooks_->at_quit().event_open);
}

TEST_F(CommandWorker, WithoutAStopHookEndsByItselfAfterTheDrain) {
    module_->request_stop = nullptr;
    Start();
    Submit({Sound("a"), Sound("b")});
    ASSERT_TRUE(hooks_->WaitForQuit());
    EXPECT_EQ(hooks_->at_quit().calls, 2u);
}

TEST_F(CommandWorker, Stores100thCommandInSlot99And101stInSlot0AndRunsThemInOrder) {
    Start();
    std::vector<DriverCall> expected;
    corvis::AddServerLock(*module_);
    for (int i = 1; i <= 99; ++i) {
        Store(Sound(std::to_string(i)));
        expected.push_back(SoundCall(std::to_string(i)));
    }
    corvis::ReleaseServerLock(*module_);
    ASSERT_EQ(record_.wait_for_calls(99, kTimeout), expected);

    corvis::AddServerLock(*module_);
    Store(Sound("100"));
    EXPECT_EQ(std::u16string(module_->ring.slot(99).text), Sound("100"));
    EXPECT_EQ(module_->ring.write_position(), 0);
    Store(Sound("101"));
    EXPECT_EQ(std::u16string(module_->ring.slot(0).text), Sound("101"));
    EXPECT_EQ(module_->ring.write_position(), 1);
    corvis::ReleaseServerLock(*module_);
    expected.push_back(SoundCall("100"));
    expected.push_back(SoundCall("101"));
    EXPECT_EQ(record_.wait_for_calls(101, kTimeout), expected);

    corvis::NotifyClassRevoked(*module_);
    ASSERT_TRUE(hooks_->WaitForQuit());
    EXPECT_EQ(module_->ring.read_position(), 1);
    EXPECT_EQ(module_->ring.write_position(), 1);
}

TEST_F(CommandWorker, ConsumesEveryCommandWhenTheDriverCannotBeLoaded) {
    Start("/nonexistent/libpanelkit.so");
    Submit({Sound("a"), u"Cls\t4\tNULL", Sound("b")});
    ASSERT_TRUE(hooks_->WaitForStopRequest());
    EXPECT_EQ(module_->ring.read_position(), module_->ring.write_position());
    EXPECT_EQ(record_.calls(), std::vector<DriverCall>{});
}

}  // namespace
