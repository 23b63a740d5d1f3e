// Reads arbitrary bytes as the hot-key file: nothing may crash or allocate beyond the file's size, every
// failure is one of the reader's own errors, and every record read converts to a key the component knows.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "handler_error.h"
#include "hkutils.h"

namespace {

std::string g_folder;
std::string g_path;

}  // namespace

#define CHECK(condition)                                                      \
    do {                                                                      \
        if (!(condition)) {                                                   \
            std::fprintf(stderr, "hotkey_file_fuzz: %s fails\n", #condition); \
            std::abort();                                                     \
        }                                                                     \
    } while (0)

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string templ = base + "/hotkey_file_fuzz.XXXXXX";
    if (!mkdtemp(templ.data())) std::abort();
    g_folder = templ;
    g_path = g_folder + "/tavcclt.hkd";
    std::atexit([] { std::filesystem::remove_all(g_folder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::ofstream(g_path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    using namespace tavc::assistant;
    THotKeyList list;
    std::string error;
    try {
        LoadHotKeyFile(list, g_path);
    } catch (const HandlerError& e) {
        error = e.what();
    }
    CHECK(error.empty() || error == "Invalid property value" || error == "Stream read error");
    // Each record takes at least ten bytes of the file.
    CHECK(list.size() * 10 <= size);
    for (const auto& record : list) {
        CHECK(record->Kind == 0 || record->Command.empty());
        CHECK(record->Name.size() + record->Command.size() <= size * 3);
        CHECK(VirtualKeyOf(HotKeyIndexToKey(record->KeyIndex)) <= 0x91);
        CHECK(HotKeyModifiers(*record) <= 0x0F);
    }
    return 0;
}
