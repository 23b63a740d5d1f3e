#include "com.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "child_process.h"
#include "private_bus.h"
#include "recording_server.h"
#include "registry.h"
#include "temp_folder.h"

namespace {

using namespace std::chrono_literals;
using namespace tavc::com;
using tavc::registry::Hive;
using tavc::test::ChildProcess;
using tavc::test::PrivateBus;
using namespace std::string_literals;

constexpr Guid kClass{"{0B5E6C1A-3F2D-4E8B-9A71-5C4D3E2F1A0B}"};
constexpr Guid kIid{"{6E2A9C4B-1D3F-4A5E-8B7C-9D0E1F2A3B4C}"};
constexpr MethodInfo kMethods[] = {{"Execute", 3, "parastr"}, {"Other", 4, "text"}};
constexpr InterfaceInfo kIface{"ITest", kIid, kMethods};

// The class registered with the registry only (the server runs in the test, no activation needed).
void register_class_keys(std::string_view module) {
    std::string clsid_key = "CLSID\\" + kClass.braced();
    std::string server_key = clsid_key + "\\LocalServer32";
    static constexpr ScriptValue kServerValue[] = {{"", "%MODULE%"}};
    const ScriptKey script[] = {{"CLSID", KeyRule::NoRemove, {}},
                                {clsid_key, KeyRule::ForceRemove, {}},
                                {server_key, KeyRule::Normal, kServerValue}};
    ASSERT_EQ(apply_registry_script(script, true, module), kOk);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ComNames, DeriveTheBusNameFromTheClassId) {
    constexpr Guid agent{"{f56cf838-af79-4886-b48d-9deb50718475}"};
    EXPECT_EQ(agent.braced(), "{F56CF838-AF79-4886-B48D-9DEB50718475}");
    EXPECT_EQ(bus_name(agent), "tavc.com.Class_F56CF838AF794886B48D9DEB50718475");
    EXPECT_EQ(interface_bus_name(kIface), "tavc.com.ITest");
    for (const char* bad :
         {"", "F56CF838-AF79-4886-B48D-9DEB50718475", "{F56CF838-AF79-4886-B48D-9DEB5071847}",
          "{F56CF838AAF79-4886-B48D-9DEB50718475}", "{G56CF838-AF79-4886-B48D-9DEB50718475}"})
        EXPECT_FALSE(Guid::parse(bad)) << bad;
}

class ComRegistration : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(temp_.ok()); }

    tavc::test::TempFolder temp_{"tavc-com", "/tmp"};
    const std::string& root_ = temp_.path();
    tavc::test::ScopedEnv config_home_{"XDG_CONFIG_HOME", temp_ / "config"};
    tavc::test::ScopedEnv data_home_{"XDG_DATA_HOME", temp_ / "data"};
};

TEST_F(ComRegistration, ForceRemoveClearsAKeyAndNoRemoveKeepsItsParent) {
    static constexpr ScriptValue kValues[] = {{"", "Test Class"}, {"Path", "run %MODULE% now"}};
    const ScriptKey script[] = {{"Root", KeyRule::NoRemove, {}},
                                {"Root\\Item", KeyRule::ForceRemove, kValues},
                                {"Root\\Item\\Sub", KeyRule::Normal, {}}};
    ASSERT_EQ(apply_registry_script(script, true, "/opt/x/server"), kOk);
    auto stale = tavc::registry::Key::open(Hive::ClassesRoot, "Root\\Item\\Stale", true);
    ASSERT_TRUE(stale);
    ASSERT_TRUE(tavc::registry::Key::open(Hive::ClassesRoot, "Root\\Other", true));

    ASSERT_EQ(apply_registry_script(script, true, "/opt/x/server"), kOk);
    auto item = tavc::registry::Key::open(Hive::ClassesRoot, "Root\\Item", false);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->subkeys(), std::vector<std::string>{"Sub"});
    EXPECT_EQ(item->read_string(""), "Test Class");
    EXPECT_EQ(item->read_string("Path"), "run /opt/x/server now");

    ASSERT_EQ(apply_registry_script(script, false, "/opt/x/server"), kOk);
    EXPECT_FALSE(tavc::registry::key_exists(Hive::ClassesRoot, "Root\\Item"));
    EXPECT_TRUE(tavc::registry::key_exists(Hive::ClassesRoot, "Root\\Other"));
}

