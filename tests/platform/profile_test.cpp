#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "profile.h"
#include "temp_folder.h"

namespace fs = std::filesystem;
using tavc::profile::Document;
using tavc::profile::Entry;

namespace {

class ProfileFile : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(temp_.ok()); }

    std::string text() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    void write_text(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

    tavc::test::TempFolder temp_{"profile-test"};
    const fs::path folder_{temp_.path()};
    const std::string path_{temp_ / "test.ini"};
};

// A file as a person might leave it after editing it by hand.
const char kHandEdited[] =
    "stray=before any section\r\n"
    "\r\n"
    "  [ Alpha ]  \r\n"
    "; a comment=not an entry\r\n"
    "junk without an equals sign\r\n"
    "  one = 1  \r\n"
    "\r\n"
    "TWO=2=two\r\n"
    "one=shadowed\r\n"
    "[beta\r\n"
    "x=\r\n"
    "[alpha]\r\n"
    "three=3\r\n";

TEST(ProfileDocument, ReadsAHandEditedFileSanely) {
    Document doc = Document::parse(kHandEdited);
    EXPECT_EQ(doc.find("alpha", "ONE"), "1");
    EXPECT_EQ(doc.find("ALPHA", "two"), "2=two");
    EXPECT_EQ(doc.find("Beta", "x"), "");
    // Only the first section and the first key of a name count.
    EXPECT_EQ(doc.find("alpha", "three"), std::nullopt);
    EXPECT_EQ(doc.find("alpha", "; a comment"), std::nullopt);
    EXPECT_EQ(doc.find("alpha", "junk without an equals sign"), std::nullopt);
    EXPECT_EQ(doc.find("gamma", "one"), std::nullopt);
    std::vector<Entry> expected{{"one", "1"}, {"TWO", "2=two"}, {"one", "shadowed"}};
    EXPECT_EQ(doc.entries("alpha"), expected);
    EXPECT_TRUE(doc.entries("gamma").empty());
}

TEST(ProfileDocument, ChangesTouchOnlyTheirLineAndKeepTheRestAndTheLineEnds) {
    Document doc = Document::parse(kHandEdited);
    doc.set("ALPHA", "two", "zwei");
    doc.set("alpha", "four", "4");
    EXPECT_TRUE(doc.remove("alpha", "ONE"));
    EXPECT_FALSE(doc.remove("alpha", "five"));
    doc.set("Gamma", "k", "v");
    EXPECT_EQ(doc.text(),
              "stray=before any section\r\n"
              "\r\n"
              "  [ Alpha ]  \r\n"
              "; a comment=not an entry\r\n"
              "junk without an equals sign\r\n"
              "\r\n"
              "TWO=zwei\r\n"
              "one=shadowed\r\n"
              "four=4\r\n"
              "[beta\r\n"
              "x=\r\n"
              "[alpha]\r\n"
              "three=3\r\n"
              "\r\n"
              "[Gamma]\r\n"
              "k=v\r\n");
}

TEST(ProfileDocument, ANewFileGetsLfLinesAndABlankLineBetweenSections) {
    Document doc;
    doc.set("A", "k1", "v1");
    doc.set("B", "k", "v");
    doc.set("a", "k2", "");
    EXPECT_EQ(doc.text(), "[A]\nk1=v1\nk2=\n\n[B]\nk=v\n");
    EXPECT_EQ(Document::parse("[A]\nk=v").text(), "[A]\nk=v\n");
}

