// A temporary folder that is $XDG_CONFIG_HOME for the life of the object, so a test reads and writes no
// settings but its own and tests can run side by side.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace tavc::test {

class ScopedConfigHome {
  public:
    explicit ScopedConfigHome(std::string_view tag = "tavc_test") {
        std::string templ =
            (std::filesystem::temp_directory_path() / (std::string(tag) + ".XXXXXX")).string();
        if (::mkdtemp(templ.data()) != nullptr) path_ = templ;
        if (const char* old = ::getenv("XDG_CONFIG_HOME")) old_ = old;
        ::setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    }
    ~ScopedConfigHome() {
        if (old_) {
            ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScopedConfigHome(const ScopedConfigHome&) = delete;
    ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

    // Writes user.reg (HKEY_CURRENT_USER) with the key `key` holding the value lines given, e.g.
    // "\"Comport\"=dword:0000000a\n".
    void write_user_values(std::string_view key, std::string_view value_lines) const {
        std::filesystem::create_directories(std::filesystem::path(path_) / "tavc");
        std::ofstream out(std::filesystem::path(path_) / "tavc" / "user.reg",
                          std::ios::binary | std::ios::trunc);
        out << "REGEDIT4\n\n[HKEY_CURRENT_USER\\" << key << "]\n" << value_lines << "\n";
    }

  private:
    std::string path_;
    std::optional<std::string> old_;
};

}  // namespace tavc::test
