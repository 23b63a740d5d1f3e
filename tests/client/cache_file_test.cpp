#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <set>

#include "cache_file.h"
#include "child_process.h"
#include "codepage.h"
#include "copied_host.h"
#include "file_io.h"
#include "other_user.h"
#include "profile.h"
#include "rating_server_fake.h"
#include "results.h"

using namespace std::chrono_literals;
using namespace tavc::tessel;
using tavc::test::ChildProcess;
using tavc::test::CopiedHost;
using tavc::test::FakeRatingServer;
using tavc::test::RatingReply;

namespace {

std::string gbk(const char* utf8) {
    return tavc::codepage::gbk_from_utf8(utf8);
}

std::string repeated(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// ---- The codec and the record ----------------------------------------------------------------------

struct HexCase {
    std::string text;
    std::string hex;
};

class HexEncoding : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexEncoding, GivesTwoUpperCaseDigitsPerByteAndDecodesBack) {
    EXPECT_EQ(HexEncode(GetParam().text), GetParam().hex);
    EXPECT_EQ(HexDecode(GetParam().hex), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, HexEncoding,
                         ::testing::Values(HexCase{"", ""}, HexCase{"Logins", "4C6F67696E73"},
                                           HexCase{"Remarks", "52656D61726B73"},
                                           HexCase{"\x7f\x80\xff", "7F80FF"},
                                           HexCase{gbk("服务"), "B7FECEF1"},
                                           HexCase{std::string(300, 'p'), repeated("70", 300)}));

TEST(HexCodec, EncodingStopsAtTheFirstNulByte) {
    EXPECT_EQ(HexEncode(std::string("ab\0cd", 5)), "6162");
}

struct DecodeCase {
    const char* hex;
    const char* text;
};

class HexDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(HexDecoding, ReadsPairsOfEitherCaseUpToTheFirstBadPairOrNulByte) {
    EXPECT_EQ(HexDecode(GetParam().hex), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, HexDecoding,
                         ::testing::Values(DecodeCase{"4c6F67", "Log"}, DecodeCase{"414", "A"},
                                           DecodeCase{"41zz42", "A"}, DecodeCase{"41 42", "A"},
                                           DecodeCase{"4100414243", "A"}, DecodeCase{"00", ""},
                                           DecodeCase{"G1", ""}, DecodeCase{"", ""}));

TEST(RatingTimeStamp, IsTheLocalTimeWithTheBlankAlreadyEncoded) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    ::setenv("TZ", "UTC-8", 1);
    ::tzset();
    EXPECT_EQ(RatingTimeStamp(0), "1970-01-01%2008:00:00");
    EXPECT_EQ(RatingTimeStamp(1717654321), "2024-06-06%2014:12:01");
    old ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

struct RecordCase {
    const char* name;
    std::string user;
    char remark;
    std::string detail;
    std::string record;
    std::optional<RatingFields> fields;  // what the upload reads back
};

class RatingRecords : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RatingRecords, AreWrittenAndReadBackWhole) {
    const RecordCase& c = GetParam();
    EXPECT_EQ(RatingRecord(c.user, c.remark, c.detail), c.record);
    auto fields = SplitRatingRecord(c.record);
    ASSERT_EQ(fields.has_value(), c.fields.has_value());
    if (!fields) return;
    EXPECT_EQ(fields->user, c.fields->user);
    EXPECT_EQ(fields->remark, c.fields->remark);
    EXPECT_EQ(fields->detail, c.fields->detail);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RatingRecords,
    ::testing::Values(
        RecordCase{"EmptyDetail", "0001", 'I', "", "0001,I,", RatingFields{"0001", 'I', ""}},
        RecordCase{"Reason", "0001", 'M', gbk("服务态度不好"), "0001,M," + gbk("服务态度不好"),
                   RatingFields{"0001", 'M', gbk("服务态度不好")}},
        RecordCase{"BlanksStay", "00 01", 'K', " a b ", "00 01,K, a b ", RatingFields{"00 01", 'K', " a b "}},
        // A comma in the detail is part of it, not the start of an ignored field.
        RecordCase{"CommaInTheDetail", "0001", 'M', "a,b", "0001,M,a,b", RatingFields{"0001", 'M', "a,b"}},
        RecordCase{"RemarkByteZeroEndsTheRecord", "0001", '\0', "lost", "0001,", std::nullopt},
        RecordCase{"EmptyRemarkField", "0001", ',', "", "0001,,,", std::nullopt}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(RatingRecords, WithoutTheirThirdFieldCannotBeSent) {
    for (const char* record : {"", "0001", "0001,I", "0001,,x"})
        EXPECT_EQ(SplitRatingRecord(record).has_value(), false) << record;
}

// ---- The file beside the host program --------------------------------------------------------------

class CacheFile : public ::testing::Test {
  protected:
    // A cache with these logins (plain user id, password), written as a person would.
    void write_logins(const std::vector<std::pair<std::string, std::string>>& logins) {
        std::string text = "[4C6F67696E73]\n";
        for (const auto& [user, passwd] : logins) text += HexEncode(user) + "=" + HexEncode(passwd) + "\n";
        host_.write_cache(text);
    }
    std::vector<tavc::profile::Entry> remarks() const {
        return tavc::profile::entries(host_.cache_file().string(), RemarksSection()).value();
    }
    // The call's result, or a test failure and none when it has not answered within 30 s.
    std::optional<int32_t> bounded_call(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{host_.program().string()};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess host(argv);
        auto line = host.read_line(30s);
        if (!line) ADD_FAILURE() << args[0] << " has not answered within 30 s";
        if (!line) return std::nullopt;
        return static_cast<int32_t>(std::stol(*line));
    }
    std::string lock_file() const { return host_.cache_file().string() + ".lock"; }

    CopiedHost host_;
};

TEST_F(CacheFile, HoldsLoginsAndRatingsInUpperCaseHexByteForByte) {
    FakeRatingServer server;
    std::time_t before = std::time(nullptr);
    ASSERT_EQ(host_.call({"TAVCLoginToDB", "0001", "abc", server.url(), std::to_string(server.port())}), 0);
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), 0);
    std::time_t after = std::time(nullptr);

