// One instance per program file name, as the clerk meets it: a second start of the real program finds the
// running window whatever ran, ended, closed or restarted beside it and wherever the runtime folder is,
// and a start that cannot tell whether an instance runs says so. On a test X server with a tray host.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "assistant_program.h"
#include "file_io.h"

namespace tavc::test {
namespace {

namespace fs = std::filesystem;

const std::string kTitle = "ORB-100小助手";
const std::string kCannotTell = "无法确定ORB-100小助手是否已在运行: 不能使用文件夹 ";
constexpr uid_t kNobody = 65534;

// The sockets in `folder`, by inode.
std::set<ino_t> Sockets(const std::string& folder) {
    std::set<ino_t> found;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) found.insert(st.st_ino);
    }
    return found;
}

// Whether nobody holds the lock on `path` (taken and given back at once).
bool LockFree(const std::string& path) {
    file_io::Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    return fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

// Folders outside the test's own that a case leaves behind, removed once its programs have ended.
class Leftovers {
  public:
    void will_appear(const std::string& path) {
        if (!fs::exists(path)) paths_.push_back(path);
    }
    ~Leftovers() {
        std::error_code ec;
        for (const std::string& path : paths_) fs::remove_all(path, ec);
    }

  private:
    std::vector<std::string> paths_;
};

class InstanceProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop_ = std::make_unique<Desktop>();
        if (!desktop_->ready()) GTEST_SKIP() << desktop_->why();
        app_ = std::make_unique<AssistantProgram>();
        ASSERT_TRUE(app_->ok()) << app_->error();
    }
    // The program goes first; the desktop after the members declared after it.
    void TearDown() override { app_.reset(); }

    // Two more starts, each ending with 0 at once: the first hides the visible window, the second brings it
    // back; neither makes a window of its own.
    void ExpectSecondStartsToggleTheWindow() {
        for (bool visible : {false, true}) {
            std::unique_ptr<ChildProcess> second = app_->start();
            EXPECT_EQ(second->wait(10s), 0);
            EXPECT_TRUE(app_->wait_visible(visible))
                << (visible ? "the window did not come back" : "it did not hide");
            EXPECT_EQ(app_->titled_windows(), 1u);
        }
    }

    Leftovers leftovers_;
    std::unique_ptr<Desktop> desktop_;
    std::unique_ptr<AssistantProgram> app_;
};

TEST_F(InstanceProgramTest, ACopyUnderAnotherNameThatRanAndEndedLeavesTheFirstWindowFindable) {
    ASSERT_TRUE(app_->start_and_wait());
    app_->copy_as("tavcclt-copy");
    std::unique_ptr<ChildProcess> copy = app_->start("tavcclt-copy");
    std::string window = app_->window_of(*copy);
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(app_->close_with_yes(window, *copy));
    EXPECT_EQ(copy->wait(0ms), 0);
    ExpectSecondStartsToggleTheWindow();
}

TEST_F(InstanceProgramTest, AnInstanceStillClosingLeavesTheWindowOfOneStartedMeanwhileFindable) {
    ASSERT_TRUE(app_->start_and_wait());
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    const std::string folder = app_->runtime_dir() + "/tavc";
    const std::set<ino_t> first_endpoint = Sockets(folder);
    ASSERT_FALSE(first_endpoint.empty());
    std::unique_ptr<ChildProcess> next;
    {
        // Saving the settings is the last close step: while the registry's writers' lock is held, the
        // closing instance waits there, its instance lock given up; stopped there, it waits however busy
        // the machine is, until the next instance has made its endpoint.
        std::optional<file_io::Fd> registry =
            file_io::lock_file(app_->config_home() + "/tavc/user.reg.lock", true, true);
        ASSERT_TRUE(registry.has_value());
        ASSERT_TRUE(app_->request_close());
        ASSERT_TRUE(app_->answer_box(kTitle, "Return"));
        ASSERT_TRUE(wait_until(10s, [&] { return LockFree(folder + "/tavcclt.lock"); }));
        const pid_t closing = app_->main_process()->pid();
        ASSERT_EQ(::kill(closing, SIGSTOP), 0);
        next = app_->start();
        bool made = wait_until(20s, [&] {
            for (ino_t socket : Sockets(folder))
                if (!first_endpoint.contains(socket)) return true;
            return false;
        });
        ::kill(closing, SIGCONT);
        ASSERT_TRUE(made) << "the next instance made no endpoint";
    }
    EXPECT_EQ(app_->main_process()->wait(20s), 0);
    ASSERT_TRUE(app_->wait_visible(true));  // the next instance's window
    ExpectSecondStartsToggleTheWindow();
}

