// The client side: a session on the bus, activation through the class object, and object references.
#include <cstring>

#include "com_bus.h"
#include "registry.h"

namespace tavc::com {
using namespace bus;
using registry::Hive;

namespace {

struct Call {
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~Call() {
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
};

// One method call; `append` adds the arguments. Only activation may start a server.
template <typename Append>
int call_method(sd_bus* bus, const char* destination, const char* path, const char* interface,
                const char* member, bool auto_start, std::chrono::milliseconds timeout, Call& call,
                Append append) {
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(bus, &m, destination, path, interface, member);
    if (r < 0) return r;
    if (r = sd_bus_message_set_auto_start(m, auto_start ? 1 : 0); r >= 0) r = append(m);
    if (r >= 0) r = sd_bus_call(bus, m, to_us(timeout), &call.error, &call.reply);
    sd_bus_message_unref(m);
    return r;
}

int no_arguments(sd_bus_message*) {
    return 0;
}

// Whether the bus can start the server of `name`: a class installed for every user of the machine has
// its activation file in a folder of the bus's own and no keys of the user's, as a class registered
// under HKEY_LOCAL_MACHINE has none under the user's key.
bool activatable(sd_bus* bus, const std::string& name) {
    Call call;
    if (call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                    "ListActivatableNames", false, kActivationTimeout, call, no_arguments) < 0 ||
        sd_bus_message_enter_container(call.reply, 'a', "s") < 0)
        return false;
    for (const char* listed = nullptr; sd_bus_message_read(call.reply, "s", &listed) > 0;)
        if (name == listed) return true;
    return false;
}

}  // namespace

Session::Session() = default;
Session::~Session() = default;
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;

HResult Session::open() {
    auto conn = std::make_shared<detail::Connection>();
    if (sd_bus_open_user(&conn->bus) < 0) {
        conn->bus = nullptr;
        return kServerUnavailable;
    }
    conn_ = std::move(conn);
    return kOk;
}

HResult Session::create_instance(const Guid& clsid, const InterfaceInfo& iface, Object& out,
                                 std::chrono::milliseconds timeout) {
    out.release();
    if (!conn_) return kServerUnavailable;
    std::string name = bus_name(clsid);
    if (!registry::key_exists(Hive::ClassesRoot, "CLSID\\" + clsid.braced() + "\\LocalServer32") &&
        !activatable(conn_->bus, name))
        return kClassNotRegistered;
    std::string iid = iface.iid.braced();
    Call call;
    int r = call_method(conn_->bus, name.c_str(), kClassObjectPath, kClassFactoryInterface, "CreateInstance",
                        true, timeout, call,
                        [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", iid.c_str()); });
    if (r < 0) return hresult_of(call.error, kServerExecFailure);
    const char* path = nullptr;
    const char* server = sd_bus_message_get_sender(call.reply);
    if (sd_bus_message_read(call.reply, "o", &path) < 0 || server == nullptr) return kServerExecFailure;
    out.conn_ = conn_;
    out.iface_ = &iface;
    out.server_ = server;
    out.path_ = path;
    return kOk;
}

HResult Session::lock_server(const Guid& clsid, bool lock) {
    if (!conn_) return kServerUnavailable;
    // An unlock goes to the server that took the lock, and never starts one.
    std::string name = lock ? bus_name(clsid) : locked_server_;
    if (name.empty()) return kInvalidArgument;
    Call call;
    int r = call_method(conn_->bus, name.c_str(), kClassObjectPath, kClassFactoryInterface, "LockServer",
                        lock, kActivationTimeout, call,
                        [&](sd_bus_message* m) { return sd_bus_message_append(m, "b", lock ? 1 : 0); });
    if (r < 0) return hresult_of(call.error, lock ? kServerExecFailure : kDisconnected);
    if (lock) {
        const char* server = sd_bus_message_get_sender(call.reply);
        locked_server_ = server != nullptr ? server : "";
    }
    return kOk;
}

Object::Object() = default;
Object::~Object() {
    release();
}
Object::Object(Object&& other) noexcept {
    *this = std::move(other);
}
Object& Object::operator=(Object&& other) noexcept {
    if (this != &other) {
        release();
        conn_ = std::move(other.conn_);
        iface_ = other.iface_;
        server_ = std::move(other.server_);
        path_ = std::move(other.path_);
        other.conn_.reset();
        other.iface_ = nullptr;
    }
    return *this;
}

bool Object::held() const {
    return conn_ != nullptr;
}

HResult Object::invoke(std::string_view method, std::u16string_view text) {
    if (!conn_) return kInvalidArgument;
    const MethodInfo* found = nullptr;
    for (const MethodInfo& info : iface_->methods)
        if (info.name == method) found = &info;
    if (found == nullptr) return kUnknownName;
    std::string interface = interface_bus_name(*iface_);
    std::string member(found->name);
    Call call;
    int r = call_method(conn_->bus, server_.c_str(), path_.c_str(), interface.c_str(), member.c_str(), false,
                        kCallTimeout, call, [&](sd_bus_message* m) {
                            return sd_bus_message_append_array(m, 'q', text.data(),
                                                               text.size() * sizeof(char16_t));
                        });
    return r < 0 ? hresult_of(call.error, kDisconnected) : kOk;
}

HResult Object::get_id_of_name(std::string_view name, int32_t& dispid) {
    const std::string names[] = {std::string(name)};
    std::vector<int32_t> dispids;
    HResult hr = get_ids_of_names(names, dispids);
    if (succeeded(hr)) dispid = dispids.front();
    return hr;
}

HResult Object::get_ids_of_names(std::span<const std::string> names, std::vector<int32_t>& dispids) {
    if (!conn_) return kInvalidArgument;
    std::vector<char*> strv;
    strv.reserve(names.size() + 1);
    for (const std::string& name : names) strv.push_back(const_cast<char*>(name.c_str()));
    strv.push_back(nullptr);
    Call call;
    int r = call_method(conn_->bus, server_.c_str(), path_.c_str(), kDispatchInterface, "GetIDsOfNames",
                        false, kCallTimeout, call,
                        [&](sd_bus_message* m) { return sd_bus_message_append_strv(m, strv.data()); });
    if (r < 0) return hresult_of(call.error, kDisconnected);
    const void* ids = nullptr;
    size_t size = 0;
    if (sd_bus_message_read_array(call.reply, 'i', &ids, &size) < 0 || size != names.size() * sizeof(int32_t))
        return kFail;
    dispids.resize(names.size());
    if (size > 0) std::memcpy(dispids.data(), ids, size);
    return kOk;
}

HResult Object::introspect(std::string& xml) {
    if (!conn_) return kInvalidArgument;
    Call call;
    int r = call_method(conn_->bus, server_.c_str(), path_.c_str(), "org.freedesktop.DBus.Introspectable",
                        "Introspect", false, kCallTimeout, call, no_arguments);
    const char* text = nullptr;
    if (r < 0) return hresult_of(call.error, kDisconnected);
    if (sd_bus_message_read(call.reply, "s", &text) < 0) return kFail;
    xml = text;
    return kOk;
}

HResult Object::release() {
    if (!conn_) return kOk;
    std::shared_ptr<detail::Connection> conn = std::move(conn_);
    conn_.reset();
    Call call;
    int r = call_method(conn->bus, server_.c_str(), path_.c_str(), kUnknownInterface, "Release", false,
                        kCallTimeout, call, no_arguments);
    return r < 0 ? hresult_of(call.error, kDisconnected) : kOk;
}

}  // namespace tavc::com
