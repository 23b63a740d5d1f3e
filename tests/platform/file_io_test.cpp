// The files the system keeps and the writes of every facility: write_all with and without a deadline.
#include "file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

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

}  // namespace
}  // namespace tavc::file_io
