// The devices facility's libusb half: the claims of interfaces, their bulk endpoints, and the transfers.
#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "devices_backend.h"

namespace tavc::devices {
namespace backend {

// One interface claimed by this process, shared by every handle on it. What was opened and claimed for
// it is given back when it goes.
struct Claim {
    Claim() = default;
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    ~Claim();

    std::string path;
    size_t users = 0;
    libusb_context* context = nullptr;
    libusb_device_handle* device = nullptr;
    int number = 0;
    bool driver_detached = false;
    bool claimed = false;
    // Endpoint addresses in descriptor order.
    std::vector<uint8_t> bulk_in;
    std::vector<uint8_t> bulk_out;
};

}  // namespace backend

backend::Claim::~Claim() {
    if (claimed) libusb_release_interface(device, number);
    // The kernel driver gets the interface back only when it had it before.
    if (driver_detached) libusb_attach_kernel_driver(device, number);
    if (device != nullptr) libusb_close(device);
    if (context != nullptr) libusb_exit(context);
}

namespace {

using backend::Claim;

// The claims held now. A claim starts and ends under the lock, so it never ends while another handle
// of this process takes the same interface.
std::mutex claims_mutex;
std::vector<std::unique_ptr<Claim>> claims;

void set_status(Status* status, Status value) {
    if (status != nullptr) *status = value;
}

int open_device(libusb_context* context, const backend::InterfaceLocation& where,
                libusb_device_handle** device) {
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0) return static_cast<int>(count);
    int result = LIBUSB_ERROR_NO_DEVICE;
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(list[i]) == where.bus &&
            libusb_get_device_address(list[i]) == where.address) {
            result = libusb_open(list[i], device);
            break;
        }
    }
    libusb_free_device_list(list, 1);
    return result;
}

// The bulk endpoints of the interface's alternate setting in use.
int find_endpoints(const backend::InterfaceLocation& where, Claim* claim) {
    libusb_config_descriptor* config = nullptr;
    int result = libusb_get_active_config_descriptor(libusb_get_device(claim->device), &config);
    if (result < 0) return result;
    result = LIBUSB_ERROR_NOT_FOUND;
    for (uint8_t i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            if (setting.bInterfaceNumber != where.number || setting.bAlternateSetting != where.alternate)
                continue;
            for (uint8_t e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                bool in = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
                (in ? claim->bulk_in : claim->bulk_out).push_back(endpoint.bEndpointAddress);
            }
            result = LIBUSB_SUCCESS;
        }
    }
    libusb_free_config_descriptor(config);
    return result;
}

// Opens the device and claims the interface. What it managed stays recorded, so the claim's end gives
// back just that.
Status start_claim(Claim* claim) {
    backend::InterfaceLocation where;
    Status located = backend::locate_interface(claim->path, &where);
    if (located != Status::Ok) return located;
    claim->number = where.number;
    int result = libusb_init(&claim->context);
    if (result == LIBUSB_SUCCESS) {
        // Silent whatever default the host program gave libusb.
        libusb_set_option(claim->context, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_NONE);
        result = open_device(claim->context, where, &claim->device);
    }
    if (result == LIBUSB_SUCCESS) result = find_endpoints(where, claim);
    if (result == LIBUSB_SUCCESS && libusb_kernel_driver_active(claim->device, claim->number) == 1) {
        result = libusb_detach_kernel_driver(claim->device, claim->number);
        claim->driver_detached = result == LIBUSB_SUCCESS;
        // Unbound in the meantime: nothing to give back.
        if (result == LIBUSB_ERROR_NOT_FOUND) result = LIBUSB_SUCCESS;
    }
    if (result == LIBUSB_SUCCESS) {
        result = libusb_claim_interface(claim->device, claim->number);
        claim->claimed = result == LIBUSB_SUCCESS;
    }
    return backend::status_from_libusb(result);
}

Claim* take_claim(const std::string& path, Status* status) {
    std::lock_guard lock(claims_mutex);
    for (const std::unique_ptr<Claim>& claim : claims) {
        if (claim->path == path) {
            ++claim->users;
            return claim.get();
        }
    }
    auto claim = std::make_unique<Claim>();
    claim->path = path;
    // Room first, so a claim once made is always recorded.
    claims.reserve(claims.size() + 1);
    Status started = start_claim(claim.get());
    if (started != Status::Ok) {
        set_status(status, started);
        return nullptr;
    }
    claim->users = 1;
    claims.push_back(std::move(claim));
    return claims.back().get();
}

