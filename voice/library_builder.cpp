#include "library_builder.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <string>

#include "voice_files.h"

namespace tavc::voxcat {
namespace {

constexpr size_t kBlockBytes = 512;

// Closes an output file; false when what it held could not all be written.
bool finish(File& f) {
    bool ok = !std::ferror(f.get());
    return std::fclose(f.release()) == 0 && ok;
}

bool write_le32(std::FILE* f, int32_t value) {
    unsigned char bytes[4];
    PutLe32(bytes, value);
    return std::fwrite(bytes, 1, 4, f) == 4;
}

class Builder {
  public:
    Builder(const char* src, const char* lib) : src_(src), lib_(lib) {}

    int32_t run() {
        File samples = CreateAnew(PathIn(lib_, kSampleFile));
        if (!samples) return kSampleFileFailed;
        samples_ = samples.get();
        if (int32_t r = build_pieces(); r != kBuilt) return r;
        if (int32_t r = build_words(); r != kBuilt) return r;
        if (!finish(samples)) return kSampleFileFailed;
        return build_hanzi_map();
    }

  private:
    // The letter and numbered pieces with their offset index.
    int32_t build_pieces() {
        File index = CreateAnew(PathIn(lib_, kOffsetIndexFile));
        if (!index) return kOffsetIndexFailed;
        std::string single = PathIn(src_, "single");
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            if (int32_t r = copy_piece(PathIn(single, std::string(1, letter) + ".wav"), index.get(),
                                       kLetterPieceMissing);
                r != kBuilt)
                return r;
        }
        for (int n = 1; n <= kNumberedPieces; ++n) {
            if (int32_t r = copy_piece(PathIn(single, std::to_string(n) + ".wav"), index.get(),
                                       kNumberedPieceMissing);
                r != kBuilt)
                return r;
        }
        if (!write_le32(index.get(), offset_) || !finish(index)) return kOffsetIndexFailed;
        return kBuilt;
    }

    // The word pieces and their records, in word-list order.
    int32_t build_words() {
        File records = CreateAnew(PathIn(lib_, kWordRecordFile));
        if (!records) return kWordRecordsFailed;
        std::string list_path = PathIn(src_, "dir.txt");
        File list = OpenToRead(list_path);
        if (!list) return kWordListMissing;
        ListReader reader(list.get());
        std::string line;
        std::string section = PathIn(src_, "section");
        for (;;) {
            ListReader::Result got = reader.next(line);
            if (got == ListReader::Result::ReadError) return kWordListReadError;
            if (got == ListReader::Result::End) break;
            if (IsEmptyListLine(line)) continue;
            std::string why;
            auto word = ParseWordLine(line, why);
            if (!word) {
                if (line.back() == '\n') line.pop_back();
                std::fprintf(stderr, "%s: line %d skipped, %s: %s\n", list_path.c_str(), reader.line_number(),
                             why.c_str(), line.c_str());
                continue;
            }
            unsigned char record[kWordRecordBytes] = {};
            word->word.copy(reinterpret_cast<char*>(record), kLongestWord);
            int32_t start = offset_;
            if (int32_t r = copy_piece(PathIn(section, word->file), nullptr, kWordPieceMissing); r != kBuilt)
                return r;
            PutLe32(record + 32, start);
            PutLe32(record + 36, offset_ - start);
            if (std::fwrite(record, 1, sizeof record, records.get()) != sizeof record)
                return kWordRecordsFailed;
        }
        const unsigned char end_record[kWordRecordBytes] = {};
        if (std::fwrite(end_record, 1, sizeof end_record, records.get()) != sizeof end_record ||
            !finish(records))
            return kWordRecordsFailed;
        return kBuilt;
    }

    int32_t build_hanzi_map() {
        File map = CreateAnew(PathIn(lib_, kHanziMapFile));
        if (!map) return kHanziMapFailed;
        File list = OpenToRead(PathIn(src_, "wordindex.txt"));
        if (!list) return kHanziListMissing;
        ListReader reader(list.get());
        std::string line;
        for (;;) {
            ListReader::Result got = reader.next(line);
            if (got == ListReader::Result::ReadError) return kHanziListReadError;
            if (got == ListReader::Result::End) break;
            if (IsEmptyListLine(line)) continue;
            uint16_t v = static_cast<uint16_t>(ParseMapLine(line));
            unsigned char bytes[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
            if (std::fwrite(bytes, 1, 2, map.get()) != 2) return kHanziMapFailed;
        }
        return finish(map) ? kBuilt : kHanziMapFailed;
    }

    // Appends the samples behind the piece's 44-byte header to "vlib.dat", streamed block by block; with
    // an index, its start offset becomes the next entry.
    int32_t copy_piece(const std::string& path, std::FILE* index, int32_t missing) {
        std::printf("process %s...\n", path.c_str());
        std::fflush(stdout);
        File piece = OpenToRead(path);
        if (!piece) return missing;
        unsigned char block[kBlockBytes];
        std::fread(block, 1, kWavHeaderBytes, piece.get());
        if (index && !write_le32(index, offset_)) return kOffsetIndexFailed;
        size_t n;
        do {
            n = std::fread(block, 1, kBlockBytes, piece.get());
            // The offsets are 32-bit: a library that outgrows them cannot be written.
            if (n > static_cast<size_t>(INT32_MAX - offset_)) return kSampleFileFailed;
            if (n > 0 && std::fwrite(block, 1, n, samples_) != n) return kSampleFileFailed;
            offset_ += static_cast<int32_t>(n);
        } while (n == kBlockBytes);
        return kBuilt;
    }

    std::string src_;
    std::string lib_;
    std::FILE* samples_ = nullptr;
    int32_t offset_ = 0;
};

}  // namespace

int32_t BuildVoiceLibrary(const char* src_dir, const char* lib_dir) {
    return Builder(src_dir, lib_dir).run();
}

}  // namespace tavc::voxcat