TEST_F(ComRegistration, WritesAndRemovesTheActivationFile) {
    std::string file = activation_file(kClass);
    EXPECT_EQ(file, root_ + "/data/dbus-1/services/" + bus_name(kClass) + ".service");
    ASSERT_EQ(register_activation(kClass, "/opt/a b/it's"), kOk);
    EXPECT_EQ(read_file(file), "[D-BUS Service]\nName=" + bus_name(kClass) + "\nExec='/opt/a b/it'\\''s'\n");
    ASSERT_EQ(register_activation(kClass, "/opt/tavc/corvis"), kOk);
    EXPECT_EQ(read_file(file), "[D-BUS Service]\nName=" + bus_name(kClass) + "\nExec=/opt/tavc/corvis\n");
    EXPECT_EQ(unregister_activation(kClass), kOk);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(unregister_activation(kClass), kOk);
    EXPECT_NE(register_activation(kClass, "relative/corvis"), kOk);
}

TEST_F(ComRegistration, ActivationFileDefaultsToTheHomeDataFolder) {
    unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    setenv("HOME", root_.c_str(), 1);
    EXPECT_EQ(activation_file(kClass),
              root_ + "/.local/share/dbus-1/services/" + bus_name(kClass) + ".service");
    if (home != nullptr) setenv("HOME", home, 1);
}

TEST(ComClient, FailsCleanlyWithoutASessionBus) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::string saved = address != nullptr ? address : "";
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("XDG_RUNTIME_DIR");
    Session session;
    EXPECT_EQ(session.open(), kServerUnavailable);
    Object object;
    EXPECT_EQ(session.create_instance(kClass, kIface, object), kServerUnavailable);
    EXPECT_FALSE(object.held());
    if (address != nullptr) setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
}

// A server of kClass on its own thread, recording what reaches it.
class TestServer : public tavc::test::RecordingServer {
  public:
    explicit TestServer(HResult answer = kOk) : RecordingServer(kClass, kIface, answer) {}
};

class ComOnPrivateBus : public ::testing::Test {
  protected:
    void SetUp() override {
        bus_ = std::make_unique<PrivateBus>();
        if (!bus_->ok()) GTEST_SKIP() << bus_->error();
        register_class_keys("/opt/tavc/test-server");
        ASSERT_EQ(session_.open(), kOk);
    }
    void TearDown() override {
        session_ = Session();
        bus_.reset();
    }
    std::unique_ptr<PrivateBus> bus_;
    Session session_;
};

TEST_F(ComOnPrivateBus, CarriesTheTextUnitForUnit) {
    TestServer server;
    ASSERT_EQ(server.status(), kOk);
    Object object;
    ASSERT_EQ(session_.create_instance(kClass, kIface, object), kOk);
    EXPECT_EQ(server.locks(), 1);
    // Embedded NUL, a lone surrogate, a pair and a BOM survive, as does the empty text.
    const std::u16string text = u"TAVSpeak\t29\t\u8BF7\0x\xD800y\U0001F600\uFEFF"s;
    EXPECT_EQ(object.invoke("Execute", text), kOk);
    EXPECT_EQ(object.invoke("Other", u""), kOk);
    EXPECT_EQ(object.invoke("Missing", u"x"), kUnknownName);
    EXPECT_EQ(object.release(), kOk);
    EXPECT_TRUE(server.wait_for_locks(0, 3s));
    auto calls = server.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::make_pair(size_t{0}, text));
    EXPECT_EQ(calls[1], std::make_pair(size_t{1}, std::u16string()));
    EXPECT_EQ(object.invoke("Execute", u"late"), kInvalidArgument);
}

