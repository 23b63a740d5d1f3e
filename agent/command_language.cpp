#include "command_language.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <span>

#include "codepage.h"
#include "command_texts.h"

namespace corvis {
namespace {

constexpr size_t kWordBytes = 18;
constexpr size_t kFieldBytes = frame::kArgumentBytes;
constexpr int32_t kMaxCount = static_cast<int32_t>(frame::kArgumentBytes);
using frame::IsWhiteSpace;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A text handed to the driver: the worker's own NUL-terminated copy.
struct Text {
    explicit Text(std::string_view s) {
        const size_t n = std::min(s.size(), kFieldBytes);
        if (n > 0) std::memcpy(bytes, s.data(), n);
        bytes[n] = '\0';
    }
    char bytes[kFieldBytes + 1];
};

// Reads fields from a NUL-terminated text. Every read that fails leaves the position as it was.
class Reader {
  public:
    explicit Reader(const char* text) : p_(text) {}

    const char* rest() const { return p_; }

    // White space, then the run up to the next white space; none when the text ends first.
    std::optional<std::string_view> word() {
        const char* p = SkipSpace(p_);
        const char* start = p;
        while (*p != '\0' && !IsWhiteSpace(*p)) ++p;
        if (p == start) return std::nullopt;
        p_ = p;
        return std::string_view(start, static_cast<size_t>(p - start));
    }

    // White space, then an optional sign and decimal digits that end the field; none when that is not
    // what follows or the value is outside 32 bits.
    std::optional<int32_t> number() {
        const char* p = SkipSpace(p_);
        bool negative = false;
        if (*p == '+' || *p == '-') negative = *p++ == '-';
        if (!IsDigit(*p)) return std::nullopt;
        int64_t value = 0;
        for (; IsDigit(*p); ++p) {
            value = value * 10 + (*p - '0');
            if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
        }
        if (*p != '\0' && !IsWhiteSpace(*p)) return std::nullopt;
        if (negative) value = -value;
        if (value > INT32_MAX) return std::nullopt;
        p_ = p;
        return static_cast<int32_t>(value);
    }

    template <size_t N>
    bool numbers(int32_t (&out)[N]) {
        for (int32_t& n : out) {
            std::optional<int32_t> v = number();
            if (!v) return false;
            n = *v;
        }
        return true;
    }

    // A count n (0 to 64) and the n bytes after the TAB that follows it. Nothing after the count is an
    // empty text; more bytes claimed than present is none.
    std::optional<std::string_view> counted() {
        Reader probe(*this);
        std::optional<int32_t> n = probe.number();
        if (!n || *n < 0 || *n > kMaxCount) return std::nullopt;
        const size_t count = static_cast<size_t>(*n);
        if (*probe.p_ == '\0') {
            if (count != 0) return std::nullopt;
            p_ = probe.p_;
            return std::string_view();
        }
        if (*probe.p_ != '\t') return std::nullopt;
        const char* start = probe.p_ + 1;
        if (strnlen(start, count) < count) return std::nullopt;
        p_ = start + count;
        return std::string_view(start, count);
    }

  private:
    static const char* SkipSpace(const char* p) {
        while (IsWhiteSpace(*p)) ++p;
        return p;
    }

