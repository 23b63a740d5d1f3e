// One customer's road through the real assistant program, as the counter_road tests run it: a hot key to
// the first byte at the terminal's pty, Enter to the last packet of the payment, the customer's answer to
// the stored rating, and the program's resident memory over many ratings. The figures are wall-clock
// times from outside the program (xdotool's own start included where a key is pressed); the pauses the
// program must keep (50 ms after each serial write) are reported apart.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "counter_road.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tavc::test::CounterRoad;
using tavc::test::TerminalCommand;

constexpr double kWritePauseMs = 50;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void UseBuildFolders() {
    ::setenv("TAVC_BIN_DIR", TAVC_BIN_DIR_DEFAULT, 0);
    ::setenv("TAVC_TEST_BIN_DIR", TAVC_TEST_BIN_DIR_DEFAULT, 0);
}

// Win+1 to the welcome's first byte; then the due amount, and Win+3 with the change: Enter to the first
// byte of the payment's last packet (the change text, two writes and their pauses after the Enter).
void BM_HotKeyAndPaymentAtThePty(benchmark::State& state) {
    UseBuildFolders();
    CounterRoad road;
    if (!road.skip_reason().empty()) return state.SkipWithError(road.skip_reason().c_str());
    if (!road.start()) return state.SkipWithError("the program did not start");
    tavc::test::AssistantProgram& app = road.app();
    double hot_key_ms = 0, payment_ms = 0;
    for (auto _ : state) {
        Clock::time_point press = Clock::now();
        road.hot_key(1);
        std::vector<TerminalCommand> welcome = road.next_commands(1, 10s);
        if (welcome.size() != 1) return state.SkipWithError("no welcome at the terminal");
        hot_key_ms += Ms(welcome[0].arrived - press);
        app.probe().wait_for("cashier focus Edit1");
        road.retype("12");
        app.key("Return");
        road.next_commands(2, 10s);
        app.wait_visible(false);
        road.hot_key(3);
        app.probe().wait_for("cashier focus Edit3");
        road.retype("8");
        Clock::time_point enter = Clock::now();
        app.key("Return");
        std::vector<TerminalCommand> payment = road.next_commands(3, 10s);
        if (payment.size() != 3) return state.SkipWithError("no payment at the terminal");
        payment_ms += Ms(payment[2].arrived - enter);
        state.SetIterationTime(Ms(payment[2].arrived - enter) / 1000);
        app.probe().wait_for("cashier fields 0|0|0");
        app.wait_visible(false);
        road.next_calls(5, 5s);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["hotkey_to_first_byte_ms"] = hot_key_ms / n;
    state.counters["enter_to_last_packet_ms"] = payment_ms / n;
    state.counters["beyond_write_pauses_ms"] = payment_ms / n - 2 * kWritePauseMs;
}
BENCHMARK(BM_HotKeyAndPaymentAtThePty)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The customer's answer (the query it answers reaches the terminal, which answers at once) to the rating
// in the cache file: the library replaces the file by a rename, so a new inode is the stored rating
// (polled every 0.1 ms without reading the file, which would take its lock). Nothing is prescribed in
// between; the library's write includes an fsync.
void BM_RatingAnswerToStoredRating(benchmark::State& state) {
    UseBuildFolders();
    CounterRoad road;
    if (!road.skip_reason().empty()) return state.SkipWithError(road.skip_reason().c_str());
    if (!road.start()) return state.SkipWithError("the program did not start");
    const std::string cache = road.cache_file();
    const auto inode = [&] {
        struct stat s {};
        return ::stat(cache.c_str(), &s) == 0 ? s.st_ino : 0;
    };
    std::vector<double> samples;
    for (auto _ : state) {
        const ino_t before = inode();
        road.terminal().answer_queries("I");
        road.request_rating();
        std::vector<TerminalCommand> commands = road.next_commands(2, 10s);  // PJ21, PJQ
        if (commands.size() != 2) return state.SkipWithError("no query at the terminal");
        Clock::time_point deadline = Clock::now() + 10s;
        while (inode() == before && Clock::now() < deadline) std::this_thread::sleep_for(100us);
        Clock::time_point seen = Clock::now();
        if (inode() == before) return state.SkipWithError("the rating was not stored");
        samples.push_back(Ms(seen - commands[1].arrived));
        state.SetIterationTime(samples.back() / 1000);
        road.app().probe().wait_for("rating request enabled");
    }
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) return;
    state.counters["min_ms"] = samples.front();
    state.counters["median_ms"] = samples[samples.size() / 2];
    state.counters["max_ms"] = samples.back();
}
BENCHMARK(BM_RatingAnswerToStoredRating)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// Resident memory after the first 20 ratings and after all of them (each takes its prescribed poll and
// pause, about 2 s).
void BM_ResidentMemoryOverRatings(benchmark::State& state) {
    UseBuildFolders();
    CounterRoad road;
    if (!road.skip_reason().empty()) return state.SkipWithError(road.skip_reason().c_str());
    if (!road.start()) return state.SkipWithError("the program did not start");
    road.terminal().answer_unscripted_queries('I');
    const pid_t pid = road.app().main_process()->pid();
    long warm_kb = 0, end_kb = 0;
    int64_t unfinished = 0;
    for (auto _ : state) {
        for (int64_t i = 0; i < state.range(0); ++i) {
            // A rating that does not finish (a key lost by the desktop) is counted, and the next one asked.
            if (!road.request_rating() || !road.app().probe().wait_for("rating request enabled"))
                ++unfinished;
            if (i == 19) warm_kb = ResidentKb(pid);
        }
        end_kb = ResidentKb(pid);
    }
    state.counters["unfinished"] = static_cast<double>(unfinished);
    state.counters["stored"] = static_cast<double>(road.cached_ratings().size());
    state.counters["ratings"] = static_cast<double>(state.range(0));
    state.counters["rss_after_20_MB"] = static_cast<double>(warm_kb) / 1024;
    state.counters["rss_after_all_MB"] = static_cast<double>(end_kb) / 1024;
    state.counters["growth_kB"] = static_cast<double>(end_kb - warm_kb);
}
BENCHMARK(BM_ResidentMemoryOverRatings)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