    // The one thing not known beforehand is the second the rating was stored in.
    std::string text = host_.cache_text();
    bool matched = false;
    for (std::time_t t = before; t <= after && !matched; ++t)
        matched = text ==
                  "[4C6F67696E73]\n"
                  "30303031=616263\n"
                  "\n"
                  "[52656D61726B73]\n" +
                      HexEncode(RatingTimeStamp(t)) + "=303030312C492C\n";
    EXPECT_TRUE(matched) << text;
}

TEST_F(CacheFile, IsReadableByItsOwnerOnly) {
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('J'), ""}), 0);
    struct stat st {};
    ASSERT_EQ(::stat(host_.cache_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(CacheFile, AHandEditedFileWithLowerCaseHexReadsTheSame) {
    const std::string logins =
        "\r\n"
        "[" +
        lower(HexEncode("Logins")) +
        "]\r\n"
        "  " +
        lower(HexEncode("0001")) + " = " + lower(HexEncode("abc")) +
        "  \r\n"
        "junk\r\n"
        "\r\n";
    const std::string remarks_line = "[" + lower(HexEncode("Remarks")) + "]\r\n";
    host_.write_cache(logins + remarks_line + lower(HexEncode("2024-05-06%2007:08:09")) + "=" +
                      lower(HexEncode("0001,K,")) + "\r\n");
    EXPECT_EQ(host_.call({"TAVCLoginToCache", "0001", "abc"}), 0);
    EXPECT_EQ(host_.call({"TAVCLoginToCache", "0001", "ABC"}), kLoginDiffers);

    FakeRatingServer server;
    ASSERT_EQ(host_.call({"TAVCUploadRemarks", server.url(), std::to_string(server.port())}), 0);
    auto requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query("user"), "0001");
    EXPECT_EQ(requests[0].query("remark"), "K");
    EXPECT_EQ(requests[0].query("time"), "2024-05-06%2007:08:09");
    // The accepted entry is gone although its key was written in lower case; the rest stays as it was.
    EXPECT_EQ(host_.cache_text(), logins + remarks_line);
}

struct OfflineLoginCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> stored;  // none: no file at all
    bool file = true;
    std::string user;
    std::string passwd;
    int32_t result;
};

