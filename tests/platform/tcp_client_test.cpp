#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "clock.h"
#include "rating_server_fake.h"
#include "tcp_client.h"

using tavc::tcp::Client;
using tavc::tcp::LineSplitter;
using tavc::tcp::LineStatus;

namespace {

struct SplitCase {
    const char* name;
    std::vector<std::string> chunks;
    // What next() gives after all chunks, then what rest() gives.
    std::vector<std::pair<LineStatus, std::string>> lines;
    std::optional<std::pair<LineStatus, std::string>> rest;
};

class LineSplitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(LineSplitting, CutsLinesAtLfAndBoundsTheirLength) {
    const SplitCase& c = GetParam();
    LineSplitter splitter;
    std::vector<std::pair<LineStatus, std::string>> got;
    std::string line;
    for (const std::string& chunk : c.chunks) {
        splitter.append(chunk);
        while (auto status = splitter.next(line))
            got.emplace_back(*status, *status == LineStatus::Line ? line : "");
    }
    EXPECT_EQ(got, c.lines);
    auto rest = splitter.rest(line);
    std::optional<std::pair<LineStatus, std::string>> rest_got;
    if (rest) rest_got.emplace(*rest, *rest == LineStatus::Line ? line : "");
    EXPECT_EQ(rest_got, c.rest);
    EXPECT_EQ(splitter.rest(line), std::nullopt);
}

const std::string kLongest(LineSplitter::kMaxLineBytes, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, LineSplitting,
    ::testing::Values(
        SplitCase{
            "PlainLines", {"a\nb\r\n"}, {{LineStatus::Line, "a"}, {LineStatus::Line, "b"}}, std::nullopt},
        SplitCase{"SplitAcrossChunks",
                  {"ab", "c\r", "\nd\n"},
                  {{LineStatus::Line, "abc"}, {LineStatus::Line, "d"}},
                  std::nullopt},
        SplitCase{"OnlyOneCrGoes", {"a\r\r\n"}, {{LineStatus::Line, "a\r"}}, std::nullopt},
        SplitCase{"EmptyLines", {"\n\r\n"}, {{LineStatus::Line, ""}, {LineStatus::Line, ""}}, std::nullopt},
        SplitCase{"TheLongestLine", {kLongest + "\r", "\n"}, {{LineStatus::Line, kLongest}}, std::nullopt},
        SplitCase{"OneByteTooLong",
                  {kLongest + "x\r\nnext\n"},
                  {{LineStatus::TooLong, ""}, {LineStatus::Line, "next"}},
                  std::nullopt},
        SplitCase{"TooLongOverManyChunks",
                  {std::string(10000, 'x'), std::string(10000, 'x'), "x\r", "\nok\n"},
                  {{LineStatus::TooLong, ""}, {LineStatus::Line, "ok"}},
                  std::nullopt},
        SplitCase{
            "TextAfterTheLastLf", {"a\nb\r"}, {{LineStatus::Line, "a"}}, std::pair{LineStatus::Line, "b\r"}},
        SplitCase{"TooLongAtTheEnd", {std::string(20000, 'x')}, {}, std::pair{LineStatus::TooLong, ""}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The other end of one connection: records the first line it receives, then sends `reply` and closes,
// or stays silent until the client goes.
class LoopbackPeer {
  public:
    explicit LoopbackPeer(std::string reply, bool close_after = true) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(listen_, 4) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            throw std::runtime_error("loopback peer: listen");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, reply = std::move(reply), close_after] {
            int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0) return;
            std::string got;
            char c;
            while (got.find('\n') == std::string::npos && ::recv(fd, &c, 1, 0) == 1) got += c;
            received_.set_value(got);
            ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            if (!close_after)
                while (::recv(fd, &c, 1, 0) == 1) {
                }
            ::close(fd);
        });
    }
    ~LoopbackPeer() {
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }
    std::string received() { return received_.get_future().get(); }

  private:
    int listen_ = -1;
    int port_ = 0;
    std::promise<std::string> received_;
    std::thread thread_;
};

bool connect_to(Client& client, int port, uint32_t timeout_ms = 1000) {
    client.set_host("127.0.0.1");
    client.set_port(port);
    return client.connect(timeout_ms);
}

TEST(TcpClient, WritesTheLineWithCrLfAndReadsLinesUntilThePeerCloses) {
    LoopbackPeer peer("one\r\ntwo\nthree");
    Client client;
    ASSERT_TRUE(connect_to(client, peer.port()));
    ASSERT_TRUE(client.write_line("hello", 1000));
    EXPECT_EQ(peer.received(), "hello\r\n");
    std::string line;
    for (const char* expected : {"one", "two", "three"}) {
        ASSERT_EQ(client.read_line(line, 3000), LineStatus::Line);
        EXPECT_EQ(line, expected);
    }
    EXPECT_EQ(client.read_line(line, 3000), LineStatus::Closed);
    EXPECT_EQ(client.read_line(line, 3000), LineStatus::Closed);
}

TEST(TcpClient, AReadWaitsForItsTimeAndNoLonger) {
    LoopbackPeer peer("half a line", false);
    Client client;
    ASSERT_TRUE(connect_to(client, peer.port()));
    ASSERT_TRUE(client.write_line("", 1000));
    uint32_t start = tavc::clock::tick_count();
    std::string line;
    EXPECT_EQ(client.read_line(line, 300), LineStatus::TimedOut);
    uint32_t waited = tavc::clock::tick_count() - start;
    EXPECT_GE(waited, 290u);
    EXPECT_LT(waited, 3000u);
    client.disconnect();
}

// With a time-out of 10 s, failing at once and waiting it out lie seconds apart.
TEST(TcpClient, ARefusedConnectionFailsAtOnce) {
    tavc::test::FakeRatingServer server;
    server.refuse_connections();
    Client client;
    uint32_t start = tavc::clock::tick_count();
    EXPECT_FALSE(connect_to(client, server.port(), 10000));
    EXPECT_LT(tavc::clock::tick_count() - start, 5000u);
}

TEST(TcpClient, AConnectionThatGetsNoAnswerFailsAfterTheTimeOut) {
    tavc::test::UnansweringPort port;
    if (!port.ready()) GTEST_SKIP() << "this machine answers every loopback connection attempt";
    Client client;
    uint32_t start = tavc::clock::tick_count();
    EXPECT_FALSE(connect_to(client, port.port()));
    uint32_t waited = tavc::clock::tick_count() - start;
    EXPECT_GE(waited, 990u);
    EXPECT_LT(waited, 3000u);
}

TEST(TcpClient, PortsOutsideTheRangeAndAnEmptyHostFail) {
    Client client;
    client.set_host("127.0.0.1");
    for (int32_t port : {0, -1, 65536}) {
        client.set_port(port);
        EXPECT_FALSE(client.connect(1000)) << port;
    }
    client.set_host("");
    client.set_port(80);
    EXPECT_FALSE(client.connect(1000));
    std::string line;
    EXPECT_FALSE(client.write_line("x", 100));
    EXPECT_EQ(client.read_line(line, 100), LineStatus::Failed);
}

TEST(TcpClient, WritingToAPeerThatHasGoneFailsInsteadOfEndingTheProcess) {
    LoopbackPeer peer("");
    Client client;
    ASSERT_TRUE(connect_to(client, peer.port()));
    ASSERT_TRUE(client.write_line("first", 1000));
    peer.received();
    // The peer has closed: writes soon fail (a reset), and SIGPIPE must not end this process.
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i) failed = !client.write_line(std::string(65536, 'x'), 1000);
    EXPECT_TRUE(failed);
}

}  // namespace
