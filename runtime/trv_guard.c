/* Guards a run against the system under test: a fatal signal, or a
 * scenario that outlives its time limit, ends the run with a trace that
 * says which construct was running, its scenarios closed as failed and the
 * summary written.
 *
 * The handler runs in the middle of anything, so it uses only
 * async-signal-safe calls: write(2) on the trace's descriptor, texts put
 * together by hand, _exit. The stdio buffer of the trace is empty whenever
 * the program runs outside the runtime (every write through stdio is
 * flushed before the runtime returns); the handler writes the lines still
 * kept (trace buffer, or the pending lines of a direct trace) and then its
 * own, so they follow the last line traced. It runs on its own stack, so that a stack overflow is
 * caught too. */
#define _GNU_SOURCE
#include "trv_private.h"
#include "trv_select.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

#define TRV_K_ALT_STACK_SIZE (256 * 1024)
#define TRV_K_LIMIT_SIGNAL SIGALRM
#define TRV_K_SIGNAL_TEXT (TRV_K_TRACE_LINE + 64)

typedef struct trv_s_fatal_signal {
    int number;
    const char *name;
    const char *meaning;
} trv_fatal_signal;

static const trv_fatal_signal trv_fatal_signals[] = {
    {SIGSEGV, "SIGSEGV", "segmentation fault"},
    {SIGBUS, "SIGBUS", "bus error"},
    {SIGFPE, "SIGFPE", "arithmetic exception"},
    {SIGILL, "SIGILL", "illegal instruction"},
    {SIGABRT, "SIGABRT", "abort"},
};
#define TRV_K_FATAL_COUNT ((int)(sizeof trv_fatal_signals / sizeof trv_fatal_signals[0]))

static struct sigaction trv_previous_actions[TRV_K_FATAL_COUNT];
static pthread_once_t trv_handlers_once = PTHREAD_ONCE_INIT;
static pthread_once_t trv_limit_handler_once = PTHREAD_ONCE_INIT;
static int trv_stopping; /* the first thread that stops the run owns the end */
static int trv_runs_guarded; /* a run started in this process */
static void (*trv_fatal_flush)(void); /* writes what open probe files buffer */

/* ---- Texts without stdio ------------------------------------------------------------ */

typedef struct trv_s_signal_text {
    char text[TRV_K_SIGNAL_TEXT];
    size_t length;
} trv_signal_text;

static void trv_put(trv_signal_text *out, const char *text)
{
    while (text != NULL && *text != '\0' && out->length + 1 < sizeof out->text) {
        out->text[out->length++] = *text++;
    }
    out->text[out->length] = '\0';
}

