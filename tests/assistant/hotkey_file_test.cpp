// The hot-key file reader and the tables that turn its records into the hot-key component's codes.
#include <errno.h>

#include "child_process.h"
#include "codepage.h"
#include "handler_error.h"
#include "hkutils.h"
#include "hotkeys.h"
#include "planted_fifo.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

// After gtest: X.h defines None.
#include <X11/X.h>
#include <X11/keysym.h>

namespace tavc::hotkeys {
void PrintTo(const KeyCodeStates& key, std::ostream* out) {
    *out << "key code " << int(key.keycode) << " NumLock states " << int(key.num_lock_states);
}
}  // namespace tavc::hotkeys

namespace tavc::assistant {
namespace {

using Bytes = std::string;

Bytes B(std::initializer_list<int> bytes) {
    Bytes out;
    for (int b : bytes) out.push_back(static_cast<char>(b));
    return out;
}
Bytes Short(const std::string& text) {
    return B({0x06, static_cast<int>(text.size())}) + text;
}
Bytes Len32(int tag, uint32_t length) {
    return B({tag, int(length & 0xFF), int(length >> 8 & 0xFF), int(length >> 16 & 0xFF), int(length >> 24)});
}
Bytes Int8(int v) {
    return B({0x02, v & 0xFF});
}
Bytes Bool(bool v) {
    return B({v ? 0x09 : 0x08});
}

const Bytes kEmptyHeader = Short("");
const Bytes kBegin = B({0x01});
const Bytes kEnd = B({0x00});

// One record: name, kind, (command when kind is 0), Ctrl Alt Shift Win, key index, trailing flag.
Bytes Record(int kind, const std::optional<std::string>& command, bool win, int key_index) {
    Bytes out = Short("") + Int8(kind);
    if (command) out += Short(*command);
    return out + Bool(false) + Bool(false) + Bool(false) + Bool(win) + Int8(key_index) + Bool(false);
}

struct Expected {
    std::string name;
    int32_t kind;
    std::string command;
    bool ctrl, alt, shift, win;
    int32_t key_index;
    bool trailing;
};

struct FileCase {
    const char* title;
    Bytes bytes;
    std::vector<Expected> records;
    const char* error = nullptr;  // none: loads without error
};

std::ostream& operator<<(std::ostream& os, const FileCase& c) {
    return os << c.title;
}

const std::string kGbkHello = codepage::gbk_from_utf8("你好");

std::vector<FileCase> FileCases() {
    const Expected win1{"", 0, "", false, false, false, true, 19, false};
    Bytes wide_hello = Len32(0x12, 2) + B({0x60, 0x4F, 0x7D, 0x59});  // U+4F60 U+597D
    Bytes utf8_hello = Len32(0x14, 6) + "你好";
    return {
        {"AListWithNoRecordsLoadsNothing", kEmptyHeader + kBegin + kEnd, {}},
        {"TheHeaderContentDoesNotMatter", Short("any header at all") + kBegin + kEnd, {}},
        {"TheExampleBytesGiveWinPlusOne",
         B({0x06, 0x00, 0x01, 0x06, 0x00, 0x02, 0x00, 0x06, 0x00, 0x08, 0x08, 0x08, 0x09, 0x02, 0x13, 0x08,
            0x00}),
         {win1}},
        {"AKindWrittenInTwoBytesIsStillACommand",
         kEmptyHeader + kBegin + Short("") + B({0x03, 0x00, 0x00}) + Short("PJ") + B({8, 8, 8, 9}) +
             Int8(22) + Bool(false) + kEnd,
         {{"", 0, "PJ", false, false, false, true, 22, false}}},
        {"AKindWrittenInFourBytesIsStillACommand",
         kEmptyHeader + kBegin + Short("") + B({0x04, 0, 0, 0, 0}) + Short("x") + B({8, 8, 8, 9}) + Int8(22) +
             Bool(false) + kEnd,
         {{"", 0, "x", false, false, false, true, 22, false}}},
        {"IntegersAreSignExtended",
         kEmptyHeader + kBegin + Short("") + B({0x03, 0xFE, 0xFF}) + B({8, 8, 8, 8}) +
             B({0x04, 0x78, 0x56, 0x34, 0x12}) + Bool(false) + Short("") + Int8(1) + B({8, 8, 8, 8}) +
             B({0x02, 0xFF}) + Bool(true) + kEnd,
         {{"", -2, "", false, false, false, false, 0x12345678, false},
          {"", 1, "", false, false, false, false, -1, true}}},
        {"OnlyTheByte09IsTrueAndEachFlagTakesOneByte",
         kEmptyHeader + kBegin + Short("") + Int8(1) + B({0x09, 0x00, 0x01, 0x41}) + Int8(5) + B({0x09}) +
             kEnd,
         {{"", 1, "", true, false, false, false, 5, true}}},
        {"CommandsOtherThanTheRatingWordAreKeptAsWritten",
         kEmptyHeader + kBegin + Record(0, "pj", true, 20) + Record(0, "PJ21", true, 21) + kEnd,
         {{"", 0, "pj", false, false, false, true, 20, false},
          {"", 0, "PJ21", false, false, false, true, 21, false}}},
        {"AKindOtherThanZeroHasNoCommand",
         kEmptyHeader + kBegin + Record(3, std::nullopt, true, 23) + kEnd,
         {{"", 3, "", false, false, false, true, 23, false}}},
        {"WideAndUtf8StringsBecomeGbkAndLongStringsAreTakenAsTheyAre",
         Len32(0x0C, 3) + "hdr" + kBegin + wide_hello + Int8(0) + utf8_hello + B({8, 8, 8, 8}) + Int8(0) +
             Bool(false) + Len32(0x0C, 2) + "ab" + Int8(0) + Len32(0x12, 0) + B({8, 8, 8, 8}) + Int8(0) +
             Bool(false) + kEnd,
         {{kGbkHello, 0, kGbkHello, false, false, false, false, 0, false},
          {"ab", 0, "", false, false, false, false, 0, false}}},
        {"NothingAfterTheEndOfTheListIsRead", kEmptyHeader + kBegin + kEnd + B({0x77, 0x01}), {}},
        {"AFileThatEndsInsideARecordKeepsTheRecordsBeforeIt",
         kEmptyHeader + kBegin + Record(1, std::nullopt, true, 20) + Record(0, "PJ", true, 22).substr(0, 5),
         {{"", 1, "", false, false, false, true, 20, false}},
         "Stream read error"},
        {"AFileWithoutTheEndByteFailsAfterItsLastRecord",
         kEmptyHeader + kBegin + Record(2, std::nullopt, true, 21),
         {{"", 2, "", false, false, false, true, 21, false}},
         "Stream read error"},
        {"AnEmptyFileIsAReadError", "", {}, "Stream read error"},
        {"AHugeStringLengthInAShortFileIsAReadError",
         kEmptyHeader + kBegin + Len32(0x0C, 0xFFFFFFF0) + "abc",
         {},
         "Stream read error"},
        {"AHugeWideLengthInAShortFileIsAReadError", Len32(0x12, 0x7FFFFFFF) + "ab", {}, "Stream read error"},
        {"AStringWhereAnIntegerBelongsIsInvalid",
         kEmptyHeader + kBegin + Short("") + Short("0") + kEnd,
         {},
         "Invalid property value"},
        {"AnIntegerWhereAStringBelongsIsInvalid",
         kEmptyHeader + kBegin + Int8(0) + kEnd,
         {},
         "Invalid property value"},
        {"AHeaderThatIsNoStringIsInvalid", Int8(0) + kBegin + kEnd, {}, "Invalid property value"},
        {"AMissingListBeginIsInvalid", kEmptyHeader + kEnd, {}, "Invalid property value"},
    };
}

class HotKeyFileReading : public ::testing::TestWithParam<FileCase> {
  protected:
    test::TempFolder folder_{"hotkey_file"};
};

TEST_P(HotKeyFileReading, AppendsTheRecordsReadAndFailsWithTheNamedError) {
    const FileCase& c = GetParam();
    ASSERT_TRUE(folder_.ok());
    std::string path = folder_ / "tavcclt.hkd";
    std::ofstream(path, std::ios::binary) << c.bytes;

    THotKeyList list;
    list.push_back(std::make_unique<THotKeyRecord>());  // the reader appends, it does not empty
    list.front()->Name = "kept";
    std::optional<std::string> error;
    try {
        LoadHotKeyFile(list, path);
    } catch (const HandlerError& e) {
        error = e.what();
    }
    if (c.error != nullptr) {
        EXPECT_EQ(error, c.error);
    } else {
        EXPECT_EQ(error, std::nullopt);
    }
    ASSERT_EQ(list.size(), c.records.size() + 1);
    EXPECT_EQ(list.front()->Name, "kept");
    for (size_t i = 0; i < c.records.size(); ++i) {
        const THotKeyRecord& r = *list[i + 1];
        const Expected& e = c.records[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(r.Name, e.name);
        EXPECT_EQ(r.Kind, e.kind);
        EXPECT_EQ(r.Command, e.command);
        EXPECT_EQ(r.Ctrl, e.ctrl);
        EXPECT_EQ(r.Alt, e.alt);
        EXPECT_EQ(r.Shift, e.shift);
        EXPECT_EQ(r.Win, e.win);
        EXPECT_EQ(r.KeyIndex, e.key_index);
        EXPECT_EQ(r.TrailingFlag, e.trailing);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HotKeyFileReading, ::testing::ValuesIn(FileCases()),
                         [](const auto& row) { return std::string(row.param.title); });

TEST(HotKeyFileOpening, AMissingFileNamesThePathAndTheSystemsReason) {
    test::TempFolder folder("hotkey_file");
    std::string path = folder / "missing.hkd";
    THotKeyList list;
    try {
        LoadHotKeyFile(list, path);
        FAIL() << "no error";
    } catch (const HandlerError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path + "\". No such file or directory");
    }
    EXPECT_TRUE(list.empty());
}

TEST(HotKeyFileOpening, AFolderInTheFilesPlaceCannotBeOpened) {
    test::TempFolder folder("hotkey_file");
    THotKeyList list;
    try {
        LoadHotKeyFile(list, folder.path());
        FAIL() << "no error";
    } catch (const HandlerError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + folder.path() + "\". Is a directory");
    }
}

// A FIFO left in the file's place once hung the start-up for ever: it cannot be opened as the file.
TEST(HotKeyFileOpening, AFifoInTheFilesPlaceCannotBeOpened) {
    test::TempFolder folder("hotkey_file");
    const std::string path = folder / "tavcclt.hkd";
    test::PlantedFifo fifo(path);
    ASSERT_TRUE(fifo.ok());
    auto error = test::returns_within(std::chrono::seconds(5), fifo, [&] {
        THotKeyList list;
        try {
            LoadHotKeyFile(list, path);
        } catch (const HandlerError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    });
    ASSERT_TRUE(error) << "the reader waits on the FIFO";
    EXPECT_EQ(*error, "Cannot open file \"" + path + "\". No such device or address");
}

TEST(HotKeyFilePath, IsTheProgramsPathWithTheHkdExtension) {
    const char* bin = std::getenv("TAVC_TEST_BIN_DIR");
    if (bin == nullptr) GTEST_SKIP() << "run through ctest";
    // The test program's own name, which has no extension of its own.
    EXPECT_EQ(HotKeyFilePath(), std::string(bin) + "/" + program_invocation_short_name + ".hkd");
}

TEST(HotKeyFilePath, ReplacesOnlyTheFileNamesExtension) {
    EXPECT_EQ(HotKeyFilePathFor("/opt/tavc/tavcclt"), "/opt/tavc/tavcclt.hkd");
    EXPECT_EQ(HotKeyFilePathFor("/opt/tavc/tavcclt.exe"), "/opt/tavc/tavcclt.hkd");
    EXPECT_EQ(HotKeyFilePathFor("/opt/tavc.1/tavcclt"), "/opt/tavc.1/tavcclt.hkd");
    EXPECT_EQ(HotKeyFilePathFor("/opt/tavc.1/tavc.clt.bin"), "/opt/tavc.1/tavc.clt.hkd");
}

// The writer for people who prepare the file; what it writes is what the reader takes.
class HotKeyWriterTool : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* bin = std::getenv("TAVC_BIN_DIR");
        if (bin == nullptr) GTEST_SKIP() << "run through ctest";
        tool_ = std::string(bin) + "/tavc-hotkeys";
        ASSERT_TRUE(folder_.ok());
    }
    int Run(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {tool_};
        argv.insert(argv.end(), args.begin(), args.end());
        test::ChildProcess tool(argv);
        return tool.wait(std::chrono::seconds(30)).value_or(-2);
    }
    THotKeyList Load(const std::string& path) {
        THotKeyList list;
        LoadHotKeyFile(list, path);
        return list;
    }

