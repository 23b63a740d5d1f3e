// The library as a user meets it: a program linked against libvoxcat.so, both copied into a folder, that
// builds the voice library there from a source folder and then, started again, speaks from it.
#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "alsa_capture.h"
#include "child_process.h"
#include "voice_source.h"

namespace {

using namespace std::chrono_literals;
using tavc::test::AlsaCapture;
using tavc::test::ChildProcess;
using tavc::test::TempFolder;
using tavc::test::VoiceSource;

// Runs the program with args; the line it printed ("result n"), or what went wrong.
std::string run(const std::string& program, const std::vector<std::string>& args,
                const AlsaCapture& capture) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv, {capture.env_entry()});
    if (!child.started()) return "not started";
    std::string last = "no result line";
    while (auto line = child.read_line(60s)) last = *line;
    auto code = child.wait(10s);
    if (code != 0) return "exit " + std::to_string(code.value_or(-99));
    return last;
}

TEST(UserProgram, BuildsALibraryAndSpeaksAnAmountFromIt) {
    AlsaCapture capture;
    if (!capture.ok()) GTEST_SKIP() << "no ALSA configuration on this machine";
    VoiceSource source;
    TempFolder app("voxcat-user");
    ASSERT_TRUE(source.ok() && app.ok());
    const char* tests = std::getenv("TAVC_TEST_BIN_DIR");
    ASSERT_NE(tests, nullptr);
    std::string program = app / "voxcat_user";
    std::filesystem::copy_file(std::string(tests) + "/voxcat_user", program);
    tavc::test::copy_library_into(app.path());

    EXPECT_EQ(run(program, {"build", source.path(), app.path()}, capture), "result 0");
    EXPECT_FALSE(capture.captured());
    EXPECT_EQ(run(program, {"speak", tavc::test::gbk("共12.5元")}, capture), "result 1");
    auto sound = capture.read();
    ASSERT_TRUE(sound.has_value());
    std::vector<std::string> pieces;
    for (const char* hanzi : {"共", "十", "二", "点", "五", "元"})
        pieces.push_back(source.hanzi_piece(hanzi));
    EXPECT_EQ(tavc::test::piece_names(sound->samples), pieces);
}

}  // namespace
