// RebuildLib at its files: a synthetic source folder in, the four library files read back byte by byte.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "planted_fifo.h"
#include "voice_source.h"

namespace {

using tavc::test::CapturedFd;
using tavc::test::gbk;
using tavc::test::PlantedFifo;
using tavc::test::read_all;
using tavc::test::returns_within;
using tavc::test::TempFolder;
using tavc::test::VoiceSource;
using tavc::test::VoxcatLibrary;

std::string le32(int32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
    return b;
}

std::string le16(int v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

std::string record(std::string_view word, int32_t offset, int32_t length) {
    std::string r(word);
    r.resize(32, '\0');
    return r + le32(offset) + le32(length);
}

class Builder : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(source_.ok() && out_.ok());
        ASSERT_TRUE(library_.loaded()) << VoxcatLibrary::built_path();
    }

    // Builds into the output folder, keeping what went to standard output and error.
    int32_t build() {
        CapturedFd out(1, out_ / "stdout.txt");
        CapturedFd err(2, out_ / "stderr.txt");
        int32_t result = library_.RebuildLib(source_.path(), lib());
        progress_ = out.finish();
        errors_ = err.finish();
        return result;
    }
    std::string lib() const { return out_ / "lib"; }
    std::string file(const char* name) const { return read_all(lib() + "/" + name); }

    VoiceSource source_;
    TempFolder out_{"voice-build"};
    VoxcatLibrary library_{VoxcatLibrary::built_path()};
    std::string progress_;
    std::string errors_;

  public:
    Builder() { std::filesystem::create_directories(out_ / "lib"); }
};

TEST_F(Builder, WritesThePiecesAndTheirIndexInOrderWithAProgressLineBeforeEachPiece) {
    source_.write("single/B.wav", std::string(44, 'h'));                      // header only: no samples
    source_.write("single/C.wav", "short");                                   // shorter than a header
    source_.write("single/D.wav", VoiceSource::wav(std::string(1024, 'd')));  // two whole blocks
    source_.set_words({{"欢迎", "welcome"}, {"中国", "china"}});
    ASSERT_EQ(build(), 0);

    std::string samples;
    std::string index;
    std::string progress;
    auto piece = [&](const std::string& path, const std::string& bytes) {
        progress += "process " + source_.path() + "/" + path + "...\n";
        samples += bytes;
    };
    for (char c = 'A'; c <= 'Z'; ++c) {
        index += le32(static_cast<int32_t>(samples.size()));
        std::string bytes = c == 'B' || c == 'C' ? ""
                            : c == 'D'           ? std::string(1024, 'd')
                                                 : std::string(1, c) + "x";
        piece("single/" + std::string(1, c) + ".wav", bytes);
    }
    for (int n = 1; n <= 1221; ++n) {
        index += le32(static_cast<int32_t>(samples.size()));
        piece("single/" + std::to_string(n) + ".wav", "#" + std::to_string(n) + "x");
    }
    index += le32(static_cast<int32_t>(samples.size()));
    std::string records;
    for (auto [word, name] : {std::pair{"欢迎", "welcome"}, std::pair{"中国", "china"}}) {
        std::string bytes = "W" + std::string(name) + "x";
        records +=
            record(gbk(word), static_cast<int32_t>(samples.size()), static_cast<int32_t>(bytes.size()));
        piece("section/" + std::string(name) + ".wav", bytes);
    }
    records += std::string(40, '\0');

    EXPECT_EQ(file("vlib.dat"), samples);
    EXPECT_EQ(file("vlib.dat.idx"), index);
    EXPECT_EQ(file("vlib.dat.idx").size(), 4992u);
    EXPECT_EQ(file("vlib.dat.sdx"), records);
    EXPECT_EQ(file("vlib.dat.wdx").size(), 13536u);
    EXPECT_EQ(file("vlib.dat.wdx").substr(0, 6), le16(1) + le16(2) + le16(3));
    EXPECT_EQ(progress_, progress);
    EXPECT_EQ(errors_, "");
}

struct ListCase {
    const char* name;
    const char* list;                                          // UTF-8
    std::vector<std::string> pieces;                           // files of section/ the list names
    std::vector<std::pair<const char*, const char*>> records;  // word (UTF-8), file named
    const char* skipped;                                       // what standard error must mention, or ""
};

class WordListLines : public Builder, public ::testing::WithParamInterface<ListCase> {};

