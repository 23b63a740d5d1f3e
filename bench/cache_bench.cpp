// The cache file and the upload at their real boundaries: the file beside this program, requests to a
// loopback rating server that answers at once.
//   CachedRatingStore: one TAVCRemarkToCache with 1000 ratings cached (goal: under 1 ms).
//   UploadOf381Ratings: one TAVCUploadRemarks that sends 381 ratings and deletes each (goal: the cost of
//   381 loopback connections, well under a second).
//   CrowdedCacheStore: one TAVCRemarkToCache when the cache holds ratings under the next N seconds, as a
//   burst leaves them, so that the new one goes after all of them (goal at N = 20000: under 50 ms).
//   HostileCacheStore: one TAVCRemarkToCache on a cache of 20 MB of line ends, in a child process; the
//   counter max_rss_mb is that process's peak memory (goal: under 1 s and 100 MB).
// The cache file is this program's "tavc.cache": run one instance at a time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cache_file.h"
#include "child_process.h"
#include "rating_server_fake.h"
#include "tessel.h"

namespace {

// A cache of n ratings under n seconds from `first` on.
std::string cache_of(int n, std::time_t first) {
    std::string text = "[" + tavc::tessel::RemarksSection() + "]\n";
    for (int i = 0; i < n; ++i)
        text += tavc::tessel::HexEncode(tavc::tessel::RatingTimeStamp(first + i)) + "=" +
                tavc::tessel::HexEncode("0001,I,") + "\n";
    return text;
}

// Ratings of another day, so that a store today never meets their keys.
std::string cache_of(int n) {
    return cache_of(n, 946684800);
}

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// One TAVCRemarkToCache per iteration, each into the cache that `cached` gives just before it.
void StoreInto(benchmark::State& state, const std::function<std::string()>& cached) {
    std::string path = tavc::tessel::CacheFilePath().value();
    for (auto _ : state) {
        state.PauseTiming();
        put(path, cached());
        state.ResumeTiming();
        if (TAVCRemarkToCache("0001", 'J', "") != 0) {
            state.SkipWithError("the store failed");
            break;
        }
    }
    std::filesystem::remove(path);
}

void CachedRatingStore(benchmark::State& state) {
    const std::string cached = cache_of(static_cast<int>(state.range(0)));
    StoreInto(state, [&] { return cached; });
}
BENCHMARK(CachedRatingStore)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

void UploadOf381Ratings(benchmark::State& state) {
    tavc::test::FakeRatingServer server;
    std::string path = tavc::tessel::CacheFilePath().value();
    const std::string cached = cache_of(381);
    for (auto _ : state) {
        state.PauseTiming();
        put(path, cached);
        state.ResumeTiming();
        if (TAVCUploadRemarks(server.url().c_str(), server.port()) != 0) {
            state.SkipWithError("the upload failed");
            break;
        }
    }
    std::filesystem::remove(path);
}
BENCHMARK(UploadOf381Ratings)->Unit(benchmark::kMillisecond)->UseRealTime();

void CrowdedCacheStore(benchmark::State& state) {
    // Made again each time, so that the keys are still the coming seconds.
    StoreInto(state, [&] { return cache_of(static_cast<int>(state.range(0)), std::time(nullptr)); });
}
BENCHMARK(CrowdedCacheStore)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The call in a child process of its own, so that its peak memory is the call's.
void HostileCacheStore(benchmark::State& state) {
    std::string path = tavc::tessel::CacheFilePath().value();
    const std::string blank(20 << 20, '\n');
    double rss_mb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        put(path, blank);
        state.ResumeTiming();
        auto run = tavc::test::run_forked([] { return TAVCRemarkToCache("0001", 'J', "") == 0; });
        if (!run.ok) {
            state.SkipWithError("the store failed");
            break;
        }
        rss_mb = std::max(rss_mb, run.max_rss_kb / 1024.0);
    }
    state.counters["max_rss_mb"] = rss_mb;
    std::filesystem::remove(path);
}
BENCHMARK(HostileCacheStore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
