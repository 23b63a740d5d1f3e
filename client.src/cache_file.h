// The cache file "tavc.cache" beside the host program: confirmed logins for the offline login, and the
// customer ratings not yet sent. Every section name, key and value in it is stored hex-encoded.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tavc::tessel {

// A text argument of an export; a null pointer counts as the empty text.
inline std::string_view text_arg(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

// Two upper-case hex digits per byte, up to the first NUL byte.
std::string HexEncode(std::string_view text);
// One byte per pair of hex digits (either case), up to the end, the first pair that is not two hex
// digits (an odd last digit is dropped) or the first decoded NUL byte. Any length.
std::string HexDecode(std::string_view hex);

// Where the cache file lies: "tavc.cache" in the folder of the host program's executable when this
// process may write there; else, as for a program installed where the clerk cannot write,
// $XDG_STATE_HOME/tavc/<StateFolderName of that folder>/tavc.cache, its folder made if missing. None when
// neither can be had. Any length of path. Every export of the cache goes through this one rule.
std::optional<std::string> CacheFilePath();

// A program folder as the name of one folder, as `systemd-escape --path` writes it: the names between its
// slashes joined by '-', each byte other than an ASCII letter, digit, ':', '_' or '.' (and a leading '.')
// written as \xNN, "/" itself as "-". Two folders never share a name. A name longer than a file name may
// be keeps its first bytes and ends in '-' and 16 hex digits of a hash of the whole folder.
std::string StateFolderName(std::string_view folder);

// The section names as they stand in the file.
std::string LoginsSection();
std::string RemarksSection();

// The local time t as "yyyy-mm-dd%20hh:mm:ss".
std::string RatingTimeStamp(std::time_t t);

// "user,remark,detail"; a remark byte of 0 ends the text after "user,".
std::string RatingRecord(std::string_view user, char remark, std::string_view detail);

struct RatingFields {
    std::string user;
    char remark = 0;
    std::string detail;
};
// The fields of a stored record: up to the first comma, the first byte after it, and all that follows
// the second comma. None when the record lacks its second comma or its remark byte.
std::optional<RatingFields> SplitRatingRecord(std::string_view record);

// Stores a login that the server confirmed, replacing an older one of the same user id. False when
// nothing could be stored.
bool SaveLoginToCache(std::string_view user, std::string_view passwd);

// The bodies of TAVCLoginToCache and TAVCRemarkToCache.
int32_t LoginToCache(std::string_view user, std::string_view passwd);
int32_t RemarkToCache(std::string_view user, char remark, std::string_view detail);

}  // namespace tavc::tessel
