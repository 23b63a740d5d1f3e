// The agent's command line and its self-registration, run as the real program.
#include "server_shell.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "child_process.h"
#include "kel_typelib.h"
#include "registry.h"
#include "temp_folder.h"

namespace {

using namespace std::chrono_literals;
using corvis::ShellMode;
using tavc::registry::Hive;
using tavc::test::ChildProcess;

struct SwitchCase {
    const char* text;
    const char* switches;
    int position;  // -1: none
};

class NextSwitchTokenCases : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(NextSwitchTokenCases, FindsThePositionAfterTheFirstSwitchCharacter) {
    const SwitchCase& c = GetParam();
    const char* found = corvis::NextSwitchToken(c.text, c.switches);
    EXPECT_EQ(found == nullptr ? -1 : static_cast<int>(found - c.text), c.position);
}

INSTANTIATE_TEST_SUITE_P(Texts, NextSwitchTokenCases,
                         ::testing::Values(SwitchCase{nullptr, "-/", -1}, SwitchCase{"", "-/", -1},
                                           SwitchCase{"corvis", "-/", -1}, SwitchCase{"-RegServer", "-/", 1},
                                           SwitchCase{"a b/c-d", "-/", 4},
                                           // A GBK character is one character: its trail byte 0x40 is no '@'.
                                           SwitchCase{"\x81@x@y", "@", 4}, SwitchCase{"x\x81", "@", -1},
                                           SwitchCase{"\x81", "@", -1},
                                           // Any byte but the end follows a lead byte, as CharNext takes it:
                                           // a '-' there is no switch, though it cannot be a trail byte.
                                           SwitchCase{"\x81-x", "-", -1}, SwitchCase{"\x81", "-", -1}));

struct LineCase {
    const char* line;
    ShellMode mode;
};

class CommandLineCases : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLineCases, ChooseTheRun) {
    EXPECT_EQ(corvis::ScanCommandLine(GetParam().line), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineCases,
    ::testing::Values(LineCase{"/usr/bin/corvis -RegServer", ShellMode::Register},
                      LineCase{"/usr/bin/corvis /regserver", ShellMode::Register},
                      LineCase{"/usr/bin/corvis -REGSERVER", ShellMode::Register},
                      LineCase{"/usr/bin/corvis -UnregServer", ShellMode::Unregister},
                      LineCase{"/usr/bin/corvis /unregSERVER", ShellMode::Unregister},
                      LineCase{"/usr/bin/corvis --RegServer", ShellMode::Register},
                      // Followed by anything else, the switch is no switch and the program serves.
                      LineCase{"/usr/bin/corvis -RegServer -x", ShellMode::Serve},
                      LineCase{"/usr/bin/corvis -RegServer ", ShellMode::Serve},
                      LineCase{"/usr/bin/corvis RegServer", ShellMode::Serve},
                      LineCase{"/usr/bin/corvis", ShellMode::Serve}, LineCase{"", ShellMode::Serve},
                      LineCase{"/usr/bin/corvis -Embedding", ShellMode::Serve},
                      // A '-' or '/' in the program path is a switch character like any other.
                      LineCase{"/opt/a-RegServer/corvis", ShellMode::Serve},
                      LineCase{"/opt/tools/-RegServer", ShellMode::Register},
                      LineCase{"/opt/a-b/corvis -UnregServer", ShellMode::Unregister}));

using Tree = std::map<std::string, std::map<std::string, std::string>>;

void collect(const std::string& path, Tree& tree) {
    auto key = tavc::registry::Key::open(Hive::ClassesRoot, path, false);
    ASSERT_TRUE(key) << path;
    if (!path.empty()) {
        auto& values = tree[path];
        for (const std::string& name : key->value_names())
            values[name] = key->read_string(name).value_or("?");
    }
    for (const std::string& sub : key->subkeys()) collect(path.empty() ? sub : path + "\\" + sub, tree);
}

Tree classes_root() {
    Tree tree;
    collect("", tree);
    return tree;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The agent program with its own XDG folders and no session bus.
class AgentProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.ok());
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("XDG_RUNTIME_DIR");
        corvis_ = std::filesystem::canonical(std::string(std::getenv("TAVC_BIN_DIR")) + "/corvis");
    }

    static std::optional<int> run(const std::filesystem::path& program, const std::string& argument) {
        ChildProcess child({program.string(), argument});
        return child.wait(10s);
    }

    Tree expected_keys(const std::string& module) const {
        const std::string clsid = corvis::kKelClassId.braced();
        const std::string appid = corvis::kCorvisAppId.braced();
        const std::string key = "CLSID\\" + clsid;
        return {{"AppID", {}},
                {"AppID\\" + appid, {{"", "corvis"}}},
                {"AppID\\corvis.EXE", {{"AppID", appid}}},
                {"Corvis.Kel.1", {{"", "Kel Class"}}},
                {"Corvis.Kel.1\\CLSID", {{"", clsid}}},
                {"Corvis.Kel", {{"", "Kel Class"}}},
                {"Corvis.Kel\\CLSID", {{"", clsid}}},
                {"Corvis.Kel\\CurVer", {{"", "Corvis.Kel.1"}}},
                {"CLSID", {}},
                {key, {{"", "Kel Class"}, {"AppID", appid}}},
                {key + "\\ProgID", {{"", "Corvis.Kel.1"}}},
                {key + "\\VersionIndependentProgID", {{"", "Corvis.Kel"}}},
                {key + "\\Programmable", {}},
                {key + "\\LocalServer32", {{"", module}}},
                {key + "\\TypeLib", {{"", corvis::kCorvisLibId.braced()}}}};
    }

    std::filesystem::path service_file() const {
        return root_ / "data/dbus-1/services" / (tavc::com::bus_name(corvis::kKelClassId) + ".service");
    }

    tavc::test::TempFolder temp_{"tavc-shell", "/tmp"};
    const std::filesystem::path root_{temp_.path()};
    tavc::test::ScopedEnv config_home_{"XDG_CONFIG_HOME", temp_ / "config"};
    tavc::test::ScopedEnv data_home_{"XDG_DATA_HOME", temp_ / "data"};
    std::filesystem::path corvis_;
};

