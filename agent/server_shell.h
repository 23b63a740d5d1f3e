// The agent's shell: its command line, its self-registration and its run as a server on the session bus.
#pragma once

#include <string>

#include "com.h"

namespace corvis {

// The position just after the first of `switches` in `text` (GBK: a double-byte character is stepped
// over whole); null when the text ends first or is null.
const char* NextSwitchToken(const char* text, const char* switches);

enum class ShellMode { Serve, Register, Unregister };

// What the whole command line (program path included, GBK) asks for: a switch character followed by
// exactly "RegServer" or "UnregServer" (case ignored) up to the end of the line; anything else serves.
ShellMode ScanCommandLine(const char* line);

// The process's command line as the shell scans it: its arguments joined by blanks, in GBK.
std::string ProcessCommandLine();

// Script 101 (the class) and the bus activation file, in registration (true) or unregistration mode.
tavc::com::HResult UpdateClassRegistration(bool registering, const std::string& module_path);

// The three runs of the program; each gives the process's exit code.
int RegisterServer();
int UnregisterServer();
int RunServer();

}  // namespace corvis
