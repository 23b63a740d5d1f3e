// Numbers written with ASCII digits and points inside a GBK text, read as Chinese number words.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavc::voxcat {

namespace numerals {
extern const char* const kDigits[10];
extern const char kTen[];
extern const char kHundred[];
extern const char kThousand[];
extern const char kTenThousand[];
extern const char kHundredMillion[];
extern const char kPoint[];
extern const char kLoneTwo[];
}  // namespace numerals

// The first run of digits and points in text: start is the index of its first byte, end the index just
// behind its last. False when the text holds no digit and no point.
bool FindNumberRun(std::string_view text, size_t& start, size_t& end);

// Appends the word of one code character: a digit's word, 's' 十, 'b' 百, 'q' 千, 'w' 万, any other
// character 点.
std::string& AppendNumeralWord(std::string& words, char code);

// Appends the reading of an integer part (digits, and points when a run holds several). Up to 16
// characters are read in groups of four from the right with the units 万, 亿 and 万亿; longer parts are
// read character by character.
void AppendIntegerReading(std::string_view digits, std::string& words);

// The GBK words of one number run: the integer part before its last point, then the point and each
// character behind it one by one. A run whose reading would be empty (0, 00) reads 零.
std::string ReadNumberRun(std::string_view run);

}  // namespace tavc::voxcat