TEST_F(ComOnPrivateBus, GivesEachActivationItsOwnObject) {
    TestServer server;
    ASSERT_EQ(server.status(), kOk);
    Object first, second;
    ASSERT_EQ(session_.create_instance(kClass, kIface, first), kOk);
    Session other;
    ASSERT_EQ(other.open(), kOk);
    ASSERT_EQ(other.create_instance(kClass, kIface, second), kOk);
    EXPECT_EQ(server.locks(), 2);
    EXPECT_EQ(first.release(), kOk);
    EXPECT_EQ(second.invoke("Execute", u"still here"), kOk);
    EXPECT_EQ(second.release(), kOk);
    EXPECT_TRUE(server.wait_for_locks(0, 3s));
}

TEST_F(ComOnPrivateBus, ServesTheTypeLibrary) {
    TestServer server;
    ASSERT_EQ(server.status(), kOk);
    Object object;
    ASSERT_EQ(session_.create_instance(kClass, kIface, object), kOk);
    int32_t dispid = 0;
    EXPECT_EQ(object.get_id_of_name("Execute", dispid), kOk);
    EXPECT_EQ(dispid, 3);
    EXPECT_EQ(object.get_id_of_name("other", dispid), kOk);
    EXPECT_EQ(dispid, 4);
    EXPECT_EQ(object.get_id_of_name("Nothing", dispid), kUnknownName);
    std::vector<int32_t> dispids;
    const std::string names[] = {"other", "EXECUTE"};
    EXPECT_EQ(object.get_ids_of_names(names, dispids), kOk);
    EXPECT_EQ(dispids, (std::vector<int32_t>{4, 3}));
    EXPECT_EQ(object.get_ids_of_names(std::vector<std::string>(kMaxNamesPerCall + 1, "Execute"), dispids),
              kInvalidArgument);
    std::string xml;
    ASSERT_EQ(object.introspect(xml), kOk);
    EXPECT_NE(xml.find("<interface name=\"tavc.com.ITest\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<method name=\"Execute\">\n   <arg type=\"aq\" name=\"parastr\" direction=\"in\"/>"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<method name=\"GetIDsOfNames\">"), std::string::npos);
}

TEST_F(ComOnPrivateBus, PassesTheServersFailureBack) {
    TestServer server(kRegistryWriteFailed);
    ASSERT_EQ(server.status(), kOk);
    Object object;
    ASSERT_EQ(session_.create_instance(kClass, kIface, object), kOk);
    EXPECT_EQ(object.invoke("Execute", u"x"), kRegistryWriteFailed);
}

TEST_F(ComOnPrivateBus, RefusesAnInterfaceTheClassLacks) {
    TestServer server;
    ASSERT_EQ(server.status(), kOk);
    const InterfaceInfo other{"IOther", Guid{"{11111111-2222-3333-4444-555555555555}"}, kMethods};
    Object object;
    EXPECT_EQ(session_.create_instance(kClass, other, object), kNoInterface);
    EXPECT_FALSE(object.held());
    EXPECT_EQ(server.locks(), 0);
}

TEST_F(ComOnPrivateBus, SecondServerCannotTakeTheClass) {
    TestServer first;
    ASSERT_EQ(first.status(), kOk);
    TestServer second;
    EXPECT_EQ(second.status(), kClassAlreadyOwned);
}

TEST_F(ComOnPrivateBus, LocksTheServerAndGivesBackOnlyItsOwnLock) {
    TestServer server;
    ASSERT_EQ(server.status(), kOk);
    EXPECT_EQ(session_.lock_server(kClass, false), kInvalidArgument);
    ASSERT_EQ(session_.lock_server(kClass, true), kOk);
    EXPECT_EQ(server.locks(), 1);
    ASSERT_EQ(session_.lock_server(kClass, false), kOk);
    EXPECT_TRUE(server.wait_for_locks(0, 3s));
    EXPECT_EQ(session_.lock_server(kClass, false), kInvalidArgument);
    EXPECT_EQ(server.locks(), 0);
}

