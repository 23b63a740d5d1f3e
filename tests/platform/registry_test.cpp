#include "registry.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "child_process.h"
#include "codepage.h"
#include "file_io.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;
using tavc::codepage::gbk_from_utf8;
using tavc::registry::apply;
using tavc::registry::delete_key_tree;
using tavc::registry::Hive;
using tavc::registry::hive_file;
using tavc::registry::Key;
using tavc::registry::key_exists;
using tavc::registry::Value;
using tavc::registry::ValueType;

constexpr const char* kSettings = "Software\\TAVC\\Settings";

// Every test gets its own configuration folder, so tests run in parallel and never see ~/.config.
class Registry : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(temp_.ok()); }

    fs::path folder() const { return fs::path(root_) / "tavc"; }

    static std::string file_text(Hive hive = Hive::CurrentUser) {
        std::ifstream in(hive_file(hive), std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    void put_file(const std::string& text, Hive hive = Hive::CurrentUser) {
        fs::create_directories(folder());
        std::ofstream(hive_file(hive), std::ios::binary) << text;
    }

    tavc::test::TempFolder temp_{"registry_test"};
    tavc::test::ScopedEnv config_home_{"XDG_CONFIG_HOME", temp_.path()};
    const std::string& root_ = temp_.path();
};

TEST_F(Registry, KeepsItsFilesInTheConfigurationFolder) {
    EXPECT_EQ(hive_file(Hive::CurrentUser), root_ + "/tavc/user.reg");
    EXPECT_EQ(hive_file(Hive::ClassesRoot), root_ + "/tavc/classes.reg");
}

TEST_F(Registry, WritesTheExactFileTextAfterAFewWrites) {
    auto key = Key::open(Hive::CurrentUser, kSettings, true);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->write_dword("Comport", 10));
    EXPECT_TRUE(key->write_string("DNSStr", "http://127.0.0.1/tavc/"));
    EXPECT_TRUE(key->write_string("Msg", gbk_from_utf8("欢迎光临")));
    EXPECT_TRUE(key->write_string("Path", "C:\\tavc \"1\""));
    EXPECT_TRUE(key->write("Font", Value{ValueType::ExpandString, gbk_from_utf8("%A%宋"), 0}));
    EXPECT_TRUE(key->write_string("", "default"));
    EXPECT_TRUE(key->write_dword("Comport", 3));  // in place, not appended
    EXPECT_EQ(file_text(),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\TAVC]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\TAVC\\Settings]\n"
              "\"Comport\"=dword:00000003\n"
              "\"DNSStr\"=\"http://127.0.0.1/tavc/\"\n"
              "\"Msg\"=\"欢迎光临\"\n"
              "\"Path\"=\"C:\\\\tavc \\\"1\\\"\"\n"
              "\"Font\"=hex(2):25,41,25,e5,ae,8b,00\n"
              "@=\"default\"\n"
              "\n");
    EXPECT_EQ(key->read_string("Path"), "C:\\tavc \"1\"");
    EXPECT_EQ(key->read("Font"), (Value{ValueType::ExpandString, gbk_from_utf8("%A%宋"), 0}));
    EXPECT_EQ(key->read_string(""), "default");
    EXPECT_FALSE(fs::exists(hive_file(Hive::ClassesRoot)));
}

TEST_F(Registry, KeepsTheClassesHiveInItsOwnFile) {
    auto key = Key::open(Hive::ClassesRoot, "Corvis.Kel\\CLSID", true);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->write_string("", "{F56CF838-AF79-4886-B48D-9DEB50718475}"));
    EXPECT_EQ(file_text(Hive::ClassesRoot),
              "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Corvis.Kel]\n\n[HKEY_CLASSES_ROOT\\Corvis.Kel\\CLSID]\n"
              "@=\"{F56CF838-AF79-4886-B48D-9DEB50718475}\"\n\n");
    EXPECT_FALSE(key_exists(Hive::CurrentUser, "Corvis.Kel"));
}

