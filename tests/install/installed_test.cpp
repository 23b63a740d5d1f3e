// The system as an integrator installs it, run from where it was installed: cmake --install of this build
// into a temporary prefix, or (TAVC_INSTALLED_ROOT) the Debian packages unpacked into a scratch root with
// the prefix /usr. The agent is started by the session bus from the installed activation file alone, with
// no registration of the user's; tavcclt is started from the installed menu entry's Exec and reads the
// installed hot keys; a user's program built against the installed headers and pkg-config files finds
// the libraries by their SONAME. Paths that the installed files name are taken below the scratch root, as
// a chroot would see them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "assistant_program.h"
#include "child_process.h"
#include "codepage.h"
#include "panelkit_record.h"
#include "private_bus.h"
#include "temp_folder.h"
#include "tessel_agent_exports.h"
#include "xvfb_server.h"

namespace tavc::test {
namespace {

namespace fs = std::filesystem;

const std::string kAgentService = "tavc.com.Class_F56CF838AF794886B48D9DEB50718475.service";

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of `key` in the first group of a desktop entry or activation file; "" when there is none.
std::string entry_value(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "";
}

// The installation, made once for all tests of the program.
class Installation {
  public:
    static Installation& get() {
        static Installation installation;
        return installation;
    }

    const std::string& error() const { return error_; }
    // A path as the installed files name it (under the prefix), as this process reaches it.
    std::string reach(const std::string& installed_path) const { return root_ + installed_path; }
    std::string prefix() const { return reach(prefix_); }
    const std::string& installed_prefix() const { return prefix_; }
    // The folder of the libraries, found as a user finds it: where the pkg-config files lie.
    const std::string& libdir() const { return libdir_; }
    bool unpacked_packages() const { return !root_.empty(); }
    bool install_component(const std::string& component) const {
        return run({env("TAVC_CMAKE"), "--install", env("TAVC_BUILD_DIR"), "--prefix", prefix_, "--component",
                    component});
    }

  private:
    Installation() {
        if (const char* root = std::getenv("TAVC_INSTALLED_ROOT")) {
            root_ = root;
            prefix_ = "/usr";
        } else {
            prefix_ = folder_ / "prefix";
            if (!run({env("TAVC_CMAKE"), "--install", env("TAVC_BUILD_DIR"), "--prefix", prefix_})) {
                error_ = "cmake --install failed";
                return;
            }
        }
        std::error_code ec;
        for (fs::recursive_directory_iterator it(prefix() + "/lib", ec), end; it != end; it.increment(ec))
            if (it->path().filename() == "tessel.pc") libdir_ = it->path().parent_path().parent_path();
        if (libdir_.empty()) error_ = "no installed tessel.pc below " + prefix() + "/lib";
    }
    static bool run(const std::vector<std::string>& argv) {
        ChildProcess child(argv);
        while (child.read_line(std::chrono::minutes(2))) {
        }
        return child.wait(std::chrono::minutes(2)) == 0;
    }

    TempFolder folder_{"tavc-installed"};
    std::string root_;
    std::string prefix_;
    std::string libdir_;
    std::string error_;
};

class Installed : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!install_.error().empty()) FAIL() << install_.error();
    }
    Installation& install_ = Installation::get();
};

