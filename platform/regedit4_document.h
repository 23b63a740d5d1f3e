// A hive's REGEDIT4 text, as the registry reads and edits it: parsed, looked up, edited and written
// out again, with no file behind it. The registry (registry_regedit4.cpp) reads, locks and replaces the
// files; the rules of the text are those registry.h states. Names and texts are GBK here too.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry.h"

namespace tavc::registry {

// A key path's components, in UTF-8 as the text stores them; empty for the hive itself.
using KeyPath = std::vector<std::string>;

// GBK key path to its components; "\Software\TAVC\" is taken as "Software\TAVC". None when malformed.
std::optional<KeyPath> parse_key_path(std::string_view gbk);
// The components joined with backslashes, in GBK.
std::string gbk_key_path(const KeyPath& path);

// An edit with its names read, as it runs on a document.
struct ReadEdit {
    Edit::Kind kind;
    KeyPath path;
    std::string name;  // Write: UTF-8
    const Value* value = nullptr;
};

// None for an edit that is refused whatever the text holds; `edit` must outlive the result.
std::optional<ReadEdit> read_edit(const Edit& edit);

class Document {
  public:
    // Any text is read: what this layer cannot read is carried along word for word.
    static Document parse(std::string_view text, Hive hive);
    // The text as the registry writes it out.
    std::string text() const;

    bool has_key(const KeyPath& path) const;
    // Also true for a value of a type this layer does not read.
    bool has_value(const KeyPath& path, std::string_view name) const;
    // None when missing, of another type than the three, or unreadable.
    std::optional<Value> read(const KeyPath& path, std::string_view name) const;
    // Names of the direct subkeys and of the values, in text order, each once.
    std::vector<std::string> subkeys(const KeyPath& path) const;
    std::vector<std::string> value_names(const KeyPath& path) const;

    // Makes the edit with the rules of the call it is named after: none when it is refused (the document
    // may then be changed in part, and is not to be stored), else whether the text changed.
    std::optional<bool> apply(const ReadEdit& edit);
    // Removes every value of the name from the key; whether there was one.
    bool delete_value(const KeyPath& path, std::string_view name);

    // A value, or a run of lines that are none: a run is kept as one text with its line ends inside, so
    // that a mass of blank or unreadable lines costs little more than its bytes.
    struct Line {
        bool is_value = false;
        std::string name;              // value name (UTF-8), "" for the default value
        std::vector<std::string> raw;  // as stored, continuation lines included; written back unchanged
    };

    struct Section {
        std::string header;  // the key line as stored
        bool ours = false;   // a well-formed key of this hive; other sections are only carried along
        KeyPath path;
        std::vector<Line> lines;
    };

  private:
    explicit Document(Hive hive) : hive_(hive) {}

    Hive hive_;
    std::vector<std::string> preamble_;  // lines before the first key line
    std::vector<Section> sections_;
};

}  // namespace tavc::registry