class OfflineLogin : public CacheFile, public ::testing::WithParamInterface<OfflineLoginCase> {};

TEST_P(OfflineLogin, AcceptsOnlyThePasswordTheServerConfirmed) {
    const OfflineLoginCase& c = GetParam();
    if (c.file) write_logins(c.stored);
    EXPECT_EQ(host_.call({"TAVCLoginToCache", c.user, c.passwd}), c.result);
}

const std::string kLongPassword(150, 'w');

INSTANTIATE_TEST_SUITE_P(
    Cases, OfflineLogin,
    ::testing::Values(
        OfflineLoginCase{"SamePassword", {{"0001", "abc"}}, true, "0001", "abc", kOk},
        OfflineLoginCase{"PasswordInAnotherCase", {{"0001", "abc"}}, true, "0001", "ABC", kLoginDiffers},
        OfflineLoginCase{"ReservedIdEvenWhenStored", {{"qelto", "pw"}}, true, "qelto", "pw", kReservedUserId},
        OfflineLoginCase{"ReservedIdWithoutFile", {}, false, "qelto", "", kReservedUserId},
        OfflineLoginCase{"ReservedIdInAnotherCaseIsOrdinary", {{"QELTO", "pw"}}, true, "QELTO", "pw", kOk},
        OfflineLoginCase{"NoFile", {}, false, "0001", "abc", kLoginDiffers},
        // A user id the server never confirmed must not log in, not even with an empty password.
        OfflineLoginCase{"NoFileEmptyPassword", {}, false, "0001", "", kLoginDiffers},
        OfflineLoginCase{"NoEntryEmptyPassword", {{"0002", "x"}}, true, "0001", "", kLoginDiffers},
        OfflineLoginCase{"NullTextsAreEmpty", {}, false, "--null", "--null", kLoginDiffers},
        OfflineLoginCase{"ConfirmedEmptyPassword", {{"0001", ""}}, true, "0001", "", kOk},
        OfflineLoginCase{"LongPasswordIsNotCut", {{"0001", kLongPassword}}, true, "0001", kLongPassword, kOk},
        OfflineLoginCase{"LongPasswordMustMatchWhole",
                         {{"0001", kLongPassword}},
                         true,
                         "0001",
                         kLongPassword.substr(0, 99),
                         kLoginDiffers},
        OfflineLoginCase{"GbkPassword", {{"0001", gbk("密码")}}, true, "0001", gbk("密码"), kOk}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(CacheFile, ALaterConfirmedLoginReplacesTheOldPassword) {
    FakeRatingServer server;
    std::string port = std::to_string(server.port());
    ASSERT_EQ(host_.call({"TAVCLoginToDB", "0001", "old", server.url(), port}), 0);
    ASSERT_EQ(host_.call({"TAVCLoginToDB", "0001", "new", server.url(), port}), 0);
    EXPECT_EQ(host_.call({"TAVCLoginToCache", "0001", "old"}), kLoginDiffers);
    EXPECT_EQ(host_.call({"TAVCLoginToCache", "0001", "new"}), 0);
    EXPECT_EQ(tavc::profile::entries(host_.cache_file().string(), LoginsSection())->size(), 1u);
}

TEST_F(CacheFile, AConfirmedEmptyPasswordIsAnEmptyValue) {
    FakeRatingServer server;
    ASSERT_EQ(host_.call({"TAVCLoginToDB", "0001", "", server.url(), std::to_string(server.port())}), 0);
    EXPECT_EQ(host_.cache_text(), "[4C6F67696E73]\n30303031=\n");
    EXPECT_EQ(host_.call({"TAVCLoginToCache", "0001", ""}), 0);
}

TEST_F(CacheFile, ALoginTheServerRefusesLeavesTheCacheUntouched) {
    FakeRatingServer server([](const auto&, size_t) { return RatingReply::answer('3'); });
    EXPECT_EQ(host_.call({"TAVCLoginToDB", "0001", "abc", server.url(), std::to_string(server.port())}), 3);
    EXPECT_FALSE(std::filesystem::exists(host_.cache_file()));
}

// Every store checks the key against the file, so ratings of one second, or of two programs storing
// at the same moment, each get a key of their own: the next free second.
TEST_F(CacheFile, RatingsOfTheSameSecondAreAllKept) {
    std::time_t before = std::time(nullptr);
    auto results =
        host_.call_together({{"--repeat", "40", "TAVCRemarkToCache", "0001", std::to_string('I'), "a"},
                             {"--repeat", "40", "TAVCRemarkToCache", "0002", std::to_string('J'), "b"}});
    EXPECT_EQ(results, (std::vector<int32_t>{0, 0}));
    auto entries = remarks();
    ASSERT_EQ(entries.size(), 80u);
    std::set<std::string> stamps;
    int first = 0, second = 0;
    for (const auto& e : entries) {
        std::string stamp = HexDecode(e.key);
        EXPECT_EQ(e.key, HexEncode(stamp));
        stamps.insert(stamp);
        std::string record = HexDecode(e.value);
        first += record == "0001,I,a";
        second += record == "0002,J,b";
    }
    EXPECT_EQ(stamps.size(), 80u);
    EXPECT_EQ(first, 40);
    EXPECT_EQ(second, 40);
    // The keys are valid time stamps from the first second on, in file order.
    EXPECT_GE(HexDecode(entries.front().key), RatingTimeStamp(before));
    for (size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i - 1].key, entries[i].key);
}

TEST_F(CacheFile, StoresOnlyTheLowByteOfTheRemarkAndEndsTheRecordAtAZeroByte) {
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string(0x100 + 'K'), ""}), 0);
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0002", "0", "detail"}), 0);
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "--null", std::to_string('I'), "--null"}), 0);
    auto entries = remarks();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(HexDecode(entries[0].value), "0001,K,");
    EXPECT_EQ(HexDecode(entries[1].value), "0002,");
    EXPECT_EQ(HexDecode(entries[2].value), ",I,");
}

