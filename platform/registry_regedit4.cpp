#include "registry.h"

#include <sys/stat.h>

#include <cerrno>

#include "export_guard.h"
#include "file_io.h"
#include "folders.h"
#include "regedit4_document.h"

namespace tavc::registry {
namespace {

// "" without a home folder: then no hive can be read or written.
std::string folder() {
    return folders::tavc_config_folder();
}

using file_io::make_folders;
using file_io::read_file;

std::string lock_file(Hive hive) {
    std::string file = hive_file(hive);
    return file.empty() ? std::string() : file + ".lock";
}

// The hive as it is now; none when its file cannot be read.
std::optional<Document> load(Hive hive) {
    if (folder().empty()) return std::nullopt;
    // Without a lock file (no folder yet, a read-only folder) the rename still keeps readers safe.
    auto held = file_io::lock_file(lock_file(hive), false, true);
    auto file = read_file(hive_file(hive));
    if (!file) return std::nullopt;
    return Document::parse(file->text, hive);
}

// Runs `edit` on the hive under the writers' lock and stores the result when `edit` changed it.
// `edit` returns none to refuse, else whether it changed anything.
template <typename Edit>
bool change(Hive hive, Edit edit) {
    std::string dir = folder();
    if (dir.empty()) return false;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 && errno == ENOENT) {
        Document empty = Document::parse("", hive);
        auto changed = edit(empty);
        if (!changed) return false;
        if (!*changed) return true;  // nothing to store: no folder made for it
    }
    if (!make_folders(dir)) return false;
    return file_io::edit_under_lock(hive_file(hive), lock_file(hive), [&](std::string& text) {
        Document doc = Document::parse(text, hive);
        auto changed = edit(doc);
        if (!changed) return file_io::Edited::refused();
        if (!*changed) return file_io::Edited::unchanged();
        return file_io::Edited::changed(doc.text());
    });
}

struct KeyText {
    KeyPath path;
    Document text;
};

std::optional<KeyText> load_key(Hive hive, std::string_view path) {
    auto parts = parse_key_path(path);
    if (!parts) return std::nullopt;
    auto doc = load(hive);
    if (!doc) return std::nullopt;
    return KeyText{std::move(*parts), std::move(*doc)};
}

bool apply_edits(Hive hive, std::span<const Edit> edits) {
    std::vector<ReadEdit> read;
    for (const Edit& edit : edits) {
        auto r = read_edit(edit);
        if (!r) return false;
        read.push_back(std::move(*r));
    }
    return change(hive, [&](Document& doc) -> std::optional<bool> {
        bool changed = false;
        for (const ReadEdit& edit : read) {
            auto c = doc.apply(edit);
            if (!c) return std::nullopt;
            changed |= *c;
        }
        return changed;
    });
}

}  // namespace

std::string hive_file(Hive hive) {
    std::string dir = folder();
    if (dir.empty()) return std::string();
    return dir + (hive == Hive::ClassesRoot ? "/classes.reg" : "/user.reg");
}

// The registry's callers include load-time code and C exports: nothing may throw out of here.
std::optional<Key> Key::open(Hive hive, std::string_view path, bool create) {
    return guarded(std::optional<Key>(), [&]() -> std::optional<Key> {
        auto parts = parse_key_path(path);
        if (!parts) return std::nullopt;
        auto doc = load(hive);
        if (!doc) return std::nullopt;
        if (!doc->has_key(*parts)) {
            if (!create) return std::nullopt;
            const Edit edit{Edit::Kind::CreateKey, std::string(path), {}, {}};
            if (!apply_edits(hive, {&edit, 1})) return std::nullopt;
        }
        return Key(hive, gbk_key_path(*parts));
    });
}

bool Key::has_value(std::string_view name) const {
    return guarded(false, [&] {
        auto key = load_key(hive_, path_);
        return key && key->text.has_value(key->path, name);
    });
}

std::optional<Value> Key::read(std::string_view name) const {
    return guarded(std::optional<Value>(), [&]() -> std::optional<Value> {
        auto key = load_key(hive_, path_);
        if (!key) return std::nullopt;
        return key->text.read(key->path, name);
    });
}

std::optional<uint32_t> Key::read_dword(std::string_view name) const {
    auto value = read(name);
    if (!value || value->type != ValueType::Dword) return std::nullopt;
    return value->dword;
}

std::optional<std::string> Key::read_string(std::string_view name) const {
    auto value = read(name);
    if (!value || value->type == ValueType::Dword) return std::nullopt;
    return std::move(value->text);
}

bool Key::write(std::string_view name, const Value& value) {
    return guarded(false, [&] {
        const Edit edit{Edit::Kind::Write, path_, std::string(name), value};
        return apply_edits(hive_, {&edit, 1});
    });
}

bool Key::write_string(std::string_view name, std::string_view gbk_text) {
    return write(name, Value{ValueType::String, std::string(gbk_text), 0});
}

bool Key::write_dword(std::string_view name, uint32_t value) {
    return write(name, Value{ValueType::Dword, {}, value});
}

bool Key::delete_value(std::string_view name) {
    return guarded(false, [&] {
        auto parts = parse_key_path(path_);
        if (!parts) return false;
        return change(hive_,
                      [&](Document& doc) -> std::optional<bool> { return doc.delete_value(*parts, name); });
    });
}

std::vector<std::string> Key::subkeys() const {
    return guarded(std::vector<std::string>(), [&] {
        auto key = load_key(hive_, path_);
        return key ? key->text.subkeys(key->path) : std::vector<std::string>();
    });
}

std::vector<std::string> Key::value_names() const {
    return guarded(std::vector<std::string>(), [&] {
        auto key = load_key(hive_, path_);
        return key ? key->text.value_names(key->path) : std::vector<std::string>();
    });
}

bool key_exists(Hive hive, std::string_view path) {
    return guarded(false, [&] {
        auto key = load_key(hive, path);
        return key && key->text.has_key(key->path);
    });
}

bool delete_key_tree(Hive hive, std::string_view path) {
    return guarded(false, [&] {
        const Edit edit{Edit::Kind::DeleteKeyTree, std::string(path), {}, {}};
        return apply_edits(hive, {&edit, 1});
    });
}

bool apply(Hive hive, std::span<const Edit> edits) {
    return guarded(false, [&] { return apply_edits(hive, edits); });
}

}  // namespace tavc::registry
