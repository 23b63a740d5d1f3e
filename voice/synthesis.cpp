#include "synthesis.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "number_reading.h"
#include "voice_files.h"

namespace tavc::voxcat {
namespace {

// clang-format off
constexpr unsigned char kHeaderTemplate[kWavHeaderBytes] = {
    'R', 'I', 'F', 'F', 0, 0, 0, 0,   // size of what follows, filled in
    'W', 'A', 'V', 'E',
    'f', 'm', 't', ' ', 16, 0, 0, 0,
    1, 0,                             // PCM
    1, 0,                             // mono
    0x11, 0x2B, 0, 0,                 // 11025 samples per second
    0x11, 0x2B, 0, 0,                 // 11025 bytes per second
    1, 0,                             // block alignment
    8, 0,                             // bits per sample
    'd', 'a', 't', 'a', 0, 0, 0, 0,   // data size, filled in
};
// clang-format on
// The header's size fields are 32-bit.
constexpr uint64_t kLargestData = UINT32_MAX - 36;

// The entry of the two-byte character c c2; outside the index for codes it does not hold.
int entry_of_pair(unsigned char c, unsigned char c2) {
    return 94 * c + c2 - 16679;
}

bool starts_with(std::string_view run, const std::string& word) {
    return run.size() >= word.size() && run.compare(0, word.size(), word) == 0;
}

// The bytes a place takes in the image.
uint64_t bytes_of(const Part& part) {
    return part.silence ? kSilenceBlockBytes : static_cast<uint64_t>(part.piece.length);
}

}  // namespace

void AppendTextPieces(std::string_view run, const VoiceIndex& index, Utterance& out) {
    size_t at = 0;
    while (at < run.size()) {
        auto c = static_cast<unsigned char>(run[at]);
        int entry;
        size_t own;  // the bytes of the character itself
        // Any high byte takes the byte after it along, trail byte or not (not codepage::gbk_char_length):
        // the pair is a hanzi of the index or one silence block.
        if (c >= 0x80) {
            if (at + 1 == run.size()) {  // a first byte without its second
                out.push_back({{}, true});
                break;
            }
            entry = entry_of_pair(c, static_cast<unsigned char>(run[at + 1]));
            own = 2;
            if (entry < 0 || entry >= kIndexEntries) entry = -1;
        } else {
            entry = EntryOfLetter(c);
            own = 1;
        }
        if (entry < 0) {
            out.push_back({{}, true});
            at += own;
            continue;
        }
        const VoiceEntry& e = index[entry];
        std::string_view rest = run.substr(at);
        const WordNode* taken = nullptr;
        for (const WordNode& w : e.words) {
            if (starts_with(rest, w.word)) {
                taken = &w;
                break;
            }
        }
        out.push_back({taken ? taken->piece : e.piece, false});
        at += taken ? taken->word.size() : own;
    }
}

Utterance PlanUtterance(std::string_view text, const VoiceIndex& index) {
    Utterance parts;
    size_t start;
    size_t end;
    while (FindNumberRun(text, start, end)) {
        AppendTextPieces(text.substr(0, start), index, parts);
        AppendTextPieces(ReadNumberRun(text.substr(start, end - start)), index, parts);
        text.remove_prefix(end);
    }
    AppendTextPieces(text, index, parts);
    return parts;
}

std::optional<WavImage> SynthesizeToBuffer(std::string_view text, const VoiceIndex& index,
                                           const std::string& folder) {
    File samples = OpenToRead(PathIn(folder, kSampleFile));
    struct stat st {};
    if (!samples || fstat(fileno(samples.get()), &st) != 0) return std::nullopt;
    const int64_t file_size = st.st_size;

    Utterance parts = PlanUtterance(text, index);
    uint64_t data_size = 0;
    for (Part& part : parts) {
        const Piece& p = part.piece;
        if (!part.silence && (p.offset < 0 || p.length < 0 || p.offset + int64_t{p.length} > file_size))
            part.silence = true;
        data_size += bytes_of(part);
        if (data_size > kLargestData) throw std::length_error("the utterance does not fit a WAV image");
    }

    WavImage image;
    image.size = kWavHeaderBytes + static_cast<size_t>(data_size);
    image.bytes.reset(new unsigned char[image.size]);  // filled whole below
    unsigned char* out = image.bytes.get();
    std::memcpy(out, kHeaderTemplate, kWavHeaderBytes);
    PutLe32(out + 4, static_cast<int32_t>(static_cast<uint32_t>(data_size + 36)));
    PutLe32(out + 40, static_cast<int32_t>(static_cast<uint32_t>(data_size)));
    out += kWavHeaderBytes;
    for (const Part& part : parts) {
        size_t n = static_cast<size_t>(bytes_of(part));
        size_t got = 0;
        if (!part.silence && n > 0 && std::fseek(samples.get(), part.piece.offset, SEEK_SET) == 0)
            got = std::fread(out, 1, n, samples.get());
        // What the file no longer holds (it shrank since it was measured) is silence too.
        std::memset(out + got, kSilence, n - got);
        if (n > 0) out[n - 1] = kSilence;
        out += n;
    }
    return image;
}

}  // namespace tavc::voxcat
