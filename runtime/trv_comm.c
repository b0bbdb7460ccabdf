/* The communication statements of a script: WAITTIL with its received
 * messages, SEND, and the verdicts of their failures. */
#include "trv_private.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <time.h>

#define TRV_K_WAITTIL_LIMIT 300000L /* milliseconds, QVM_WAITTIL_LIMIT */

TRV_THREAD_LOCAL TRV_T_RUNCTX *trv_current_run;

static int trv_run_going(void)
{
    return trv_current_run != NULL && trv_current_run->trv_ctxpriv != NULL;
}

void trv_fail_current(const char *format, ...)
{
    char message[TRV_K_FAILURE_TEXT];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    if (trv_run_going()) {
        trv_fail(trv_current_run, trv_priv(trv_current_run)->statement, "%s", message);
    } else {
        fprintf(stderr, "qvm runtime: %s\n", message);
    }
}

void trv_trace_current(int line_class, const char *format, ...)
{
    char line[TRV_K_TRACE_LINE];
    va_list arguments;
    if (!trv_run_going()) {
        return;
    }
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    trv_trace(trv_current_run, line_class, "%s", line);
}

static TRV_T_UTIME trv_waittil_limit(void)
{
    const char *text = getenv("QVM_WAITTIL_LIMIT");
    char *end = NULL;
    unsigned long value;
    if (text == NULL || text[0] == '\0') {
        return TRV_K_WAITTIL_LIMIT;
    }
    value = strtoul(text, &end, 10);
    return end != NULL && *end == '\0' && value > 0 && value <= (unsigned long)LONG_MAX ? (TRV_T_UTIME)value
                                                                                       : TRV_K_WAITTIL_LIMIT;
}

/* ---- WAITTIL -------------------------------------------------------------------- */

/* A WAITTIL counts whole milliseconds from its start: the run's clock is
 * shifted so that a tick begins there, and a time-out of n ms never ends the
 * wait before n ms. The shift only ever moves the clock forward, by less
 * than a millisecond, and keeps it within a millisecond of the time since
 * the run began. */
static void trv_align_clock(TRV_T_RUNCTX *run, const TRV_T_DATE *start)
{
    const double elapsed = trv_elapsed_ms(&trv_priv(run)->run_start, start);
    trv_priv(run)->clock_phase_ms = elapsed > 0.0 ? elapsed - (double)(TRV_T_UTIME)elapsed : 0.0;
}

void trv_waittil(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_private *state = trv_priv(run);
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    trv_note_construct(run, number, "WAITTIL", 0);
    trv_guard_hold_limit(run);
    state->statement = number;
    state->waittil_open = 1;
    state->waittil_limit = trv_waittil_limit();
    trv_get_date(&state->waittil_begun);
    trv_align_clock(run, &state->waittil_begun);
    state->waittil_start = trv_getevtdate(run);
    memset(&state->waittil_last, 0, sizeof state->waittil_last);
    state->difference[0] = '\0';
    run->trv_ctxlogdate = 0;
    trv_trace(run, TRV_K_TRACE_DETAIL, "WAITTIL  %s begin \"%s\"", where, trv_construct_text(run, number, "?"));
}

/* What ended a WAITTIL: the message whose evaluation was the latest, else
 * the time window when the expression that held measures the waited time. */
static void trv_waittil_ending(TRV_T_RUNCTX *run, const char *expression, char *out, size_t size)
{
    const trv_waittil_event *last = &trv_priv(run)->waittil_last;
    if (last->fresh == 2 && last->matched >= 0) {
        snprintf(out, size, "message %s (%s) received on channel %s", trv_construct_text(run, last->matched, "?"),
                 trv_construct_text(run, last->type, "?"), trv_construct_text(run, last->channel, "?"));
    } else if (last->fresh == 2) {
        snprintf(out, size, "message %s received on channel %s matched no definition",
                 trv_construct_text(run, last->type, "?"), trv_construct_text(run, last->channel, "?"));
    } else if (expression == NULL) {
        snprintf(out, size, "no message ended the wait");
    } else if (strstr(expression, "WTIME") != NULL) {
        snprintf(out, size, "time window elapsed");
    } else {
        snprintf(out, size, "condition true without a message");
    }
}

