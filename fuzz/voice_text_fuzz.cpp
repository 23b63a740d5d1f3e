// Arbitrary bytes as a text to speak: the number runs found lie inside the text and hold only digits and
// points, every reading is whole GBK hanzi, and the utterance has one place per character at most, with
// the number words counted as characters.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "number_reading.h"
#include "sound.h"
#include "synthesis.h"
#include "voice_index.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// An index where every entry has its own piece and a few words, as a built library gives.
const tavc::voxcat::VoiceIndex& some_index() {
    static const auto index = [] {
        auto i = std::make_unique<tavc::voxcat::VoiceIndex>();
        for (int k = 0; k < tavc::voxcat::kIndexEntries; ++k) (*i)[k].piece = {k * 10, 10};
        (*i)[0].words.push_back({"AB", {5, 3}});
        (*i)[0].words.push_back({"A", {-1, 3}});
        return i;
    }();
    return *index;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tavc::voxcat;
    std::string_view text(reinterpret_cast<const char*>(data), size);

    size_t reading_bytes = 0;
    std::string_view rest = text;
    size_t start;
    size_t end;
    while (FindNumberRun(rest, start, end)) {
        check(start < end && end <= rest.size());
        std::string_view run = rest.substr(start, end - start);
        check(run.find_first_not_of("0123456789.") == std::string_view::npos);
        std::string words = ReadNumberRun(run);
        check(!words.empty() && words.size() % 2 == 0);
        for (char c : words) check(static_cast<unsigned char>(c) >= 0xA1);
        reading_bytes += words.size();
        rest.remove_prefix(end);
    }
    Utterance parts = PlanUtterance(text, some_index());
    check(parts.size() <= size + reading_bytes / 2);

    // The same bytes as a WAV image for the sound facility's reader.
    if (auto wav = tavc::sound::read_wav({data, size})) {
        check(wav->samples.data() >= data && wav->samples.data() + wav->samples.size() <= data + size);
    }
    return 0;
}