static void trv_put_number(trv_signal_text *out, long value)
{
    char digits[24];
    int count = 0;
    unsigned long magnitude = value < 0 ? 0ul - (unsigned long)value : (unsigned long)value;
    if (value < 0) {
        trv_put(out, "-");
    }
    do {
        digits[count++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    while (count > 0 && out->length + 1 < sizeof out->text) {
        out->text[out->length++] = digits[--count];
    }
    out->text[out->length] = '\0';
}

static void trv_write_all(int fd, const char *text, size_t length)
{
    while (fd >= 0 && length > 0) {
        ssize_t written = write(fd, text, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text += written;
        length -= (size_t)written;
    }
}

/* Writes the text as one line, after prefix, and starts the text anew. */
static void trv_emit(int fd, const char *prefix, trv_signal_text *line)
{
    trv_signal_text out;
    out.length = 0;
    trv_put(&out, prefix);
    trv_put(&out, line->text);
    trv_put(&out, "\n");
    trv_write_all(fd, out.text, out.length);
    line->length = 0;
    line->text[0] = '\0';
}

/* "#<number> <file>:<line>", or "#<number>" without the TDC file. */
static void trv_put_where(trv_signal_text *out, const trv_private *state, int number)
{
    const trv_construct *record = trv_tdc_find(&state->tdc, number);
    trv_put(out, "#");
    trv_put_number(out, number);
    if (record != NULL && record->file >= 1 && record->file <= state->tdc.file_count) {
        trv_put(out, " ");
        trv_put(out, state->tdc.files[record->file - 1]);
        trv_put(out, ":");
        trv_put_number(out, record->line);
    }
}

/* ---- The end of a stopped run ------------------------------------------------------ */

/* The lines the trace buffer still keeps: a stopped run writes them all. */
static void trv_write_kept(TRV_T_RUNCTX *run, int fd)
{
    const TRV_T_TRACECTX *buffer = &run->trv_ctxtracectx;
    const char *line = buffer->trv_ctxbuffertrace;
    const char *end = buffer->trv_ctxcurrentline;
    if (run->trv_ctxpriv->direct) {
        if (run->trv_ctxpriv->pending != NULL) {
            trv_write_all(fd, run->trv_ctxpriv->pending, run->trv_ctxpriv->pending_used);
        }
        return;
    }
    if (line == NULL || end == NULL || end < line) {
        return;
    }
    while (line < end) {
        const char *next = line + 1;
        while (next < end && *next != '\n') {
            ++next;
        }
        trv_write_all(fd, line + 1, (size_t)(next - line)); /* the text and its newline */
        line = next + 1;
    }
}

/* The CALLs of the open procedures, outermost first, as trv_call_chain_text
 * writes them. */
static void trv_put_call_chain(trv_signal_text *out, const trv_private *state)
{
    int kept = state->call_depth < TRV_K_CALL_CHAIN ? state->call_depth : TRV_K_CALL_CHAIN;
    int i;
    for (i = 0; i < kept; ++i) {
        const trv_construct *record = trv_tdc_find(&state->tdc, state->call_sites[i]);
        trv_put(out, i == 0 ? " via CALL " : " > CALL ");
        trv_put(out, record != NULL && record->text != NULL ? record->text : "?");
        trv_put(out, " at ");
        if (record != NULL && record->file >= 1 && record->file <= state->tdc.file_count) {
            trv_put(out, state->tdc.files[record->file - 1]);
            trv_put(out, ":");
            trv_put_number(out, record->line);
        } else {
            trv_put(out, "#");
            trv_put_number(out, state->call_sites[i]);
        }
    }
    if (state->call_depth > kept) {
        trv_put(out, " > ... ");
        trv_put_number(out, state->call_depth - kept);
        trv_put(out, " more calls");
    }
}

/* The construct running, or the last one run, after the cause. */
static void trv_put_construct(trv_signal_text *out, const trv_private *state)
{
    const trv_construct *record = trv_tdc_find(&state->tdc, state->running_number);
    trv_put(out, state->running_done ? " after " : " during ");
    trv_put(out, state->running_kind);
    if (record != NULL && record->text != NULL && record->text[0] != '\0') {
        trv_put(out, " \"");
        trv_put(out, record->text);
        trv_put(out, "\"");
    }
}

static void trv_put_verdict(trv_signal_text *out, const trv_private *state, const char *cause)
{
    if (state->c_lines_file != NULL) {
        trv_put(out, state->c_lines_file);
        trv_put(out, ":");
        trv_put_number(out, state->c_lines_line);
        trv_put(out, " ");
        trv_put(out, cause);
        trv_put(out, " in the script's C lines");
    } else {
        if (state->running_number >= 0) {
            trv_put_where(out, state, state->running_number);
            trv_put(out, " ");
        }
        trv_put(out, cause);
        if (state->running_kind != NULL) {
            trv_put_construct(out, state);
        }
    }
    if (state->depth >= 0 && state->depth < TRV_K_MAX_DEPTH && state->scenario_name[state->depth] != NULL) {
        trv_put(out, " in scenario \"");
        trv_put(out, state->scenario_name[state->depth]);
        trv_put(out, "\"");
    } else if (state->cleanup_running > 0) {
        trv_put(out, " in cleanup procedure ");
        trv_put_number(out, state->cleanup_running);
    }
    trv_put_call_chain(out, state);
}

static void trv_close_scenarios(const trv_private *state, int fd)
{
    trv_signal_text line;
    int depth;
    line.length = 0;
    for (depth = state->depth; depth >= 0 && depth < TRV_K_MAX_DEPTH; --depth) {
        trv_put_where(&line, state, state->scenario_number[depth]);
        trv_put(&line, " end \"");
        trv_put(&line, state->scenario_name[depth] != NULL ? state->scenario_name[depth] : "?");
        trv_put(&line, "\" FAILED (the run stopped)");
        trv_emit(fd, "SCENARIO ", &line);
    }
}

/* The summary of trv_end, with the stopping verdict and the scenarios it
 * left open counted as failed. */
static void trv_write_stopped_summary(const trv_private *state, int fd, const char *prefix, const char *verdict)
{
    trv_signal_text line;
    long open = state->depth + 1;
    long scenarios = state->scenarios_run + open;
    long failed_scenarios = state->scenarios_failed + open;
    long failed_checks = state->checks_failed + 1;
    int i;
    line.length = 0;
    trv_put(&line, state->tester);
    trv_put(&line, ": FAILED - scenarios ");
    trv_put_number(&line, scenarios);
    trv_put(&line, " (");
    trv_put_number(&line, scenarios - failed_scenarios);
    trv_put(&line, " passed, ");
    trv_put_number(&line, failed_scenarios);
    trv_put(&line, " failed), checks ");
    trv_put_number(&line, state->checks_passed + failed_checks);
    trv_put(&line, " (");
    trv_put_number(&line, state->checks_passed);
    trv_put(&line, " passed, ");
    trv_put_number(&line, failed_checks);
    trv_put(&line, " failed), values ");
    trv_put_number(&line, state->values_passed + state->values_failed);
    trv_put(&line, " (");
    trv_put_number(&line, state->values_passed);
    trv_put(&line, " passed, ");
    trv_put_number(&line, state->values_failed);
    trv_put(&line, " failed)");
    trv_emit(fd, prefix, &line);
    for (i = 0; i < state->listed_count; ++i) {
        trv_put(&line, "  FAIL ");
        trv_put(&line, state->listed[i]);
        trv_emit(fd, prefix, &line);
    }
    if (state->listed_count < TRV_K_MAX_LISTED) {
        trv_put(&line, "  FAIL ");
        trv_put(&line, verdict);
        trv_emit(fd, prefix, &line);
    } else {
        trv_put(&line, "  ... ");
        trv_put_number(&line, failed_checks - state->listed_count);
        trv_put(&line, " more failures");
        trv_emit(fd, prefix, &line);
    }
}

static void trv_remove_mailbox(const trv_private *state)
{
    struct stat status;
    if (state->mailbox >= 0 && lstat(state->mailbox_path, &status) == 0 &&
        status.st_ino == state->mailbox_status.st_ino && status.st_dev == state->mailbox_status.st_dev) {
        unlink(state->mailbox_path);
    }
}

/* Writes the end of the run stopped by cause: the failing verdict, the open
 * scenarios closed as failed, the summary, and the same on standard output
 * and standard error. */
static void trv_write_stopped_run(TRV_T_RUNCTX *run, const char *cause)
{
    const trv_private *state = run->trv_ctxpriv;
    trv_signal_text verdict;
    trv_signal_text line;
    int fd = state->trace_error == 0 ? state->trace_fd : -1;
    verdict.length = 0;
    trv_put_verdict(&verdict, state, cause);
    trv_write_kept(run, fd);
    line.length = 0;
    trv_put(&line, verdict.text);
    trv_emit(fd, "FAIL     ", &line);
    trv_close_scenarios(state, fd);
    trv_write_stopped_summary(state, fd, "RUN      end ", verdict.text);
    if (!state->quiet) {
        trv_write_stopped_summary(state, STDOUT_FILENO, "qvm run ", verdict.text);
        trv_put(&line, state->tester);
        trv_put(&line, ": trace in ");
        trv_put(&line, state->trace_path);
        trv_emit(STDOUT_FILENO, "qvm run ", &line);
    }
    trv_put(&line, state->tester);
    trv_put(&line, ": the run stopped: ");
    trv_put(&line, verdict.text);
    trv_emit(STDERR_FILENO, "qvm run ", &line);
    if (trv_junit_write(state, verdict.text) != 0) {
        trv_put(&line, state->tester);
        trv_put(&line, ": the JUnit file ");
        trv_put(&line, state->selection->junit_path);
        trv_put(&line, " could not be written");
        trv_emit(STDERR_FILENO, "qvm run ", &line);
    }
    trv_remove_mailbox(state);
}

/* Only one thread writes the end of a stopped run; the others wait for the
 * process to end. */
static int trv_first_to_stop(void)
{
    if (__atomic_exchange_n(&trv_stopping, 1, __ATOMIC_SEQ_CST) == 0) {
        return 1;
    }
    for (;;) {
        pause();
    }
}

static const trv_fatal_signal *trv_fatal(int number)
{
    int i;
    for (i = 0; i < TRV_K_FATAL_COUNT; ++i) {
        if (trv_fatal_signals[i].number == number) {
            return &trv_fatal_signals[i];
        }
    }
    return NULL;
}

/* Hands the signal to what handled it before the runtime: a sanitizer
 * reports the fault itself. Returns when nothing did and no run is guarded:
 * the fault comes again with the default action. */
static void trv_pass_on(int number, const siginfo_t *info)
{
    int i;
    for (i = 0; i < TRV_K_FATAL_COUNT; ++i) {
        const struct sigaction *previous = &trv_previous_actions[i];
        if (trv_fatal_signals[i].number != number || previous->sa_handler == SIG_DFL ||
            previous->sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(number, previous, NULL);
        if (info->si_code <= 0) {
            raise(number); /* sent, not a fault that comes again on return */
        }
        return;
    }
    if (__atomic_load_n(&trv_runs_guarded, __ATOMIC_SEQ_CST)) {
        _exit(TRV_K_STATUS_STOPPED);
    }
    /* Without a run the signal ends the process as it would have without
     * the runtime: the action is the default again (SA_RESETHAND). */
    if (info->si_code <= 0) {
        raise(number);
    }
}

static void trv_flush_probes(void)
{
    void (*flush)(void) = __atomic_load_n(&trv_fatal_flush, __ATOMIC_SEQ_CST);
    if (flush != NULL) {
        flush();
    }
}

static void trv_on_fatal_signal(int number, siginfo_t *info, void *context)
{
    TRV_T_RUNCTX *run = trv_current_run;
    const trv_fatal_signal *fatal = trv_fatal(number);
    (void)context;
    trv_flush_probes();
    if (run != NULL && run->trv_ctxpriv != NULL && fatal != NULL && trv_first_to_stop()) {
        trv_signal_text cause;
        cause.length = 0;
        trv_put(&cause, "signal ");
        trv_put(&cause, fatal->name);
        trv_put(&cause, " (");
        trv_put(&cause, fatal->meaning);
        trv_put(&cause, ")");
        trv_write_stopped_run(run, cause.text);
    }
    trv_pass_on(number, info);
}

/* ---- Faults the sanitizers find -------------------------------------------------------- *
 * A program built with -fsanitize=address or undefined ends from the
 * sanitizer's report, without a signal, when the sanitizer finds a fault
 * first: a null pointer read, a division by zero, an overflow. The
 * sanitizer calls back before it ends the process: the run is stopped
 * there, as by a signal. The symbols are there only in such a program;
 * gcc links AddressSanitizer and UndefinedBehaviorSanitizer as two
 * libraries, each with a callback of its own. */
extern int __asan_report_present(void) __attribute__((weak));
extern const char *__asan_get_report_description(void) __attribute__((weak));

static void trv_on_sanitizer_report(void)
{
    TRV_T_RUNCTX *run = trv_current_run;
    trv_flush_probes();
    if (run != NULL && run->trv_ctxpriv != NULL && __atomic_exchange_n(&trv_stopping, 1, __ATOMIC_SEQ_CST) == 0) {
        trv_signal_text cause;
        cause.length = 0;
        trv_put(&cause, "sanitizer error");
        if (__asan_report_present != NULL && __asan_get_report_description != NULL && __asan_report_present()) {
            trv_put(&cause, " ");
            trv_put(&cause, __asan_get_report_description());
        }
        trv_put(&cause, " (report on standard error)");
        trv_write_stopped_run(run, cause.text);
    }
    /* A run stopped by a signal handed it to the sanitizer, which reported
     * it: the status is the one of every stopped run. */
    if (__atomic_load_n(&trv_stopping, __ATOMIC_SEQ_CST)) {
        _exit(TRV_K_STATUS_STOPPED);
    }
}

typedef void (*trv_death_setter)(void (*callback)(void));

static int trv_register_in(struct dl_phdr_info *info, size_t size, void *data)
{
    trv_death_setter *done = data;
    void *library;
    (void)size;
    if (info->dlpi_name == NULL || strstr(info->dlpi_name, "san") == NULL ||
        (library = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD)) == NULL) {
        return 0;
    }
    {
        trv_death_setter setter;
        void *found = dlsym(library, "__sanitizer_set_death_callback");
        memcpy(&setter, &found, sizeof setter);
        if (setter != NULL && setter != done[0] && setter != done[1]) {
            setter(trv_on_sanitizer_report);
            done[done[0] == NULL ? 0 : 1] = setter;
        }
    }
    dlclose(library);
    return 0;
}

/* Every sanitizer library loaded calls back before it ends the process. */
static void trv_register_sanitizer_callbacks(void)
{
    trv_death_setter done[2] = {NULL, NULL};
    void *found = dlsym(RTLD_DEFAULT, "__sanitizer_set_death_callback");
    memcpy(&done[0], &found, sizeof done[0]);
    if (done[0] != NULL) {
        done[0](trv_on_sanitizer_report);
    }
    dl_iterate_phdr(trv_register_in, done);
}

static void trv_on_limit(int number, siginfo_t *info, void *context)
{
    TRV_T_RUNCTX *run = trv_current_run;
    trv_signal_text cause;
    (void)number, (void)context;
    if (info->si_code != SI_TIMER || run == NULL || run->trv_ctxpriv == NULL || !trv_first_to_stop()) {
        return;
    }
    cause.length = 0;
    trv_put(&cause, "scenario time limit of ");
    trv_put_number(&cause, run->trv_ctxpriv->limit_ms);
    trv_put(&cause, " ms reached");
    trv_write_stopped_run(run, cause.text);
    _exit(TRV_K_STATUS_STOPPED);
}

/* The script's C or the system under test called exit() while the run went
 * on: the run ends as a stopped one, so that a program that left in the
 * middle never passes. A child that a fork made leaves its parent's run
 * alone. */
static pid_t trv_guard_pid;
static int trv_leaving; /* the runtime itself ends the process */

void trv_leave(int status)
{
    __atomic_store_n(&trv_leaving, 1, __ATOMIC_SEQ_CST);
    exit(status);
}

static void trv_on_exit(void)
{
    TRV_T_RUNCTX *run = trv_current_run;
    if (__atomic_load_n(&trv_leaving, __ATOMIC_SEQ_CST) || getpid() != trv_guard_pid || run == NULL || run->trv_ctxpriv == NULL || !trv_first_to_stop()) {
        return;
    }
    fflush(NULL);
    trv_write_stopped_run(run, "exit() called while the run went on");
    _exit(TRV_K_STATUS_STOPPED);
}

static void trv_install_fatal_handlers(void)
{
    struct sigaction action;
    int i;
    trv_guard_pid = getpid();
    atexit(trv_on_exit);
    memset(&action, 0, sizeof action);
    action.sa_sigaction = trv_on_fatal_signal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (i = 0; i < TRV_K_FATAL_COUNT; ++i) {
        sigaction(trv_fatal_signals[i].number, &action, &trv_previous_actions[i]);
    }
    trv_register_sanitizer_callbacks();
}

static void trv_install_limit_handler(void)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = trv_on_limit;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(TRV_K_LIMIT_SIGNAL, &action, NULL);
}

/* ---- The scenario time limit ------------------------------------------------------- */

/* A number of milliseconds, or 0 when the text is not one. */
static long trv_milliseconds(const char *text)
{
    char *end = NULL;
    long value;
    if (text == NULL || text[0] == '\0') {
        return 0;
    }
    value = strtol(text, &end, 10);
    return end != NULL && *end == '\0' && value > 0 ? value : 0;
}

/* -SCENARIO_LIMIT=<ms> among the program's arguments, which the program's
 * own argument loop passes over. */
static long trv_limit_option(void)
{
    static const char option[] = "-SCENARIO_LIMIT=";
    char arguments[8192];
    ssize_t length;
    ssize_t at = 0;
    long limit = 0;
    int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    length = read(fd, arguments, sizeof arguments - 1);
    close(fd);
    if (length <= 0) {
        return 0;
    }
    arguments[length] = '\0';
    at = (ssize_t)strlen(arguments) + 1; /* after the program's name */
    while (at < length) {
        const char *argument = arguments + at;
        if (strncasecmp(argument, option, sizeof option - 1) == 0) {
            limit = trv_milliseconds(argument + sizeof option - 1);
        }
        at += (ssize_t)strlen(argument) + 1;
    }
    return limit;
}

static long trv_scenario_limit(void)
{
    long limit = trv_limit_option();
    return limit > 0 ? limit : trv_milliseconds(getenv("QVM_SCENARIO_LIMIT"));
}

static void trv_set_limit_timer(trv_private *state, long milliseconds)
{
    struct itimerspec when;
    memset(&when, 0, sizeof when);
    when.it_value.tv_sec = milliseconds / 1000;
    when.it_value.tv_nsec = (milliseconds % 1000) * 1000000L;
    timer_settime(state->limit_timer, 0, &when, NULL);
}

static void trv_create_limit_timer(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    struct sigevent event;
    memset(&event, 0, sizeof event);
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = TRV_K_LIMIT_SIGNAL;
    event.sigev_notify_thread_id = (pid_t)syscall(SYS_gettid);
    pthread_once(&trv_limit_handler_once, trv_install_limit_handler);
    if (timer_create(CLOCK_MONOTONIC, &event, &state->limit_timer) != 0) {
        trv_trace(run, TRV_K_TRACE_ERROR, "RUN      no scenario time limit: no timer (%s)", strerror(errno));
        state->limit_ms = 0;
        return;
    }
    state->limit_timer_made = 1;
    trv_trace(run, TRV_K_TRACE_ERROR, "RUN      scenario time limit %ld ms", state->limit_ms);
}

void trv_guard_restart_limit(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    if (state->limit_timer_made) {
        trv_set_limit_timer(state, state->limit_ms);
    }
}

void trv_guard_hold_limit(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    if (state->limit_timer_made) {
        trv_set_limit_timer(state, 0);
    }
}

/* ---- Start and end ------------------------------------------------------------------- */

static void trv_give_alternate_stack(trv_private *state)
{
    stack_t stack;
    memset(&stack, 0, sizeof stack);
    stack.ss_sp = malloc(TRV_K_ALT_STACK_SIZE);
    stack.ss_size = TRV_K_ALT_STACK_SIZE;
    if (stack.ss_sp != NULL && sigaltstack(&stack, NULL) == 0) {
        state->alt_stack = stack.ss_sp;
    } else {
        free(stack.ss_sp);
    }
}

void trv_guard_start(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    const char *quiet = getenv("QVM_RUN_QUIET");
    state->quiet = quiet != NULL && quiet[0] != '\0';
    state->trace_fd = state->trace != NULL ? fileno(state->trace) : -1;
    __atomic_store_n(&trv_runs_guarded, 1, __ATOMIC_SEQ_CST);
    trv_give_alternate_stack(state);
    pthread_once(&trv_handlers_once, trv_install_fatal_handlers);
    state->limit_ms = trv_scenario_limit();
    if (state->limit_ms > 0) {
        trv_create_limit_timer(run);
    }
}

void trv_guard_flush_on_fatal(void (*flush)(void))
{
    __atomic_store_n(&trv_fatal_flush, flush, __ATOMIC_SEQ_CST);
    pthread_once(&trv_handlers_once, trv_install_fatal_handlers);
}

void trv_guard_stop(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    if (state->limit_timer_made) {
        timer_delete(state->limit_timer);
        state->limit_timer_made = 0;
    }
    if (state->alt_stack != NULL) {
        stack_t stack;
        memset(&stack, 0, sizeof stack);
        stack.ss_flags = SS_DISABLE;
        sigaltstack(&stack, NULL);
        free(state->alt_stack);
        state->alt_stack = NULL;
    }
}

void trv_note_construct(TRV_T_RUNCTX *run, TRV_T_INT number, const char *kind, int done)
{
    trv_private *state = trv_priv(run);
    state->running_number = (int)number;
    state->running_kind = kind;
    state->running_done = done;
    state->c_lines_file = NULL;
}

void trv_c_lines(TRV_T_RUNCTX *run, const char *file, TRV_T_INT line)
{
    trv_private *state = trv_priv(run);
    state->c_lines_file = file;
    state->c_lines_line = (int)line;
}