TEST_F(AgentProgram, RegisteringTwiceLeavesExactlyTheListedKeys) {
    ASSERT_EQ(run(corvis_, "-RegServer"), 0);
    // A stale subkey and value under the class key, as an older version might leave them.
    auto stale = tavc::registry::Key::open(Hive::ClassesRoot,
                                           "CLSID\\" + corvis::kKelClassId.braced() + "\\Old", true);
    ASSERT_TRUE(stale);
    ASSERT_TRUE(tavc::registry::Key::open(Hive::ClassesRoot, "CLSID\\" + corvis::kKelClassId.braced(), false)
                    ->write_string("Stale", "x"));
    ASSERT_EQ(run(corvis_, "/regserver"), 0);
    EXPECT_EQ(classes_root(), expected_keys(corvis_.string()));
    EXPECT_EQ(read_file(service_file()), "[D-BUS Service]\nName=" + tavc::com::bus_name(corvis::kKelClassId) +
                                             "\nExec=" + corvis_.string() + "\n");
}

TEST_F(AgentProgram, UnregisteringLeavesTheRootsAndOtherClasses) {
    ASSERT_EQ(run(corvis_, "-RegServer"), 0);
    ASSERT_TRUE(
        tavc::registry::Key::open(Hive::ClassesRoot, "CLSID\\{00000000-1111-2222-3333-444444444444}", true));
    ASSERT_EQ(run(corvis_, "-UNREGSERVER"), 0);
    EXPECT_EQ(classes_root(),
              (Tree{{"AppID", {}}, {"CLSID", {}}, {"CLSID\\{00000000-1111-2222-3333-444444444444}", {}}}));
    EXPECT_FALSE(std::filesystem::exists(service_file()));
    EXPECT_EQ(run(corvis_, "/UnregServer"), 0);
}

// An installer and a user may register at the same moment: each registration succeeds and says so.
TEST_F(AgentProgram, TwoRegistrationsAtOnceBothSucceed) {
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        ChildProcess first({corvis_.string(), "-RegServer"});
        ChildProcess second({corvis_.string(), "-RegServer"});
        EXPECT_EQ(first.wait(10s), 0) << "round " << round;
        EXPECT_EQ(second.wait(10s), 0) << "round " << round;
    }
    EXPECT_EQ(classes_root(), expected_keys(corvis_.string()));
    EXPECT_EQ(read_file(service_file()), "[D-BUS Service]\nName=" + tavc::com::bus_name(corvis::kKelClassId) +
                                             "\nExec=" + corvis_.string() + "\n");
}

TEST_F(AgentProgram, RegistersItsOwnPathFromAFolderWithADash) {
    std::filesystem::create_directories(root_ / "with-dash");
    const auto copy = root_ / "with-dash" / "corvis";
    std::filesystem::copy_file(corvis_, copy);
    ASSERT_EQ(run(copy, "-regserver"), 0);
    auto server = tavc::registry::Key::open(
        Hive::ClassesRoot, "CLSID\\" + corvis::kKelClassId.braced() + "\\LocalServer32", false);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->read_string(""), copy.string());
}

TEST_F(AgentProgram, SwitchFollowedByAnotherRunsAsServerAndRegistersNothing) {
    ChildProcess child({corvis_.string(), "-RegServer", "-x"});
    // Without a session bus the server cannot start: a failure, not a registration.
    EXPECT_EQ(child.wait(10s), 1);
    EXPECT_FALSE(tavc::registry::key_exists(Hive::ClassesRoot, "CLSID\\" + corvis::kKelClassId.braced()));
    EXPECT_FALSE(std::filesystem::exists(service_file()));
}

TEST_F(AgentProgram, RegistrationThatCannotBeWrittenFails) {
    std::filesystem::create_directories(root_ / "config");
    std::ofstream(root_ / "config" / "tavc") << "a file where the folder should be";
    EXPECT_EQ(run(corvis_, "-RegServer"), 1);
}

}  // namespace
