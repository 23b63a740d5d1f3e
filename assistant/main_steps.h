// What the main window's handlers share: texts from the program's table, the speech and sound commands
// they send, the locale's decimal separator, and a last step that runs whether the step before failed.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavc::assistant {

// Both server calls go to port 80.
inline constexpr int32_t kServerPort = 80;

// A text of the table (UTF-8), with the title in place of a %1 when it has one.
QString Text(std::string_view utf8);

// Hands a text to the agent to be spoken, or a sound command (UTF-8) to the driver.
void Speak(const QString& text);
void SoundOut(std::string_view utf8);

// The separator that parsing and formatting amounts use, read once when the program starts.
const std::string& DecimalSeparator();

// Runs `step`, then `last` whether or not the step failed; a failure goes on to the error box after.
template <class Step, class Last>
void WithFinalStep(Step&& step, Last&& last) {
    try {
        step();
    } catch (...) {
        last();
        throw;
    }
    last();
}

}  // namespace tavc::assistant
