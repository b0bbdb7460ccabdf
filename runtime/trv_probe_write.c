/* Recording a probe file: records appended through a bounded buffer, written
 * every few records, at the end, at exit and on a fatal signal.
 *
 * This object defines the four recording functions and nothing else that
 * links from outside: a generated probe file of the DEFAULT kind defines
 * its own trv_create_probe and trv_write_probe, and must not pull it in. */
#define _GNU_SOURCE
#include "trv_probe_format.h"
#include "trv_private.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define TRV_K_PROBE_OPEN_MAX 256 /* recordings open at once */

/* The open recordings, read by the flush on a fatal signal. */
static TRV_PT_PRB trv_recordings[TRV_K_PROBE_OPEN_MAX];
static pthread_mutex_t trv_recordings_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_once_t trv_recording_hooks_once = PTHREAD_ONCE_INIT;

/* ---- Writing ---------------------------------------------------------------------- */

/* The buffered records that a write took whole before it failed. */
static unsigned long trv_probe_whole_records_written(TRV_PT_PRB prb)
{
    unsigned long whole = 0;
    size_t at = 0;
    while (at + TRV_K_PROBE_RECORD_HEAD <= prb->flushed) {
        at += TRV_K_PROBE_RECORD_HEAD + trv_probe_get32(prb->buffer + at + 20);
        if (at > prb->flushed) {
            break;
        }
        ++whole;
    }
    return whole;
}

static void trv_probe_report_failure(TRV_PT_PRB prb, int error)
{
    unsigned long first_lost = prb->recorded - (unsigned long)prb->pending + 1 + trv_probe_whole_records_written(prb);
    prb->failed = 1;
    fprintf(stderr, "qvm probe: %s: cannot write (%s): the records from #%lu on are lost\n", prb->path,
            strerror(error), first_lost);
    fflush(stderr);
}

/* Writes all of the bytes; the errno of the failure, or 0. */
static int trv_probe_write_all(int fd, const unsigned char *bytes, size_t length, size_t *done)
{
    while (length > 0) {
        ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written < 0 ? errno : EIO;
        }
        bytes += written;
        length -= (size_t)written;
        if (done != NULL) {
            __atomic_store_n(done, *done + (size_t)written, __ATOMIC_SEQ_CST);
        }
    }
    return 0;
}

/* Writes the buffered records and empties the buffer; called with the lock held. */
static void trv_probe_flush(TRV_PT_PRB prb)
{
    if (!prb->failed && prb->used > prb->flushed) {
        int error = trv_probe_write_all(prb->fd, prb->buffer + prb->flushed, prb->used - prb->flushed, &prb->flushed);
        if (error != 0) {
            trv_probe_report_failure(prb, error);
        }
    }
    __atomic_store_n(&prb->used, 0, __ATOMIC_SEQ_CST);
    __atomic_store_n(&prb->flushed, 0, __ATOMIC_SEQ_CST);
    prb->pending = 0;
}

/* On a fatal signal: writes what each recording of this process holds and
 * no write took yet, with write(2) only. */
static void trv_probe_flush_on_signal(void)
{
    pid_t self = getpid();
    int i;
    for (i = 0; i < TRV_K_PROBE_OPEN_MAX; ++i) {
        TRV_PT_PRB prb = __atomic_load_n(&trv_recordings[i], __ATOMIC_SEQ_CST);
        if (prb != NULL && prb->owner == self && !prb->failed) {
            size_t used = __atomic_load_n(&prb->used, __ATOMIC_SEQ_CST);
            size_t flushed = __atomic_load_n(&prb->flushed, __ATOMIC_SEQ_CST);
            if (used > flushed) {
                trv_probe_write_all(prb->fd, prb->buffer + flushed, used - flushed, NULL);
                __atomic_store_n(&prb->flushed, used, __ATOMIC_SEQ_CST);
            }
        }
    }
}

/* At exit: what the application did not end is written all the same. */
static void trv_probe_flush_at_exit(void)
{
    pid_t self = getpid();
    int i;
    pthread_mutex_lock(&trv_recordings_lock);
    for (i = 0; i < TRV_K_PROBE_OPEN_MAX; ++i) {
        TRV_PT_PRB prb = trv_recordings[i];
        if (prb != NULL && prb->owner == self) {
            pthread_mutex_lock(&prb->lock);
            trv_probe_flush(prb);
            pthread_mutex_unlock(&prb->lock);
        }
    }
    pthread_mutex_unlock(&trv_recordings_lock);
}

static void trv_install_recording_hooks(void)
{
    atexit(trv_probe_flush_at_exit);
    trv_guard_flush_on_fatal(trv_probe_flush_on_signal);
}

