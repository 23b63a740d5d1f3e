// The devices facility's udev half: which USB interfaces carry a class, and where an interface sits.
#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <optional>
#include <string_view>

#include "devices_backend.h"

namespace tavc::devices {
namespace {

// The property that the device's udev rule puts on its interface.
constexpr const char* kClassProperty = "TAVC_INTERFACE_CLASS";

template <typename T, T* (*Release)(T*)>
struct Unref {
    void operator()(T* object) const { Release(object); }
};
using Udev = std::unique_ptr<udev, Unref<udev, udev_unref>>;
using Enumerate = std::unique_ptr<udev_enumerate, Unref<udev_enumerate, udev_enumerate_unref>>;
using Device = std::unique_ptr<udev_device, Unref<udev_device, udev_device_unref>>;

bool same(const char* text, std::string_view expected) {
    return text != nullptr && text == expected;
}

bool is_interface(udev_device* device) {
    return same(udev_device_get_subsystem(device), "usb") &&
           same(udev_device_get_devtype(device), "usb_interface");
}

// A sysfs number such as "02\n" (hexadecimal bInterfaceNumber) or " 0\n" (decimal bAlternateSetting).
std::optional<int> number_attribute(udev_device* device, const char* name, int base) {
    const char* value = udev_device_get_sysattr_value(device, name);
    if (value == nullptr) return std::nullopt;
    std::string_view text = value;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    int number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (error != std::errc() || end != text.data() + text.size() || number < 0 || number > 255)
        return std::nullopt;
    return number;
}

}  // namespace

InterfaceSet::InterfaceSet(std::string_view interface_class) {
    Udev context(udev_new());
    if (!context) return;
    Enumerate enumerate(udev_enumerate_new(context.get()));
    const std::string wanted(interface_class);
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "usb") < 0 ||
        udev_enumerate_add_match_property(enumerate.get(), kClassProperty, wanted.c_str()) < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const char* path = udev_list_entry_get_name(entry);
        Device device(udev_device_new_from_syspath(context.get(), path));
        // udev matches the value as a pattern and on every kind of device: only interfaces that carry
        // the class itself count.
        if (device && is_interface(device.get()) &&
            same(udev_device_get_property_value(device.get(), kClassProperty), wanted))
            paths_.emplace_back(path);
    }
    std::sort(paths_.begin(), paths_.end());
    ok_ = true;
}

Status InterfaceSet::enumerate(size_t index, std::string* path) const {
    if (index >= paths_.size()) return Status::NoMore;
    *path = paths_[index];
    return Status::Ok;
}

namespace backend {

Status locate_interface(const std::string& path, InterfaceLocation* location) {
    Udev context(udev_new());
    if (!context) return status_from_errno(errno);
    Device interface(udev_device_new_from_syspath(context.get(), path.c_str()));
    if (!interface || !is_interface(interface.get())) return Status::NotFound;
    // Owned by the interface's udev device.
    udev_device* device = udev_device_get_parent_with_subsystem_devtype(interface.get(), "usb", "usb_device");
    if (device == nullptr) return Status::NotFound;
    std::optional<int> bus = number_attribute(device, "busnum", 10);
    std::optional<int> address = number_attribute(device, "devnum", 10);
    std::optional<int> number = number_attribute(interface.get(), "bInterfaceNumber", 16);
    if (!bus || !address || !number) return Status::NotFound;
    location->bus = *bus;
    location->address = *address;
    location->number = *number;
    location->alternate = number_attribute(interface.get(), "bAlternateSetting", 10).value_or(0);
    return Status::Ok;
}

}  // namespace backend
}  // namespace tavc::devices
