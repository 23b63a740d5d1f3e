// Routes the ALSA device "default" into a WAV file of a test's own, so a test reads back exactly the
// samples a program played. The "file" plugin over a "null" slave writes every sample without waiting
// for real time; each open of the device starts the file anew, and its header is complete once the
// player has closed the device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace tavc::test {

// A captured WAV file: its format fields and its samples.
struct CapturedSound {
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    std::vector<uint8_t> samples;
};

class AlsaCapture {
  public:
    // The system's alsa.conf followed by the routing; also false when that file is missing.
    AlsaCapture();

    // False when the system has no ALSA configuration to build on: the test should skip.
    bool ok() const { return ok_; }
    // The value for ALSA_CONFIG_PATH of a process whose sound is to be captured.
    const std::string& config_path() const { return config_path_; }
    // "ALSA_CONFIG_PATH=..." for a child's environment.
    std::string env_entry() const { return "ALSA_CONFIG_PATH=" + config_path_; }
    const std::string& file() const { return file_; }

    // Whether anything was played since the last clear().
    bool captured() const;
    // The last sound played; none when nothing was or the file is not a complete WAV file.
    std::optional<CapturedSound> read() const;
    void clear() const;

  private:
    TempFolder folder_{"alsa-capture"};
    bool ok_ = false;
    std::string file_;
    std::string config_path_;
};

// Sets ALSA_CONFIG_PATH of this process to a capture's configuration while the object lives.
class ScopedAlsaCapture : public AlsaCapture {
  public:
    ScopedAlsaCapture() : env_("ALSA_CONFIG_PATH", config_path()) {}

  private:
    ScopedEnv env_;
};

}  // namespace tavc::test
