// Building the voice library files from a source folder of WAV pieces and the two lists.
#pragma once

#include <cstdint>

namespace tavc::voxcat {

// The results of a build: 0, or the first failure.
enum BuildResult : int32_t {
    kBuilt = 0,
    kSampleFileFailed = -1,      // "vlib.dat" cannot be created or written
    kOffsetIndexFailed = -2,     // "vlib.dat.idx" cannot be created or written
    kNumberedPieceMissing = -3,  // single/<n>.wav cannot be opened
    kWordRecordsFailed = -4,     // "vlib.dat.sdx" cannot be created or written
    kWordListMissing = -5,       // "dir.txt" cannot be opened
    kWordListReadError = -6,
    kWordPieceMissing = -7,    // section/<file> cannot be opened
    kLetterPieceMissing = -8,  // single/<A-Z>.wav cannot be opened
    kHanziMapFailed = -9,      // "vlib.dat.wdx" cannot be created or written
    kHanziListMissing = -10,   // "wordindex.txt" cannot be opened
    kHanziListReadError = -11,
};

// Builds "vlib.dat", "vlib.dat.idx", "vlib.dat.sdx" and "vlib.dat.wdx" in lib_dir from src_dir. Prints
// "process <path>...\n" on standard output before opening each piece; a word-list line that cannot be
// used is skipped with a line on standard error. Stops at the first failure, leaving what was written.
int32_t BuildVoiceLibrary(const char* src_dir, const char* lib_dir);

}  // namespace tavc::voxcat
