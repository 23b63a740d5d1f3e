// The library's exports and its load and unload: the voice index is read from the library's own folder
// when the library is loaded and dropped when it is unloaded.
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "library_builder.h"
#include "module.h"
#include "sound.h"
#include "synthesis.h"
#include "voice_index.h"
#include "voxcat.h"

namespace tavc::voxcat {
namespace {

struct Loaded {
    int32_t status = kModulePathUnknown;
    std::string folder;
    VoiceIndex index;
};
// Written only while the library is loaded and unloaded, read in between.
Loaded* loaded = nullptr;

void LibraryAttach() noexcept {
    try {
        loaded = new Loaded;
        auto path = module::library_path(reinterpret_cast<const void*>(&SyntheVoice));
        if (!path) return;
        loaded->folder = module::folder_of(*path);
        if (!loaded->folder.empty() && loaded->folder.size() > 1) loaded->folder.pop_back();
        loaded->status = LoadVoiceIndex(loaded->folder, loaded->index);
    } catch (...) {
        // Out of memory while loading: every call answers that the index is not there.
        if (loaded) {
            FreeWordLists(loaded->index);
            loaded->status = kOffsetIndexUnreadable;
        }
    }
}

void LibraryDetach() noexcept {
    if (!loaded) return;
    FreeWordLists(loaded->index);
    delete loaded;
    loaded = nullptr;
}

__attribute__((constructor)) void LibraryLoaded() {
    LibraryAttach();
}
__attribute__((destructor)) void LibraryUnloaded() {
    LibraryDetach();
}

}  // namespace
}  // namespace tavc::voxcat

extern "C" int32_t RebuildLib(const char* srcDir, const char* libDir) {
    using namespace tavc::voxcat;
    if (srcDir == nullptr || libDir == nullptr) return kSampleFileFailed;
    try {
        return BuildVoiceLibrary(srcDir, libDir);
    } catch (...) {
        return kSampleFileFailed;
    }
}

extern "C" int32_t SyntheVoice(const char* text, int32_t /*ignored*/) {
    using namespace tavc::voxcat;
    if (!loaded) return kModulePathUnknown;
    if (loaded->status != kLoaded) return loaded->status;
    try {
        auto image = SynthesizeToBuffer(text ? text : "", loaded->index, loaded->folder);
        if (!image) return -1;
        return tavc::sound::play_wav({image->bytes.get(), image->size}) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
