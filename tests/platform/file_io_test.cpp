// The files the system keeps and the writes of every facility: write_all with and without a deadline,
// and the one read-edit-replace step under the writers' lock.
#include "file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "temp_folder.h"

namespace tavc::file_io {
namespace {

using namespace std::chrono_literals;
using Clock = timing::Deadline::Clock;

// Both ends of a local stream socket pair, or of a pipe.
struct Ends {
    ~Ends() {
        close_reader();
        if (writer >= 0) ::close(writer);
    }
    void close_reader() {
        if (reader >= 0) ::close(reader);
        reader = -1;
    }
    std::string drain() {
        std::string got;
        char buf[65536];
        for (ssize_t n; (n = ::read(reader, buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
        return got;
    }
    int reader = -1;
    int writer = -1;
};

Ends socket_pair(bool nonblocking_writer) {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    if (nonblocking_writer) ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    return Ends{fds[0], fds[1]};
}

// Fills the writer's buffer so that the next write finds no room.
size_t fill(const Ends& ends) {
    std::string block(65536, 'f');
    size_t total = 0;
    for (ssize_t n; (n = ::send(ends.writer, block.data(), block.size(), MSG_DONTWAIT)) > 0;)
        total += static_cast<size_t>(n);
    return total;
}

TEST(WriteAll, WritesEverythingAndSaysSo) {
    Ends ends = socket_pair(false);
    WriteResult result = write_all(ends.writer, "some bytes");
    EXPECT_TRUE(result);
    EXPECT_EQ(result.status, WriteStatus::Written);
    EXPECT_EQ(result.written, 10u);
    EXPECT_EQ(ends.drain(), "some bytes");
    EXPECT_TRUE(write_all(ends.writer, ""));
}

TEST(WriteAll, WaitsForRoomOnANonBlockingDescriptorWithoutADeadline) {
    Ends ends = socket_pair(true);
    size_t filled = fill(ends);
    std::string got;
    std::thread reader([&] {
        std::this_thread::sleep_for(20ms);
        for (;;) {
            got += ends.drain();
            if (got.size() >= filled + 100000) return;
            std::this_thread::sleep_for(1ms);
        }
    });
    std::string data(100000, 'd');
    WriteResult result = write_all(ends.writer, data);
    reader.join();
    EXPECT_EQ(result.status, WriteStatus::Written);
    EXPECT_EQ(result.written, data.size());
    EXPECT_EQ(got, std::string(filled, 'f') + data);
}

TEST(WriteAll, StopsAtTheDeadlineWithWhatWasTakenAndNotBefore) {
    Ends ends = socket_pair(true);
    fill(ends);
    const timing::Deadline deadline = timing::Deadline::after(30ms);
    WriteResult result = write_all(ends.writer, std::string(1000, 'd'), deadline);
    EXPECT_GE(Clock::now(), deadline.when());
    EXPECT_EQ(result.status, WriteStatus::TimedOut);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.written, 0u);
}

TEST(WriteAll, ToASocketWhosePeerHasGoneFailsWithEpipeAndNoSignal) {
    Ends ends = socket_pair(false);
    ends.close_reader();
    WriteResult result = write_all(ends.writer, "lost");
    EXPECT_EQ(result.status, WriteStatus::Failed);
    EXPECT_EQ(result.error, EPIPE);
}

TEST(WriteAll, ReportsTheErrorOfAWriteThatFails) {
    WriteResult result = write_all(-1, "x");
    EXPECT_EQ(result.status, WriteStatus::Failed);
    EXPECT_EQ(result.error, EBADF);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    // A pipe's read end: open, but not for writing.
    result = write_all(fds[0], "x", timing::Deadline::after(1s));
    EXPECT_EQ(result.status, WriteStatus::Failed);
    EXPECT_EQ(result.error, EBADF);
    ::close(fds[0]);
    ::close(fds[1]);
}

// ---- edit_under_lock ----------------------------------------------------------------------------------

class EditUnderLock : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder_.ok()); }