TEST_F(Registry, CreatesNothingUntilTheFirstWrite) {
    EXPECT_FALSE(Key::open(Hive::CurrentUser, kSettings, false));
    EXPECT_FALSE(key_exists(Hive::CurrentUser, kSettings));
    EXPECT_TRUE(delete_key_tree(Hive::CurrentUser, kSettings));
    auto hive = Key::open(Hive::CurrentUser, "", false);
    ASSERT_TRUE(hive);  // the hive itself always exists
    EXPECT_TRUE(hive->delete_value("nothing"));
    EXPECT_FALSE(fs::exists(folder()));

    EXPECT_TRUE(Key::open(Hive::CurrentUser, kSettings, true));
    EXPECT_TRUE(fs::exists(hive_file(Hive::CurrentUser)));
    EXPECT_TRUE(key_exists(Hive::CurrentUser, "\\Software\\TAVC\\"));
}

TEST_F(Registry, ReadsEachTypeOnlyAsItself) {
    auto key = Key::open(Hive::CurrentUser, kSettings, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->write_dword("Comport", 0xFFFFFFFF));
    ASSERT_TRUE(key->write_string("usrid", "0001"));
    ASSERT_TRUE(key->write("Expand", Value{ValueType::ExpandString, "%PATH%", 0}));
    EXPECT_EQ(key->read_dword("Comport"), 0xFFFFFFFFu);
    EXPECT_EQ(key->read_string("Comport"), std::nullopt);
    EXPECT_EQ(key->read_dword("usrid"), std::nullopt);
    EXPECT_EQ(key->read_string("usrid"), "0001");
    EXPECT_EQ(key->read_string("Expand"), "%PATH%");
    EXPECT_EQ(key->read_dword("Expand"), std::nullopt);
    EXPECT_FALSE(key->has_value("missing"));
    EXPECT_EQ(key->read("missing"), std::nullopt);
    EXPECT_EQ(key->value_names(), (std::vector<std::string>{"Comport", "usrid", "Expand"}));
    EXPECT_TRUE(key->delete_value("usrid"));
    EXPECT_FALSE(key->has_value("usrid"));
    EXPECT_EQ(key->read_dword("Comport"), 0xFFFFFFFFu);
}

TEST_F(Registry, ComparesNamesWithoutCaseAndKeepsTheStoredSpelling) {
    auto key = Key::open(Hive::CurrentUser, kSettings, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->write_dword("Comport", 1));
    auto same = Key::open(Hive::CurrentUser, "SOFTWARE\\tavc\\settings", false);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->read_dword("COMPORT"), 1u);
    EXPECT_TRUE(same->write_dword("comPORT", 2));
    EXPECT_TRUE(Key::open(Hive::CurrentUser, "software\\TAVC\\Tips", true));
    EXPECT_EQ(file_text(),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\n[HKEY_CURRENT_USER\\Software\\TAVC]\n\n"
              "[HKEY_CURRENT_USER\\Software\\TAVC\\Settings]\n\"Comport\"=dword:00000002\n\n"
              "[HKEY_CURRENT_USER\\Software\\TAVC\\Tips]\n\n");
    EXPECT_TRUE(same->delete_value("COMPORT"));
    EXPECT_FALSE(key->has_value("Comport"));
}

TEST_F(Registry, SplitsGbkNamesOnlyAtRealBackslashes) {
    // The second byte of 乗 in GBK is 0x5C, the backslash.
    std::string name = gbk_from_utf8("乗");
    ASSERT_EQ(name[1], '\\');
    auto key = Key::open(Hive::CurrentUser, "Software\\" + name, true);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->write_string(name, name));
    EXPECT_EQ(Key::open(Hive::CurrentUser, "Software", false)->subkeys(), std::vector<std::string>{name});
    EXPECT_EQ(key->read_string(name), name);
    EXPECT_NE(file_text().find("[HKEY_CURRENT_USER\\Software\\乗]\n\"乗\"=\"乗\"\n"), std::string::npos);
}

