#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "alsa_capture.h"
#include "sound.h"

namespace {

using tavc::test::ScopedAlsaCapture;
using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void put_tag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}

// A PCM WAV image; `extra` is a chunk put between the format and the data; `claimed` overrides the
// data size field.
Bytes wav(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& samples, const Bytes& extra = {},
          std::optional<uint32_t> claimed = std::nullopt) {
    Bytes b;
    put_tag(b, "RIFF");
    put32(b, 0);
    put_tag(b, "WAVE");
    put_tag(b, "fmt ");
    put32(b, 16);
    put16(b, 1);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * bits / 8);
    put16(b, static_cast<uint16_t>(channels * bits / 8));
    put16(b, bits);
    if (!extra.empty()) {
        put_tag(b, "LIST");
        put32(b, static_cast<uint32_t>(extra.size()));
        b.insert(b.end(), extra.begin(), extra.end());
        if (extra.size() % 2) b.push_back(0);
    }
    put_tag(b, "data");
    put32(b, claimed.value_or(static_cast<uint32_t>(samples.size())));
    b.insert(b.end(), samples.begin(), samples.end());
    uint32_t riff = static_cast<uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    return b;
}

Bytes ramp(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

struct Played {
    const char* name;
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    size_t bytes;
};

class SoundAtTheDevice : public ::testing::TestWithParam<Played> {};

TEST_P(SoundAtTheDevice, PlaysExactlyTheImagesSamplesInItsFormat) {
    ScopedAlsaCapture capture;
    if (!capture.ok()) GTEST_SKIP() << "no ALSA configuration on this machine";
    const Played& p = GetParam();
    Bytes samples = ramp(p.bytes);
    ASSERT_TRUE(tavc::sound::play_wav(wav(p.channels, p.rate, p.bits, samples)));
    auto got = capture.read();
    ASSERT_TRUE(got.has_value()) << "no complete capture in " << capture.file();
    EXPECT_EQ(got->channels, p.channels);
    EXPECT_EQ(got->rate, p.rate);
    EXPECT_EQ(got->bits, p.bits);
    EXPECT_EQ(got->samples, samples);
}

INSTANTIATE_TEST_SUITE_P(Formats, SoundAtTheDevice,
                         ::testing::Values(Played{"EightBitMono", 1, 11025, 8, 3001},
                                           Played{"SixteenBitStereo", 2, 22050, 16, 4000},
                                           Played{"NoSamplesAtAll", 1, 11025, 8, 0}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Sound, RefusesWhatIsNotAPcmWavImageAndPlaysNothing) {
    ScopedAlsaCapture capture;
    if (!capture.ok()) GTEST_SKIP() << "no ALSA configuration on this machine";
    Bytes good = wav(1, 11025, 8, ramp(10));
    Bytes no_riff = good;
    no_riff[0] = 'X';
    Bytes float_format = good;
    float_format[20] = 3;
    Bytes twelve_bits = wav(1, 11025, 12, ramp(10));
    Bytes no_data(good.begin(), good.begin() + 36);
    for (const Bytes& image : {Bytes{}, no_riff, float_format, twelve_bits, no_data}) {
        EXPECT_FALSE(tavc::sound::play_wav(image));
        EXPECT_FALSE(capture.captured());
    }
}

TEST(Sound, ReadsPastOtherChunksAndCutsADataSizeThatClaimsTooMuch) {
    Bytes samples = ramp(9);
    Bytes listed = wav(1, 8000, 8, samples, Bytes{'a', 'b', 'c'});
    auto with_list = tavc::sound::read_wav(listed);
    ASSERT_TRUE(with_list.has_value());
    EXPECT_EQ(Bytes(with_list->samples.begin(), with_list->samples.end()), samples);
    Bytes claims_more = wav(2, 8000, 16, samples, {}, 1000000);
    auto overlong = tavc::sound::read_wav(claims_more);
    ASSERT_TRUE(overlong.has_value());
    EXPECT_EQ(overlong->samples.size(), 8u);  // whole 4-byte frames only
}

TEST(Sound, ReportsADeviceThatCannotBeOpened) {
    tavc::test::TempFolder folder("sound");
    ASSERT_TRUE(folder.ok());
    std::ofstream(folder / "none.conf") << "pcm.!default { type hw card 99 }\n";
    tavc::test::ScopedEnv env("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + (folder / "none.conf"));
    EXPECT_FALSE(tavc::sound::play_wav(wav(1, 11025, 8, ramp(10))));
}

}  // namespace
