// Requests to the rating server: one hand-written HTTP GET per TCP connection, judged by the reply's
// answer line (the first line that ends in "</>", its first character the answer digit).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "results.h"

namespace tavc::tessel {

constexpr uint32_t kConnectTimeoutMs = 1000;
constexpr uint32_t kAnswerTimeoutMs = 5000;

struct ServerUrl {
    std::string host;  // as written, a ":port" after it included
    std::string path;  // "/" and the first directory
};

// Accepts "http://host/dir..." (see the item rules in rating_server.cpp); none for any other form.
std::optional<ServerUrl> SplitServerUrl(std::string_view url);

// Percent-encodes the bytes that would change what the request says: control bytes and the blank,
// and with `delimiters` also the characters " # % & + =. Every other byte, GBK included, stays.
std::string PercentEncode(std::string_view value, bool delimiters);

// Judges one reply line as the line reader gave it: none when it is not the answer line, else the
// answer digit, or kNoReply when the answer line does not begin with a digit.
std::optional<int32_t> AnswerOf(std::string_view line);

// The bodies of TAVCLoginToDB and TAVCRemarkToDB.
int32_t LoginToDB(std::string_view user, std::string_view passwd, std::string_view url, int32_t port);
int32_t RemarkToDB(std::string_view user, char remark, std::string_view detail, std::string_view time,
                   std::string_view url, int32_t port);

}  // namespace tavc::tessel
