// The speech and sound exports of libtessel.so and the agent corvis, through a real session bus.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "codepage.h"
#include "com.h"
#include "kel_typelib.h"
#include "panelkit_record.h"
#include "private_bus.h"
#include "recording_server.h"
#include "results.h"
#include "tessel_agent_exports.h"

namespace {

using namespace std::chrono_literals;
using tavc::codepage::gbk_from_utf8;
using tavc::codepage::utf16_from_gbk;
using tavc::tessel::kAgentUnreachable;
using tavc::test::ChildProcess;
using tavc::test::DriverCall;
using tavc::test::PanelkitRecord;
using tavc::test::PrivateBus;
using tavc::test::RecordingServer;
namespace com = tavc::com;

std::string bin_dir() {
    return std::getenv("TAVC_BIN_DIR");
}
std::string test_bin_dir() {
    return std::getenv("TAVC_TEST_BIN_DIR");
}

using TesselExports = tavc::test::TesselAgentExports;
const TesselExports& tessel() {
    return TesselExports::get(bin_dir() + "/libtessel.so");
}

// A private bus whose activated agents load the recording driver; the agent registered on it.
class AgentOnBus : public ::testing::Test {
  protected:
    void SetUp() override {
        record_ = std::make_unique<PanelkitRecord>();
        bus_ = std::make_unique<PrivateBus>(std::vector<std::string>{
            "LD_LIBRARY_PATH=" + test_bin_dir() + "/support", "PANELKIT_RECORD=" + record_->path()});
        if (!bus_->ok()) GTEST_SKIP() << bus_->error();
        ASSERT_EQ(run_corvis("-RegServer"), 0);
        exports_ = &tessel();
        ASSERT_TRUE(exports_->loaded());
    }
    void TearDown() override {
        if (HasFailure() && bus_) std::cerr << "bus log:\n" << bus_->log();
        bus_.reset();
        record_.reset();
    }

    static std::optional<int> run_corvis(const std::string& argument) {
        ChildProcess child({bin_dir() + "/corvis", argument});
        return child.wait(10s);
    }

    std::unique_ptr<PanelkitRecord> record_;
    std::unique_ptr<PrivateBus> bus_;
    const TesselExports* exports_ = nullptr;
};

TEST_F(AgentOnBus, SpeechReachesTheDriverAfterTheQuietPeriodAndTheAgentEnds) {
    const std::string text = gbk_from_utf8("请您选择按钮,评价我们的服务");
    ASSERT_EQ(text.size(), 27u);
    // The release, and so the quiet period's start, lies between the two readings.
    const auto called = std::chrono::steady_clock::now();
    ASSERT_EQ(exports_->speak(text.c_str(), 1), 0);
    const auto returned = std::chrono::steady_clock::now();
    auto calls = record_->wait_for_calls(1, 3s);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], DriverCall("TAVSpeak", {text, 0}));
    EXPECT_GE(calls[0].time() - called, 50ms);
    // Far from the start-up grace (5 s) after which an agent that no release reached would run it.
    EXPECT_LT(calls[0].time() - returned, 3s);
    EXPECT_TRUE(tavc::test::wait_for_exit(calls[0].pid, 3s));
    EXPECT_EQ(record_->calls().size(), 1u);
}

TEST_F(AgentOnBus, SpeechOfSeveralLinesOrWordsReachesTheDriverUpToItsFirstWhiteSpace) {
    const std::string lines = gbk_from_utf8("<在这里输入文字>\r\n第二行");
    ASSERT_EQ(exports_->speak(lines.c_str(), 1), 0);
    ASSERT_EQ(exports_->speak(" ab cd", 1), 0);
    auto calls = record_->wait_for_calls(2, 3s);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], DriverCall("TAVSpeak", {gbk_from_utf8("<在这里输入文字>"), 0}));
    EXPECT_EQ(calls[1], DriverCall("TAVSpeak", {"ab", 0}));
}

