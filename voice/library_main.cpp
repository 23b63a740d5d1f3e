// The library's exports and its load and unload: the voice index is read from the library's own folder
// when the library is loaded and dropped when it is unloaded.
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "export_guard.h"
#include "library_builder.h"
#include "module.h"
#include "results.h"
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
    loaded = guarded(nullptr, [] { return new Loaded; });
    if (!loaded) return;
    loaded->status = guarded(kOffsetIndexUnreadable, []() -> int32_t {
        auto path = module::library_path(reinterpret_cast<const void*>(&SyntheVoice));
        if (!path) return kModulePathUnknown;
        loaded->folder = module::folder_of(*path);
        if (!loaded->folder.empty() && loaded->folder.size() > 1) loaded->folder.pop_back();
        return LoadVoiceIndex(loaded->folder, loaded->index);
    });
    // Out of memory while loading counts as an index that is not there; what was read of it goes.
    if (loaded->status == kOffsetIndexUnreadable) FreeWordLists(loaded->index);
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
    return tavc::guarded(kSampleFileFailed, [&] { return BuildVoiceLibrary(srcDir, libDir); });
}

extern "C" int32_t SyntheVoice(const char* text, int32_t /*ignored*/) {
    using namespace tavc::voxcat;
    if (!loaded) return kModulePathUnknown;
    if (loaded->status != kLoaded) return loaded->status;
    return tavc::guarded(kNotPlayed, [&]() -> int32_t {
        auto image = SynthesizeToBuffer(text ? text : "", loaded->index, loaded->folder);
        if (!image) return kSampleFileMissing;
        return tavc::sound::play_wav({image->bytes.get(), image->size}) ? kPlayed : kNotPlayed;
    });
}