TEST_F(Installed, HoldsEachDeliverableWhereItsKindLivesAndNoStandIn) {
    const std::string prefix = install_.prefix();
    const std::vector<std::string> present = {"bin/tavcclt",
                                              "bin/tavc-hotkeys",
                                              "lib/tavc/tavcclt",
                                              "lib/tavc/tavcclt.hkd",
                                              "libexec/tavc/corvis",
                                              "share/dbus-1/services/" + kAgentService,
                                              "share/applications/tavcclt.desktop",
                                              "share/icons/hicolor/16x16/apps/tavcclt.png",
                                              "share/icons/hicolor/48x48/apps/tavcclt.png",
                                              "share/icons/hicolor/256x256/apps/tavcclt.png",
                                              "include/tavc/tessel.h",
                                              "include/tavc/voxcat.h",
                                              "include/tavc/usbpipe.h",
                                              "lib/udev/rules.d/70-tavc-usbpipe.rules",
                                              "share/man/man1/tavcclt.1.gz"};
    for (const std::string& path : present) EXPECT_TRUE(fs::exists(prefix + "/" + path)) << path;
    for (const char* library : {"tessel", "voxcat", "usbpipe"}) {
        const std::string base = install_.libdir() + "/lib" + std::string(library) + ".so";
        EXPECT_TRUE(fs::is_regular_file(base + ".1")) << base;  // through its link
        EXPECT_TRUE(fs::is_symlink(base)) << base;
        EXPECT_TRUE(fs::exists(install_.libdir() + "/pkgconfig/" + std::string(library) + ".pc")) << library;
    }
    EXPECT_EQ(fs::read_symlink(prefix + "/bin/tavcclt"), "../lib/tavc/tavcclt");
    // The stand-ins and the tests come only with the demo component.
    for (const char* path : {"bin/tavc-terminal", "bin/tavc-rating-server", "libexec/tavc/libpanelkit.so",
                             "bin/tessel_host", "bin/tavcclt_test"})
        EXPECT_FALSE(fs::exists(prefix + "/" + std::string(path))) << path;
    if (install_.unpacked_packages()) return;
    ASSERT_TRUE(install_.install_component("demo"));
    for (const char* path : {"bin/tavc-terminal", "bin/tavc-rating-server", "libexec/tavc/libpanelkit.so"})
        EXPECT_TRUE(fs::exists(prefix + "/" + std::string(path))) << path;
}

TEST_F(Installed, LibrariesAreFoundByTheirSonameFromTheDevelopmentFiles) {
    TempFolder work("tavc-user");
    const std::string source = work / "user.c", program = work / "user";
    std::ofstream(source)
        << "#include <stdio.h>\n#include <tessel.h>\n#include <usbpipe.h>\n#include <voxcat.h>\n"
           "int main(void) {\n"
           "    void* volatile used[] = {(void*)&SyntheVoice, (void*)&ReadPort1};\n"
           "    printf(\"%d\\n\", (int)TAVCLoginToCache(\"qelto\", \"x\"));\n"
           "    return used[0] == 0 || used[1] == 0;\n"
           "}\n";
    ScopedEnv pkg_config_path("PKG_CONFIG_PATH", install_.libdir() + "/pkgconfig");
    std::optional<std::string> flags =
        run_tool({program_on_path("pkg-config"), "--cflags", "--libs", "tessel", "voxcat", "usbpipe"});
    ASSERT_TRUE(flags.has_value());
    std::vector<std::string> compile = {env("TAVC_C_COMPILER"), source, "-o", program};
    std::istringstream words(*flags + " " + env("TAVC_SANITIZE_FLAGS"));
    for (std::string word; words >> word;) compile.push_back(word);
    ASSERT_TRUE(run_tool(compile, std::chrono::minutes(1)).has_value());

    std::optional<std::string> needed = run_tool({program_on_path("readelf"), "-d", program});
    ASSERT_TRUE(needed.has_value());
    for (const char* soname : {"[libtessel.so.1]", "[libvoxcat.so.1]", "[libusbpipe.so.1]"})
        EXPECT_NE(needed->find(soname), std::string::npos) << *needed;
    // The library opens serial port 1 at load: here a link to nowhere, never the machine's own port.
    fs::create_directories(work / "config/tavc/dosdevices");
    fs::create_symlink(work / "no-such-tty", work / "config/tavc/dosdevices/com1");
    ChildProcess user({program}, {"LD_LIBRARY_PATH=" + install_.libdir(),
                                  "XDG_CONFIG_HOME=" + (work / "config"), "DBUS_SESSION_BUS_ADDRESS"});
    EXPECT_EQ(user.read_line(std::chrono::seconds(20)), "2");  // the reserved id, refused offline
    EXPECT_EQ(user.wait(std::chrono::seconds(20)), 0);
}

