// A local COM server and its clients on the session bus (sd-bus).
//
// Naming on the bus, all derived from the class id so that one registration serves every client:
// - bus name of a class: "tavc.com.Class_" + the 32 hex digits of its class id, upper case
//   ("tavc.com.Class_F56CF838AF794886B48D9DEB50718475"); owning it is the class object's registration.
// - class object: path "/tavc/com/ClassObject", interface "tavc.com.ClassFactory":
//   CreateInstance(s iid) -> o path, LockServer(b lock).
// - each object: path "/tavc/com/Object/<n>", interfaces "tavc.com.Unknown" (Release()),
//   "tavc.com.Dispatch" (GetTypeInfoCount() -> u, GetIDsOfNames(as names) -> ai dispids) and
//   "tavc.com.<interface name>" with one method per MethodInfo, taking its text as "aq" (UTF-16 code
//   units, carried unit for unit). The introspection data of the object is the type library.
// - a failure HRESULT travels as the bus error "tavc.com.Error.HRESULT_<8 hex digits>".
//
// An object is held by the client connection that created it: Release by that client, or the client
// leaving the bus, destroys it; so a client that dies cannot keep a server alive.
// Registration writes the class keys under HKEY_CLASSES_ROOT (registry facility) and the activation file
// $XDG_DATA_HOME/dbus-1/services/<bus name>.service (XDG_DATA_HOME defaults to ~/.local/share). A class
// installed for every user has only its activation file, in a folder the bus reads for the whole system
// (/usr/share/dbus-1/services).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavc::com {

using HResult = int32_t;

inline constexpr HResult kOk = 0;
inline constexpr HResult kFail = static_cast<HResult>(0x80004005);                 // E_FAIL
inline constexpr HResult kNoInterface = static_cast<HResult>(0x80004002);          // E_NOINTERFACE
inline constexpr HResult kInvalidArgument = static_cast<HResult>(0x80070057);      // E_INVALIDARG
inline constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);          // E_OUTOFMEMORY
inline constexpr HResult kAccessDenied = static_cast<HResult>(0x80070005);         // E_ACCESSDENIED
inline constexpr HResult kClassNotRegistered = static_cast<HResult>(0x80040154);   // REGDB_E_CLASSNOTREG
inline constexpr HResult kRegistryWriteFailed = static_cast<HResult>(0x80040151);  // REGDB_E_WRITEREGDB
inline constexpr HResult kServerExecFailure = static_cast<HResult>(0x80080005);    // CO_E_SERVER_EXEC_FAILURE
inline constexpr HResult kServerStopping = static_cast<HResult>(0x80080006);       // CO_E_SERVER_STOPPING
inline constexpr HResult kServerUnavailable = static_cast<HResult>(0x800706BA);    // no session bus
inline constexpr HResult kDisconnected = static_cast<HResult>(0x80010108);         // RPC_E_DISCONNECTED
inline constexpr HResult kUnknownName = static_cast<HResult>(0x80020006);          // DISP_E_UNKNOWNNAME
inline constexpr HResult kClassAlreadyOwned = static_cast<HResult>(0x800401FB);    // CO_E_OBJISREG

constexpr bool succeeded(HResult hr) {
    return hr >= 0;
}
constexpr bool failed(HResult hr) {
    return hr < 0;
}

// Time a client waits for a registered server to be started and to answer its activation: far below the
// bus's own 25 s, since a server that hangs or exits without taking its name gives no error.
inline constexpr std::chrono::milliseconds kActivationTimeout{5000};
// Time a client waits for any other call.
inline constexpr std::chrono::milliseconds kCallTimeout{5000};

// GetIDsOfNames asks for a member's name and then its parameters' names; every method takes one text,
// so no call that could be answered holds more names than this.
inline constexpr size_t kMaxNamesPerCall = 2;

// Objects and server locks that one client connection may hold in a server at a time; a further
// activation or lock is refused with kOutOfMemory. A client needs one at a time: the bound keeps one
// client from taking the server's memory.
inline constexpr size_t kHoldingsPerClient = 64;

// A class, interface or library id. Constant ones are written "{8-4-4-4-12}" and checked at compile time.
class Guid {
  public:
    constexpr explicit Guid(std::string_view braced) : hex_(parse_hex(braced)) {}
    static std::optional<Guid> parse(std::string_view braced);

    std::string braced() const;  // "{F56CF838-AF79-4886-B48D-9DEB50718475}", upper case
    std::string_view hex() const { return {hex_.data(), hex_.size()}; }  // 32 upper-case hex digits

    friend constexpr bool operator==(const Guid&, const Guid&) = default;

  private:
    static constexpr std::array<char, 32> parse_hex(std::string_view s) {
        std::array<char, 32> out{};
        if (s.size() != 38 || s.front() != '{' || s.back() != '}') throw std::invalid_argument("guid");
        size_t n = 0;
        for (size_t i = 1; i < 37; ++i) {
            char c = s[i];
            if (i == 9 || i == 14 || i == 19 || i == 24) {
                if (c != '-') throw std::invalid_argument("guid");
                continue;
            }
            if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
            if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) throw std::invalid_argument("guid");
            out[n++] = c;
        }
        return out;
    }
    std::array<char, 32> hex_;
};

inline constexpr Guid kIidUnknown{"{00000000-0000-0000-C000-000000000046}"};
inline constexpr Guid kIidDispatch{"{00020400-0000-0000-C000-000000000046}"};

// ---- Type library: a dual interface whose methods each take one text --------------------------------------

struct MethodInfo {
    std::string_view name;       // "Execute"
    int32_t dispid;              // 3
    std::string_view parameter;  // "parastr"
};

