#include "dynamic_library.h"

#include <dlfcn.h>

namespace tavc::dynamic_library {

Library* open(const char* file, std::string* error) {
    void* handle = file != nullptr ? dlopen(file, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (handle == nullptr && error != nullptr) {
        const char* reason = file != nullptr ? dlerror() : "no file name";
        *error = reason != nullptr ? reason : "unknown error";
    }
    return static_cast<Library*>(handle);
}

void* symbol(Library* library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return dlsym(library, name);
}

void close(Library* library) {
    if (library != nullptr) dlclose(library);
}

}  // namespace tavc::dynamic_library