TEST_F(Registry, DeletesAKeyTreeAndNothingBeside) {
    for (const char* path : {"A\\B\\C", "A\\B2", "A\\B", "A\\Bx\\D"})
        ASSERT_TRUE(Key::open(Hive::CurrentUser, path, true));
    ASSERT_TRUE(Key::open(Hive::CurrentUser, "A\\B", false)->write_dword("v", 1));
    EXPECT_EQ(Key::open(Hive::CurrentUser, "a", false)->subkeys(),
              (std::vector<std::string>{"B", "B2", "Bx"}));

    EXPECT_TRUE(delete_key_tree(Hive::CurrentUser, "a\\b"));
    EXPECT_FALSE(key_exists(Hive::CurrentUser, "A\\B"));
    EXPECT_FALSE(key_exists(Hive::CurrentUser, "A\\B\\C"));
    EXPECT_TRUE(key_exists(Hive::CurrentUser, "A\\B2"));
    EXPECT_TRUE(key_exists(Hive::CurrentUser, "A\\Bx\\D"));
    EXPECT_EQ(Key::open(Hive::CurrentUser, "A", false)->subkeys(), (std::vector<std::string>{"B2", "Bx"}));
    EXPECT_TRUE(delete_key_tree(Hive::CurrentUser, "A\\B"));  // already gone
    EXPECT_FALSE(delete_key_tree(Hive::CurrentUser, ""));     // never the whole hive
    EXPECT_FALSE(delete_key_tree(Hive::CurrentUser, "A\\\\B2"));
    EXPECT_TRUE(key_exists(Hive::CurrentUser, "A\\B2"));
}

// Edits that belong together reach the file in one replacement, seen by a watcher of the folder as one
// file moved into place; when one of them is refused, none is made.
TEST_F(Registry, AppliesSeveralEditsAsOneReplacementOrNone) {
    using tavc::registry::Edit;
    ASSERT_TRUE(Key::open(Hive::ClassesRoot, "CLSID\\{X}\\Old", true));
    const std::string before = file_text(Hive::ClassesRoot);
    tavc::file_io::Fd watch(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    ASSERT_TRUE(watch);
    ASSERT_GE(inotify_add_watch(watch.get(), folder().c_str(), IN_MOVED_TO), 0);
    auto replacements = [&] {
        int n = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t got; (got = read(watch.get(), events, sizeof events)) > 0;)
            for (char* at = events; at < events + got;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                n += std::string(event->name) == "classes.reg";
                at += sizeof(inotify_event) + event->len;
            }
        return n;
    };
    auto text = [](const char* s) { return Value{ValueType::String, s, 0}; };

    const Edit refused[] = {
        {Edit::Kind::DeleteKeyTree, "CLSID\\{X}", {}, {}},
        {Edit::Kind::Write, "CLSID\\{X}", "a\nb", text("x")},
    };
    EXPECT_FALSE(apply(Hive::ClassesRoot, refused));
    EXPECT_EQ(file_text(Hive::ClassesRoot), before);
    EXPECT_EQ(replacements(), 0);

    const Edit edits[] = {
        {Edit::Kind::DeleteKeyTree, "CLSID\\{X}", {}, {}},
        {Edit::Kind::CreateKey, "CLSID\\{X}", {}, {}},
        {Edit::Kind::Write, "CLSID\\{X}", "", text("Kel Class")},
        {Edit::Kind::Write, "CLSID\\{X}\\LocalServer32", "", text("/usr/bin/corvis")},
    };
    EXPECT_TRUE(apply(Hive::ClassesRoot, edits));
    EXPECT_EQ(replacements(), 1);
    EXPECT_EQ(file_text(Hive::ClassesRoot),
              "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\CLSID]\n\n[HKEY_CLASSES_ROOT\\CLSID\\{X}]\n@=\"Kel Class\"\n\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{X}\\LocalServer32]\n@=\"/usr/bin/corvis\"\n\n");
}

