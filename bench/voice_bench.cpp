// The voice library at its real boundaries, from a source of realistic size: 1247 pieces of a quarter
// second (2756 samples) and 1000 words of half a second, in a temporary folder on the disk.
//   RebuildFullSource: one RebuildLib of that source (goal: under 0.5 s).
//   Synthesis100Characters: the image of a 100-character text, without playing (goal: under 2 ms).
//   Speak100Characters: one SyntheVoice of that text, sound routed into a file by ALSA.
//   PeakMemory10000Characters: a child process speaks a 10000-character text; the growth of its peak
//   resident memory against the image size (goal: within twice the image).
// The library is run from $TAVC_BIN_DIR/libvoxcat.so (default: bin/ beside bench/).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "alsa_capture.h"
#include "codepage.h"
#include "synthesis.h"
#include "voice_index.h"
#include "voice_source.h"

namespace {

using tavc::test::TempFolder;
using tavc::test::VoxcatLibrary;

constexpr size_t kPieceSamples = 2756;
constexpr size_t kWordSamples = 5512;
constexpr int kWords = 1000;

void put(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The GBK bytes of the hanzi at a position of the hanzi list.
std::string hanzi_at(int position) {
    return {static_cast<char>(0xB0 + position / 94), static_cast<char>(0xA1 + position % 94)};
}

// The source, the library built from it, and a copy of libvoxcat.so beside that library: made once.
struct Setup {
    TempFolder root{"voxcat-bench"};
    std::string src = root / "src";
    std::string lib = root / "lib";
    std::unique_ptr<VoxcatLibrary> builder;

    Setup() {
        if (std::getenv("TAVC_BIN_DIR") == nullptr) {
            auto self = std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "bin";
            ::setenv("TAVC_BIN_DIR", self.c_str(), 1);
        }
        std::string piece = tavc::test::VoiceSource::wav(std::string(kPieceSamples, 'p'));
        for (char c = 'A'; c <= 'Z'; ++c) put(src + "/single/" + c + ".wav", piece);
        for (int n = 1; n <= 1221; ++n) put(src + "/single/" + std::to_string(n) + ".wav", piece);
        std::string word = tavc::test::VoiceSource::wav(std::string(kWordSamples, 'w'));
        std::string list;
        for (int i = 0; i < kWords; ++i) {  // first characters in code order, as the speaker needs
            list += hanzi_at(i * 6) + hanzi_at(i) + ",w" + std::to_string(i) + ".wav\r\r\n";
            put(src + "/section/w" + std::to_string(i) + ".wav", word);
        }
        put(src + "/dir.txt", list);
        std::string map;
        for (int i = 0; i < 72 * 94; ++i) map += std::to_string(i % 1221 + 1) + "\r\n";
        put(src + "/wordindex.txt", map);
        std::filesystem::create_directories(lib);
        builder = std::make_unique<VoxcatLibrary>(VoxcatLibrary::built_path());
        if (build() == 0) tavc::test::copy_library_into(lib);
    }

    // RebuildLib into lib, its progress lines dropped.
    int32_t build(const std::string& into = "") const {
        if (!builder->loaded()) return -100;
        std::fflush(stdout);
        int saved = ::dup(1);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(null);
        int32_t result = builder->RebuildLib(src, into.empty() ? lib : into);
        std::fflush(stdout);
        ::dup2(saved, 1);
        ::close(saved);
        return result;
    }
};

const Setup& setup() {
    static Setup s;
    return s;
}

// A text of n characters, GBK: an amount, words and plain hanzi.
std::string text_of(size_t n) {
    std::u16string sentence = u"欢迎光临，您共消费128.50元，谢谢！请收好您的发票。";
    std::u16string text;
    while (text.size() < n) text += sentence;
    text.resize(n);
    return tavc::codepage::gbk_from_utf16(text);
}

void RebuildFullSource(benchmark::State& state) {
    const Setup& s = setup();
    std::string out = s.root / "rebuild";
    std::filesystem::create_directories(out);
    for (auto _ : state) {
        if (s.build(out) != 0) {
            state.SkipWithError("the build failed");
            break;
        }
    }
}
BENCHMARK(RebuildFullSource)->Unit(benchmark::kMillisecond)->UseRealTime();

void Synthesis100Characters(benchmark::State& state) {
    const Setup& s = setup();
    auto index = std::make_unique<tavc::voxcat::VoiceIndex>();
    if (tavc::voxcat::LoadVoiceIndex(s.lib, *index) != 0) {
        state.SkipWithError("no library");
        return;
    }
    std::string text = text_of(100);
    size_t bytes = 0;
    for (auto _ : state) {
        auto image = tavc::voxcat::SynthesizeToBuffer(text, *index, s.lib);
        bytes = image ? image->size : 0;
        benchmark::DoNotOptimize(image);
    }
    state.counters["image_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(Synthesis100Characters)->Unit(benchmark::kMicrosecond)->UseRealTime();

void Speak100Characters(benchmark::State& state) {
    const Setup& s = setup();
    tavc::test::ScopedAlsaCapture capture;
    VoxcatLibrary speaker(s.lib + "/libvoxcat.so");
    if (!capture.ok() || !speaker.loaded()) {
        state.SkipWithError("no ALSA configuration or no library");
        return;
    }
    std::string text = text_of(100);
    for (auto _ : state) {
        if (speaker.SyntheVoice(text) != 1) {
            state.SkipWithError("not played");
            break;
        }
    }
}
BENCHMARK(Speak100Characters)->Unit(benchmark::kMillisecond)->UseRealTime();

long peak_kib() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void PeakMemory10000Characters(benchmark::State& state) {
    const Setup& s = setup();
    std::string text = text_of(10000);
    auto index = std::make_unique<tavc::voxcat::VoiceIndex>();
    tavc::voxcat::LoadVoiceIndex(s.lib, *index);
    auto image = tavc::voxcat::SynthesizeToBuffer(text, *index, s.lib);
    double image_kib = image ? static_cast<double>(image->size) / 1024 : 0;
    image.reset();
    tavc::test::AlsaCapture capture;
    double growth_kib = 0;
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0) break;
        pid_t child = ::fork();
        if (child == 0) {
            ::setenv("ALSA_CONFIG_PATH", capture.config_path().c_str(), 1);
            VoxcatLibrary speaker(s.lib + "/libvoxcat.so");
            long before = peak_kib();
            long result[2] = {speaker.SyntheVoice(text), peak_kib() - before};
            ssize_t ignored = ::write(fds[1], result, sizeof result);
            (void)ignored;
            ::_exit(0);
        }
        ::close(fds[1]);
        long result[2] = {0, 0};
        ssize_t got = ::read(fds[0], result, sizeof result);
        ::close(fds[0]);
        ::waitpid(child, nullptr, 0);
        if (got != sizeof result || result[0] != 1) {
            state.SkipWithError("the child did not speak");
            break;
        }
        growth_kib = static_cast<double>(result[1]);
    }
    state.counters["image_KiB"] = image_kib;
    state.counters["peak_growth_KiB"] = growth_kib;
    state.counters["growth_per_image"] = image_kib > 0 ? growth_kib / image_kib : 0;
}
BENCHMARK(PeakMemory10000Characters)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
