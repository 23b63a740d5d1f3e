// The registry, kept as one REGEDIT4 text file per hive under $XDG_CONFIG_HOME/tavc/:
// user.reg (HKEY_CURRENT_USER) and classes.reg (HKEY_CLASSES_ROOT).
//
// Key paths are written with backslashes and without the hive ("Software\\TAVC\\Settings"; leading and
// trailing backslashes are ignored, the empty path is the hive itself). Key and value names compare
// without regard to case (ASCII letters); stored names keep their spelling. The empty value name is the
// key's default value ("@").
// Names and texts cross this interface in code page 936 (GBK) and are stored as UTF-8.
// Every call reads the file afresh; every change rewrites the whole file under an advisory lock and
// replaces it by rename, so a second process writing at the same time neither loses its change nor ours.
// Values of other types and lines this layer cannot read are kept in their place, word for word; only the
// layout around them is the writer's own: LF line ends (the CR before a line end is dropped), a first line
// "REGEDIT4" (a byte-order mark is dropped), and one blank line before each key line and at the end (the
// blank lines before the first key line and at the end of a key are not kept). No call throws.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavc::registry {

enum class Hive { CurrentUser, ClassesRoot };

enum class ValueType { String, ExpandString, Dword };

struct Value {
    ValueType type = ValueType::String;
    std::string text;    // String and ExpandString: GBK text (an ExpandString is never expanded)
    uint32_t dword = 0;  // Dword

    bool operator==(const Value&) const = default;
};

// Path of the file that holds `hive` (for tests and diagnostics).
std::string hive_file(Hive hive);

class Key {
  public:
    // Opens an existing key; with `create`, creates it and its missing parents first.
    // None when the key does not exist (and is not to be created) or the file cannot be read or written.
    static std::optional<Key> open(Hive hive, std::string_view path, bool create);

    Hive hive() const { return hive_; }
    // As opened, without leading or trailing backslashes.
    const std::string& path() const { return path_; }

    // Also true for a value of a type this layer does not read.
    bool has_value(std::string_view name) const;
    // None when missing, of another type than the three, or unreadable.
    std::optional<Value> read(std::string_view name) const;
    // A 32-bit value; none when missing or of another type.
    std::optional<uint32_t> read_dword(std::string_view name) const;
    // A String or ExpandString value; none when missing or of another type.
    std::optional<std::string> read_string(std::string_view name) const;

    // Each write creates the key again if another process removed it meanwhile. False on a file failure,
    // for a name with a line break or NUL, and for a text with a NUL. A String text with a line break is
    // stored as its bytes (hex(1):) and reads back the same.
    bool write(std::string_view name, const Value& value);
    bool write_string(std::string_view name, std::string_view gbk_text);
    bool write_dword(std::string_view name, uint32_t value);
    // True when the value is gone afterwards (also when it never existed).
    bool delete_value(std::string_view name);

    // Names of the direct subkeys and of the values, in file order (GBK).
    std::vector<std::string> subkeys() const;
    std::vector<std::string> value_names() const;

  private:
    Key(Hive hive, std::string path) : hive_(hive), path_(std::move(path)) {}
    Hive hive_;
    std::string path_;
};

bool key_exists(Hive hive, std::string_view path);

// Deletes the key with all its subkeys and values. True when it is gone afterwards; false for the hive
// itself (the empty path).
bool delete_key_tree(Hive hive, std::string_view path);

// One change for apply(), with the rules of the call it is named after.
struct Edit {
    enum class Kind {
        DeleteKeyTree,  // delete_key_tree(path)
        CreateKey,      // Key::open(path, true)
        Write,          // Key::write(name, value) on the key at path
    };
    Kind kind = Kind::CreateKey;
    std::string path;  // GBK
    std::string name;  // Write: the value name (GBK)
    Value value;       // Write
};

// Makes the edits in order as one replacement of the hive's file, so that a reader sees the file as it
// was or with every edit made, never in between. False, with the file left as it was, when any edit
// would be refused on its own or the file cannot be read or replaced.
bool apply(Hive hive, std::span<const Edit> edits);

}  // namespace tavc::registry
