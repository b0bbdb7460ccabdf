/* Reading a probe file back for a replay: the header checked, then one
 * record at a time through a bounded buffer, with damage reported where it
 * begins. */
#define _GNU_SOURCE
#include "trv_probe_format.h"

#include <errno.h>
#include <stdarg.h>
#include <string.h>

static int trv_probe_damage_seen;

int trv_probe_damaged(void)
{
    return __atomic_load_n(&trv_probe_damage_seen, __ATOMIC_SEQ_CST);
}

/* "qvm probe: <file>[ (instance <name>)]: " and the text; the file counts as damaged. */
static void trv_probe_complain(TRV_PT_PRB prb, const char *format, ...) __attribute__((format(printf, 2, 3)));

static void trv_probe_complain(TRV_PT_PRB prb, const char *format, ...)
{
    va_list arguments;
    __atomic_store_n(&trv_probe_damage_seen, 1, __ATOMIC_SEQ_CST);
    fprintf(stderr, "qvm probe: %s%s: ", prb->path, prb->instance);
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    fputc('\n', stderr);
    fflush(stderr);
}

/* Reads up to size bytes; how many were there. A read error is reported
 * and counts as the end of the file. */
static size_t trv_probe_take(TRV_PT_PRB prb, unsigned char *into, size_t size)
{
    size_t got = fread(into, 1, size, prb->file);
    if (got < size && ferror(prb->file)) {
        trv_probe_complain(prb, "read error at byte %lu after %lu records (%s)", prb->offset + (unsigned long)got,
                           prb->read, strerror(errno));
        clearerr(prb->file);
    }
    return got;
}

/* ---- The header -------------------------------------------------------------------- */

static int trv_probe_header_cut(TRV_PT_PRB prb, size_t present, size_t expected)
{
    trv_probe_complain(prb, "damaged at byte %lu after 0 records: the header is cut (%lu bytes, %lu expected)",
                       (unsigned long)present, (unsigned long)present, (unsigned long)expected);
    return 0;
}

static int trv_probe_check_order(TRV_PT_PRB prb, const unsigned char *at)
{
    uint32_t native;
    memcpy(&native, at, sizeof native);
    if (native == TRV_K_PROBE_ORDER) {
        return 1;
    }
    if (native == __builtin_bswap32(TRV_K_PROBE_ORDER)) {
        trv_probe_complain(prb, "recorded on a machine of the other byte order: its messages cannot be replayed here");
    } else {
        trv_probe_complain(prb, "damaged at byte 12 after 0 records: the byte order check is %02x %02x %02x %02x",
                           at[0], at[1], at[2], at[3]);
    }
    return 0;
}

/* 1 when the file begins with a header this library reads; reported otherwise. */
static int trv_probe_read_header(TRV_PT_PRB prb)
{
    unsigned char header[TRV_K_PROBE_HEADER_SIZE + TRV_K_PROBE_NAME_MAX];
    size_t got = trv_probe_take(prb, header, TRV_K_PROBE_HEADER_SIZE);
    size_t compared = got < TRV_K_PROBE_MAGIC_SIZE ? got : TRV_K_PROBE_MAGIC_SIZE;
    uint32_t version;
    uint32_t name_length;
    if (memcmp(header, TRV_K_PROBE_MAGIC, compared) != 0) {
        trv_probe_complain(prb, "not a probe file: it does not begin with \"" TRV_K_PROBE_MAGIC "\"");
        return 0;
    }
    if (got < TRV_K_PROBE_HEADER_SIZE) {
        return trv_probe_header_cut(prb, got, TRV_K_PROBE_HEADER_SIZE);
    }
    version = trv_probe_get32(header + 8);
    if (version != TRV_K_PROBE_VERSION) {
        trv_probe_complain(prb, "probe file version %u (at byte 8): this library reads version %u", version,
                           TRV_K_PROBE_VERSION);
        return 0;
    }
    if (!trv_probe_check_order(prb, header + 12)) {
        return 0;
    }
    name_length = trv_probe_get32(header + 40);
    if (name_length > TRV_K_PROBE_NAME_MAX) {
        trv_probe_complain(prb, "damaged at byte 40 after 0 records: an instance name of %u bytes (at most %d)",
                           name_length, TRV_K_PROBE_NAME_MAX);
        return 0;
    }
    got = trv_probe_take(prb, header + TRV_K_PROBE_HEADER_SIZE, name_length);
    if (got < name_length) {
        return trv_probe_header_cut(prb, TRV_K_PROBE_HEADER_SIZE + got, TRV_K_PROBE_HEADER_SIZE + name_length);
    }
    prb->offset = TRV_K_PROBE_HEADER_SIZE + name_length;
    return 1;
}

/* ---- Opening and closing ---------------------------------------------------------- */

void trv_close_probe(TRV_PT_PRB prb)
{
    if (prb == NULL || !prb->reading) {
        return;
    }
    if (prb->file != NULL) {
        fclose(prb->file);
    }
    free(prb->message);
    free(prb);
}

