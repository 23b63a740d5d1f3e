// The server side: the class object, the objects and locks each held by one client connection, and the
// loop that serves the bus, wake-ups and the timer.
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <vector>

#include "clock.h"
#include "com_bus.h"
#include "event.h"
#include "timing.h"

namespace tavc::com {
using namespace bus;

struct Server::Impl {
    // An object, or a server lock, held by one client connection.
    struct Holding {
        Impl* server = nullptr;
        uint64_t id = 0;
        std::string owner;  // the client's unique bus name
        std::string path;   // empty for a server lock
        std::vector<sd_bus_slot*> slots;
        bool ending = false;

        ~Holding() {
            for (sd_bus_slot* slot : slots) sd_bus_slot_unref(slot);
        }
    };

    sd_bus* bus = nullptr;
    Guid clsid{kIidUnknown};
    const InterfaceInfo* iface = nullptr;
    ServerHandlers handlers;
    std::string name;
    std::string iface_name;
    std::vector<std::string> members;  // NUL-terminated names for the vtable
    std::vector<std::string> params;
    std::vector<sd_bus_vtable> iface_vtable;
    sd_bus_slot* class_slot = nullptr;
    // One match for every client's departure: the bus allows a connection only so many matches, and
    // one refused match closes the connection.
    sd_bus_slot* departures_slot = nullptr;
    std::map<uint64_t, std::unique_ptr<Holding>> holdings;
    std::map<std::string, size_t, std::less<>> held_by;  // holdings per client
    std::vector<uint64_t> ended;  // ended inside a bus callback, finished once the callback is over
    uint64_t next_id = 1;
    event::AutoResetEvent wake;
    bool connected = true;
    bool revoked = false;
    bool quitting = false;
    uint64_t timer_due_us = 0;  // 0: no timer

    ~Impl() {
        holdings.clear();
        sd_bus_slot_unref(class_slot);
        sd_bus_slot_unref(departures_slot);
        sd_bus_flush_close_unref(bus);
    }

    static Holding* holding_of(void* userdata) { return static_cast<Holding*>(userdata); }

    // A new holding for the sender of `m`; it ends when the sender leaves the bus.
    HResult hold(sd_bus_message* m, bool object, Holding*& out) {
        const char* sender = sd_bus_message_get_sender(m);
        if (sender == nullptr) return kAccessDenied;
        auto counted = held_by.find(std::string_view(sender));
        if (counted != held_by.end() && counted->second >= kHoldingsPerClient) return kOutOfMemory;
        // The departures match is in place, so a client that is still there now will be seen to leave;
        // one that left before could not be.
        if (counted == held_by.end() && !still_there(sender)) return kDisconnected;
        auto h = std::make_unique<Holding>();
        h->server = this;
        h->id = next_id++;
        h->owner = sender;
        if (object) {
            h->path = kObjectPathPrefix + std::to_string(h->id);
            const std::pair<const char*, const sd_bus_vtable*> tables[] = {
                {kUnknownInterface, kUnknownVtable},
                {kDispatchInterface, kDispatchVtable},
                {iface_name.c_str(), iface_vtable.data()}};
            for (const auto& [interface, vtable] : tables) {
                sd_bus_slot* slot = nullptr;
                if (sd_bus_add_object_vtable(bus, &slot, h->path.c_str(), interface, vtable, h.get()) < 0)
                    return kFail;
                h->slots.push_back(slot);
            }
        }
        out = h.get();
        ++held_by[h->owner];
        holdings.emplace(h->id, std::move(h));
        handlers.add_lock();
        return kOk;
    }