TEST_F(Installed, TheAgentIsStartedByTheBusFromTheInstalledActivationFile) {
    std::string services = install_.prefix() + "/share/dbus-1/services";
    const std::string installed = read_text(services + "/" + kAgentService);
    const std::string agent = entry_value(installed, "Exec");
    EXPECT_EQ(agent, install_.installed_prefix() + "/libexec/tavc/corvis");
    TempFolder translated("tavc-services");
    if (install_.unpacked_packages()) {
        // The unpacked root is not the machine's: the bus starts the agent where the file names it there.
        services = translated.path();
        std::string text = installed;
        text.replace(text.find("Exec=") + 5, agent.size(), install_.reach(agent));
        std::ofstream(services + "/" + kAgentService) << text;
    }
    PanelkitRecord record;
    PrivateBus bus(
        {"LD_LIBRARY_PATH=" + env("TAVC_TEST_BIN_DIR") + "/support", "PANELKIT_RECORD=" + record.path()},
        {services});
    if (!bus.ok()) GTEST_SKIP() << bus.error();
    const TesselAgentExports& tessel = TesselAgentExports::get(install_.libdir() + "/libtessel.so.1");
    ASSERT_TRUE(tessel.loaded());
    const std::string text = codepage::gbk_from_utf8("您好,欢迎光临");
    EXPECT_EQ(tessel.speak(text.c_str(), 0), 0);
    std::vector<DriverCall> calls = record.wait_for_calls(1, std::chrono::seconds(10));
    ASSERT_EQ(calls.size(), 1u) << bus.log();
    EXPECT_EQ(calls[0], DriverCall("TAVSpeak", {text, 0}));
    // Nothing of the user's registered it.
    EXPECT_FALSE(fs::exists(bus.config_home() + "/tavc/classes.reg"));
    EXPECT_TRUE(fs::is_empty(bus.data_home() + "/dbus-1/services"));

    // A user may still register the installed agent for himself alone.
    ChildProcess registering({install_.reach(agent), "-RegServer"});
    ASSERT_EQ(registering.wait(std::chrono::seconds(10)), 0);
    EXPECT_EQ(entry_value(read_text(bus.data_home() + "/dbus-1/services/" + kAgentService), "Exec"),
              install_.reach(agent));
    ChildProcess unregistering({install_.reach(agent), "-UnregServer"});
    EXPECT_EQ(unregistering.wait(std::chrono::seconds(10)), 0);
    // The registration's lock file may stay; the bus reads only *.service files.
    EXPECT_FALSE(fs::exists(bus.data_home() + "/dbus-1/services/" + kAgentService));
}

TEST_F(Installed, TavccltStartsFromItsMenuEntryWithTheInstalledHotKeys) {
    const std::string entry = read_text(install_.prefix() + "/share/applications/tavcclt.desktop");
    EXPECT_EQ(entry_value(entry, "Name"), "ORB-100小助手");
    EXPECT_EQ(entry_value(entry, "Icon"), "tavcclt");
    const std::string exec = entry_value(entry, "Exec");
    ASSERT_EQ(exec, install_.installed_prefix() + "/bin/tavcclt");
    XvfbServer xvfb;
    if (!xvfb.started()) GTEST_SKIP() << xvfb.why();
    if (program_on_path("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";

    TempFolder home("tavc-clerk");
    fs::create_directories(home / "config/tavc/dosdevices");
    for (int port = 1; port <= 10; ++port)
        fs::create_symlink(home / "no-such-tty",
                           home / ("config/tavc/dosdevices/com" + std::to_string(port)));
    fs::create_directories(home / "runtime");
    ::chmod((home / "runtime").c_str(), 0700);
    ProbeLog probe(home / "probe.log");
    ChildProcess program({install_.reach(exec)},
                         {"XDG_CONFIG_HOME=" + (home / "config"), "XDG_RUNTIME_DIR=" + (home / "runtime"),
                          "XDG_STATE_HOME=" + (home / "state"), "TAVCCLT_TEST_PROBE=" + (home / "probe.log"),
                          "QT_QPA_PLATFORM=xcb", "DBUS_SESSION_BUS_ADDRESS"});
    ASSERT_TRUE(program.started());
    // The default hot keys beside the program, registered at once in demo mode, the default.
    EXPECT_TRUE(probe.wait_for("hotkeys registered 5", std::chrono::seconds(20)));
    EXPECT_TRUE(probe.wait_for("login page", std::chrono::seconds(20)));
    std::optional<std::string> window = run_tool(
        {program_on_path("xdotool"), "search", "--sync", "--onlyvisible", "--name", "^ORB-100小助手$"},
        std::chrono::seconds(20));
    EXPECT_TRUE(window.has_value() && !window->empty());
    program.kill_now();
}

}  // namespace
}  // namespace tavc::test
