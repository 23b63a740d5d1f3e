// Arbitrary bytes as the arguments a client puts in a call to one of the agent's objects. The first byte
// picks the call; the rest is the names of GetIDsOfNames (split at each NUL; a name the bus would not
// carry, not being UTF-8, is left out) or the text of Execute (two bytes a UTF-16 unit, little-endian).
// The call is made as a message that sd-bus hands to the server, and what the readers give is checked
// against what went in.
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kel_typelib.h"
#include "linux/com_bus.h"
#include "text.h"

namespace {

namespace com = tavc::com;

// Messages are made on a connection of their own that never reaches a bus.
sd_bus* MessageFactory() {
    static sd_bus* bus = [] {
        int fds[2];
        sd_bus* b = nullptr;
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0 || sd_bus_new(&b) < 0 ||
            sd_bus_set_fd(b, fds[0], fds[0]) < 0 || sd_bus_start(b) < 0)
            __builtin_trap();
        return b;
    }();
    return bus;
}

sd_bus_message* NewCall(const char* interface, const char* member) {
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(MessageFactory(), &m,
                                       "tavc.com.Class_F56CF838AF794886B48D9DEB50718475",
                                       "/tavc/com/Object/1", interface, member) < 0)
        __builtin_trap();
    return m;
}

// Sealed and read from the start, as a received message is.
void Deliver(sd_bus_message* m) {
    if (sd_bus_message_seal(m, 1, 0) < 0 || sd_bus_message_rewind(m, 1) < 0) __builtin_trap();
}

void Names(std::string_view bytes) {
    sd_bus_message* m = NewCall(com::bus::kDispatchInterface, "GetIDsOfNames");
    if (sd_bus_message_open_container(m, 'a', "s") < 0) __builtin_trap();
    std::vector<std::string> names;
    for (size_t start = 0; start <= bytes.size();) {
        size_t end = bytes.find('\0', start);
        if (end == std::string_view::npos) end = bytes.size();
        std::string name(bytes.substr(start, end - start));
        if (sd_bus_message_append_basic(m, 's', name.c_str()) >= 0) names.push_back(std::move(name));
        start = end + 1;
    }
    if (sd_bus_message_close_container(m) < 0) __builtin_trap();
    Deliver(m);

    std::vector<int32_t> ids;
    const com::HResult hr = com::bus::read_ids_of_names(m, corvis::kIKel, ids);
    sd_bus_message_unref(m);
    if (ids.size() > com::kMaxNamesPerCall) __builtin_trap();
    if (names.size() > com::kMaxNamesPerCall) {
        if (hr != com::kInvalidArgument) __builtin_trap();
        return;
    }
    bool all_known = true;
    for (size_t i = 0; i < names.size(); ++i) {
        const bool known = tavc::text::iequal(names[i], "Execute");
        all_known = all_known && known;
        if (ids.size() != names.size() || ids[i] != (known ? 3 : -1)) __builtin_trap();
    }
    if (hr != (all_known ? com::kOk : com::kUnknownName)) __builtin_trap();
}

void Text(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                        static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    sd_bus_message* m = NewCall(com::interface_bus_name(corvis::kIKel).c_str(), "Execute");
    if (sd_bus_message_append_array(m, 'q', text.data(), text.size() * sizeof(char16_t)) < 0)
        __builtin_trap();
    Deliver(m);

    std::u16string_view read;
    if (com::bus::read_text(m, read) != com::kOk || read != text) __builtin_trap();
    sd_bus_message_unref(m);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 1) == 0)
        Names(rest);
    else
        Text(rest);
    return 0;
}
