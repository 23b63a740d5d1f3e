#include "registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "codepage.h"
#include "export_guard.h"
#include "file_io.h"
#include "folders.h"
#include "text.h"

namespace tavc::registry {
namespace {

using Path = std::vector<std::string>;  // key path components, UTF-8

// ---- names ----

using text::ascii_lower;
using text::iequal;
using text::istarts_with;

bool has_prefix(const Path& path, const Path& prefix) {
    if (path.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (!iequal(path[i], prefix[i])) return false;
    return true;
}

bool same_path(const Path& a, const Path& b) {
    return a.size() == b.size() && has_prefix(a, b);
}

// A line break would end the line early and let the rest be read as a key or value of its own.
bool fits_on_a_line(std::string_view utf8) {
    return utf8.find_first_of(std::string_view("\0\r\n", 3)) == utf8.npos;
}

const char* hive_name(Hive hive) {
    return hive == Hive::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

// GBK key path to its components; "\Software\TAVC\" is taken as "Software\TAVC". None when malformed.
// Split after the conversion: a GBK trail byte may be 0x5C, the backslash.
std::optional<Path> parse_path(std::string_view gbk) {
    std::string utf8 = codepage::utf8_from_gbk(gbk);
    std::string_view s = utf8;
    while (!s.empty() && s.front() == '\\') s.remove_prefix(1);
    while (!s.empty() && s.back() == '\\') s.remove_suffix(1);
    Path path;
    while (!s.empty()) {
        size_t cut = s.find('\\');
        std::string_view part = s.substr(0, cut);
        if (part.empty() || !fits_on_a_line(part)) return std::nullopt;
        path.emplace_back(part);
        s = cut == s.npos ? std::string_view() : s.substr(cut + 1);
    }
    return path;
}

std::string gbk_path(const Path& path) {
    std::string utf8;
    for (const std::string& part : path) utf8 += (utf8.empty() ? "" : "\\") + part;
    return codepage::gbk_from_utf8(utf8);
}

// ---- the file as text ----

// A stray CR counts as a blank too: written back before a LF it would otherwise turn into a line end
// and change what the line means on the next reading.
std::string_view trim(std::string_view s) {
    return text::trim(s, " \t\r");
}

// A value, or a run of lines that are none: a run is kept as one text with its line ends inside, so that
// a mass of blank or unreadable lines costs little more than its bytes.
struct Line {
    bool is_value = false;
    std::string name;              // value name (UTF-8), "" for the default value
    std::vector<std::string> raw;  // as stored, continuation lines included; written back unchanged
};

std::string_view first_line(std::string_view run) {
    return run.substr(0, run.find('\n'));
}

void add_to_run(std::string& run, std::string_view line) {
    run += '\n';
    run += line;
}

struct Section {
    std::string header;  // the key line as stored
    bool ours = false;   // a well-formed key of this hive; other sections are only carried along
    Path path;
    std::vector<Line> lines;
};

struct HiveText {
    std::vector<std::string> preamble;  // lines before the first key line
    std::vector<Section> sections;
};

// Reads a quoted text starting at s[pos] == '"'; on success pos is just past the closing quote.
// Only \\ and \" are escapes; a backslash before any other character stands for itself.
std::optional<std::string> unquote(std::string_view s, size_t& pos) {
    std::string out;
    for (size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == '"') {
            pos = i + 1;
            return out;
        }
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) ++i;
        out += s[i];
    }
    return std::nullopt;
}

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The value name of a line `"name"=...` or `@=...`, and where its data starts.
std::optional<std::string> value_name(std::string_view line, size_t& data_start) {
    std::string name;
    size_t pos = 0;
    if (line.empty()) return std::nullopt;
    if (line[0] == '@') {
        pos = 1;
    } else if (line[0] == '"') {
        auto n = unquote(line, pos);
        if (!n) return std::nullopt;
        name = std::move(*n);
    } else {
        return std::nullopt;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    data_start = pos + 1;
    return name;
}

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (ascii_lower(c) >= 'a' && ascii_lower(c) <= 'f');
}

bool is_hex_value(std::string_view first_line) {
    size_t data = 0;
    std::string_view t = trim(first_line);
    return value_name(t, data) && istarts_with(trim(t.substr(data)), "hex");
}

// A continuation of a wrapped hex value holds nothing but hex bytes, commas and blanks.
bool is_hex_continuation(std::string_view line) {
    std::string_view t = trim(line);
    if (t.empty()) return false;
    for (char c : t)
        if (!is_hex_digit(c) && c != ',' && c != ' ' && c != '\t' && c != '\\') return false;
    return true;
}

bool ends_in_backslash(std::string_view line) {
    std::string_view t = trim(line);
    return !t.empty() && t.back() == '\\';
}

std::optional<Section> parse_header(std::string_view line, Hive hive) {
    std::string_view t = trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
    Section section;
    section.header = std::string(line);
    std::string_view inner = t.substr(1, t.size() - 2);
    size_t cut = inner.find('\\');
    if (!iequal(inner.substr(0, cut), hive_name(hive))) return section;  // another hive: carried along
    section.ours = true;
    while (cut != inner.npos) {
        size_t next = inner.find('\\', cut + 1);
        std::string_view part = inner.substr(cut + 1, next == inner.npos ? inner.npos : next - cut - 1);
        if (part.empty()) {  // two backslashes in a row, or one at the end: no key a caller could name
            section.ours = false;
            section.path.clear();
            break;
        }
        section.path.emplace_back(part);
        cut = next;
    }
    return section;
}

void drop_trailing_blanks(Section& section) {
    while (!section.lines.empty() && !section.lines.back().is_value) {
        std::string& run = section.lines.back().raw[0];
        size_t last = run.find_last_not_of(" \t\r\n");
        if (last != run.npos) {
            run.resize(
                std::min(run.find('\n', last), run.size()));  // up to the end of its last line with text
            return;
        }
        section.lines.pop_back();
    }
}

// The line that starts at `at` without its line end, and where the next one starts.
std::string_view line_at(std::string_view text, size_t at, size_t& next) {
    size_t cut = text.find('\n', at);
    next = cut == text.npos ? text.size() : cut + 1;
    std::string_view line = text.substr(at, (cut == text.npos ? text.size() : cut) - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

HiveText parse(std::string_view text, Hive hive) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t at = 0, next = 0;
    while (at < text.size() && trim(line_at(text, at, next)).empty()) at = next;
    if (at < text.size() && trim(line_at(text, at, next)) == "REGEDIT4") at = next;

    HiveText hive_text;
    Section* section = nullptr;
    for (; at < text.size(); at = next) {
        // Empty lines that add to a run are taken in at once, so a mass of them costs a copy.
        if (text[at] == '\n' && section && !section->lines.empty() && !section->lines.back().is_value) {
            next = std::min(text.find_first_not_of('\n', at), text.size());
            section->lines.back().raw[0].append(next - at, '\n');
            continue;
        }
        std::string_view raw = line_at(text, at, next);
        std::string_view t = trim(raw);
        // Blank lines inside a key are kept (one ends a wrapped value); the writer puts its own
        // blank line after each key, so those at the end are layout only.
        if (t.empty() && !section) continue;
        if (auto header = parse_header(raw, hive)) {
            if (section) drop_trailing_blanks(*section);
            hive_text.sections.push_back(std::move(*header));
            section = &hive_text.sections.back();
            continue;
        }
        size_t data = 0;
        std::optional<std::string> name;
        if (section && section->ours) name = value_name(t, data);
        if (!name) {
            if (!section && !hive_text.preamble.empty()) {
                add_to_run(hive_text.preamble.back(), raw);
            } else if (!section) {
                hive_text.preamble.emplace_back(raw);
            } else if (!section->lines.empty() && !section->lines.back().is_value) {
                add_to_run(section->lines.back().raw[0], raw);
            } else {
                section->lines.push_back(Line{false, {}, {std::string(raw)}});
            }
            continue;
        }
        Line line{true, std::move(*name), {std::string(raw)}};
        if (is_hex_value(t)) {
            size_t after = 0;
            while (ends_in_backslash(line.raw.back()) && next < text.size() &&
                   is_hex_continuation(line_at(text, next, after))) {
                line.raw.emplace_back(line_at(text, next, after));
                next = after;
            }
        }
        section->lines.push_back(std::move(line));
    }
    if (section) drop_trailing_blanks(*section);
    return hive_text;
}

std::string serialize(const HiveText& hive_text) {
    std::string out = "REGEDIT4\n";
    for (const std::string& line : hive_text.preamble) out.append(line).append("\n");
    out += "\n";
    for (const Section& section : hive_text.sections) {
        out.append(section.header).append("\n");
        for (const Line& line : section.lines)
            for (const std::string& raw : line.raw) out.append(raw).append("\n");
        out += "\n";
    }
    return out;
}

// ---- values ----

std::optional<uint32_t> parse_dword(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : digits) {
        if (!is_hex_digit(c)) return std::nullopt;
        v = v * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : ascii_lower(c) - 'a' + 10);
    }
    return v;
}

std::optional<std::string> parse_hex_bytes(std::string_view list) {
    std::string bytes;
    list = trim(list);
    while (!list.empty()) {
        size_t cut = list.find(',');
        std::string_view byte = trim(list.substr(0, cut));
        if (byte.size() > 2) return std::nullopt;
        auto v = parse_dword(byte);
        if (!v) return std::nullopt;
        bytes += static_cast<char>(*v);
        if (cut == list.npos) break;
        list = list.substr(cut + 1);
        if (trim(list).empty()) return std::nullopt;  // a trailing comma: the value was cut short
    }
    return bytes;
}

// The data of a value line (after '='), continuation lines joined.
std::string joined_data(const Line& line) {
    size_t data = 0;
    std::string_view first = trim(line.raw[0]);
    value_name(first, data);
    std::string out(first.substr(data));
    for (size_t i = 1; i < line.raw.size(); ++i) {
        std::string_view t = trim(out);
        if (!t.empty() && t.back() == '\\') out.resize(t.data() + t.size() - 1 - out.data());
        out += trim(line.raw[i]);
    }
    return out;
}

// The value a line holds; none for a type this layer does not know or data it cannot read.
std::optional<Value> decode(const Line& line) {
    std::string data = joined_data(line);
    std::string_view t = trim(data);
    Value value;
    if (!t.empty() && t[0] == '"') {
        size_t end = 0;
        auto text = unquote(t, end);
        if (!text || !trim(t.substr(end)).empty()) return std::nullopt;
        value.type = ValueType::String;
        value.text = codepage::gbk_from_utf8(*text);
    } else if (istarts_with(t, "dword:")) {
        auto v = parse_dword(t.substr(6));
        if (!v) return std::nullopt;
        value.type = ValueType::Dword;
        value.dword = *v;
    } else if (bool plain = istarts_with(t, "hex(1):"); plain || istarts_with(t, "hex(2):")) {
        auto bytes = parse_hex_bytes(t.substr(7));
        if (!bytes) return std::nullopt;
        value.type = plain ? ValueType::String : ValueType::ExpandString;
        value.text = codepage::gbk_from_utf8(bytes->substr(0, bytes->find('\0')));
    } else {
        return std::nullopt;
    }
    return value;
}

// A text as its bytes and the terminating NUL (`type` is "hex(1):" or "hex(2):"), so that line breaks
// stay inside the line; none for a NUL in the text, which would cut it short on reading.
std::optional<std::string> hex_text(std::string line, const char* type, std::string_view utf8) {
    if (utf8.find('\0') != utf8.npos) return std::nullopt;
    line += type;
    char byte[4];
    for (unsigned char c : utf8) {
        std::snprintf(byte, sizeof byte, "%02x,", c);
        line += byte;
    }
    return line + "00";
}

// The stored line for a value; none when it cannot be stored faithfully.
std::optional<std::string> encode(const std::string& name, const Value& value) {
    std::string line = name.empty() ? "@=" : quote(name) + "=";
    switch (value.type) {
        case ValueType::String: {
            // Texts that fit stay quoted: stored files and other readers expect them so.
            std::string utf8 = codepage::utf8_from_gbk(value.text);
            if (!fits_on_a_line(utf8)) return hex_text(std::move(line), "hex(1):", utf8);
            return line + quote(utf8);
        }
        case ValueType::Dword: {
            char digits[9];
            std::snprintf(digits, sizeof digits, "%08x", value.dword);
            return line + "dword:" + digits;
        }
        case ValueType::ExpandString:
            return hex_text(std::move(line), "hex(2):", codepage::utf8_from_gbk(value.text));
    }
    return std::nullopt;
}

// Removes the value lines that `drop` picks. A wrapped value cut short (its last line ends in a
// backslash) must not take the line after a removed one as its continuation on the next reading.
template <typename Drop>
bool erase_values(Section& section, Drop drop) {
    std::vector<Line> kept;
    bool removed = false, gap = false;
    for (Line& line : section.lines) {
        if (line.is_value && drop(line)) {
            removed = gap = true;
            continue;
        }
        if (gap && !kept.empty() && kept.back().is_value && is_hex_value(kept.back().raw[0]) &&
            ends_in_backslash(kept.back().raw.back()) && is_hex_continuation(first_line(line.raw[0])))
            kept.push_back(Line{false, {}, {""}});
        gap = false;
        kept.push_back(std::move(line));
    }
    section.lines = std::move(kept);
    return removed;
}

// ---- keys in the text ----

bool key_in(const HiveText& hive_text, const Path& path) {
    if (path.empty()) return true;  // the hive itself
    for (const Section& s : hive_text.sections)
        if (s.ours && has_prefix(s.path, path)) return true;  // a key line for a subkey implies its parents
    return false;
}

// Calls `body` with each key line of `path`: a hand-edited file may hold one key twice.
template <typename Text, typename Body>
void for_each_section(Text& hive_text, const Path& path, Body body) {
    for (auto& s : hive_text.sections)
        if (s.ours && same_path(s.path, path)) body(s);
}

template <typename Text>
auto* find_value(Text& hive_text, const Path& path, std::string_view name) {
    decltype(&hive_text.sections[0].lines[0]) found = nullptr;  // the last one wins, as on importing
    for_each_section(hive_text, path, [&](auto& s) {
        for (auto& line : s.lines)
            if (line.is_value && iequal(line.name, name)) found = &line;
    });
    return found;
}

// `path` with the spelling already stored for each component that exists.
Path stored_spelling(const HiveText& hive_text, Path path) {
    for (size_t i = 0; i < path.size(); ++i) {
        Path prefix(path.begin(), path.begin() + static_cast<ptrdiff_t>(i + 1));
        for (const Section& s : hive_text.sections) {
            if (s.ours && has_prefix(s.path, prefix)) {
                path[i] = s.path[i];
                break;
            }
        }
    }
    return path;
}

Section* last_section(HiveText& hive_text, const Path& path) {
    Section* found = nullptr;
    for_each_section(hive_text, path, [&](Section& s) { found = &s; });
    return found;
}

// The section that new values of the key go into. A key without a key line of its own gets one, and
// so does each of its parents, so that they outlive a deleted subkey.
Section& ensure_key(HiveText& hive_text, Hive hive, const Path& path, bool& changed) {
    if (Section* s = last_section(hive_text, path)) return *s;
    Path spelled = stored_spelling(hive_text, path);
    for (size_t n = path.empty() ? 0 : 1; n <= path.size(); ++n) {
        Path prefix(spelled.begin(), spelled.begin() + static_cast<ptrdiff_t>(n));
        if (last_section(hive_text, prefix)) continue;
        Section s;
        s.header = std::string("[") + hive_name(hive);
        for (const std::string& part : prefix) s.header += "\\" + part;
        s.header += "]";
        s.ours = true;
        s.path = prefix;
        hive_text.sections.push_back(std::move(s));
        changed = true;
    }
    return *last_section(hive_text, path);
}

// ---- files ----

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
std::optional<HiveText> load(Hive hive) {
    if (folder().empty()) return std::nullopt;
    // Without a lock file (no folder yet, a read-only folder) the rename still keeps readers safe.
    auto held = file_io::lock_file(lock_file(hive), false, true);
    auto file = read_file(hive_file(hive));
    if (!file) return std::nullopt;
    return parse(file->text, hive);
}

// Runs `edit` on the hive under the writers' lock and stores the result when `edit` changed it.
// `edit` returns none to refuse, else whether it changed anything.
template <typename Edit>
bool change(Hive hive, Edit edit) {
    std::string dir = folder();
    if (dir.empty()) return false;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 && errno == ENOENT) {
        HiveText empty;
        auto changed = edit(empty);
        if (!changed) return false;
        if (!*changed) return true;  // nothing to store: no folder made for it
    }
    if (!make_folders(dir)) return false;
    // The data file is replaced on every change, so the writers meet on a file that stays.
    auto held = file_io::lock_file(lock_file(hive), true, true);
    if (!held) return false;
    std::string path = hive_file(hive);
    auto file = read_file(path);
    if (!file) return false;
    HiveText hive_text = parse(file->text, hive);
    auto changed = edit(hive_text);
    if (!changed) return false;
    if (!*changed) return true;
    return file_io::replace_file(path, serialize(hive_text), file->mode);
}

