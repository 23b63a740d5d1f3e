#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "cache_file.h"
#include "child_process.h"
#include "codepage.h"
#include "copied_host.h"
#include "profile.h"
#include "rating_server_fake.h"
#include "results.h"

using namespace std::chrono_literals;
using namespace tavc::tessel;
using tavc::test::ChildProcess;
using tavc::test::CopiedHost;
using tavc::test::FakeRatingServer;
using tavc::test::RatingReply;
using tavc::test::RatingRequest;

namespace {

std::string gbk(const char* utf8) {
    return tavc::codepage::gbk_from_utf8(utf8);
}

struct Rating {
    std::string time;
    std::string record;
};

// The n-th second of a day, as a stamp.
std::string stamp(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "2024-05-06%%20%02d:%02d:%02d", n / 3600, n / 60 % 60, n % 60);
    return text;
}

class RatingUpload : public ::testing::Test {
  protected:
    void cache(const std::vector<Rating>& ratings) {
        std::string text = "[" + RemarksSection() + "]\n";
        for (const Rating& r : ratings) text += HexEncode(r.time) + "=" + HexEncode(r.record) + "\n";
        host_.write_cache(text);
    }
    // The ratings still cached, in file order.
    std::vector<Rating> cached() const {
        std::vector<Rating> out;
        auto entries = tavc::profile::entries(host_.cache_file().string(), RemarksSection());
        EXPECT_TRUE(entries.has_value());
        for (const auto& e : entries.value_or(std::vector<tavc::profile::Entry>{}))
            out.push_back({HexDecode(e.key), HexDecode(e.value)});
        return out;
    }
    std::vector<std::string> cached_times() const {
        std::vector<std::string> out;
        for (const Rating& r : cached()) out.push_back(r.time);
        return out;
    }
    int32_t upload(const FakeRatingServer& server, std::string url = "") {
        return host_.call(
            {"TAVCUploadRemarks", url.empty() ? server.url() : url, std::to_string(server.port())});
    }
    static std::vector<std::string> times_of(const std::vector<RatingRequest>& requests) {
        std::vector<std::string> out;
        for (const RatingRequest& r : requests) out.push_back(r.query("time"));
        return out;
    }

    const std::vector<Rating> three_{{stamp(3), "0001,I,"}, {stamp(1), "0002,J,"}, {stamp(2), "0003,K,"}};
    CopiedHost host_;
};

// A refusing server shows that no connection was even tried: a try would have answered kServerUnreachable.
TEST_F(RatingUpload, WithoutCacheFileOrSectionThereIsNothingToSend) {
    FakeRatingServer server;
    server.refuse_connections();
    EXPECT_EQ(upload(server), 0);
    host_.write_cache("[" + LoginsSection() + "]\n" + HexEncode("0001") + "=" + HexEncode("abc") + "\n");
    EXPECT_EQ(upload(server), 0);
    // Nor is anything made beside the host for it.
    EXPECT_FALSE(std::filesystem::exists(host_.cache_file().string() + ".upload.lock"));
}

TEST_F(RatingUpload, SendsEveryRatingInFileOrderAndDeletesEachAcceptedOne) {
    cache(three_);
    FakeRatingServer server;
    EXPECT_EQ(upload(server), 0);
    auto requests = server.requests(3);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(times_of(requests), (std::vector<std::string>{stamp(3), stamp(1), stamp(2)}));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(requests[i].page, "sremark.asp");
        EXPECT_EQ(requests[i].query("user"), three_[i].record.substr(0, 4));
        EXPECT_EQ(requests[i].query("remark"), three_[i].record.substr(5, 1));
        EXPECT_EQ(requests[i].query("detail"), "");
    }
    EXPECT_TRUE(cached().empty());
}