// Each export is an activation and a release of its own, so how many agents and drains serve calls in a
// row depends on how fast they come; their order and number do not.
TEST_F(AgentOnBus, SoundsInARowRunInOrderAndNoneIsLost) {
    ASSERT_EQ(exports_->sound_out("12.00_P"), 0);
    ASSERT_EQ(exports_->sound_out("5.00_k"), 0);
    ASSERT_EQ(exports_->sound_out("_C"), 0);
    auto calls = record_->wait_for_calls(3, 10s);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], DriverCall("SoundOut", {"12.00_P"}));
    EXPECT_EQ(calls[1], DriverCall("SoundOut", {"5.00_k"}));
    EXPECT_EQ(calls[2], DriverCall("SoundOut", {"_C"}));
    EXPECT_TRUE(tavc::test::wait_for_exit(calls[2].pid, 10s));
    EXPECT_EQ(record_->calls().size(), 3u);
}

// A server lock held across the calls keeps them in one quiet period however slowly they come: one
// agent runs them in one drain, after the unlock.
TEST_F(AgentOnBus, SoundsInARowUnderAServerLockRunInOneDrainOfOneAgent) {
    com::Session session;
    ASSERT_EQ(session.open(), com::kOk);
    ASSERT_EQ(session.lock_server(corvis::kKelClassId, true), com::kOk);
    ASSERT_EQ(exports_->sound_out("12.00_P"), 0);
    ASSERT_EQ(exports_->sound_out("5.00_k"), 0);
    ASSERT_EQ(exports_->sound_out("_C"), 0);
    EXPECT_TRUE(record_->wait_for_calls(1, 300ms).empty());
    const auto unlocking = std::chrono::steady_clock::now();
    ASSERT_EQ(session.lock_server(corvis::kKelClassId, false), com::kOk);
    auto calls = record_->wait_for_calls(3, 10s);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], DriverCall("SoundOut", {"12.00_P"}));
    EXPECT_EQ(calls[1], DriverCall("SoundOut", {"5.00_k"}));
    EXPECT_EQ(calls[2], DriverCall("SoundOut", {"_C"}));
    EXPECT_EQ(calls[0].pid, calls[2].pid);
    EXPECT_GE(calls[0].time() - unlocking, 50ms);
    EXPECT_TRUE(tavc::test::wait_for_exit(calls[0].pid, 10s));
}

// Registering again (a repair, an update) while the counter speaks: every call finds the class and runs.
TEST_F(AgentOnBus, RegisteringAgainWhileClientsSpeakFailsNoCall) {
    constexpr int kRegistrations = 5;
    std::atomic<int> registered{0};
    std::atomic<int> refused{0};
    std::atomic<bool> stop{false};
    std::thread registering([&] {
        while (!stop && registered < kRegistrations) (run_corvis("-RegServer") == 0 ? registered : refused)++;
    });
    // One call at a time, each run before the next, as the counter speaks: the ring never fills.
    size_t calls = 0;
    size_t failures = 0;
    const auto give_up = std::chrono::steady_clock::now() + 60s;
    for (; (calls < 40 || registered < kRegistrations) && std::chrono::steady_clock::now() < give_up;
         ++calls) {
        if (exports_->speak("ab", 1) != 0) {
            ++failures;
        } else if (record_->wait_for_calls(calls + 1 - failures, 10s).size() != calls + 1 - failures) {
            ADD_FAILURE() << "call " << calls << " never reached the driver";
            break;
        }
    }
    stop = true;
    registering.join();
    EXPECT_EQ(registered, kRegistrations);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(failures, 0u) << "of " << calls << " calls";
}

TEST_F(AgentOnBus, UnregisteredAgentGivesMinusOneAtOnce) {
    ASSERT_EQ(run_corvis("-UnregServer"), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exports_->sound_out("_C"), kAgentUnreachable);
    EXPECT_EQ(exports_->speak("x", 1), kAgentUnreachable);
    // Had either call asked the bus to start an agent, it would have waited out the activation time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, com::kActivationTimeout);
    EXPECT_TRUE(bus_->processes_named("corvis").empty());
}

TEST_F(AgentOnBus, NoSessionBusGivesMinusOne) {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(exports_->speak("x", 1), kAgentUnreachable);
    EXPECT_EQ(exports_->sound_out("_C"), kAgentUnreachable);
}

