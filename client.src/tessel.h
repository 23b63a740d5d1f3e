/*
 * tessel: the TAV-C terminal client library.
 *
 * Drives the customer terminal over its serial line, keeps the cache file of clerk logins and customer
 * ratings beside the host program (or per user), sends logins and ratings to the rating server, and hands
 * speech and sound commands to the command agent.
 *
 * Conventions of every export:
 * - Texts are zero-terminated GBK (code page 936) strings, owned by the caller for the duration of the
 *   call; lengths are byte counts. A boolean is one byte in a 32-bit argument: only the low byte counts.
 * - Every export runs on the caller's thread and blocks it until done; call them from one thread at a
 *   time (they share the serial port without a lock).
 * - The result is an ExportResult: 0 success; -1 port not open / malformed server URL / agent unreachable
 *   / upload could not reach the server; -2 serial write failed / TCP connection failed / host program's
 *   folder not found; -3 text packet cannot be built; -4 serial read failed; -5 no reply in time.
 *   A server request passes the server's reply digit (0-9) through. No failure leaves an export in any
 *   other way.
 */
#ifndef TESSEL_H
#define TESSEL_H

#include <stdint.h>

#if defined(TESSEL_BUILDING)
#define TESSEL_API __attribute__((visibility("default")))
#else
#define TESSEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t ExportResult;

/* ---- Serial link ---------------------------------------------------------------------------------
 * The port is opened when the library is loaded, from "Comport" (1-9 open COM1-COM9, any other value
 * COM10; default 1) and "BAUND_RATE" (default 9600) under HKEY_CURRENT_USER\Software\TAVC\Settings; a
 * value stored with a type other than a 32-bit number counts as missing. COMn is the tty that
 * $XDG_CONFIG_HOME/tavc/dosdevices/comn links to, else /dev/ttyS(n-1); it is held exclusively, at the
 * baud rate, 8N1, raw, until the library is unloaded. When it cannot be opened the message
 * "打开串口%d出错!" (with the number as configured) goes to standard error and, where the session offers
 * one, a desktop notification; every serial export then answers -1 until a TAVCReset succeeds. */

/* Closes the port and opens it again from the current settings. Returns 0 when the port is open
 * afterwards, -1 when it is not. Shows the open failure message like loading does. */
TESSEL_API ExportResult TAVCReset(void);

/* ---- Terminal commands ---------------------------------------------------------------------------
 * Each write is followed by a 50 ms pause; a write that fails answers -2 at once. -1 (port not open,
 * nothing written) comes before any check of the arguments. A command that cannot be built, because an
 * argument is null or longer than the 64-byte command buffer allows (code over 61 bytes, user id over
 * 54 bytes, text over 50 bytes), is refused with -3 and nothing of it is written. */

/* Writes "PJ" + code. 0, -1, -2. */
TESSEL_API ExportResult TAVCCommand(const char* code);
/* "PJ22", the welcome screen. 0, -1, -2. */
TESSEL_API ExportResult TAVCShowWelcome(void);
/* "PJ29", clear the screen. 0, -1, -2. */
TESSEL_API ExportResult TAVCCls(void);
/* Clerk login on the terminal: "PJDL0000" + user + "0", then "PJ22". 0, -1, -2. */
TESSEL_API ExportResult TAVCLogin(const char* user);
/* "PJ21", ask the customer for a rating. 0, -1, -2. */
TESSEL_API ExportResult TAVCAskforRemark(void);
/* "PJ28", the second rating step. 0, -1, -2. */
TESSEL_API ExportResult TAVCAskforRemark2(void);
/* Writes "PJQ" and reads one byte within 501 ms. On 0 the byte is stored through remark; on -1, -4
 * (read failed, or remark is null: then nothing is written) and -5 (no byte) *remark is untouched. */
TESSEL_API ExportResult TAVCReadRemark(char* remark);
/* Text packet: text at (x, y) in colour 0x00BBGGRR (sent as RGB565). 0, -1, -2, -3. */
TESSEL_API ExportResult TAVCPrintText(int32_t x, int32_t y, int32_t color, const char* text);
/* "PJ23", then the amount at (96, 318) in white. Each step is a command of its own: the first step
 * that fails ends the export with its result, so a refused text (-3) comes after the screen has been
 * switched. 0, -1, -2, -3. */
TESSEL_API ExportResult TAVCShowCost(const char* amount);
/* "PJ24", then received at (96, 318) and change at (96, 354), white. */
TESSEL_API ExportResult TAVCShowPayReturn(const char* received, const char* change);
/* "PJ31", then item (80, 318), amount (80, 356) and total (80, 436), white. */
TESSEL_API ExportResult TAVCShowItemCosts(const char* item, const char* amount, const char* total);