void drop_claim(Claim* claim) {
    std::lock_guard lock(claims_mutex);
    if (--claim->users > 0) return;
    claims.erase(std::find_if(claims.begin(), claims.end(),
                              [claim](const std::unique_ptr<Claim>& held) { return held.get() == claim; }));
}

// The endpoint `pipe_name` stands for on the claimed interface; 0 (the control endpoint, never a pipe)
// when it has none.
uint8_t pipe_endpoint(const Claim& claim, std::string_view pipe_name) {
    static constexpr std::string_view kPipeNames[] = {"PIPE00", "PIPE01", "PIPE02", "PIPE03"};
    for (size_t i = 0; i < std::size(kPipeNames); ++i) {
        if (pipe_name != kPipeNames[i]) continue;
        const std::vector<uint8_t>& endpoints = i % 2 == 0 ? claim.bulk_in : claim.bulk_out;
        return i / 2 < endpoints.size() ? endpoints[i / 2] : 0;
    }
    return 0;
}

bool is_in(uint8_t endpoint) {
    return (endpoint & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
}

}  // namespace

Handle::Handle(backend::Claim* claim, uint8_t endpoint, std::string path)
    : claim_(claim), endpoint_(endpoint), path_(std::move(path)) {}

Handle::Handle(Handle&& other) noexcept
    : claim_(std::exchange(other.claim_, nullptr)),
      endpoint_(other.endpoint_),
      path_(std::move(other.path_)) {}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        reset();
        claim_ = std::exchange(other.claim_, nullptr);
        endpoint_ = other.endpoint_;
        path_ = std::move(other.path_);
    }
    return *this;
}

Handle::~Handle() {
    reset();
}

void Handle::reset() {
    if (claim_ != nullptr) drop_claim(std::exchange(claim_, nullptr));
}

Handle open_interface(const std::string& path, Status* status) {
    std::string own_path = path;
    Claim* claim = take_claim(path, status);
    if (claim == nullptr) return {};
    set_status(status, Status::Ok);
    return Handle(claim, 0, std::move(own_path));
}

Handle open_pipe(const std::string& path, Status* status) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        set_status(status, Status::NotFound);
        return {};
    }
    std::string own_path = path;
    Claim* claim = take_claim(path.substr(0, slash), status);
    if (claim == nullptr) return {};
    uint8_t endpoint = pipe_endpoint(*claim, std::string_view(path).substr(slash + 1));
    if (endpoint == 0) {
        drop_claim(claim);
        set_status(status, Status::NotFound);
        return {};
    }
    set_status(status, Status::Ok);
    return Handle(claim, endpoint, std::move(own_path));
}

ReadResult read_with_timeout(const Handle& pipe, void* buffer, size_t length, uint32_t timeout_ms) {
    if (!pipe.is_open()) return {ReadStatus::NotOpen, 0};
    if (pipe.endpoint_ == 0 || !is_in(pipe.endpoint_)) return {ReadStatus::Failed, EBADF};
    // A zero-length transfer would take the device's next packet, and overflow on it.
    if (length == 0) return {ReadStatus::Done, 0};
    if (length > INT_MAX) return {ReadStatus::Failed, EINVAL};
    // The block lands here first: a transfer that times out or fails stores nothing in the buffer.
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[length]);
    if (!block) return {ReadStatus::Failed, ENOMEM};
    int received = 0;
    int result = libusb_bulk_transfer(pipe.claim_->device, pipe.endpoint_, block.get(),
                                      static_cast<int>(length), &received, std::max<uint32_t>(timeout_ms, 1));
    if (result != LIBUSB_SUCCESS) return backend::read_failure_from_libusb(result);
    std::memcpy(buffer, block.get(), static_cast<size_t>(received));
    return {static_cast<size_t>(received) == length ? ReadStatus::Done : ReadStatus::Short, 0};
}

Status write(const Handle& pipe, const void* data, size_t length) {
    if (!pipe.is_open() || pipe.endpoint_ == 0 || is_in(pipe.endpoint_) || length > INT_MAX)
        return Status::Failed;
    int sent = 0;
    // libusb takes every transfer's block as writable, but an OUT transfer only reads it; a time-out of 0
    // waits as long as the device takes.
    int result = libusb_bulk_transfer(pipe.claim_->device, pipe.endpoint_,
                                      static_cast<unsigned char*>(const_cast<void*>(data)),
                                      static_cast<int>(length), &sent, 0);
    return backend::status_from_libusb(result);
}

void clear_halt(const Handle& pipe) {
    if (!pipe.is_open() || pipe.endpoint_ == 0) return;
    libusb_clear_halt(pipe.claim_->device, pipe.endpoint_);
}

}  // namespace tavc::devices
