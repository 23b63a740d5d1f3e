// The user's folders: the XDG variables, the home folder, and no file at all without a home.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folders.h"
#include "temp_folder.h"

namespace {

using tavc::test::ScopedEnv;

class Folders : public ::testing::Test {
  protected:
    ScopedEnv config_{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnv data_{"XDG_DATA_HOME", std::nullopt};
    ScopedEnv state_{"XDG_STATE_HOME", std::nullopt};
    ScopedEnv data_dirs_{"XDG_DATA_DIRS", std::nullopt};
    ScopedEnv runtime_{"XDG_RUNTIME_DIR", std::nullopt};
    ScopedEnv home_{"HOME", "/home/clerk"};
};

TEST_F(Folders, LieBelowTheHomeFolderWithoutXdgVariables) {
    EXPECT_EQ(tavc::folders::home(), "/home/clerk");
    EXPECT_EQ(tavc::folders::config_home(), "/home/clerk/.config");
    EXPECT_EQ(tavc::folders::data_home(), "/home/clerk/.local/share");
    EXPECT_EQ(tavc::folders::state_home(), "/home/clerk/.local/state");
    EXPECT_EQ(tavc::folders::runtime_dir(), "");
    EXPECT_EQ(tavc::folders::data_dirs(), (std::vector<std::string>{"/usr/local/share", "/usr/share"}));
}

TEST_F(Folders, AreTheAbsoluteXdgVariablesAndIgnoreRelativeOnes) {
    ScopedEnv config{"XDG_CONFIG_HOME", "/tmp/config"};
    ScopedEnv data{"XDG_DATA_HOME", "relative/data"};
    ScopedEnv runtime{"XDG_RUNTIME_DIR", "relative/run"};
    ScopedEnv state{"XDG_STATE_HOME", "/tmp/state"};
    ScopedEnv data_dirs{"XDG_DATA_DIRS", "/opt/tavc/share:relative/share::/usr/share/"};
    EXPECT_EQ(tavc::folders::config_home(), "/tmp/config");
    EXPECT_EQ(tavc::folders::data_home(), "/home/clerk/.local/share");
    EXPECT_EQ(tavc::folders::runtime_dir(), "");
    EXPECT_EQ(tavc::folders::state_home(), "/tmp/state");
    EXPECT_EQ(tavc::folders::data_dirs(), (std::vector<std::string>{"/opt/tavc/share", "/usr/share/"}));
}

TEST_F(Folders, DataFoldersWithoutOneAbsoluteEntryAreTheDefaultOnes) {
    ScopedEnv data_dirs{"XDG_DATA_DIRS", "relative/share:"};
    EXPECT_EQ(tavc::folders::data_dirs(), (std::vector<std::string>{"/usr/local/share", "/usr/share"}));
}

TEST_F(Folders, ARelativeHomeGivesWayToTheAccountsHomeFolder) {
    ScopedEnv home{"HOME", "relative"};
    const std::string account_home = tavc::folders::home();
    EXPECT_TRUE(account_home.empty() || account_home.front() == '/') << account_home;
}

TEST_F(Folders, TheSystemsOwnFolderAndItsPortLinksLieInTheConfigHome) {
    EXPECT_EQ(tavc::folders::tavc_config_folder(), "/home/clerk/.config/tavc");
    EXPECT_EQ(tavc::folders::tavc_config_folder_in("/tmp/config"), "/tmp/config/tavc");
    EXPECT_EQ(tavc::folders::dosdevices_folder_in("/tmp/config"), "/tmp/config/tavc/dosdevices");
    EXPECT_EQ(tavc::folders::port_link_in("/tmp/config", 1), "/tmp/config/tavc/dosdevices/com1");
    EXPECT_EQ(tavc::folders::port_link_in("/tmp/config", 10), "/tmp/config/tavc/dosdevices/com10");
    // No config home, none of them: nothing is kept under "/".
    EXPECT_EQ(tavc::folders::tavc_config_folder_in(""), "");
    EXPECT_EQ(tavc::folders::dosdevices_folder_in(""), "");
    EXPECT_EQ(tavc::folders::port_link_in("", 1), "");
}

// Without a home folder nothing is named, so no caller keeps a file under "/".
TEST_F(Folders, WithoutAHomeFolderAreNamedOnlyByXdgVariables) {
    EXPECT_EQ(tavc::folders::config_home_in(""), "");
    EXPECT_EQ(tavc::folders::data_home_in(""), "");
    EXPECT_EQ(tavc::folders::state_home_in(""), "");
    ScopedEnv config{"XDG_CONFIG_HOME", "/tmp/config"};
    ScopedEnv data{"XDG_DATA_HOME", "/tmp/data"};
    EXPECT_EQ(tavc::folders::config_home_in(""), "/tmp/config");
    EXPECT_EQ(tavc::folders::data_home_in(""), "/tmp/data");
}

}  // namespace
