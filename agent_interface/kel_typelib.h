// The agent's identity on the bus and its type library: the class Kel and its one interface IKel, shared
// by the agent and its clients. The bus name of the class is tavc::com::bus_name(kKelClassId).
#pragma once

#include "com.h"

// The ids as text as well, for the registration scripts that spell them inside key paths.
#define CORVIS_APPID "{698353D8-1B11-4986-AECB-70503C0C0B5D}"
#define KEL_CLSID "{F56CF838-AF79-4886-B48D-9DEB50718475}"
#define CORVIS_LIBID "{4B629765-A34B-4941-ACC7-ADA176EA0781}"

namespace corvis {

inline constexpr tavc::com::Guid kCorvisAppId{CORVIS_APPID};
inline constexpr tavc::com::Guid kKelClassId{KEL_CLSID};
inline constexpr tavc::com::Guid kCorvisLibId{CORVIS_LIBID};
inline constexpr tavc::com::Guid kIKelId{"{CC905F73-CD43-4D73-9527-99F1764D343F}"};

inline constexpr tavc::com::MethodInfo kIKelMethods[] = {{"Execute", 3, "parastr"}};
inline constexpr tavc::com::InterfaceInfo kIKel{"IKel", kIKelId, kIKelMethods};

}  // namespace corvis
