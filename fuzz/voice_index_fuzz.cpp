// Arbitrary bytes as the three index files (split at the first two bytes' lengths) and a text spoken
// with the index they give: every word within its field, and every place of the utterance either
// silence or a piece with its length, wherever the files point.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "synthesis.h"
#include "voice_index.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tavc::voxcat;
    if (size < 3) return 0;
    std::string_view in(reinterpret_cast<const char*>(data) + 3, size - 3);
    size_t idx_size = std::min<size_t>(data[0] * 40u, in.size());
    std::string_view offsets = in.substr(0, idx_size);
    in.remove_prefix(idx_size);
    size_t wdx_size = std::min<size_t>(data[1] * 2u, in.size());
    std::string_view hanzi_map = in.substr(0, wdx_size);
    in.remove_prefix(wdx_size);
    size_t sdx_size = std::min<size_t>(data[2] * 40u, in.size());
    std::string_view records = in.substr(0, sdx_size);
    std::string_view text = in.substr(sdx_size);

    auto index = std::make_unique<VoiceIndex>();
    BuildVoiceIndex(offsets, hanzi_map, records, *index);
    size_t words = 0;
    for (const VoiceEntry& e : *index) {
        for (const WordNode& w : e.words) check(!w.word.empty() && w.word.size() <= 32);
        words += e.words.size();
    }
    check(words * 40 <= records.size());
    PlanUtterance(text, *index);
    FreeWordLists(*index);
    return 0;
}