TEST_P(WordListLines, GiveTheseRecords) {
    const ListCase& c = GetParam();
    source_.write("dir.txt", gbk(c.list));
    for (const std::string& f : c.pieces) source_.write("section/" + f, VoiceSource::wav("W" + f + "x"));
    ASSERT_EQ(build(), 0) << errors_;
    std::string sdx = file("vlib.dat.sdx");
    ASSERT_EQ(sdx.size(), 40 * (c.records.size() + 1));
    EXPECT_EQ(sdx.substr(sdx.size() - 40), std::string(40, '\0'));
    int32_t offset = static_cast<int32_t>(file("vlib.dat").size());
    for (auto it = c.records.rbegin(); it != c.records.rend(); ++it) {
        int32_t length = static_cast<int32_t>(std::string("W").size() + std::strlen(it->second) + 1);
        offset -= length;
        size_t at = 40 * static_cast<size_t>(c.records.rend() - it - 1);
        EXPECT_EQ(sdx.substr(at, 40), record(gbk(it->first), offset, length)) << "record " << at / 40;
    }
    std::string expected_progress;
    for (auto [word, f] : c.records)
        expected_progress += "process " + source_.path() + "/section/" + f + "...\n";
    EXPECT_NE(progress_.find(expected_progress), std::string::npos) << progress_;
    if (*c.skipped) {
        EXPECT_NE(errors_.find(c.skipped), std::string::npos) << errors_;
    } else {
        EXPECT_EQ(errors_, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, WordListLines,
    ::testing::Values(
        ListCase{"EmptyList", "", {}, {}, ""}, ListCase{"OnlyEmptyLines", "\n\r\n\n", {}, {}, ""},
        ListCase{"CrCrLfKeepsTheFileName", "欢迎,w1.wav\r\r\n", {"w1.wav"}, {{"欢迎", "w1.wav"}}, ""},
        ListCase{"CrLfCutsTheFileName", "欢迎,w1.wav\r\n", {"w1.wa"}, {{"欢迎", "w1.wa"}}, ""},
        ListCase{"LastLineWithoutLineEndLosesTwoCharacters", "欢迎,w1.wav", {"w1.w"}, {{"欢迎", "w1.w"}}, ""},
        ListCase{"AByte1AEndsTheList", "中,a.wav\r\r\n\x1a国,b.wav\r\r\n", {"a.wav"}, {{"中", "a.wav"}}, ""},
        ListCase{"WordOfThirtyOneBytes",
                 "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234,x.wav\r\r\n",
                 {"x.wav"},
                 {{"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "x.wav"}},
                 ""},
        ListCase{"LineWithoutCommaIsSkipped",
                 "中国\r\r\n国,b.wav\r\r\n",
                 {"b.wav"},
                 {{"国", "b.wav"}},
                 "line 1 skipped, no comma"},
        ListCase{"WordOfThirtyTwoBytesIsSkipped",
                 "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345,x.wav\r\r\n",
                 {},
                 {},
                 "line 1 skipped, a word of more than 31 bytes: ABCDEFGHIJKLMNOPQRSTUVWXYZ012345,x.wav"},
        ListCase{"ShortFilePartIsSkipped",
                 "中,\n国,b.wav\r\r\n",
                 {"b.wav"},
                 {{"国", "b.wav"}},
                 "line 1 skipped, fewer than two characters behind the comma"},
        // 62 bytes make a line; the rest of the line is a line of its own, here without a comma.
        ListCase{"LineOverSixtyTwoBytesIsSplit",
                 "A,aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaXYtail\r\r\n",
                 {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
                 {{"A", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}},
                 "line 2 skipped, no comma: tail\r"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct MapCase {
    const char* name;
    const char* list;
    std::vector<int> values;
};

class HanziListLines : public Builder, public ::testing::WithParamInterface<MapCase> {};

TEST_P(HanziListLines, GiveTheseValues) {
    source_.write("wordindex.txt", GetParam().list);
    ASSERT_EQ(build(), 0);
    std::string expected;
    for (int v : GetParam().values) expected += le16(v);
    EXPECT_EQ(file("vlib.dat.wdx"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HanziListLines,
    ::testing::Values(
        MapCase{"AnotherCountIsTaken", "1\n2\n3\n", {1, 2, 3}}, MapCase{"NoDigitsGiveZero", "x\n7\n", {0, 7}},
        MapCase{"BlanksSignAndLowSixteenBits", "  +12abc\r\n-1\n70000\n", {12, 0xFFFF, 70000 & 0xFFFF}},
        MapCase{"EmptyLinesAndEndByte",
                "\n5\r\n\r\n6\x1a"
                "7\n",
                {5, 6}},
        MapCase{"LineOverSixtyTwoBytesIsTwoLines",
                "00000000000000000000000000000000000000000000000000000000000009"
                "8\n",
                {9, 8}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The result of each failure, and what it leaves behind.
struct Failure {
    const char* name;
    int32_t result;
    std::function<void(VoiceSource&, const std::string& lib)> arrange;
};

class BuildFailures : public Builder, public ::testing::WithParamInterface<Failure> {};

TEST_P(BuildFailures, EndTheBuildWithTheirCode) {
    GetParam().arrange(source_, lib());
    EXPECT_EQ(build(), GetParam().result) << errors_;
}

void folder_named(const std::string& path) {
    std::filesystem::create_directories(path);
}
// A file that opens but cannot be read: the process's own memory at address 0.
void unreadable(VoiceSource& source, const char* name) {
    std::filesystem::remove(source / name);
    std::filesystem::create_symlink("/proc/self/mem", source / name);
}

INSTANTIATE_TEST_SUITE_P(Codes, BuildFailures,
                         ::testing::Values(Failure{"Built", 0, [](VoiceSource&, const std::string&) {}},
                                           Failure{"NoLibraryFolder", -1,
                                                   [](VoiceSource&, const std::string& lib) {
                                                       std::filesystem::remove_all(lib);
                                                   }},
                                           Failure{"OffsetIndexNotCreated", -2,
                                                   [](VoiceSource&, const std::string& lib) {
                                                       folder_named(lib + "/vlib.dat.idx");
                                                   }},
                                           Failure{"NumberedPieceMissing", -3,
                                                   [](VoiceSource& s, const std::string&) {
                                                       std::filesystem::remove(s / "single/1221.wav");
                                                   }},
                                           Failure{"WordRecordsNotCreated", -4,
                                                   [](VoiceSource&, const std::string& lib) {
                                                       folder_named(lib + "/vlib.dat.sdx");
                                                   }},
                                           Failure{"WordListMissing", -5,
                                                   [](VoiceSource& s, const std::string&) {
                                                       std::filesystem::remove(s / "dir.txt");
                                                   }},
                                           Failure{"WordListUnreadable", -6,
                                                   [](VoiceSource& s, const std::string&) {
                                                       unreadable(s, "dir.txt");
                                                   }},
                                           Failure{"WordPieceMissing", -7,
                                                   [](VoiceSource& s, const std::string&) {
                                                       s.write("dir.txt", "w,gone.wav\r\r\n");
                                                   }},
                                           Failure{"LetterPieceMissing", -8,
                                                   [](VoiceSource& s, const std::string&) {
                                                       std::filesystem::remove(s / "single/Q.wav");
                                                   }},
                                           Failure{"HanziMapNotCreated", -9,
                                                   [](VoiceSource&, const std::string& lib) {
                                                       folder_named(lib + "/vlib.dat.wdx");
                                                   }},
                                           Failure{"HanziListMissing", -10,
                                                   [](VoiceSource& s, const std::string&) {
                                                       std::filesystem::remove(s / "wordindex.txt");
                                                   }},
                                           Failure{"HanziListUnreadable", -11,
                                                   [](VoiceSource& s, const std::string&) {
                                                       unreadable(s, "wordindex.txt");
                                                   }},
                                           Failure{"PieceThatIsAFolder", -8,
                                                   [](VoiceSource& s, const std::string&) {
                                                       std::filesystem::remove(s / "single/A.wav");
                                                       folder_named(s / "single/A.wav");
                                                   }}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A FIFO in place of a source file once held the build up for ever: it is a file that cannot be opened.
struct SourceFifo {
    const char* name;
    const char* relative;
    int32_t result;
};

class SourceFifos : public Builder, public ::testing::WithParamInterface<SourceFifo> {};

TEST_P(SourceFifos, CannotBeOpenedAndEndTheBuildWithTheirCode) {
    source_.set_words({{"欢迎", "welcome"}});
    std::filesystem::remove(source_ / GetParam().relative);
    PlantedFifo fifo(source_ / GetParam().relative);
    ASSERT_TRUE(fifo.ok());
    auto result = returns_within(std::chrono::seconds(5), fifo, [&] { return build(); });
    ASSERT_TRUE(result) << "the build waits on the FIFO";
    EXPECT_EQ(*result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Codes, SourceFifos,
                         ::testing::Values(SourceFifo{"LetterPiece", "single/A.wav", -8},
                                           SourceFifo{"NumberedPiece", "single/1221.wav", -3},
                                           SourceFifo{"WordList", "dir.txt", -5},
                                           SourceFifo{"WordPiece", "section/welcome.wav", -7},
                                           SourceFifo{"HanziList", "wordindex.txt", -10}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// What stands at a library file's name is replaced by the new file and never written through: a link
// planted there once had the build overwrite its target.
struct Planted {
    const char* name;
    const char* file;
    enum Kind { Link, DanglingLink, HardLink, Fifo } kind;
};

class PlantedFiles : public Builder, public ::testing::WithParamInterface<Planted> {};

TEST_P(PlantedFiles, AreReplacedByTheBuiltFileAndTheirTargetsKept) {
    const Planted& c = GetParam();
    const std::string at = lib() + "/" + c.file;
    const std::string victim = out_ / "victim";
    if (c.kind != Planted::DanglingLink) std::ofstream(victim) << "precious";
    std::unique_ptr<PlantedFifo> fifo;
    switch (c.kind) {
        case Planted::Link:
        case Planted::DanglingLink:
            std::filesystem::create_symlink("../victim", at);
            break;
        case Planted::HardLink:
            std::filesystem::create_hard_link(victim, at);
            break;
        case Planted::Fifo:
            fifo = std::make_unique<PlantedFifo>(at);
            ASSERT_TRUE(fifo->ok());
            break;
    }
    std::optional<int32_t> result =
        fifo ? returns_within(std::chrono::seconds(5), *fifo, [&] { return build(); }) : build();
    ASSERT_TRUE(result) << "the build waits on the FIFO";
    EXPECT_EQ(*result, 0) << errors_;

    if (c.kind == Planted::DanglingLink) {
        EXPECT_FALSE(std::filesystem::exists(victim));
    } else {
        EXPECT_EQ(read_all(victim), "precious");
    }
    ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(at)));
    const std::string clean = out_ / "clean";
    std::filesystem::create_directories(clean);
    CapturedFd quiet(1, out_ / "clean.txt");
    ASSERT_EQ(library_.RebuildLib(source_.path(), clean), 0);
    EXPECT_EQ(read_all(at), read_all(clean + "/" + c.file));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedFiles,
                         ::testing::Values(Planted{"LinkAtTheSampleFile", "vlib.dat", Planted::Link},
                                           Planted{"LinkAtTheOffsetIndex", "vlib.dat.idx", Planted::Link},
                                           Planted{"LinkAtTheWordRecords", "vlib.dat.sdx", Planted::Link},
                                           Planted{"LinkAtTheHanziMap", "vlib.dat.wdx", Planted::Link},
                                           Planted{"DanglingLink", "vlib.dat.sdx", Planted::DanglingLink},
                                           Planted{"HardLink", "vlib.dat.wdx", Planted::HardLink},
                                           Planted{"Fifo", "vlib.dat.idx", Planted::Fifo}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(Builder, NamesThePieceThatFailedToOpenInTheLastProgressLine) {
    std::filesystem::remove(source_ / "single/700.wav");
    ASSERT_EQ(build(), -3);
    std::string last = "process " + (source_ / "single/700.wav") + "...\n";
    ASSERT_GE(progress_.size(), last.size());
    EXPECT_EQ(progress_.substr(progress_.size() - last.size()), last);
    EXPECT_FALSE(std::filesystem::exists(lib() + "/vlib.dat.sdx"));
}

// A full disk once passed unnoticed: a write that fails ends the build with the file's code.
TEST_F(Builder, ReportsASampleFileThatCannotBeWrittenWhole) {
    source_.write("single/A.wav", VoiceSource::wav(std::string(20000, 'a')));
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            8192, 8192
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int fd = ::open("/dev/null", O_WRONLY);
        ::dup2(fd, 1);
        ::_exit(library_.RebuildLib(source_.path(), lib()) == -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
