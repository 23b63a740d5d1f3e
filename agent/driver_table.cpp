#include "driver_table.h"

#include <type_traits>

namespace corvis {

bool DriverTable::load(const char* file, std::string* problem) {
    unload();
    std::string error;
    library = tavc::dynamic_library::open(file, &error);
    if (library == nullptr) {
        if (problem != nullptr) *problem = error;
        return false;
    }
    std::string missing;
    for_each_entry([&](const char* name, auto& entry) {
        using Entry = std::remove_reference_t<decltype(entry)>;
        entry = reinterpret_cast<Entry>(tavc::dynamic_library::symbol(library, name));
        if (entry == nullptr) missing += missing.empty() ? name : std::string(", ") + name;
    });
    if (problem != nullptr) *problem = missing.empty() ? std::string() : "no entry " + missing;
    return true;
}

void DriverTable::unload() {
    tavc::dynamic_library::close(library);
    library = nullptr;
    for_each_entry([](const char*, auto& entry) { entry = nullptr; });
}

}  // namespace corvis
