/* The layout of a probe file and the handle both its writer and its reader
 * use; not installed.
 *
 *   header   magic "QVMPROBE" (8 bytes), format version (u32), byte order
 *            check (u32, in the recording machine's own order), creation
 *            time on the wall clock (i64 seconds, u32 nanoseconds) and on
 *            the clock of the records (i64 seconds, u32 nanoseconds), the
 *            instance name's length (u32) and its bytes
 *   records  time (i64 seconds, u32 nanoseconds), code (u32), key (u32),
 *            message length (u32), the message bytes
 *
 * Every field but the order check is little-endian; message bytes are
 * copied as the application holds them. */
#ifndef QVM_TRV_PROBE_FORMAT_H
#define QVM_TRV_PROBE_FORMAT_H

#include "probecst.h"

#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

#define TRV_K_PROBE_MAGIC "QVMPROBE"
#define TRV_K_PROBE_MAGIC_SIZE 8
#define TRV_K_PROBE_VERSION 1u
#define TRV_K_PROBE_ORDER 0x01020304u
#define TRV_K_PROBE_HEADER_SIZE 44 /* without the instance name */
#define TRV_K_PROBE_NAME_MAX 255   /* bytes of the instance name */
#define TRV_K_PROBE_RECORD_HEAD 24 /* a record without its message */
#define TRV_K_PROBE_MESSAGE_MAX (1024u * 1024u)
#define TRV_K_PROBE_BUFFER (64 * 1024)   /* bytes a recording keeps before writing */
#define TRV_K_PROBE_RECORDS 64           /* records kept before writing, by default */
#define TRV_K_PROBE_PATH 4096

struct TRV_T_PRB {
    int reading; /* opened by trv_open_probe, not trv_create_probe */
    char path[TRV_K_PROBE_PATH];
    /* Recording. The buffer holds whole records in [0, used), of which
     * [0, flushed) are written; the fatal-signal flush writes the rest. */
    int fd;
    pid_t owner;          /* the process that created it, not a forked child */
    int slot;             /* in the table of open recordings */
    int failed;           /* a write failed: it was reported, the rest is dropped */
    unsigned char *buffer;
    size_t used;
    size_t flushed;
    long pending;         /* records in the buffer */
    long flush_every;
    unsigned long recorded;
    pthread_mutex_t lock;
    /* Replay. */
    FILE *file;
    char instance[TRV_K_PROBE_NAME_MAX + 64];
    unsigned char *message; /* the last record's message */
    size_t capacity;
    TRV_T_UINT length;
    unsigned long offset;   /* of the next record */
    unsigned long read;     /* records read */
    int ended;
};

static inline void trv_probe_put32(unsigned char *at, uint32_t value)
{
    at[0] = (unsigned char)value;
    at[1] = (unsigned char)(value >> 8);
    at[2] = (unsigned char)(value >> 16);
    at[3] = (unsigned char)(value >> 24);
}

static inline void trv_probe_put64(unsigned char *at, uint64_t value)
{
    trv_probe_put32(at, (uint32_t)value);
    trv_probe_put32(at + 4, (uint32_t)(value >> 32));
}

static inline uint32_t trv_probe_get32(const unsigned char *at)
{
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

static inline uint64_t trv_probe_get64(const unsigned char *at)
{
    return (uint64_t)trv_probe_get32(at) | (uint64_t)trv_probe_get32(at + 4) << 32;
}

#endif /* QVM_TRV_PROBE_FORMAT_H */
