// The assistant program installed where the clerk may not write (under /usr or /opt): its ratings go to
// the clerk's own state folder, the next server login uploads every one of them, and a rating that can be
// stored nowhere is shown in the status bar. The program runs as another account than root, which no
// permission stops: as root, the test runs it as nobody through setpriv (other_user.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "counter_road.h"
#include "other_user.h"
#include "profile.h"
#include "rating_server_fake.h"

namespace tavc::test {
namespace {

namespace fs = std::filesystem;

const std::string kNotStored = "评价未能保存,请检查缓存文件夹!";

class ProtectedProgramFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!road_.skip_reason().empty()) GTEST_SKIP() << road_.skip_reason();
        if (!road_.own_network()) GTEST_SKIP() << "no network of the test's own: port 80 may be served here";
        if (!user_.ok()) GTEST_SKIP() << user_.why();
        AssistantProgram& app = road_.app();
        // The program's folder stays read-only for it; what it writes elsewhere is its own.
        if (user_.uid() == ::getuid()) ::chmod(app.folder().c_str(), 0555);
        OtherUser::open_up(app.folder(), fs::temp_directory_path());
        for (const std::string& file : {app.probe_file(), app.stderr_file()}) std::ofstream{file};
        fs::create_directories(home());
        fs::create_directories(state_home());
        for (const std::string& path : {app.config_home(), app.runtime_dir(), app.probe_file(),
                                        app.stderr_file(), road_.terminal().slave_path(), home()})
            user_.give(path);
        app.add_env("HOME=" + home());
        app.add_env("XDG_STATE_HOME=" + state_home());
        app.set_launcher(user_.launcher());
    }
    void TearDown() override {
        ::chmod(road_.app().folder().c_str(), 0755);
        if (HasFailure() && road_.skip_reason().empty()) std::cerr << road_.trace();
    }

    std::string home() { return fs::path(road_.app().folder()).parent_path() / "home"; }
    std::string state_home() { return home() + "/.local/state"; }
    // The ratings of the cache, wherever the program keeps it.
    std::vector<std::string> CachedRatings(const std::string& cache) const {
        std::vector<std::string> out;
        for (const profile::Entry& entry :
             profile::entries(cache, CacheHex("Remarks")).value_or(std::vector<profile::Entry>{}))
            out.push_back(entry.value);
        return out;
    }
    // Every cache file below the program's folder and the state folder.
    std::vector<std::string> CacheFiles() {
        std::vector<std::string> out;
        for (const std::string& top : {road_.app().folder(), state_home()})
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top))
                if (entry.path().filename() == "tavc.cache") out.push_back(entry.path());
        return out;
    }
    // One rating asked for and answered with `key`, until the program has hidden its window again with
    // `status` in its status bar and so in its tray tip.
    void Rate(char key, const std::string& status = "") {
        road_.terminal().answer_queries(std::string(1, key));
        ASSERT_TRUE(road_.request_rating());
        ProbeLog& probe = road_.app().probe();
        EXPECT_TRUE(probe.wait_for("tray add ORB-100小助手-" + status + " available="));
        ASSERT_TRUE(probe.wait_for("rating request enabled"));
    }

    CounterRoad road_;
    OtherUser user_;
};

TEST_F(ProtectedProgramFolder, KeepsTheRatingsPerUserAndTheNextServerLoginUploadsThemAll) {
    FakeRatingServer server({}, 80);
    ASSERT_TRUE(road_.start());
    Rate('I');
    Rate('J');
    std::vector<std::string> caches = CacheFiles();
    ASSERT_EQ(caches.size(), 1u);
    EXPECT_EQ(caches[0].rfind(state_home() + "/tavc/", 0), 0u) << caches[0];
    EXPECT_EQ(CachedRatings(caches[0]), (std::vector<std::string>{CacheHex("0001,I,"), CacheHex("0001,J,")}));

    // A second start brings the window back on its login page; the server login uploads.
    AssistantProgram& app = road_.app();
    ASSERT_EQ(app.start()->wait(10s), 0);
    ASSERT_TRUE(app.probe().wait_for("login page"));
    ASSERT_TRUE(app.focus_main());
    ASSERT_TRUE(app.key("Return"));  // the id field keeps 0001; on to the password
    ASSERT_TRUE(app.type("pw"));
    ASSERT_TRUE(app.key("Tab Tab Tab space shift+Tab shift+Tab shift+Tab Return"));  // remote login
    ASSERT_TRUE(app.probe().wait_for("logged in"));
    std::vector<RatingRequest> requests = server.requests(3);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].page, "slogin.asp");
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(requests[i].page, "sremark.asp");
        EXPECT_EQ(requests[i].query("user"), "0001");
        EXPECT_EQ(requests[i].query("remark"), i == 1 ? "I" : "J");
    }
    EXPECT_TRUE(CachedRatings(caches[0]).empty());
    EXPECT_EQ(CacheFiles(), caches);
}

TEST_F(ProtectedProgramFolder, ARatingThatCannotBeStoredAnywhereIsShownInTheStatusBar) {
    // The state folder is the test's, not the program's.
    ::chown(state_home().c_str(), ::getuid(), ::getgid());
    ::chmod(state_home().c_str(), 0555);
    ASSERT_TRUE(road_.start());
    Rate('K', kNotStored);
    EXPECT_TRUE(CacheFiles().empty());
    ::chmod(state_home().c_str(), 0755);
}

}  // namespace
}  // namespace tavc::test
