/* The text trace: lines kept in the program's trace buffer and written to
 * the trace file at flushes; with no trace level, every line, gathered in a
 * pending buffer that is written whenever the program waits or fails, and
 * at least every TRV_K_PENDING_MS while it runs.
 *
 * A buffered line is stored as one class byte, its text and a newline. */
#include "trv_private.h"

#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <unistd.h>

/* The runs whose direct trace has pending lines to write at exit. */
#define TRV_K_PENDING_RUNS 64
static trv_private *trv_pending_runs[TRV_K_PENDING_RUNS];
static pthread_mutex_t trv_pending_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_once_t trv_pending_exit_once = PTHREAD_ONCE_INIT;
static pid_t trv_pending_pid; /* a child that a fork made leaves them to its parent */

static int trv_buffer_used(const TRV_T_TRACECTX *buffer)
{
    return (int)(buffer->trv_ctxcurrentline - buffer->trv_ctxbuffertrace);
}

static void trv_buffer_reset(TRV_T_TRACECTX *buffer)
{
    buffer->trv_ctxcurrentline = buffer->trv_ctxbuffertrace;
    buffer->trv_ctxlinetoerase = buffer->trv_ctxbuffertrace;
    buffer->trv_ctxlastline = buffer->trv_ctxbuffertrace;
    buffer->trv_ctxbuffersizeleft = buffer->trv_ctxbuffersize;
}

/* A write, flush or close of the trace failed: the run fails, the reason
 * goes to standard error at once, and nothing more is written there. */
static void trv_trace_broken(trv_private *state, int error)
{
    char text[TRV_K_FAILURE_TEXT];
    if (state->trace_error != 0) {
        return;
    }
    state->trace_error = error != 0 ? error : EIO;
    snprintf(text, sizeof text, "the trace file %.150s could not be written (%s)", state->trace_path,
             strerror(state->trace_error));
    fprintf(stderr, "qvm run %s: %s: the trace is incomplete\n", state->tester, text);
    fflush(stderr);
    ++state->checks_failed;
    if (state->listed_count < TRV_K_MAX_LISTED) {
        trv_bounded_copy(state->listed[state->listed_count++], TRV_K_FAILURE_TEXT, text);
    }
    trv_mark_trace_lost();
}

int trv_trace_writable(const trv_private *state)
{
    return state->trace != NULL && state->trace_error == 0;
}

/* The stdio buffer of the trace is flushed before the runtime returns, so
 * that a fatal signal's handler, which writes to the descriptor, follows
 * the last line written. */
static void trv_write_text(trv_private *state, const char *text, size_t length)
{
    if (!trv_trace_writable(state)) {
        return;
    }
    errno = 0;
    if (fwrite(text, 1, length, state->trace) != length || fflush(state->trace) != 0) {
        trv_trace_broken(state, errno);
    }
}

static void trv_write_pending(trv_private *state)
{
    size_t used = state->pending_used;
    if (used == 0) {
        return;
    }
    /* Emptied first: a handler that interrupts the write does not write the
     * lines a second time. */
    state->pending_used = 0;
    trv_write_text(state, state->pending, used);
}

static void trv_write_line(trv_private *state, const char *text, size_t length)
{
    if (!trv_trace_writable(state)) {
        return;
    }
    trv_write_pending(state);
    errno = 0;
    if (fwrite(text, 1, length, state->trace) != length || fputc('\n', state->trace) == EOF ||
        (state->direct && fflush(state->trace) != 0)) {
        trv_trace_broken(state, errno);
    }
}

static void trv_add_pending(trv_private *state, int line_class, const char *text, size_t length)
{
    const TRV_T_UTIME now = trv_now_ms();
    if (state->pending == NULL || length + 1 > TRV_K_PENDING) {
        trv_write_line(state, text, length);
        return;
    }
    if (length + 1 > TRV_K_PENDING - state->pending_used) {
        trv_write_pending(state);
    }
    if (state->pending_used == 0) {
        state->pending_since = now;
    }
    memcpy(state->pending + state->pending_used, text, length);
    state->pending[state->pending_used + length] = '\n';
    /* Counted once the line is whole, for a handler that writes them. */
    state->pending_used += length + 1;
    if (line_class <= TRV_K_TRACE_ERROR || now - state->pending_since >= TRV_K_PENDING_MS) {
        trv_write_pending(state);
    }
}

