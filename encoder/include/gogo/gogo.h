/* libgogo: an MP3 encoder library with the MPGE_* call sequence, built on LAME.
 *
 * Programs load it at run time (dlopen / LoadLibrary) and look the nine entry
 * points up by name; nothing here needs to be linked. The state of one encoding
 * belongs to the thread that called MPGE_initializeWork: every later call of that
 * encoding must come from the same thread, and the reader is called on it. Two
 * threads can therefore encode two files at the same time. encoder/README.md
 * documents the items and results. */
#ifndef GOGO_GOGO_H
#define GOGO_GOGO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t MPGE_RESULT;

/* Results. */
#define MPGE_OK 0u
#define MPGE_END 1u           /* MPGE_processFrame: the input ended and the file is complete */
#define MPGE_BAD_ITEM 2u      /* unknown option item */
#define MPGE_BAD_PARAMETER 3u /* an item's parameters are out of range */
#define MPGE_NOT_READY 4u     /* call out of sequence (not initialised, not configured, ...) */
#define MPGE_CANNOT_OPEN_OUTPUT 5u
#define MPGE_WRITE_FAILED 6u
#define MPGE_ENCODER_FAILED 7u /* LAME refused the settings or failed while encoding */
#define MPGE_NO_MEMORY 8u
/* 10 is left free: callers use it for "entry point not bound". */

/* Fills `buffer` with exactly `bytes` bytes of input and returns 0, or returns
 * non-zero when the input has ended (or failed); the buffer is then ignored. */
typedef int (*MPGE_READER)(void* buffer, uint32_t bytes);

/* Input description passed with item MPGE_ITEM_INPUT; copied by the library. */
typedef struct MPGE_INPUT {
    MPGE_READER reader;
    uint32_t length_bytes;    /* MPGE_LENGTH_UNKNOWN, or the input size in bytes */
    uint32_t bits_per_sample; /* 16 (signed, little-endian) or 8 (unsigned) */
    uint32_t rate_hz;
    uint32_t channels; /* 1 or 2, interleaved left, right */
} MPGE_INPUT;

#define MPGE_LENGTH_UNKNOWN 0xFFFFFFFFu
#define MPGE_INPUT_READER 2u /* first parameter of MPGE_ITEM_INPUT */

/* Option items for MPGE_setConfigure(item, first, second). */
#define MPGE_ITEM_INPUT 1u      /* (MPGE_INPUT_READER, MPGE_INPUT*) */
#define MPGE_ITEM_OUTPUT 2u     /* (0, const char* file name) or (1, 0) for standard output */
#define MPGE_ITEM_TAG 16u       /* (128, ID3v1 tag starting with "TAG") or (length, ID3v2 tag) */
#define MPGE_ITEM_BITRATE 1000u /* (kbps, 0): constant bit rate, 8 to 320 */
#define MPGE_ITEM_VBR 1001u     /* (quality 0 best to 9 smallest, 0): variable bit rate */
#define MPGE_ITEM_QUALITY 1002u /* (0 best/slowest to 9 fastest, 0): LAME's algorithm quality */

/* Items for MPGE_getConfigure(item, out). */
#define MPGE_INFO_BITRATE 1000u       /* uint32_t: kbps, 0 in VBR mode */
#define MPGE_INFO_VBR 1001u           /* int32_t: VBR quality, -1 in CBR mode */
#define MPGE_INFO_QUALITY 1002u       /* int32_t */
#define MPGE_INFO_BYTES_WRITTEN 1003u /* uint64_t: MP3 bytes written so far */
#define MPGE_INFO_FRAMES_READ 1004u   /* uint64_t: input sample frames taken from the reader */
#define MPGE_INFO_DELAY 1005u         /* uint32_t: encoder delay in samples (after detect) */

#define MPGE_VERSION_CODE 310u
#define MPGE_VERSION_TEXT_SIZE 260u /* MPGE_getVersion's text buffer must hold this many bytes */

MPGE_RESULT MPGE_initializeWork(void);
MPGE_RESULT MPGE_setConfigure(uint32_t item, uintptr_t first, uintptr_t second);
MPGE_RESULT MPGE_getConfigure(uint32_t item, void* out);
MPGE_RESULT MPGE_detectConfigure(void);
MPGE_RESULT MPGE_processFrame(void);
MPGE_RESULT MPGE_closeCoder(void);
MPGE_RESULT MPGE_endCoder(void);
MPGE_RESULT MPGE_getVersion(uint32_t* code, char* text);
MPGE_RESULT MPGE_getUnitStates(uint32_t* units);

#ifdef __cplusplus
}
#endif

#endif
