// Class and interface ids, and the bus names derived from them.
#include "com.h"

namespace tavc::com {

std::optional<Guid> Guid::parse(std::string_view braced) {
    try {
        return Guid(braced);
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

std::string Guid::braced() const {
    std::string h(hex());
    return "{" + h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" + h.substr(16, 4) + "-" +
           h.substr(20) + "}";
}

std::string bus_name(const Guid& clsid) {
    return "tavc.com.Class_" + std::string(clsid.hex());
}

std::string interface_bus_name(const InterfaceInfo& iface) {
    return "tavc.com." + std::string(iface.name);
}

}  // namespace tavc::com
