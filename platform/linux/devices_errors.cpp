// The one place where libusb's and udev's errors become the devices facility's results.
#include <libusb.h>

#include <cerrno>

#include "devices_backend.h"

namespace tavc::devices::backend {

Status status_from_errno(int error) {
    switch (error) {
        case 0:
            return Status::Ok;
        case ENOENT:
        case ENOTDIR:
        case ENODEV:
        case ENXIO:
            return Status::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return Status::Denied;
        case EBUSY:
            return Status::Busy;
        default:
            return Status::Failed;
    }
}

Status status_from_libusb(int error) {
    return error == LIBUSB_SUCCESS ? Status::Ok : status_from_errno(errno_from_libusb(error));
}

int errno_from_libusb(int error) {
    switch (error) {
        case LIBUSB_SUCCESS:
            return 0;
        case LIBUSB_ERROR_INVALID_PARAM:
            return EINVAL;
        case LIBUSB_ERROR_ACCESS:
            return EACCES;
        case LIBUSB_ERROR_NO_DEVICE:
            return ENODEV;
        case LIBUSB_ERROR_NOT_FOUND:
            return ENOENT;
        case LIBUSB_ERROR_BUSY:
            return EBUSY;
        case LIBUSB_ERROR_TIMEOUT:
            return ETIMEDOUT;
        case LIBUSB_ERROR_OVERFLOW:
            return EOVERFLOW;
        case LIBUSB_ERROR_PIPE:
            return EPIPE;
        case LIBUSB_ERROR_INTERRUPTED:
            return EINTR;
        case LIBUSB_ERROR_NO_MEM:
            return ENOMEM;
        case LIBUSB_ERROR_NOT_SUPPORTED:
            return ENOTSUP;
        default:  // LIBUSB_ERROR_IO, LIBUSB_ERROR_OTHER
            return EIO;
    }
}

ReadResult read_failure_from_libusb(int error) {
    if (error == LIBUSB_ERROR_TIMEOUT) return {ReadStatus::TimedOut, 0};
    return {ReadStatus::Failed, errno_from_libusb(error)};
}

}  // namespace tavc::devices::backend
