// Speaking a GBK text: the pieces of its words, letters, hanzi and numbers joined into one WAV image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "voice_index.h"

namespace tavc::voxcat {

// A place of the utterance: a piece of "vlib.dat", or a silence block where no piece is.
struct Part {
    Piece piece;
    bool silence = false;
};
using Utterance = std::vector<Part>;

inline constexpr size_t kSilenceBlockBytes = 256;
inline constexpr unsigned char kSilence = 0x80;

// The places of a run of text: per place the first word of the character's list that the run begins
// with, else the character's own piece; a silence block for anything without an entry (blanks,
// punctuation, symbols, a lone first byte at the run's end).
void AppendTextPieces(std::string_view run, const VoiceIndex& index, Utterance& out);

// The places of a whole text: its number runs read as Chinese number words, the text between them as
// it stands.
Utterance PlanUtterance(std::string_view text, const VoiceIndex& index);

// The WAV image of a text: a 44-byte header (8-bit mono, 11025 Hz) and the joined samples, sized once
// from its pieces. A piece that does not lie inside "vlib.dat" is a silence block, and the last sample
// of every piece is silence. None when "vlib.dat" in folder cannot be opened; throws when the image
// cannot be held (over 4 GiB, or no memory).
struct WavImage {
    std::unique_ptr<unsigned char[]> bytes;
    size_t size = 0;
};
std::optional<WavImage> SynthesizeToBuffer(std::string_view text, const VoiceIndex& index,
                                           const std::string& folder);

}  // namespace tavc::voxcat