    std::string tool_;
    test::TempFolder folder_{"hotkey_writer"};
};

TEST_F(HotKeyWriterTool, TheDefaultFileHoldsWinOneToFive) {
    std::string path = folder_ / "tavcclt.hkd";
    ASSERT_EQ(Run({"--default", path}), 0);
    THotKeyList list = Load(path);
    ASSERT_EQ(list.size(), 5u);
    const int32_t kinds[] = {0, 1, 2, 0, 3};
    const char* commands[] = {"", "", "", "PJ", ""};
    for (int i = 0; i < 5; ++i) {
        const THotKeyRecord& r = *list[i];
        EXPECT_EQ(r.Kind, kinds[i]) << i;
        EXPECT_EQ(r.Command, commands[i]) << i;
        EXPECT_EQ(HotKeyModifiers(r), HotKeyWin) << i;
        EXPECT_EQ(r.KeyIndex, 19 + i) << i;
        EXPECT_FALSE(r.TrailingFlag) << i;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.substr(0, 16), B({0x06, 0x00, 0x01, 0x06, 0x00, 0x02, 0x00, 0x06, 0x00, 0x08, 0x08, 0x08,
                                      0x09, 0x02, 0x13, 0x08}));
}

TEST_F(HotKeyWriterTool, AListBecomesRecordsAndABadLineWritesNothing) {
    std::string list_path = folder_ / "list.txt";
    std::ofstream(list_path) << "# name|kind|command|modifiers|key|flag\n"
                                "\n"
                                "名字|0|pj21|ctrl alt shift|Num /|1\n"
                                "exit|3||win|F24\n";
    std::string path = folder_ / "out.hkd";
    ASSERT_EQ(Run({path, list_path}), 0);
    THotKeyList list = Load(path);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->Name, codepage::gbk_from_utf8("名字"));
    EXPECT_EQ(list[0]->Command, "pj21");
    EXPECT_EQ(HotKeyModifiers(*list[0]), HotKeyCtrl | HotKeyAlt | HotKeyShift);
    EXPECT_EQ(list[0]->KeyIndex, 68);
    EXPECT_TRUE(list[0]->TrailingFlag);
    EXPECT_EQ(list[1]->Kind, 3);
    EXPECT_EQ(list[1]->KeyIndex, 92);

