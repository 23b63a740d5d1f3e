// The user's folders as the XDG base directory rules name them. A relative value of an XDG variable is
// ignored, as the rules say. Every function gives "" when the folder cannot be named (no home folder):
// callers then keep no file rather than one under "/".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavc::folders {

// $HOME when it is an absolute path, else the account's home folder from the password database.
std::string home();

// $XDG_CONFIG_HOME, else home + "/.config".
std::string config_home();
// $XDG_DATA_HOME, else home + "/.local/share".
std::string data_home();
// $XDG_STATE_HOME, else home + "/.local/state".
std::string state_home();
// $XDG_RUNTIME_DIR; it has no default.
std::string runtime_dir();
// The absolute folders of $XDG_DATA_DIRS in their order, else /usr/local/share and /usr/share: where
// files installed for every user of the machine lie.
std::vector<std::string> data_dirs();

// The rules for a given home folder ("" for none), which the functions above apply to home().
std::string config_home_in(std::string_view home);
std::string data_home_in(std::string_view home);
std::string state_home_in(std::string_view home);

// The system's own folder in a config home: the registry's hive files lie there, and in its folder
// "dosdevices" the links that name the serial ports, "com1" to "com10". "" for a config home of "".
std::string tavc_config_folder_in(std::string_view config_home);
std::string dosdevices_folder_in(std::string_view config_home);
std::string port_link_in(std::string_view config_home, int number);
// The system's own folder in config_home().
std::string tavc_config_folder();

}  // namespace tavc::folders
