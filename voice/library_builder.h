// Building the voice library files from a source folder of WAV pieces and the two lists.
#pragma once

#include <cstdint>

#include "results.h"

namespace tavc::voxcat {

// Builds "vlib.dat", "vlib.dat.idx", "vlib.dat.sdx" and "vlib.dat.wdx" in lib_dir from src_dir. Prints
// "process <path>...\n" on standard output before opening each piece; a word-list line that cannot be
// used is skipped with a line on standard error. kBuilt, or the first failure, which ends the build and
// leaves what was written.
int32_t BuildVoiceLibrary(const char* src_dir, const char* lib_dir);

}  // namespace tavc::voxcat