static void trv_probe_name(TRV_PT_PRB prb, const char *path, const char *instance)
{
    snprintf(prb->path, sizeof prb->path, "%s", path);
    if (instance != NULL && instance[0] != '\0') {
        snprintf(prb->instance, sizeof prb->instance, " (instance %.*s)", TRV_K_PROBE_NAME_MAX, instance);
    }
}

TRV_PT_PRB trv_open_probe(TRV_PT_PRB prb, TRV_PT_CAR path, TRV_PT_CAR riofile, TRV_PT_CAR instance, TRV_PT_CAR other)
{
    TRV_PT_PRB opened = calloc(1, sizeof *opened);
    (void)prb, (void)riofile, (void)other;
    if (opened == NULL) {
        fprintf(stderr, "qvm probe: out of memory\n");
        __atomic_store_n(&trv_probe_damage_seen, 1, __ATOMIC_SEQ_CST);
        return NULL;
    }
    opened->reading = 1;
    opened->fd = -1;
    trv_probe_name(opened, path != NULL ? path : "", instance);
    opened->file = fopen(opened->path, "rbe");
    if (opened->file == NULL) {
        trv_probe_complain(opened, "cannot open (%s)", strerror(errno));
        trv_close_probe(opened);
        return NULL;
    }
    if (!trv_probe_read_header(opened)) {
        trv_close_probe(opened);
        return NULL;
    }
    return opened;
}

/* ---- Records ----------------------------------------------------------------------- */

static int trv_probe_damage(TRV_PT_PRB prb, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* Ends the reading at the record that begins at prb->offset. */
static int trv_probe_damage(TRV_PT_PRB prb, const char *format, ...)
{
    char what[256];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(what, sizeof what, format, arguments);
    va_end(arguments);
    trv_probe_complain(prb, "damaged at byte %lu after %lu records: %s", prb->offset, prb->read, what);
    prb->ended = 1;
    return 0;
}

/* Room for a message of length bytes in the buffer prb owns. */
static int trv_probe_room(TRV_PT_PRB prb, size_t length)
{
    size_t capacity = prb->capacity > 0 ? prb->capacity : 256;
    unsigned char *grown;
    if (prb->message != NULL && length <= prb->capacity) {
        return 1;
    }
    while (capacity < length) {
        capacity *= 2;
    }
    grown = realloc(prb->message, capacity);
    if (grown == NULL) {
        return 0;
    }
    prb->message = grown;
    prb->capacity = capacity;
    return 1;
}

int trv_read_probe(TRV_PT_PRB prb, TRV_T_DATE *time, TRV_T_UINT *code, TRV_T_UINT *key, void **msg)
{
    unsigned char head[TRV_K_PROBE_RECORD_HEAD];
    size_t got;
    uint32_t nanoseconds;
    uint32_t length;
    if (prb == NULL || !prb->reading || prb->ended) {
        return 0;
    }
    got = trv_probe_take(prb, head, sizeof head);
    if (got == 0) {
        prb->ended = 1;
        return 0;
    }
    if (got < sizeof head) {
        return trv_probe_damage(prb, "an incomplete record (%lu of the %d bytes before its message)",
                                (unsigned long)got, TRV_K_PROBE_RECORD_HEAD);
    }
    nanoseconds = trv_probe_get32(head + 8);
    length = trv_probe_get32(head + 20);
    if (nanoseconds >= 1000000000u) {
        return trv_probe_damage(prb, "a time of %u nanoseconds", nanoseconds);
    }
    if (length > TRV_K_PROBE_MESSAGE_MAX) {
        return trv_probe_damage(prb, "a message of %u bytes (at most %u)", length, TRV_K_PROBE_MESSAGE_MAX);
    }
    if (!trv_probe_room(prb, length)) {
        return trv_probe_damage(prb, "out of memory for a message of %u bytes", length);
    }
    got = trv_probe_take(prb, prb->message, length);
    if (got < length) {
        return trv_probe_damage(prb, "the record is cut in its message (%lu of its %u bytes)", (unsigned long)got,
                                length);
    }
    if (time != NULL) {
        time->trv_sec = (TRV_T_LONG)(int64_t)trv_probe_get64(head);
        time->trv_nsec = (TRV_T_LONG)nanoseconds;
    }
    if (code != NULL) {
        *code = trv_probe_get32(head + 12);
    }
    if (key != NULL) {
        *key = trv_probe_get32(head + 16);
    }
    if (msg != NULL) {
        *msg = prb->message;
    }
    prb->length = length;
    prb->offset += TRV_K_PROBE_RECORD_HEAD + length;
    ++prb->read;
    return 1;
}

TRV_T_UINT trv_probe_length(TRV_PT_PRB prb)
{
    return prb != NULL && prb->reading ? prb->length : 0;
}