TEST_F(ProfileFile, AMissingFileReadsAsEmptyAndIsNotCreatedByReading) {
    EXPECT_EQ(tavc::profile::read(path_, "s", "k"), std::nullopt);
    auto listed = tavc::profile::entries(path_, "s");
    ASSERT_TRUE(listed.has_value());
    EXPECT_TRUE(listed->empty());
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(ProfileFile, WritesCreateTheFileForItsOwnerOnly) {
    ::umask(0);
    bool written = tavc::profile::write(path_, "s", "k", "v");
    ::umask(022);
    ASSERT_TRUE(written);
    EXPECT_EQ(text(), "[s]\nk=v\n");
    for (const std::string& file : {path_, path_ + ".lock"}) {
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
    }
    // Nothing but the file and its lock file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

TEST_F(ProfileFile, ReadsWritesListsAndDeletesThroughTheFile) {
    write_text(kHandEdited);
    EXPECT_EQ(tavc::profile::read(path_, "alpha", "one"), "1");
    ASSERT_TRUE(tavc::profile::write(path_, "alpha", "One", "uno"));
    EXPECT_EQ(tavc::profile::read(path_, "ALPHA", "ONE"), "uno");
    EXPECT_TRUE(tavc::profile::remove(path_, "alpha", "one"));
    EXPECT_TRUE(tavc::profile::remove(path_, "alpha", "never there"));
    std::vector<Entry> expected{{"TWO", "2=two"}, {"one", "shadowed"}};
    EXPECT_EQ(tavc::profile::entries(path_, "alpha"), expected);
}

TEST_F(ProfileFile, ADeleteOfAnEntryReadEarlierSparesAnotherValueUnderItsKey) {
    write_text(kHandEdited);
    // "one" now holds another value than the one read: it stays.
    EXPECT_TRUE(tavc::profile::remove(path_, "alpha", "ONE", "uno"));
    EXPECT_EQ(tavc::profile::read(path_, "alpha", "one"), "1");
    // The shadowed second entry of the name goes when its own value is named.
    EXPECT_TRUE(tavc::profile::remove(path_, "alpha", "one", "shadowed"));
    EXPECT_TRUE(tavc::profile::remove(path_, "alpha", "one", "1"));
    std::vector<Entry> expected{{"TWO", "2=two"}};
    EXPECT_EQ(tavc::profile::entries(path_, "alpha"), expected);
}

TEST_F(ProfileFile, AWriteUnderANewKeyTakesTheFirstFreeCandidate) {
    write_text("[s]\nK0=a\nk1=b\n");
    auto key = tavc::profile::write_under_new_key(
        path_, "S", [](unsigned i) { return "k" + std::to_string(i); }, "c");
    EXPECT_EQ(key, "k2");
    EXPECT_EQ(text(), "[s]\nK0=a\nk1=b\nk2=c\n");
}

TEST_F(ProfileFile, AFileThatCannotBeReadOrReplacedIsReportedAndLeftAlone) {
    fs::create_directory(path_);  // even root cannot read or replace a folder as a file
    EXPECT_EQ(tavc::profile::entries(path_, "s"), std::nullopt);
    EXPECT_FALSE(tavc::profile::write(path_, "s", "k", "v"));
    EXPECT_EQ(tavc::profile::write_under_new_key(
                  path_, "s", [](unsigned) { return "k"; }, "v"),
              std::nullopt);
    EXPECT_TRUE(fs::is_directory(path_));
    EXPECT_FALSE(tavc::profile::write((folder_ / "missing" / "x.ini").string(), "s", "k", "v"));
}

TEST_F(ProfileFile, AWriteThatCannotTakeTheLockChangesNothing) {
    write_text("[s]\nk=v\n");
    fs::create_directory(path_ + ".lock");
    EXPECT_FALSE(tavc::profile::write(path_, "s", "k", "w"));
    EXPECT_FALSE(tavc::profile::remove(path_, "s", "k"));
    EXPECT_EQ(text(), "[s]\nk=v\n");
}

// Each child writes its own keys; with the lock and the atomic replacement no write is lost.
TEST_F(ProfileFile, TwoProcessesWritingAtTheSameTimeLoseNothing) {
    constexpr int kKeys = 150;
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kKeys; ++i) {
                std::string key = std::to_string(child) + "-" + std::to_string(i);
                ok = ok && tavc::profile::write(path_, "s", key, key) &&
                     tavc::profile::write_under_new_key(
                         path_, "n", [](unsigned j) { return std::to_string(j); }, key);
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto listed = tavc::profile::entries(path_, "s");
    ASSERT_TRUE(listed.has_value());
    EXPECT_EQ(listed->size(), 2u * kKeys);
    for (int child = 0; child < 2; ++child)
        for (int i = 0; i < kKeys; ++i) {
            std::string key = std::to_string(child) + "-" + std::to_string(i);
            EXPECT_EQ(tavc::profile::read(path_, "s", key), key);
        }
    auto numbered = tavc::profile::entries(path_, "n");
    ASSERT_TRUE(numbered.has_value());
    std::set<std::string> values;
    for (const Entry& e : *numbered) values.insert(e.value);
    EXPECT_EQ(values.size(), 2u * kKeys);
    EXPECT_EQ(numbered->size(), 2u * kKeys);
}

// A writer killed at any moment leaves the file as one of its complete versions.
TEST_F(ProfileFile, AWriterKilledMidwayLeavesACompleteFile) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::string big(2000, 'x');
        for (int i = 0;; ++i) tavc::profile::write(path_, "s", std::to_string(i), big);
    }
    // Wait for some versions to exist, then kill it wherever it is.
    for (int tries = 0; tries < 5000; ++tries) {
        auto listed = tavc::profile::entries(path_, "s");
        if (listed && listed->size() >= 30) break;
        ::usleep(1000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    auto listed = tavc::profile::entries(path_, "s");
    ASSERT_TRUE(listed.has_value());
    ASSERT_GE(listed->size(), 30u);
    for (size_t i = 0; i < listed->size(); ++i) {
        EXPECT_EQ((*listed)[i].key, std::to_string(i));
        EXPECT_EQ((*listed)[i].value, std::string(2000, 'x'));
    }
    EXPECT_EQ(text().back(), '\n');
}

// Writers killed while their new version is still being written leave it behind; the next writer
// takes it over, so a killed writer never leaves more than one such file and a finished write none.
TEST_F(ProfileFile, WhatAKilledWriterLeftIsClearedByTheNextWrite) {
    auto files = [&] { return std::distance(fs::directory_iterator(folder_), fs::directory_iterator()); };
    const std::string big(200000, 'x');
    for (int round = 0; round < 10; ++round) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0;; ++i) tavc::profile::write(path_, "s", std::to_string(i % 3), big);
        }
        // Kill it somewhere in its writes, most likely while it writes a new version.
        for (int tries = 0; tries < 5000 && !fs::exists(path_); ++tries) ::usleep(1000);
        ::usleep(1000 + 2000 * static_cast<useconds_t>(round));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        EXPECT_LE(files(), 3) << "after round " << round;
    }
    ASSERT_TRUE(tavc::profile::write(path_, "s", "last", "v"));
    EXPECT_EQ(files(), 2);
    EXPECT_EQ(tavc::profile::read(path_, "s", "last"), "v");
}

}  // namespace
