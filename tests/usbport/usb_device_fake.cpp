#include "usb_device_fake.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace tavc::test {
namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";
constexpr const char* kStartedMark = "TAVC_TEST_UMOCKDEV";

bool preload_active() {
    void* preload = ::dlopen(kPreload, RTLD_NOW | RTLD_NOLOAD);
    if (preload == nullptr) return false;
    ::dlclose(preload);
    return true;
}

// The sanitizer runtime's own file when it is a shared library: it must stay first among the preloaded
// libraries, or AddressSanitizer refuses to start.
std::string sanitizer_runtime() {
    void* init = ::dlsym(RTLD_DEFAULT, "__asan_init");
    Dl_info info{};
    if (init == nullptr || ::dladdr(init, &info) == 0 || info.dli_fname == nullptr) return {};
    std::string file = info.dli_fname;
    return file.find(".so") != std::string::npos ? file : std::string();
}

// Before main: umockdev's preload library must be loaded before anything looks at sysfs, /dev or udev,
// so the program starts itself again with it. Once only: without umockdev the second start goes on, and
// the test bed reports that it is not ok.
__attribute__((constructor)) void start_under_umockdev(int, char** argv, char**) {
    if (std::getenv(kStartedMark) != nullptr || preload_active()) return;
    std::string preload = kPreload;
    if (std::string runtime = sanitizer_runtime(); !runtime.empty()) preload = runtime + ":" + preload;
    if (const char* before = std::getenv("LD_PRELOAD"); before != nullptr && before[0] != '\0')
        preload += std::string(":") + before;
    ::setenv("LD_PRELOAD", preload.c_str(), 1);
    ::setenv(kStartedMark, "1", 1);
    ::execv("/proc/self/exe", argv);
    std::perror("execv under umockdev");
}

constexpr uint8_t kDirectionIn = 0x80;

// umockdev 0.17's preload keeps a descriptor's path in one static buffer in its fstatfs, so calls from
// several threads at once garble it, and udev then finds no sysfs and no device. The program's own
// fstatfs comes before the preload's and lets one call in at a time.
std::mutex fstatfs_mutex;

template <typename Statfs>
int locked_fstatfs(const char* name, int fd, Statfs* buffer) {
    static auto next = reinterpret_cast<int (*)(int, Statfs*)>(::dlsym(RTLD_NEXT, name));
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    std::lock_guard lock(fstatfs_mutex);
    return next(fd, buffer);
}

// The ioctl's argument structure, copied in from the caller (and back out when the ioctl completes).
template <typename T>
T* argument(UMockdevIoctlClient* client, UMockdevIoctlData** holder = nullptr) {
    UMockdevIoctlData* data =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(T), nullptr);
    if (data == nullptr) return nullptr;
    if (holder != nullptr) {
        *holder = data;
    } else {
        // The argument keeps its own reference to what it resolved.
        umockdev_ioctl_data_unref(data);
    }
    return reinterpret_cast<T*>(data->data);
}

void answer(UMockdevIoctlClient* client, int error) {
    umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
}

std::string hex_byte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value & 0xFFu);
    return text;
}

std::string bytes_of(std::initializer_list<unsigned> values) {
    std::string bytes;
    for (unsigned value : values) bytes.push_back(static_cast<char>(value & 0xFFu));
    return bytes;
}

// The descriptors file as the kernel shows it: the device descriptor, then the one configuration with
// its interfaces and endpoints.
std::string descriptors(const std::vector<UsbInterface>& interfaces) {
    std::string config;
    for (size_t i = 0; i < interfaces.size(); ++i) {
        const auto endpoints = static_cast<unsigned>(interfaces[i].endpoints.size());
        // Vendor-specific class, alternate setting 0.
        config += bytes_of({9, 4, static_cast<unsigned>(i), 0, endpoints, 0xFF, 0, 0, 0});
        for (const UsbEndpoint& endpoint : interfaces[i].endpoints) {
            const unsigned packet = endpoint.bulk ? 512 : 64;
            config += bytes_of({7, 5, endpoint.address, endpoint.bulk ? 2u : 3u, packet, packet >> 8,
                                endpoint.bulk ? 0u : 1u});
        }
    }
    const auto total = static_cast<unsigned>(9 + config.size());
    // USB 2.0, vendor and product ids of no real device, one configuration.
    return bytes_of({18, 1, 0, 2, 0, 0, 0, 64, 0x34, 0x12, 0x78, 0x56, 0, 1, 0, 0, 0, 1}) +
           bytes_of({9, 2, total, total >> 8, static_cast<unsigned>(interfaces.size()), 1, 0, 0x80, 50}) +
           config;
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes) text += hex_byte(byte);
    return text;
}

}  // namespace