    std::ofstream(list_path) << "x|1|command for a kind without one|win|1\n";
    std::string bad = folder_ / "bad.hkd";
    EXPECT_EQ(Run({bad, list_path}), 1);
    EXPECT_FALSE(std::ifstream(bad).is_open());
}

// File key index -> component key code -> virtual-key code, checked against the key names.
TEST(HotKeyTables, EachFileKeyIndexReachesTheKeyItIsNamedFor) {
    auto names = KeyNames();
    ASSERT_EQ(names.size(), 95u);
    auto vk_of = [](int index) { return VirtualKeyOf(HotKeyIndexToKey(index)); };
    EXPECT_EQ(names[0], "Backspace");
    EXPECT_EQ(vk_of(0), 0x08u);
    EXPECT_EQ(vk_of(2), 0x0Du);  // Return
    EXPECT_EQ(vk_of(5), 0x1Bu);  // Escape
    EXPECT_EQ(names[9], "Home");
    EXPECT_EQ(vk_of(9), 0x24u);
    EXPECT_EQ(names[10], "End");
    EXPECT_EQ(vk_of(10), 0x23u);
    EXPECT_EQ(names[15], "PrintScreen");
    EXPECT_EQ(vk_of(15), 0x2Cu);
    for (int digit = 0; digit <= 9; ++digit) {
        EXPECT_EQ(names[18 + digit], std::string(1, char('0' + digit)));
        EXPECT_EQ(vk_of(18 + digit), 0x30u + digit);
        EXPECT_EQ(names[54 + digit], "Num " + std::to_string(digit));
        EXPECT_EQ(vk_of(54 + digit), 0x60u + digit);
    }
    for (int letter = 0; letter < 26; ++letter) {
        EXPECT_EQ(names[28 + letter], std::string(1, char('A' + letter)));
        EXPECT_EQ(vk_of(28 + letter), 0x41u + letter);
    }
    EXPECT_EQ(names[65], "Num +");
    EXPECT_EQ(vk_of(65), 0x6Bu);
    EXPECT_EQ(names[66], "Num -");
    EXPECT_EQ(vk_of(66), 0x6Du);
    EXPECT_EQ(names[68], "Num /");
    EXPECT_EQ(vk_of(68), 0x6Fu);
    for (int f = 1; f <= 24; ++f) {
        EXPECT_EQ(names[68 + f], "F" + std::to_string(f));
        EXPECT_EQ(vk_of(68 + f), 0x6Fu + f);
    }
    EXPECT_EQ(names[93], "Numlock");
    EXPECT_EQ(vk_of(93), 0x90u);
    EXPECT_EQ(names[94], "Scrolllock");
    EXPECT_EQ(vk_of(94), 0x91u);
}