TEST_F(Registry, KeepsTheParentsOfADeletedKeyEvenWhenOnlyImplied) {
    put_file("REGEDIT4\n[HKEY_CURRENT_USER\\A\\B\\C]\n\"v\"=\"1\"\n");
    EXPECT_TRUE(key_exists(Hive::CurrentUser, "A\\B"));
    EXPECT_TRUE(delete_key_tree(Hive::CurrentUser, "A\\B\\C"));
    EXPECT_TRUE(key_exists(Hive::CurrentUser, "A\\B"));
    EXPECT_EQ(file_text(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\n[HKEY_CURRENT_USER\\A\\B]\n\n");
}

TEST_F(Registry, AWriteCreatesTheKeyAgainAfterAnotherRemovedIt) {
    auto key = Key::open(Hive::CurrentUser, kSettings, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(delete_key_tree(Hive::CurrentUser, "Software\\TAVC"));
    EXPECT_FALSE(key->has_value("Comport"));
    EXPECT_TRUE(key->write_dword("Comport", 4));
    EXPECT_EQ(Key::open(Hive::CurrentUser, kSettings, false)->read_dword("Comport"), 4u);
}

TEST_F(Registry, KeepsLinesItDoesNotUnderstandWordForWord) {
    put_file(
        "REGEDIT4\r\n"
        "; written by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\TAVC\\Settings]\r\n"
        "\"Bin\"=hex:01,02,ff\r\n"
        "\"Multi\"=hex(7):41,00,\\\r\n"
        "  42,00,00,00\r\n"
        "\r\n"
        "this line is not REGEDIT4\r\n"
        "\"Cut\"=hex(2):41,\\\r\n"
        "\"Old\"=\"gone\"\r\n"
        "42,00\r\n"
        "\"Comport\"=dword:00000001\r\n"
        "\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software]\r\n"
        "\"Other\"=\"hive\"\r\n"
        "[HKEY_CURRENT_USER\\Bad\\\\Path]\r\n"
        "\"Kept\"=\"too\"\r\n");
    auto key = Key::open(Hive::CurrentUser, kSettings, false);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->has_value("Bin"));
    EXPECT_EQ(key->read("Bin"), std::nullopt);
    EXPECT_EQ(key->read_string("Multi"), std::nullopt);
    EXPECT_TRUE(key->write_dword("Comport", 2));
    EXPECT_TRUE(key->delete_value("Old"));
    EXPECT_TRUE(key->write_string("New", "x"));
    EXPECT_EQ(key->read("Cut"), std::nullopt);  // cut short; the removed line's neighbour is no continuation
    EXPECT_EQ(file_text(),
              "REGEDIT4\n"
              "; written by hand\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\TAVC\\Settings]\n"
              "\"Bin\"=hex:01,02,ff\n"
              "\"Multi\"=hex(7):41,00,\\\n"
              "  42,00,00,00\n"
              "\n"
              "this line is not REGEDIT4\n"
              "\"Cut\"=hex(2):41,\\\n"
              "\n"
              "42,00\n"
              "\"Comport\"=dword:00000002\n"
              "\"New\"=\"x\"\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software]\n"
              "\"Other\"=\"hive\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Bad\\\\Path]\n"
              "\"Kept\"=\"too\"\n"
              "\n");
}

// What the header comment promises of the layout: a byte-order mark, the CRs at line ends and the blank
// lines before the first key go; an unreadable line before the first key stays.
TEST_F(Registry, KeepsTheLinesBeforeTheFirstKeyButNotTheBlankOnes) {
    put_file(
        "\xEF\xBB\xBF\r\n\r\nREGEDIT4\r\n\r\n; by hand\r\n\r\n  \r\n; again\r\n[HKEY_CURRENT_USER\\K]\r\n");
    ASSERT_TRUE(Key::open(Hive::CurrentUser, "K", false)->write_dword("a", 1));
    EXPECT_EQ(file_text(),
              "REGEDIT4\n; by hand\n; again\n\n[HKEY_CURRENT_USER\\K]\n\"a\"=dword:00000001\n\n");
}

struct HandEdited {
    const char* label;
    std::string file;  // after "REGEDIT4\n[HKEY_CURRENT_USER\K]\n" unless it starts with '!'
    const char* name;
    std::optional<Value> expected;  // texts in UTF-8
};

Value text(const char* utf8) {
    return Value{ValueType::String, utf8, 0};
}
Value expand(const char* utf8) {
    return Value{ValueType::ExpandString, utf8, 0};
}
Value dword(uint32_t v) {
    return Value{ValueType::Dword, {}, v};
}
const std::optional<Value> kNone;

template <size_t N>
std::string bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

class RegistryHandEdited : public Registry, public ::testing::WithParamInterface<HandEdited> {};

TEST_P(RegistryHandEdited, ReadsTheValueBackOrNone) {
    const HandEdited& c = GetParam();
    put_file(c.file[0] == '!' ? c.file.substr(1) : "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n" + c.file);
    std::optional<Value> expected = c.expected;
    if (expected) expected->text = gbk_from_utf8(expected->text);
    auto key = Key::open(Hive::CurrentUser, "K", false);
    EXPECT_EQ(key ? key->read(gbk_from_utf8(c.name)) : std::nullopt, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegistryHandEdited,
    ::testing::Values(
        HandEdited{"Text", "\"a\"=\"x\"\n", "a", text("x")},
        HandEdited{"Chinese", "\"名\"=\"宋体\"\n", "名", text("宋体")},
        HandEdited{"CrLf", "!REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"a\"=\"x\"\r\n", "a", text("x")},
        HandEdited{"NoLastNewline", "\"a\"=dword:0000000A", "a", dword(10)},
        HandEdited{"ByteOrderMark", "!\xEF\xBB\xBFREGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=\"x\"\n", "a",
                   text("x")},
        HandEdited{"NoFirstLine", "![HKEY_CURRENT_USER\\K]\n\"a\"=\"x\"\n", "a", text("x")},
        HandEdited{"CommentsAndBlanks", "; \"a\"=\"no\"\n\n  \n\"a\"=\"yes\"\n;end\n", "a", text("yes")},
        HandEdited{"OtherCase", "![hkey_current_user\\k]\n\"A\"=\"x\"\n", "a", text("x")},
        HandEdited{"BlanksAroundEquals", "  \"a\" = \"x\"  \n", "a", text("x")},
        HandEdited{"Escapes", "\"a\\\"b\"=\"C:\\\\x\\\"y\\q\"\n", "a\"b", text("C:\\x\"y\\q")},
        HandEdited{"DefaultValue", "@=\"d\"\n", "", text("d")},
        HandEdited{"QuotedEmptyNameIsTheDefault", "\"\"=\"d\"\n", "", text("d")},
        HandEdited{"LastCopyWins", "\"a\"=\"1\"\n[HKEY_CURRENT_USER\\K]\n\"A\"=\"2\"\n", "a", text("2")},
        HandEdited{"ShortDword", "\"a\"=DWORD:1\n", "a", dword(1)},
        HandEdited{"DwordTooLong", "\"a\"=dword:123456789\n", "a", kNone},
        HandEdited{"DwordNotHex", "\"a\"=dword:12g4\n", "a", kNone},
        HandEdited{"DwordEmpty", "\"a\"=dword:\n", "a", kNone},
        HandEdited{"WrappedHex", "\"a\"=hex(2):25,41,\\\n  25,00\n\"b\"=\"x\"\n", "a", expand("%A%")},
        HandEdited{"WrapStopsAtAKeyLine", "\"a\"=hex(2):41,\\\n[HKEY_CURRENT_USER\\K]\n\"b\"=\"x\"\n", "b",
                   text("x")},
        HandEdited{"BlankLineEndsAWrappedValue", "\"a\"=hex(2):41,\\\n\n  42,00\n", "a", kNone},
        HandEdited{"HexCutShort", "\"a\"=hex(2):41,\\\n", "a", kNone},
        HandEdited{"HexText", "\"a\"=hex(1):41,0d,0a,42,00\n", "a", text("A\r\nB")},
        HandEdited{"WrappedHexText", "\"a\"=HEX(1):e5,ae,8b,\\\n  0a,00\n", "a", text("宋\n")},
        HandEdited{"HexWithoutTerminator", "\"a\"=hex(2):41,42\n", "a", expand("AB")},
        HandEdited{"EmptyHex", "\"a\"=hex(2):\n", "a", expand("")},
        HandEdited{"HexBadByte", "\"a\"=hex(2):4g,00\n", "a", kNone},
        HandEdited{"HexLongByte", "\"a\"=hex(2):041,00\n", "a", kNone},
        HandEdited{"UnknownType", "\"a\"=hex:01\n", "a", kNone},
        HandEdited{"UnterminatedText", "\"a\"=\"abc\n\"b\"=\"x\"\n", "b", text("x")},
        HandEdited{"TextAfterTheQuote", "\"a\"=\"abc\"junk\n", "a", kNone},
        HandEdited{"NoEquals", "\"a\" \"x\"\n", "a", kNone},
        HandEdited{"UnterminatedName", "\"a=\"x\n", "a", kNone},
        HandEdited{"NotUtf8", "\"a\"=\"\xFF\"\n", "a", text("?")},
        HandEdited{"NulBytes", bytes("\0\0garbage\0\n\"a\"=\"x\"\n"), "a", text("x")},
        HandEdited{"ValueBeforeAnyKey", "!REGEDIT4\n\"a\"=\"x\"\n[HKEY_CURRENT_USER\\K]\n", "a", kNone},
        HandEdited{"OtherHive", "![HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"x\"\n", "a", kNone},
        HandEdited{"EmptyKeyName", "![HKEY_CURRENT_USER\\\\K]\n\"a\"=\"x\"\n", "a", kNone},
        HandEdited{"DeletionLine", "![-HKEY_CURRENT_USER\\K]\n\"a\"=\"x\"\n", "a", kNone},
        HandEdited{"CutInAKeyLine", "![HKEY_CURRENT_USER\\K", "a", kNone},
        HandEdited{"Empty", "!", "a", kNone}),
    [](const ::testing::TestParamInfo<HandEdited>& row) { return std::string(row.param.label); });

TEST_F(Registry, RefusesNulsAndNamesThatWouldBreakTheLineAndKeepsTheFile) {
    auto key = Key::open(Hive::CurrentUser, kSettings, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->write_string("a", "1"));
    std::string before = file_text();
    EXPECT_FALSE(key->write_string("b\r\n\"c", "x"));
    EXPECT_FALSE(key->write_string("b", std::string("x\0y", 3)));
    EXPECT_FALSE(key->write_string("b", std::string("x\n\0y", 4)));
    EXPECT_FALSE(key->write("b", Value{ValueType::ExpandString, std::string("x\0y", 3), 0}));
    EXPECT_FALSE(Key::open(Hive::CurrentUser, "Software\\x\ny", true));
    EXPECT_EQ(file_text(), before);
}

// A quoted text cannot hold a line break: such a text is stored as its bytes, still on one line, and a
// text without one is quoted again.
TEST_F(Registry, StoresTextsWithLineBreaksAsBytesOnOneLine) {
    struct Case {
        ValueType type;
        const char* utf8;
        const char* line;
    };
    const Case cases[] = {
        {ValueType::String, "x\n[HKEY_CURRENT_USER\\Injected]",
         "\"b\"=hex(1):78,0a,5b,48,4b,45,59,5f,43,55,52,52,45,4e,54,5f,55,53,45,52,5c,49,6e,6a,65,63,74,65,"
         "64,5d,00"},
        {ValueType::String, "宋\r\n体\r", "\"b\"=hex(1):e5,ae,8b,0d,0a,e4,bd,93,0d,00"},
        {ValueType::ExpandString, "x\ny", "\"b\"=hex(2):78,0a,79,00"},
        {ValueType::String, "y", "\"b\"=\"y\""},
    };
    auto key = Key::open(Hive::CurrentUser, kSettings, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->write_string("a", "1"));
    std::string before = file_text();
    before.pop_back();  // the key's closing blank line comes after the new value
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Value value{c.type, gbk_from_utf8(c.utf8), 0};
        EXPECT_TRUE(key->write("b", value));
        EXPECT_EQ(key->read("b"), value);
        EXPECT_EQ(file_text(), before + c.line + "\n\n");
    }
    EXPECT_FALSE(key_exists(Hive::CurrentUser, "Injected"));
}

TEST_F(Registry, FailsWhenTheFileCannotBeReadOrReplaced) {
    fs::create_directories(hive_file(Hive::CurrentUser));  // a folder where the file belongs
    EXPECT_FALSE(Key::open(Hive::CurrentUser, kSettings, true));
    EXPECT_FALSE(Key::open(Hive::CurrentUser, "", false));
    EXPECT_FALSE(key_exists(Hive::CurrentUser, ""));
    EXPECT_FALSE(delete_key_tree(Hive::CurrentUser, kSettings));

    fs::remove_all(folder());
    std::ofstream(folder()) << "a file where the folder belongs";
    EXPECT_FALSE(Key::open(Hive::CurrentUser, kSettings, true));
    EXPECT_EQ(Key::open(Hive::CurrentUser, "", false)->write_dword("a", 1), false);
}

// A replacement keeps the mode of a hive file its user made, and lends none from what stands in its place.
TEST_F(Registry, AReplacedFileKeepsTheModeOfItsOwnersRegularFileOnly) {
    struct Case {
        const char* label;
        bool link;     // the hive file is a link to the file of that mode
        bool foreign;  // the file belongs to another user (only root can make one)
        mode_t mode;
        mode_t expected;
    };
    const Case cases[] = {
        {"its owner's regular file", false, false, 0640, 0640},
        {"a link to a file of mode 0666", true, false, 0666, 0600},
        {"another user's regular file", false, true, 0666, 0600},  // last: it may skip
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.foreign && geteuid() != 0) GTEST_SKIP() << "only root can make a file of another user";
        fs::remove_all(folder());
        fs::create_directories(folder());
        const std::string target = c.link ? root_ + "/elsewhere.reg" : hive_file(Hive::CurrentUser);
        const std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\n";
        std::ofstream(target, std::ios::binary) << text;
        ASSERT_EQ(chmod(target.c_str(), c.mode), 0);
        if (c.foreign) {
            ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
        }
        if (c.link) fs::create_symlink(target, hive_file(Hive::CurrentUser));

        ASSERT_TRUE(Key::open(Hive::CurrentUser, "K", false)->write_dword("a", 1));
        struct stat st {};
        ASSERT_EQ(lstat(hive_file(Hive::CurrentUser).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, c.expected);
        EXPECT_EQ(st.st_uid, geteuid());
        if (c.link) {
            EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(c.mode));
            std::ifstream in(target, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
        }
    }
}

TEST_F(Registry, LeavesNoTemporaryFilesBehind) {
    auto key = Key::open(Hive::CurrentUser, kSettings, true);
    ASSERT_TRUE(key);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(key->write_dword("n" + std::to_string(i), i));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"user.reg", "user.reg.lock"}));
}

