#include "module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tavc::module {

std::optional<std::string> executable_path() {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return std::nullopt;
        if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
        buf.resize(buf.size() * 2);
    }
}

std::optional<std::string> library_path(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        return std::nullopt;
    // The path the loader took, not its link's target: files that belong beside the library lie beside
    // the name it was loaded by.
    std::string path = info.dli_fname;
    if (path[0] != '/') {
        std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
        if (!cwd) return std::nullopt;
        path = std::string(cwd.get()) + "/" + path;
    }
    return path;
}

std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string file_name(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string with_extension(const std::string& path, std::string_view extension) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    size_t end = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : path.size();
    return path.substr(0, end) + std::string(extension);
}

}  // namespace tavc::module