void trv_endwaittil(TRV_T_RUNCTX *run, TRV_T_INT result, TRV_T_INT end_number, const char *message_type)
{
    trv_private *state = trv_priv(run);
    int number = state->statement >= 0 ? state->statement : end_number;
    char what[TRV_K_FAILURE_TEXT];
    char ending[TRV_K_FAILURE_TEXT / 2];
    TRV_T_DATE now;
    double waited;
    trv_get_date(&now);
    waited = trv_elapsed_ms(&state->waittil_begun, &now);
    state->waittil_open = 0;
    state->running_done = 1;
    trv_guard_restart_limit(run);
    switch (result) {
    case 0:
        trv_waittil_ending(run, trv_construct_text(run, number, NULL), ending, sizeof ending);
        snprintf(what, sizeof what, "WAITTIL condition met after %.3f ms: %s", waited, ending);
        trv_pass(run, number, what);
        break;
    case 1:
        trv_waittil_ending(run, trv_construct_detail(run, number, NULL), ending, sizeof ending);
        if (state->difference[0] != '\0') {
            trv_fail(run, number, "WAITTIL failure condition met after %.3f ms: %s, last difference %s", waited,
                     ending, state->difference);
        } else {
            trv_fail(run, number, "WAITTIL failure condition met after %.3f ms: %s, nothing matched (%s)", waited,
                     ending, message_type);
        }
        break;
    default:
        trv_fail(run, number, "WAITTIL stopped after %.3f ms: the callback of %s failed", waited, message_type);
        break;
    }
}

/* The run stops when a WAITTIL waits past the limit: its conditions may
 * never end it. */
static void trv_check_waittil_limit(TRV_T_RUNCTX *run, TRV_T_UTIME now)
{
    trv_private *state = trv_priv(run);
    if (!state->waittil_open || now - state->waittil_start <= state->waittil_limit) {
        return;
    }
    trv_fail(run, state->statement, "WAITTIL waited more than %lu ms (QVM_WAITTIL_LIMIT): the run stops",
             (unsigned long)state->waittil_limit);
    trv_end(run);
    trv_exit(1);
}

/* The run's clock at now: whole milliseconds since the run began, shifted
 * by the current WAITTIL's phase. */
static TRV_T_UTIME trv_run_clock(TRV_T_RUNCTX *run, const TRV_T_DATE *now)
{
    const double elapsed = trv_elapsed_ms(&trv_priv(run)->run_start, now) - trv_priv(run)->clock_phase_ms;
    return elapsed > 0.0 ? (TRV_T_UTIME)elapsed : 0;
}

TRV_T_UTIME trv_getevtdate(TRV_T_RUNCTX *run)
{
    TRV_T_DATE now;
    TRV_T_UTIME date;
    trv_get_date(&now);
    date = trv_run_clock(run, &now);
    trv_check_waittil_limit(run, date);
    return date;
}

TRV_T_UTIME trv_getwtime(TRV_T_RUNCTX *run)
{
    /* The waited time is read for each evaluation of the conditions but
     * the one that follows a message matched. */
    trv_waittil_event *last = &trv_priv(run)->waittil_last;
    last->fresh = last->fresh == 1 ? 2 : 0;
    TRV_T_UTIME gran = run->trv_gran > 0 ? run->trv_gran : 1;
    return (trv_getevtdate(run) - trv_priv(run)->waittil_start) / gran;
}

/* Sleeps to the start of the tick the run's clock reaches in milliseconds:
 * the ticks of a wait stay where they began, however long each loop of the
 * wait took, so a time-out is not late by the sum of the loops. */
static void trv_sleep_to_tick(TRV_T_RUNCTX *run, TRV_T_UTIME milliseconds)
{
    const trv_private *state = trv_priv(run);
    TRV_T_DATE now;
    struct timespec deadline;
    double target_ns;
    trv_get_date(&now);
    /* A microsecond past the tick: a rounding never wakes it just before. */
    target_ns = ((double)(trv_run_clock(run, &now) + milliseconds) + state->clock_phase_ms + 0.001) * 1e6 +
                (double)state->run_start.trv_nsec;
    deadline.tv_sec = (time_t)state->run_start.trv_sec + (time_t)(target_ns / 1e9);
    deadline.tv_nsec = (long)(target_ns - (double)(time_t)(target_ns / 1e9) * 1e9);
    trv_trace_write_pending_current();
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, NULL) == EINTR) {
    }
}

