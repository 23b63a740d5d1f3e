#include <gtest/gtest.h>

#include "clock.h"
#include "codepage.h"
#include "copied_host.h"
#include "rating_server.h"
#include "rating_server_fake.h"

using namespace tavc::tessel;
using tavc::test::CopiedHost;
using tavc::test::FakeRatingServer;
using tavc::test::RatingReply;
using tavc::test::RatingRequest;
using tavc::test::UnansweringPort;

namespace {

std::string gbk(const char* utf8) {
    return tavc::codepage::gbk_from_utf8(utf8);
}

// ---- The URL, the query values and the answer line -------------------------------------------------

struct UrlCase {
    const char* name;
    std::string url;
    std::optional<ServerUrl> split;
};

class ServerUrls : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ServerUrls, SplitIntoHostAndFirstDirectory) {
    const UrlCase& c = GetParam();
    auto split = SplitServerUrl(c.url);
    ASSERT_EQ(split.has_value(), c.split.has_value()) << c.url;
    if (!split) return;
    EXPECT_EQ(split->host, c.split->host);
    EXPECT_EQ(split->path, c.split->path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerUrls,
    ::testing::Values(
        UrlCase{"HostOnlyIsThreeItems", "http://host", std::nullopt},
        UrlCase{"FinalSlashGivesTheRoot", "http://host/", ServerUrl{"host", "/"}},
        UrlCase{"Directory", "http://host/tavc", ServerUrl{"host", "/tavc"}},
        UrlCase{"DirectoryAndSlash", "http://host/tavc/", ServerUrl{"host", "/tavc"}},
        UrlCase{"FurtherSegmentsIgnored", "http://host/tavc/more/page.asp", ServerUrl{"host", "/tavc"}},
        UrlCase{"UpperCaseScheme", "HTTP://host/tavc/", std::nullopt},
        UrlCase{"SecureScheme", "https://host/tavc/", std::nullopt},
        UrlCase{"OneSlashAfterTheScheme", "http:/host/tavc/", std::nullopt},
        UrlCase{"PortStaysInTheHost", "http://127.0.0.1:8080/tavc/", ServerUrl{"127.0.0.1:8080", "/tavc"}},
        UrlCase{"BlanksAroundAreSkipped", " \t http://host/tavc/ \r\n", ServerUrl{"host", "/tavc"}},
        UrlCase{"ABlankSplitsAnItem", "http://ho st/tavc/", ServerUrl{"ho", "/st"}},
        UrlCase{"BlanksBesideASlashAreSkipped", "http:// host / tavc/", ServerUrl{"host", "/tavc"}},
        UrlCase{"DoubleSlashIsAnEmptyItem", "http://host//tavc/", ServerUrl{"host", "/"}},
        UrlCase{"EmptyHost", "http:///tavc/", ServerUrl{"", "/tavc"}},
        UrlCase{"QuotesAreOrdinaryCharacters", "http://\"host\"/\"d\"/", ServerUrl{"\"host\"", "/\"d\""}},
        UrlCase{"GbkDirectory", gbk("http://host/评价/"), ServerUrl{"host", gbk("/评价")}},
        // A lead byte before a slash or a control byte is a broken pair, not a character hiding them.
        UrlCase{"LeadByteBeforeASlash", "http://h\x81/d/", ServerUrl{"h\x81", "/d"}},
        UrlCase{"LeadByteBeforeALineEnd", "http://h/d\x81\r\nX: 1/", ServerUrl{"h", "/d\x81"}},
        UrlCase{"Empty", "", std::nullopt}, UrlCase{"SchemeOnly", "http:", std::nullopt}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(QueryValues, EncodeExactlyTheBytesThatChangeTheRequest) {
    EXPECT_EQ(PercentEncode("a b\r\n\t\x7f\"#%&+=", true), "a%20b%0D%0A%09%7F%22%23%25%26%2B%3D");
    std::string kept = "0001?/:;@!$'()*,-._~" + gbk("服务态度不好") + "\x80\xff";
    EXPECT_EQ(PercentEncode(kept, true), kept);
    EXPECT_EQ(PercentEncode("2024-05-06%2007:08:09", false), "2024-05-06%2007:08:09");
    EXPECT_EQ(PercentEncode("2024 x\r\n&=", false), "2024%20x%0D%0A&=");
}

TEST(AnswerLines, AreTheFirstLinesEndingInTheMarkAndBeginWithTheDigit) {
    EXPECT_EQ(AnswerOf("0</>"), 0);
    EXPECT_EQ(AnswerOf("  \t3</>\r "), 3);
    EXPECT_EQ(AnswerOf("9 whatever</>"), 9);
    EXPECT_EQ(AnswerOf("</>"), kNoReply);
    EXPECT_EQ(AnswerOf("x0</>"), kNoReply);
    EXPECT_EQ(AnswerOf("0</> more"), std::nullopt);
    EXPECT_EQ(AnswerOf("0</"), std::nullopt);
    EXPECT_EQ(AnswerOf(""), std::nullopt);
}

// ---- Requests against the loopback server, from a host program -------------------------------------

class RatingServerRequests : public ::testing::Test {
  protected:
    int32_t login(const FakeRatingServer& server, const std::string& user = "0001",
                  const std::string& passwd = "abc", std::string url = "") {
        return host_.call(
            {"TAVCLoginToDB", user, passwd, url.empty() ? server.url() : url, std::to_string(server.port())});
    }
    int32_t remark(const FakeRatingServer& server, const std::string& user, char remark_byte,
                   const std::string& detail, const std::string& time) {
        return host_.call({"TAVCRemarkToDB", user, std::to_string(static_cast<unsigned char>(remark_byte)),
                           detail, time, server.url(), std::to_string(server.port())});
    }
    std::string host_header(const FakeRatingServer& server) {
        return "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
    }

    CopiedHost host_;
};

TEST_F(RatingServerRequests, TheLoginRequestIsExactlyTheRequestLineTheHostHeaderAndThreeLineEnds) {
    FakeRatingServer server;
    ASSERT_EQ(login(server), 0);
    auto requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "GET /tavc/slogin.asp?user=0001&passwd=abc HTTP/1.1\r\n" + host_header(server) + "\r\n\r\n");
}

TEST_F(RatingServerRequests, TheRatingRequestCarriesAnEmptyDetailAndTheTimeAsItStands) {
    FakeRatingServer server;
    ASSERT_EQ(remark(server, "0001", 'I', "", "2024-05-06%2007:08:09"), 0);
    auto requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "GET /tavc/sremark.asp?user=0001&remark=I&detail=&time=2024-05-06%2007:08:09 HTTP/1.1\r\n" +
                  host_header(server) + "\r\n\r\n");
}

TEST_F(RatingServerRequests, TheRootPathGivesTwoSlashesBeforeThePage) {
    FakeRatingServer server;
    ASSERT_EQ(login(server, "0001", "abc", "http://127.0.0.1/"), 0);
    auto requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw.substr(0, 18), "GET //slogin.asp?u");
}

