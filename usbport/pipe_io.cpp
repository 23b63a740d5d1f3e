#include "pipe_io.h"

namespace tavc::usbpipe {

int32_t TransferResult(const devices::ReadResult& result) {
    switch (result.status) {
        case devices::ReadStatus::Done:
            return kReadDone;
        case devices::ReadStatus::Short:
            return kReadShort;
        case devices::ReadStatus::NotOpen:
            return kReadNoPipe;
        case devices::ReadStatus::TimedOut:
            return kReadTimedOut;
        case devices::ReadStatus::Failed:
            break;
    }
    return result.error;
}

int32_t ReadWithTimeout(const devices::Handle& pipe, void* buffer, size_t length, uint32_t timeout_ms) {
    return TransferResult(devices::read_with_timeout(pipe, buffer, length, timeout_ms));
}

void SendControlRequest(const devices::Handle& pipe, uint32_t code) {
    if (code == kControlAfterFailure) devices::clear_halt(pipe);
}

}  // namespace tavc::usbpipe
