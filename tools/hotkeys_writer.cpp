// Writes a hot-key file for the assistant program from a readable list, for people who prepare the file
// beside tavcclt without the editor it was once made with.
#include "codepage.h"
#include "file_io.h"
#include "hkutils.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tavc::assistant::KeyNames;
using tavc::assistant::THotKeyRecord;

constexpr char kUsage[] =
    "usage: tavc-hotkeys OUTPUT [LIST]    writes OUTPUT from LIST (standard input without LIST)\n"
    "       tavc-hotkeys --default OUTPUT  writes the five bindings Win+1 to Win+5\n"
    "\n"
    "LIST holds one hot key a line, fields separated by '|':\n"
    "  name|kind|command|modifiers|key[|flag]\n"
    "  name       any text (UTF-8); the program does not show it\n"
    "  kind       0 command, 1 amount received, 2 change, 3 exit\n"
    "  command    for kind 0: empty (welcome and amount due), PJ (rating request) or a sound command;\n"
    "             empty for the other kinds\n"
    "  modifiers  any of ctrl alt shift win, separated by blanks, or nothing\n"
    "  key        a key name (Backspace Tab Return Pause Capslock Escape Space PgUp PgDn Home End\n"
    "             \"Left Arrow\" \"Up Arrow\" \"Right Arrow\" \"Down Arrow\" PrintScreen Insert Delete 0-9 "
    "A-Z\n"
    "             \"Num 0\"-\"Num 9\" \"Num *\" \"Num +\" \"Num -\" \"Num .\" \"Num /\" F1-F24 Numlock "
    "Scrolllock)\n"
    "             or its index 0-94 in that list\n"
    "  flag       0 or 1, default 0; kept in the file, the program does not use it\n"
    "Empty lines and lines starting with '#' are skipped. Example:  rating|0|PJ|win|4\n";

// Default bindings: Win+1 welcome and amount due, Win+2 amount received, Win+3 change, Win+4 rating
// request, Win+5 exit question.
constexpr char kDefaultList[] =
    "|0||win|1\n"
    "|1||win|2\n"
    "|2||win|3\n"
    "|0|PJ|win|4\n"
    "|3||win|5\n";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<int32_t> Number(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator)) fields.push_back(field);
    if (!line.empty() && line.back() == separator) fields.emplace_back();
    return fields;
}

// One line of the list as a record; an error text when it is not one.
std::optional<std::string> ParseLine(const std::string& line, THotKeyRecord& record) {
    std::vector<std::string> fields = Split(line, '|');
    if (fields.size() != 5 && fields.size() != 6) return "expected 5 or 6 fields separated by '|'";
    record.Name = tavc::codepage::gbk_from_utf8(fields[0]);
    std::optional<int32_t> kind = Number(fields[1]);
    if (!kind || *kind > 3) return "kind must be 0, 1, 2 or 3";
    record.Kind = *kind;
    if (record.Kind != 0 && !fields[2].empty()) return "only kind 0 has a command";
    record.Command = tavc::codepage::gbk_from_utf8(fields[2]);
    for (const std::string& word : Split(fields[3], ' ')) {
        std::string w = Lower(word);
        if (w == "ctrl") {
            record.Ctrl = true;
        } else if (w == "alt") {
            record.Alt = true;
        } else if (w == "shift") {
            record.Shift = true;
        } else if (w == "win") {
            record.Win = true;
        } else if (!w.empty()) {
            return "unknown modifier \"" + word + "\"";
        }
    }
    auto names = KeyNames();
    std::optional<int32_t> index;
    for (size_t i = 0; i < names.size() && !index; ++i)
        if (Lower(names[i]) == Lower(fields[4])) index = static_cast<int32_t>(i);
    if (!index) index = Number(fields[4]);
    if (!index || *index >= static_cast<int32_t>(names.size())) return "unknown key \"" + fields[4] + "\"";
    record.KeyIndex = *index;
    if (fields.size() == 6 && fields[5] != "0" && fields[5] != "1") return "flag must be 0 or 1";
    record.TrailingFlag = fields.size() == 6 && fields[5] == "1";
    return std::nullopt;
}

void PutString(std::string& out, const std::string& gbk) {
    if (gbk.size() <= 255) {
        out += '\x06';
        out += static_cast<char>(gbk.size());
    } else {
        out += '\x0C';
        for (int i = 0; i < 4; ++i) out += static_cast<char>(gbk.size() >> (8 * i) & 0xFF);
    }
    out += gbk;
}

void PutInteger(std::string& out, int32_t value) {
    if (value >= -128 && value <= 127) {
        out += '\x02';
        out += static_cast<char>(value);
    } else {
        out += '\x04';
        for (int i = 0; i < 4; ++i) out += static_cast<char>(static_cast<uint32_t>(value) >> (8 * i) & 0xFF);
    }
}

void PutBoolean(std::string& out, bool value) {
    out += value ? '\x09' : '\x08';
}

std::string FileBytes(const std::vector<THotKeyRecord>& records) {
    std::string out;
    PutString(out, "");
    out += '\x01';
    for (const THotKeyRecord& r : records) {
        PutString(out, r.Name);
        PutInteger(out, r.Kind);
        if (r.Kind == 0) PutString(out, r.Command);
        for (bool flag : {r.Ctrl, r.Alt, r.Shift, r.Win}) PutBoolean(out, flag);
        PutInteger(out, r.KeyIndex);
        PutBoolean(out, r.TrailingFlag);
    }
    out += '\x00';
    return out;
}

int Write(const std::string& output, std::istream& list, const std::string& list_name) {
    std::vector<THotKeyRecord> records;
    std::string line;
    for (int number = 1; std::getline(list, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        THotKeyRecord record;
        if (std::optional<std::string> error = ParseLine(line, record)) {
            std::fprintf(stderr, "%s:%d: %s\n", list_name.c_str(), number, error->c_str());
            return 1;
        }
        records.push_back(record);
    }
    if (!tavc::file_io::replace_file(output, FileBytes(records), 0644)) {
        std::fprintf(stderr, "cannot write %s: %s\n", output.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("%s: %zu hot keys\n", output.c_str(), records.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args.size() > 2 || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.size() == 1 ? stdout : stderr);
        return args.size() == 1 ? 0 : 2;
    }
    if (args[0] == "--default") {
        if (args.size() != 2) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        std::istringstream list(kDefaultList);
        return Write(args[1], list, "default list");
    }
    if (args.size() == 1) return Write(args[0], std::cin, "standard input");
    std::ifstream list(args[1]);
    if (!list) {
        std::fprintf(stderr, "cannot read %s\n", args[1].c_str());
        return 1;
    }
    return Write(args[0], list, args[1]);
}
