#include "sound.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tavc::sound {
namespace {

uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

// Writes every frame, resuming after signals and recovering from an underrun.
bool write_frames(snd_pcm_t* pcm, const uint8_t* data, snd_pcm_uframes_t frames, size_t frame_bytes) {
    while (frames > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, data, frames);
        if (n < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0) return false;
            continue;
        }
        data += static_cast<size_t>(n) * frame_bytes;
        frames -= static_cast<snd_pcm_uframes_t>(n);
    }
    return true;
}

}  // namespace

std::optional<WavImage> read_wav(std::span<const uint8_t> image) {
    if (image.size() < 12 || std::memcmp(image.data(), "RIFF", 4) != 0 ||
        std::memcmp(image.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    WavImage wav;
    bool have_format = false;
    size_t at = 12;
    while (image.size() - at >= 8) {
        const uint8_t* chunk = image.data() + at;
        size_t size = le32(chunk + 4);
        size_t body = at + 8;
        size_t available = image.size() - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || available < 16) return std::nullopt;
            const uint8_t* f = image.data() + body;
            if (le16(f) != 1) return std::nullopt;
            wav.channels = le16(f + 2);
            wav.rate = le32(f + 4);
            wav.bits = le16(f + 14);
            if (wav.channels == 0 || wav.rate == 0 || (wav.bits != 8 && wav.bits != 16)) return std::nullopt;
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) return std::nullopt;
            size = std::min(size, available);
            size_t frame = static_cast<size_t>(wav.channels) * (wav.bits / 8);
            wav.samples = image.subspan(body, size - size % frame);
            return wav;
        }
        if (size > available) return std::nullopt;
        at = body + size + (size & 1);  // chunks are padded to an even length
        if (at > image.size()) return std::nullopt;
    }
    return std::nullopt;
}

bool play_wav(std::span<const uint8_t> image) {
    auto wav = read_wav(image);
    if (!wav) return false;
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
    Pcm pcm(raw);
    snd_pcm_format_t format = wav->bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    // Half a second of buffering: the device resamples or converts what it cannot take as it is.
    if (snd_pcm_set_params(pcm.get(), format, SND_PCM_ACCESS_RW_INTERLEAVED, wav->channels, wav->rate, 1,
                           500000) < 0)
        return false;
    size_t frame_bytes = static_cast<size_t>(wav->channels) * (wav->bits / 8);
    if (!write_frames(pcm.get(), wav->samples.data(), wav->samples.size() / frame_bytes, frame_bytes))
        return false;
    // Playing ends when the device has drained; closing then flushes what a file-backed device holds.
    return snd_pcm_drain(pcm.get()) >= 0;
}

}  // namespace tavc::sound
