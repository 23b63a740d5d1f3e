// TAVSpeak through a private bus to the agent and the recording driver:
//   warm  - one call while the agent runs (goal: under 2 ms)
//   cold  - one call that makes the bus start the agent (goal: under 100 ms)
//   release_to_driver - from the call's return (its object released) to the driver call (goal: the
//           50 ms quiet period plus under 5 ms)
// Each reports manual time per call.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "child_process.h"
#include "codepage.h"
#include "panelkit_record.h"
#include "private_bus.h"
#include "tessel_agent_exports.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A warm burst stays well inside the 99 commands that the ring holds while releases keep coming.
constexpr int kBurst = 80;

struct AgentBench {
    tavc::test::PanelkitRecord record;
    std::unique_ptr<tavc::test::PrivateBus> bus;
    const tavc::test::TesselAgentExports* tessel = nullptr;
    std::string text = tavc::codepage::gbk_from_utf8("请您选择按钮,评价我们的服务");
    size_t sent = 0;
    bool ready = false;

    AgentBench() {
        bus = std::make_unique<tavc::test::PrivateBus>(std::vector<std::string>{
            "LD_LIBRARY_PATH=" TAVC_TEST_BIN_DIR "/support", "PANELKIT_RECORD=" + record.path()});
        if (!bus->ok()) return;
        tavc::test::ChildProcess registering({TAVC_BIN_DIR "/corvis", "-RegServer"});
        if (registering.wait(10s) != 0) return;
        tessel = &tavc::test::TesselAgentExports::get(TAVC_BIN_DIR "/libtessel.so");
        ready = tessel->loaded();
    }

    bool speak() {
        ++sent;
        return tessel->speak(text.c_str(), 1) == 0;
    }

    // Waits until every command sent so far has reached the driver and the agent has ended.
    bool settle() {
        auto calls = record.wait_for_calls(sent, 10s);
        return calls.size() == sent && (calls.empty() || tavc::test::wait_for_exit(calls.back().pid, 10s));
    }

    static AgentBench& get() {
        static AgentBench bench;
        return bench;
    }
};

bool usable(benchmark::State& state, AgentBench& b) {
    if (!b.ready) state.SkipWithError("no private bus or no agent");
    return b.ready;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void BM_WarmTAVSpeak(benchmark::State& state) {
    AgentBench& b = AgentBench::get();
    if (!usable(state, b)) return;
    int in_burst = kBurst;
    for (auto _ : state) {
        if (in_burst == kBurst) {
            // The burst's first call starts the agent; only the calls after it are measured.
            if (!b.settle() || !b.speak()) return state.SkipWithError("agent failed");
            in_burst = 1;
        }
        const auto start = Clock::now();
        const bool ok = b.speak();
        state.SetIterationTime(seconds(Clock::now() - start));
        if (!ok) return state.SkipWithError("TAVSpeak failed");
        ++in_burst;
    }
    b.settle();
}

void BM_ColdTAVSpeak(benchmark::State& state) {
    AgentBench& b = AgentBench::get();
    if (!usable(state, b)) return;
    for (auto _ : state) {
        if (!b.settle()) return state.SkipWithError("agent did not end");
        const auto start = Clock::now();
        const bool ok = b.speak();
        state.SetIterationTime(seconds(Clock::now() - start));
        if (!ok) return state.SkipWithError("TAVSpeak failed");
    }
    b.settle();
}

void BM_ReleaseToDriverCall(benchmark::State& state) {
    AgentBench& b = AgentBench::get();
    if (!usable(state, b)) return;
    for (auto _ : state) {
        if (!b.settle()) return state.SkipWithError("agent did not end");
        if (!b.speak()) return state.SkipWithError("TAVSpeak failed");
        const auto released = Clock::now();
        auto calls = b.record.wait_for_calls(b.sent, 10s);
        if (calls.size() != b.sent) return state.SkipWithError("no driver call");
        state.SetIterationTime(seconds(calls.back().time() - released));
    }
    b.settle();
}

BENCHMARK(BM_WarmTAVSpeak)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(400);
BENCHMARK(BM_ColdTAVSpeak)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ReleaseToDriverCall)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