#if defined(__SANITIZE_THREAD__)
// The system libraries a USB test runs through are not built for ThreadSanitizer: their own
// synchronisation (futexes, atomics) is out of its sight, so what they do through its interceptors looks
// like races. A race with none of them on either side is still reported.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "race:libudev.so.1\n"
           "race:libusb-1.0.so.0\n"
           "race:libglib-2.0.so.0\n"
           "race:libgobject-2.0.so.0\n"
           "race:libgio-2.0.so.0\n"
           "race:libumockdev.so.0\n"
           "race:libumockdev-preload.so.0\n";
}
#endif

extern "C" __attribute__((visibility("default"))) int fstatfs(int fd, struct statfs* buffer) {
    return locked_fstatfs("fstatfs", fd, buffer);
}

extern "C" __attribute__((visibility("default"))) int fstatfs64(int fd, struct statfs64* buffer) {
    return locked_fstatfs("fstatfs64", fd, buffer);
}

// ---- The device's node -------------------------------------------------------------------------------

UsbDevice::UsbDevice(std::string path, std::vector<Interface> interfaces, std::string devnode)
    : path_(std::move(path)), interfaces_(std::move(interfaces)), devnode_(std::move(devnode)) {
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(on_ioctl), this);
    g_signal_connect(handler_, "client-connected", G_CALLBACK(on_connected), this);
}

UsbDevice::~UsbDevice() {
    for (auto& [client, state] : clients_) {
        for (UMockdevIoctlData* urb : state.done) umockdev_ioctl_data_unref(urb);
        g_object_unref(client);
    }
    for (auto& [endpoint, reads] : waiting_reads_)
        for (Transfer& read : reads) umockdev_ioctl_data_unref(read.urb);
    if (handler_ != nullptr) {
        g_signal_handlers_disconnect_by_data(handler_, this);
        g_object_unref(handler_);
    }
}

void UsbDevice::on_connected(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    auto* device = static_cast<UsbDevice*>(self);
    std::lock_guard lock(device->mutex_);
    device->clients_[client];
    ++device->openings_;
    g_object_ref(client);
}

// As the kernel does when the node is closed: the claims of each closed opening end and its transfers
// are dropped.
void UsbDevice::forget_closed() {
    for (auto client = clients_.begin(); client != clients_.end();) {
        if (umockdev_ioctl_client_get_connected(client->first)) {
            ++client;
            continue;
        }
        for (UMockdevIoctlData* urb : client->second.done) umockdev_ioctl_data_unref(urb);
        for (auto& [endpoint, reads] : waiting_reads_) {
            for (auto read = reads.begin(); read != reads.end();) {
                if (read->client == client->first) {
                    umockdev_ioctl_data_unref(read->urb);
                    read = reads.erase(read);
                } else {
                    ++read;
                }
            }
        }
        g_object_unref(client->first);
        client = clients_.erase(client);
        ++closings_;
    }
}

int UsbDevice::on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    return static_cast<UsbDevice*>(self)->handle(client) ? TRUE : FALSE;
}

UsbDevice::Interface* UsbDevice::interface_numbered(int number) {
    for (Interface& interface : interfaces_)
        if (interface.number == number) return &interface;
    return nullptr;
}

UsbDevice::Interface* UsbDevice::interface_of_endpoint(uint8_t endpoint) {
    for (Interface& interface : interfaces_)
        for (const UsbEndpoint& e : interface.endpoints)
            if (e.address == endpoint) return &interface;
    return nullptr;
}

bool UsbDevice::claimed_by_other(int number, UMockdevIoctlClient* client) const {
    for (const auto& [other, state] : clients_)
        if (other != client && state.claims.count(number) != 0) return true;
    return false;
}

void UsbDevice::log(std::string entry) {
    requests_.push_back(std::move(entry));
    changed_.notify_all();
}