// Whatever is done to the lock file, no call hangs: a reader needs no lock, a writer waits for it a
// bounded time and then answers its failure, having stored nothing.
TEST_F(CacheFile, AFifoInPlaceOfTheLockFileHangsNoCall) {
    write_logins({{"0001", "abc"}});
    const std::string before = host_.cache_text();
    ASSERT_EQ(::mkfifo(lock_file().c_str(), 0600), 0);
    EXPECT_EQ(bounded_call({"TAVCLoginToCache", "0001", "abc"}), 0);
    EXPECT_EQ(bounded_call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), kCacheUnavailable);
    EXPECT_EQ(host_.cache_text(), before);
}

TEST_F(CacheFile, AStoppedLockHolderHoldsUpCallsOnlyForABoundedTime) {
    write_logins({{"0001", "abc"}});
    const std::string before = host_.cache_text();
    // The holder takes the lock and stops itself: only async-signal-safe calls after the fork.
    const std::string lock = lock_file();
    pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        ::raise(SIGSTOP);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(status));

    EXPECT_EQ(bounded_call({"TAVCLoginToCache", "0001", "abc"}), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bounded_call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), kCacheUnavailable);
    EXPECT_GE(std::chrono::steady_clock::now() - start, tavc::file_io::kLockWait);
    EXPECT_EQ(host_.cache_text(), before);

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), 0);
    EXPECT_EQ(remarks().size(), 1u);
}

// A burst leaves ratings under the coming seconds; one more goes after all of them. The time bound only
// tells apart a search that grows with the square of the keys (seconds) from one that does not (the
// benchmark CrowdedCacheStore has the figure).
TEST_F(CacheFile, ACrowdedCacheTakesOneMoreRatingAfterTheLastOfItsSeconds) {
    constexpr int kKeys = 20000;
    const std::time_t now = std::time(nullptr);
    std::string text = "[" + RemarksSection() + "]\n";
    for (int i = 0; i < kKeys; ++i)
        text += HexEncode(RatingTimeStamp(now + i)) + "=" + HexEncode("0001,I,") + "\n";
    host_.write_cache(text);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0002", std::to_string('J'), ""}), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    auto entries = remarks();
    ASSERT_EQ(entries.size(), static_cast<size_t>(kKeys + 1));
    EXPECT_EQ(entries.back().key, HexEncode(RatingTimeStamp(now + kKeys)));
    EXPECT_EQ(HexDecode(entries.back().value), "0002,J,");
}

