// The voice index: for every letter and GB2312 hanzi its own piece and the words that begin with it,
// loaded from the library files once, when the library is loaded.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "results.h"

namespace tavc::voxcat {

inline constexpr int kLetterEntries = 26;
inline constexpr int kIndexEntries = kLetterEntries + 72 * 94;  // 6794

// A piece of "vlib.dat". A piece the index files do not give (a short file, a value outside them)
// has a negative length and is spoken as silence.
struct Piece {
    int32_t offset = 0;
    int32_t length = -1;
};

struct WordNode {
    std::string word;  // GBK, 1 to 32 bytes
    Piece piece;
};

struct VoiceEntry {
    Piece piece;
    std::vector<WordNode> words;  // in record order: the first that fits is taken
};

using VoiceIndex = std::array<VoiceEntry, kIndexEntries>;

// The index entry of a GBK character pair, or of a letter (either case); -1 for anything else.
int EntryOfLetter(unsigned char c);

// Fills the index from the bytes of "vlib.dat.idx", "vlib.dat.wdx" and "vlib.dat.sdx". Word records are
// attached while they match the letter or hanzi being visited in order, so the first record that matches
// no later key ends the attaching. Files shorter than their counts leave the rest without pieces.
void BuildVoiceIndex(std::string_view offsets, std::string_view hanzi_map, std::string_view records,
                     VoiceIndex& index);

// Reads the three index files from folder into index; kLoaded or the status of the first file that
// cannot be read, in the order idx, wdx, sdx.
int32_t LoadVoiceIndex(const std::string& folder, VoiceIndex& index);

// Drops every word list.
void FreeWordLists(VoiceIndex& index);

}  // namespace tavc::voxcat