    void put(const std::string& text, mode_t mode) {
        std::ofstream(path_, std::ios::binary) << text;
        ASSERT_EQ(::chmod(path_.c_str(), mode), 0);
    }
    mode_t mode_of(const std::string& path) const {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0);
        return st.st_mode & 07777;
    }
    bool exists(const std::string& path) const {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0;
    }
    // An edit that appends `more` to what it finds, and records what that was.
    std::function<Edited(std::string&)> append(std::string more) {
        return [this, more](std::string& text) {
            seen_ = text;
            return Edited::changed(text + more);
        };
    }

    test::TempFolder folder_{"file_io"};
    const std::string path_ = folder_ / "data";
    const std::string lock_ = folder_ / "data.lock";
    std::string seen_ = "(not called)";
};

TEST_F(EditUnderLock, EditsAMissingFileAsEmptyAndMakesItForItsOwnerOnly) {
    EXPECT_TRUE(edit_under_lock(path_, lock_, append("new")));
    EXPECT_EQ(seen_, "");
    EXPECT_EQ(test::read_file(path_), "new");
    EXPECT_EQ(mode_of(path_), 0600u);
    EXPECT_EQ(mode_of(lock_), 0600u);
    EXPECT_FALSE(exists(path_ + ".tmp"));
}

TEST_F(EditUnderLock, ReplacesTheFileWithItsOwnModeOrTheOneGiven) {
    put("old", 0640);
    EXPECT_TRUE(edit_under_lock(path_, lock_, append("+1")));
    EXPECT_EQ(seen_, "old");
    EXPECT_EQ(test::read_file(path_), "old+1");
    EXPECT_EQ(mode_of(path_), 0640u);
    EXPECT_TRUE(edit_under_lock(path_, lock_, append("+2"), 0600));
    EXPECT_EQ(test::read_file(path_), "old+1+2");
    EXPECT_EQ(mode_of(path_), 0600u);
}

TEST_F(EditUnderLock, LendsALinksTargetItsModeNeverAndReplacesTheLinkNotTheTarget) {
    const std::string target = folder_ / "target";
    std::ofstream(target) << "target";
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    EXPECT_TRUE(edit_under_lock(path_, lock_, append("+1")));
    EXPECT_EQ(seen_, "target");
    EXPECT_EQ(mode_of(path_), 0600u);
    EXPECT_EQ(test::read_file(target), "target");
}

TEST_F(EditUnderLock, LeavesTheFileAsItWasWhenTheEditChangesNothingOrRefuses) {
    put("old", 0644);
    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);
    EXPECT_TRUE(edit_under_lock(path_, lock_, [](std::string&) { return Edited::unchanged(); }));
    EXPECT_FALSE(edit_under_lock(path_, lock_, [](std::string&) { return Edited::refused(); }));
    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(test::read_file(path_), "old");
}

TEST_F(EditUnderLock, ReplacesWhatAWriterKilledMidwayLeftInTheTemporaryFile) {
    put("old", 0600);
    std::ofstream(path_ + ".tmp") << "half";
    EXPECT_TRUE(edit_under_lock(path_, lock_, append("+1")));
    EXPECT_EQ(test::read_file(path_), "old+1");
    EXPECT_FALSE(exists(path_ + ".tmp"));
}

TEST_F(EditUnderLock, EditsOnceTheWriterBeforeItLetsGo) {
    put("old", 0600);
    std::optional<Fd> held = lock_file(lock_, true, true);
    ASSERT_TRUE(held.has_value());
    std::atomic<bool> released{false};
    std::thread holder([&] {
        std::this_thread::sleep_for(100ms);
        released.store(true);
        held.reset();
    });
    bool released_first = false;
    EXPECT_TRUE(edit_under_lock(path_, lock_, [&](std::string& text) {
        released_first = released.load();
        return Edited::changed(text + "+1");
    }));
    holder.join();
    EXPECT_TRUE(released_first);
    EXPECT_EQ(test::read_file(path_), "old+1");
}

TEST_F(EditUnderLock, FailsWithoutCallingTheEditWhenTheFileCannotBeRead) {
    ASSERT_EQ(::mkdir(path_.c_str(), 0700), 0);  // a folder where the file belongs
    EXPECT_FALSE(edit_under_lock(path_, lock_, append("x")));
    EXPECT_EQ(seen_, "(not called)");
}

}  // namespace
}  // namespace tavc::file_io
