// Arbitrary bytes as the builder's two lists, read as text the way the builder reads them: every line a
// piece of at most 62 bytes, every word within its field and every file name shorter than its line.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "voice_files.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tavc::voxcat;
    if (size == 0) return 0;
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (file == nullptr) return 0;
    ListReader reader(file);
    std::string line;
    size_t lines = 0;
    while (reader.next(line) == ListReader::Result::Line) {
        check(line.size() <= 62 && line.find('\0') == std::string::npos);
        check(++lines <= size);
        if (IsEmptyListLine(line)) continue;
        std::string why;
        if (auto word = ParseWordLine(line, why)) {
            check(word->word.size() <= kLongestWord && word->file.size() + 3 <= line.size());
        } else {
            check(!why.empty());
        }
        ParseMapLine(line);
    }
    std::fclose(file);
    return 0;
}
