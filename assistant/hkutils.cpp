#include "hkutils.h"

#include "codepage.h"
#include "file_io.h"
#include "handler_error.h"
#include "module.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace tavc::assistant {
namespace {

constexpr char kOpenFailure[] = "Cannot open file ";
constexpr char kInvalidValue[] = "Invalid property value";
constexpr char kReadError[] = "Stream read error";

enum Tag : uint8_t {
    kEndOfList = 0x00,
    kListBegin = 0x01,
    kInt8 = 0x02,
    kInt16 = 0x03,
    kInt32 = 0x04,
    kShortString = 0x06,
    kTrue = 0x09,
    kLongString = 0x0C,
    kWideString = 0x12,
    kUtf8String = 0x14,
};

// Reads the file through a buffer of its own. A length field is never trusted with an allocation: the
// bytes of a value are taken a buffer at a time, so a length beyond the file's end fails as a short
// read once the file is used up.
class ValueReader {
  public:
    explicit ValueReader(const std::string& path) : fd_(file_io::open_regular(path)) {
        const int error = errno;
        if (!fd_) throw HandlerError(kOpenFailure + ("\"" + path + "\". ") + std::strerror(error));
    }
    ValueReader(const ValueReader&) = delete;
    ValueReader& operator=(const ValueReader&) = delete;

    uint8_t PeekTag() {
        Fill();
        return static_cast<uint8_t>(buffer_[pos_]);
    }

    uint8_t ReadTag() {
        uint8_t tag = PeekTag();
        ++pos_;
        return tag;
    }

    int32_t ReadInteger() {
        switch (ReadTag()) {
            case kInt8:
                return static_cast<int8_t>(ReadUnsigned(1));
            case kInt16:
                return static_cast<int16_t>(ReadUnsigned(2));
            case kInt32:
                return static_cast<int32_t>(ReadUnsigned(4));
            default:
                throw HandlerError(kInvalidValue);
        }
    }

    bool ReadBoolean() { return ReadTag() == kTrue; }

    std::string ReadString() {
        switch (ReadTag()) {
            case kShortString:
                return ReadBytes(ReadUnsigned(1));
            case kLongString:
                return ReadBytes(ReadUnsigned(4));
            case kWideString: {
                std::string bytes = ReadBytes(uint64_t{ReadUnsigned(4)} * 2);
                std::u16string text(bytes.size() / 2, u'\0');
                for (size_t i = 0; i < text.size(); ++i)
                    text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                    static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
                return codepage::gbk_from_utf16(text);
            }
            case kUtf8String:
                return codepage::gbk_from_utf8(ReadBytes(ReadUnsigned(4)));
            default:
                throw HandlerError(kInvalidValue);
        }
    }

  private:
    // At least one byte in the buffer, or the read error.
    void Fill() {
        if (pos_ < length_) return;
        ssize_t n;
        do {
            n = ::read(fd_.get(), buffer_.data(), buffer_.size());
        } while (n < 0 && errno == EINTR);
        if (n <= 0) throw HandlerError(kReadError);
        pos_ = 0;
        length_ = static_cast<size_t>(n);
    }

    std::string ReadBytes(uint64_t count) {
        std::string bytes;
        while (count > 0) {
            Fill();
            size_t take = static_cast<size_t>(std::min<uint64_t>(count, length_ - pos_));
            bytes.append(buffer_.data() + pos_, take);
            pos_ += take;
            count -= take;
        }
        return bytes;
    }

    uint32_t ReadUnsigned(int width) {
        std::string bytes = ReadBytes(static_cast<uint64_t>(width));
        uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[i]);
        return value;
    }

    file_io::Fd fd_;
    std::array<char, 4096> buffer_{};
    size_t pos_ = 0;
    size_t length_ = 0;
};