// Work and memory stay in proportion to the file, whatever it holds; a person may have left the lines.
TEST_F(CacheFile, AFileOfTwentyMegabytesOfLineEndsCostsNoMoreThanItsSize) {
    const std::string blank(20 << 20, '\n');
    host_.write_cache(blank);
    rusage usage{};
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}, &usage), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_LT(usage.ru_maxrss, tavc::test::peak_memory_bound_kb(200 * 1024)) << "kB";
    std::string text = host_.cache_text();
    EXPECT_EQ(text.substr(0, blank.size()), blank);
    ASSERT_EQ(remarks().size(), 1u);
    EXPECT_EQ(HexDecode(remarks()[0].value), "0001,I,");
}

TEST(CacheFileHost, AHostPathLongerThanAHundredBytesIsSupported) {
    CopiedHost host(std::string(120, 'd'));
    ASSERT_GT(host.cache_file().string().size(), 130u);
    ASSERT_EQ(host.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), 0);
    EXPECT_TRUE(std::filesystem::exists(host.cache_file()));
}

TEST_F(CacheFile, AStoreTheFileSystemRefusesIsNotReportedAsStored) {
    // Root may write anywhere, but not a file where a folder stands.
    std::filesystem::create_directory(host_.cache_file());
    EXPECT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), kCacheUnavailable);
    // The server's answer stands; the login only is not cached.
    FakeRatingServer server;
    EXPECT_EQ(host_.call({"TAVCLoginToDB", "0001", "abc", server.url(), std::to_string(server.port())}), 0);
    EXPECT_EQ(host_.call({"TAVCLoginToCache", "0001", "abc"}), kLoginDiffers);
}

TEST_F(CacheFile, AWritableProgramFolderKeepsItBesideTheProgramAndNothingPerUser) {
    tavc::test::TempFolder state("state");
    tavc::test::ScopedEnv state_home("XDG_STATE_HOME", state.path());
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), 0);
    EXPECT_EQ(remarks().size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(state.path()));
}

// ---- A program folder the clerk may not write: the cache per user --------------------------------

struct FolderNameCase {
    std::string folder;
    std::string name;
};

class StateFolderNames : public ::testing::TestWithParam<FolderNameCase> {};

TEST_P(StateFolderNames, AreThePathWithItsSlashesAsDashesAndOtherBytesEscaped) {
    EXPECT_EQ(StateFolderName(GetParam().folder), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StateFolderNames,
    ::testing::Values(FolderNameCase{"/usr/bin/", "usr-bin"}, FolderNameCase{"/", "-"},
                      FolderNameCase{"/opt/tavc-1.0/bin/", "opt-tavc\\x2d1.0-bin"},
                      FolderNameCase{"/opt/a-b/", "opt-a\\x2db"}, FolderNameCase{"/opt/a/b/", "opt-a-b"},
                      FolderNameCase{"/.hidden/x_y:z/", "\\x2ehidden-x_y:z"},
                      FolderNameCase{"/home/a b/\\/", "home-a\\x20b-\\x5c"},
                      FolderNameCase{"/opt/" + gbk("柜台") + "/", "opt-\\xb9\\xf1\\xcc\\xa8"}));

TEST(StateFolderNames, OfLongFoldersFitAFileNameAndStayApart) {
    const std::string common = "/" + std::string(200, 'a') + "/" + std::string(200, 'b') + "/";
    const std::string first = StateFolderName(common + "one/"), second = StateFolderName(common + "two/");
    EXPECT_EQ(first.size(), 255u);
    EXPECT_EQ(second.size(), 255u);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.substr(0, 201), std::string(200, 'a') + "-");
}

