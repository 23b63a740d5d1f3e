// The simulator's decoder: commands arrive without framing, merged or split across reads.
#include "terminal_simulator.h"

#include <gtest/gtest.h>

namespace {

using tavc::test::decode_terminal_commands;
using tavc::test::TerminalCommand;
using Kind = TerminalCommand::Kind;

struct DecodeCase {
    const char* name;
    std::string bytes;
    bool write_ended;
    std::vector<std::pair<Kind, std::string>> expected;  // kind and bytes of each command
    std::string left;                                    // still pending
};

// Names each case of a table after its `name` field.
struct CaseName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& param_info) const {
        return param_info.param.name;
    }
};

class SimulatorDecoder : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(SimulatorDecoder, SplitsTheStreamByTheCommandFormats) {
    const DecodeCase& c = GetParam();
    std::string pending = c.bytes;
    std::vector<TerminalCommand> got = decode_terminal_commands(pending, c.write_ended);
    std::vector<std::pair<Kind, std::string>> seen;
    for (const TerminalCommand& t : got) seen.emplace_back(t.kind, t.bytes);
    EXPECT_EQ(seen, c.expected);
    EXPECT_EQ(pending, c.left);
}

const std::string kBlackText = std::string("PJ17\x01\0\0\0\0\0\0\0\0ab\0", 16);

INSTANTIATE_TEST_SUITE_P(
    Streams, SimulatorDecoder,
    ::testing::Values(
        DecodeCase{"LoginMergedWithWelcome",
                   "PJDL000000010PJ22",
                   true,
                   {{Kind::Login, "PJDL000000010"}, {Kind::Screen, "PJ22"}},
                   ""},
        DecodeCase{"CodeWaitsForTheEndOfItsWrite", "PJ22", false, {}, "PJ22"},
        DecodeCase{"TwoCodesInOneRead", "PJ22PJ23", false, {{Kind::Screen, "PJ22"}}, "PJ23"},
        DecodeCase{"QueryAtOnce", "PJQ", false, {{Kind::Query, "PJQ"}}, ""},
        DecodeCase{"PacketWithZeroHeaderBytes",
                   kBlackText + "PJ29",
                   true,
                   {{Kind::Text, kBlackText}, {Kind::Screen, "PJ29"}},
                   ""},
        DecodeCase{"HalfAPacket", kBlackText.substr(0, 10), false, {}, kBlackText.substr(0, 10)},
        DecodeCase{"EmptyCode", "PJ", true, {{Kind::Other, "PJ"}}, ""},
        DecodeCase{"LongerCode", "PJ123", true, {{Kind::Other, "PJ123"}}, ""},
        DecodeCase{"BytesBeforeACommand", "xyPJQ", false, {{Kind::Other, "xy"}, {Kind::Query, "PJQ"}}, ""}),
    CaseName());

TEST(SimulatorDecoder, ReadsTheFieldsOfATextPacket) {
    std::string pending(
        "PJ17\x01\x00\x60\x01\x3E\xFF\xFF\x00\x00"
        "12.0\0",
        18);
    std::vector<TerminalCommand> got = decode_terminal_commands(pending, false);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].x, 96);
    EXPECT_EQ(got[0].y, 318);
    EXPECT_EQ(got[0].color, 0xFFFF);
    EXPECT_EQ(got[0].text, "12.0");
}

}  // namespace
