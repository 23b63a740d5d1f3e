// The assistant's pieces that need no window: the notification-area tip, the error box text, the
// settings and remembered texts in the registry, and the about box's JPEG decoder.
#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <string>

#include "codepage.h"
#include "form_support.h"
#include "handler_error.h"
#include "jpeg_picture.h"
#include "registry.h"
#include "settings.h"
#include "temp_folder.h"
#include "tray_icon.h"

namespace tavc::assistant {
namespace {

using registry::Hive;
using registry::Key;
using registry::Value;
using registry::ValueType;

size_t GbkBytes(const QString& text) {
    return codepage::gbk_from_utf8(text.toStdString()).size();
}

TEST(TrayTip, KeepsTheLongestStatusTextWhole) {
    QString tip = QStringLiteral("ORB-100小助手-正在上传本地评价数据,请稍等...");
    EXPECT_EQ(TrayTip(tip), tip);
    EXPECT_EQ(GbkBytes(tip), 44u);
}

TEST(TrayTip, CutsAt63BytesBeforeACharacterThatWouldSplit) {
    // 14 bytes of "ORB-100小助手-", then 24 Chinese characters of 2 bytes: 62 bytes fit, the next one not.
    QString head = QStringLiteral("ORB-100小助手-") + QString(24, QChar(0x4E2D));
    EXPECT_EQ(TrayTip(head + QStringLiteral("文")), head);
    EXPECT_EQ(GbkBytes(TrayTip(head + QStringLiteral("文"))), 62u);
    // With one ASCII byte more, the 63rd byte is a whole character.
    EXPECT_EQ(TrayTip(head + QStringLiteral("a文")), head + u'a');
    EXPECT_EQ(GbkBytes(TrayTip(QString(100, u'x'))), 63u);
}

TEST(ErrorBoxText, AddsAFullStopOnlyAfterACharacterThatSortsAboveIt) {
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Stream read error")), QStringLiteral("Stream read error."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("'x' is not a valid floating point value")),
              QStringLiteral("'x' is not a valid floating point value."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Invalid data type for 'Comport'")),
              QStringLiteral("Invalid data type for 'Comport'"));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("done.")), QStringLiteral("done."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("没有")), QStringLiteral("没有."));
    EXPECT_EQ(ErrorBoxText(QString()), QString());
}

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(home_.ok()); }
    static void Store(const char* key, const char* name, const Value& value) {
        ASSERT_TRUE(Key::open(Hive::CurrentUser, key, true)->write(name, value));
    }
    test::TempFolder home_{"settings"};
    test::ScopedEnv env_{"XDG_CONFIG_HOME", home_.path()};
};

TEST_F(SettingsTest, WithoutTheKeyEverySettingHasItsDefault) {
    LoadSettings();
    EXPECT_EQ(AssistantSettings.ServerUrl, QStringLiteral("http://127.0.0.1/tavc/"));
    EXPECT_EQ(AssistantSettings.ComPort, 1);
    EXPECT_FALSE(AssistantSettings.RemarkLevel2);
    EXPECT_TRUE(AssistantSettings.DemoMode);
    EXPECT_EQ(AssistantSettings.UserId, QStringLiteral("0001"));
    EXPECT_TRUE(AssistantSettings.ErrLogFileName.endsWith(QStringLiteral(".log")));
    EXPECT_FALSE(AssistantSettings.ShowRemark);
}

TEST_F(SettingsTest, AValueOfAnotherTypeStopsLoadingThere) {
    Store(SettingsKey, "DNSStr", {ValueType::ExpandString, "http://host/%x/"});
    Store(SettingsKey, "Remarklevel2", {ValueType::Dword, "", 7});
    Store(SettingsKey, "Comport", {ValueType::String, "3"});
    Store(SettingsKey, "usrid", {ValueType::String, "0042"});
    try {
        LoadSettings();
        FAIL() << "no error";
    } catch (const HandlerError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Comport'");
    }
    EXPECT_EQ(AssistantSettings.ServerUrl, QStringLiteral("http://host/%x/"));  // never expanded
    EXPECT_TRUE(AssistantSettings.RemarkLevel2);
    EXPECT_EQ(AssistantSettings.ComPort, 1);
    EXPECT_EQ(AssistantSettings.UserId, QStringLiteral("0001"));  // after the failure: the default
}

