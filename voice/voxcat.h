/*
 * voxcat: the voice synthesis library.
 *
 * Speaks GBK texts, numbers and amounts by joining recorded pieces (8-bit unsigned mono PCM, 11025
 * samples per second) into one WAV image and playing it on the sound device; and builds the voice
 * library files it speaks from: "vlib.dat" (samples), "vlib.dat.idx" (offsets of the letter and numbered
 * pieces), "vlib.dat.sdx" (word records) and "vlib.dat.wdx" (hanzi map). The speaker reads them from the
 * folder that holds libvoxcat.so itself.
 *
 * Conventions of every export: paths and texts are zero-terminated byte strings (texts in GBK, code page
 * 936) owned by the caller for the call; every export runs on the caller's thread and blocks it until
 * done; no failure leaves an export other than through its result.
 */
#ifndef VOXCAT_H
#define VOXCAT_H

#include <stdint.h>

#if defined(VOXCAT_BUILDING)
#define VOXCAT_API __attribute__((visibility("default")))
#else
#define VOXCAT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Builds the four library files in libDir (which must exist; the files are created anew) from srcDir:
 * the letter pieces srcDir/single/A.wav to Z.wav, the numbered pieces srcDir/single/1.wav to 1221.wav,
 * the word pieces srcDir/section/<file> named by the word list srcDir/dir.txt (lines "word,file" plus one
 * character before the line end, CR CR LF lists qualify), and the hanzi list srcDir/wordindex.txt (one
 * piece number per GB2312 position). Each piece contributes the bytes behind its first 44. Before opening
 * each piece it prints "process <path>...\n" on standard output; a word-list line without a comma, with a
 * word over 31 bytes or with fewer than two characters behind the comma is skipped with a line on standard
 * error. Safe to call while the library speaks: what is loaded is not changed.
 * Result: 0 built; -1 "vlib.dat" cannot be created or written; -2 "vlib.dat.idx" likewise; -3 a numbered
 * piece cannot be opened; -4 "vlib.dat.sdx" cannot be created or written; -5 "dir.txt" cannot be opened;
 * -6 a read error in it; -7 a word piece cannot be opened; -8 a letter piece cannot be opened; -9
 * "vlib.dat.wdx" cannot be created or written; -10 "wordindex.txt" cannot be opened; -11 a read error in
 * it; a null path gives -1. The first failure ends the build; files already written stay, incomplete. */
VOXCAT_API int32_t RebuildLib(const char* srcDir, const char* libDir);

/* Speaks text (GBK) and returns when it has been played on the ALSA device "default". Runs of ASCII
 * digits and points are read as Chinese numbers (12.5 as 十二点五, 100010 as 十万零一十); words of the
 * library are preferred where the text begins with one, in library order; other letters and hanzi get
 * their own pieces; anything else, and a piece the library files do not hold, a silence block of 256
 * samples. The index is loaded once, when the library is loaded; ignored has no effect. Calls from
 * several threads share nothing but the sound device.
 * Result: 1 played; 0 not played (the device failed, or the image could not be made); -1 "vlib.dat.idx"
 * was missing at load or "vlib.dat" is missing now; -2 "vlib.dat.wdx" was missing at load; -3
 * "vlib.dat.sdx" was missing at load; 100 the library's own folder was not found at load. A load failure
 * answers every call at once, without touching any file. A null text is the empty text. */
VOXCAT_API int32_t SyntheVoice(const char* text, int32_t ignored);

#ifdef __cplusplus
}
#endif

#endif /* VOXCAT_H */