TEST(HotKeyTables, KeyIndicesOutsideTheTableGiveKeyCodeZero) {
    for (int index : {-1, 95, 1000, INT32_MIN, INT32_MAX}) EXPECT_EQ(HotKeyIndexToKey(index), 0) << index;
    std::set<int> codes;
    for (int index = 0; index < 95; ++index) codes.insert(HotKeyIndexToKey(index));
    EXPECT_EQ(codes.size(), 95u);
    for (int without_index : {0, 1, 4, 18, 19, 23, 72})
        EXPECT_EQ(codes.count(without_index), 0u) << without_index;
}

TEST(HotKeyTables, TheComponentsKeyCodesCoverTheirVirtualKeysAndNoMore) {
    struct Row {
        int first_code, last_code;
        uint32_t first_vk;
    };
    const Row rows[] = {{0, 0, 0x00},   {1, 1, 0x03},   {2, 3, 0x08},    {4, 5, 0x0C},
                        {6, 7, 0x13},   {8, 8, 0x1B},   {9, 18, 0x20},   {19, 33, 0x2B},
                        {34, 59, 0x41}, {60, 99, 0x60}, {100, 101, 0x90}};
    int covered = 0;
    for (const Row& row : rows) {
        for (int code = row.first_code; code <= row.last_code; ++code, ++covered)
            EXPECT_EQ(VirtualKeyOf(static_cast<THotKeyCode>(code)), row.first_vk + (code - row.first_code))
                << code;
    }
    EXPECT_EQ(covered, HotKeyCodeCount);
    for (int code : {102, 200, 255}) EXPECT_EQ(VirtualKeyOf(static_cast<THotKeyCode>(code)), 0u) << code;
}

