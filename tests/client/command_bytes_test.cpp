#include "terminal_commands.h"

#include <gtest/gtest.h>

#include "codepage.h"

namespace {

// Names each case of a table after its `name` field.
struct CaseName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& param_info) const {
        return param_info.param.name;
    }
};

using tavc::tessel::BuildCommand;
using tavc::tessel::BuildLogin;
using tavc::tessel::BuildTextPacket;
using tavc::tessel::ColorToRgb565;

struct ColorCase {
    uint32_t color;  // 0x00BBGGRR, as the colour dialog gives it
    uint16_t rgb565;
};

class Rgb565 : public ::testing::TestWithParam<ColorCase> {};

TEST_P(Rgb565, KeepsTheHighBitsOfEachChannel) {
    EXPECT_EQ(ColorToRgb565(static_cast<int32_t>(GetParam().color)), GetParam().rgb565);
}

INSTANTIATE_TEST_SUITE_P(Colors, Rgb565,
                         ::testing::Values(ColorCase{0x00FFFFFF, 0xFFFF}, ColorCase{0x000000FF, 0xF800},
                                           ColorCase{0x0000FF00, 0x07E0}, ColorCase{0x00FF0000, 0x001F},
                                           ColorCase{0x00808080, 0x8410}, ColorCase{0x00000000, 0x0000},
                                           // bits dropped below each channel's width
                                           ColorCase{0x00070307, 0x0000}, ColorCase{0x00080408, 0x0821},
                                           // the top byte is ignored
                                           ColorCase{0xFF000000, 0x0000}, ColorCase{0x12FFFFFF, 0xFFFF}));

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

struct PacketCase {
    const char* name;
    int32_t x;
    int32_t y;
    uint32_t color;
    std::string text;
    std::string expected;
};

std::string gbk(const char* utf8) {
    return tavc::codepage::gbk_from_utf8(utf8);
}

class TextPacket : public ::testing::TestWithParam<PacketCase> {};

TEST_P(TextPacket, HoldsPositionColourAndTextWithItsZero) {
    const PacketCase& c = GetParam();
    auto packet = BuildTextPacket(c.x, c.y, static_cast<int32_t>(c.color), c.text.c_str());
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->bytes(), c.expected);
}

const std::string kHeader = "PJ17\x01";

INSTANTIATE_TEST_SUITE_P(
    Packets, TextPacket,
    ::testing::Values(
        PacketCase{"AmountInWhite", 96, 318, 0x00FFFFFF, "12.0",
                   bytes({0x50, 0x4A, 0x31, 0x37, 0x01, 0x00, 0x60, 0x01, 0x3E, 0xFF, 0xFF, 0x00, 0x00, 0x31,
                          0x32, 0x2E, 0x30, 0x00})},
        PacketCase{"EmptyText", 1, 2, 0x000000FF, "", kHeader + bytes({0, 1, 0, 2, 0xF8, 0, 0, 0, 0})},
        PacketCase{"OnlyTheLow16BitsOfXAndY", 65536 + 5, -1, 0, "a",
                   kHeader + bytes({0, 5, 0xFF, 0xFF, 0, 0, 0, 0}) + "a" + bytes({0})},
        PacketCase{"TopColourByteIgnored", 0, 0, 0xAB00FF00, "",
                   kHeader + bytes({0, 0, 0, 0, 0x07, 0xE0, 0, 0, 0})},
        PacketCase{"GbkBytesUnchanged", 80, 436, 0x00FFFFFF, gbk("宋体"),
                   kHeader + bytes({0, 80, 0x01, 0xB4, 0xFF, 0xFF, 0, 0}) + gbk("宋体") + bytes({0})},
        PacketCase{"LongestText", 0, 0, 0, std::string(50, 'x'),
                   kHeader + bytes({0, 0, 0, 0, 0, 0, 0, 0}) + std::string(50, 'x') + bytes({0})}),
    CaseName());

TEST(TextPacket, FillsTheWholeCommandBufferWithTheLongestText) {
    auto packet = BuildTextPacket(0, 0, 0, std::string(50, 'x').c_str());
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->size, 64u);
}

struct RefusedCase {
    const char* name;
    std::optional<tavc::tessel::CommandBytes> (*build)(const char*);
    size_t longest;
};

class CommandBuffer : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(CommandBuffer, TakesTheLongestArgumentAndRefusesALongerOneOrNull) {
    const RefusedCase& c = GetParam();
    EXPECT_TRUE(c.build(std::string(c.longest, '1').c_str()));
    EXPECT_FALSE(c.build(std::string(c.longest + 1, '1').c_str()));
    EXPECT_FALSE(c.build(std::string(1000, '1').c_str()));
    EXPECT_FALSE(c.build(nullptr));
}

std::optional<tavc::tessel::CommandBytes> build_text(const char* text) {
    return BuildTextPacket(0, 0, 0, text);
}

INSTANTIATE_TEST_SUITE_P(Arguments, CommandBuffer,
                         ::testing::Values(RefusedCase{"Code", BuildCommand, 61},
                                           RefusedCase{"User", BuildLogin, 54},
                                           RefusedCase{"Text", build_text, 50}),
                         CaseName());

TEST(CommandBuffer, SendsCodeAndLoginWithoutTheirTerminatingZero) {
    EXPECT_EQ(BuildCommand("22")->bytes(), "PJ22");
    EXPECT_EQ(BuildCommand("")->bytes(), "PJ");
    EXPECT_EQ(BuildCommand(std::string(61, 'c').c_str())->bytes(), "PJ" + std::string(61, 'c'));
    EXPECT_EQ(BuildLogin("0001")->bytes(), "PJDL000000010");
    EXPECT_EQ(BuildLogin("")->bytes(), "PJDL00000");
    EXPECT_EQ(BuildLogin(std::string(54, 'u').c_str())->bytes(), "PJDL0000" + std::string(54, 'u') + "0");
}

}  // namespace