struct InterfaceInfo {
    std::string_view name;  // "IKel"; the bus interface is "tavc.com." + name
    Guid iid;
    std::span<const MethodInfo> methods;
};

std::string bus_name(const Guid& clsid);
std::string interface_bus_name(const InterfaceInfo& iface);

// ---- Registration -----------------------------------------------------------------------------------------

enum class KeyRule {
    Normal,       // created on registration, deleted with its subtree on unregistration
    ForceRemove,  // like Normal, but deleted with its subtree before it is created again
    NoRemove,     // created on registration, never deleted
};

struct ScriptValue {
    std::string_view name;  // "" for the key's default value
    std::string_view data;  // a string value; "%MODULE%" stands for the server's absolute path
};

// One key of a registration script, relative to HKEY_CLASSES_ROOT; a parent comes before its subkeys.
struct ScriptKey {
    std::string_view path;
    KeyRule rule;
    std::span<const ScriptValue> values;
};

using RegistryScript = std::span<const ScriptKey>;

// Applies `script` in registration (true) or unregistration mode. kRegistryWriteFailed when a key or
// value could not be written or deleted.
HResult apply_registry_script(RegistryScript script, bool registering, std::string_view module_path);

// The bus activation file of a class: its name and text (Exec = server_path), where the user's lives, and
// writing or removing that one. An installation writes the same text into the system's folder.
std::string activation_file_name(const Guid& clsid);
std::string activation_text(const Guid& clsid, std::string_view server_path);
std::string activation_file(const Guid& clsid);
HResult register_activation(const Guid& clsid, std::string_view server_path);
HResult unregister_activation(const Guid& clsid);

// ---- Client -----------------------------------------------------------------------------------------------

namespace detail {
struct Connection;
}

class Object;

// One client connection to the session bus, held for the duration of one use (COM initialisation).
class Session {
  public:
    Session();
    ~Session();
    Session(Session&&) noexcept;
    Session& operator=(Session&&) noexcept;

    // kServerUnavailable when there is no session bus (neither DBUS_SESSION_BUS_ADDRESS nor
    // XDG_RUNTIME_DIR, or nothing listening).
    HResult open();

    // Asks the class object of a registered class for a new object with the interface `iface`; the bus
    // starts the server when none runs. A class is registered when it has its LocalServer32 key or, as
    // one installed for every user has, an activation file the bus reads (ListActivatableNames).
    // kClassNotRegistered at once when it is neither; kServerExecFailure when the server cannot be started or
    // does not answer within `timeout`.
    HResult create_instance(const Guid& clsid, const InterfaceInfo& iface, Object& out,
                            std::chrono::milliseconds timeout = kActivationTimeout);

    // Class object server locks (LockServer), held by this connection.
    HResult lock_server(const Guid& clsid, bool lock);

  private:
    std::shared_ptr<detail::Connection> conn_;
    std::string locked_server_;  // where this connection's server lock is held
};

// A reference to a server's object; released by release() or when destroyed.
class Object {
  public:
    Object();
    ~Object();
    Object(Object&&) noexcept;
    Object& operator=(Object&&) noexcept;

    bool held() const;
    // Calls the method of the object's interface named `method` with `text`, unit for unit.
    HResult invoke(std::string_view method, std::u16string_view text);
    // The dispatch id of a method name (compared without regard to case); kUnknownName if none.
    HResult get_id_of_name(std::string_view name, int32_t& dispid);
    // The dispatch ids of `names` (each compared like get_id_of_name), one for each; kUnknownName if any
    // is not known, kInvalidArgument for more than kMaxNamesPerCall.
    HResult get_ids_of_names(std::span<const std::string> names, std::vector<int32_t>& dispids);
    // The object's introspection data (the type library as the bus shows it).
    HResult introspect(std::string& xml);
    HResult release();

  private:
    friend class Session;
    std::shared_ptr<detail::Connection> conn_;
    const InterfaceInfo* iface_ = nullptr;
    std::string server_;  // the server's unique bus name: later calls never start a server
    std::string path_;
};

// ---- Server -----------------------------------------------------------------------------------------------

// Called on the thread that runs the server loop.
struct ServerHandlers {
    std::function<void()> add_lock;      // an object was created, or LockServer(true)
    std::function<void()> release_lock;  // an object or lock ended: Release, unlock, or its client left
    // A call of iface.methods[method]; the text points into the bus message.
    std::function<HResult(size_t method, std::u16string_view text)> invoke;
    std::function<void()> woken;  // after wake()
    std::function<void()> timer;  // once, after set_timer's delay
    // The bus connection was lost: every object and lock has been ended; the class counts as revoked.
    std::function<void()> disconnected;
};

class Server {
  public:
    ~Server();

    // Connects to the session bus. kServerUnavailable when there is none.
    static HResult open(const Guid& clsid, const InterfaceInfo& iface, ServerHandlers handlers,
                        std::unique_ptr<Server>& out);

    // Takes the class's bus name, so that activations reach this server. kClassAlreadyOwned when
    // another server holds it.
    HResult register_class_object();
    // Releases the bus name, then handles every call the bus had already routed to this server; later
    // activations go to a new server, and any that still reach this one are refused.
    void revoke_class_object();

    // The server loop: handles bus calls, wake-ups and the timer until quit(); flushes on the way out.
    void run();
    void quit();
    // From any thread: makes the loop call handlers.woken. Never allocates.
    void wake();
    void set_timer(std::chrono::milliseconds delay);

  private:
    struct Impl;
    explicit Server(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace tavc::com
