/* Run start and end, verdicts and the process exit status. */
#include "trv_private.h"
#include "trv_select.h"

#include <errno.h>
#include <pthread.h>
#include <stdint.h>

/* Set once any run of the process has recorded a failure. */
static int trv_failed_flag;
/* Set once a trace of the process could not be written in full. */
static int trv_trace_lost_flag;

int trv_process_failed(void)
{
    return __atomic_load_n(&trv_failed_flag, __ATOMIC_SEQ_CST);
}

static void trv_mark_process_failed(void)
{
    __atomic_store_n(&trv_failed_flag, 1, __ATOMIC_SEQ_CST);
}

void trv_mark_trace_lost(void)
{
    __atomic_store_n(&trv_trace_lost_flag, 1, __ATOMIC_SEQ_CST);
    trv_mark_process_failed();
}

/* 0 passed, 1 a verdict failed, 2 a trace is incomplete. */
static int trv_exit_status(TRV_T_INT failed)
{
    if (__atomic_load_n(&trv_trace_lost_flag, __ATOMIC_SEQ_CST)) {
        return TRV_K_STATUS_TRACE_LOST;
    }
    return failed || trv_process_failed() ? TRV_K_STATUS_FAILED : TRV_K_STATUS_PASSED;
}

trv_private *trv_priv(TRV_T_RUNCTX *run)
{
    if (run->trv_ctxpriv == NULL) {
        fprintf(stderr, "qvm runtime: run context used before trv_set_trace_functions or after trv_end\n");
        trv_leave(1);
    }
    return run->trv_ctxpriv;
}

void trv_set_trace_functions(TRV_T_RUNCTX *run)
{
    /* The trace buffer and the API table are set by the program first, and
     * so are the probe flag and the time of the record a replay starts with. */
    memset(&run->trv_ctxfilter, 0, sizeof *run - offsetof(TRV_T_RUNCTX, trv_ctxfilter));
    run->trv_ctxtagtsocket = -1;
    run->trv_gran = 1;
    run->trv_ctxpriv = calloc(1, sizeof(trv_private));
    if (run->trv_ctxpriv == NULL) {
        fprintf(stderr, "qvm runtime: out of memory\n");
        trv_leave(1);
    }
    trv_get_date(&run->trv_ctxpriv->run_start);
    run->trv_ctxpriv->depth = -1;
    run->trv_ctxpriv->statement = -1;
    run->trv_ctxpriv->mailbox = -1;
    run->trv_ctxpriv->trace_fd = -1;
    run->trv_ctxpriv->running_number = -1;
    trv_current_run = run;
    /* The lines of the run's start go to the file at once. */
    run->trv_ctxpriv->direct = 1;
}

static void trv_open_trace(TRV_T_RUNCTX *run, const char *rio_file, char *problem, size_t size)
{
    trv_private *state = trv_priv(run);
    problem[0] = '\0';
    if (rio_file == NULL || rio_file[0] == '\0') {
        state->trace = stdout;
        snprintf(state->trace_path, sizeof state->trace_path, "(standard output)");
        return;
    }
    snprintf(state->trace_path, sizeof state->trace_path, "%s", rio_file);
    state->trace = fopen(rio_file, "w");
    state->trace_owned = state->trace != NULL;
    if (state->trace == NULL) {
        snprintf(problem, size, "the trace file %s cannot be written (%s)", rio_file, strerror(errno));
        state->trace = stderr;
    }
}

static void trv_read_filters(TRV_T_RUNCTX *run, const char *filters)
{
    char active[TRV_K_FILTER_COUNT + 1];
    int count = 0;
    int i;
    for (i = 0; filters != NULL && i < TRV_K_FILTER_TEXT && filters[i] != '\0'; ++i) {
        char letter = filters[i];
        if (letter >= 'a' && letter <= 'z') {
            letter = (char)(letter - 'a' + 'A');
        }
        if (letter >= 'A' && letter <= 'Z') {
            run->trv_ctxfilter[letter - 'A'] = 1;
        } else {
            trv_trace(run, TRV_K_TRACE_ERROR, "FILTER   character '%c' ignored: filters are letters A to Z",
                      filters[i]);
        }
    }
    for (i = 0; i < TRV_K_FILTER_COUNT; ++i) {
        if (run->trv_ctxfilter[i]) {
            active[count++] = (char)('A' + i);
        }
    }
    active[count] = '\0';
    trv_trace(run, TRV_K_TRACE_SCN, "FILTER   active \"%s\"", active);
}

static void trv_name_tester(TRV_T_RUNCTX *run, const char *rio_file)
{
    const char *name = run->trv_ctxtesternaming;
    if (name[0] == '\0') {
        name = rio_file != NULL && rio_file[0] != '\0' ? rio_file : "tester";
    }
    trv_bounded_copy(trv_priv(run)->tester, sizeof trv_priv(run)->tester, name);
}

/* A name that matches no declared instance is a mistake; no name at all
 * runs the parts common to every instance. */
