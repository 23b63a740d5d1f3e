#include "alsa_capture.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tavc::test {
namespace {

constexpr const char* kSystemConfig = "/usr/share/alsa/alsa.conf";

uint32_t le(const std::string& bytes, size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
    return v;
}

}  // namespace

AlsaCapture::AlsaCapture() {
    if (!folder_.ok() || !std::filesystem::exists(kSystemConfig)) return;
    file_ = folder_ / "capture.wav";
    std::string conf = folder_ / "capture.conf";
    std::ofstream(conf) << "pcm.!default {\n"
                           "    type file\n"
                           "    slave.pcm \"null\"\n"
                           "    file \""
                        << file_
                        << "\"\n"
                           "    format \"wav\"\n"
                           "}\n";
    config_path_ = std::string(kSystemConfig) + ":" + conf;
    ok_ = true;
}

bool AlsaCapture::captured() const {
    return std::filesystem::exists(file_);
}

std::optional<CapturedSound> AlsaCapture::read() const {
    std::ifstream in(file_, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The plugin writes the plain 44-byte header and fills in its sizes when the device is closed.
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 ||
        bytes.compare(36, 4, "data") != 0)
        return std::nullopt;
    uint32_t size = le(bytes, 40, 4);
    if (size != bytes.size() - 44 || le(bytes, 4, 4) != size + 36) return std::nullopt;
    CapturedSound sound;
    sound.channels = static_cast<uint16_t>(le(bytes, 22, 2));
    sound.rate = le(bytes, 24, 4);
    sound.bits = static_cast<uint16_t>(le(bytes, 34, 2));
    sound.samples.assign(bytes.begin() + 44, bytes.end());
    return sound;
}

void AlsaCapture::clear() const {
    std::error_code ignored;
    std::filesystem::remove(file_, ignored);
}

}  // namespace tavc::test
