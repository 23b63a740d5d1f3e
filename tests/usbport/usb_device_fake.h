// USB devices emulated by umockdev inside the test process, as an integrator's machine shows them with
// the device plugged in: sysfs and udev see the device and its interfaces (with the class property that
// the device's udev rule sets), and the device's usbfs node answers libusb's requests as the kernel does
// for a device that sends and takes the bulk blocks the test gives it.
//
// A program that links this starts itself again with umockdev's preload library before main runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace tavc::test {

inline constexpr const char* kDeviceClass = "{682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A}";

// The bulk endpoints of the usual device, in descriptor order: its pipes PIPE00 to PIPE03 are kIn1,
// kOut1, kIn2, kOut2.
inline constexpr uint8_t kIn1 = 0x81;
inline constexpr uint8_t kOut1 = 0x02;
inline constexpr uint8_t kIn2 = 0x83;
inline constexpr uint8_t kOut2 = 0x04;

struct UsbEndpoint {
    UsbEndpoint(uint8_t address_, bool bulk_ = true) : address(address_), bulk(bulk_) {}
    uint8_t address;
    bool bulk;  // else an interrupt endpoint
};

struct UsbInterface {
    std::vector<UsbEndpoint> endpoints{kIn1, kOut1, kIn2, kOut2};
    bool of_class = true;  // carries TAVC_INTERFACE_CLASS={682C3004-...}
    std::string driver;    // the kernel driver bound to it when plugged in; none when empty
    std::string name;      // its sysfs name; "<device>:1.<number>" when empty
};

// One plugged-in device, seen from the device's side. Safe to use from several threads.
class UsbDevice {
  public:
    // The device's next block on IN endpoint `endpoint`: it ends the oldest read waiting there, or the
    // next one to come. A read shorter than the block takes its start; the rest is the next block.
    void send(uint8_t endpoint, std::string block);
    // Halts (stalls) the endpoint: each of its transfers fails until the host clears the halt.
    void halt(uint8_t endpoint);
    // Another program holds the device's interfaces: every claim is refused as busy.
    void refuse_claims();

    // The blocks written to OUT endpoint `endpoint`, in order.
    std::vector<std::string> received(uint8_t endpoint);
    // The host's requests in order: "claim N", "release N", "disconnect N" (a kernel driver detached),
    // "connect N" (given back), "clear-halt EP", "read EP LENGTH", "write EP LENGTH", "cancel EP"; EP in
    // two hex digits.
    std::vector<std::string> requests();
    // Waits until `count` reads in all have been started on `endpoint`. False after `timeout`.
    bool wait_for_reads(uint8_t endpoint, size_t count,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the host has closed every opening of the device's node again. False after `timeout`.
    bool wait_until_closed(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // How often the host has opened the device's node.
    size_t openings();
    // The kernel driver bound to interface `number` now; empty when none.
    std::string driver(int number);

    // The sysfs path of interface `index`, as udev names it.
    const std::string& interface_path(size_t index) const { return interfaces_.at(index).path; }

    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;
    ~UsbDevice();

  private:
    friend class UsbTestbed;
    struct Interface {
        int number;
        std::string path;
        std::string original_driver;
        std::string driver;
        std::vector<UsbEndpoint> endpoints;
    };
    struct Transfer {
        UMockdevIoctlClient* client;
        UMockdevIoctlData* urb;  // holds a reference
    };
    struct Client {
        std::set<int> claims;
        std::deque<UMockdevIoctlData*> done;  // completed, to be reaped; each holds a reference
    };

    UsbDevice(std::string path, std::vector<Interface> interfaces, std::string devnode);
    static int on_ioctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    static void on_connected(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);

    bool handle(UMockdevIoctlClient* client);
    void forget_closed();
    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* urb);
    void finish(UMockdevIoctlClient* client, UMockdevIoctlData* urb, int status, const std::string* data);
    Interface* interface_of_endpoint(uint8_t endpoint);
    Interface* interface_numbered(int number);
    bool claimed_by_other(int number, UMockdevIoctlClient* client) const;
    void log(std::string entry);

    std::string path_;
    std::vector<Interface> interfaces_;
    std::string devnode_;
    UMockdevIoctlBase* handler_ = nullptr;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool unplugged_ = false;
    bool refuse_claims_ = false;
    std::map<UMockdevIoctlClient*, Client> clients_;
    size_t openings_ = 0;
    size_t closings_ = 0;
    std::map<uint8_t, std::deque<std::string>> to_send_;
    std::map<uint8_t, std::deque<Transfer>> waiting_reads_;
    std::map<uint8_t, size_t> reads_started_;
    std::map<uint8_t, std::vector<std::string>> received_;
    std::set<uint8_t> halted_;
    std::vector<std::string> requests_;
};

// A umockdev test bed for this test: the machine's real devices are out of sight while it lives.
class UsbTestbed {
  public:
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;

    // False when umockdev's preload library is not active in this process (umockdev not installed).
    bool ok() const { return testbed_ != nullptr; }

    // Plugs in device `name` (its sysfs name, such as "1-1") on bus 1 with `interfaces`, numbered from 0.
    UsbDevice& plug(const std::string& name, std::vector<UsbInterface> interfaces = {UsbInterface{}});
    // Unplugs it: it leaves sysfs and udev, and its node answers every request with ENODEV.
    void unplug(UsbDevice& device);

  private:
    UMockdevTestbed* testbed_ = nullptr;
    int next_address_ = 2;
    std::vector<std::unique_ptr<UsbDevice>> devices_;
};

// The paths behind this process's open descriptors, as /proc/self/fd shows them.
std::multiset<std::string> open_paths();

}  // namespace tavc::test
