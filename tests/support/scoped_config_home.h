// A temporary folder that is $XDG_CONFIG_HOME for the life of the object, so a test reads and writes no
// settings but its own and tests can run side by side.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "folders.h"
#include "temp_folder.h"

namespace tavc::test {

class ScopedConfigHome {
  public:
    explicit ScopedConfigHome(std::string_view tag = "tavc_test")
        : folder_(tag), env_("XDG_CONFIG_HOME", folder_.path()) {}

    bool ok() const { return folder_.ok(); }
    const std::string& path() const { return folder_.path(); }

    // Writes user.reg (HKEY_CURRENT_USER) with the key `key` holding the value lines given, e.g.
    // "\"Comport\"=dword:0000000a\n".
    void write_user_values(std::string_view key, std::string_view value_lines) const {
        const std::string folder = folders::tavc_config_folder_in(path());
        std::filesystem::create_directories(folder);
        std::ofstream out(folder + "/user.reg", std::ios::binary | std::ios::trunc);
        out << "REGEDIT4\n\n[HKEY_CURRENT_USER\\" << key << "]\n" << value_lines << "\n";
    }

  private:
    TempFolder folder_;
    ScopedEnv env_;
};

}  // namespace tavc::test
