// Profile (INI) files: "[section]" lines, each followed by its "key=value" lines.
//
// Section and key names compare without regard to ASCII letter case; blanks and control characters
// around names and values are not part of them; the first section and the first key of a name count.
// Lines that are neither a section nor an entry (blank lines, comments, junk) are kept as they stand
// when the file is rewritten. Lines end in LF, or in CR LF when the file's first line does.
//
// Every call opens the file by name and leaves nothing open. Every change rewrites the whole file
// into a temporary file beside it, flushes it to the disk and renames it over the old one, under an
// exclusive lock on "<file>.lock": a crash or a second process writing at the same moment never
// leaves a partial file nor loses the other's change. A write that cannot have the lock within a few
// seconds fails and changes nothing. Readers take no lock. Files and lock files are created readable and
// writable by their owner only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavc::profile {

struct Entry {
    std::string key;
    std::string value;
    bool operator==(const Entry&) const = default;
};

// The parsed text of one profile file; the file functions below work through it.
class Document {
  public:
    static Document parse(std::string_view text);

    // The value of key in section; none when the section or the key is missing.
    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    // The section's entries in file order; empty when the section is missing.
    std::vector<Entry> entries(std::string_view section) const;
    // The first `limit` of those that `wanted` (key, value) accepts.
    std::vector<Entry> entries(std::string_view section,
                               const std::function<bool(std::string_view, std::string_view)>& wanted,
                               size_t limit) const;
    bool contains(std::string_view section, std::string_view key) const {
        return entry_index(section, key).has_value();
    }
    size_t entries_in(std::string_view section) const;

    // Replaces the key's value in place, or adds the entry after the section's last entry, or adds the
    // section at the end of the text.
    void set(std::string_view section, std::string_view key, std::string_view value);
    // Adds value under the first of candidate(0), candidate(1), ... that the section does not hold and
    // returns that key; none when none of the first entries+1 is free (the candidates were not distinct).
    std::optional<std::string> add_under_new_key(std::string_view section,
                                                 const std::function<std::string(unsigned)>& candidate,
                                                 std::string_view value);
    // True when the key was there.
    bool remove(std::string_view section, std::string_view key);
    // Removes the section's first entry of key that holds value; true when there was one.
    bool remove(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;

  private:
    enum class Kind : unsigned char { Other, Section, Entry };
    struct Parts {
        Kind kind = Kind::Other;
        std::string_view name, value;  // section name or key, and an entry's value
    };
    // A line's text, without its line end, lies in parsed_ or, once written by a change, in added_.
    // Lines that are neither sections nor entries are kept as one line per run, their line ends inside,
    // so that a file of blank lines costs little more than its bytes.
    struct Line {
        size_t at = 0;
        uint32_t size_low = 0;  // the size in 40 bits, so that a line takes 16 bytes
        uint8_t size_high = 0;
        Kind kind = Kind::Other;
        bool added = false;
        size_t size() const { return size_low | size_t{size_high} << 32; }
        void set_size(size_t size) {
            size_low = static_cast<uint32_t>(size);
            size_high = static_cast<uint8_t>(size >> 32);
        }
    };
    static Line line_at(size_t at, size_t size, Kind kind, bool added);
    static Parts split(std::string_view text);
    std::string_view text_of(const Line& line) const;
    Parts parts(size_t line) const { return split(text_of(lines_[line])); }
    Line add_line(std::string_view text);
    std::optional<size_t> section_index(std::string_view section) const;
    // One past the section's last line: the next section line or the end.
    size_t section_end(size_t section) const;
    std::optional<size_t> entry_index(std::string_view section, std::string_view key) const;

    std::string parsed_;
    std::string added_;
    std::vector<Line> lines_;
    std::string line_end_ = "\n";
};

// The value of key in section of the file; none when the file, the section or the key is missing or the
// file cannot be read.
std::optional<std::string> read(const std::string& path, std::string_view section, std::string_view key);

// The section's entries in file order; an empty list when the file or the section is missing, none when
// the file exists but cannot be read.
std::optional<std::vector<Entry>> entries(const std::string& path, std::string_view section);
// The first `limit` of those that `wanted` (key, value) accepts: a caller that works through a few entries
// holds no copy of a section of millions.
std::optional<std::vector<Entry>> entries(
    const std::string& path, std::string_view section,
    const std::function<bool(std::string_view, std::string_view)>& wanted, size_t limit);

// Writes value under key, replacing an older value; creates the file and the section as needed.
// False when the file cannot be written (nothing changed then).
bool write(const std::string& path, std::string_view section, std::string_view key, std::string_view value);

// Writes value under the first of candidate(0), candidate(1), ... that the section does not hold yet,
// in one locked step, and returns that key; none when the file cannot be written. The candidates must
// be distinct keys.
std::optional<std::string> write_under_new_key(const std::string& path, std::string_view section,
                                               const std::function<std::string(unsigned)>& candidate,
                                               std::string_view value);

// Deletes key from section. True when the key is gone afterwards (also when it was never there).
bool remove(const std::string& path, std::string_view section, std::string_view key);

// Deletes key from section only while it holds value, in one locked step: a caller that read an entry
// earlier never deletes what another process wrote under the key since. True when no entry of key with
// that value is left afterwards (also when the key holds another value or was never there).
bool remove(const std::string& path, std::string_view section, std::string_view key, std::string_view value);

}  // namespace tavc::profile
