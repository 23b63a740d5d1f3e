// A test's own temporary folder and environment variables, undone when the object goes, so tests run side
// by side and never touch the developer's real folders.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace tavc::test {

// A fresh folder <parent>/<tag>.XXXXXX, removed with everything in it at destruction. ok() is false when
// it could not be made.
class TempFolder {
  public:
    explicit TempFolder(std::string_view tag,
                        const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
        std::string templ = (parent / (std::string(tag) + ".XXXXXX")).string();
        if (::mkdtemp(templ.data()) != nullptr) path_ = templ;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

  private:
    std::string path_;
};

// The bytes of a file; empty when it cannot be read.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Sets (or, with none, unsets) an environment variable; the old value comes back at destruction.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = ::getenv(name_.c_str())) old_ = old;
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// Copies a shared library of the build into `folder` with the links of its name (libx.so to libx.so.1 to
// libx.so.1.0), so that a program copied beside it finds it by its SONAME; the copy's path by the name
// `library` gives, or "" when something could not be copied.
inline std::string copy_library(const std::filesystem::path& library, const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::path source = library;
    for (int links = 0; std::filesystem::is_symlink(source, ec) && links < 8; ++links) {
        std::filesystem::path target = std::filesystem::read_symlink(source, ec);
        std::filesystem::remove(folder / source.filename(), ec);
        std::filesystem::create_symlink(target.filename(), folder / source.filename(), ec);
        if (ec) return "";
        source = source.parent_path() / target;
    }
    std::filesystem::copy_file(source, folder / source.filename(),
                               std::filesystem::copy_options::overwrite_existing, ec);
    return ec ? "" : (folder / library.filename()).string();
}

}  // namespace tavc::test
