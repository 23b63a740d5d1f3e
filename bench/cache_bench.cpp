// The cache file and the upload at their real boundaries: the file beside this program, requests to a
// loopback rating server that answers at once.
//   CachedRatingStore: one TAVCRemarkToCache with 1000 ratings cached (goal: under 1 ms).
//   UploadOf381Ratings: one TAVCUploadRemarks that sends 381 ratings and deletes each (goal: the cost of
//   381 loopback connections, well under a second).
// The cache file is this program's "tavc.cache": run one instance at a time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cache_file.h"
#include "rating_server_fake.h"
#include "tessel.h"

namespace {

// A cache of n ratings of another day, so that a store today never meets their keys.
std::string cache_of(int n) {
    std::string text = "[" + tavc::tessel::RemarksSection() + "]\n";
    for (int i = 0; i < n; ++i)
        text += tavc::tessel::HexEncode(tavc::tessel::RatingTimeStamp(946684800 + i)) + "=" +
                tavc::tessel::HexEncode("0001,I,") + "\n";
    return text;
}

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void CachedRatingStore(benchmark::State& state) {
    std::string path = tavc::tessel::CacheFilePath().value();
    const std::string cached = cache_of(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        put(path, cached);
        state.ResumeTiming();
        if (TAVCRemarkToCache("0001", 'J', "") != 0) {
            state.SkipWithError("the store failed");
            break;
        }
    }
    std::filesystem::remove(path);
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

}  // namespace

BENCHMARK_MAIN();