// These cases need writes to be refused, which root's never are: run as root, the host program runs as
// nobody (other_user.h). Its folder is readable and not writable for it, as an installed program's is.
class ProtectedProgramFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!user_.ok()) GTEST_SKIP() << user_.why();
        ASSERT_TRUE(state_root_.ok());
        tavc::test::OtherUser::open_up(state_root_.path(), std::filesystem::temp_directory_path());
        std::filesystem::create_directory(state_home());
        user_.give(state_home());
        host_.run_as(user_);
        other_host_.run_as(user_);
    }
    std::string state_home() const { return state_root_ / "state"; }
    std::string own_cache(const CopiedHost& host) const {
        return state_home() + "/tavc/" + StateFolderName(host.folder().string() + "/") + "/tavc.cache";
    }
    std::vector<tavc::profile::Entry> remarks(const CopiedHost& host) const {
        return tavc::profile::entries(own_cache(host), RemarksSection()).value();
    }
    static std::vector<std::string> pages(const std::vector<tavc::test::RatingRequest>& requests) {
        std::vector<std::string> out;
        for (const auto& r : requests) out.push_back(r.page);
        return out;
    }

    tavc::test::OtherUser user_;
    tavc::test::TempFolder state_root_{"tessel-state"};
    tavc::test::ScopedEnv state_env_{"XDG_STATE_HOME", state_root_ / "state"};
    CopiedHost host_{"bin"};
    CopiedHost other_host_{"bin"};
};

TEST_F(ProtectedProgramFolder, KeepsTheCachePerUserWhereEveryExportFindsIt) {
    FakeRatingServer server;
    const std::string url = server.url(), port = std::to_string(server.port());
    ASSERT_EQ(host_.call({"TAVCLoginToDB", "0001", "abc", url, port}), 0);
    EXPECT_EQ(host_.call({"TAVCLoginToCache", "0001", "abc"}), 0);
    for (char remark : {'I', 'J', 'K'})
        ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string(remark), ""}), 0);
    EXPECT_FALSE(std::filesystem::exists(host_.cache_file()));
    ASSERT_EQ(remarks(host_).size(), 3u);
    struct stat st {};
    ASSERT_EQ(::stat(own_cache(host_).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, user_.uid());
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_EQ(host_.call({"TAVCUploadRemarks", url, port}), 0);
    EXPECT_EQ(pages(server.requests(4)),
              (std::vector<std::string>{"slogin.asp", "sremark.asp", "sremark.asp", "sremark.asp"}));
    EXPECT_TRUE(remarks(host_).empty());
}

TEST_F(ProtectedProgramFolder, TwoInstallationsKeepTheirRatingsApart) {
    ASSERT_NE(host_.folder(), other_host_.folder());
    ASSERT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), 0);
    FakeRatingServer server;
    const std::string url = server.url(), port = std::to_string(server.port());
    EXPECT_EQ(other_host_.call({"TAVCUploadRemarks", url, port}), 0);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(host_.call({"TAVCUploadRemarks", url, port}), 0);
    EXPECT_EQ(pages(server.requests(1)), std::vector<std::string>{"sremark.asp"});
}

TEST_F(ProtectedProgramFolder, WithoutAWritableStateFolderNothingIsStoredAndEveryExportSaysSo) {
    ::chmod(state_home().c_str(), 0555);
    if (user_.uid() != ::getuid()) ::chown(state_home().c_str(), ::getuid(), ::getgid());
    FakeRatingServer server;
    const std::string url = server.url(), port = std::to_string(server.port());
    EXPECT_EQ(host_.call({"TAVCRemarkToCache", "0001", std::to_string('I'), ""}), kCacheUnavailable);
    // The server's answer stands; only the login is not cached.
    EXPECT_EQ(host_.call({"TAVCLoginToDB", "0001", "abc", url, port}), 0);
    EXPECT_EQ(host_.call({"TAVCLoginToCache", "0001", "abc"}), kCacheUnavailable);
    EXPECT_EQ(host_.call({"TAVCUploadRemarks", url, port}), kCacheUnavailable);
    EXPECT_EQ(pages(server.requests(1)), std::vector<std::string>{"slogin.asp"});
    ::chmod(state_home().c_str(), 0755);
}

}  // namespace
