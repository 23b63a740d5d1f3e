// The program's settings record and the remembered texts of the demo pages, kept in the registry of
// the current user (the same values the terminal client library reads).
#pragma once

#include <QString>
#include <cstdint>

namespace tavc::assistant {

constexpr const char* SettingsKey = "Software\\TAVC\\Settings";
constexpr const char* TipsKey = "Software\\TAVC\\Tips";

struct TAssistantSettings {
    QString ServerUrl;
    int32_t ComPort = 1;
    bool RemarkLevel2 = false;
    bool DemoMode = true;
    QString UserId;
    QString ErrLogFileName;
    bool ShowRemark = false;
};

extern TAssistantSettings AssistantSettings;

// Defaults, then the stored values. A value of another registry type throws HandlerError
// "Invalid data type for '<name>'"; the values read before it stay.
void LoadSettings();
// All seven values; nothing (and no message) when the key cannot be opened or created.
void SaveSettings();
// Replaces `value` by the stored text when there is one; throws like LoadSettings.
void ReadTip(const QString& name, QString& value);
void WriteTip(const QString& name, const QString& value);

}  // namespace tavc::assistant