// Names once each (compared without case), in the order first met; handed out in GBK.
class NameList {
  public:
    void add(const std::string& utf8) {
        for (const std::string& name : utf8_)
            if (iequal(name, utf8)) return;
        utf8_.push_back(utf8);
    }
    std::vector<std::string> gbk() const {
        std::vector<std::string> out;
        for (const std::string& name : utf8_) out.push_back(codepage::gbk_from_utf8(name));
        return out;
    }

  private:
    std::vector<std::string> utf8_;
};

struct KeyText {
    Path path;
    HiveText text;
};

std::optional<KeyText> load_key(Hive hive, std::string_view path) {
    auto parts = parse_path(path);
    if (!parts) return std::nullopt;
    auto hive_text = load(hive);
    if (!hive_text) return std::nullopt;
    return KeyText{std::move(*parts), std::move(*hive_text)};
}

// An edit with its names read, as it runs on the text.
struct ReadEdit {
    Edit::Kind kind;
    Path path;
    std::string name;  // Write: UTF-8
    const Value* value = nullptr;
};

// None for an edit that is refused whatever the file holds.
std::optional<ReadEdit> read_edit(const Edit& edit) {
    auto parts = parse_path(edit.path);
    if (!parts) return std::nullopt;
    ReadEdit read{edit.kind, std::move(*parts), {}, &edit.value};
    if (edit.kind == Edit::Kind::DeleteKeyTree && read.path.empty()) return std::nullopt;  // the hive itself
    if (edit.kind == Edit::Kind::Write) {
        read.name = codepage::utf8_from_gbk(edit.name);
        if (!fits_on_a_line(read.name) || !encode(read.name, edit.value)) return std::nullopt;
    }
    return read;
}

