/*
 * usbpipe: the USB port library.
 *
 * Moves blocks of bytes to and from the USB device of the device interface class
 * {682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A} over its four bulk pipes. The interfaces of the class are the
 * USB interfaces whose udev device carries the property
 * TAVC_INTERFACE_CLASS={682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A}, which the device's udev rule sets. Each
 * export finds the device afresh (the first interface of the class, in the order of the sysfs paths,
 * that can be opened and claimed through libusb), moves one block as one bulk transfer and closes
 * everything again: no handle is kept between calls. The pipes are the interface's bulk endpoints in
 * descriptor order: "PIPE00" and "PIPE02" its first and second IN endpoints, "PIPE01" and "PIPE03" its
 * first and second OUT endpoints.
 *
 * Conventions of every export:
 * - buffer points to length bytes owned by the caller for the duration of the call; length is a byte
 *   count from 0 up. A negative length, or a null buffer with a length over 0, answers -1 at once.
 * - The result is 0 on success and -1 on any failure; nothing else reports a failure (no message, no
 *   error text). After a failed transfer the library has sent the device the control request 0x220008
 *   on that pipe, which clears the endpoint's halt.
 * - With no device of the class, or none whose interface opens, every export answers -1 and leaves the
 *   buffer untouched; so does an export whose pipe the interface lacks. An interface path (its sysfs
 *   path) over 248 bytes counts as one that does not open.
 * - The exports may be called from several threads at once: each call keeps its own device path, and
 *   the calls of one process share its claim of the interface. Two calls on the same pipe then share its
 *   blocks between them, each block whole.
 */
#ifndef USBPIPE_H
#define USBPIPE_H

#include <stdint.h>

#if defined(USBPIPE_BUILDING)
#define USBPIPE_API __attribute__((visibility("default")))
#else
#define USBPIPE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Reads one block of length bytes from the pipe "PIPE00" into buffer, waiting at most 1000 ms for the
 * device: 0 when the whole block came; -1 when the device ended it with fewer bytes (the buffer then holds
 * them); -1 when no block came in time or the transfer failed, and then no byte is stored, during the
 * call or after it. A read of 0 bytes answers 0 without a transfer. Blocks the calling thread for up to
 * about 1 s. */
USBPIPE_API int32_t ReadPort1(void* buffer, int32_t length);

/* The same as ReadPort1 on the pipe "PIPE02". */
USBPIPE_API int32_t ReadPort2(void* buffer, int32_t length);

/* Writes the length bytes of buffer to the pipe "PIPE01" as one bulk transfer (0 bytes: a zero-length
 * packet): 0 when the device took them, -1 when it refused them (a halted endpoint, a device gone).
 * Blocks for as long as the device takes, without a time-out. */
USBPIPE_API int32_t WritePort1(const void* buffer, int32_t length);

/* The same as WritePort1 on the pipe "PIPE03". */
USBPIPE_API int32_t WritePort2(const void* buffer, int32_t length);

#ifdef __cplusplus
}
#endif

#endif /* USBPIPE_H */
