#include "profile.h"

#include <algorithm>

#include "file_io.h"

namespace tavc::profile {
namespace {

bool is_space(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

char fold(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

// The cache holds passwords: its file and its lock file are for their owner only.
constexpr mode_t kOwnerOnly = 0600;

std::string lock_path(const std::string& path) {
    return path + ".lock";
}

// Runs change on the file's document under the exclusive lock and writes the result back when change
// says it changed something.
bool modify(const std::string& path, const std::function<bool(Document&)>& change) {
    auto held = file_io::lock_file(lock_path(path), true, true);
    if (!held) return false;
    auto file = file_io::read_file(path);
    if (!file) return false;
    Document doc = Document::parse(file->text);
    if (!change(doc)) return true;
    return file_io::replace_file(path, doc.text(), kOwnerOnly);
}

std::optional<Document> read_document(const std::string& path) {
    // No lock: the file is only ever replaced by rename, so a reader sees one whole version, and a
    // writer that is stopped holding the lock delays no reader.
    auto file = file_io::read_file(path);
    if (!file) return std::nullopt;
    return Document::parse(file->text);
}

}  // namespace

Document Document::parse(std::string_view text) {
    Document doc;
    size_t first_end = text.find('\n');
    if (first_end != std::string_view::npos && first_end > 0 && text[first_end - 1] == '\r')
        doc.line_end_ = "\r\n";
    doc.lines_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        doc.lines_.push_back(parse_line(line));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return doc;
}

Document::Line Document::parse_line(std::string_view text) {
    Line line;
    line.text = text;
    std::string_view all = line.text;
    std::string_view body = trim(all);
    auto place = [&](std::string_view part, size_t& at, size_t& size) {
        part = trim(part);
        at = static_cast<size_t>(part.data() - all.data());
        size = part.size();
    };
    if (body.empty() || body.front() == ';') return line;
    if (body.front() == '[') {
        body.remove_prefix(1);
        line.kind = Kind::Section;
        place(body.substr(0, body.find(']')), line.name_at, line.name_size);
        return line;
    }
    size_t eq = body.find('=');
    if (eq == std::string_view::npos) return line;
    line.kind = Kind::Entry;
    place(body.substr(0, eq), line.name_at, line.name_size);
    place(body.substr(eq + 1), line.value_at, line.value_size);
    return line;
}

Document::Line Document::entry_line(std::string_view key, std::string_view value) {
    std::string text;
    text.reserve(key.size() + 1 + value.size());
    text.append(key).append("=").append(value);
    return parse_line(text);
}

std::optional<size_t> Document::section_index(std::string_view section) const {
    section = trim(section);
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Kind::Section && same_name(lines_[i].name(), section)) return i;
    return std::nullopt;
}

size_t Document::section_end(size_t section) const {
    size_t i = section + 1;
    while (i < lines_.size() && lines_[i].kind != Kind::Section) ++i;
    return i;
}

std::optional<size_t> Document::entry_index(std::string_view section, std::string_view key) const {
    auto s = section_index(section);
    if (!s) return std::nullopt;
    key = trim(key);
    for (size_t i = *s + 1, end = section_end(*s); i < end; ++i)
        if (lines_[i].kind == Kind::Entry && same_name(lines_[i].name(), key)) return i;
    return std::nullopt;
}

std::optional<std::string> Document::find(std::string_view section, std::string_view key) const {
    auto i = entry_index(section, key);
    if (!i) return std::nullopt;
    return std::string(lines_[*i].value());
}

std::vector<Entry> Document::entries(std::string_view section) const {
    std::vector<Entry> out;
    auto s = section_index(section);
    if (!s) return out;
    for (size_t i = *s + 1, end = section_end(*s); i < end; ++i)
        if (lines_[i].kind == Kind::Entry)
            out.push_back({std::string(lines_[i].name()), std::string(lines_[i].value())});
    return out;
}

size_t Document::entries_in(std::string_view section) const {
    auto s = section_index(section);
    if (!s) return 0;
    size_t n = 0;
    for (size_t i = *s + 1, end = section_end(*s); i < end; ++i) n += lines_[i].kind == Kind::Entry;
    return n;
}

void Document::set(std::string_view section, std::string_view key, std::string_view value) {
    key = trim(key);
    value = trim(value);
    if (auto i = entry_index(section, key)) {
        lines_[*i] = entry_line(lines_[*i].name(), value);
        return;
    }
    if (auto s = section_index(section)) {
        size_t at = *s + 1;
        for (size_t i = at, end = section_end(*s); i < end; ++i)
            if (lines_[i].kind == Kind::Entry) at = i + 1;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), entry_line(key, value));
        return;
    }
    if (!lines_.empty() && !trim(lines_.back().text).empty()) lines_.push_back(Line());
    lines_.push_back(parse_line("[" + std::string(trim(section)) + "]"));
    lines_.push_back(entry_line(key, value));
}

bool Document::remove(std::string_view section, std::string_view key) {
    auto i = entry_index(section, key);
    if (!i) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*i));
    return true;
}

bool Document::remove(std::string_view section, std::string_view key, std::string_view value) {
    auto s = section_index(section);
    if (!s) return false;
    key = trim(key);
    value = trim(value);
    for (size_t i = *s + 1, end = section_end(*s); i < end; ++i) {
        if (lines_[i].kind == Kind::Entry && same_name(lines_[i].name(), key) && lines_[i].value() == value) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

std::string Document::text() const {
    std::string out;
    size_t size = 0;
    for (const Line& line : lines_) size += line.text.size() + line_end_.size();
    out.reserve(size);
    for (const Line& line : lines_) out.append(line.text).append(line_end_);
    return out;
}

std::optional<std::string> read(const std::string& path, std::string_view section, std::string_view key) {
    auto doc = read_document(path);
    if (!doc) return std::nullopt;
    return doc->find(section, key);
}

std::optional<std::vector<Entry>> entries(const std::string& path, std::string_view section) {
    auto doc = read_document(path);
    if (!doc) return std::nullopt;
    return doc->entries(section);
}

bool write(const std::string& path, std::string_view section, std::string_view key, std::string_view value) {
    return modify(path, [&](Document& doc) {
        doc.set(section, key, value);
        return true;
    });
}

std::optional<std::string> write_under_new_key(const std::string& path, std::string_view section,
                                               const std::function<std::string(unsigned)>& candidate,
                                               std::string_view value) {
    std::optional<std::string> chosen;
    bool ok = modify(path, [&](Document& doc) {
        // With distinct candidates one of the first entries+1 is free.
        size_t tries = doc.entries_in(section) + 1;
        for (unsigned i = 0; i < tries; ++i) {
            std::string key(trim(candidate(i)));
            if (!doc.contains(section, key)) {
                doc.set(section, key, value);
                chosen = std::move(key);
                return true;
            }
        }
        return false;
    });
    if (!ok) return std::nullopt;
    return chosen;
}

bool remove(const std::string& path, std::string_view section, std::string_view key) {
    return modify(path, [&](Document& doc) { return doc.remove(section, key); });
}

bool remove(const std::string& path, std::string_view section, std::string_view key, std::string_view value) {
    return modify(path, [&](Document& doc) { return doc.remove(section, key, value); });
}

}  // namespace tavc::profile
