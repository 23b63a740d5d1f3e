// The hot-key file beside the program and the conversion of its records into the component's codes.
#pragma once

#include "SysHot.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tavc::assistant {

struct THotKeyRecord {
    int32_t KeyIndex = 0;
    bool Ctrl = false, Alt = false, Shift = false, Win = false;
    std::string Name;  // GBK
    int32_t Kind = 0;
    std::string Command;  // GBK; empty unless Kind is 0
    bool TrailingFlag = false;
};
using THotKeyList = std::vector<std::unique_ptr<THotKeyRecord>>;

// The program's own path with its extension replaced by ".hkd".
std::string HotKeyFilePath();
// The same for a given program path: the extension of the file name (not of a folder) is replaced.
std::string HotKeyFilePathFor(const std::string& program_path);

// Appends the file's records to `list`, in file order; throws HandlerError. Records read completely
// before a failure stay in the list.
void LoadHotKeyFile(THotKeyList& list);
void LoadHotKeyFile(THotKeyList& list, const std::string& path);

THotKeyCode HotKeyIndexToKey(int32_t key_index);
THotKeyModifiers HotKeyModifiers(const THotKeyRecord& record);

inline constexpr int HotKeyIndexCount = 95;

// Names of the file's key indices (95, ASCII), of the actions (4) and of False/True (2); GBK.
std::span<const std::string> KeyNames();
std::span<const std::string> ActionNames();
std::span<const std::string> YesNoNames();

}  // namespace tavc::assistant
