// The four exports: one block read or written per call, every handle closed again before returning.
#include "usbpipe.h"

#include <cstdint>

#include "device_search.h"
#include "devices.h"
#include "export_guard.h"
#include "pipe_io.h"
#include "results.h"

namespace tavc::usbpipe {
namespace {

constexpr uint32_t kReadTimeoutMs = 1000;

// A negative length would be taken as a huge one by the device; a null buffer has no room at all.
bool BufferUsable(const void* buffer, int32_t length) {
    return length >= 0 && (buffer != nullptr || length == 0);
}

int32_t ReadPipe(std::string_view pipe_name, void* buffer, int32_t length) noexcept {
    return guarded(kFailed, [&] {
        if (!BufferUsable(buffer, length)) return kFailed;
        devices::Handle pipe = OpenReadPipe(pipe_name);
        if (!pipe.is_open()) return kFailed;
        // Held for the whole transfer; the transfer goes on without it.
        devices::Handle device = OpenDevice();
        if (ReadWithTimeout(pipe, buffer, static_cast<size_t>(length), kReadTimeoutMs) != kReadDone) {
            SendControlRequest(pipe, kControlAfterFailure);
            return kFailed;
        }
        return kOk;
    });
}

int32_t WritePipe(std::string_view pipe_name, const void* buffer, int32_t length) noexcept {
    return guarded(kFailed, [&] {
        if (!BufferUsable(buffer, length)) return kFailed;
        devices::Handle pipe = OpenWritePipe(pipe_name);
        if (!pipe.is_open()) return kFailed;
        devices::Handle device = OpenDevice();
        if (devices::write(pipe, buffer, static_cast<size_t>(length)) != devices::Status::Ok) {
            SendControlRequest(pipe, kControlAfterFailure);
            return kFailed;
        }
        return kOk;
    });
}

}  // namespace
}  // namespace tavc::usbpipe

using tavc::usbpipe::ReadPipe;
using tavc::usbpipe::WritePipe;

extern "C" {

USBPIPE_API int32_t ReadPort1(void* buffer, int32_t length) {
    return ReadPipe("PIPE00", buffer, length);
}

USBPIPE_API int32_t ReadPort2(void* buffer, int32_t length) {
    return ReadPipe("PIPE02", buffer, length);
}

USBPIPE_API int32_t WritePort1(const void* buffer, int32_t length) {
    return WritePipe("PIPE01", buffer, length);
}

USBPIPE_API int32_t WritePort2(const void* buffer, int32_t length) {
    return WritePipe("PIPE03", buffer, length);
}

}  // extern "C"
