#include "server_shell.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "agent_module.h"
#include "codepage.h"
#include "kel_typelib.h"
#include "module.h"
#include "text.h"

namespace corvis {
namespace {

namespace com = tavc::com;
using com::KeyRule;
using com::ScriptKey;
using com::ScriptValue;

#define KEL_CLASS_KEY "CLSID\\" KEL_CLSID

// Script 100: the AppID.
constexpr ScriptValue kAppIdName[] = {{"", "corvis"}};
constexpr ScriptValue kAppIdOfExe[] = {{"AppID", CORVIS_APPID}};
constexpr ScriptKey kAppIdScript[] = {
    {"AppID", KeyRule::NoRemove, {}},
    {"AppID\\" CORVIS_APPID, KeyRule::Normal, kAppIdName},
    {"AppID\\corvis.EXE", KeyRule::Normal, kAppIdOfExe},
};

// Script 101: the class.
constexpr ScriptValue kClassName[] = {{"", "Kel Class"}};
constexpr ScriptValue kClassIdValue[] = {{"", KEL_CLSID}};
constexpr ScriptValue kCurVer[] = {{"", "Corvis.Kel.1"}};
constexpr ScriptValue kClassKeyValues[] = {{"", "Kel Class"}, {"AppID", CORVIS_APPID}};
constexpr ScriptValue kProgId[] = {{"", "Corvis.Kel.1"}};
constexpr ScriptValue kIndependentProgId[] = {{"", "Corvis.Kel"}};
constexpr ScriptValue kLocalServer[] = {{"", "%MODULE%"}};
constexpr ScriptValue kTypeLib[] = {{"", CORVIS_LIBID}};
constexpr ScriptKey kClassScript[] = {
    {"Corvis.Kel.1", KeyRule::Normal, kClassName},
    {"Corvis.Kel.1\\CLSID", KeyRule::Normal, kClassIdValue},
    {"Corvis.Kel", KeyRule::Normal, kClassName},
    {"Corvis.Kel\\CLSID", KeyRule::Normal, kClassIdValue},
    {"Corvis.Kel\\CurVer", KeyRule::Normal, kCurVer},
    {"CLSID", KeyRule::NoRemove, {}},
    {KEL_CLASS_KEY, KeyRule::ForceRemove, kClassKeyValues},
    {KEL_CLASS_KEY "\\ProgID", KeyRule::Normal, kProgId},
    {KEL_CLASS_KEY "\\VersionIndependentProgID", KeyRule::Normal, kIndependentProgId},
    {KEL_CLASS_KEY "\\Programmable", KeyRule::ForceRemove, {}},
    {KEL_CLASS_KEY "\\LocalServer32", KeyRule::Normal, kLocalServer},
    {KEL_CLASS_KEY "\\TypeLib", KeyRule::Normal, kTypeLib},
};

// A server that no activation reaches (started by hand, or its activating client died before its
// call arrived) would wait for a release forever: it holds a lock of its own until the first
// activation, or until a client would have given up waiting for it.
constexpr auto kStartupGrace = com::kActivationTimeout;

std::string ModulePath() {
    return tavc::module::executable_path().value_or(std::string());
}

// The process state of a server run. It is never destroyed: the detached worker may still be returning
// from post_quit while the process ends.
struct ServerRun {
    AgentModule module;
    std::unique_ptr<com::Server> server;
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> quit_requested{false};
    bool startup_lock = false;
    bool revoked_told = false;

    void end_startup_lock() {
        if (!startup_lock) return;
        startup_lock = false;
        ReleaseServerLock(module);
    }

    void tell_revoked() {
        if (revoked_told) return;
        revoked_told = true;
        NotifyClassRevoked(module);
    }