TEST_F(ComOnPrivateBus, EndsTheHoldingsOfAClientThatLeaves) {
    TestServer server;
    ASSERT_EQ(server.status(), kOk);
    {
        Session leaving;
        ASSERT_EQ(leaving.open(), kOk);
        ASSERT_EQ(leaving.lock_server(kClass, true), kOk);
        EXPECT_EQ(server.locks(), 1);
    }
    EXPECT_TRUE(server.wait_for_locks(0, 3s));
}

TEST_F(ComOnPrivateBus, EndsTheObjectOfAClientThatDies) {
    TestServer server;
    ASSERT_EQ(server.status(), kOk);
    ChildProcess client({std::string(std::getenv("TAVC_TEST_BIN_DIR")) + "/held_object_client",
                         kClass.braced(), kIid.braced(), "ITest", "Execute", "hello"});
    ASSERT_TRUE(client.started());
    EXPECT_EQ(client.read_line(5s), "held");
    EXPECT_EQ(server.locks(), 1);
    client.kill_now();
    EXPECT_TRUE(server.wait_for_locks(0, 3s));
    ASSERT_EQ(server.calls().size(), 1u);
    EXPECT_EQ(server.calls()[0].second, u"hello");
}

TEST_F(ComOnPrivateBus, RevokedClassTakesNoMoreActivationsButServesItsObjects) {
    TestServer server;
    ASSERT_EQ(server.status(), kOk);
    Object held;
    ASSERT_EQ(session_.create_instance(kClass, kIface, held), kOk);
    ASSERT_TRUE(server.revoke(3s));
    Object refused;
    EXPECT_EQ(session_.create_instance(kClass, kIface, refused), kServerExecFailure);
    // Calls on a held object go to the server's own connection, not to the released name.
    EXPECT_EQ(held.invoke("Execute", u"after"), kOk);
    EXPECT_EQ(held.release(), kOk);
    EXPECT_TRUE(server.wait_for_locks(0, 3s));
    TestServer next;
    EXPECT_EQ(next.status(), kOk);
}

TEST_F(ComOnPrivateBus, UnregisteredClassFailsAtOnce) {
    ASSERT_TRUE(tavc::registry::delete_key_tree(Hive::ClassesRoot, "CLSID\\" + kClass.braced()));
    TestServer server;
    Object object;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session_.create_instance(kClass, kIface, object), kClassNotRegistered);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kActivationTimeout);
    EXPECT_EQ(server.locks(), 0);
}

// Installed for every user, a class has no keys of the user's, only an activation file that the bus reads.
TEST_F(ComOnPrivateBus, AClassTheBusCanStartNeedsNoKeysOfTheUser) {
    ASSERT_TRUE(tavc::registry::delete_key_tree(Hive::ClassesRoot, "CLSID\\" + kClass.braced()));
    ASSERT_EQ(register_activation(kClass, "/opt/tavc/test-server"), kOk);
    TestServer server;
    Object object;
    ASSERT_EQ(session_.create_instance(kClass, kIface, object), kOk);
    EXPECT_EQ(object.invoke("Execute", u"installed"), kOk);
    EXPECT_EQ(object.release(), kOk);
    EXPECT_TRUE(server.wait_for_locks(0, 3s));
}

TEST_F(ComOnPrivateBus, ServerThatFailsToStartFailsTheActivationAtOnce) {
    ASSERT_EQ(register_activation(kClass, "/bin/false"), kOk);
    Object object;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session_.create_instance(kClass, kIface, object), kServerExecFailure);
    // Not the activation time-out, which a server that never answers costs.
    EXPECT_LT(std::chrono::steady_clock::now() - start, kActivationTimeout);
}

TEST_F(ComOnPrivateBus, ServerThatNeverTakesItsNameFailsTheActivationInBoundedTime) {
    // Exits 0 without taking the name: the bus reports nothing, only the client's own bound ends the wait.
    ASSERT_EQ(register_activation(kClass, "/bin/true"), kOk);
    Object object;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session_.create_instance(kClass, kIface, object), kServerExecFailure);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, kActivationTimeout - 100ms);
    EXPECT_LT(waited, 15s);
}

}  // namespace
