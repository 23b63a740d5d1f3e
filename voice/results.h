// Every result the library's exports give, named once: RebuildLib's (0, or the first failure of a
// build) and SyntheVoice's (played or not, or the failure of the index load that answers every call).
#pragma once

#include <cstdint>

namespace tavc::voxcat {

enum Result : int32_t {
    // RebuildLib
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

    // SyntheVoice
    kPlayed = 1,
    kNotPlayed = 0,           // the device failed, or the image could not be made
    kSampleFileMissing = -1,  // "vlib.dat" cannot be opened now
    // The index as the library's load left it; any but kLoaded answers every call.
    kLoaded = 0,
    kOffsetIndexUnreadable = -1,
    kHanziMapUnreadable = -2,
    kWordRecordsUnreadable = -3,
    kModulePathUnknown = 100,
};

}  // namespace tavc::voxcat