TEST(HotKeyTables, EveryComponentKeyButNoneHasAnXKey) {
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0), 0u);
    for (int code = 1; code < HotKeyCodeCount; ++code)
        EXPECT_NE(hotkeys::keysym_from_virtual_key(VirtualKeyOf(static_cast<THotKeyCode>(code))), 0u) << code;
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x31), static_cast<uint32_t>(XK_1));
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x5A), static_cast<uint32_t>(XK_z));
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x21), static_cast<uint32_t>(XK_Prior));
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x26), static_cast<uint32_t>(XK_Up));
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x2C), static_cast<uint32_t>(XK_Print));
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x6C), static_cast<uint32_t>(XK_KP_Separator));
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x6F), static_cast<uint32_t>(XK_KP_Divide));
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x87), static_cast<uint32_t>(XK_F24));
    EXPECT_EQ(hotkeys::keysym_from_virtual_key(0x91), static_cast<uint32_t>(XK_Scroll_Lock));
    for (uint32_t without_key : {0x01u, 0x10u, 0x2Au, 0x3Au, 0x40u, 0x5Bu, 0x88u, 0x92u, 0xFFu, 0x1000u})
        EXPECT_EQ(hotkeys::keysym_from_virtual_key(without_key), 0u) << without_key;
}

// A small keymap of five columns (two groups, then level 3), a key code a row from 8 on.
hotkeys::KeyboardMapping SmallKeymap() {
    const std::vector<std::vector<uint32_t>> rows = {
        {XK_Home},                                                     // 8
        {XK_KP_Home, XK_KP_7},                                         // 9: keypad 7
        {XK_KP_Delete, XK_KP_Decimal},                                 // 10: keypad "."
        {XK_KP_Decimal, XK_KP_Decimal},                                // 11: a keypad "." of its own
        {XK_Delete},                                                   // 12
        {XK_1, XK_exclam},                                             // 13
        {XK_ampersand, XK_2},                                          // 14: a digit only with Shift
        {XK_KP_Enter},                                                 // 15
        {XK_Return},                                                   // 16
        {XK_a, XK_A, XK_odiaeresis, XK_Odiaeresis},                    // 17
        {XK_adiaeresis, XK_Adiaeresis, XK_f, XK_F},                    // 18: a letter of the second group
        {XK_s, XK_S, NoSymbol, NoSymbol, XK_Left},                     // 19: Left at level 3
        {XK_Left},                                                     // 20
        {XK_d, XK_D, NoSymbol, NoSymbol, XK_Up},                       // 21: Up only at level 3
        {XK_KP_Begin, XK_KP_5},                                        // 22: keypad 5
        {XK_KP_Multiply, XK_KP_Multiply, NoSymbol, NoSymbol, XK_F13},  // 23: F13 only at level 3
    };
    hotkeys::KeyboardMapping mapping{8, 5, {}};
    for (std::vector<uint32_t> row : rows) {
        row.resize(5, NoSymbol);
        mapping.keysyms.insert(mapping.keysyms.end(), row.begin(), row.end());
    }
    return mapping;
}

