// The single-instance lock, window messages between processes and the per-user runtime folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "instance.h"
#include "temp_folder.h"

namespace tavc::instance {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// The runtime folder's path is longer than a socket address may be, so every case here also shows that
// the path's length does not matter.
class InstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(runtime_.ok());
        ASSERT_EQ(::mkdir(runtime_path_.c_str(), 0700), 0);
    }
    std::string folder() const { return runtime_path_ + "/tavc"; }

    test::TempFolder runtime_{"instance"};
    const std::string runtime_path_ = runtime_ / std::string(150, 'r');
    test::ScopedEnv env_{"XDG_RUNTIME_DIR", runtime_path_};
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
    EXPECT_EQ(lock.folder(), folder());
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

// Whether a message sent to the program `name` reaches `endpoint`, which answers it with 1.
bool Reaches(const std::string& name, MessageEndpoint& endpoint) {
    std::future<std::optional<int64_t>> sent = std::async(std::launch::async, [&] {
        return send_message(name, {0x402, 0, 0});
    });
    std::optional<MessageEndpoint::Pending> pending = WaitForSender(endpoint);
    if (pending) pending->reply(1);
    return sent.wait_for(10s) == std::future_status::ready && sent.get() == 1;
}

TEST_F(InstanceTest, ASentMessageWaitsUntilTheReceiverHasHandledIt) {
    EXPECT_FALSE(send_message("tavcclt", {0x402, 0, 0}).has_value());  // no such window
    InstanceLock lock = InstanceLock::acquire("tavcclt");
    std::unique_ptr<MessageEndpoint> endpoint = MessageEndpoint::create(lock);
    ASSERT_NE(endpoint, nullptr);
    std::future<std::optional<int64_t>> sent = std::async(std::launch::async, [] {
        return send_message("tavcclt", {0x402, 7, -3});
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
    InstanceLock lock = InstanceLock::acquire("tavcclt");
    auto endpoint = MessageEndpoint::create(lock);
    ASSERT_NE(endpoint, nullptr);
    std::future<std::optional<int64_t>> sent = std::async(std::launch::async, [] {
        return send_message("tavcclt", {0x402, 0, 0});
    });
    std::optional<MessageEndpoint::Pending> pending = WaitForSender(*endpoint);
    ASSERT_TRUE(pending.has_value());
    pending.reset();  // gone without an explicit answer
    ASSERT_EQ(sent.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(sent.get(), 0);
}

TEST_F(InstanceTest, AnAnswerToASenderThatWasKilledWhileItWaitedEndsNothingButTheAnswer) {
    InstanceLock lock = InstanceLock::acquire("tavcclt");
    auto endpoint = MessageEndpoint::create(lock);
    ASSERT_NE(endpoint, nullptr);
    pid_t sender = ::fork();
    if (sender == 0) _exit(send_message("tavcclt", {0x402, 0, 0}).has_value() ? 0 : 1);
    std::optional<MessageEndpoint::Pending> pending = WaitForSender(*endpoint);
    ASSERT_TRUE(pending.has_value());
    ::kill(sender, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(sender, &status, 0), sender);
    // The receiver, the program that is running, goes on: no SIGPIPE ends it.
    pending->reply(1);
    pending.reset();
    EXPECT_TRUE(Reaches("tavcclt", *endpoint));
}

TEST_F(InstanceTest, EachProgramFileNameHasAnEndpointOfItsOwnThatOnlyItsLockHolderMakes) {
    InstanceLock first = InstanceLock::acquire("tavcclt");
    std::unique_ptr<MessageEndpoint> endpoint = MessageEndpoint::create(first);
    ASSERT_NE(endpoint, nullptr);
    {
        InstanceLock copy = InstanceLock::acquire("tavcclt-copy");
        std::unique_ptr<MessageEndpoint> copy_endpoint = MessageEndpoint::create(copy);
        ASSERT_NE(copy_endpoint, nullptr);
        EXPECT_TRUE(Reaches("tavcclt-copy", *copy_endpoint));
    }
    EXPECT_TRUE(Reaches("tavcclt", *endpoint));
    EXPECT_FALSE(send_message("tavcclt-copy", {0x402, 0, 0}).has_value());
    // A start that found the lock taken makes none.
    InstanceLock second = InstanceLock::acquire("tavcclt");
    EXPECT_EQ(MessageEndpoint::create(second), nullptr);
}

TEST_F(InstanceTest, AnInstanceThatGaveItsLockUpNeverRemovesTheEndpointOfOneStartedAfter) {
    InstanceLock closing = InstanceLock::acquire("tavcclt");
    std::unique_ptr<MessageEndpoint> old_endpoint = MessageEndpoint::create(closing);
    ASSERT_NE(old_endpoint, nullptr);
    closing.release();
    // The next holder replaces the endpoint the closing instance still has.
    InstanceLock next = InstanceLock::acquire("tavcclt");
    ASSERT_EQ(next.state(), InstanceLock::State::Acquired);
    std::unique_ptr<MessageEndpoint> endpoint = MessageEndpoint::create(next);
    ASSERT_NE(endpoint, nullptr);
    old_endpoint.reset();
    EXPECT_TRUE(Reaches("tavcclt", *endpoint));
    // Its own it removes.
    endpoint.reset();
    EXPECT_FALSE(send_message("tavcclt", {0x402, 0, 0}).has_value());
    for (const fs::directory_entry& entry : fs::directory_iterator(folder()))
        EXPECT_FALSE(entry.is_socket()) << entry.path();
}

// Ways the folder can be found: each makes it (or what stands in its place) at `folder`.
struct FolderCase {
    const char* what;
    bool needs_root;
    std::function<bool(const std::string& folder)> make;
    InstanceLock::State state;
};

void PrintTo(const FolderCase& c, std::ostream* out) {
    *out << c.what;
}

class InstanceFolderTest : public InstanceTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(InstanceFolderTest, ServesOnlyWhenNoOtherUserCanReachIt) {
    if (GetParam().needs_root && ::geteuid() != 0) GTEST_SKIP() << "needs root, to make files of nobody";
    ASSERT_TRUE(GetParam().make(folder()));
    InstanceLock lock = InstanceLock::acquire("tavcclt");
    EXPECT_EQ(lock.state(), GetParam().state) << lock.why();
    EXPECT_EQ(lock.folder(), folder());
    if (lock.state() == InstanceLock::State::Failed) {
        EXPECT_FALSE(lock.why().empty());
        EXPECT_EQ(MessageEndpoint::create(lock), nullptr);
    } else {
        struct stat st {};
        ASSERT_EQ(::lstat(folder().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, InstanceFolderTest,
    ::testing::Values(FolderCase{"Missing", false, [](const std::string&) { return true; },
                                 InstanceLock::State::Acquired},
                      FolderCase{"OpenToOthers", false,
                                 [](const std::string& folder) {
                                     return ::mkdir(folder.c_str(), 0700) == 0 &&
                                            ::chmod(folder.c_str(), 0777) == 0;
                                 },
                                 InstanceLock::State::Acquired},
                      FolderCase{"ALink", false,
                                 [](const std::string& folder) {
                                     return ::mkdir((folder + "-elsewhere").c_str(), 0700) == 0 &&
                                            ::symlink((folder + "-elsewhere").c_str(), folder.c_str()) == 0;
                                 },
                                 InstanceLock::State::Failed},
                      FolderCase{"OfAnotherUser", true,
                                 [](const std::string& folder) {
                                     return ::mkdir(folder.c_str(), 0700) == 0 &&
                                            ::chown(folder.c_str(), kNobody, kNobody) == 0;
                                 },
                                 InstanceLock::State::Failed},
                      FolderCase{"WithALockFileOfAnotherUser", true,
                                 [](const std::string& folder) {
                                     std::string file = folder + "/tavcclt.lock";
                                     return ::mkdir(folder.c_str(), 0700) == 0 &&
                                            ::close(::creat(file.c_str(), 0666)) == 0 &&
                                            ::chown(file.c_str(), kNobody, kNobody) == 0;
                                 },
                                 InstanceLock::State::Failed}),
    [](const auto& param_info) { return std::string(param_info.param.what); });

TEST_F(InstanceTest, ASenderGivesNothingToAListenerOfAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to listen as nobody";
    std::string name;
    {
        InstanceLock lock = InstanceLock::acquire("tavcclt");
        auto endpoint = MessageEndpoint::create(lock);
        ASSERT_NE(endpoint, nullptr);
        for (const fs::directory_entry& entry : fs::directory_iterator(folder()))
            if (entry.is_socket()) name = entry.path().filename();
    }
    ASSERT_FALSE(name.empty());
    // The folder opened to others for a moment: nobody puts a listener of its own at the endpoint's name.
    ASSERT_EQ(::chmod(folder().c_str(), 0777), 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", name.c_str());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::chdir(folder().c_str()) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0 ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 1) != 0)
            _exit(2);
        if (::write(ready[1], "r", 1) != 1) _exit(2);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) _exit(3);  // no sender came
        int client = ::accept(fd, nullptr, nullptr);
        char byte;
        _exit(client >= 0 && ::read(client, &byte, 1) == 0 ? 0 : 1);  // it came, and sent nothing
    }
    ::close(ready[1]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the listener did not start";
    ::close(ready[0]);
    EXPECT_FALSE(send_message("tavcclt", {0x402, 0, 0}).has_value());
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(InstanceFallbackFolder, WithoutXdgRuntimeDirIsAPrivateFolderInTheHome) {
    test::TempFolder home{"home"};
    test::ScopedEnv unset("XDG_RUNTIME_DIR", std::nullopt);
    test::ScopedEnv state("XDG_STATE_HOME", std::nullopt);
    test::ScopedEnv env("HOME", home.path());
    InstanceLock lock = InstanceLock::acquire("tavcclt");
    ASSERT_EQ(lock.state(), InstanceLock::State::Acquired) << lock.why();
    EXPECT_EQ(lock.folder(), home.path() + "/.local/state/tavc-runtime");
    struct stat st {};
    ASSERT_EQ(::lstat(lock.folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
}

}  // namespace
}  // namespace tavc::instance
