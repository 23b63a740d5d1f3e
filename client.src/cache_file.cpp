#include "cache_file.h"

#include <cstdio>

#include "export_guard.h"
#include "file_io.h"
#include "folders.h"
#include "module.h"
#include "profile.h"
#include "results.h"
#include "text.h"

namespace tavc::tessel {
namespace {

// This id never logs in offline, even after the server once confirmed it.
constexpr std::string_view kReservedUser = "qelto";

// NAME_MAX of the usual Linux file systems.
constexpr size_t kLongestFileName = 255;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string HexEncode(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text = text.substr(0, text.find('\0'));
    std::string out(text.size() * 2, '0');
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        out[2 * i] = kDigits[c >> 4];
        out[2 * i + 1] = kDigits[c & 0x0F];
    }
    return out;
}

std::string HexDecode(std::string_view hex) {
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        int high = hex_digit(hex[i]), low = hex_digit(hex[i + 1]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) break;
        out += static_cast<char>(high * 16 + low);
    }
    return out;
}

std::string StateFolderName(std::string_view folder) {
    while (!folder.empty() && folder.front() == '/') folder.remove_prefix(1);
    while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
    if (folder.empty()) return "-";
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name;
    for (size_t i = 0; i < folder.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(folder[i]);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
                     c == '_' || (c == '.' && i != 0);
        if (c == '/') {
            name += '-';
        } else if (plain) {
            name += static_cast<char>(c);
        } else {
            name += "\\x";
            name += kDigits[c >> 4];
            name += kDigits[c & 0x0F];
        }
    }
    if (name.size() <= kLongestFileName) return name;
    name.resize(kLongestFileName - 17);
    return name + '-' + tavc::text::hash_hex(folder);
}

std::optional<std::string> CacheFilePath() {
    auto exe = tavc::module::executable_path();
    if (!exe) return std::nullopt;
    std::string folder = tavc::module::folder_of(*exe);
    if (folder.empty()) return std::nullopt;
    if (tavc::file_io::folder_writable(folder)) return folder + "tavc.cache";
    // Not beside a program the clerk may not write to (an installed one): in a folder per user and per
    // program folder, so that two installations never share their ratings.
    std::string state = tavc::folders::state_home();
    if (state.empty()) return std::nullopt;
    std::string own = state + "/tavc/" + StateFolderName(folder);
    if (!tavc::file_io::make_folders(own, 0700)) return std::nullopt;
    return own + "/tavc.cache";
}

std::string LoginsSection() {
    return HexEncode("Logins");
}
std::string RemarksSection() {
    return HexEncode("Remarks");
}

std::string RatingTimeStamp(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    // By hand rather than by printf: a store into a crowded cache tries a stamp per cached rating.
    std::string text = "0000-00-00%2000:00:00";
    auto put = [&text](size_t at, int value, size_t digits) {
        for (size_t i = at + digits; i-- > at; value /= 10) text[i] = static_cast<char>('0' + value % 10);
    };
    int year = local.tm_year + 1900;
    if (year < 0 || year > 9999) {
        char wide[64];
        std::snprintf(wide, sizeof wide, "%04d-%02d-%02d%%20%02d:%02d:%02d", year, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        return wide;
    }
    put(0, year, 4);
    put(5, local.tm_mon + 1, 2);
    put(8, local.tm_mday, 2);
    put(13, local.tm_hour, 2);
    put(16, local.tm_min, 2);
    put(19, local.tm_sec, 2);
    return text;
}

std::string RatingRecord(std::string_view user, char remark, std::string_view detail) {
    std::string record(user);
    record += ',';
    if (remark == '\0') return record;
    record += remark;
    record += ',';
    record += detail;
    return record;
}

std::optional<RatingFields> SplitRatingRecord(std::string_view record) {
    size_t first = record.find(',');
    if (first == std::string_view::npos) return std::nullopt;
    size_t second = record.find(',', first + 1);
    if (second == std::string_view::npos || second == first + 1) return std::nullopt;
    return RatingFields{std::string(record.substr(0, first)), record[first + 1],
                        std::string(record.substr(second + 1))};
}

bool SaveLoginToCache(std::string_view user, std::string_view passwd) {
    auto path = CacheFilePath();
    return path && tavc::profile::write(*path, LoginsSection(), HexEncode(user), HexEncode(passwd));
}

int32_t LoginToCache(std::string_view user, std::string_view passwd) {
    if (user == kReservedUser) return kReservedUserId;
    auto path = CacheFilePath();
    if (!path) return kCacheUnavailable;
    // A user id the server never confirmed has no entry and does not log in, whatever the password.
    auto stored = tavc::profile::read(*path, LoginsSection(), HexEncode(user));
    if (!stored) return kLoginDiffers;
    return HexDecode(*stored) == passwd ? kOk : kLoginDiffers;
}

int32_t RemarkToCache(std::string_view user, char remark, std::string_view detail) {
    auto path = CacheFilePath();
    if (!path) return kCacheUnavailable;
    // Ratings of the same second must not share a key: a later one takes the next free second.
    std::time_t now = std::time(nullptr);
    auto key = tavc::profile::write_under_new_key(
        *path, RemarksSection(), [now](unsigned i) { return HexEncode(RatingTimeStamp(now + i)); },
        HexEncode(RatingRecord(user, remark, detail)));
    return key ? kOk : kCacheUnavailable;
}

}  // namespace tavc::tessel

extern "C" TESSEL_API ExportResult TAVCLoginToCache(const char* user, const char* passwd) {
    using namespace tavc::tessel;
    return tavc::guarded(kCacheUnavailable, [&] { return LoginToCache(text_arg(user), text_arg(passwd)); });
}

extern "C" TESSEL_API ExportResult TAVCRemarkToCache(const char* user, int32_t remark, const char* detail) {
    using namespace tavc::tessel;
    return tavc::guarded(kCacheUnavailable, [&] {
        return RemarkToCache(text_arg(user), static_cast<char>(remark & 0xFF), text_arg(detail));
    });
}
