#include "profile.h"

#include <algorithm>
#include <cstdint>

#include "file_io.h"
#include "text.h"

namespace tavc::profile {
namespace {

using text::trim;

// The cache holds passwords: its file and its lock file are for their owner only.
constexpr mode_t kOwnerOnly = 0600;

std::string lock_path(const std::string& path) {
    return path + ".lock";
}

// Runs change on the file's document under the exclusive lock and writes the result back when change
// says it changed something.
bool modify(const std::string& path, const std::function<bool(Document&)>& change) {
    return file_io::edit_under_lock(
        path, lock_path(path),
        [&](std::string& text) {
            Document doc = Document::parse(text);
            std::string().swap(text);  // the document holds its own copy
            if (!change(doc)) return file_io::Edited::unchanged();
            return file_io::Edited::changed(doc.text());
        },
        kOwnerOnly);
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
    doc.parsed_.assign(text);
    std::string_view all = doc.parsed_;
    // Room for a line per line end: address space only, where runs of other lines leave it unused.
    doc.lines_.reserve(static_cast<size_t>(std::count(all.begin(), all.end(), '\n')) + 1);
    for (size_t at = 0, next = 0; at < all.size(); at = next) {
        // Empty lines that add to a run are taken in at once, so a mass of them costs little.
        if (all[at] == '\n' && !doc.lines_.empty() && doc.lines_.back().kind == Kind::Other) {
            next = std::min(all.find_first_not_of('\n', at), all.size());
            doc.lines_.back().set_size(next - 1 - doc.lines_.back().at);
            continue;
        }
        size_t end = all.find('\n', at);
        next = end == std::string_view::npos ? all.size() : end + 1;
        if (end == std::string_view::npos) end = all.size();
        if (end > at && all[end - 1] == '\r') --end;
        Kind kind = split(all.substr(at, end - at)).kind;
        if (kind == Kind::Other && !doc.lines_.empty() && doc.lines_.back().kind == Kind::Other) {
            doc.lines_.back().set_size(end - doc.lines_.back().at);  // the run takes this line in
        } else {
            doc.lines_.push_back(line_at(at, end - at, kind, false));
        }
    }
    return doc;
}

Document::Parts Document::split(std::string_view text) {
    std::string_view body = trim(text);
    if (body.empty() || body.front() == ';') return {};
    if (body.front() == '[') {
        body.remove_prefix(1);
        return {Kind::Section, trim(body.substr(0, body.find(']'))), {}};
    }
    size_t eq = body.find('=');
    if (eq == std::string_view::npos) return {};
    return {Kind::Entry, trim(body.substr(0, eq)), trim(body.substr(eq + 1))};
}

std::string_view Document::text_of(const Line& line) const {
    return std::string_view(line.added ? added_ : parsed_).substr(line.at, line.size());
}

Document::Line Document::line_at(size_t at, size_t size, Kind kind, bool added) {
    Line line;
    line.at = at;
    line.set_size(size);
    line.kind = kind;
    line.added = added;
    return line;
}

Document::Line Document::add_line(std::string_view text) {
    Line line = line_at(added_.size(), text.size(), split(text).kind, true);
    added_.append(text);
    return line;
}

std::optional<size_t> Document::section_index(std::string_view section) const {
    section = trim(section);
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Kind::Section && text::iequal(parts(i).name, section)) return i;
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
        if (lines_[i].kind == Kind::Entry && text::iequal(parts(i).name, key)) return i;
    return std::nullopt;
}

std::optional<std::string> Document::find(std::string_view section, std::string_view key) const {
    auto i = entry_index(section, key);
    if (!i) return std::nullopt;
    return std::string(parts(*i).value);
}

std::vector<Entry> Document::entries(std::string_view section) const {
    return entries(
        section, [](std::string_view, std::string_view) { return true; }, SIZE_MAX);
}

std::vector<Entry> Document::entries(std::string_view section,
                                     const std::function<bool(std::string_view, std::string_view)>& wanted,
                                     size_t limit) const {
    std::vector<Entry> out;
    auto s = section_index(section);
    if (!s) return out;
    for (size_t i = *s + 1, end = section_end(*s); i < end && out.size() < limit; ++i) {
        if (lines_[i].kind != Kind::Entry) continue;
        Parts entry = parts(i);
        if (wanted(entry.name, entry.value))
            out.push_back({std::string(entry.name), std::string(entry.value)});
    }
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
        std::string text(parts(*i).name);  // keeps the stored spelling of the key
        text.append("=").append(value);
        lines_[*i] = add_line(text);
        return;
    }
    std::string text(key);
    text.append("=").append(value);
    if (auto s = section_index(section)) {
        size_t at = *s + 1;
        for (size_t i = at, end = section_end(*s); i < end; ++i)
            if (lines_[i].kind == Kind::Entry) at = i + 1;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), add_line(text));
        return;
    }
    if (!lines_.empty()) {
        std::string_view last = text_of(lines_.back());
        if (!trim(last.substr(last.rfind('\n') + 1)).empty()) lines_.push_back(Line());
    }
    lines_.push_back(add_line("[" + std::string(trim(section)) + "]"));
    lines_.push_back(add_line(text));
}

