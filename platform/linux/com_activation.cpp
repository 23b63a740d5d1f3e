// Bus activation files: $XDG_DATA_HOME/dbus-1/services/<bus name>.service, which lets the bus start
// the server of a class.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "com.h"
#include "file_io.h"
#include "folders.h"

namespace tavc::com {
namespace {

// An Exec line is split like a shell command line: quote the path unless it is plain.
std::string exec_quoted(std::string_view path) {
    bool plain = !path.empty();
    for (char c : path)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              std::strchr("/._+-", c) != nullptr))
            plain = false;
    if (plain) return std::string(path);
    std::string out = "'";
    for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string activation_file_name(const Guid& clsid) {
    return bus_name(clsid) + ".service";
}

std::string activation_text(const Guid& clsid, std::string_view server_path) {
    return "[D-BUS Service]\nName=" + bus_name(clsid) + "\nExec=" + exec_quoted(server_path) + "\n";
}

std::string activation_file(const Guid& clsid) {
    std::string base = folders::data_home();
    if (base.empty()) return std::string();
    return base + "/dbus-1/services/" + activation_file_name(clsid);
}

HResult register_activation(const Guid& clsid, std::string_view server_path) {
    std::string file = activation_file(clsid);
    if (file.empty() || server_path.empty() || server_path.front() != '/') return kRegistryWriteFailed;
    if (!file_io::make_folders(file.substr(0, file.rfind('/')))) return kRegistryWriteFailed;
    // Two registrations at once would share the one temporary file: they take turns on a lock beside it.
    auto held = file_io::lock_file(file + ".lock", true, true);
    if (!held) return kRegistryWriteFailed;
    return file_io::replace_file(file, activation_text(clsid, server_path), 0644) ? kOk
                                                                                  : kRegistryWriteFailed;
}

HResult unregister_activation(const Guid& clsid) {
    std::string file = activation_file(clsid);
    if (file.empty()) return kRegistryWriteFailed;
    return unlink(file.c_str()) == 0 || errno == ENOENT ? kOk : kRegistryWriteFailed;
}

}  // namespace tavc::com