// Answers one request on the node as usbfs would; false for requests libusb is not expected to make.
bool UsbDevice::handle(UMockdevIoctlClient* client) {
    std::lock_guard lock(mutex_);
    forget_closed();
    auto known = clients_.find(client);
    if (known == clients_.end()) return false;
    Client& state = known->second;
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    if (unplugged_) {
        answer(client, ENODEV);
        return true;
    }
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            auto* caps = argument<uint32_t>(client);
            // What a current kernel offers: one URB takes a whole transfer.
            *caps = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                    USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_BULK_SCATTER_GATHER |
                    USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            answer(client, 0);
            return true;
        }
        case USBDEVFS_GETDRIVER: {
            auto* query = argument<usbdevfs_getdriver>(client);
            Interface* interface = interface_numbered(static_cast<int>(query->interface));
            std::string driver = interface == nullptr ? "" : interface->driver;
            if (interface != nullptr && claimed_by_other(interface->number, nullptr)) driver = "usbfs";
            if (driver.empty()) {
                answer(client, ENODATA);
                return true;
            }
            std::snprintf(query->driver, sizeof query->driver, "%s", driver.c_str());
            answer(client, 0);
            return true;
        }
        case USBDEVFS_IOCTL: {
            auto* command = argument<usbdevfs_ioctl>(client);
            Interface* interface = interface_numbered(command->ifno);
            if (interface == nullptr) {
                answer(client, EINVAL);
            } else if (command->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
                if (interface->driver.empty()) {
                    answer(client, ENODATA);
                    return true;
                }
                interface->driver.clear();
                log("disconnect " + std::to_string(interface->number));
                answer(client, 0);
            } else if (command->ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
                if (!interface->driver.empty() || claimed_by_other(interface->number, nullptr)) {
                    answer(client, EBUSY);
                    return true;
                }
                interface->driver = interface->original_driver;
                log("connect " + std::to_string(interface->number));
                answer(client, 0);
            } else {
                answer(client, ENOTTY);
            }
            return true;
        }
        case USBDEVFS_CLAIMINTERFACE: {
            int number = static_cast<int>(*argument<unsigned int>(client));
            Interface* interface = interface_numbered(number);
            if (interface == nullptr) {
                answer(client, ENOENT);
            } else if (refuse_claims_ || claimed_by_other(number, client) || !interface->driver.empty()) {
                // Held by another program, another opening of the node, or a kernel driver.
                answer(client, EBUSY);
            } else {
                if (state.claims.insert(number).second) log("claim " + std::to_string(number));
                answer(client, 0);
            }
            return true;
        }
        case USBDEVFS_RELEASEINTERFACE: {
            int number = static_cast<int>(*argument<unsigned int>(client));
            if (state.claims.erase(number) == 0) {
                answer(client, EINVAL);
            } else {
                log("release " + std::to_string(number));
                answer(client, 0);
            }
            return true;
        }
        case USBDEVFS_CLEAR_HALT: {
            auto endpoint = static_cast<uint8_t>(*argument<unsigned int>(client));
            halted_.erase(endpoint);
            log("clear-halt " + hex_byte(endpoint));
            answer(client, 0);
            return true;
        }
        case USBDEVFS_SUBMITURB: {
            UMockdevIoctlData* urb = nullptr;
            if (argument<usbdevfs_urb>(client, &urb) == nullptr) return false;
            submit(client, urb);
            return true;
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            if (state.done.empty()) {
                answer(client, EAGAIN);
                return true;
            }
            UMockdevIoctlData* urb = state.done.front();
            state.done.pop_front();
            UMockdevIoctlData* pointer = nullptr;
            if (argument<void*>(client, &pointer) == nullptr) return false;
            umockdev_ioctl_data_set_ptr(pointer, 0, urb);
            umockdev_ioctl_data_unref(pointer);
            umockdev_ioctl_data_unref(urb);
            answer(client, 0);
            return true;
        }
        case USBDEVFS_DISCARDURB: {
            // The argument is the caller's address of the URB itself.
            const unsigned long address =
                *reinterpret_cast<unsigned long*>(umockdev_ioctl_client_get_arg(client)->data);
            for (auto& [endpoint, reads] : waiting_reads_) {
                for (auto read = reads.begin(); read != reads.end(); ++read) {
                    if (read->client != client || read->urb->client_addr != address) continue;
                    UMockdevIoctlData* urb = read->urb;
                    reads.erase(read);
                    log("cancel " + hex_byte(endpoint));
                    finish(client, urb, -ENOENT, nullptr);
                    umockdev_ioctl_data_unref(urb);
                    answer(client, 0);
                    return true;
                }
            }
            answer(client, EINVAL);
            return true;
        }
        default:
            return false;
    }
}