TEST_F(AgentOnBus, HeldObjectRunsNothingUntilItsRelease) {
    com::Session session;
    ASSERT_EQ(session.open(), com::kOk);
    com::Object agent;
    ASSERT_EQ(session.create_instance(corvis::kKelClassId, corvis::kIKel, agent), com::kOk);
    int32_t dispid = 0;
    EXPECT_EQ(agent.get_id_of_name("Execute", dispid), com::kOk);
    EXPECT_EQ(dispid, 3);
    for (const char16_t* command : {u"SoundOut\t1\ta", u"SoundOut\t1\tb", u"SoundOut\t1\tc"})
        ASSERT_EQ(agent.invoke("Execute", command), com::kOk);
    EXPECT_TRUE(record_->wait_for_calls(1, 300ms).empty());
    const auto releasing = std::chrono::steady_clock::now();
    ASSERT_EQ(agent.release(), com::kOk);
    auto calls = record_->wait_for_calls(3, 3s);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], DriverCall("SoundOut", {"a"}));
    EXPECT_EQ(calls[1], DriverCall("SoundOut", {"b"}));
    EXPECT_EQ(calls[2], DriverCall("SoundOut", {"c"}));
    EXPECT_GE(calls[0].time() - releasing, 50ms);
}

TEST_F(AgentOnBus, FullRingAndOverlongTextAreRefusedWithAFailure) {
    com::Session session;
    ASSERT_EQ(session.open(), com::kOk);
    com::Object agent;
    ASSERT_EQ(session.create_instance(corvis::kKelClassId, corvis::kIKel, agent), com::kOk);
    EXPECT_TRUE(com::failed(agent.invoke("Execute", std::u16string(256, u'x'))));
    for (int i = 0; i < 99; ++i) ASSERT_EQ(agent.invoke("Execute", u"SoundOut\t1\tx"), com::kOk) << i;
    EXPECT_TRUE(com::failed(agent.invoke("Execute", u"SoundOut\t1\ty")));
    ASSERT_EQ(agent.release(), com::kOk);
    auto calls = record_->wait_for_calls(99, 5s);
    ASSERT_EQ(calls.size(), 99u);
    for (const DriverCall& call : calls) EXPECT_EQ(call, DriverCall("SoundOut", {"x"}));
    EXPECT_TRUE(tavc::test::wait_for_exit(calls[0].pid, 3s));
    EXPECT_EQ(record_->calls().size(), 99u);
}

// A client that floods the agent with names, call after call, holds up no other client: speech from
// another client meanwhile is taken as usual and runs once the flooding client lets go.
TEST_F(AgentOnBus, CallWithAGreatManyNamesIsRefusedWithoutHoldingUpOtherClients) {
    com::Session session;
    ASSERT_EQ(session.open(), com::kOk);
    com::Object flooded;
    ASSERT_EQ(session.create_instance(corvis::kKelClassId, corvis::kIKel, flooded), com::kOk);
    const std::vector<std::string> names(400000, "Execute");  // a message of about 5 MB
    std::atomic<bool> stop{false};
    std::atomic<int> floods{0};
    std::vector<com::HResult> answers;
    std::chrono::steady_clock::duration first_flood{};
    std::thread flooding([&] {
        do {
            const auto start = std::chrono::steady_clock::now();
            std::vector<int32_t> ids;
            answers.push_back(flooded.get_ids_of_names(names, ids));
            if (floods.load() == 0) first_flood = std::chrono::steady_clock::now() - start;
            floods.fetch_add(1);
        } while (!stop.load());
    });
    // Once a flood has been answered, the agent has read one; the next ones come while it speaks.
    while (floods.load() == 0) std::this_thread::yield();
    const std::string text = gbk_from_utf8("请您选择按钮,评价我们的服务");
    std::chrono::steady_clock::duration slowest{};
    std::vector<int32_t> results;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        results.push_back(exports_->speak(text.c_str(), 1));
        slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
    }
    stop.store(true);
    flooding.join();
    EXPECT_EQ(results, std::vector<int32_t>(3, 0));
    for (com::HResult answer : answers) EXPECT_EQ(answer, com::kInvalidArgument);
    std::cout << "first flood answered in " << std::chrono::duration<double>(first_flood).count()
              << " s; slowest of 3 speeches " << std::chrono::duration<double>(slowest).count() << " s, "
              << floods.load() << " floods\n";
    ASSERT_EQ(flooded.release(), com::kOk);
    auto calls = record_->wait_for_calls(3, 5s);
    ASSERT_EQ(calls.size(), 3u);
    for (const DriverCall& call : calls) EXPECT_EQ(call, DriverCall("TAVSpeak", {text, 0}));
}

