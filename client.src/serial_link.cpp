#include "serial_link.h"

#include <cstdio>

#include "clock.h"
#include "export_guard.h"
#include "message_box.h"
#include "registry.h"
#include "settings_key.h"
#include "texts.h"

namespace tavc::tessel {
namespace {

constexpr int32_t kDefaultPort = 1;
constexpr uint32_t kDefaultBaudRate = 9600;
constexpr uint32_t kPauseAfterWriteMs = 50;
// A one-byte read ends after at most 501 ms; a write of n bytes is given n + 100 ms.
constexpr serial::Timeouts kTerminalTimeouts{
    .read_interval_ms = 100,
    .read_per_byte_ms = 1,
    .read_constant_ms = 500,
    .write_per_byte_ms = 1,
    .write_constant_ms = 100,
};

void ShowPortOpenFailed(int32_t port_number) {
    char text[128];
    std::snprintf(text, sizeof text, texts::kPortOpenFailed, static_cast<int>(port_number));
    message_box::show(text);
}

}  // namespace

constinit serial::Port* PortHandle = nullptr;

serial::Port OpenPort(int32_t port_number, uint32_t baud_rate) {
    int com = port_number >= 1 && port_number <= 9 ? port_number : 10;
    serial::Port port;
    if (port.open(com) != serial::Status::Ok) return port;
    if (port.configure(baud_rate) != serial::Status::Ok ||
        port.set_timeouts(kTerminalTimeouts) != serial::Status::Ok)
        port.close();  // so that a later TAVCReset can open it
    return port;
}

void OpenConfiguredPort() {
    int32_t port_number = kDefaultPort;
    uint32_t baud_rate = kDefaultBaudRate;
    if (auto key = registry::Key::open(registry::Hive::CurrentUser, settings::kSettingsKey, false)) {
        if (auto value = key->read_dword(settings::kComPortValue)) port_number = static_cast<int32_t>(*value);
        if (auto value = key->read_dword(settings::kBaudRateValue)) baud_rate = *value;
    }
    serial::Port port = OpenPort(port_number, baud_rate);
    if (port.is_open()) {
        PortHandle = new serial::Port(std::move(port));
    } else {
        ShowPortOpenFailed(port_number);
    }
}

void ClosePort() {
    delete PortHandle;
    PortHandle = nullptr;
}

ExportResult WriteCommand(std::string_view bytes) {
    if (!PortIsOpen()) return kPortNotOpen;
    if (!PortHandle->write(bytes.data(), bytes.size()).ok()) return kWriteFailed;
    clock::sleep_ms(kPauseAfterWriteMs);
    return kOk;
}

ExportResult QueryByte(std::string_view query, char& key) {
    if (!PortIsOpen()) return kPortNotOpen;
    PortHandle->write(query.data(), query.size());
    char byte = 0;
    serial::Transfer got = PortHandle->read(&byte, 1);
    if (!got.ok()) return kReadFailed;
    if (got.bytes == 0) return kNoReply;
    key = byte;
    return kOk;
}

}  // namespace tavc::tessel

using namespace tavc::tessel;

extern "C" TESSEL_API ExportResult TAVCReset(void) {
    return tavc::guarded(kPortNotOpen, [] {
        tavc::tessel::ClosePort();
        tavc::tessel::OpenConfiguredPort();
        return tavc::tessel::PortIsOpen() ? kOk : kPortNotOpen;
    });
}
