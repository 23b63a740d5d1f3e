// Readers of what a client puts in a call: the names of GetIDsOfNames and the text of a method. A client
// may send anything the bus lets through (up to the bus's message limit), so each reader does a bounded
// amount of work whatever the message holds.
#include "com_bus.h"
#include "text.h"

namespace tavc::com::bus {

HResult read_ids_of_names(sd_bus_message* m, const InterfaceInfo& iface, std::vector<int32_t>& ids) {
    ids.clear();
    if (sd_bus_message_enter_container(m, 'a', "s") <= 0) return kInvalidArgument;
    bool all_known = true;
    const char* name = nullptr;
    int r = 0;
    // One name at a time, and no further than a call that could be answered.
    while ((r = sd_bus_message_read_basic(m, 's', &name)) > 0) {
        if (ids.size() == kMaxNamesPerCall) return kInvalidArgument;
        int32_t id = -1;  // DISPID_UNKNOWN
        for (const MethodInfo& info : iface.methods)
            if (text::iequal(info.name, name)) id = info.dispid;
        all_known = all_known && id != -1;
        ids.push_back(id);
    }
    if (r < 0 || sd_bus_message_exit_container(m) < 0) return kInvalidArgument;
    return all_known ? kOk : kUnknownName;
}

HResult read_text(sd_bus_message* m, std::u16string_view& text) {
    const void* units = nullptr;
    size_t size = 0;
    if (sd_bus_message_read_array(m, 'q', &units, &size) < 0) return kInvalidArgument;
    text = size == 0 ? std::u16string_view()
                     : std::u16string_view(static_cast<const char16_t*>(units), size / sizeof(char16_t));
    return kOk;
}

}  // namespace tavc::com::bus
