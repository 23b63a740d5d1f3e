// The driver library and its entry points, looked up once before the worker starts; only the worker
// calls through them.
#pragma once

#include <string>

#include "driver_entries.h"
#include "dynamic_library.h"

namespace corvis {

struct DriverTable {
    tavc::dynamic_library::Library* library = nullptr;
    // Each entry is null when the library lacks it (or was not loaded).
    driver::ClsEntry Cls = nullptr;
    driver::ScrollEntry Scroll = nullptr;
    driver::SetFontEntry SetFont = nullptr;
    driver::DrawTextEntry DrawText = nullptr;
    driver::DrawImageEntry DrawImage = nullptr;
    driver::DrawLineEntry DrawLine = nullptr;
    driver::ResetEntry Reset = nullptr;
    driver::SetOriginEntry SetOrigin = nullptr;
    driver::SoundOutEntry SoundOut = nullptr;
    driver::SoftSoundOutEntry SoftSoundOut = nullptr;
    driver::TAVSpeakEntry TAVSpeak = nullptr;
    driver::Set2SplashEntry Set2Splash = nullptr;
    driver::avdisplayAEntry avdisplayA = nullptr;
    driver::avresetEntry avreset = nullptr;
    driver::avresetdisplayEntry avresetdisplay = nullptr;

    // Calls visit(name, entry) for every entry, in lookup order.
    template <typename Visit>
    void for_each_entry(Visit&& visit) {
        visit("Cls", Cls);
        visit("Scroll", Scroll);
        visit("SetFont", SetFont);
        visit("DrawText", DrawText);
        visit("DrawImage", DrawImage);
        visit("DrawLine", DrawLine);
        visit("Reset", Reset);
        visit("SetOrigin", SetOrigin);
        visit("SoundOut", SoundOut);
        visit("SoftSoundOut", SoftSoundOut);
        visit("TAVSpeak", TAVSpeak);
        visit("Set2Splash", Set2Splash);
        visit("avdisplayA", avdisplayA);
        visit("avreset", avreset);
        visit("avresetdisplay", avresetdisplay);
    }

    // Loads `file` (see tavc::dynamic_library::open for the search) and looks up every entry. False when
    // the library cannot be loaded: the table then stays empty and every command runs without calls.
    // `problem`, when given, receives what is wrong: the load error, or the names of absent entries.
    bool load(const char* file, std::string* problem = nullptr);
    // Unloads the library once and empties the table.
    void unload();
};

}  // namespace corvis
