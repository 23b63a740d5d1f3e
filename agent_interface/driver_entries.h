// The types of the 15 entry points that the display and sound driver library exports. Any library with
// these names and types can serve as the driver; the agent uses none of their results.
#pragma once

#include <cstdint>

namespace corvis::driver {

extern "C" {
using ClsEntry = void (*)(int32_t* rectangle);  // rectangle or null for the whole screen
using ScrollEntry = void (*)(int32_t a, int32_t b, int32_t c);
using SetFontEntry = void (*)(int32_t size, char* face, int32_t style);
using DrawTextEntry = void (*)(int32_t x, int32_t y, char* text);
using DrawImageEntry = void (*)(int32_t x, int32_t y, char* file, int32_t* rectangle);
using DrawLineEntry = void (*)(int32_t a, int32_t b, int32_t c, int32_t d);
using ResetEntry = void (*)();
using SetOriginEntry = void (*)(int32_t a, int32_t b);
using SoundOutEntry = void (*)(char* text);
// The flag is a one-byte boolean in the low byte; the upper bytes carry no meaning.
using SoftSoundOutEntry = void (*)(char* text, int32_t flag);
using TAVSpeakEntry = void (*)(char* text, int32_t mode);
using Set2SplashEntry = void (*)();
using avdisplayAEntry = void (*)(int32_t channel, char* text, int32_t m);
using avresetEntry = void (*)(int32_t channel);
using avresetdisplayEntry = void (*)(int32_t channel);
}

}  // namespace corvis::driver
