// The registry with a hostile user.reg, as the library reads it while it loads.
//   HostileRegistryRead: the settings key read (and one value written) when the key holds 8 MB of blank
//   lines, in a child process; the counter max_rss_mb is that process's peak memory (goal: under 1 s
//   and 100 MB).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "child_process.h"
#include "folders.h"
#include "registry.h"
#include "scoped_config_home.h"

namespace {

using tavc::registry::Hive;
using tavc::registry::Key;

void HostileRegistryRead(benchmark::State& state) {
    tavc::test::ScopedConfigHome home("registry_bench");
    std::filesystem::create_directories(tavc::folders::tavc_config_folder_in(home.path()));
    const std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\TAVC\\Settings]\n" +
                             std::string(8 << 20, '\n') + "\"Comport\"=dword:00000003\n";
    double rss_mb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(tavc::registry::hive_file(Hive::CurrentUser), std::ios::binary | std::ios::trunc)
            << text;
        state.ResumeTiming();
        auto run = tavc::test::run_forked([] {
            auto key = Key::open(Hive::CurrentUser, "Software\\TAVC\\Settings", false);
            return key && key->read_dword("Comport") == 3u && key->write_dword("BAUND_RATE", 9600);
        });
        if (!run.ok) {
            state.SkipWithError("the registry could not be read");
            break;
        }
        rss_mb = std::max(rss_mb, run.max_rss_kb / 1024.0);
    }
    state.counters["max_rss_mb"] = rss_mb;
}
BENCHMARK(HostileRegistryRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