namespace {

// FNV-1a of the name with ASCII letters folded, so that names that compare equal hash equal.
uint32_t folded_hash(std::string_view name) {
    uint32_t h = 2166136261u;
    for (char c : name) h = (h ^ static_cast<unsigned char>(text::ascii_lower(c))) * 16777619u;
    return h;
}

}  // namespace

std::optional<std::string> Document::add_under_new_key(std::string_view section,
                                                       const std::function<std::string(unsigned)>& candidate,
                                                       std::string_view value) {
    // The keys the section holds, by hash: each candidate is then looked up in time that does not grow
    // with the keys, where a scan per candidate made a crowded section quadratic.
    std::vector<std::pair<uint32_t, uint32_t>> held;  // hash and line: 8 bytes a key
    held.reserve(entries_in(section));
    if (auto s = section_index(section)) {
        for (size_t i = *s + 1, end = section_end(*s); i < end; ++i)
            if (lines_[i].kind == Kind::Entry)
                held.emplace_back(folded_hash(parts(i).name), static_cast<uint32_t>(i));
    }
    std::sort(held.begin(), held.end());
    // With distinct candidates one of the first held.size()+1 is free.
    for (size_t n = 0; n <= held.size(); ++n) {
        std::string key(trim(candidate(static_cast<unsigned>(n))));
        auto same = std::equal_range(held.begin(), held.end(), std::make_pair(folded_hash(key), uint32_t{0}),
                                     [](const auto& a, const auto& b) { return a.first < b.first; });
        if (std::none_of(same.first, same.second,
                         [&](const auto& h) { return text::iequal(parts(h.second).name, key); })) {
            set(section, key, value);
            return key;
        }
    }
    return std::nullopt;
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
        if (lines_[i].kind != Kind::Entry) continue;
        Parts entry = parts(i);
        if (text::iequal(entry.name, key) && entry.value == value) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

std::string Document::text() const {
    // A run of other lines gets the file's line end after each of its lines, as a line of its own would.
    size_t size = 0;
    for (const Line& line : lines_) {
        std::string_view t = text_of(line);
        size_t ends = line.kind == Kind::Other && !line.added ? std::count(t.begin(), t.end(), '\n') + 1 : 1;
        size += t.size() + ends * line_end_.size();
    }
    std::string out;
    out.reserve(size);
    for (const Line& line : lines_) {
        std::string_view t = text_of(line);
        if (line.kind == Kind::Other && !line.added) {
            for (size_t cut; (cut = t.find('\n')) != std::string_view::npos; t.remove_prefix(cut + 1)) {
                std::string_view part = t.substr(0, cut);
                if (!part.empty() && part.back() == '\r') part.remove_suffix(1);
                out.append(part).append(line_end_);
            }
        }
        out.append(t).append(line_end_);
    }
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

std::optional<std::vector<Entry>> entries(
    const std::string& path, std::string_view section,
    const std::function<bool(std::string_view, std::string_view)>& wanted, size_t limit) {
    auto doc = read_document(path);
    if (!doc) return std::nullopt;
    return doc->entries(section, wanted, limit);
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
        chosen = doc.add_under_new_key(section, candidate, value);
        return chosen.has_value();
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
