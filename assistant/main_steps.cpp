#include "main_steps.h"

#include "amounts.h"
#include "gbk.h"
#include "tessel.h"
#include "texts.h"

namespace tavc::assistant {

namespace {

constexpr int32_t kSpeakFlag = 1;

[[maybe_unused]] const std::string& kReadAtStart = DecimalSeparator();

}  // namespace

QString Text(std::string_view utf8) {
    QString text = FromUtf8(utf8);
    return text.contains(QStringLiteral("%1")) ? text.arg(FromUtf8(texts::kTitle)) : text;
}

void Speak(const QString& text) {
    TAVSpeak(Gbk(text).c_str(), kSpeakFlag);
}

void SoundOut(std::string_view utf8) {
    TAVSoundOut(Gbk(FromUtf8(utf8)).c_str());
}

const std::string& DecimalSeparator() {
    static const std::string separator = LocaleDecimalSeparator();
    return separator;
}

}  // namespace tavc::assistant