// A CR LF in a value would add header lines; a blank, "&" or "=" would change what the server reads.
TEST_F(RatingServerRequests, QueryValuesCannotChangeTheRequest) {
    FakeRatingServer server;
    ASSERT_EQ(login(server, "a b&c=d", "p%w#\r\nX-Injected: 1"), 0);
    ASSERT_EQ(remark(server, "0001", '&', gbk("服务 态度+不好"), "2024-05-06%2007:08:09\r\nX: y"), 0);
    auto requests = server.requests(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].raw,
              "GET /tavc/slogin.asp?user=a%20b%26c%3Dd&passwd=p%25w%23%0D%0AX-Injected:%201 "
              "HTTP/1.1\r\n" +
                  host_header(server) + "\r\n\r\n");
    EXPECT_EQ(requests[0].decoded("passwd"), "p%w#\r\nX-Injected: 1");
    EXPECT_EQ(requests[1].raw,
              "GET /tavc/sremark.asp?user=0001&remark=%26&detail=" + gbk("服务%20态度%2B不好") +
                  "&time=2024-05-06%2007:08:09%0D%0AX:%20y HTTP/1.1\r\n" + host_header(server) + "\r\n\r\n");
}

struct ReplyCase {
    const char* name;
    RatingReply reply;
    int32_t result;
};

class ServerReplies : public RatingServerRequests, public ::testing::WithParamInterface<ReplyCase> {};

// Each of these is judged without waiting out the 5000 ms: the host program's start lies inside the
// measured time too, so only the answer time-out itself is the line.
TEST_P(ServerReplies, AreJudgedByTheirAnswerLine) {
    const ReplyCase& c = GetParam();
    FakeRatingServer server([&](const RatingRequest&, size_t) { return c.reply; });
    uint32_t start = tavc::clock::tick_count();
    EXPECT_EQ(login(server), c.result);
    uint32_t took = tavc::clock::tick_count() - start;
    EXPECT_GE(took, c.reply.delay_ms);
    EXPECT_LT(took, kAnswerTimeoutMs);
}

RatingReply raw(std::string bytes, uint32_t delay_ms = 0) {
    return RatingReply{std::move(bytes), delay_ms};
}

