// Reads arbitrary bytes as the user hive's file, then writes a value into it: nothing may crash, the
// write must succeed and read back, and every value that was readable before must read the same after.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "folders.h"
#include "registry.h"

namespace {

using tavc::registry::Hive;
using tavc::registry::Key;
using tavc::registry::Value;

std::string g_root;

bool is_probe_name(const std::string& name) {
    if (name.size() != 5) return false;
    for (size_t i = 0; i < 5; ++i)
        if ((name[i] | 0x20) != "probe"[i]) return false;
    return true;
}

}  // namespace

#define CHECK(condition)                                                                \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "registry_fuzz: %s fails for %s\n", #condition, path); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // tmpfs where there is one: every change is synced to the disk.
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string templ = base + "/registry_fuzz.XXXXXX";
    if (!mkdtemp(templ.data())) std::abort();
    g_root = templ;
    setenv("XDG_CONFIG_HOME", g_root.c_str(), 1);
    std::filesystem::create_directories(tavc::folders::tavc_config_folder());
    std::atexit([] { std::filesystem::remove_all(g_root); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::ofstream(tavc::registry::hive_file(Hive::CurrentUser), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    for (const char* path : {"K", "Software\\TAVC\\Settings", ""}) {
        auto key = Key::open(Hive::CurrentUser, path, true);
        CHECK(key.has_value());
        std::vector<std::pair<std::string, std::optional<Value>>> before;
        for (const std::string& name : key->value_names())
            if (!is_probe_name(name)) before.emplace_back(name, key->read(name));
        key->subkeys();
        CHECK(key->write_string("probe", "x\\\"y"));
        CHECK(key->read_string("probe") == "x\\\"y");
        CHECK(key->write_string("probe", "x\r\n[y]"));  // stored as bytes, on one line
        CHECK(key->read_string("probe") == "x\r\n[y]");
        for (const auto& [name, value] : before) CHECK(key->read(name) == value);
        CHECK(key->delete_value("probe") && !key->has_value("probe"));
        for (const auto& [name, value] : before) CHECK(key->read(name) == value);
    }
    return 0;
}
