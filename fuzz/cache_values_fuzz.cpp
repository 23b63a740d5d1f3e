// What the cache file may hold after a hand edit or a broken disk: any text as a profile file, any value
// through the hex decoder and the record reader. Every change must read back as it was made.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "cache_file.h"
#include "profile.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    using namespace tavc::tessel;

    std::string decoded = HexDecode(text);
    check(decoded.size() <= size / 2 && decoded.find('\0') == std::string::npos);
    check(HexDecode(HexEncode(decoded)) == decoded);
    if (auto fields = SplitRatingRecord(decoded)) check(fields->user.find(',') == std::string::npos);

    auto doc = tavc::profile::Document::parse(text);
    const std::string section = RemarksSection();
    for (const auto& entry : doc.entries(section)) SplitRatingRecord(HexDecode(entry.value));
    const std::string key = HexEncode("2024-05-06%2007:08:09");
    const std::string value = HexEncode(decoded.substr(0, 40));
    doc.set(section, key, value);
    check(doc.find(section, key) == value);
    auto again = tavc::profile::Document::parse(doc.text());
    check(again.find(section, key) == value);
    check(again.entries(section) == doc.entries(section));
    check(again.remove(section, key) && !again.contains(section, key));

    // The new key is the first candidate the section does not hold, as a search key by key finds it.
    auto candidate = [](unsigned n) { return HexEncode(std::to_string(n % 50)); };
    std::optional<std::string> first_free;
    for (unsigned n = 0, held = static_cast<unsigned>(doc.entries_in(section)); n <= held && !first_free; ++n)
        if (!doc.contains(section, candidate(n))) first_free = candidate(n);
    auto fresh = doc.add_under_new_key(section, candidate, value);
    if (first_free) check(fresh == first_free && doc.find(section, *fresh) == value);
    return 0;
}
