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

}  // namespace tavc::test
