#include "voice_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "codepage.h"
#include "dynamic_library.h"

namespace tavc::test {
namespace {

constexpr int kNumberedPieces = 1221;
constexpr int kPositions = 72 * 94;

// The source's 1247 files are made in memory where the system offers it: creating that many on a disk
// costs seconds per test on some machines.
std::filesystem::path source_parent() {
    std::error_code ignored;
    if (std::filesystem::is_directory("/dev/shm", ignored) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

}  // namespace

std::string gbk(std::string_view utf8) {
    return codepage::gbk_from_utf8(utf8);
}

int hanzi_position(std::string_view utf8) {
    std::string bytes = gbk(utf8);
    auto b1 = static_cast<unsigned char>(bytes.at(0));
    auto b2 = static_cast<unsigned char>(bytes.at(1));
    return (b1 - 0xB0) * 94 + (b2 - 0xA1);
}

VoiceSource::VoiceSource(std::string_view tag) : folder_(tag, source_parent()) {
    if (!folder_.ok()) return;
    for (char c = 'A'; c <= 'Z'; ++c)
        write("single/" + std::string(1, c) + ".wav", wav(std::string(1, c) + "x"));
    for (int n = 1; n <= kNumberedPieces; ++n)
        write("single/" + std::to_string(n) + ".wav", wav("#" + std::to_string(n) + "x"));
    map_.resize(kPositions);
    for (int i = 0; i < kPositions; ++i) map_[i] = static_cast<int16_t>(i % kNumberedPieces + 1);
    write_map();
    set_words({});
}

void VoiceSource::set_words(const std::vector<Word>& words) {
    std::string list;
    for (const Word& w : words) {
        list += gbk(w.utf8) + "," + w.name + ".wav\r\r\n";
        write("section/" + w.name + ".wav", wav("W" + w.name + "x"));
    }
    write("dir.txt", list);
}

void VoiceSource::set_map_value(std::string_view hanzi_utf8, int16_t v) {
    map_.at(hanzi_position(hanzi_utf8)) = v;
    write_map();
}

void VoiceSource::write_map() const {
    std::string list;
    for (int16_t v : map_) list += std::to_string(v) + "\r\n";
    write("wordindex.txt", list);
}

void VoiceSource::write(std::string_view relative, std::string_view bytes) const {
    std::filesystem::path p = std::filesystem::path(path()) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::string VoiceSource::wav(std::string_view samples) {
    return std::string(44, 'h') + std::string(samples);
}

std::string VoiceSource::hanzi_piece(std::string_view utf8) const {
    int v = map_.at(hanzi_position(utf8));
    return v == 0 ? "Z" : "#" + std::to_string(v);
}

std::vector<std::string> VoiceSource::hanzi_pieces(std::string_view utf8) const {
    std::vector<std::string> names;
    std::string bytes = gbk(utf8);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        names.push_back(hanzi_piece(codepage::utf8_from_gbk(bytes.substr(i, 2))));
    return names;
}

std::vector<std::string> piece_names(const std::vector<uint8_t>& samples) {
    std::vector<std::string> names;
    size_t i = 0;
    while (i < samples.size()) {
        if (samples[i] == 0x80) {
            size_t run = 0;
            while (i < samples.size() && samples[i] == 0x80) ++run, ++i;
            if (run % 256 != 0) {
                names.push_back("?" + std::to_string(run) + " silent samples");
                continue;
            }
            names.insert(names.end(), run / 256, "_");
            continue;
        }
        std::string name;
        while (i < samples.size() && samples[i] != 0x80) name += static_cast<char>(samples[i++]);
        if (i == samples.size()) {
            names.push_back("?" + name);  // a piece whose last sample is not silence
            break;
        }
        ++i;  // the piece's last sample
        names.push_back(name);
    }
    return names;
}

VoxcatLibrary::VoxcatLibrary(const std::string& path) {
    library_ = dynamic_library::open(path.c_str());
    rebuild_ = reinterpret_cast<decltype(rebuild_)>(dynamic_library::symbol(library_, "RebuildLib"));
    speak_ = reinterpret_cast<decltype(speak_)>(dynamic_library::symbol(library_, "SyntheVoice"));
}

VoxcatLibrary::~VoxcatLibrary() {
    dynamic_library::close(library_);
}

std::string VoxcatLibrary::built_path() {
    const char* bin = std::getenv("TAVC_BIN_DIR");
    return std::string(bin ? bin : ".") + "/libvoxcat.so";
}

std::string copy_library_into(const std::string& folder) {
    return copy_library(VoxcatLibrary::built_path(), folder);
}

}  // namespace tavc::test

namespace tavc::test {

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

CapturedFd::CapturedFd(int fd, const std::string& file) : fd_(fd), file_(file) {
    std::fflush(nullptr);
    saved_ = ::dup(fd);
    int out = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(out, fd);
    ::close(out);
}

std::string CapturedFd::finish() {
    std::fflush(nullptr);
    if (saved_ >= 0) {
        ::dup2(saved_, fd_);
        ::close(saved_);
        saved_ = -1;
    }
    return read_all(file_);
}

}  // namespace tavc::test