void UsbDevice::submit(UMockdevIoctlClient* client, UMockdevIoctlData* urb_data) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urb_data->data);
    const uint8_t endpoint = urb->endpoint;
    Interface* interface = interface_of_endpoint(endpoint);
    if (urb->type != USBDEVFS_URB_TYPE_BULK || interface == nullptr) {
        umockdev_ioctl_data_unref(urb_data);
        answer(client, interface == nullptr ? ENOENT : EINVAL);
        return;
    }
    if (clients_[client].claims.count(interface->number) == 0) {
        // The kernel would claim it on the spot; a library that relies on that is wrong here.
        log("unclaimed " + hex_byte(endpoint));
        umockdev_ioctl_data_unref(urb_data);
        answer(client, EBUSY);
        return;
    }
    const auto length = static_cast<size_t>(std::max(urb->buffer_length, 0));
    // Copies the caller's buffer in; when the URB is reaped it goes back out with what the device sent.
    UMockdevIoctlData* buffer =
        length > 0 ? umockdev_ioctl_data_resolve(urb_data, offsetof(usbdevfs_urb, buffer), length, nullptr)
                   : nullptr;
    if (buffer != nullptr) umockdev_ioctl_data_unref(buffer);
    const bool in = (endpoint & kDirectionIn) != 0;
    log(std::string(in ? "read " : "write ") + hex_byte(endpoint) + " " + std::to_string(length));
    answer(client, 0);
    if (halted_.count(endpoint) != 0) {
        finish(client, urb_data, -EPIPE, nullptr);
    } else if (!in) {
        std::string data(length, '\0');
        if (length > 0) std::memcpy(data.data(), urb->buffer, length);
        received_[endpoint].push_back(data);
        finish(client, urb_data, 0, &data);
    } else {
        ++reads_started_[endpoint];
        std::deque<std::string>& blocks = to_send_[endpoint];
        if (blocks.empty()) {
            waiting_reads_[endpoint].push_back({client, urb_data});
            changed_.notify_all();
            return;
        }
        std::string block = std::move(blocks.front());
        blocks.pop_front();
        if (block.size() > length) blocks.push_front(block.substr(length));
        finish(client, urb_data, 0, &block);
    }
    umockdev_ioctl_data_unref(urb_data);
    changed_.notify_all();
}

// Completes a URB with `status` and, for a read, `data` (as much as it has room for); the caller reaps
// it next.
void UsbDevice::finish(UMockdevIoctlClient* client, UMockdevIoctlData* urb_data, int status,
                       const std::string* data) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urb_data->data);
    urb->status = status;
    urb->actual_length = 0;
    if (status == 0 && data != nullptr) {
        size_t length = std::min(data->size(), static_cast<size_t>(std::max(urb->buffer_length, 0)));
        if ((urb->endpoint & kDirectionIn) != 0 && length > 0) std::memcpy(urb->buffer, data->data(), length);
        urb->actual_length = static_cast<int>(length);
    }
    clients_[client].done.push_back(umockdev_ioctl_data_ref(urb_data));
}

void UsbDevice::send(uint8_t endpoint, std::string block) {
    std::lock_guard lock(mutex_);
    std::deque<Transfer>& reads = waiting_reads_[endpoint];
    if (reads.empty()) {
        to_send_[endpoint].push_back(std::move(block));
        return;
    }
    Transfer read = reads.front();
    reads.pop_front();
    auto* urb = reinterpret_cast<usbdevfs_urb*>(read.urb->data);
    auto room = static_cast<size_t>(std::max(urb->buffer_length, 0));
    if (block.size() > room) to_send_[endpoint].push_front(block.substr(room));
    finish(read.client, read.urb, 0, &block);
    umockdev_ioctl_data_unref(read.urb);
}

void UsbDevice::halt(uint8_t endpoint) {
    std::lock_guard lock(mutex_);
    halted_.insert(endpoint);
    for (Transfer& read : waiting_reads_[endpoint]) {
        finish(read.client, read.urb, -EPIPE, nullptr);
        umockdev_ioctl_data_unref(read.urb);
    }
    waiting_reads_[endpoint].clear();
}

void UsbDevice::refuse_claims() {
    std::lock_guard lock(mutex_);
    refuse_claims_ = true;
}

std::vector<std::string> UsbDevice::received(uint8_t endpoint) {
    std::lock_guard lock(mutex_);
    return received_[endpoint];
}