// Component key code of each file key index.
constexpr std::array<THotKeyCode, HotKeyIndexCount> kKeyOfIndex = [] {
    std::array<THotKeyCode, HotKeyIndexCount> keys{};
    constexpr THotKeyCode first[] = {2, 3, 5, 6, 7, 8, 9, 10, 11, 13, 12, 14, 15, 16, 17, 20, 21, 22};
    for (int i = 0; i < HotKeyIndexCount; ++i) {
        if (i < 18) {
            keys[i] = first[i];
        } else {
            keys[i] = static_cast<THotKeyCode>(i <= 65 ? i + 6 : i + 7);
        }
    }
    return keys;
}();

std::vector<std::string> GbkTexts(std::initializer_list<const char*> utf8) {
    std::vector<std::string> texts;
    for (const char* text : utf8) texts.push_back(codepage::gbk_from_utf8(text));
    return texts;
}

}  // namespace

std::string HotKeyFilePath() {
    return HotKeyFilePathFor(module::executable_path().value_or(std::string()));
}

std::string HotKeyFilePathFor(const std::string& program_path) {
    return module::with_extension(program_path, ".hkd");
}

void LoadHotKeyFile(THotKeyList& list) {
    LoadHotKeyFile(list, HotKeyFilePath());
}

void LoadHotKeyFile(THotKeyList& list, const std::string& path) {
    ValueReader reader(path);
    reader.ReadString();  // the header: nothing depends on it
    if (reader.ReadTag() != kListBegin) throw HandlerError(kInvalidValue);
    while (reader.PeekTag() != kEndOfList) {
        auto record = std::make_unique<THotKeyRecord>();
        record->Name = reader.ReadString();
        record->Kind = reader.ReadInteger();
        if (record->Kind == 0) record->Command = reader.ReadString();
        record->Ctrl = reader.ReadBoolean();
        record->Alt = reader.ReadBoolean();
        record->Shift = reader.ReadBoolean();
        record->Win = reader.ReadBoolean();
        record->KeyIndex = reader.ReadInteger();
        record->TrailingFlag = reader.ReadBoolean();
        list.push_back(std::move(record));
    }
    reader.ReadTag();
}

THotKeyCode HotKeyIndexToKey(int32_t key_index) {
    if (key_index < 0 || key_index >= HotKeyIndexCount) return 0;
    return kKeyOfIndex[static_cast<size_t>(key_index)];
}

THotKeyModifiers HotKeyModifiers(const THotKeyRecord& record) {
    THotKeyModifiers modifiers = 0;
    if (record.Shift) modifiers |= HotKeyShift;
    if (record.Ctrl) modifiers |= HotKeyCtrl;
    if (record.Alt) modifiers |= HotKeyAlt;
    if (record.Win) modifiers |= HotKeyWin;
    return modifiers;
}

std::span<const std::string> KeyNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all = {"Backspace",   "Tab",        "Return",   "Pause",       "Capslock",
                                        "Escape",      "Space",      "PgUp",     "PgDn",        "Home",
                                        "End",         "Left Arrow", "Up Arrow", "Right Arrow", "Down Arrow",
                                        "PrintScreen", "Insert",     "Delete"};
        for (char c = '0'; c <= '9'; ++c) all.emplace_back(1, c);
        for (char c = 'A'; c <= 'Z'; ++c) all.emplace_back(1, c);
        for (char c = '0'; c <= '9'; ++c) all.push_back(std::string("Num ") + c);
        for (const char* pad : {"Num *", "Num +", "Num -", "Num .", "Num /"}) all.emplace_back(pad);
        for (int f = 1; f <= 24; ++f) all.push_back("F" + std::to_string(f));
        all.emplace_back("Numlock");
        all.emplace_back("Scrolllock");
        return all;
    }();
    return names;
}

std::span<const std::string> ActionNames() {
    static const std::vector<std::string> names =
        GbkTexts({"执行报价器指令", "编辑热键", "控制台", "运行参数设置"});
    return names;
}

std::span<const std::string> YesNoNames() {
    static const std::vector<std::string> names = GbkTexts({"否", "是"});
    return names;
}

}  // namespace tavc::assistant
