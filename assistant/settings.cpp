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
    std::string path = module::executable_path().value_or("");
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
    return QString::fromStdString(path + ".log");
}

}  // namespace

void LoadSettings() {
    TAssistantSettings& s = AssistantSettings;
    s.ServerUrl = QStringLiteral("http://127.0.0.1/tavc/");
    s.RemarkLevel2 = false;
    s.ComPort = 1;
    s.DemoMode = true;
    s.UserId = QStringLiteral("0001");
    s.ErrLogFileName = DefaultErrLogFileName();
    s.ShowRemark = false;

    std::optional<Key> key = Key::open(Hive::CurrentUser, SettingsKey, false);
    if (!key) return;
    if (auto v = ReadText(*key, "DNSStr")) s.ServerUrl = *v;
    if (auto v = ReadDword(*key, "Remarklevel2")) s.RemarkLevel2 = *v != 0;
    if (auto v = ReadDword(*key, "Comport")) s.ComPort = static_cast<int32_t>(*v);
    if (auto v = ReadDword(*key, "demo_mode")) s.DemoMode = *v != 0;
    if (auto v = ReadText(*key, "usrid")) s.UserId = *v;
    if (auto v = ReadText(*key, "ErrLog_filename")) s.ErrLogFileName = *v;
    if (auto v = ReadDword(*key, "show_Remark")) s.ShowRemark = *v != 0;
}

void SaveSettings() {
    const TAssistantSettings& s = AssistantSettings;
    std::optional<Key> key = Key::open(Hive::CurrentUser, SettingsKey, true);
    if (!key) return;
    key->write_string("DNSStr", Gbk(s.ServerUrl));
    key->write_string("usrid", Gbk(s.UserId));
    key->write_string("ErrLog_filename", Gbk(s.ErrLogFileName));
    key->write_dword("demo_mode", s.DemoMode ? 1 : 0);
    key->write_dword("Remarklevel2", s.RemarkLevel2 ? 1 : 0);
    key->write_dword("Comport", static_cast<uint32_t>(s.ComPort));
    key->write_dword("show_Remark", s.ShowRemark ? 1 : 0);
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