static void trv_check_instance(TRV_T_RUNCTX *run, TRV_T_INT instance_ok, TRV_T_INT instance_unknown,
                               const char *instance_name)
{
    if (instance_ok && !instance_unknown) {
        return;
    }
    if (instance_name != NULL && instance_name[0] != '\0') {
        trv_fail(run, -1, "instance \"%s\" is not declared in the script", instance_name);
    } else {
        trv_trace(run, TRV_K_TRACE_ERROR, "RUN      no instance selected: the instance blocks are skipped");
    }
}

/* Opens the trace and writes the run's opening lines at once; the trace
 * buffer takes over after them. */
void trv_initrio(TRV_T_RUNCTX *run, const char *rio_file, const char *filters, TRV_T_INT instance_ok,
                 TRV_T_INT instance_unknown, const char *instance_name, TRV_T_INT occid, const char *stamp,
                 const char *build)
{
    trv_private *state = trv_priv(run);
    char problem[TRV_K_PATH_SIZE + 128];
    run->trv_ctxoccid = occid;
    trv_name_tester(run, rio_file);
    trv_open_trace(run, rio_file, problem, sizeof problem);
    state->level = run->trv_ctxtracectx.trv_ctxtracepriority;
    trv_trace(run, TRV_K_TRACE_ERROR,
              "RUN      begin tester \"%s\" instance \"%s\" occurrence %d stamp \"%s\" build %s trace level %d",
              state->tester, instance_name != NULL ? instance_name : "", (int)occid,
              stamp != NULL ? stamp : "", build != NULL && build[0] == 'D' ? "debug" : "release", state->level);
    if (problem[0] != '\0') {
        trv_fail(run, -1, "%s", problem);
    }
    trv_tdc_read(run, rio_file, stamp);
    trv_read_filters(run, filters);
    trv_check_instance(run, instance_ok, instance_unknown, instance_name);
    trv_trace_setup(run);
    trv_guard_start(run);
    trv_channels_start(run);
    trv_testers_start(run, rio_file);
}

/* Both forms start the run the same way: the tracer link is made by the
 * program itself (priv_boot_tagtlk) when it is compiled with QVM_DYNFLW. */
void trv_initrio_no_dynamicfollowing(TRV_T_RUNCTX *run, const char *rio_file, const char *filters,
                                     TRV_T_INT instance_ok, TRV_T_INT instance_unknown,
                                     const char *instance_name, TRV_T_INT occid, const char *stamp,
                                     const char *build)
{
    trv_initrio(run, rio_file, filters, instance_ok, instance_unknown, instance_name, occid, stamp, build);
}

void trv_initrio_with_dynamicfollowing(TRV_T_RUNCTX *run, const char *rio_file, const char *filters,
                                       TRV_T_INT instance_ok, TRV_T_INT instance_unknown,
                                       const char *instance_name, TRV_T_INT occid, const char *stamp,
                                       const char *build)
{
    trv_initrio(run, rio_file, filters, instance_ok, instance_unknown, instance_name, occid, stamp, build);
}

void trv_fail(TRV_T_RUNCTX *run, TRV_T_INT number, const char *format, ...)
{
    trv_private *state = trv_priv(run);
    char where[TRV_K_PATH_SIZE];
    char message[TRV_K_FAILURE_TEXT];
    char chain[TRV_K_TRACE_LINE];
    char text[TRV_K_PATH_SIZE + 2 * TRV_K_FAILURE_TEXT + TRV_K_TRACE_LINE];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    if (number >= 0) {
        trv_where(run, number, where, sizeof where);
    } else {
        where[0] = '\0';
    }
    trv_call_chain_text(run, chain, sizeof chain);
    if (state->depth >= 0 && state->depth < TRV_K_MAX_DEPTH && state->scenario_name[state->depth] != NULL) {
        snprintf(text, sizeof text, "%s%s%s in scenario \"%s\"%s", where, where[0] ? " " : "", message,
                 state->scenario_name[state->depth], chain);
    } else {
        snprintf(text, sizeof text, "%s%s%s%s", where, where[0] ? " " : "", message, chain);
    }
    ++state->checks_failed;
    state->failure_pending = 1;
    trv_selection_note_failure(run, number, message);
    trv_mark_process_failed();
    if (state->listed_count < TRV_K_MAX_LISTED) {
        trv_bounded_copy(state->listed[state->listed_count++], TRV_K_FAILURE_TEXT, text);
    }
    trv_trace(run, TRV_K_TRACE_ERROR, "FAIL     %s", text);
    trv_link_send(run, "VERDICT FAIL %d", (int)number);
}

void trv_pass(TRV_T_RUNCTX *run, TRV_T_INT number, const char *what)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    ++trv_priv(run)->checks_passed;
    trv_trace(run, TRV_K_TRACE_DETAIL, "PASS     %s %s", where, what);
}

static void trv_run_cleanups(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    while (state->cleanup_count > 0) {
        TRV_T_CLEANUP procedure = state->cleanups[--state->cleanup_count];
        state->cleanup_running = state->cleanup_count + 1;
        trv_trace(run, TRV_K_TRACE_DETAIL, "CLEANUP  procedure %d runs", state->cleanup_count + 1);
        if (procedure(run) != 0) {
            trv_fail(run, -1, "cleanup procedure %d failed", state->cleanup_count + 1);
        }
    }
    state->cleanup_running = 0;
}