TEST_F(RatingUpload, KeepsWhatTheServerDoesNotAcceptAndGoesOn) {
    cache(three_);
    // The second is refused, the third gets no answer.
    FakeRatingServer server([](const RatingRequest&, size_t i) {
        return i == 0 ? RatingReply::answer('0') : i == 1 ? RatingReply::answer('1') : RatingReply::hang_up();
    });
    EXPECT_EQ(upload(server), 0);
    EXPECT_EQ(server.requests(3).size(), 3u);
    EXPECT_EQ(cached_times(), (std::vector<std::string>{stamp(1), stamp(2)}));
}

TEST_F(RatingUpload, StopsAtTheFirstRequestThatCannotConnect) {
    cache(three_);
    FakeRatingServer server([](const RatingRequest&, size_t) {
        RatingReply reply = RatingReply::answer('0');
        reply.refuse_later = true;
        return reply;
    });
    EXPECT_EQ(upload(server), kServerUnreachable);
    EXPECT_EQ(times_of(server.requests(1)), std::vector<std::string>{stamp(3)});
    EXPECT_EQ(cached_times(), (std::vector<std::string>{stamp(1), stamp(2)}));

    // The next walk, to a server that answers, sends exactly the rest.
    FakeRatingServer next;
    EXPECT_EQ(upload(next), 0);
    EXPECT_EQ(times_of(next.requests(2)), (std::vector<std::string>{stamp(1), stamp(2)}));
    EXPECT_TRUE(cached().empty());
}

TEST_F(RatingUpload, AnUnreachableServerLeavesEverything) {
    cache(three_);
    FakeRatingServer server;
    server.refuse_connections();
    EXPECT_EQ(upload(server), kServerUnreachable);
    EXPECT_EQ(cached().size(), 3u);
}

// Every entry would be refused without a connection: that is no success either.
TEST_F(RatingUpload, AMalformedUrlSendsNothingAndSaysSo) {
    cache(three_);
    FakeRatingServer server;
    EXPECT_EQ(upload(server, "https://127.0.0.1/tavc/"), kServerUnreachable);
    EXPECT_EQ(cached().size(), 3u);
}

struct RecordCase {
    const char* name;
    std::string record;
    std::string user, remark, detail;  // as they reach the server, percent-decoded
};

class UploadedRecords : public RatingUpload, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(UploadedRecords, ReachTheServerFieldByField) {
    const RecordCase& c = GetParam();
    cache({{stamp(7), c.record}});
    FakeRatingServer server;
    EXPECT_EQ(upload(server), 0);
    auto requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].decoded("user"), c.user);
    EXPECT_EQ(requests[0].decoded("remark"), c.remark);
    EXPECT_EQ(requests[0].decoded("detail"), c.detail);
    EXPECT_EQ(requests[0].query("time"), stamp(7));
}

