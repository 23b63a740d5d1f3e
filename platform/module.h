// Paths of the running program and of a loaded library.
#pragma once

#include <optional>
#include <string>

namespace tavc::module {

// Full path of the process's executable (the host program, not a library), or none.
std::optional<std::string> executable_path();

// Full path of the shared object that contains `address` as the loader found it (a link to the library
// is not followed), or none.
std::optional<std::string> library_path(const void* address);

// The path cut after its last '/', separator kept ("/a/b/c" gives "/a/b/"); empty without a separator.
std::string folder_of(const std::string& path);

}  // namespace tavc::module