void trv_sleep(TRV_T_UTIME milliseconds)
{
    trv_sut_serve();
    if (milliseconds > 0 && trv_current_run != NULL && trv_current_run->trv_ctxpriv != NULL) {
        trv_sleep_to_tick(trv_current_run, milliseconds);
    } else {
        trv_pause(milliseconds);
    }
    trv_sut_serve();
}

void trv_rio_on(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    if (state->rio_off > 0) {
        --state->rio_off;
    }
    /* A test program's SEND turns the trace on before its procsend loop; a
     * probe replay, which sends nothing itself, does not. */
    if (state->send_open) {
        state->send_looping = 1;
    }
}

void trv_rio_off(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    ++state->rio_off;
    /* A SEND silences the trace around each call of its procsend. */
    if (state->send_open) {
        ++state->send_tries;
    }
}

void trv_nodefmsg(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_fail(run, number, "WAITTIL on a message that no DEF_MESSAGE defined");
}

void trv_noaddid(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_fail(run, number, "WAITTIL on channels that have no connection identifier (ADD_ID)");
}

void trv_numofid(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_fail(run, number, "ADD_ID: the channel already has %d connection identifiers", TRV_K_ID_SIZE);
}

/* ---- Received messages ----------------------------------------------------------------- */

void trv_evt(TRV_T_RUNCTX *run, TRV_T_INT type_number, TRV_T_INT channel_number, TRV_T_INT kind,
             const char *text)
{
    char where[TRV_K_PATH_SIZE];
    (void)kind;
    (void)text;
    trv_private *state = trv_priv(run);
    if (state->waittil_open) {
        state->waittil_last.type = type_number;
        state->waittil_last.channel = channel_number;
        state->waittil_last.matched = -1;
        state->waittil_last.fresh = 1;
    }
    trv_where(run, type_number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "RECEIVE  %s \"%s\" on channel %s", where,
              trv_construct_text(run, type_number, "?"), trv_construct_text(run, channel_number, "?"));
}

void trv_endevt(TRV_T_RUNCTX *run, TRV_T_INT end_number)
{
    (void)trv_priv(run);
    (void)end_number;
}

void trv_def_msg(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_waittil_event *last = &trv_priv(run)->waittil_last;
    /* A received message that matched is evaluated without reading the time. */
    if (last->fresh == 1) {
        last->matched = number;
        last->fresh = 2;
    }
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "MESSAGE  %s \"%s\"", where, trv_construct_text(run, number, "?"));
}

void trv_message_state(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT value)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "STATE    %s \"%s\" %s", where, trv_construct_text(run, number, "?"),
              value ? "true" : "false");
}

void trv_msgdate(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_private *state = trv_priv(run);
    TRV_T_UTIME now = trv_getevtdate(run);
    (void)number;
    run->trv_ctxrcvtime = now;
    run->trv_ctxlogdate = state->waittil_open ? now - state->waittil_start : now;
}

void trv_nomsg(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    (void)trv_priv(run);
    (void)number;
}

/* ---- SEND ---------------------------------------------------------------------------------- */

void trv_send(TRV_T_RUNCTX *run, TRV_T_INT number, const char *message)
{
    char where[TRV_K_PATH_SIZE];
    trv_private *state = trv_priv(run);
    state->statement = number;
    state->send_open = 1;
    state->send_looping = 0;
    state->send_tries = 0;
    trv_note_construct(run, number, "SEND", 0);
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "SEND     %s \"%s\"", where, message != NULL ? message : "?");
}

void trv_end_send(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT end_number)
{
    trv_private *state = trv_priv(run);
    int number = state->statement >= 0 ? state->statement : end_number;
    const int sent_to_none = state->send_open && state->send_looping && state->send_tries == 0;
    state->running_done = 1;
    state->send_open = 0;
    if (failed) {
        trv_fail(run, number, "SEND failed: its procsend could not send the message");
    } else if (sent_to_none) {
        trv_fail(run, number, "SEND sent nothing: its channel has no connection identifier (ADD_ID)");
    } else {
        trv_pass(run, number, "SEND done");
    }
}