    com::ServerHandlers handlers() {
        com::ServerHandlers h;
        h.add_lock = [this] {
            AddServerLock(module);
            end_startup_lock();
        };
        h.release_lock = [this] { ReleaseServerLock(module); };
        h.invoke = [this](size_t, std::u16string_view text) {
            switch (Execute(module, text.data(), text.size())) {
                case ExecuteResult::Stored:
                    return com::kOk;
                case ExecuteResult::RingFull:
                    return com::kOutOfMemory;
                case ExecuteResult::TooLong:
                    return com::kInvalidArgument;
            }
            return com::kFail;
        };
        h.woken = [this] {
            if (stop_requested.exchange(false)) {
                server->revoke_class_object();
                tell_revoked();
            }
            if (quit_requested.load()) server->quit();
        };
        h.timer = [this] { end_startup_lock(); };
        h.disconnected = [this] { tell_revoked(); };
        return h;
    }
};

}  // namespace

const char* NextSwitchToken(const char* text, const char* switches) {
    if (text == nullptr) return nullptr;
    while (*text != '\0') {
        const unsigned char c = static_cast<unsigned char>(*text);
        if (std::strchr(switches, c) != nullptr) return text + 1;
        // As CharNext steps on code page 936: a lead byte takes any byte but the end along, without the
        // trail-byte check of codepage::gbk_char_length, so "\x81-RegServer" holds no switch.
        text += tavc::codepage::is_gbk_lead_byte(c) && text[1] != '\0' ? 2 : 1;
    }
    return nullptr;
}

ShellMode ScanCommandLine(const char* line) {
    for (const char* token = NextSwitchToken(line, "-/"); token != nullptr;
         token = NextSwitchToken(token, "-/")) {
        if (tavc::text::iequal(token, "UnregServer")) return ShellMode::Unregister;
        if (tavc::text::iequal(token, "RegServer")) return ShellMode::Register;
    }
    return ShellMode::Serve;
}

std::string ProcessCommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!line.empty() && line.back() == '\0') line.pop_back();
    for (char& c : line)
        if (c == '\0') c = ' ';
    return tavc::codepage::gbk_from_utf8(line);
}

com::HResult UpdateClassRegistration(bool registering, const std::string& module_path) {
    if (!registering) {
        com::HResult hr = com::apply_registry_script(kClassScript, false, module_path);
        com::HResult file = com::unregister_activation(kKelClassId);
        return com::failed(hr) ? hr : file;
    }
    if (module_path.empty()) return com::kRegistryWriteFailed;
    com::HResult hr = com::apply_registry_script(kClassScript, true, module_path);
    if (com::succeeded(hr)) hr = com::register_activation(kKelClassId, module_path);
    return hr;
}

int RegisterServer() {
    const std::string module_path = ModulePath();
    com::apply_registry_script(kAppIdScript, true, module_path);
    // The type library is served by every object as its introspection data: nothing to store for it.
    // An HRESULT does not fit an exit status, and its low byte alone could read as success.
    return com::succeeded(UpdateClassRegistration(true, module_path)) ? 0 : 1;
}

int UnregisterServer() {
    const std::string module_path = ModulePath();
    com::apply_registry_script(kAppIdScript, false, module_path);
    UpdateClassRegistration(false, module_path);
    return 0;
}

int RunServer() {
    static ServerRun& run = *new ServerRun;
    if (com::failed(com::Server::open(kKelClassId, kIKel, run.handlers(), run.server))) return 1;
    run.module.request_stop = [] {
        run.stop_requested.store(true);
        run.server->wake();
    };
    run.module.post_quit = [] {
        run.quit_requested.store(true);
        run.server->wake();
    };
    run.startup_lock = true;
    AddServerLock(run.module);
    if (!StartCommandWorker(run.module)) return 1;
    if (com::failed(run.server->register_class_object())) {
        // Without the class the worker has nothing to wait for: let it end, then fail.
        run.tell_revoked();
        run.end_startup_lock();
        run.server->run();
        return 1;
    }
    run.server->set_timer(kStartupGrace);
    run.server->run();
    // No pause before the end: the class was revoked before the quit, and the revocation handled every
    // call the bus had routed here; a later activation starts a new server, and the loop flushed the
    // last replies. A pause would only keep a process that serves nothing alive.
    return 0;
}

}  // namespace corvis