    bool still_there(const char* client) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        int there = 0;
        if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &error, &reply, "s", client) < 0 ||
            sd_bus_message_read(reply, "b", &there) < 0)
            there = 0;
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return there != 0;
    }

    void end_later(Holding* h) {
        if (h->ending) return;
        h->ending = true;
        ended.push_back(h->id);
    }

    void finish_ended() {
        while (!ended.empty()) {
            uint64_t id = ended.back();
            ended.pop_back();
            auto found = holdings.find(id);
            if (found == holdings.end()) continue;
            auto counted = held_by.find(found->second->owner);
            if (--counted->second == 0) held_by.erase(counted);
            holdings.erase(found);
            handlers.release_lock();
        }
    }

    void lose_bus() {
        connected = false;
        revoked = true;
        for (auto& [id, h] : holdings) end_later(h.get());
        finish_ended();
        handlers.disconnected();
    }

    // Handles what the bus connection has to offer without waiting; false when the bus is gone.
    bool process_pending() {
        for (;;) {
            int r = sd_bus_process(bus, nullptr);
            finish_ended();
            if (r < 0 || sd_bus_is_open(bus) <= 0) return false;
            if (r == 0) return true;
        }
    }

    static bool from_owner(sd_bus_message* m, const Holding* h) {
        const char* sender = sd_bus_message_get_sender(m);
        return sender != nullptr && h->owner == sender && !h->ending;
    }

    // NameOwnerChanged(name, old owner, new owner) of a name that lost its owner.
    static int on_departure(sd_bus_message* m, void* userdata, sd_bus_error*) {
        Impl* s = static_cast<Impl*>(userdata);
        const char* client = nullptr;
        if (sd_bus_message_read(m, "s", &client) < 0 || !s->held_by.contains(std::string_view(client)))
            return 0;
        for (auto& [id, h] : s->holdings)
            if (h->owner == client) s->end_later(h.get());
        return 0;
    }

    static int on_create_instance(sd_bus_message* m, void* userdata, sd_bus_error*) {
        Impl* s = static_cast<Impl*>(userdata);
        const char* iid_text = nullptr;
        if (sd_bus_message_read(m, "s", &iid_text) < 0) return reply_failure(m, kInvalidArgument);
        if (s->revoked) return reply_failure(m, kServerStopping);
        auto iid = Guid::parse(iid_text);
        if (!iid) return reply_failure(m, kInvalidArgument);
        if (*iid != kIidUnknown && *iid != kIidDispatch && *iid != s->iface->iid)
            return reply_failure(m, kNoInterface);
        Holding* h = nullptr;
        if (HResult hr = s->hold(m, true, h); failed(hr)) return reply_failure(m, hr);
        return sd_bus_reply_method_return(m, "o", h->path.c_str());
    }

    static int on_lock_server(sd_bus_message* m, void* userdata, sd_bus_error*) {
        Impl* s = static_cast<Impl*>(userdata);
        int lock = 0;
        if (sd_bus_message_read(m, "b", &lock) < 0) return reply_failure(m, kInvalidArgument);
        if (lock) {
            if (s->revoked) return reply_failure(m, kServerStopping);
            Holding* h = nullptr;
            if (HResult hr = s->hold(m, false, h); failed(hr)) return reply_failure(m, hr);
            return sd_bus_reply_method_return(m, "");
        }
        // A client can only give back a lock it holds itself.
        for (auto& [id, h] : s->holdings)
            if (h->path.empty() && from_owner(m, h.get())) {
                s->end_later(h.get());
                return sd_bus_reply_method_return(m, "");
            }
        return reply_failure(m, kInvalidArgument);
    }

    static int on_release(sd_bus_message* m, void* userdata, sd_bus_error*) {
        Holding* h = holding_of(userdata);
        if (!from_owner(m, h)) return reply_failure(m, kAccessDenied);
        h->server->end_later(h);
        return sd_bus_reply_method_return(m, "");
    }

    static int on_type_info_count(sd_bus_message* m, void*, sd_bus_error*) {
        return sd_bus_reply_method_return(m, "u", 1u);
    }

    static int on_ids_of_names(sd_bus_message* m, void* userdata, sd_bus_error*) {
        Holding* h = holding_of(userdata);
        std::vector<int32_t> ids;
        if (HResult hr = read_ids_of_names(m, *h->server->iface, ids); failed(hr))
            return reply_failure(m, hr);
        sd_bus_message* reply = nullptr;
        int r = sd_bus_message_new_method_return(m, &reply);
        if (r >= 0) r = sd_bus_message_append_array(reply, 'i', ids.data(), ids.size() * sizeof(int32_t));
        if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    }

    static int on_method(sd_bus_message* m, void* userdata, sd_bus_error*) {
        Holding* h = holding_of(userdata);
        Impl* s = h->server;
        if (!from_owner(m, h)) return reply_failure(m, kAccessDenied);
        const char* member = sd_bus_message_get_member(m);
        size_t index = 0;
        while (index < s->iface->methods.size() && s->iface->methods[index].name != member) ++index;
        std::u16string_view text;
        if (index == s->iface->methods.size() || failed(read_text(m, text)))
            return reply_failure(m, kInvalidArgument);
        HResult hr = s->handlers.invoke(index, text);
        return failed(hr) ? reply_failure(m, hr) : sd_bus_reply_method_return(m, "");
    }

    static const sd_bus_vtable kClassVtable[];
    static const sd_bus_vtable kUnknownVtable[];
    static const sd_bus_vtable kDispatchVtable[];
};

const sd_bus_vtable Server::Impl::kClassVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("CreateInstance", "s", SD_BUS_PARAM(iid), "o", SD_BUS_PARAM(object),
                             on_create_instance, 0),
    SD_BUS_METHOD_WITH_NAMES("LockServer", "b", SD_BUS_PARAM(lock), "", , on_lock_server, 0),
    SD_BUS_VTABLE_END};

const sd_bus_vtable Server::Impl::kUnknownVtable[] = {
    SD_BUS_VTABLE_START(0), SD_BUS_METHOD("Release", "", "", on_release, 0), SD_BUS_VTABLE_END};

