// The assistant program tavcclt run for real under Xvfb: from its start to a painted login page, its
// resident memory once idle, and from a hot-key press to the first byte at the terminal's pty.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "assistant_program.h"
#include "terminal_simulator.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tavc::test::AssistantProgram;

// Resident memory of a process in kB, from /proc.
long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// The programs of this build, unless the caller names others.
void UseBuildFolders() {
    ::setenv("TAVC_BIN_DIR", TAVC_BIN_DIR_DEFAULT, 0);
}

void BM_StartToPaintedLoginPage(benchmark::State& state) {
    UseBuildFolders();
    tavc::test::Desktop desktop;
    if (!desktop.ready()) return state.SkipWithError(desktop.why().c_str());
    long rss_kb = 0;
    for (auto _ : state) {
        AssistantProgram program;
        Clock::time_point start = Clock::now();
        std::unique_ptr<tavc::test::ChildProcess> process = program.start();
        if (!program.probe().wait_for("painted", 20s))
            return state.SkipWithError("the login page was not painted");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        // Idle: on its login page, nothing pending.
        std::this_thread::sleep_for(500ms);
        rss_kb = ResidentKb(process->pid());
        process->kill_now();
    }
    state.counters["rss_MB"] = static_cast<double>(rss_kb) / 1024.0;
}
BENCHMARK(BM_StartToPaintedLoginPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Press Win+1 (through xdotool, whose own start is part of the figure) on the hidden program: the welcome
// command's first byte at the pty. Then Win+1 again hides the window for the next round.
void BM_HotKeyToFirstByteAtThePty(benchmark::State& state) {
    UseBuildFolders();
    tavc::test::Desktop desktop;
    if (!desktop.ready()) return state.SkipWithError(desktop.why().c_str());
    tavc::test::TerminalSimulator terminal;
    if (!terminal.ready()) return state.SkipWithError(terminal.error().c_str());
    AssistantProgram program;
    terminal.link_as_port(program.config_home(), 1);
    program.write_hot_keys(tavc::test::usual_hot_keys());
    if (!program.start_and_wait() || !program.probe().wait_for("hotkeys registered 5"))
        return state.SkipWithError("the program did not start");
    program.start()->wait(10s);  // a second start hides the window
    if (!program.wait_visible(false)) return state.SkipWithError("the window did not hide");
    size_t seen = 0;
    for (auto _ : state) {
        Clock::time_point press = Clock::now();
        program.key("super+1");
        std::vector<tavc::test::TerminalCommand> commands = terminal.wait_for_commands(seen + 1, 10s);
        if (commands.size() <= seen) return state.SkipWithError("no welcome at the terminal");
        state.SetIterationTime(std::chrono::duration<double>(commands[seen].arrived - press).count());
        seen = commands.size();
        program.probe().wait_for("shown");
        program.key("super+1");
        program.probe().wait_for("hidden");
    }
}
BENCHMARK(BM_HotKeyToFirstByteAtThePty)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
