#include "settings.h"

#include <optional>
#include <string>

#include "gbk.h"
#include "handler_error.h"
#include "module.h"
#include "registry.h"

namespace tavc::assistant {

TAssistantSettings AssistantSettings;

namespace {

using registry::Hive;
using registry::Key;
using registry::ValueType;

[[noreturn]] void InvalidType(const char* name) {
    throw HandlerError(std::string("Invalid data type for '") + name + "'");
}

// A value's text when it exists; throws for a value that is no text.
std::optional<QString> ReadText(const Key& key, const char* name) {
    if (!key.has_value(name)) return std::nullopt;
    std::optional<registry::Value> value = key.read(name);
    if (!value || (value->type != ValueType::String && value->type != ValueType::ExpandString))
        InvalidType(name);
    return FromGbk(value->text);
}

std::optional<uint32_t> ReadDword(const Key& key, const char* name) {
    if (!key.has_value(name)) return std::nullopt;
    std::optional<registry::Value> value = key.read(name);
    if (!value || value->type != ValueType::Dword) InvalidType(name);
    return value->dword;
}

// The program's path with its extension replaced by ".log".
QString DefaultErrLogFileName() {
    return QString::fromStdString(module::with_extension(module::executable_path().value_or(""), ".log"));
}

}  // namespace

void LoadSettings() {
    TAssistantSettings& s = AssistantSettings;
    s.Known.reset();
    s.ServerUrl = QStringLiteral("http://127.0.0.1/tavc/");
    s.RemarkLevel2 = false;
    s.ComPort = 1;
    s.DemoMode = true;
    s.UserId = QStringLiteral("0001");
    s.ErrLogFileName = DefaultErrLogFileName();
    s.ShowRemark = false;

    std::optional<Key> key = Key::open(Hive::CurrentUser, SettingsKey, false);
    if (!key) {
        s.Known.set();
        return;
    }
    // Each field becomes known once its value has been read or found missing; a wrong type throws first.
    if (auto v = ReadText(*key, "DNSStr")) s.ServerUrl = *v;
    s.Changed(s.kServerUrl);
    if (auto v = ReadDword(*key, "Remarklevel2")) s.RemarkLevel2 = *v != 0;
    s.Changed(s.kRemarkLevel2);
    if (auto v = ReadDword(*key, settings::kComPortValue)) s.ComPort = static_cast<int32_t>(*v);
    s.Changed(s.kComPort);
    if (auto v = ReadDword(*key, "demo_mode")) s.DemoMode = *v != 0;
    s.Changed(s.kDemoMode);
    if (auto v = ReadText(*key, "usrid")) s.UserId = *v;
    s.Changed(s.kUserId);
    if (auto v = ReadText(*key, "ErrLog_filename")) s.ErrLogFileName = *v;
    s.Changed(s.kErrLogFileName);
    if (auto v = ReadDword(*key, "show_Remark")) s.ShowRemark = *v != 0;
    s.Changed(s.kShowRemark);
}

void SaveSettings() {
    const TAssistantSettings& s = AssistantSettings;
    if (s.Known.none()) return;
    std::optional<Key> key = Key::open(Hive::CurrentUser, SettingsKey, true);
    if (!key) return;
    if (s.Known[s.kServerUrl]) key->write_string("DNSStr", Gbk(s.ServerUrl));
    if (s.Known[s.kUserId]) key->write_string("usrid", Gbk(s.UserId));
    if (s.Known[s.kErrLogFileName]) key->write_string("ErrLog_filename", Gbk(s.ErrLogFileName));
    if (s.Known[s.kDemoMode]) key->write_dword("demo_mode", s.DemoMode ? 1 : 0);
    if (s.Known[s.kRemarkLevel2]) key->write_dword("Remarklevel2", s.RemarkLevel2 ? 1 : 0);
    if (s.Known[s.kComPort]) key->write_dword(settings::kComPortValue, static_cast<uint32_t>(s.ComPort));
    if (s.Known[s.kShowRemark]) key->write_dword("show_Remark", s.ShowRemark ? 1 : 0);
}

void ReadTip(const QString& name, QString& value) {
    std::optional<Key> key = Key::open(Hive::CurrentUser, TipsKey, false);
    if (!key) return;
    std::string gbk_name = Gbk(name);
    if (auto v = ReadText(*key, gbk_name.c_str())) value = *v;
}

void WriteTip(const QString& name, const QString& value) {
    std::optional<Key> key = Key::open(Hive::CurrentUser, TipsKey, true);
    if (key) key->write_string(Gbk(name), Gbk(value));
}

}  // namespace tavc::assistant