const sd_bus_vtable Server::Impl::kDispatchVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("GetTypeInfoCount", "", , "u", SD_BUS_PARAM(count), on_type_info_count, 0),
    SD_BUS_METHOD_WITH_NAMES("GetIDsOfNames", "as", SD_BUS_PARAM(names), "ai", SD_BUS_PARAM(dispids),
                             on_ids_of_names, 0),
    SD_BUS_VTABLE_END};

Server::Server(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Server::~Server() = default;

HResult Server::open(const Guid& clsid, const InterfaceInfo& iface, ServerHandlers handlers,
                     std::unique_ptr<Server>& out) {
    auto s = std::make_unique<Impl>();
    s->clsid = clsid;
    s->iface = &iface;
    s->handlers = std::move(handlers);
    s->name = bus_name(clsid);
    s->iface_name = interface_bus_name(iface);
    if (!s->wake.create()) return kFail;
    if (sd_bus_open_user(&s->bus) < 0) {
        s->bus = nullptr;
        return kServerUnavailable;
    }
    // The method table of the interface, from the type library.
    s->members.reserve(iface.methods.size());
    s->params.reserve(iface.methods.size());
    s->iface_vtable.push_back(SD_BUS_VTABLE_START(0));
    for (const MethodInfo& info : iface.methods) {
        s->members.emplace_back(info.name);
        s->params.emplace_back(std::string(info.parameter) + '\0');
        sd_bus_vtable method = SD_BUS_METHOD(s->members.back().c_str(), "aq", "", Impl::on_method, 0);
        method.x.method.names = s->params.back().c_str();
        s->iface_vtable.push_back(method);
    }
    s->iface_vtable.push_back(SD_BUS_VTABLE_END);
    // Installed before any client can reach the server, and only the bus itself sends it.
    if (sd_bus_add_match(s->bus, &s->departures_slot,
                         "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                         "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg2=''",
                         Impl::on_departure, s.get()) < 0)
        return kFail;
    if (sd_bus_add_object_vtable(s->bus, &s->class_slot, kClassObjectPath, kClassFactoryInterface,
                                 Impl::kClassVtable, s.get()) < 0)
        return kFail;
    out.reset(new Server(std::move(s)));
    return kOk;
}

HResult Server::register_class_object() {
    Impl& s = *impl_;
    if (!s.connected) return kServerUnavailable;
    int r = sd_bus_request_name(s.bus, s.name.c_str(), 0);
    if (r == -EEXIST) return kClassAlreadyOwned;
    if (r < 0) return kFail;
    s.revoked = false;
    return kOk;
}

void Server::revoke_class_object() {
    Impl& s = *impl_;
    if (s.revoked || !s.connected) {
        s.revoked = true;
        return;
    }
    // The bus routes nothing more to this name once the release is answered; every call it routed
    // before then is already read, so handling the queue now serves them all.
    sd_bus_release_name(s.bus, s.name.c_str());
    bool alive = s.process_pending();
    s.revoked = true;
    if (!alive) s.lose_bus();
}

void Server::run() {
    Impl& s = *impl_;
    while (!s.quitting) {
        if (s.connected && !s.process_pending()) {
            s.lose_bus();
            continue;
        }
        if (s.quitting) break;
        pollfd fds[2] = {{s.wake.fd(), POLLIN, 0}, {-1, 0, 0}};
        nfds_t count = 1;
        uint64_t due = s.timer_due_us;
        if (s.connected) {
            fds[1].fd = sd_bus_get_fd(s.bus);
            int events = sd_bus_get_events(s.bus);
            fds[1].events = static_cast<short>(events < 0 ? POLLIN : events);
            count = 2;
            uint64_t bus_due = 0;
            if (sd_bus_get_timeout(s.bus, &bus_due) >= 0 && bus_due != UINT64_MAX &&
                (due == 0 || bus_due < due))
                due = bus_due == 0 ? 1 : bus_due;
        }
        timing::Deadline deadline = timing::Deadline::never();
        if (due != 0) {
            uint64_t now = clock::monotonic_us();
            deadline = timing::Deadline::after(std::chrono::microseconds(due <= now ? 0 : due - now));
        }
        timing::WaitResult r = timing::wait_fds({fds, count}, deadline);
        if (r.status == timing::WaitStatus::Failed) break;
        if (s.timer_due_us != 0 && clock::monotonic_us() >= s.timer_due_us) {
            s.timer_due_us = 0;
            if (s.handlers.timer) s.handlers.timer();
        }
        if (r.status == timing::WaitStatus::Ready && (fds[0].revents & POLLIN) != 0 && s.wake.wait(0)) {
            if (s.handlers.woken) s.handlers.woken();
        }
    }
    if (s.connected) sd_bus_flush(s.bus);
}

void Server::quit() {
    impl_->quitting = true;
}

void Server::wake() {
    impl_->wake.signal();
}

void Server::set_timer(std::chrono::milliseconds delay) {
    impl_->timer_due_us = clock::monotonic_us() + to_us(delay);
}

}  // namespace tavc::com