/* ---- Creation ---------------------------------------------------------------------- */

static int trv_probe_enlist(TRV_PT_PRB prb)
{
    int i;
    pthread_mutex_lock(&trv_recordings_lock);
    for (i = 0; i < TRV_K_PROBE_OPEN_MAX && trv_recordings[i] != NULL; ++i) {
    }
    if (i < TRV_K_PROBE_OPEN_MAX) {
        prb->slot = i;
        __atomic_store_n(&trv_recordings[i], prb, __ATOMIC_SEQ_CST);
    }
    pthread_mutex_unlock(&trv_recordings_lock);
    return i < TRV_K_PROBE_OPEN_MAX;
}

static void trv_probe_delist(TRV_PT_PRB prb)
{
    pthread_mutex_lock(&trv_recordings_lock);
    __atomic_store_n(&trv_recordings[prb->slot], NULL, __ATOMIC_SEQ_CST);
    pthread_mutex_unlock(&trv_recordings_lock);
}

static void trv_probe_free(TRV_PT_PRB prb)
{
    if (prb->fd >= 0) {
        close(prb->fd);
    }
    pthread_mutex_destroy(&prb->lock);
    free(prb->buffer);
    free(prb);
}

static void trv_probe_put_header(TRV_PT_PRB prb, const char *instance, size_t name_length)
{
    struct timespec wall;
    TRV_T_DATE now;
    uint32_t order = TRV_K_PROBE_ORDER;
    unsigned char *at = prb->buffer;
    clock_gettime(CLOCK_REALTIME, &wall);
    trv_get_date(&now);
    memcpy(at, TRV_K_PROBE_MAGIC, TRV_K_PROBE_MAGIC_SIZE);
    trv_probe_put32(at + 8, TRV_K_PROBE_VERSION);
    memcpy(at + 12, &order, sizeof order);
    trv_probe_put64(at + 16, (uint64_t)(int64_t)wall.tv_sec);
    trv_probe_put32(at + 24, (uint32_t)wall.tv_nsec);
    trv_probe_put64(at + 28, (uint64_t)(int64_t)now.trv_sec);
    trv_probe_put32(at + 36, (uint32_t)now.trv_nsec);
    trv_probe_put32(at + 40, (uint32_t)name_length);
    memcpy(at + TRV_K_PROBE_HEADER_SIZE, instance, name_length);
    prb->used = TRV_K_PROBE_HEADER_SIZE + name_length;
}

/* The handle with its file name, or NULL with the reason on standard error. */
static TRV_PT_PRB trv_probe_allocate(const char *path, const char *instance)
{
    TRV_PT_PRB prb = calloc(1, sizeof *prb);
    int length;
    if (prb == NULL || (prb->buffer = malloc(TRV_K_PROBE_BUFFER)) == NULL) {
        fprintf(stderr, "qvm probe: out of memory\n");
        free(prb);
        return NULL;
    }
    prb->fd = -1;
    pthread_mutex_init(&prb->lock, NULL);
    length = snprintf(prb->path, sizeof prb->path, "%s%s.prb", path, instance);
    if (length < 0 || (size_t)length >= sizeof prb->path) {
        fprintf(stderr, "qvm probe: the probe file name of instance %s is longer than %d characters\n", instance,
                TRV_K_PROBE_PATH - 1);
        trv_probe_free(prb);
        return NULL;
    }
    return prb;
}