std::vector<std::string> UsbDevice::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool UsbDevice::wait_for_reads(uint8_t endpoint, size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return reads_started_[endpoint] >= count; });
}

bool UsbDevice::wait_until_closed(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        forget_closed();
        if (closings_ == openings_) return true;
        // umockdev tells of no closing: its client shows it once the bed has closed its end.
        if (changed_.wait_until(
                lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5))) ==
                std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= deadline) {
            forget_closed();
            return closings_ == openings_;
        }
    }
}

size_t UsbDevice::openings() {
    std::lock_guard lock(mutex_);
    return openings_;
}

std::string UsbDevice::driver(int number) {
    std::lock_guard lock(mutex_);
    Interface* interface = interface_numbered(number);
    return interface != nullptr ? interface->driver : std::string();
}

// ---- The test bed ------------------------------------------------------------------------------------

UsbTestbed::UsbTestbed() {
    if (preload_active()) testbed_ = umockdev_testbed_new();
}

UsbTestbed::~UsbTestbed() {
    // The bed's worker thread, which calls the devices' handlers, ends with it.
    if (testbed_ != nullptr) g_object_unref(testbed_);
    devices_.clear();
}

UsbDevice& UsbTestbed::plug(const std::string& name, std::vector<UsbInterface> interfaces) {
    const int address = next_address_++;
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/001/%03d", address);
    const std::string device_path = "/devices/usb1/" + name;

    std::vector<UsbDevice::Interface> states;
    std::string text =
        "P: " + device_path + "\nN: " + node + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
        "E: BUSNUM=001\nE: DEVNUM=" + std::string(node + 12) + "\nE: DEVNAME=/dev/" + node +
        "\nA: busnum=1\\n\nA: devnum=" + std::to_string(address) +
        "\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\nH: descriptors=" + hex(descriptors(interfaces)) +
        "\n";
    for (size_t i = 0; i < interfaces.size(); ++i) {
        const UsbInterface& interface = interfaces[i];
        std::string own_name = interface.name.empty() ? name + ":1." + std::to_string(i) : interface.name;
        std::string path = device_path + "/" + own_name;
        text += "\nP: " + path + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n";
        if (interface.of_class) text += std::string("E: TAVC_INTERFACE_CLASS=") + kDeviceClass + "\n";
        if (!interface.driver.empty()) text += "E: DRIVER=" + interface.driver + "\n";
        text +=
            "A: bInterfaceNumber=" + hex_byte(static_cast<unsigned>(i)) + "\\n\nA: bAlternateSetting= 0\\n\n";
        states.push_back(
            {static_cast<int>(i), "/sys" + path, interface.driver, interface.driver, interface.endpoints});
    }

    devices_.push_back(std::unique_ptr<UsbDevice>(
        new UsbDevice("/sys" + device_path, std::move(states), std::string("/dev/") + node)));
    UsbDevice& device = *devices_.back();
    // The node answers before udev shows the device, so a search never finds it without its node.
    umockdev_testbed_attach_ioctl(testbed_, device.devnode_.c_str(), device.handler_, nullptr);
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, text.c_str(), &error)) {
        std::fprintf(stderr, "umockdev could not add %s: %s\n", name.c_str(), error->message);
        g_error_free(error);
    }
    // One request through the node before the test goes on: the bed answers there from now on, and what
    // it keeps open for that is open before the test counts descriptors.
    int fd = ::open(device.devnode_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        uint32_t caps = 0;
        ::ioctl(fd, USBDEVFS_GET_CAPABILITIES, &caps);
        ::close(fd);
    }
    device.wait_until_closed();
    std::lock_guard lock(device.mutex_);
    device.openings_ = device.closings_ = 0;
    return device;
}

void UsbTestbed::unplug(UsbDevice& device) {
    {
        std::lock_guard lock(device.mutex_);
        device.unplugged_ = true;
    }
    for (auto interface = device.interfaces_.rbegin(); interface != device.interfaces_.rend(); ++interface)
        umockdev_testbed_remove_device(testbed_, interface->path.c_str());
    umockdev_testbed_remove_device(testbed_, device.path_.c_str());
}

std::multiset<std::string> open_paths() {
    std::multiset<std::string> paths;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return paths;
    int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
        char target[PATH_MAX];
        ssize_t n = ::readlinkat(own, entry->d_name, target, sizeof target - 1);
        if (n > 0) paths.emplace(target, static_cast<size_t>(n));
    }
    ::closedir(dir);
    return paths;
}

}  // namespace tavc::test
