#include "number_reading.h"

namespace tavc::voxcat {
namespace {

constexpr size_t kLongestGroupedPart = 16;

bool is_number_byte(char c) {
    return (c >= '0' && c <= '9') || c == '.';
}

// The unit codes of the thousands, hundreds and tens places of a group of four.
constexpr char kPlaceUnits[3] = {'q', 'b', 's'};

// One group of up to four characters, right-aligned in the places 千, 百, 十 and units. `first` marks
// the number's highest non-zero group, where 十 alone stands for 一十 and a lone 2 is 两.
void AppendGroupReading(std::string_view group, bool first, bool lone_units, std::string& words) {
    char places[4] = {'0', '0', '0', '0'};
    for (size_t i = 0; i < group.size(); ++i) places[4 - group.size() + i] = group[i];
    int start = 0;
    while (start < 3 && places[start] == '0') ++start;
    for (int p = start; p < 3; ++p) {
        char c = places[p];
        if (c == '0') {
            // A run of zeros reads one 零 before the next non-zero place, none at the group's end.
            if (places[p + 1] != '0') AppendNumeralWord(words, '0');
        } else if (c == '1' && p == 2 && p == start && first) {
            AppendNumeralWord(words, 's');
        } else {
            AppendNumeralWord(words, c);
            AppendNumeralWord(words, kPlaceUnits[p]);
        }
    }
    char units = places[3];
    if (units == '2' && start == 3 && lone_units) {
        words += numerals::kLoneTwo;
    } else if (units != '0') {
        AppendNumeralWord(words, units);
    }
}

}  // namespace

bool FindNumberRun(std::string_view text, size_t& start, size_t& end) {
    size_t i = 0;
    while (i < text.size() && !is_number_byte(text[i])) ++i;
    if (i == text.size()) return false;
    start = i;
    while (i < text.size() && is_number_byte(text[i])) ++i;
    end = i;
    return true;
}

std::string& AppendNumeralWord(std::string& words, char code) {
    if (code >= '0' && code <= '9') return words += numerals::kDigits[code - '0'];
    switch (code) {
        case 's':
            return words += numerals::kTen;
        case 'b':
            return words += numerals::kHundred;
        case 'q':
            return words += numerals::kThousand;
        case 'w':
            return words += numerals::kTenThousand;
        default:
            return words += numerals::kPoint;
    }
}

void AppendIntegerReading(std::string_view digits, std::string& words) {
    if (digits.size() > kLongestGroupedPart) {
        for (char c : digits) AppendNumeralWord(words, c);
        return;
    }
    // Groups of four from the right; the highest group may be shorter.
    size_t groups = (digits.size() + 3) / 4;
    size_t first_length = digits.size() - (groups - 1) * 4;
    bool seen_nonzero = false;
    bool zero_since = false;  // a whole zero group lies between the last non-zero group and this one
    for (size_t g = 0; g < groups; ++g) {
        size_t from = g == 0 ? 0 : first_length + (g - 1) * 4;
        std::string_view group = digits.substr(from, g == 0 ? first_length : 4);
        size_t level = groups - 1 - g;  // 0 units, 1 万, 2 亿, 3 万亿
        if (group.find_first_not_of('0') == std::string_view::npos) {
            zero_since = seen_nonzero;
            continue;
        }
        if (seen_nonzero && (zero_since || group.front() == '0')) AppendNumeralWord(words, '0');
        bool lone_units = level == 0 && !seen_nonzero;
        AppendGroupReading(group, !seen_nonzero, lone_units, words);
        if (level == 1 || level == 3) AppendNumeralWord(words, 'w');
        // 万亿 shares its 亿 with a non-zero 亿 group behind it: 一千万五千亿.
        bool yi_follows = level == 3 && digits.substr(from + group.size(), 4).find_first_not_of('0') !=
                                            std::string_view::npos;
        if (level == 2 || (level == 3 && !yi_follows)) words += numerals::kHundredMillion;
        seen_nonzero = true;
        zero_since = false;
    }
}

std::string ReadNumberRun(std::string_view run) {
    std::string words;
    size_t point = run.rfind('.');
    AppendIntegerReading(run.substr(0, point), words);
    if (point != std::string_view::npos) {
        for (char c : run.substr(point)) AppendNumeralWord(words, c);
    }
    if (words.empty()) AppendNumeralWord(words, '0');
    return words;
}

}  // namespace tavc::voxcat