TEST(HotKeyTables, AVirtualKeyIsEveryKeyCodeThatNamesItInTheNumLockStatesWhereItDoes) {
    using hotkeys::num_lock_off, hotkeys::num_lock_on;
    constexpr uint8_t both = num_lock_off | num_lock_on;
    struct Case {
        const char* key;
        uint32_t virtual_key;
        std::vector<hotkeys::KeyCodeStates> codes;
    };
    const Case cases[] = {
        {"Home: its own key, keypad 7 without NumLock", 0x24, {{8, both}, {9, num_lock_off}}},
        {"Num 7: keypad 7 with NumLock", 0x67, {{9, num_lock_on}}},
        {"Num .: with NumLock, and a key of its own always", 0x6E, {{10, num_lock_on}, {11, both}}},
        {"Delete: its own key, keypad . without NumLock", 0x2E, {{10, num_lock_off}, {12, both}}},
        {"Clear: keypad 5 without NumLock", 0x0C, {{22, num_lock_off}}},
        {"Num 5", 0x65, {{22, num_lock_on}}},
        {"Return: its own key and keypad Enter", 0x0D, {{15, both}, {16, both}}},
        {"Num *: the same in both states", 0x6A, {{23, both}}},
        {"1", 0x31, {{13, both}}},
        {"2: held only with Shift, still its key", 0x32, {{14, both}}},
        {"A", 0x41, {{17, both}}},
        {"F: in the second group", 0x46, {{18, both}}},
        {"Left: only the key that holds it at level 1", 0x25, {{20, both}}},
        {"Up: no key holds it at level 1", 0x26, {{21, both}}},
        {"F13 at level 3", 0x7C, {{23, both}}},
        {"F14: no key produces it", 0x7D, {}},
        {"no key", 0x00, {}},
    };
    const hotkeys::KeyboardMapping mapping = SmallKeymap();
    for (const Case& c : cases)
        EXPECT_EQ(hotkeys::key_codes_of_virtual_key(mapping, c.virtual_key), c.codes) << c.key;
    EXPECT_TRUE(hotkeys::key_codes_of_virtual_key({8, 0, {}}, 0x0D).empty());
}

