#include "voice_index.h"

#include <optional>

#include "file_io.h"
#include "voice_files.h"

namespace tavc::voxcat {
namespace {

// Entry k of "vlib.dat.idx" as a number of the file, or none beyond its end.
std::optional<int32_t> offset_entry(std::string_view offsets, int64_t k) {
    if (k < 0 || (k + 1) * 4 > static_cast<int64_t>(offsets.size())) return std::nullopt;
    return GetLe32(reinterpret_cast<const unsigned char*>(offsets.data()) + k * 4);
}

// The piece between entries k and k+1; none where either is missing or the length would overflow.
Piece piece_at(std::string_view offsets, int64_t k) {
    auto start = offset_entry(offsets, k);
    auto end = offset_entry(offsets, k + 1);
    Piece piece;
    if (start && end) {
        int64_t length = static_cast<int64_t>(*end) - *start;
        if (length >= 0 && length <= INT32_MAX) piece = {*start, static_cast<int32_t>(length)};
    }
    return piece;
}

// Walks the word records in order.
class Records {
  public:
    explicit Records(std::string_view bytes) : bytes_(bytes) {}

    // The current record's first bytes as a key: the byte alone, or first x 256 + second; -1 after the
    // last whole record.
    int key_byte() const { return at_end() ? -1 : static_cast<unsigned char>(bytes_[at_]); }
    int key_pair() const {
        return at_end() ? -1 : key_byte() * 256 + static_cast<unsigned char>(bytes_[at_ + 1]);
    }

    WordNode take() {
        const char* r = bytes_.data() + at_;
        size_t length = 0;
        while (length < kWordFieldBytes && r[length] != '\0') ++length;
        const auto* fields = reinterpret_cast<const unsigned char*>(r) + kWordFieldBytes;
        WordNode node{std::string(r, length), {GetLe32(fields), GetLe32(fields + 4)}};
        at_ += kWordRecordBytes;
        return node;
    }

  private:
    bool at_end() const { return bytes_.size() - at_ < kWordRecordBytes; }

    std::string_view bytes_;
    size_t at_ = 0;
};

}  // namespace

int EntryOfLetter(unsigned char c) {
    if (c >= 'a' && c <= 'z') return c - 'a';
    if (c >= 'A' && c <= 'Z') return c - 'A';
    return -1;
}

void BuildVoiceIndex(std::string_view offsets, std::string_view hanzi_map, std::string_view records,
                     VoiceIndex& index) {
    Records words(records);
    for (int k = 0; k < kLetterEntries; ++k) {
        VoiceEntry& entry = index[k];
        while (words.key_byte() == 'A' + k) entry.words.push_back(words.take());
        entry.piece = piece_at(offsets, k);
    }
    for (int i = 0; i < kIndexEntries - kLetterEntries; ++i) {
        VoiceEntry& entry = index[kLetterEntries + i];
        int code = (0xB0 + i / 94) * 256 + (0xA1 + i % 94);
        while (words.key_pair() == code) entry.words.push_back(words.take());
        entry.piece = Piece{};
        if (static_cast<size_t>(i) * 2 + 2 <= hanzi_map.size()) {
            auto low = static_cast<unsigned char>(hanzi_map[i * 2]);
            auto high = static_cast<unsigned char>(hanzi_map[i * 2 + 1]);
            int16_t v = static_cast<int16_t>(low | (high << 8));
            entry.piece = piece_at(offsets, static_cast<int64_t>(kLetterEntries) - 1 + v);
        }
    }
}

int32_t LoadVoiceIndex(const std::string& folder, VoiceIndex& index) {
    auto offsets = file_io::read_file(PathIn(folder, kOffsetIndexFile));
    if (!offsets || !offsets->exists) return kOffsetIndexUnreadable;
    auto hanzi_map = file_io::read_file(PathIn(folder, kHanziMapFile));
    if (!hanzi_map || !hanzi_map->exists) return kHanziMapUnreadable;
    auto records = file_io::read_file(PathIn(folder, kWordRecordFile));
    if (!records || !records->exists) return kWordRecordsUnreadable;
    BuildVoiceIndex(offsets->text, hanzi_map->text, records->text, index);
    return kLoaded;
}

void FreeWordLists(VoiceIndex& index) {
    for (VoiceEntry& entry : index) std::vector<WordNode>().swap(entry.words);
}

}  // namespace tavc::voxcat
