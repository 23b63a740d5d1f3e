#include "message_box.h"

#include <systemd/sd-bus.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codepage.h"

namespace tavc::message_box {
namespace {

// The charset the user's locale names, judged from the environment: a library must not call setlocale.
bool locale_is_gbk() {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* v = std::getenv(var);
        if (v == nullptr || *v == '\0') continue;
        std::string s(v);
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s.find("gbk") != std::string::npos || s.find("gb2312") != std::string::npos ||
               s.find("gb18030") != std::string::npos || s.find("cp936") != std::string::npos;
    }
    return false;
}

void notify(const std::string& utf8_text) {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr && std::getenv("XDG_RUNTIME_DIR") == nullptr)
        return;
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return;
    sd_bus_message* m = nullptr;
    sd_bus_message* reply = nullptr;
    if (sd_bus_message_new_method_call(bus, &m, "org.freedesktop.Notifications",
                                       "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                       "Notify") >= 0 &&
        sd_bus_message_append(m, "susss", "TAV-C", 0u, "dialog-error", "TAV-C", utf8_text.c_str()) >= 0 &&
        sd_bus_message_append(m, "as", 0) >= 0 && sd_bus_message_append(m, "a{sv}", 0) >= 0 &&
        sd_bus_message_append(m, "i", -1) >= 0) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_call(bus, m, 500 * 1000, &error, &reply);
        sd_bus_error_free(&error);
    }
    sd_bus_message_unref(reply);
    sd_bus_message_unref(m);
    sd_bus_flush_close_unref(bus);
}

}  // namespace

void show(std::string_view gbk_text) {
    std::string utf8 = codepage::utf8_from_gbk(gbk_text);
    const std::string& shown = locale_is_gbk() ? std::string(gbk_text) : utf8;
    std::fprintf(stderr, "%s\n", shown.c_str());
    std::fflush(stderr);
    notify(utf8);
}

}  // namespace tavc::message_box
