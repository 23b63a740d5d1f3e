// The USB device as its driver would show it: interface folders of the device's class under a temporary
// TAVC_DEVICE_ROOT, each pipe a FIFO whose far end the test holds, and a record of what the platform
// layer reports that a FIFO cannot show (a read starting to wait, a control request).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "devices.h"
#include "temp_folder.h"

namespace tavc::test {

inline constexpr const char* kDeviceClass = "{682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A}";
inline constexpr const char* kPipeNames[] = {"PIPE00", "PIPE01", "PIPE02", "PIPE03"};

// A temporary device root, set as TAVC_DEVICE_ROOT while it lives, with the class folder made.
class DeviceRoot {
  public:
    DeviceRoot();
    bool ok() const { return ok_; }
    const std::string& path() const { return folder_.path(); }
    // $TAVC_DEVICE_ROOT/{class}
    std::string class_folder() const { return folder_ / kDeviceClass; }

    // Makes interface `name`, a folder with the four pipes as FIFOs. Returns its path.
    std::string add_interface(std::string_view name) const;
    // Makes entry `name` a link to `target`.
    std::string add_link(std::string_view name, const std::string& target) const;
    // The longest entry name whose interface path is `length` bytes; none when the root is too long.
    std::optional<std::string> name_for_path_length(size_t length) const;

  private:
    TempFolder folder_{"usbpipe"};
    ScopedEnv env_{"TAVC_DEVICE_ROOT", folder_.path()};
    bool ok_ = false;
};

// The device's end of one pipe FIFO, open for as long as it lives, so bytes in the FIFO stay there while
// the library opens and closes its end.
class FarEnd {
  public:
    explicit FarEnd(const std::string& fifo_path);
    ~FarEnd();
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    bool ok() const { return fd_ >= 0; }
    // Writes the bytes as one block. True when all went.
    bool write(std::string_view bytes) const;
    // Reads until `count` bytes came or `timeout` passed; what came.
    std::string read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // The bytes waiting now, without waiting.
    std::string drain() const;

  private:
    int fd_ = -1;
};

// Installed as the platform layer's observer while it lives; keeps what it saw.
class DeviceObserver : public devices::Observer {
  public:
    struct Control {
        std::string pipe_path;
        uint32_t code;
        bool operator==(const Control&) const = default;
    };

    DeviceObserver();
    ~DeviceObserver() override;

    void read_waits(const std::string& pipe_path) override;
    void control_sent(const std::string& pipe_path, uint32_t code) override;

    // Waits until `count` reads in all have started to wait on `pipe_path`. False after `timeout`.
    bool wait_for_waiting_reads(const std::string& pipe_path, size_t count,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::vector<Control> controls();
    // The files and folders this process had open when the first read started to wait.
    std::multiset<std::string> open_while_waiting();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> waiting_;
    std::vector<Control> controls_;
    std::optional<std::multiset<std::string>> open_while_waiting_;
};

// The paths behind this process's open descriptors, as /proc/self/fd shows them.
std::multiset<std::string> open_paths();

}  // namespace tavc::test