// Objects cost the agent nothing on the bus: a client that takes 600 is refused beyond its share, and
// neither its objects nor another client's are lost, nor is the agent replaced.
TEST_F(AgentOnBus, ClientTakingSixHundredObjectsIsRefusedBeyondItsShareAndNothingIsLost) {
    com::Session greedy;
    ASSERT_EQ(greedy.open(), com::kOk);
    std::vector<com::Object> objects(600);
    ASSERT_EQ(greedy.create_instance(corvis::kKelClassId, corvis::kIKel, objects[0]), com::kOk);
    const auto agents = bus_->processes_named("corvis");
    ASSERT_EQ(agents.size(), 1u);
    size_t held = 1;
    for (size_t i = 1; i < objects.size(); ++i) {
        const com::HResult hr = greedy.create_instance(corvis::kKelClassId, corvis::kIKel, objects[i]);
        if (hr == com::kOk)
            ++held;
        else
            EXPECT_EQ(hr, com::kOutOfMemory) << "object " << i;
    }
    EXPECT_EQ(held, com::kHoldingsPerClient);
    EXPECT_EQ(objects[0].invoke("Execute", u"SoundOut\t1\ta"), com::kOk);
    // A released object makes room for another.
    ASSERT_EQ(objects[1].release(), com::kOk);
    EXPECT_EQ(greedy.create_instance(corvis::kKelClassId, corvis::kIKel, objects[1]), com::kOk);
    EXPECT_EQ(objects[1].invoke("Execute", u"SoundOut\t1\tb"), com::kOk);
    com::Session other;
    ASSERT_EQ(other.open(), com::kOk);
    com::Object others;
    ASSERT_EQ(other.create_instance(corvis::kKelClassId, corvis::kIKel, others), com::kOk);
    EXPECT_EQ(others.invoke("Execute", u"SoundOut\t1\tc"), com::kOk);
    EXPECT_EQ(bus_->processes_named("corvis"), agents);
    objects.clear();
    ASSERT_EQ(others.release(), com::kOk);
    auto calls = record_->wait_for_calls(3, 5s);
    EXPECT_EQ(calls,
              (std::vector<DriverCall>{{"SoundOut", {"a"}}, {"SoundOut", {"b"}}, {"SoundOut", {"c"}}}));
    for (const DriverCall& call : calls) EXPECT_EQ(call.pid, agents[0]);
}

TEST_F(AgentOnBus, ClientThatDiesHoldingAnObjectDoesNotKeepTheAgentAlive) {
    ChildProcess client({test_bin_dir() + "/held_object_client", corvis::kKelClassId.braced(),
                         corvis::kIKelId.braced(), "IKel", "Execute", "SoundOut\t1\tx"});
    ASSERT_EQ(client.read_line(5s), "held");
    auto agents = bus_->processes_named("corvis");
    ASSERT_EQ(agents.size(), 1u);
    EXPECT_TRUE(record_->wait_for_calls(1, 300ms).empty());
    client.kill_now();
    auto calls = record_->wait_for_calls(1, 3s);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], DriverCall("SoundOut", {"x"}));
    EXPECT_TRUE(tavc::test::wait_for_exit(agents[0], 3s));
}

TEST_F(AgentOnBus, AgentRunsWhatItAcceptedWhenTheBusGoesAway) {
    ChildProcess client({test_bin_dir() + "/held_object_client", corvis::kKelClassId.braced(),
                         corvis::kIKelId.braced(), "IKel", "Execute", "SoundOut\t1\tx"});
    ASSERT_EQ(client.read_line(5s), "held");
    auto agents = bus_->processes_named("corvis");
    ASSERT_EQ(agents.size(), 1u);
    kill(bus_->daemon_pid(), SIGKILL);
    auto calls = record_->wait_for_calls(1, 3s);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], DriverCall("SoundOut", {"x"}));
    EXPECT_TRUE(tavc::test::wait_for_exit(agents[0], 3s));
}