TEST_F(SettingsTest, SavingWritesAllSevenAndBooleansAsZeroOrOne) {
    Store(SettingsKey, "demo_mode", {ValueType::Dword, "", 2});
    Store(SettingsKey, "usrid", {ValueType::String, codepage::gbk_from_utf8("张三")});
    LoadSettings();
    EXPECT_TRUE(AssistantSettings.DemoMode);
    SaveSettings();
    std::optional<Key> key = Key::open(Hive::CurrentUser, SettingsKey, false);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->read("demo_mode"), (Value{ValueType::Dword, "", 1}));
    EXPECT_EQ(key->read("usrid"), (Value{ValueType::String, codepage::gbk_from_utf8("张三")}));
    EXPECT_EQ(AssistantSettings.UserId, QStringLiteral("张三"));
    EXPECT_EQ(key->value_names().size(), 7u);
    EXPECT_FALSE(key->has_value("BAUND_RATE"));
}

TEST_F(SettingsTest, SavingAfterAFailedLoadWritesOnlyWhatWasReadOrChanged) {
    Store(SettingsKey, "DNSStr", {ValueType::String, "http://server/tavc/"});
    Store(SettingsKey, "Comport", {ValueType::String, "3"});
    Store(SettingsKey, "usrid", {ValueType::String, "0042"});
    Store(SettingsKey, "ErrLog_filename", {ValueType::String, "/var/log/counter.log"});
    EXPECT_THROW(LoadSettings(), HandlerError);
    AssistantSettings.UserId = QStringLiteral("0007");  // a login after the failed start
    AssistantSettings.Changed(AssistantSettings.kUserId);
    SaveSettings();
    std::optional<Key> key = Key::open(Hive::CurrentUser, SettingsKey, false);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->read("DNSStr"), (Value{ValueType::String, "http://server/tavc/"}));
    EXPECT_EQ(key->read("Remarklevel2"), (Value{ValueType::Dword, "", 0}));  // found missing: its default
    EXPECT_EQ(key->read("Comport"), (Value{ValueType::String, "3"}));        // never read: as it was
    EXPECT_EQ(key->read("usrid"), (Value{ValueType::String, "0007"}));
    EXPECT_EQ(key->read("ErrLog_filename"), (Value{ValueType::String, "/var/log/counter.log"}));
    EXPECT_FALSE(key->has_value("demo_mode"));
    EXPECT_FALSE(key->has_value("show_Remark"));
}

TEST_F(SettingsTest, SavingWithoutALoadWritesNothing) {
    AssistantSettings = {};  // a remembered text failed before the settings were loaded
    SaveSettings();
    EXPECT_FALSE(Key::open(Hive::CurrentUser, SettingsKey, false).has_value());
}

TEST_F(SettingsTest, RememberedTextsAreReadWhenStoredAndWrittenUnderTheirKey) {
    QString text = QStringLiteral("default");
    ReadTip(QStringLiteral("Msg"), text);
    EXPECT_EQ(text, QStringLiteral("default"));
    WriteTip(QStringLiteral("Msg"), QStringLiteral("星辰科技创造奇迹"));
    ReadTip(QStringLiteral("Msg"), text);
    EXPECT_EQ(text, QStringLiteral("星辰科技创造奇迹"));
    Store(TipsKey, "Voice", {ValueType::Dword, "", 1});
    EXPECT_THROW(ReadTip(QStringLiteral("Voice"), text), HandlerError);
}

TEST(DecodeJpeg, DecodesTheAboutBoxPicture) {
    QFile file(QString::fromUtf8(std::getenv("TAVC_SOURCE_DIR")) + QStringLiteral("/assistant/about.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray data = file.readAll();
    QImage image = DecodeJpeg(data);
    EXPECT_EQ(image.size(), QSize(82, 63));
    DecodeJpeg(data.left(data.size() / 2));  // cut short: whatever it gives, it returns
    EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture")).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
}

}  // namespace
}  // namespace tavc::assistant
