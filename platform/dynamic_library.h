// Loading a shared library at run time and looking up its entry points by name.
#pragma once

#include <string>

namespace tavc::dynamic_library {

// A loaded library; opaque.
struct Library;

// Loads `file` with all its symbols resolved now and kept local to it. A name without '/' is searched
// for the ordinary way: LD_LIBRARY_PATH, the calling program's run path (so $ORIGIN finds a library
// installed beside the program), then the system folders. Null when it cannot be loaded; `error`, when
// given, then receives the reason.
Library* open(const char* file, std::string* error = nullptr);

// The address of the entry point `name`, or null when the library has none (or `library` is null).
void* symbol(Library* library, const char* name);

// Unloads a library that open returned; null is ignored.
void close(Library* library);

}  // namespace tavc::dynamic_library
