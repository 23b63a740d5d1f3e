// SyntheVoice at the sound device: a library built from a synthetic source beside a copy of
// libvoxcat.so, ALSA's default device routed into a file, and the pieces read back from the samples.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "alsa_capture.h"
#include "library_symbols.h"
#include "planted_fifo.h"
#include "synthesis.h"
#include "voice_index.h"
#include "voice_source.h"

namespace {

using tavc::test::CapturedFd;
using tavc::test::gbk;
using tavc::test::PlantedFifo;
using tavc::test::read_all;
using tavc::test::returns_within;
using tavc::test::ScopedAlsaCapture;
using tavc::test::ScopedEnv;
using tavc::test::TempFolder;
using tavc::test::VoiceSource;
using tavc::test::VoxcatLibrary;
using Names = std::vector<std::string>;

constexpr const char* kFiles[] = {"vlib.dat", "vlib.dat.idx", "vlib.dat.sdx", "vlib.dat.wdx"};

class Speaker : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(source_.ok() && root_.ok());
        ASSERT_TRUE(builder_.loaded()) << VoxcatLibrary::built_path();
        if (!capture_.ok()) GTEST_SKIP() << "no ALSA configuration on this machine";
    }

    // Builds the library files from the source into folder (made as needed).
    void build(const std::string& folder) {
        std::filesystem::create_directories(folder);
        CapturedFd progress(1, root_ / "progress.txt");
        ASSERT_EQ(builder_.RebuildLib(source_.path(), folder), 0);
    }
    // A copy of libvoxcat.so in folder, loaded: it reads whatever library files lie there now.
    const VoxcatLibrary& load(const std::string& folder) {
        speaker_ = std::make_unique<VoxcatLibrary>(tavc::test::copy_library_into(folder));
        EXPECT_TRUE(speaker_->loaded());
        return *speaker_;
    }
    const VoxcatLibrary& build_and_load(const std::string& name = "lib") {
        build(root_ / name);
        return load(root_ / name);
    }

    // Speaks the UTF-8 text; the names of the pieces played.
    Names speak(std::string_view utf8) { return speak_gbk(gbk(utf8)); }
    Names speak_gbk(const std::string& text) {
        capture_.clear();
        EXPECT_EQ(speaker_->SyntheVoice(text), 1);
        auto sound = capture_.read();
        if (!sound) {
            ADD_FAILURE() << "nothing complete was played";
            return {"(nothing)"};
        }
        EXPECT_EQ(sound->channels, 1);
        EXPECT_EQ(sound->rate, 11025u);
        EXPECT_EQ(sound->bits, 8);
        samples_ = sound->samples;
        return tavc::test::piece_names(sound->samples);
    }

    // The names expected: a hanzi (UTF-8) stands for its own piece, anything else for itself.
    Names expected(std::initializer_list<std::string_view> items) const {
        Names names;
        for (std::string_view item : items) {
            if (static_cast<unsigned char>(item[0]) >= 0x80) {
                for (const std::string& n : source_.hanzi_pieces(item)) names.push_back(n);
            } else {
                names.emplace_back(item);
            }
        }
        return names;
    }

    VoiceSource source_;
    TempFolder root_{"voice-speaker"};
    VoxcatLibrary builder_{VoxcatLibrary::built_path()};
    ScopedAlsaCapture capture_;
    std::unique_ptr<VoxcatLibrary> speaker_;
    std::vector<uint8_t> samples_;
};

struct Spoken {
    const char* name;
    const char* text;                      // UTF-8
    std::vector<std::string_view> pieces;  // as for Speaker::expected
};

class SpokenTexts : public Speaker, public ::testing::WithParamInterface<Spoken> {};

