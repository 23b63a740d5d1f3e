// The program's settings record and the remembered texts of the demo pages, kept in the registry of
// the current user (the same values the terminal client library reads).
#pragma once

#include <QString>
#include <bitset>
#include <cstdint>

#include "settings_key.h"

namespace tavc::assistant {

constexpr const char* SettingsKey = settings::kSettingsKey;
constexpr const char* TipsKey = "Software\\TAVC\\Tips";

struct TAssistantSettings {
    QString ServerUrl;
    int32_t ComPort = 1;
    bool RemarkLevel2 = false;
    bool DemoMode = true;
    QString UserId;
    QString ErrLogFileName;
    bool ShowRemark = false;

    enum Field {
        kServerUrl,
        kComPort,
        kRemarkLevel2,
        kDemoMode,
        kUserId,
        kErrLogFileName,
        kShowRemark,
        kFields
    };
    // The fields whose value is the program's to save: read by LoadSettings (or found missing there), or
    // changed since. A value that a failed load never reached stays in the registry as it is.
    std::bitset<kFields> Known;
    void Changed(Field field) { Known.set(field); }
};

extern TAssistantSettings AssistantSettings;

// Defaults, then the stored values. A value of another registry type throws HandlerError
// "Invalid data type for '<name>'"; the values read before it stay.
void LoadSettings();
// Every known value (all seven after a whole load); nothing (and no message) when the key cannot be
// opened or created.
void SaveSettings();
// Replaces `value` by the stored text when there is one; throws like LoadSettings.
void ReadTip(const QString& name, QString& value);
void WriteTip(const QString& name, const QString& value);

}  // namespace tavc::assistant