TEST_F(InstanceProgramTest, AnInstanceRestartedByTheSettingsDialogIsFoundByTheNextStart) {
    ASSERT_TRUE(app_->start_and_wait());
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    // "帮助" on the tool bar, its first item "设置", then "确定" in the dialog.
    ASSERT_TRUE(app_->click(2 + 118 + 27, 6 + 10));
    ASSERT_TRUE(app_->wait_popup());
    ASSERT_TRUE(app_->key("Down Return"));
    ASSERT_TRUE(app_->click_in_box("设置", 84 + 36, 157 + 10));
    ASSERT_TRUE(app_->probe().wait_for("box tavcclt|设置已经改变。ORB-100小助手将重新启动!"));
    ASSERT_TRUE(app_->answer_box("tavcclt", "Return"));
    ASSERT_TRUE(app_->probe().wait_for("closed"));
    ASSERT_TRUE(app_->probe().wait_for("login page"));
    ASSERT_TRUE(app_->wait_visible(true));
    ExpectSecondStartsToggleTheWindow();
}

class LongRuntimeFolderTest : public InstanceProgramTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(LongRuntimeFolderTest, LeavesTheWindowFindable) {
    std::string runtime = app_->runtime_dir() + "/";
    runtime += std::string(GetParam() - runtime.size(), 'r');
    ASSERT_TRUE(file_io::make_folders(runtime, 0700));
    app_->add_env("XDG_RUNTIME_DIR=" + runtime);
    ASSERT_TRUE(app_->start_and_wait());
    ExpectSecondStartsToggleTheWindow();
}

INSTANTIATE_TEST_SUITE_P(Characters, LongRuntimeFolderTest, ::testing::Values(70, 250));

TEST_F(InstanceProgramTest, WithoutXdgRuntimeDirAFolderAnotherUserMadeInTmpChangesNothing) {
    // Needs a second user: the program runs as nobody, beside the /tmp/tavc-<uid> of nobody made by root.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to run the program as nobody";
    const std::string taken = "/tmp/tavc-" + std::to_string(kNobody);
    leftovers_.will_appear(taken);
    ::mkdir(taken.c_str(), 0700);
    leftovers_.will_appear("/tmp/runtime-nobody");  // Qt's own without XDG_RUNTIME_DIR
    struct stat st {};
    ASSERT_TRUE(::lstat(taken.c_str(), &st) == 0 && st.st_uid != kNobody)
        << taken << " is nobody's own already";
    const std::string home = fs::path(app_->config_home()).parent_path() / "home";
    ASSERT_TRUE(file_io::make_folders(home, 0700));
    app_->add_env("XDG_RUNTIME_DIR");
    app_->add_env("XDG_STATE_HOME");
    app_->add_env("HOME=" + home);
    OtherUser nobody;
    ASSERT_TRUE(nobody.ok()) << nobody.why();
    ASSERT_EQ(nobody.uid(), kNobody);
    app_->run_as(nobody);
    ASSERT_TRUE(app_->start_and_wait());
    ExpectSecondStartsToggleTheWindow();
}

// Ways the runtime folder's "tavc" cannot be trusted: each makes it in the test's runtime folder.
struct UnusableFolder {
    const char* what;
    bool needs_root;
    std::function<bool(const std::string& folder)> make;
};

void PrintTo(const UnusableFolder& folder, std::ostream* out) {
    *out << folder.what;
}

class UnusableFolderTest : public InstanceProgramTest,
                           public ::testing::WithParamInterface<UnusableFolder> {};

TEST_P(UnusableFolderTest, MakesTheStartSaySoAndEndWithoutAWindow) {
    if (GetParam().needs_root && ::geteuid() != 0) GTEST_SKIP() << "needs root, to make a folder of nobody";
    const std::string folder = app_->runtime_dir() + "/tavc";
    ASSERT_TRUE(GetParam().make(folder));
    std::unique_ptr<ChildProcess> start = app_->start();
    ASSERT_TRUE(app_->probe().wait_for("box tavcclt|" + kCannotTell + folder));
    ASSERT_TRUE(app_->answer_box("tavcclt", "Return"));
    EXPECT_EQ(start->wait(10s), 1);
    EXPECT_EQ(app_->titled_windows(), 0u);
    EXPECT_NE(app_->stderr_text().find(kCannotTell + folder), std::string::npos) << app_->stderr_text();
}

INSTANTIATE_TEST_SUITE_P(Folders, UnusableFolderTest,
                         ::testing::Values(UnusableFolder{"OfAnotherUser", true,
                                                          [](const std::string& folder) {
                                                              return ::mkdir(folder.c_str(), 0700) == 0 &&
                                                                     ::chown(folder.c_str(), kNobody,
                                                                             kNobody) == 0;
                                                          }},
                                           UnusableFolder{"ALink", false,
                                                          [](const std::string& folder) {
                                                              std::string target = folder + "-elsewhere";
                                                              return ::mkdir(target.c_str(), 0700) == 0 &&
                                                                     ::symlink(target.c_str(),
                                                                               folder.c_str()) == 0;
                                                          }}),
                         [](const auto& param_info) { return std::string(param_info.param.what); });

}  // namespace
}  // namespace tavc::test