INSTANTIATE_TEST_SUITE_P(Cases, UploadedRecords,
                         ::testing::Values(RecordCase{"EmptyDetail", "0001,I,", "0001", "I", ""},
                                           RecordCase{"ReasonText", "0001,M," + gbk("服务态度不好"), "0001",
                                                      "M", gbk("服务态度不好")},
                                           RecordCase{"Blanks", "00 01,K,a b", "00 01", "K", "a b"},
                                           RecordCase{"CommaInTheDetail", "0001,M,a,b", "0001", "M", "a,b"},
                                           RecordCase{"LongerRemarkField", "0001,VX,d", "0001", "V", "d"}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Records lacking a field cannot be sent; they stay for a person to look at, and the walk goes on.
TEST_F(RatingUpload, SkipsAndKeepsRecordsThatCannotBeSent) {
    cache({{stamp(1), "0001"},
           {stamp(2), "0001,I"},
           {stamp(3), "0001,,x"},
           {stamp(4), "0001,"},
           {stamp(5), ""},
           {stamp(6), "0001,J,"}});
    FakeRatingServer server;
    EXPECT_EQ(upload(server), 0);
    EXPECT_EQ(times_of(server.requests(1)), std::vector<std::string>{stamp(6)});
    EXPECT_EQ(cached_times(), (std::vector<std::string>{stamp(1), stamp(2), stamp(3), stamp(4), stamp(5)}));
}

// The bound of a walk limits its requests: records that cannot be sent cost none and do not count.
TEST_F(RatingUpload, RecordsThatCannotBeSentTakeNoTurnOfTheWalk) {
    std::vector<Rating> ratings;
    for (int i = 0; i < 381; ++i) ratings.push_back({stamp(i), "0001,"});
    ratings.push_back({stamp(381), "0001,I,"});
    cache(ratings);
    FakeRatingServer server;
    EXPECT_EQ(upload(server), 0);
    EXPECT_EQ(times_of(server.requests(1)), std::vector<std::string>{stamp(381)});
    EXPECT_EQ(cached().size(), 381u);
}

TEST_F(RatingUpload, ManyRatingsGoOverSeveralWalksWithNothingLost) {
    std::vector<Rating> ratings;
    for (int i = 0; i < 400; ++i) ratings.push_back({stamp(i), "0001,I,"});
    cache(ratings);
    FakeRatingServer server;
    EXPECT_EQ(upload(server), 0);
    auto first = server.requests(381);
    ASSERT_EQ(first.size(), 381u);
    EXPECT_EQ(cached().size(), 19u);
    EXPECT_EQ(cached_times().front(), stamp(381));
    EXPECT_EQ(upload(server), 0);
    auto all = server.requests(400);
    ASSERT_EQ(all.size(), 400u);
    std::vector<std::string> expected;
    for (const Rating& r : ratings) expected.push_back(r.time);
    EXPECT_EQ(times_of(all), expected);
    EXPECT_TRUE(cached().empty());
}

// Sending on without deleting would only send the same ratings again at the next walk.
TEST_F(RatingUpload, StopsWhenAnAcceptedRatingCannotBeDeleted) {
    cache(three_);
    std::filesystem::create_directory(host_.cache_file().string() + ".lock");
    FakeRatingServer server;
    EXPECT_EQ(upload(server), kCacheUnavailable);
    EXPECT_EQ(server.requests(1).size(), 1u);
    EXPECT_EQ(cached().size(), 3u);
}

// Two programs store ratings while two others upload the same cache again and again: a walk must never
// send what the other one is sending, nor delete a rating stored since under a key it read before.
TEST_F(RatingUpload, TwoWalksAndTwoWritersAtOnceLoseNothingAndSendNothingTwice) {
    FakeRatingServer server;
    const std::string port = std::to_string(server.port());
    constexpr int kRounds = 3;
    constexpr int kPerWriter = 100;
    std::set<std::string> stored;  // user and detail of every rating stored
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<ChildProcess>> writers;
        for (int w = 0; w < 2; ++w) {
            std::string user = "r" + std::to_string(round) + "w" + std::to_string(w);
            writers.push_back(std::make_unique<ChildProcess>(
                std::vector<std::string>{host_.program().string(), "--repeat", std::to_string(kPerWriter),
                                         "TAVCRemarkToCache", user, std::to_string('I'), "{n}"}));
            for (int i = 0; i < kPerWriter; ++i) stored.insert(user + "," + std::to_string(i));
        }
        auto writing = [&] {
            for (auto& writer : writers)
                if (!writer->wait(0ms)) return true;
            return false;
        };
        do {
            for (int32_t r : host_.call_together(
                     {{"TAVCUploadRemarks", server.url(), port}, {"TAVCUploadRemarks", server.url(), port}}))
                EXPECT_TRUE(r == 0 || r == -2) << r;  // -2: it waited in vain for the other walk
        } while (writing());
        for (auto& writer : writers) EXPECT_EQ(writer->read_line(30s), "0") << "a store failed";
    }
    EXPECT_EQ(upload(server), 0);
    EXPECT_TRUE(cached().empty());

    auto requests = server.requests(stored.size());
    std::map<std::string, int> sent;
    for (const RatingRequest& r : requests) ++sent[r.query("user") + "," + r.query("detail")];
    for (const std::string& rating : stored) EXPECT_EQ(sent[rating], 1) << rating;
    EXPECT_EQ(requests.size(), stored.size());
}

}  // namespace