static void trv_write_all_pending(void)
{
    int i;
    if (getpid() != trv_pending_pid) {
        return;
    }
    pthread_mutex_lock(&trv_pending_lock);
    for (i = 0; i < TRV_K_PENDING_RUNS; ++i) {
        if (trv_pending_runs[i] != NULL) {
            trv_write_pending(trv_pending_runs[i]);
        }
    }
    pthread_mutex_unlock(&trv_pending_lock);
}

static void trv_register_exit_write(void)
{
    atexit(trv_write_all_pending);
}

/* A direct trace gathers its lines when the run can be found at exit;
 * beyond TRV_K_PENDING_RUNS runs at once, each line is written at once. */
static void trv_pending_start(trv_private *state)
{
    int i;
    pthread_once(&trv_pending_exit_once, trv_register_exit_write);
    pthread_mutex_lock(&trv_pending_lock);
    trv_pending_pid = getpid();
    for (i = 0; i < TRV_K_PENDING_RUNS && trv_pending_runs[i] != NULL; ++i) {
    }
    if (i < TRV_K_PENDING_RUNS) {
        state->pending = malloc(TRV_K_PENDING);
        if (state->pending != NULL) {
            trv_pending_runs[i] = state;
        }
    }
    pthread_mutex_unlock(&trv_pending_lock);
    state->pending_used = 0;
}

static void trv_pending_end(trv_private *state)
{
    int i;
    if (state->pending == NULL) {
        return;
    }
    trv_write_pending(state);
    pthread_mutex_lock(&trv_pending_lock);
    for (i = 0; i < TRV_K_PENDING_RUNS; ++i) {
        if (trv_pending_runs[i] == state) {
            trv_pending_runs[i] = NULL;
        }
    }
    pthread_mutex_unlock(&trv_pending_lock);
    free(state->pending);
    state->pending = NULL;
}

void trv_trace_write_pending_current(void)
{
    if (trv_current_run != NULL && trv_current_run->trv_ctxpriv != NULL) {
        trv_write_pending(trv_priv(trv_current_run));
    }
}

void trv_trace_setup(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    TRV_T_TRACECTX *buffer = &run->trv_ctxtracectx;
    state->level = buffer->trv_ctxtracepriority;
    state->direct = state->level <= 0 || buffer->trv_ctxbuffertrace == NULL ||
                    buffer->trv_ctxbuffersize < 3;
    state->circular = !state->direct && state->level >= TRV_K_TRACE_CIRCULAR;
    if (state->direct) {
        buffer->trv_ctxtracepriority = 0;
        trv_pending_start(state);
        return;
    }
    trv_buffer_reset(buffer);
}

/* Drops the oldest line of a full circular buffer. */
static void trv_drop_oldest(TRV_T_RUNCTX *run)
{
    TRV_T_TRACECTX *buffer = &run->trv_ctxtracectx;
    int used = trv_buffer_used(buffer);
    char *end = used > 1 ? memchr(buffer->trv_ctxbuffertrace + 1, '\n', (size_t)(used - 1)) : NULL;
    int length = end == NULL ? used : (int)(end - buffer->trv_ctxbuffertrace) + 1;
    memmove(buffer->trv_ctxbuffertrace, buffer->trv_ctxbuffertrace + length, (size_t)(used - length));
    buffer->trv_ctxcurrentline -= length;
    buffer->trv_ctxlastline -= length;
    if (buffer->trv_ctxlastline < buffer->trv_ctxbuffertrace) {
        buffer->trv_ctxlastline = buffer->trv_ctxbuffertrace;
    }
    buffer->trv_ctxbuffersizeleft += length;
    ++trv_priv(run)->dropped_lines;
}