const std::string kTooLong(20000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerReplies,
    ::testing::Values(
        ReplyCase{"Accepted", RatingReply::answer('0'), 0},
        ReplyCase{"InvalidUser", RatingReply::answer('2'), 2},
        ReplyCase{"DigitNine", RatingReply::answer('9'), 9},
        ReplyCase{"AfterOtherLines", RatingReply::lines({"X: 1", "", "line", "1 not the answer", "  3</>  "}),
                  3},
        ReplyCase{"BlanksAndCrAround", raw("\t 0</> \r\r\n"), 0}, ReplyCase{"LfOnly", raw("a\n4</>\n"), 4},
        ReplyCase{"OnlyTheFirstAnswerLineCounts", RatingReply::lines({"2</>", "0</>"}), 2},
        ReplyCase{"AfterADelay", RatingReply{RatingReply::answer('1').bytes, 300}, 1},
        ReplyCase{"LastLineWithoutLineEnd", raw("HTTP/1.1 200 OK\r\n\r\n5</>"), 5},
        ReplyCase{"OverLongLineSkipped", RatingReply::lines({kTooLong, "6</>"}), 6},
        ReplyCase{"OverLongAnswerLineIsNoAnswer", RatingReply::lines({kTooLong + "0</>"}), kNoReply},
        ReplyCase{"AnswerLineWithoutDigit", RatingReply::lines({"</>", "0</>"}), kNoReply},
        ReplyCase{"NoAnswerLineThenClosed", RatingReply::lines({"HTTP/1.1 200 OK", "", "nothing"}), kNoReply},
        ReplyCase{"HangUpWithoutAByte", RatingReply::hang_up(), kNoReply}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(RatingServerRequests, SilenceGivesNoAnswerAfterFiveSeconds) {
    for (RatingReply reply : {RatingReply::silence(), RatingReply{"HTTP/1.1 200 OK\r\n\r\n0</", 0, true}}) {
        FakeRatingServer server([&](const RatingRequest&, size_t) { return reply; });
        uint32_t start = tavc::clock::tick_count();
        EXPECT_EQ(login(server), kNoReply);
        uint32_t took = tavc::clock::tick_count() - start;
        EXPECT_GE(took, kAnswerTimeoutMs);
        EXPECT_LT(took, 9000u);
    }
}

// A refused connection is not waited on: neither call waits out the answer time-out. (Whether it waits
// out the 1000 ms of connecting cannot be told from the host programs' start on a busy machine; the
// platform test of the TCP client checks that.)
TEST_F(RatingServerRequests, ARefusedConnectionGivesMinusTwoWithoutWaitingForAnAnswer) {
    FakeRatingServer server;
    server.refuse_connections();
    uint32_t start = tavc::clock::tick_count();
    EXPECT_EQ(login(server), kNoConnection);
    EXPECT_EQ(remark(server, "0001", 'I', "", "2024-05-06%2007:08:09"), kNoConnection);
    EXPECT_LT(tavc::clock::tick_count() - start, kAnswerTimeoutMs);
    EXPECT_FALSE(std::filesystem::exists(host_.cache_file()));
}

TEST_F(RatingServerRequests, AConnectionWithoutAnswerGivesMinusTwoAfterOneSecond) {
    UnansweringPort port;
    if (!port.ready()) GTEST_SKIP() << "this machine answers every loopback connection attempt";
    uint32_t start = tavc::clock::tick_count();
    EXPECT_EQ(
        host_.call({"TAVCLoginToDB", "0001", "abc", "http://127.0.0.1/tavc/", std::to_string(port.port())}),
        kNoConnection);
    uint32_t took = tavc::clock::tick_count() - start;
    EXPECT_GE(took, kConnectTimeoutMs);
    // Not the answer time-out, nor the minutes of the system's own connect retries.
    EXPECT_LT(took, kAnswerTimeoutMs);
}

TEST_F(RatingServerRequests, AMalformedUrlOrPortConnectsNowhere) {
    FakeRatingServer server([](const RatingRequest&, size_t) { return RatingReply::hang_up(); });
    std::string port = std::to_string(server.port());
    // A connection would have been hung up on (-5): these never got that far.
    EXPECT_EQ(host_.call({"TAVCLoginToDB", "0001", "abc", "http://127.0.0.1", port}), kMalformedUrl);
    EXPECT_EQ(host_.call({"TAVCLoginToDB", "0001", "abc", "--null", port}), kMalformedUrl);
    EXPECT_EQ(host_.call({"TAVCRemarkToDB", "0001", "73", "", "t", "https://127.0.0.1/tavc/", port}),
              kMalformedUrl);
    for (const char* bad_port : {"0", "-80", "65536"})
        EXPECT_EQ(host_.call({"TAVCLoginToDB", "0001", "abc", server.url(), bad_port}), kNoConnection);
}

}  // namespace