typedef void (*trv_summary_writer)(TRV_T_RUNCTX *run, const char *line);

static void trv_summary_to_trace(TRV_T_RUNCTX *run, const char *line)
{
    char text[TRV_K_TRACE_LINE];
    snprintf(text, sizeof text, "RUN      end %s", line);
    trv_trace_write_summary(run, text);
}

static void trv_summary_to_stdout(TRV_T_RUNCTX *run, const char *line)
{
    (void)run;
    fprintf(stdout, "qvm run %s\n", line);
}

static void trv_write_summary(TRV_T_RUNCTX *run, trv_summary_writer emit)
{
    trv_private *state = trv_priv(run);
    int failed = state->checks_failed > 0 || state->scenarios_failed > 0;
    char line[TRV_K_TRACE_LINE];
    int i;
    snprintf(line, sizeof line,
             "%s: %s - scenarios %ld (%ld passed, %ld failed), checks %ld (%ld passed, %ld failed), "
             "values %ld (%ld passed, %ld failed)",
             state->tester, failed ? "FAILED" : "PASSED", state->scenarios_run,
             state->scenarios_run - state->scenarios_failed, state->scenarios_failed,
             state->checks_passed + state->checks_failed, state->checks_passed, state->checks_failed,
             state->values_passed + state->values_failed, state->values_passed, state->values_failed);
    emit(run, line);
    for (i = 0; i < state->listed_count; ++i) {
        snprintf(line, sizeof line, "  FAIL %s", state->listed[i]);
        emit(run, line);
    }
    if (state->checks_failed > state->listed_count) {
        snprintf(line, sizeof line, "  ... %ld more failures", state->checks_failed - state->listed_count);
        emit(run, line);
    }
}

void trv_end(TRV_T_RUNCTX *run)
{
    trv_private *state;
    const char *quiet = getenv("QVM_RUN_QUIET");
    if (run->trv_ctxpriv == NULL || run->trv_ctxpriv->ending) {
        return;
    }
    state = run->trv_ctxpriv;
    state->ending = 1;
    /* The cleanup procedures run guarded: a crash or a hang there stops the
     * run as in a scenario. */
    trv_run_cleanups(run);
    trv_guard_stop(run);
    trv_channels_release();
    trv_testers_release(run);
    trv_trace_flush(run, state->level);
    if (state->scenarios_failed > 0) {
        trv_mark_process_failed();
    }
    trv_write_summary(run, trv_summary_to_trace);
    trv_trace_close(run);
    if (quiet == NULL || quiet[0] == '\0') {
        trv_write_summary(run, trv_summary_to_stdout);
        fprintf(stdout, "qvm run %s: trace in %s%s\n", state->tester, state->trace_path,
                state->trace_error != 0 ? " (incomplete)" : "");
        fflush(stdout);
    }
    trv_selection_finish(run);
    trv_tdc_release(&state->tdc);
    free(state);
    run->trv_ctxpriv = NULL;
    if (trv_current_run == run) {
        trv_current_run = NULL;
    }
}

void trv_rioexit(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    if (trv_priv(run)->ending) {
        trv_trace(run, TRV_K_TRACE_ERROR, "EXIT     %s ignored inside a cleanup procedure", where);
        return;
    }
    trv_fail(run, number, "EXIT statement stops the run");
    trv_end(run);
    trv_exit(1);
}

void trv_exit(TRV_T_INT failed)
{
    fflush(NULL);
    trv_leave(trv_exit_status(failed));
}

void trv_thr_exit(TRV_T_INT failed)
{
    fflush(NULL);
    pthread_exit((void *)(intptr_t)trv_exit_status(failed));
}

void trv_enable(TRV_T_RUNCTX *run, TRV_T_CLEANUP procedure)
{
    trv_private *state = trv_priv(run);
    int i;
    for (i = 0; i < state->cleanup_count; ++i) {
        if (state->cleanups[i] == procedure) {
            return;
        }
    }
    if (state->cleanup_count == TRV_K_MAX_CLEANUPS) {
        trv_fail(run, -1, "too many cleanup procedures enabled (at most %d)", TRV_K_MAX_CLEANUPS);
        return;
    }
    state->cleanups[state->cleanup_count++] = procedure;
    trv_trace(run, TRV_K_TRACE_DETAIL, "CLEANUP  procedure %d enabled", state->cleanup_count);
}

void trv_disable(TRV_T_RUNCTX *run, TRV_T_CLEANUP procedure)
{
    trv_private *state = trv_priv(run);
    int i;
    for (i = 0; i < state->cleanup_count; ++i) {
        if (state->cleanups[i] == procedure) {
            memmove(&state->cleanups[i], &state->cleanups[i + 1],
                    sizeof(TRV_T_CLEANUP) * (size_t)(state->cleanup_count - i - 1));
            --state->cleanup_count;
            trv_trace(run, TRV_K_TRACE_DETAIL, "CLEANUP  procedure %d disabled", i + 1);
            return;
        }
    }
}
