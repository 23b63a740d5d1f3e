// The settings key of the current user's registry: the clerk's program keeps its settings there, and the
// terminal client library reads its port from there when it is loaded.
#pragma once

namespace tavc::settings {

inline constexpr const char* kSettingsKey = "Software\\TAVC\\Settings";

// DWORD values the library reads: the port number (1-9 open COM1-COM9, any other COM10) and the baud
// rate. The program writes the port number from its set-up form.
inline constexpr const char* kComPortValue = "Comport";
inline constexpr const char* kBaudRateValue = "BAUND_RATE";

}  // namespace tavc::settings
