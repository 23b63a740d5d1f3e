// What the serial exports cost beyond the pauses the protocol prescribes (goal: under 1 ms per command),
// and how long the read time-out really lasts, against the terminal simulator on a pty.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "scoped_config_home.h"
#include "serial_link.h"
#include "terminal_simulator.h"
#include "tessel.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPauseSeconds = 0.050;
constexpr int32_t kWhite = 0x00FFFFFF;

tavc::test::TerminalSimulator* terminal = nullptr;

// Manual time of each iteration: the call's wall time less its `writes` pauses.
void Export(benchmark::State& state, const std::function<ExportResult()>& call, int writes) {
    double beyond = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        ExportResult r = call();
        double spent = std::chrono::duration<double>(Clock::now() - start).count();
        if (r != 0) {
            state.SkipWithError("the export failed");
            break;
        }
        state.SetIterationTime(spent - writes * kPauseSeconds);
        beyond += spent - writes * kPauseSeconds;
    }
    state.counters["commands"] = writes;
    // The goal: under 1 ms per command.
    state.counters["us_per_command"] = beyond * 1e6 / (static_cast<double>(state.iterations()) * writes);
}

void ReadRemarkAnswered(benchmark::State& state) {
    char key = 0;
    for (auto _ : state) {
        terminal->answer_queries("N");
        Clock::time_point start = Clock::now();
        ExportResult r = TAVCReadRemark(&key);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (r != 0) {
            state.SkipWithError("no rating key");
            break;
        }
    }
}

// The read time-out itself: a silent terminal, one byte asked for, 501 ms allowed.
void ReadRemarkTimeOut(benchmark::State& state) {
    char key = 0;
    double longest = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        ExportResult r = TAVCReadRemark(&key);
        double spent = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(spent);
        longest = std::max(longest, spent);
        if (r != -5) {
            state.SkipWithError("the terminal answered");
            break;
        }
    }
    state.counters["longest_ms"] = longest * 1000;
}

constexpr int kCalls = 40;

void Register() {
    struct Case {
        const char* name;
        std::function<ExportResult()> call;
        int writes;
    };
    static const Case cases[] = {
        {"TAVCCommand", [] { return TAVCCommand("22"); }, 1},
        {"TAVCShowWelcome", [] { return TAVCShowWelcome(); }, 1},
        {"TAVCCls", [] { return TAVCCls(); }, 1},
        {"TAVCAskforRemark", [] { return TAVCAskforRemark(); }, 1},
        {"TAVCAskforRemark2", [] { return TAVCAskforRemark2(); }, 1},
        {"TAVCLogin", [] { return TAVCLogin("0001"); }, 2},
        {"TAVCPrintText", [] { return TAVCPrintText(96, 318, kWhite, "12.0"); }, 1},
        {"TAVCShowCost", [] { return TAVCShowCost("12.00"); }, 2},
        {"TAVCShowPayReturn", [] { return TAVCShowPayReturn("20.00", "7.50"); }, 3},
        {"TAVCShowItemCosts", [] { return TAVCShowItemCosts("Tea", "3.00", "12.50"); }, 4},
    };
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark((std::string("BeyondPauses/") + c.name).c_str(),
                                     [&c](benchmark::State& s) { Export(s, c.call, c.writes); })
            ->UseManualTime()
            ->Iterations(kCalls)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("BeyondPauses/TAVCReadRemark", ReadRemarkAnswered)
        ->UseManualTime()
        ->Iterations(kCalls)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ReadTimeOut/TAVCReadRemark", ReadRemarkTimeOut)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("XDG_RUNTIME_DIR");
    tavc::test::ScopedConfigHome home("tessel_serial_bench");
    tavc::test::TerminalSimulator sim;
    if (!home.ok() || !sim.ready()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", sim.error().c_str());
        return 1;
    }
    sim.link_as_port(home.path(), 1);
    terminal = &sim;
    tavc::tessel::OpenConfiguredPort();
    if (!tavc::tessel::PortIsOpen()) return 1;

    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tavc::tessel::ClosePort();
    return 0;
}
