// The single-instance lock, window messages between processes and the per-user runtime folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "instance.h"
#include "temp_folder.h"

namespace tavc::instance {
namespace {

using namespace std::chrono_literals;

class InstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(runtime_.ok());
        ::chmod(runtime_.path().c_str(), 0700);
    }
    test::TempFolder runtime_{"instance"};
    test::ScopedEnv env_{"XDG_RUNTIME_DIR", runtime_.path()};
};

// The lock's state as another process sees it.
InstanceLock::State StateInChild(const std::string& name) {
    pid_t pid = ::fork();
    if (pid == 0) _exit(static_cast<int>(InstanceLock::acquire(name).state()));
    int status = 0;
    ::waitpid(pid, &status, 0);
    return static_cast<InstanceLock::State>(WEXITSTATUS(status));
}

TEST_F(InstanceTest, ASecondProcessFindsTheLockTakenUntilItIsReleased) {
    InstanceLock lock = InstanceLock::acquire("tavcclt");
    ASSERT_EQ(lock.state(), InstanceLock::State::Acquired);
    EXPECT_EQ(StateInChild("tavcclt"), InstanceLock::State::AlreadyExists);
    EXPECT_EQ(StateInChild("tavcclt-copy"), InstanceLock::State::Acquired);  // another file name
    lock.release();
    EXPECT_EQ(StateInChild("tavcclt"), InstanceLock::State::Acquired);
    EXPECT_EQ(InstanceLock::acquire("a/b").state(), InstanceLock::State::Failed);
}

std::optional<MessageEndpoint::Pending> WaitForSender(MessageEndpoint& endpoint) {
    for (int i = 0; i < 500; ++i) {
        if (std::optional<MessageEndpoint::Pending> pending = endpoint.receive()) return pending;
        std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
}

TEST_F(InstanceTest, ASentMessageWaitsUntilTheReceiverHasHandledIt) {
    EXPECT_FALSE(send_message("window", {0x402, 0, 0}).has_value());  // no such window
    std::unique_ptr<MessageEndpoint> endpoint = MessageEndpoint::create("window");
    ASSERT_NE(endpoint, nullptr);
    std::future<std::optional<int64_t>> sent = std::async(std::launch::async, [] {
        return send_message("window", {0x402, 7, -3});
    });
    std::optional<MessageEndpoint::Pending> pending = WaitForSender(*endpoint);
    ASSERT_TRUE(pending.has_value());
    EXPECT_EQ(pending->message().message, 0x402u);
    EXPECT_EQ(pending->message().wparam, 7u);
    EXPECT_EQ(pending->message().lparam, -3);
    // Still waiting: not handled yet.
    EXPECT_EQ(sent.wait_for(200ms), std::future_status::timeout);
    pending->reply(42);
    ASSERT_EQ(sent.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(sent.get(), 42);
}

TEST_F(InstanceTest, AReceiverThatEndsReleasesTheSender) {
    auto endpoint = MessageEndpoint::create("window");
    ASSERT_NE(endpoint, nullptr);
    std::future<std::optional<int64_t>> sent = std::async(std::launch::async, [] {
        return send_message("window", {0x402, 0, 0});
    });
    std::optional<MessageEndpoint::Pending> pending = WaitForSender(*endpoint);
    ASSERT_TRUE(pending.has_value());
    pending.reset();  // gone without an explicit answer
    ASSERT_EQ(sent.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(sent.get(), 0);
}

TEST(InstanceFolder, WithoutXdgRuntimeDirAPrivateFolderOfTheUserServes) {
    test::ScopedEnv unset("XDG_RUNTIME_DIR", std::nullopt);
    std::optional<std::string> folder = runtime_folder();
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(*folder, "/tmp/tavc-" + std::to_string(::getuid()) + "/tavc");
    struct stat st {};
    ASSERT_EQ(::lstat(folder->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());
}

}  // namespace
}  // namespace tavc::instance
