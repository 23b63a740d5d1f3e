#include "terminal_commands.h"

#include <cstring>
#include <initializer_list>

#include "export_guard.h"
#include "results.h"
#include "serial_link.h"

namespace tavc::tessel {
namespace {

constexpr int32_t kWhite = 0x00FFFFFF;

// The length of a zero-terminated argument that fits `longest` bytes; none for null or longer. Reads no
// further than one byte past the limit.
std::optional<size_t> FittingLength(const char* text, size_t longest) {
    if (text == nullptr) return std::nullopt;
    size_t n = strnlen(text, longest + 1);
    if (n > longest) return std::nullopt;
    return n;
}

void Append(CommandBytes& c, std::string_view bytes) {
    std::memcpy(c.buffer.data() + c.size, bytes.data(), bytes.size());
    c.size += bytes.size();
}

void AppendU16(CommandBytes& c, uint16_t value) {
    c.buffer[c.size++] = static_cast<char>(value >> 8);
    c.buffer[c.size++] = static_cast<char>(value & 0xFF);
}

ExportResult Command(const char* code) {
    if (!PortIsOpen()) return kPortNotOpen;
    std::optional<CommandBytes> c = BuildCommand(code);
    if (!c) return kCommandRefused;
    return WriteCommand(c->bytes());
}

ExportResult PrintText(int32_t x, int32_t y, int32_t color, const char* text) {
    if (!PortIsOpen()) return kPortNotOpen;
    std::optional<CommandBytes> c = BuildTextPacket(x, y, color, text);
    if (!c) return kCommandRefused;
    return WriteCommand(c->bytes());
}

ExportResult Login(const char* user) {
    if (!PortIsOpen()) return kPortNotOpen;
    std::optional<CommandBytes> c = BuildLogin(user);
    if (!c) return kCommandRefused;
    if (ExportResult r = WriteCommand(c->bytes()); r != kOk) return r;
    return Command("22");
}

struct TextAt {
    int32_t x;
    int32_t y;
    const char* text;
};

// A screen and its texts in white, each a step of its own; the first step that fails ends the show.
ExportResult Show(const char* code, std::initializer_list<TextAt> texts) {
    ExportResult r = Command(code);
    for (const TextAt& t : texts) {
        if (r != kOk) break;
        r = PrintText(t.x, t.y, kWhite, t.text);
    }
    return r;
}

ExportResult ReadRemark(char* remark) {
    if (!PortIsOpen()) return kPortNotOpen;
    if (remark == nullptr) return kReadFailed;
    return QueryByte("PJQ", *remark);
}

}  // namespace

uint16_t ColorToRgb565(int32_t color) {
    auto bits = static_cast<uint32_t>(color);
    uint32_t r = bits & 0xFF;
    uint32_t g = (bits >> 8) & 0xFF;
    uint32_t b = (bits >> 16) & 0xFF;
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

std::optional<CommandBytes> BuildCommand(const char* code) {
    std::optional<size_t> n = FittingLength(code, kLongestCode);
    if (!n) return std::nullopt;
    CommandBytes c;
    Append(c, "PJ");
    Append(c, {code, *n});
    return c;
}

std::optional<CommandBytes> BuildLogin(const char* user) {
    std::optional<size_t> n = FittingLength(user, kLongestUser);
    if (!n) return std::nullopt;
    CommandBytes c;
    Append(c, "PJDL0000");
    Append(c, {user, *n});
    Append(c, "0");
    return c;
}

std::optional<CommandBytes> BuildTextPacket(int32_t x, int32_t y, int32_t color, const char* text) {
    std::optional<size_t> n = FittingLength(text, kLongestText);
    if (!n) return std::nullopt;
    CommandBytes c;
    Append(c, "PJ17\x01");
    AppendU16(c, static_cast<uint16_t>(x));
    AppendU16(c, static_cast<uint16_t>(y));
    AppendU16(c, ColorToRgb565(color));
    AppendU16(c, 0);
    Append(c, {text, *n + 1});  // the terminating zero is sent
    return c;
}

}  // namespace tavc::tessel

using namespace tavc::tessel;

extern "C" TESSEL_API ExportResult TAVCCommand(const char* code) {
    return tavc::guarded(kWriteFailed, [&] { return Command(code); });
}

extern "C" TESSEL_API ExportResult TAVCShowWelcome(void) {
    return tavc::guarded(kWriteFailed, [] { return Command("22"); });
}

extern "C" TESSEL_API ExportResult TAVCCls(void) {
    return tavc::guarded(kWriteFailed, [] { return Command("29"); });
}

extern "C" TESSEL_API ExportResult TAVCLogin(const char* user) {
    return tavc::guarded(kWriteFailed, [&] { return Login(user); });
}

extern "C" TESSEL_API ExportResult TAVCAskforRemark(void) {
    return tavc::guarded(kWriteFailed, [] { return Command("21"); });
}

extern "C" TESSEL_API ExportResult TAVCAskforRemark2(void) {
    return tavc::guarded(kWriteFailed, [] { return Command("28"); });
}

extern "C" TESSEL_API ExportResult TAVCReadRemark(char* remark) {
    return tavc::guarded(kReadFailed, [&] { return ReadRemark(remark); });
}

extern "C" TESSEL_API ExportResult TAVCPrintText(int32_t x, int32_t y, int32_t color, const char* text) {
    return tavc::guarded(kWriteFailed, [&] { return PrintText(x, y, color, text); });
}

extern "C" TESSEL_API ExportResult TAVCShowCost(const char* amount) {
    return tavc::guarded(kWriteFailed, [&] { return Show("23", {{96, 318, amount}}); });
}

extern "C" TESSEL_API ExportResult TAVCShowPayReturn(const char* received, const char* change) {
    return tavc::guarded(kWriteFailed, [&] { return Show("24", {{96, 318, received}, {96, 354, change}}); });
}

extern "C" TESSEL_API ExportResult TAVCShowItemCosts(const char* item, const char* amount,
                                                     const char* total) {
    return tavc::guarded(kWriteFailed, [&] {
        return Show("31", {{80, 318, item}, {80, 356, amount}, {80, 436, total}});
    });
}