    const char* p_;
};

// "NULL" for no rectangle, or four numbers; none otherwise.
struct Rectangle {
    int32_t values[4]{};
    bool null = true;
    int32_t* address() { return null ? nullptr : values; }
};

std::optional<Rectangle> ReadRectangle(const char* text) {
    Rectangle rect;
    if (std::strcmp(text, "NULL") == 0) return rect;
    Reader r(text);
    if (!r.numbers(rect.values)) return std::nullopt;
    rect.null = false;
    return rect;
}

std::optional<int32_t> CellOrigin(int32_t cell, int32_t size) {
    const int64_t origin = int64_t{size} * cell - (size - 1);
    if (origin < INT32_MIN || origin > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(origin);
}

using Command = uint32_t (*)(const DriverTable&, Reader&);

uint32_t PrintText(const DriverTable& d, Reader& r) {
    int32_t cell[2];
    if (!r.numbers(cell)) return 0;
    std::optional<std::string_view> text = r.counted();
    std::optional<int32_t> x = CellOrigin(cell[0], 16);
    std::optional<int32_t> y = CellOrigin(cell[1], 18);
    if (!text || !x || !y) return 0;
    if (d.SetFont) {
        Text face(texts::kPrintTextFace);
        d.SetFont(12, face.bytes, 0);
    }
    if (d.DrawText) d.DrawText(*x, *y, Text(*text).bytes);
    return 0;
}

uint32_t DrawText(const DriverTable& d, Reader& r) {
    int32_t at[2];
    if (!r.numbers(at)) return 0;
    std::optional<std::string_view> text = r.counted();
    if (text && d.DrawText) d.DrawText(at[0], at[1], Text(*text).bytes);
    return 0;
}

uint32_t SetFont(const DriverTable& d, Reader& r) {
    std::optional<int32_t> size = r.number();
    std::optional<std::string_view> face = size ? r.word() : std::nullopt;
    std::optional<int32_t> style = face ? r.number() : std::nullopt;
    if (style && d.SetFont) d.SetFont(*size, Text(*face).bytes, *style);
    return 0;
}

uint32_t DrawLine(const DriverTable& d, Reader& r) {
    int32_t n[4];
    if (r.numbers(n) && d.DrawLine) d.DrawLine(n[0], n[1], n[2], n[3]);
    return 0;
}

uint32_t Cls(const DriverTable& d, Reader& r) {
    std::optional<Rectangle> rect = ReadRectangle(r.rest());
    if (!rect || !d.Cls) return 0;
    d.Cls(rect->address());
    return kClsPauseMs;
}

uint32_t DrawImage(const DriverTable& d, Reader& r) {
    int32_t at[2];
    if (!r.numbers(at)) return 0;
    std::optional<std::string_view> file = r.word();
    std::optional<std::string_view> rect_text = file ? r.counted() : std::nullopt;
    if (!rect_text) return 0;
    std::optional<Rectangle> rect = ReadRectangle(Text(*rect_text).bytes);
    if (rect && d.DrawImage) d.DrawImage(at[0], at[1], Text(*file).bytes, rect->address());
    return 0;
}

uint32_t Scroll(const DriverTable& d, Reader& r) {
    int32_t n[3];
    if (r.numbers(n) && d.Scroll) d.Scroll(n[0], n[1], n[2]);
    return 0;
}

uint32_t Reset(const DriverTable& d, Reader&) {
    if (d.Reset) d.Reset();
    return 0;
}

uint32_t SetOrigin(const DriverTable& d, Reader& r) {
    int32_t n[2];
    if (r.numbers(n) && d.SetOrigin) d.SetOrigin(n[0], n[1]);
    return 0;
}

uint32_t SoundOut(const DriverTable& d, Reader& r) {
    if (d.SoundOut) d.SoundOut(Text(r.rest()).bytes);
    return 0;
}

uint32_t SoftSoundOut(const DriverTable& d, Reader& r) {
    std::optional<std::string_view> text = r.word();
    if (!text) return 0;
    // A flag that cannot be read is false.
    const bool flag = r.number().value_or(0) != 0;
    if (d.SoftSoundOut) d.SoftSoundOut(Text(*text).bytes, flag ? 1 : 0);
    return 0;
}

uint32_t TAVSpeak(const DriverTable& d, Reader& r) {
    std::optional<std::string_view> text = r.word();
    // The flag field has no effect on the call.
    if (text && d.TAVSpeak) d.TAVSpeak(Text(*text).bytes, 0);
    return 0;
}

uint32_t Set2Splash(const DriverTable& d, Reader&) {
    if (d.Set2Splash) d.Set2Splash();
    return 0;
}

uint32_t AvDisplay(const DriverTable& d, Reader& r) {
    std::optional<int32_t> n = r.number();
    if (!n || *n < 0 || *n > kMaxCount) return 0;
    std::optional<std::string_view> text = r.word();
    std::optional<int32_t> m = text ? r.number() : std::nullopt;
    if (m && d.avdisplayA) d.avdisplayA(0, Text(text->substr(0, static_cast<size_t>(*n))).bytes, *m);
    return 0;
}

uint32_t AvResetDisplay(const DriverTable& d, Reader&) {
    if (d.avresetdisplay) d.avresetdisplay(0);
    return 0;
}

uint32_t AvReset(const DriverTable& d, Reader&) {
    if (d.avreset) d.avreset(0);
    return 0;
}

struct Word {
    std::string_view name;
    Command run;
};

constexpr Word kWords[] = {
    {"PrintText", PrintText},
    {"DrawText", DrawText},
    {"SetFont", SetFont},
    {"DrawLine", DrawLine},
    {"Cls", Cls},
    {"DrawImage", DrawImage},
    {"Scroll", Scroll},
    {"Reset", Reset},
    {"SetOrigin", SetOrigin},
    {"SoundOut", SoundOut},
    {"SoftSoundOut", SoftSoundOut},
    {"TAVSpeak", TAVSpeak},
    {"Set2Splash", Set2Splash},
    {"avdisplay", AvDisplay},
    {"avresetdisplay", AvResetDisplay},
    {"avreset", AvReset},
};

}  // namespace

bool NarrowCommandText(std::u16string_view text, char (&out)[kNarrowCommandBytes]) {
    text = text.substr(0, text.find(u'\0'));
    std::optional<size_t> n;
    try {
        n = tavc::codepage::gbk_from_utf16(text, std::span<char>(out, kNarrowCommandBytes - 1));
    } catch (const std::exception&) {
        n = std::nullopt;  // no converter on this system
    }
    out[n.value_or(0)] = '\0';
    return n.has_value();
}

uint32_t DispatchCommand(const DriverTable& driver, const char* text) {
    if (text == nullptr || strnlen(text, kNarrowCommandBytes) >= kNarrowCommandBytes) return 0;
    Reader frame(text);
    std::optional<std::string_view> word = frame.word();
    if (!word || word->size() > kWordBytes) return 0;
    std::optional<std::string_view> field = frame.counted();
    if (!field) return 0;
    for (const Word& w : kWords) {
        if (w.name != *word) continue;
        Text arguments(*field);
        Reader r(arguments.bytes);
        return w.run(driver, r);
    }
    return 0;
}

}  // namespace corvis