static void trv_buffer_add(TRV_T_RUNCTX *run, int line_class, const char *text, size_t length)
{
    TRV_T_TRACECTX *buffer = &run->trv_ctxtracectx;
    trv_private *state = trv_priv(run);
    size_t capacity = (size_t)buffer->trv_ctxbuffersize;
    if (length + 2 > capacity) {
        length = capacity - 2;
    }
    while ((int)(length + 2) > buffer->trv_ctxbuffersizeleft) {
        if (state->circular) {
            trv_drop_oldest(run);
        } else {
            trv_trace_flush(run, state->level);
        }
    }
    buffer->trv_ctxlastline = buffer->trv_ctxcurrentline;
    buffer->trv_ctxcurrentline[0] = (char)line_class;
    memcpy(buffer->trv_ctxcurrentline + 1, text, length);
    buffer->trv_ctxcurrentline[length + 1] = '\n';
    buffer->trv_ctxcurrentline += length + 2;
    buffer->trv_ctxbuffersizeleft -= (int)(length + 2);
}

void trv_trace(TRV_T_RUNCTX *run, int line_class, const char *format, ...)
{
    trv_private *state = trv_priv(run);
    char line[TRV_K_TRACE_LINE];
    va_list arguments;
    size_t length;
    size_t i;
    if (state->trace == NULL ||
        ((state->trace_off || state->rio_off > 0) && line_class > TRV_K_TRACE_ERROR)) {
        return;
    }
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    length = strlen(line);
    for (i = 0; i < length; ++i) {
        if ((unsigned char)line[i] < ' ') {
            line[i] = ' ';
        }
    }
    if (state->direct) {
        trv_add_pending(state, line_class, line, length);
    } else {
        trv_buffer_add(run, line_class, line, length);
    }
}

/* Writes the kept lines whose class is at most kept, and empties the buffer. */
static void trv_write_kept_lines(TRV_T_RUNCTX *run, int kept)
{
    trv_private *state = trv_priv(run);
    TRV_T_TRACECTX *buffer = &run->trv_ctxtracectx;
    const char *end = buffer->trv_ctxcurrentline;
    const char *line = buffer->trv_ctxbuffertrace;
    while (line < end) {
        /* The class byte may itself be a newline: search after it. */
        const char *next = memchr(line + 1, '\n', (size_t)(end - line - 1));
        size_t length = next == NULL ? (size_t)(end - line) : (size_t)(next - line);
        if ((unsigned char)line[0] <= kept) {
            trv_write_line(state, line + 1, length - 1);
        }
        line += length + 1;
    }
    trv_buffer_reset(buffer);
}

void trv_trace_flush(TRV_T_RUNCTX *run, int priority)
{
    trv_private *state = trv_priv(run);
    trv_write_pending(state);
    if (!state->direct) {
        if (state->dropped_lines > 0) {
            char note[128];
            snprintf(note, sizeof note, "TRACE    %lu earlier lines dropped from the circular buffer",
                     state->dropped_lines);
            trv_write_line(state, note, strlen(note));
            state->dropped_lines = 0;
        }
        /* Lines kept before a failure are all written. */
        trv_write_kept_lines(run, state->failure_pending ? K_TRACECTX_MAX_PRIORITY : priority);
        state->failure_pending = 0;
    }
    if (trv_trace_writable(state)) {
        errno = 0;
        if (fflush(state->trace) != 0) {
            trv_trace_broken(state, errno);
        }
    }
}

void trv_trace_close(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    int failed;
    if (state->trace == NULL) {
        return;
    }
    trv_pending_end(state);
    errno = 0;
    failed = ferror(state->trace) != 0;
    if (state->trace_owned) {
        failed = fclose(state->trace) != 0 || failed;
    } else {
        failed = fflush(state->trace) != 0 || failed;
    }
    if (failed) {
        trv_trace_broken(state, errno);
    }
    state->trace = NULL;
}

void trv_trace_write_summary(TRV_T_RUNCTX *run, const char *line)
{
    trv_write_line(trv_priv(run), line, strlen(line));
}

void trv_flush_circular_buffer(TRV_T_RUNCTX *run, TRV_T_INT priority)
{
    trv_trace_flush(run, priority);
}

void trv_trace_on(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_priv(run)->trace_off = 0;
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "TRACE    %s on", where);
}

void trv_trace_off(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "TRACE    %s off", where);
    trv_priv(run)->trace_off = 1;
}

void trv_flush_trace(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "TRACE    %s flush", where);
}