TEST_F(AgentOnBus, AgentInAFolderWithABlankIsStarted) {
    const std::filesystem::path folder = bus_->root() + "/a b";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(bin_dir() + "/corvis", folder / "corvis");
    ChildProcess registering({(folder / "corvis").string(), "-RegServer"});
    ASSERT_EQ(registering.wait(10s), 0);
    com::Session session;
    ASSERT_EQ(session.open(), com::kOk);
    com::Object agent;
    ASSERT_EQ(session.create_instance(corvis::kKelClassId, corvis::kIKel, agent), com::kOk);
    auto agents = bus_->processes_named("corvis");
    ASSERT_EQ(agents.size(), 1u);
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(agents[0]) + "/exe"),
              folder / "corvis");
}

TEST_F(AgentOnBus, SecondAgentCannotServeAndEndsWithAFailure) {
    com::Session session;
    ASSERT_EQ(session.open(), com::kOk);
    com::Object agent;
    ASSERT_EQ(session.create_instance(corvis::kKelClassId, corvis::kIKel, agent), com::kOk);
    ChildProcess second({bin_dir() + "/corvis"}, {"LD_LIBRARY_PATH=" + test_bin_dir() + "/support",
                                                  "PANELKIT_RECORD=" + record_->path()});
    EXPECT_EQ(second.wait(5s), 1);
    EXPECT_EQ(agent.invoke("Execute", u"SoundOut\t1\tx"), com::kOk);
}

TEST_F(AgentOnBus, AgentStartedWithoutAnActivationEndsByItself) {
    ChildProcess agent(
        {bin_dir() + "/corvis", "-RegServer", "-x"},
        {"LD_LIBRARY_PATH=" + test_bin_dir() + "/support", "PANELKIT_RECORD=" + record_->path()});
    EXPECT_EQ(agent.wait(15s), 0);
    EXPECT_TRUE(record_->calls().empty());
}

// The exact frames of the exports, as a stand-in agent on the bus receives them.
struct FrameCase {
    const char* name;
    enum { SoundOut, SoftSoundOut, Speak } export_;
    std::string text;  // GBK
    int32_t flag;
    int32_t result;
    std::string frame;  // GBK; empty: nothing sent
};

class ExportFrames : public ::testing::TestWithParam<FrameCase> {
  protected:
    void SetUp() override {
        bus_ = std::make_unique<PrivateBus>();
        if (!bus_->ok()) GTEST_SKIP() << bus_->error();
        ChildProcess registering({bin_dir() + "/corvis", "-RegServer"});
        ASSERT_EQ(registering.wait(10s), 0);
        exports_ = &tessel();
        ASSERT_TRUE(exports_->loaded());
    }
    void TearDown() override { bus_.reset(); }

    int32_t call(const FrameCase& c) const {
        switch (c.export_) {
            case FrameCase::SoundOut:
                return exports_->sound_out(c.text.c_str());
            case FrameCase::SoftSoundOut:
                return exports_->soft_sound_out(c.text.c_str(), c.flag);
            case FrameCase::Speak:
                return exports_->speak(c.text.c_str(), c.flag);
        }
        return 99;
    }

    std::unique_ptr<PrivateBus> bus_;
    const TesselExports* exports_ = nullptr;
};

TEST_P(ExportFrames, SendTheAgentCommand) {
    const FrameCase& c = GetParam();
    RecordingServer agent(corvis::kKelClassId, corvis::kIKel);
    ASSERT_EQ(agent.status(), com::kOk);
    EXPECT_EQ(call(c), c.result);
    auto calls = agent.calls();
    if (c.frame.empty()) {
        EXPECT_TRUE(calls.empty());
    } else {
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].second, utf16_from_gbk(c.frame));
    }
    // The object is released on every path.
    EXPECT_TRUE(agent.wait_for_locks(0, 3s));
}

