// Paths of the running program and of a loaded library.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavc::module {

// Full path of the process's executable (the host program, not a library), or none.
std::optional<std::string> executable_path();

// Full path of the shared object that contains `address` as the loader found it (a link to the library
// is not followed), or none.
std::optional<std::string> library_path(const void* address);

// The path cut after its last '/', separator kept ("/a/b/c" gives "/a/b/"); empty without a separator.
std::string folder_of(const std::string& path);
// What follows the path's last '/' ("/a/b/c.d" gives "c.d"); the whole path without a separator.
std::string file_name(const std::string& path);
// The path with its file name's extension, from the last '.' of the name, replaced by `extension`
// ("/a/b.c" and "/a/b" give "/a/b.hkd" for ".hkd"); a dot in a folder's name is no extension.
std::string with_extension(const std::string& path, std::string_view extension);

}  // namespace tavc::module