TEST(HotKeyTables, ModifierSetsBecomeFlagsAndXMasks) {
    THotKeyRecord record;
    EXPECT_EQ(HotKeyModifiers(record), 0);
    EXPECT_EQ(TSysHotKey::ModifierFlags(0), 0u);
    record.Shift = true;
    EXPECT_EQ(HotKeyModifiers(record), 0x1);
    record = {};
    record.Ctrl = true;
    EXPECT_EQ(HotKeyModifiers(record), 0x2);
    record = {};
    record.Alt = true;
    EXPECT_EQ(HotKeyModifiers(record), 0x4);
    record = {};
    record.Win = true;
    EXPECT_EQ(HotKeyModifiers(record), 0x8);
    EXPECT_EQ(TSysHotKey::ModifierFlags(HotKeyShift), 4u);
    EXPECT_EQ(TSysHotKey::ModifierFlags(HotKeyCtrl), 2u);
    EXPECT_EQ(TSysHotKey::ModifierFlags(HotKeyAlt), 1u);
    EXPECT_EQ(TSysHotKey::ModifierFlags(HotKeyWin), 8u);
    EXPECT_EQ(TSysHotKey::ModifierFlags(0x0F), 15u);
    EXPECT_EQ(hotkeys::x_modifiers_from_flags(hotkeys::mod_win), static_cast<uint32_t>(Mod4Mask));
    EXPECT_EQ(hotkeys::x_modifiers_from_flags(hotkeys::mod_alt), static_cast<uint32_t>(Mod1Mask));
    EXPECT_EQ(hotkeys::x_modifiers_from_flags(15),
              static_cast<uint32_t>(ShiftMask | ControlMask | Mod1Mask | Mod4Mask));
}

TEST(HotKeyTables, ActionAndYesNoNamesAreGbk) {
    ASSERT_EQ(ActionNames().size(), 4u);
    ASSERT_EQ(YesNoNames().size(), 2u);
    EXPECT_EQ(codepage::utf8_from_gbk(ActionNames()[0]), "执行报价器指令");
    EXPECT_EQ(codepage::utf8_from_gbk(ActionNames()[3]), "运行参数设置");
    EXPECT_EQ(codepage::utf8_from_gbk(YesNoNames()[0]), "否");
    EXPECT_EQ(codepage::utf8_from_gbk(YesNoNames()[1]), "是");
    EXPECT_EQ(YesNoNames()[1].size(), 2u);  // one GBK character
}

}  // namespace
}  // namespace tavc::assistant