const std::string kPrompt = gbk_from_utf8("请您选择按钮,评价我们的服务");

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportFrames,
    ::testing::Values(
        FrameCase{"SoundOutOfTheChangeSuffix", FrameCase::SoundOut, "_C", 0, 0, "SoundOut\t2\t_C"},
        FrameCase{"SpeakCountsGbkBytes", FrameCase::Speak, kPrompt, 1, 0, "TAVSpeak\t29\t" + kPrompt + "\t1"},
        FrameCase{"SoftSoundOutOfAnEmptyText", FrameCase::SoftSoundOut, "", 0, 0, "SoftSoundOut\t2\t\t0"},
        FrameCase{"FlagWithALowByteOfZeroIsFalse", FrameCase::SoftSoundOut, "12.00", 256, 0,
                  "SoftSoundOut\t7\t12.00\t0"},
        FrameCase{"FlagWithANonZeroLowByteIsTrue", FrameCase::Speak, "ok", 0x101, 0, "TAVSpeak\t4\tok\t1"},
        FrameCase{"NegativeFlagIsTrue", FrameCase::SoftSoundOut, "ok", -1, 0, "SoftSoundOut\t4\tok\t1"},
        FrameCase{"SoundOutKeepsBlanksAndTabs", FrameCase::SoundOut, " a\tb", 0, 0, "SoundOut\t4\t a\tb"},
        FrameCase{"SoundOutOfSixtyFourBytes", FrameCase::SoundOut, std::string(64, 'x'), 0, 0,
                  "SoundOut\t64\t" + std::string(64, 'x')},
        FrameCase{"SoundOutOverSixtyFourBytesIsRefused", FrameCase::SoundOut, std::string(65, 'x'), 0,
                  kAgentUnreachable, ""},
        FrameCase{"SpeakOfSixtyTwoBytes", FrameCase::Speak, std::string(62, 'x'), 1, 0,
                  "TAVSpeak\t64\t" + std::string(62, 'x') + "\t1"},
        FrameCase{"SpeakOverSixtyTwoBytesIsRefused", FrameCase::Speak, std::string(63, 'x'), 1,
                  kAgentUnreachable, ""},
        FrameCase{"SpeakWithABlankIsSentAsItStands", FrameCase::Speak, "ab cd", 1, 0,
                  "TAVSpeak\t7\tab cd\t1"},
        FrameCase{"SpeakOfLinesIsSentAsItStands", FrameCase::Speak, "ab\r\ncd\r\n", 0, 0,
                  "TAVSpeak\t10\tab\r\ncd\r\n\t0"},
        FrameCase{"SpeakOfNothingButWhiteSpaceIsRefused", FrameCase::Speak, " \r\n", 1, kAgentUnreachable,
                  ""},
        FrameCase{"SpeakOfAnEmptyTextIsRefused", FrameCase::Speak, "", 1, kAgentUnreachable, ""},
        FrameCase{"SoftSoundOutWithALineEndIsRefused", FrameCase::SoftSoundOut, "ab\r\n", 1,
                  kAgentUnreachable, ""},
        FrameCase{"TextThatIsNotGbkIsRefused", FrameCase::SoundOut, "\x81\x20", 0, kAgentUnreachable, ""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(ExportFrames, NullTextIsRefused) {
    RecordingServer agent(corvis::kKelClassId, corvis::kIKel);
    EXPECT_EQ(exports_->sound_out(nullptr), kAgentUnreachable);
    EXPECT_EQ(exports_->soft_sound_out(nullptr, 1), -1);
    EXPECT_EQ(exports_->speak(nullptr, 1), kAgentUnreachable);
    EXPECT_TRUE(agent.calls().empty());
}

TEST_F(ExportFrames, AgentRefusalGivesMinusOneAndReleasesTheObject) {
    RecordingServer agent(corvis::kKelClassId, corvis::kIKel, com::kInvalidArgument);
    ASSERT_EQ(agent.status(), com::kOk);
    EXPECT_EQ(exports_->speak("x", 1), kAgentUnreachable);
    EXPECT_EQ(agent.calls().size(), 1u);
    EXPECT_TRUE(agent.wait_for_locks(0, 3s));
}

}  // namespace