TRV_PT_PRB trv_create_probe(TRV_PT_CAR path, TRV_PT_CAR instance, TRV_T_INT p1)
{
    const char *name = instance != NULL ? instance : "";
    size_t name_length = strlen(name);
    TRV_PT_PRB prb;
    if (name_length > TRV_K_PROBE_NAME_MAX) {
        fprintf(stderr, "qvm probe: the instance name %s is longer than %d bytes: nothing is recorded\n", name,
                TRV_K_PROBE_NAME_MAX);
        return NULL;
    }
    prb = trv_probe_allocate(path != NULL ? path : "", name);
    if (prb == NULL) {
        return NULL;
    }
    prb->fd = open(prb->path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (prb->fd < 0) {
        fprintf(stderr, "qvm probe: %s: cannot create (%s): nothing is recorded\n", prb->path, strerror(errno));
        trv_probe_free(prb);
        return NULL;
    }
    pthread_once(&trv_recording_hooks_once, trv_install_recording_hooks);
    if (!trv_probe_enlist(prb)) {
        fprintf(stderr, "qvm probe: %s: more than %d probe files open at once: nothing is recorded\n", prb->path,
                TRV_K_PROBE_OPEN_MAX);
        trv_probe_free(prb);
        return NULL;
    }
    prb->owner = getpid();
    prb->flush_every = p1 > 0 ? (long)p1 : TRV_K_PROBE_RECORDS;
    trv_probe_put_header(prb, name, name_length);
    pthread_mutex_lock(&prb->lock);
    trv_probe_flush(prb);
    pthread_mutex_unlock(&prb->lock);
    if (prb->failed) {
        trv_probe_delist(prb);
        trv_probe_free(prb);
        return NULL;
    }
    return prb;
}

/* ---- Records ----------------------------------------------------------------------- */

static void trv_probe_put_head(unsigned char *at, TRV_T_UINT code, TRV_T_UINT key, TRV_T_UINT length)
{
    TRV_T_DATE now;
    trv_get_date(&now);
    trv_probe_put64(at, (uint64_t)(int64_t)now.trv_sec);
    trv_probe_put32(at + 8, (uint32_t)now.trv_nsec);
    trv_probe_put32(at + 12, code);
    trv_probe_put32(at + 16, key);
    trv_probe_put32(at + 20, length);
}

/* A record too long for the buffer goes straight to the file, after what
 * the buffer holds. */
static void trv_probe_write_direct(TRV_PT_PRB prb, const unsigned char *head, const void *msg, TRV_T_UINT length)
{
    int error;
    trv_probe_flush(prb);
    if (prb->failed) {
        return;
    }
    ++prb->recorded;
    error = trv_probe_write_all(prb->fd, head, TRV_K_PROBE_RECORD_HEAD, NULL);
    if (error == 0) {
        error = trv_probe_write_all(prb->fd, msg, length, NULL);
    }
    if (error != 0) {
        prb->pending = 1; /* the lost records begin with this one */
        trv_probe_report_failure(prb, error);
        prb->pending = 0;
    }
}

static void trv_probe_append(TRV_PT_PRB prb, TRV_T_UINT code, TRV_T_UINT key, const void *msg, TRV_T_UINT length)
{
    size_t size = TRV_K_PROBE_RECORD_HEAD + (size_t)length;
    unsigned char head[TRV_K_PROBE_RECORD_HEAD];
    trv_probe_put_head(head, code, key, length);
    if (size > TRV_K_PROBE_BUFFER) {
        trv_probe_write_direct(prb, head, msg, length);
        return;
    }
    if (prb->used + size > TRV_K_PROBE_BUFFER) {
        trv_probe_flush(prb);
        if (prb->failed) {
            return;
        }
    }
    ++prb->recorded;
    memcpy(prb->buffer + prb->used, head, sizeof head);
    if (length > 0) {
        memcpy(prb->buffer + prb->used + sizeof head, msg, length);
    }
    __atomic_store_n(&prb->used, prb->used + size, __ATOMIC_SEQ_CST);
    if (++prb->pending >= prb->flush_every) {
        trv_probe_flush(prb);
    }
}

void trv_write_probe(TRV_PT_PRB prb, TRV_T_UINT code, TRV_T_UINT key, const void *msg, TRV_T_UINT length)
{
    if (prb == NULL || prb->reading) {
        return;
    }
    if (length > TRV_K_PROBE_MESSAGE_MAX) {
        fprintf(stderr, "qvm probe: %s: a message of %u bytes (code %u) is not recorded: a record holds %u bytes at most\n",
                prb->path, length, code, TRV_K_PROBE_MESSAGE_MAX);
        return;
    }
    if (msg == NULL && length > 0) {
        fprintf(stderr, "qvm probe: %s: a message of %u bytes at a null address (code %u) is not recorded\n", prb->path,
                length, code);
        return;
    }
    pthread_mutex_lock(&prb->lock);
    if (!prb->failed) {
        trv_probe_append(prb, code, key, msg, length);
    }
    pthread_mutex_unlock(&prb->lock);
}

void trv_write_key(TRV_PT_PRB prb, TRV_T_UINT code, TRV_T_UINT value)
{
    trv_write_probe(prb, code, 0, &value, (TRV_T_UINT)sizeof value);
}

void trv_end_probe(TRV_PT_PRB prb)
{
    if (prb == NULL || prb->reading) {
        return;
    }
    trv_probe_delist(prb);
    pthread_mutex_lock(&prb->lock);
    trv_probe_flush(prb);
    pthread_mutex_unlock(&prb->lock);
    if (close(prb->fd) != 0 && !prb->failed) {
        fprintf(stderr, "qvm probe: %s: cannot close (%s): records may be missing at its end\n", prb->path,
                strerror(errno));
        fflush(stderr);
    }
    prb->fd = -1;
    trv_probe_free(prb);
}
