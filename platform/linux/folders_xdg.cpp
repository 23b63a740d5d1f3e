#include "folders.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace tavc::folders {
namespace {

// The variable's value when it is an absolute path; "" otherwise.
std::string absolute_env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string below_home(const char* xdg_variable, std::string_view home, std::string_view default_folder) {
    std::string xdg = absolute_env(xdg_variable);
    if (!xdg.empty()) return xdg;
    if (home.empty()) return std::string();
    return std::string(home) + std::string(default_folder);
}

}  // namespace

std::string home() {
    std::string env = absolute_env("HOME");
    if (!env.empty()) return env;
    passwd pw{};
    passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::string();
}

std::string config_home_in(std::string_view home) {
    return below_home("XDG_CONFIG_HOME", home, "/.config");
}

std::string data_home_in(std::string_view home) {
    return below_home("XDG_DATA_HOME", home, "/.local/share");
}

std::string state_home_in(std::string_view home) {
    return below_home("XDG_STATE_HOME", home, "/.local/state");
}

std::string config_home() {
    return config_home_in(home());
}

std::string data_home() {
    return data_home_in(home());
}

std::string state_home() {
    return state_home_in(home());
}

std::string runtime_dir() {
    return absolute_env("XDG_RUNTIME_DIR");
}

std::string tavc_config_folder_in(std::string_view config_home) {
    return config_home.empty() ? std::string() : std::string(config_home) + "/tavc";
}

std::string dosdevices_folder_in(std::string_view config_home) {
    std::string folder = tavc_config_folder_in(config_home);
    return folder.empty() ? folder : folder + "/dosdevices";
}

std::string port_link_in(std::string_view config_home, int number) {
    std::string folder = dosdevices_folder_in(config_home);
    return folder.empty() ? folder : folder + "/com" + std::to_string(number);
}

std::string tavc_config_folder() {
    return tavc_config_folder_in(config_home());
}

std::vector<std::string> data_dirs() {
    std::vector<std::string> dirs;
    const char* value = std::getenv("XDG_DATA_DIRS");
    std::string_view list = value != nullptr ? value : "";
    while (!list.empty()) {
        std::string_view dir = list.substr(0, list.find(':'));
        list.remove_prefix(std::min(list.size(), dir.size() + 1));
        if (!dir.empty() && dir.front() == '/') dirs.emplace_back(dir);
    }
    if (dirs.empty()) dirs = {"/usr/local/share", "/usr/share"};
    return dirs;
}

}  // namespace tavc::folders
