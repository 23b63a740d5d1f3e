// A synthetic voice source for the tests: every piece holds a few samples that name it ("A" for the
// letter piece A, "#17" for numbered piece 17, "W" + a word's name for a word piece) and one sample more,
// which the speaker turns into silence. A sound played from a library built from it reads back as the
// names of the pieces joined, in order, with "_" for each silence block.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "dynamic_library.h"
#include "temp_folder.h"

namespace tavc::test {

// Helpers of GBK texts written in UTF-8.
std::string gbk(std::string_view utf8);

// The hanzi list position of the GB2312 hanzi given in UTF-8.
int hanzi_position(std::string_view utf8);

class VoiceSource {
  public:
    struct Word {
        std::string utf8;  // the word
        std::string name;  // its piece says "W" + name; its file is name + ".wav"
    };

    // The letters, the 1221 numbered pieces, and a hanzi list where position i names piece i % 1221 + 1.
    explicit VoiceSource(std::string_view tag = "voice-source");

    bool ok() const { return folder_.ok(); }
    const std::string& path() const { return folder_.path(); }
    std::string operator/(std::string_view name) const { return folder_ / name; }

    // dir.txt with the words in this order, lines ended CR CR LF, and their pieces in section/.
    void set_words(const std::vector<Word>& words);
    // Gives the hanzi (UTF-8) the map value v, rewriting wordindex.txt.
    void set_map_value(std::string_view hanzi_utf8, int16_t v);
    // Writes a file of the source as raw bytes (folders made as needed).
    void write(std::string_view relative, std::string_view bytes) const;
    // A WAV piece file: the 44-byte header, then the samples.
    static std::string wav(std::string_view samples);

    // The name the piece of a hanzi (UTF-8) reads back as, under the current map.
    std::string hanzi_piece(std::string_view utf8) const;
    // The names of several hanzi, one after another.
    std::vector<std::string> hanzi_pieces(std::string_view utf8) const;

  private:
    void write_map() const;

    TempFolder folder_;
    std::vector<int16_t> map_;
};

// The names of the pieces joined in a sound from a VoiceSource library ("_" for a silence block); a
// stretch that is neither reads back as "?<bytes>".
std::vector<std::string> piece_names(const std::vector<uint8_t>& samples);

// libvoxcat.so loaded from a path, its exports by name; unloaded at destruction.
class VoxcatLibrary {
  public:
    explicit VoxcatLibrary(const std::string& path);
    ~VoxcatLibrary();
    VoxcatLibrary(const VoxcatLibrary&) = delete;
    VoxcatLibrary& operator=(const VoxcatLibrary&) = delete;

    bool loaded() const { return rebuild_ != nullptr && speak_ != nullptr; }
    int32_t RebuildLib(const std::string& src, const std::string& lib) const {
        return rebuild_(src.c_str(), lib.c_str());
    }
    int32_t SyntheVoice(const std::string& text) const { return speak_(text.c_str(), 0); }

    // The library this build made.
    static std::string built_path();

  private:
    dynamic_library::Library* library_ = nullptr;
    int32_t (*rebuild_)(const char*, const char*) = nullptr;
    int32_t (*speak_)(const char*, int32_t) = nullptr;
};

// The bytes of a file; empty when it cannot be read.
std::string read_all(const std::string& path);

// What one file descriptor of this process (1 standard output, 2 standard error) receives while the
// object lives, kept in file.
class CapturedFd {
  public:
    CapturedFd(int fd, const std::string& file);
    ~CapturedFd() { finish(); }
    CapturedFd(const CapturedFd&) = delete;
    CapturedFd& operator=(const CapturedFd&) = delete;
    // Gives the descriptor back and returns what it received.
    std::string finish();

  private:
    int fd_;
    std::string file_;
    int saved_ = -1;
};

// Copies the built library into folder, where it will load the voice library files beside it.
std::string copy_library_into(const std::string& folder);

}  // namespace tavc::test
