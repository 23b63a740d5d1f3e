// Playing a WAV image held in memory on the default sound device, to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tavc::sound {

// What a PCM WAV image holds: its format and where its samples lie inside the image.
struct WavImage {
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;  // 8 (unsigned) or 16 (signed, little-endian)
    std::span<const uint8_t> samples;
};

// Reads the RIFF chunks of a PCM WAV image: "fmt " with format 1, then "data". A data chunk that claims
// more bytes than the image holds is cut to what is there; partial frames at its end are dropped. None
// for anything else (no RIFF/WAVE, no format or data chunk, another encoding, 0 channels or rate).
std::optional<WavImage> read_wav(std::span<const uint8_t> image);

// Plays the image on the ALSA device "default" and returns when the last sample has been played. True
// when it was played (an image without samples included), false when the image is not a PCM WAV image
// or the device cannot be opened or set up for its format. Blocks; callable from any thread.
bool play_wav(std::span<const uint8_t> image);

}  // namespace tavc::sound