// None to refuse, else whether the edit changed the text.
std::optional<bool> run_edit(HiveText& t, Hive hive, const ReadEdit& edit) {
    bool changed = false;
    switch (edit.kind) {
        case Edit::Kind::CreateKey:
            ensure_key(t, hive, edit.path, changed);
            return changed;
        case Edit::Kind::DeleteKeyTree: {
            Path parent = stored_spelling(t, Path(edit.path.begin(), edit.path.end() - 1));
            changed = std::erase_if(t.sections, [&](const Section& s) {
                          return s.ours && has_prefix(s.path, edit.path);
                      }) > 0;
            if (changed && !parent.empty()) ensure_key(t, hive, parent, changed);
            return changed;
        }
        case Edit::Kind::Write: {
            Section& target = ensure_key(t, hive, edit.path, changed);
            // The last copy of the name is the one readers see; it takes the new value, the others go.
            Line* kept = find_value(t, edit.path, edit.name);
            auto text = encode(kept ? kept->name : edit.name, *edit.value);
            if (!text) return std::nullopt;
            if (!kept) {
                target.lines.push_back(Line{true, edit.name, {*text}});
                return true;
            }
            if (kept->raw != std::vector<std::string>{*text}) {
                kept->raw = {*text};
                changed = true;
            }
            for_each_section(t, edit.path, [&](Section& s) {
                changed |= erase_values(
                    s, [&](const Line& line) { return &line != kept && iequal(line.name, edit.name); });
            });
            return changed;
        }
    }
    return std::nullopt;
}