// Work and memory stay in proportion to the file, whatever it holds: the library reads this key as it
// loads. The reading and writing run in a child, whose peak memory wait4 reports.
TEST_F(Registry, EightMegabytesOfBlankLinesInAKeyCostNoMoreThanTheirSize) {
    const std::string blank(8 << 20, '\n');
    put_file("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\TAVC\\Settings]\n" + blank +
             "\"Comport\"=dword:00000003\n");
    auto start = std::chrono::steady_clock::now();
    auto run = tavc::test::run_forked([] {
        auto key = Key::open(Hive::CurrentUser, kSettings, false);
        return key && key->read_dword("Comport") == 3u && key->write_dword("BAUND_RATE", 9600) &&
               key->read_dword("BAUND_RATE") == 9600u;
    });
    EXPECT_TRUE(run.ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_LT(run.max_rss_kb, tavc::test::peak_memory_bound_kb(200 * 1024)) << "kB";
    // The lines stay where they were.
    EXPECT_NE(file_text().find("Settings]\n" + blank + "\"Comport\""), std::string::npos);
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWriters = 2;
    constexpr int kValues = 150;
    ASSERT_TRUE(Key::open(Hive::CurrentUser, kSettings, true));
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(start[1]);
            char c;
            (void)!read(start[0], &c, 1);  // returns at EOF, when the parent lets both go at once
            auto key = Key::open(Hive::CurrentUser, kSettings, false);
            bool ok = key.has_value();
            for (int i = 0; ok && i < kValues; ++i)
                ok = key->write_dword("w" + std::to_string(w) + "_" + std::to_string(i), w * 1000 + i);
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto key = Key::open(Hive::CurrentUser, kSettings, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->value_names().size(), static_cast<size_t>(kWriters * kValues));
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kValues; ++i)
            EXPECT_EQ(key->read_dword("w" + std::to_string(w) + "_" + std::to_string(i)),
                      static_cast<uint32_t>(w * 1000 + i));
}

}  // namespace
