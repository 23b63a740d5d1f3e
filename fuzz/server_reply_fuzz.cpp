// The reply reader: received bytes, cut into chunks as the network might deliver them, through the line
// splitter and the answer-line judgement.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rating_server.h"
#include "tcp_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte sets the chunk size, the rest is the reply.
    size_t chunk = 1 + data[0] % 64 * 331;
    std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
    tavc::tcp::LineSplitter splitter;
    std::string line;
    auto judge = [&](tavc::tcp::LineStatus status) {
        if (status != tavc::tcp::LineStatus::Line) return;
        if (line.size() > tavc::tcp::LineSplitter::kMaxLineBytes || line.find('\n') != std::string::npos)
            std::abort();
        if (auto answer = tavc::tessel::AnswerOf(line); answer && (*answer < -5 || *answer > 9)) std::abort();
    };
    while (!reply.empty()) {
        size_t n = std::min(chunk, reply.size());
        splitter.append(reply.substr(0, n));
        reply.remove_prefix(n);
        while (auto status = splitter.next(line)) judge(*status);
    }
    while (auto status = splitter.rest(line)) judge(*status);
    return 0;
}
