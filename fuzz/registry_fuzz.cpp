// Reads arbitrary bytes as the user hive's text, then writes a value into it: nothing may crash, the
// write must succeed and read back, and every value that was readable before must read the same after.
// The text model is fed directly; each step reads the text afresh and each change writes it out, as the
// registry does with the hive's file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "regedit4_document.h"

namespace {

using tavc::registry::Document;
using tavc::registry::Edit;
using tavc::registry::Hive;
using tavc::registry::KeyPath;
using tavc::registry::Value;
using tavc::registry::ValueType;

bool is_probe_name(const std::string& name) {
    if (name.size() != 5) return false;
    for (size_t i = 0; i < 5; ++i)
        if ((name[i] | 0x20) != "probe"[i]) return false;
    return true;
}

// The hive's text as its file would hold it.
class HiveFile {
  public:
    explicit HiveFile(std::string text) : text_(std::move(text)) {}

    Document read() const { return Document::parse(text_, Hive::CurrentUser); }

    // As registry::apply with the one edit: false when it is refused.
    bool change(const Edit& edit) {
        auto read_one = tavc::registry::read_edit(edit);
        if (!read_one) return false;
        Document doc = read();
        auto changed = doc.apply(*read_one);
        if (!changed) return false;
        if (*changed) text_ = doc.text();
        return true;
    }

    void delete_value(const KeyPath& path, std::string_view name) {
        Document doc = read();
        if (doc.delete_value(path, name)) text_ = doc.text();
    }

  private:
    std::string text_;
};

}  // namespace

#define CHECK(condition)                                                                \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "registry_fuzz: %s fails for %s\n", #condition, path); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HiveFile file(std::string(reinterpret_cast<const char*>(data), size));
    for (const char* path : {"K", "Software\\TAVC\\Settings", ""}) {
        auto key = tavc::registry::parse_key_path(path);
        CHECK(key.has_value());
        // Opened with create, as Key::open(path, true).
        CHECK(file.read().has_key(*key) || file.change(Edit{Edit::Kind::CreateKey, path, {}, {}}));
        CHECK(file.read().has_key(*key));
        std::vector<std::pair<std::string, std::optional<Value>>> before;
        for (const std::string& name : file.read().value_names(*key))
            if (!is_probe_name(name)) before.emplace_back(name, file.read().read(*key, name));
        file.read().subkeys(*key);
        auto write_probe = [&](const std::string& text) {
            return file.change(Edit{Edit::Kind::Write, path, "probe", Value{ValueType::String, text, 0}});
        };
        auto probe = [&]() -> std::optional<std::string> {
            auto value = file.read().read(*key, "probe");
            if (!value || value->type == ValueType::Dword) return std::nullopt;
            return value->text;
        };
        CHECK(write_probe("x\\\"y"));
        CHECK(probe() == "x\\\"y");
        CHECK(write_probe("x\r\n[y]"));  // stored as bytes, on one line
        CHECK(probe() == "x\r\n[y]");
        for (const auto& [name, value] : before) CHECK(file.read().read(*key, name) == value);
        file.delete_value(*key, "probe");
        CHECK(!file.read().has_value(*key, "probe"));
        for (const auto& [name, value] : before) CHECK(file.read().read(*key, name) == value);
    }
    return 0;
}