bool apply_edits(Hive hive, std::span<const Edit> edits) {
    std::vector<ReadEdit> read;
    for (const Edit& edit : edits) {
        auto r = read_edit(edit);
        if (!r) return false;
        read.push_back(std::move(*r));
    }
    return change(hive, [&](HiveText& t) -> std::optional<bool> {
        bool changed = false;
        for (const ReadEdit& edit : read) {
            auto c = run_edit(t, hive, edit);
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
        auto parts = parse_path(path);
        if (!parts) return std::nullopt;
        auto hive_text = load(hive);
        if (!hive_text) return std::nullopt;
        if (!key_in(*hive_text, *parts)) {
            if (!create) return std::nullopt;
            const Edit edit{Edit::Kind::CreateKey, std::string(path), {}, {}};
            if (!apply_edits(hive, {&edit, 1})) return std::nullopt;
        }
        return Key(hive, gbk_path(*parts));
    });
}

bool Key::has_value(std::string_view name) const {
    return guarded(false, [&] {
        auto key = load_key(hive_, path_);
        return key && find_value(key->text, key->path, codepage::utf8_from_gbk(name)) != nullptr;
    });
}

std::optional<Value> Key::read(std::string_view name) const {
    return guarded(std::optional<Value>(), [&]() -> std::optional<Value> {
        auto key = load_key(hive_, path_);
        if (!key) return std::nullopt;
        const Line* line = find_value(key->text, key->path, codepage::utf8_from_gbk(name));
        if (!line) return std::nullopt;
        return decode(*line);
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
        auto parts = parse_path(path_);
        if (!parts) return false;
        std::string utf8_name = codepage::utf8_from_gbk(name);
        return change(hive_, [&](HiveText& t) -> std::optional<bool> {
            bool changed = false;
            for_each_section(t, *parts, [&](Section& s) {
                changed |= erase_values(s, [&](const Line& line) { return iequal(line.name, utf8_name); });
            });
            return changed;
        });
    });
}

std::vector<std::string> Key::subkeys() const {
    return guarded(std::vector<std::string>(), [&] {
        NameList names;
        if (auto key = load_key(hive_, path_))
            for (const Section& s : key->text.sections)
                if (s.ours && s.path.size() > key->path.size() && has_prefix(s.path, key->path))
                    names.add(s.path[key->path.size()]);
        return names.gbk();
    });
}

std::vector<std::string> Key::value_names() const {
    return guarded(std::vector<std::string>(), [&] {
        NameList names;
        if (auto key = load_key(hive_, path_))
            for_each_section(key->text, key->path, [&](const Section& s) {
                for (const Line& line : s.lines)
                    if (line.is_value) names.add(line.name);
            });
        return names.gbk();
    });
}

bool key_exists(Hive hive, std::string_view path) {
    return guarded(false, [&] {
        auto key = load_key(hive, path);
        return key && key_in(key->text, key->path);
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