/* ---- Agent commands ------------------------------------------------------------------------------
 * Each call activates the command agent corvis on the session bus (which starts it when none runs,
 * waiting at most 5 s), hands it one agent command "word\t<n>\t<argument field of n GBK bytes>" and
 * releases it, all within the call. The agent runs the command about 50 ms after the release, so 0
 * means only that the agent accepted it. -1: no session bus, the agent not registered or not started in
 * time, the command refused by the agent, or a command the agent could not read as it is sent, which
 * is refused before anything is sent: a null text, a text that is not valid GBK, an argument field over
 * 64 bytes (a text over 64 bytes for TAVSoundOut, over 62 for the other two), for TAVSoftSoundOut a
 * text with white space (blank, TAB, line end), and for TAVSpeak a text of nothing but white space (the
 * empty text included): the agent reads those texts only up to the first white space and would read the
 * rest, or the flag, in their place. Only the low byte of flag counts. */

/* "SoundOut": the driver's SoundOut(text). 0, -1. */
TESSEL_API ExportResult TAVSoundOut(const char* text);
/* "SoftSoundOut" with the argument field text + TAB + "1" or "0": the driver's SoftSoundOut(text, flag).
 * 0, -1. */
TESSEL_API ExportResult TAVSoftSoundOut(const char* text, int32_t flag);
/* "TAVSpeak" with the argument field text + TAB + "1" or "0": the driver's TAVSpeak(word, 0), word being
 * the text's first run without white space (a text of several lines is sent whole, its first word is
 * spoken); the agent gives the flag no effect. 0, -1. */
TESSEL_API ExportResult TAVSpeak(const char* text, int32_t flag);

/* ---- Cache file "tavc.cache" beside the host program ----------------------------------------------
 * The file lies in the folder of the executable of the calling process. Where the process may not write
 * that folder (a program installed under /usr or /opt), it lies in $XDG_STATE_HOME/tavc/<the folder's
 * path, its slashes as '-', as systemd-escape --path writes it>/ (~/.local/state without XDG_STATE_HOME),
 * one folder per user and installation; every export below uses the same rule. It holds the logins the server
 * confirmed and the ratings not yet sent, every name and value as upper-case hex of its bytes (read in
 * either case). Each change replaces the file whole (through "tavc.cache.tmp") under the lock of
 * "tavc.cache.lock", waited for at most 5 s, so a crash or a second process never leaves it half written;
 * reading takes no lock. It is created readable by its owner only. A null text counts as the empty text
 * in every export below. */

/* Offline login: 0 the password matches, byte for byte, the one the server last confirmed for user;
 * 2 user is the reserved id "qelto" (tested first); 3 the password differs, or the server never
 * confirmed user (whatever the password, the empty one included); -2 host program's folder not found. */
TESSEL_API ExportResult TAVCLoginToCache(const char* user, const char* passwd);
/* Stores one rating "user,remark,detail" (remark: the low byte; 0 ends the record after "user,") under
 * the current local time "yyyy-mm-dd%20hh:mm:ss". A rating never replaces another: when that second's
 * key is taken, the rating gets the next free second. 0 stored; -2 not stored (folder not found, the
 * file cannot be written, or its lock was not had within 5 s). */
TESSEL_API ExportResult TAVCRemarkToCache(const char* user, int32_t remark, const char* detail);

/* ---- Rating server -------------------------------------------------------------------------------
 * One HTTP GET per call on a connection of its own. url is "http://host/dir/": the host (a ":port"
 * in it stays part of the name) and the first directory are used; port is the TCP port, used for the
 * connection and in the Host header. In user, passwd, remark and detail the control bytes, the blank and
 * " # % & + = are percent-encoded, every other byte (GBK included) goes as it stands; time goes as it
 * stands but for control bytes and blanks. The answer is the first reply line ending in "</>".
 * Results: the answer line's first digit 0-9; -1 malformed URL (nothing sent); -2 no connection (name,
 * port outside 1-65535, refused, or 1000 ms passed); -5 no answer line within 5000 ms of sending, the
 * connection closed before one, or an answer line that does not begin with a digit. Reply lines over
 * 16384 bytes are skipped. Blocks up to about 6 s. */

/* Server login; 0 also stores the login in the cache file (a failed store leaves the 0 standing), which
 * may wait up to 5 s more for the cache's lock. */
TESSEL_API ExportResult TAVCLoginToDB(const char* user, const char* passwd, const char* url, int32_t port);
/* Sends one rating; time is a cached time stamp "yyyy-mm-dd%20hh:mm:ss". */
TESSEL_API ExportResult TAVCRemarkToDB(const char* user, int32_t remark, const char* detail, const char* time,
                                       const char* url, int32_t port);
/* Sends the cached ratings in file order, at most 381 per call (the rest wait for the next call), and
 * deletes each one right after the server accepts it. A rating the server refuses or does not answer
 * stays and is sent again next time; a record lacking its remark or detail field stays unsent. The
 * detail is all that follows the second comma of the record. One walk at a time per cache (the lock of
 * "tavc.cache.upload.lock"): a second call waits for the first at most 5 s. An accepted rating is
 * deleted only while its key still holds the record sent. 0 the walk went through; -1 a request could
 * not connect, or the URL is malformed, and the walk stopped there; -2 the host program's folder was not
 * found, another walk went on for more than 5 s, or the cache file could not be read or an accepted
 * rating not deleted (the walk stops then). */
TESSEL_API ExportResult TAVCUploadRemarks(const char* url, int32_t port);

#ifdef __cplusplus
}
#endif

#endif /* TESSEL_H */
