/*
 * usbpipe: the USB port library.
 *
 * Moves blocks of bytes to and from the USB device of the device interface class
 * {682C3004-DA2F-4D13-B7B4-6CAB9C5DA05A} over its four bulk pipes. Each export finds the device afresh
 * (the first interface of the class, in name order, that opens; see $TAVC_DEVICE_ROOT, /dev/tavc by
 * default), opens its pipe, moves one block and closes everything again: no handle is kept between
 * calls.
 *
 * Conventions of every export:
 * - buffer points to length bytes owned by the caller for the duration of the call; length is a byte
 *   count from 0 up. A negative length, or a null buffer with a length over 0, answers -1 at once.
 * - The result is 0 on success and -1 on any failure; nothing else reports a failure (no message, no
 *   error text). After a failed transfer the library has sent the device the control request 0x220008
 *   on that pipe.
 * - With no device of the class, or none whose interface opens, every export answers -1 and leaves the
 *   buffer untouched. An interface path over 248 bytes counts as one that does not open.
 * - The exports may be called from several threads at once: each call keeps its own device path.
 *   Two calls on the same pipe then share its blocks between them, each block whole.
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

/* Reads length bytes from the pipe "PIPE00" into buffer. Bytes waiting at the call end it at once: 0
 * when they fill the buffer, -1 when they are fewer (the buffer then holds them). Otherwise it waits at
 * most 1000 ms for the device: 0 when a block arrives, however short (the buffer holds it; the library
 * does not report how many bytes came); -1 when none does, and then no byte is stored, during the call
 * or after it. A read of 0 bytes answers 0. Blocks the calling thread for up to about 1 s. */
USBPIPE_API int32_t ReadPort1(void* buffer, int32_t length);

/* The same as ReadPort1 on the pipe "PIPE02". */
USBPIPE_API int32_t ReadPort2(void* buffer, int32_t length);

/* Writes the length bytes of buffer to the pipe "PIPE01": 0 when the device took them all, -1 when it
 * refused them. Blocks for as long as the device takes, without a time-out. */
USBPIPE_API int32_t WritePort1(const void* buffer, int32_t length);

/* The same as WritePort1 on the pipe "PIPE03". */
USBPIPE_API int32_t WritePort2(const void* buffer, int32_t length);

#ifdef __cplusplus
}
#endif

#endif /* USBPIPE_H */
