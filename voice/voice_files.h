// The voice library files: their names, their record layouts, and the text rules of the two source lists.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavc::voxcat {

inline constexpr const char* kSampleFile = "vlib.dat";
inline constexpr const char* kOffsetIndexFile = "vlib.dat.idx";
inline constexpr const char* kWordRecordFile = "vlib.dat.sdx";
inline constexpr const char* kHanziMapFile = "vlib.dat.wdx";

inline constexpr int kLetterPieces = 26;
inline constexpr int kNumberedPieces = 1221;
inline constexpr int kOffsetEntries = kLetterPieces + kNumberedPieces + 1;  // 1248
inline constexpr int kHanziPositions = 72 * 94;                             // 6768
inline constexpr size_t kWavHeaderBytes = 44;
inline constexpr size_t kWordRecordBytes = 40;
inline constexpr size_t kWordFieldBytes = 32;
inline constexpr size_t kLongestWord = kWordFieldBytes - 1;

// "folder/name"
std::string PathIn(std::string_view folder, std::string_view name);

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A regular file opened to read as raw bytes; none for anything else at its name, where a FIFO or a
// device could hold the call up for ever.
File OpenToRead(const std::string& path);
// A new file to write raw bytes to, in place of whatever stood at its name: a link planted there is
// never written through. None when it cannot be made.
File CreateAnew(const std::string& path);

// Little-endian fields of the library files.
void PutLe32(unsigned char* at, int32_t value);
int32_t GetLe32(const unsigned char* at);

// Reads a list the way a text stream does: CR LF reads as LF, a byte 0x1A ends the file, and a line comes
// in pieces of at most 62 bytes, each piece a line of its own. A piece is the text up to its first zero
// byte, its LF kept.
class ListReader {
  public:
    explicit ListReader(std::FILE* file) : file_(file) {}

    enum class Result { Line, End, ReadError };
    Result next(std::string& line);
    // The number of the piece next() returned last, counting from 1.
    int line_number() const { return number_; }

  private:
    int get();

    std::FILE* file_;
    bool ended_ = false;
    int pending_ = EOF - 1;  // a byte read ahead behind a CR, none when EOF - 1
    int number_ = 0;
};

// A line that is empty or holds only its line end is no entry of either list.
bool IsEmptyListLine(std::string_view line);

// One line of the word list: the word before the first comma, the file name behind it less the last two
// characters of the line as read. None, with the reason, for a line without a comma, a word of more than
// 31 bytes, or fewer than two characters behind the comma.
struct WordLine {
    std::string word;
    std::string file;
};
std::optional<WordLine> ParseWordLine(std::string_view line, std::string& why);

// One line of the hanzi list: its leading integer as the standard conversion reads it (blanks, a sign,
// digits; 0 without digits), kept to its low 16 bits.
int16_t ParseMapLine(std::string_view line);

}  // namespace tavc::voxcat
