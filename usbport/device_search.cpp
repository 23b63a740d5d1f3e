#include "device_search.h"

namespace tavc::usbpipe {
namespace {

devices::Handle OpenPipe(std::string_view pipe_name) {
    std::string path;
    if (!ProbeDevice(kInterfaceClass, &path)) return {};
    path += '/';
    path += pipe_name;
    return devices::open_pipe(path);
}

}  // namespace

devices::Handle OpenInterfaceDetail(const std::string& interface_path, std::string* path) {
    // A longer path would not have fitted the device path with a pipe name after it.
    if (interface_path.size() > kMaxInterfacePath) return {};
    devices::Handle device = devices::open_interface(interface_path);
    if (device.is_open()) *path = interface_path;
    return device;
}

devices::Handle OpenFirstDeviceInterface(std::string_view interface_class, std::string* path) {
    path->clear();
    // A set that udev could not list is no device; a listed set ends after its last entry, so
    // interfaces that keep failing cannot make the search endless.
    devices::InterfaceSet set(interface_class);
    if (!set.ok()) return {};
    for (size_t index = 0;; ++index) {
        std::string found;
        switch (set.enumerate(index, &found)) {
            case devices::Status::NoMore:
                return {};
            case devices::Status::Ok:
                break;
            default:
                continue;
        }
        devices::Handle device = OpenInterfaceDetail(found, path);
        if (device.is_open()) return device;
    }
}

bool ProbeDevice(std::string_view interface_class, std::string* path) {
    return OpenFirstDeviceInterface(interface_class, path).is_open();
}

devices::Handle OpenDevice() {
    std::string path;
    return OpenFirstDeviceInterface(kInterfaceClass, &path);
}

devices::Handle OpenReadPipe(std::string_view pipe_name) {
    return OpenPipe(pipe_name);
}

devices::Handle OpenWritePipe(std::string_view pipe_name) {
    return OpenPipe(pipe_name);
}

}  // namespace tavc::usbpipe
