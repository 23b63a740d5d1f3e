// The agent's identity on the bus and its type library: the class Kel and its one interface IKel, shared
// by the agent and its clients.
#pragma once

#include "com.h"

namespace corvis {

inline constexpr tavc::com::Guid kCorvisAppId{"{698353D8-1B11-4986-AECB-70503C0C0B5D}"};
inline constexpr tavc::com::Guid kKelClassId{"{F56CF838-AF79-4886-B48D-9DEB50718475}"};
inline constexpr tavc::com::Guid kCorvisLibId{"{4B629765-A34B-4941-ACC7-ADA176EA0781}"};
inline constexpr tavc::com::Guid kIKelId{"{CC905F73-CD43-4D73-9527-99F1764D343F}"};

inline constexpr tavc::com::MethodInfo kIKelMethods[] = {{"Execute", 3, "parastr"}};
inline constexpr tavc::com::InterfaceInfo kIKel{"IKel", kIKelId, kIKelMethods};

}  // namespace corvis
