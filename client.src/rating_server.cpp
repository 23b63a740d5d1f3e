#include "rating_server.h"

#include <chrono>
#include <functional>
#include <vector>

#include "cache_file.h"
#include "codepage.h"
#include "export_guard.h"
#include "tcp_client.h"
#include "text.h"
#include "timing.h"

namespace tavc::tessel {
namespace {

using tavc::text::is_blank_or_control;

// Sends request on a connection of its own and waits for the answer line. on_accepted runs, while the
// connection is still open, when the answer is 0.
int32_t Exchange(const ServerUrl& server, int32_t port, const std::string& request,
                 const std::function<void()>& on_accepted = {}) {
    tavc::tcp::Client client;
    client.set_host(server.host);
    client.set_port(port);
    if (!client.connect(kConnectTimeoutMs)) return kNoConnection;
    if (!client.write_line(request, kAnswerTimeoutMs)) return kNoReply;
    const auto deadline = tavc::timing::Deadline::after(std::chrono::milliseconds(kAnswerTimeoutMs));
    int32_t result = kNoReply;
    std::string line;
    for (;;) {
        if (deadline.passed()) break;
        auto status = client.read_line(line, deadline);
        if (status == tavc::tcp::LineStatus::TooLong) continue;  // cannot be the answer: skip it
        if (status != tavc::tcp::LineStatus::Line) break;
        if (auto answer = AnswerOf(line)) {
            result = *answer;
            break;
        }
    }
    if (result == kOk && on_accepted) on_accepted();
    client.disconnect();
    return result;
}

std::string Request(const ServerUrl& server, std::string_view page, std::string_view query, int32_t port) {
    std::string text;
    text.append("GET ").append(server.path).append("/").append(page).append("?").append(query);
    text.append(" HTTP/1.1\r\nHost: ").append(server.host).append(":").append(std::to_string(port));
    text.append("\r\n\r\n");
    return text;
}

}  // namespace

// The URL is cut into items at "/" and at bytes 0-32, stepping whole GBK characters: leading blanks
// are skipped, an item may be empty ("//"), blanks after an item are skipped, a final "/" adds one
// empty item. Accepted: at least four items, the first exactly "http:", the second empty.
std::optional<ServerUrl> SplitServerUrl(std::string_view url) {
    url = url.substr(0, url.find('\0'));
    std::vector<std::string_view> items;
    size_t i = 0;
    auto skip_blanks = [&] {
        while (i < url.size() && is_blank_or_control(url[i])) ++i;
    };
    skip_blanks();
    do {
        size_t begin = i;
        // By GBK characters: a byte that cannot trail (a slash, a blank, a control byte) stays a character
        // of its own, so no broken pair can carry it into the host or the path.
        while (i < url.size() && url[i] != '/' && !is_blank_or_control(url[i]))
            i += codepage::gbk_char_length(url.substr(i));
        items.push_back(url.substr(begin, i - begin));
        skip_blanks();
        if (i < url.size() && url[i] == '/') {
            if (i + 1 == url.size()) items.emplace_back();
            ++i;
            skip_blanks();
        }
    } while (i < url.size());
    if (items.size() < 4 || items[0] != "http:" || !items[1].empty()) return std::nullopt;
    return ServerUrl{std::string(items[2]), "/" + std::string(items[3])};
}

std::string PercentEncode(std::string_view value, bool delimiters) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    static constexpr std::string_view kDelimiters = "\"#%&+=";
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F || (delimiters && kDelimiters.find(c) != std::string_view::npos)) {
            out += '%';
            out += kDigits[b >> 4];
            out += kDigits[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<int32_t> AnswerOf(std::string_view line) {
    line = tavc::text::trim(line);
    if (!line.ends_with("</>")) return std::nullopt;
    if (line.front() < '0' || line.front() > '9') return kNoReply;
    return line.front() - '0';
}

int32_t LoginToDB(std::string_view user, std::string_view passwd, std::string_view url, int32_t port) {
    auto server = SplitServerUrl(url);
    if (!server) return kMalformedUrl;
    std::string query = "user=" + PercentEncode(user, true) + "&passwd=" + PercentEncode(passwd, true);
    // A failed store only costs the later offline login; the server's answer stands.
    return Exchange(*server, port, Request(*server, "slogin.asp", query, port),
                    [&] { SaveLoginToCache(user, passwd); });
}

int32_t RemarkToDB(std::string_view user, char remark, std::string_view detail, std::string_view time,
                   std::string_view url, int32_t port) {
    auto server = SplitServerUrl(url);
    if (!server) return kMalformedUrl;
    std::string remark_text = remark == '\0' ? std::string() : std::string(1, remark);
    // The time stamp's "%20" is already encoded; only what would break the request line is.
    std::string query = "user=" + PercentEncode(user, true) + "&remark=" + PercentEncode(remark_text, true) +
                        "&detail=" + PercentEncode(detail, true) + "&time=" + PercentEncode(time, false);
    return Exchange(*server, port, Request(*server, "sremark.asp", query, port));
}

}  // namespace tavc::tessel

extern "C" TESSEL_API ExportResult TAVCLoginToDB(const char* user, const char* passwd, const char* url,
                                                 int32_t port) {
    using namespace tavc::tessel;
    return tavc::guarded(kNoConnection,
                         [&] { return LoginToDB(text_arg(user), text_arg(passwd), text_arg(url), port); });
}

extern "C" TESSEL_API ExportResult TAVCRemarkToDB(const char* user, int32_t remark, const char* detail,
                                                  const char* time, const char* url, int32_t port) {
    using namespace tavc::tessel;
    return tavc::guarded(kNoConnection, [&] {
        return RemarkToDB(text_arg(user), static_cast<char>(remark & 0xFF), text_arg(detail), text_arg(time),
                          text_arg(url), port);
    });
}