TEST_P(SpokenTexts, JoinThesePiecesInOrder) {
    build_and_load();
    Names want;
    for (std::string_view item : GetParam().pieces) {
        Names one = expected({item});
        want.insert(want.end(), one.begin(), one.end());
    }
    EXPECT_EQ(speak(GetParam().text), want);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SpokenTexts,
    ::testing::Values(Spoken{"AnAmount", "共12.5元", {"共", "十", "二", "点", "五", "元"}},
                      Spoken{"ASlashEndsARun", "2009/7", {"二", "千", "零", "九", "_", "七"}},
                      Spoken{"EmptyText", "", {}}, Spoken{"ThreeBlanks", "   ", {"_", "_", "_"}},
                      Spoken{"LowerCaseLetters", "ab", {"A", "B"}},
                      Spoken{"UpperCaseLetters", "AB", {"A", "B"}},
                      Spoken{"AGb2312Symbol", "中、国", {"中", "_", "国"}},
                      Spoken{"AFullWidthColonAndAZero", "价格：0元", {"价", "格", "_", "零", "元"}},
                      Spoken{"ALargeNumber", "100010", {"十", "万", "零", "一", "十"}},
                      Spoken{"AsciiPunctuationAndControlBytes", "a,\tb", {"A", "_", "_", "B"}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(Speaker, SetsTheLastSampleOfEveryPieceToSilence) {
    source_.write("single/A.wav", VoiceSource::wav("A\x01"));
    build_and_load();
    speak("ab");
    EXPECT_EQ(samples_, (std::vector<uint8_t>{'A', 0x80, 'B', 0x80}));
    speak("   ");
    EXPECT_EQ(samples_, std::vector<uint8_t>(768, 0x80));
}

TEST_F(Speaker, TakesTheFirstWordOfTheListThatTheTextBeginsWith) {
    source_.set_words({{"AB", "ab"}, {"中国", "zhongguo"}, {"中", "zhong"}});
    build_and_load("china-first");
    EXPECT_EQ(speak("中国人"), expected({"Wzhongguo", "人"}));
    EXPECT_EQ(speak("中人"), expected({"Wzhong", "人"}));
    EXPECT_EQ(speak("ABC"), expected({"Wab", "C"}));
    EXPECT_EQ(speak("abc"), expected({"A", "B", "C"}));

    source_.set_words({{"中", "zhong"}, {"中国", "zhongguo"}});
    build_and_load("zhong-first");
    EXPECT_EQ(speak("中国人"), expected({"Wzhong", "国", "人"}));
}

TEST_F(Speaker, SpeaksAHanziWhoseMapValueIsZeroWithTheLetterPieceZ) {
    source_.set_map_value("好", 0);
    build_and_load();
    EXPECT_EQ(speak("好人"), expected({"Z", "人"}));
}

// Words of the list only count while they stand in the order of their first characters.
TEST_F(Speaker, AttachesNoWordBehindOneOutOfOrder) {
    source_.set_words({{"中国", "zhongguo"}, {"abc", "lower"}, {"人民", "renmin"}});
    build_and_load();
    EXPECT_EQ(speak("中国人民"), expected({"Wzhongguo", "人", "民"}));
}

// Texts, runs and words beyond the old fixed buffers are spoken whole.
TEST_F(Speaker, SpeaksLongTextsRunsAndPiecesWhole) {
    source_.write("single/A.wav", VoiceSource::wav(std::string(39999, 'A') + "x"));
    build_and_load();
    std::string hanzi;
    for (int i = 0; i < 60; ++i) hanzi += "国";
    EXPECT_EQ(speak(hanzi), Names(60, source_.hanzi_piece("国")));
    EXPECT_EQ(speak(std::string(250, '1')), Names(250, source_.hanzi_piece("一")));
    Names decimals = expected({"七", "点"});
    decimals.insert(decimals.end(), 40, source_.hanzi_piece("三"));
    EXPECT_EQ(speak("7." + std::string(40, '3')), decimals);
    speak("a");
    std::vector<uint8_t> a(40000, 'A');
    a.back() = 0x80;
    EXPECT_EQ(samples_, a);
}

TEST_F(Speaker, GivesSilenceForALoneFirstByteAtTheEnd) {
    build_and_load();
    std::string text = gbk("中国");
    text.pop_back();
    EXPECT_EQ(speak_gbk(text), expected({"中", "_"}));
    std::string before_number = gbk("中") + text.back() + "5";
    EXPECT_EQ(speak_gbk(before_number), expected({"中", "_", "五"}));
}

TEST_F(Speaker, TakesTheByteAfterAHighByteAlongEvenWhereItCannotTrail) {
    build_and_load();
    // 0xB9 ',' is one pair, read at its index position as 疯; the comma is no place of its own.
    EXPECT_EQ(speak_gbk(gbk("中") + "\xB9,"), expected({"中", "疯"}));
}

TEST_F(Speaker, GivesSilenceWherePiecesOrRecordsLieOutsideTheSampleFile) {
    source_.set_words({{"中国", "zhongguo"}});
    std::string lib = root_ / "lib";
    build(lib);
    // The word's record points behind the file, and the file ends inside the numbered pieces.
    std::string sdx = read_all(lib + "/vlib.dat.sdx");
    for (int i = 32; i < 36; ++i) sdx[i] = '\x7f';
    std::ofstream(lib + "/vlib.dat.sdx", std::ios::binary | std::ios::trunc) << sdx;
    std::filesystem::resize_file(lib + "/vlib.dat", 200);
    load(lib);
    EXPECT_EQ(speak("中国人"), expected({"_", "_"}));
    EXPECT_EQ(speak("AZ"), expected({"A", "Z"}));
}

TEST_F(Speaker, GivesSilenceForWhatShortIndexFilesDoNotHold) {
    std::string lib = root_ / "lib";
    build(lib);
    std::filesystem::resize_file(lib + "/vlib.dat.wdx", 2 * 10);   // the first ten hanzi
    std::filesystem::resize_file(lib + "/vlib.dat.idx", 4 * 2);    // A's piece only
    std::filesystem::resize_file(lib + "/vlib.dat.sdx", 40 + 17);  // no end record
    load(lib);
    EXPECT_EQ(speak("啊阿AB"), expected({"_", "_", "A", "_"}));  // 啊 and 阿 map onto pieces past the index
}

TEST_F(Speaker, ReadsAWordOfThirtyTwoBytesAsWhole) {
    std::string lib = root_ / "lib";
    build(lib);
    std::string word = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF";
    std::string record = word + std::string("\x00\x00\x00\x00\x02\x00\x00\x00", 8) + std::string(40, '\0');
    std::ofstream(lib + "/vlib.dat.sdx", std::ios::binary | std::ios::trunc) << record;
    load(lib);
    EXPECT_EQ(speak(word + "G"), expected({"A", "G"}));  // the word's piece is A's 2 samples
    EXPECT_EQ(speak(word.substr(0, 31)).size(), 31u);
}

TEST_F(Speaker, FindsItsFilesBesideALibraryWithALongPath) {
    std::string deep =
        root_ / (std::string(90, 'x') + "/" + std::string(90, 'y') + "/" + std::string(30, 'z'));
    ASSERT_GT(deep.size() + 13, 200u);
    build(deep);
    load(deep);
    EXPECT_EQ(speak("ab"), expected({"A", "B"}));
}

TEST_F(Speaker, FindsItsFilesBesideTheLinkItWasLoadedBy) {
    // The library itself lies elsewhere, in a folder without voice files.
    std::string real = tavc::test::copy_library_into(root_ / "real");
    build(root_ / "linked");
    std::filesystem::create_symlink(real, root_ / "linked/libvoxcat.so");
    speaker_ = std::make_unique<VoxcatLibrary>(root_ / "linked/libvoxcat.so");
    ASSERT_TRUE(speaker_->loaded());
    EXPECT_EQ(speak("ab"), expected({"A", "B"}));
}

struct Missing {
    const char* name;
    std::vector<const char*> present;
    int32_t status;
};

class LoadFailures : public Speaker, public ::testing::WithParamInterface<Missing> {};

TEST_P(LoadFailures, AnswerEveryCallWithTheStatusWithoutTouchingAnyFile) {
    std::string built = root_ / "built";
    build(built);
    std::string lib = root_ / "lib";
    std::filesystem::create_directories(lib);
    for (const char* f : GetParam().present) std::filesystem::copy_file(built + "/" + f, lib + "/" + f);
    const VoxcatLibrary& speaker = load(lib);
    EXPECT_EQ(speaker.SyntheVoice(gbk("中国")), GetParam().status);
    // The files that appear later are not read, and vlib.dat is not opened: it is a folder now.
    for (const char* f : kFiles) {
        if (std::string(f) == "vlib.dat") {
            std::filesystem::remove(lib + "/vlib.dat");
            std::filesystem::create_directories(lib + "/vlib.dat");
        } else {
            std::filesystem::copy_file(built + "/" + f, lib + "/" + f,
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
    EXPECT_EQ(speaker.SyntheVoice(gbk("中国")), GetParam().status);
    EXPECT_FALSE(capture_.captured());
}

INSTANTIATE_TEST_SUITE_P(
    Status, LoadFailures,
    ::testing::Values(Missing{"NoOffsetIndex", {"vlib.dat"}, -1},
                      Missing{"NoHanziMap", {"vlib.dat", "vlib.dat.idx"}, -2},
                      Missing{"NoWordRecords", {"vlib.dat", "vlib.dat.idx", "vlib.dat.wdx"}, -3}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(Speaker, AnswersMinusOneWhileTheSampleFileIsMissingAndSpeaksOnceItIsBack) {
    std::string lib = root_ / "lib";
    build(lib);
    load(lib);
    std::filesystem::rename(lib + "/vlib.dat", lib + "/vlib.dat.away");
    EXPECT_EQ(speaker_->SyntheVoice("ab"), -1);
    EXPECT_FALSE(capture_.captured());
    std::filesystem::rename(lib + "/vlib.dat.away", lib + "/vlib.dat");
    EXPECT_EQ(speak("ab"), expected({"A", "B"}));
}

// A FIFO in the sample file's place once kept SyntheVoice from ever returning: it cannot be opened.
TEST_F(Speaker, AnswersMinusOneForASampleFileThatIsAFifo) {
    std::string lib = root_ / "lib";
    build(lib);
    load(lib);
    std::filesystem::remove(lib + "/vlib.dat");
    PlantedFifo fifo(lib + "/vlib.dat", false);
    ASSERT_TRUE(fifo.ok());
    auto result = returns_within(std::chrono::seconds(5), fifo, [&] { return speaker_->SyntheVoice("ab"); });
    ASSERT_TRUE(result) << "the call waits on the FIFO";
    EXPECT_EQ(*result, -1);
    EXPECT_FALSE(capture_.captured());
}

TEST_F(Speaker, AnswersZeroWhenTheDeviceDoesNotPlay) {
    build_and_load();
    std::ofstream(root_ / "none.conf") << "pcm.!default { type hw card 99 }\n";
    ScopedEnv env("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + (root_ / "none.conf"));
    EXPECT_EQ(speaker_->SyntheVoice("ab"), 0);
}

TEST_F(Speaker, KeepsSpeakingFromTheFilesItLoadedAfterARebuild) {
    std::string lib = root_ / "lib";
    build(lib);
    load(lib);
    source_.set_words({{"AB", "ab"}});
    build(lib);
    EXPECT_EQ(speak("AB"), expected({"A", "B"}));
}

// The header of the image itself, which the device does not pass on.
TEST(SpeakerImage, IsAFortyFourByteHeaderForAnEmptyText) {
    VoiceSource source;
    TempFolder lib("voice-image");
    ASSERT_TRUE(source.ok() && lib.ok());
    VoxcatLibrary builder(VoxcatLibrary::built_path());
    ASSERT_TRUE(builder.loaded());
    {
        CapturedFd progress(1, lib / "progress.txt");
        ASSERT_EQ(builder.RebuildLib(source.path(), lib.path()), 0);
    }
    auto index = std::make_unique<tavc::voxcat::VoiceIndex>();
    ASSERT_EQ(tavc::voxcat::LoadVoiceIndex(lib.path(), *index), 0);
    auto image = tavc::voxcat::SynthesizeToBuffer("", *index, lib.path());
    ASSERT_TRUE(image.has_value());
    std::string header(reinterpret_cast<const char*>(image->bytes.get()), image->size);
    EXPECT_EQ(
        header,
        std::string(
            "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x11\x2b\0\0\x11\x2b\0\0\x01\0\x08\0data\0\0\0\0",
            44));
    auto ab = tavc::voxcat::SynthesizeToBuffer("ab", *index, lib.path());
    ASSERT_TRUE(ab.has_value());
    EXPECT_EQ(ab->size, 48u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ab->bytes.get()) + 4, 4),
              std::string("\x28\0\0\0", 4));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ab->bytes.get()) + 40, 4),
              std::string("\x04\0\0\0", 4));
}

TEST(VoxcatSymbols, ShowTheTwoExportsAndNothingElse) {
    auto names = tavc::test::dynamic_symbols(VoxcatLibrary::built_path());
    if (!names) GTEST_SKIP() << "nm cannot read the library here";
    EXPECT_EQ(*names, (std::set<std::string>{"RebuildLib", "SyntheVoice"}));
}

}  // namespace
