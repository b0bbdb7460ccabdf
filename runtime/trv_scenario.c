/* Scenarios between chrono marks, their blocks and procedures, and the
 * plain statements of a script. */
#include "trv_private.h"
#include "trv_select.h"

static int trv_depth_slot(TRV_T_INT depth)
{
    if (depth < 0) {
        return 0;
    }
    return depth < TRV_K_MAX_DEPTH ? (int)depth : TRV_K_MAX_DEPTH - 1;
}

void trv_startchronomarkloop(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT number, TRV_T_INT depth,
                             TRV_T_INT repetition, const char *text, TRV_T_INT element, TRV_T_INT file_id)
{
    trv_private *state = trv_priv(run);
    int slot = trv_depth_slot(depth);
    char where[TRV_K_PATH_SIZE];
    (void)end_number;
    state->scenario_name[slot] = trv_construct_text(run, number, text != NULL && text[0] ? text : "(root)");
    trv_get_date(&state->scenario_start[slot]);
    state->depth = slot;
    state->scenario_number[slot] = (int)number;
    trv_selection_begin(run, number);
    trv_note_construct(run, number, "the scenario's begin", 1);
    trv_guard_restart_limit(run);
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_SCN, "SCENARIO %s begin \"%s\" depth %d repetition %d", where,
              state->scenario_name[slot], (int)depth, (int)repetition);
    trv_link_send(run, "SCENARIO BEGIN %d %d %d", (int)element, (int)file_id, (int)repetition);
}

void trv_stopchronomarkloop(TRV_T_RUNCTX *run, TRV_T_INT result, TRV_T_INT end_number, TRV_T_INT depth,
                            TRV_T_INT repetition, const char *text, TRV_T_INT element, TRV_T_INT file_id)
{
    trv_private *state = trv_priv(run);
    int slot = trv_depth_slot(depth);
    const char *name = state->scenario_name[slot];
    char where[TRV_K_PATH_SIZE];
    TRV_T_DATE now;
    trv_get_date(&now);
    if (name == NULL) {
        name = trv_construct_text(run, end_number, text != NULL && text[0] ? text : "(root)");
    }
    ++state->scenarios_run;
    trv_selection_end(run, end_number, result);
    if (result != 0) {
        ++state->scenarios_failed;
        state->failure_pending = 1;
    }
    trv_where(run, end_number, where, sizeof where);
    if (result != 0) {
        trv_trace(run, TRV_K_TRACE_SCN, "SCENARIO %s end \"%s\" repetition %d FAILED (state %d)", where, name,
                  (int)repetition, (int)result);
    } else {
        trv_trace(run, TRV_K_TRACE_SCN, "SCENARIO %s end \"%s\" repetition %d passed", where, name,
                  (int)repetition);
    }
    trv_trace(run, TRV_K_TRACE_TIME, "TIME     %s \"%s\" %.3f ms", where, name,
              trv_elapsed_ms(&state->scenario_start[slot], &now));
    state->scenario_name[slot] = NULL;
    state->depth = slot - 1;
    trv_note_construct(run, end_number, "the scenario's end", 1);
    trv_guard_restart_limit(run);
    trv_link_send(run, "SCENARIO END %d %d %d", (int)element, (int)file_id, (int)result);
}

/* EXCEPTION blocks run only after a failure, so they are shown with the
 * scenarios; the other blocks are details unless they fail. */
static int trv_block_class(const char *kind, TRV_T_INT failed)
{
    return failed || strcmp(kind, "EXCEPTION") == 0 ? TRV_K_TRACE_SCN : TRV_K_TRACE_DETAIL;
}

static void trv_block_begin(TRV_T_RUNCTX *run, const char *kind, TRV_T_INT number, TRV_T_INT depth,
                            TRV_T_INT repetition)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    trv_trace(run, trv_block_class(kind, 0), "BLOCK    %s %s begin depth %d repetition %d", where, kind,
              (int)depth, (int)repetition);
}

static void trv_block_end(TRV_T_RUNCTX *run, const char *kind, TRV_T_INT failed, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    trv_trace(run, trv_block_class(kind, failed), "BLOCK    %s %s end %s", where, kind,
              failed ? "FAILED" : "passed");
}

/* The block's end number and the depth of its end are not needed: the
 * begin line already names the block. */
void trv_binit(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT number, TRV_T_INT depth, TRV_T_INT repetition)
{
    (void)end_number;
    trv_block_begin(run, "INITIALIZATION", number, depth, repetition);
}

void trv_bterm(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT number, TRV_T_INT depth, TRV_T_INT repetition)
{
    (void)end_number;
    trv_block_begin(run, "TERMINATION", number, depth, repetition);
}

void trv_bexcep(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT number, TRV_T_INT depth,
                TRV_T_INT repetition)
{
    (void)end_number;
    trv_block_begin(run, "EXCEPTION", number, depth, repetition);
}

void trv_ainit(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT number, TRV_T_INT depth, TRV_T_INT repetition)
{
    (void)depth, (void)repetition;
    trv_block_end(run, "INITIALIZATION", failed, number);
}

void trv_aterm(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT number, TRV_T_INT depth, TRV_T_INT repetition)
{
    (void)depth, (void)repetition;
    trv_block_end(run, "TERMINATION", failed, number);
}

void trv_aexcep(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT number, TRV_T_INT depth, TRV_T_INT repetition)
{
    (void)depth, (void)repetition;
    trv_block_end(run, "EXCEPTION", failed, number);
}

void trv_bproc(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_note_construct(run, number, "PROC", 0);
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "PROC     %s begin \"%s\"", where, trv_construct_text(run, number, "?"));
}

void trv_aproc(TRV_T_RUNCTX *run, TRV_T_INT end_number)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, end_number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "PROC     %s end", where);
}

void trv_call_enter(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_private *state = trv_priv(run);
    if (state->call_depth >= 0 && state->call_depth < TRV_K_CALL_CHAIN) {
        state->call_sites[state->call_depth] = (int)number;
    }
    ++state->call_depth;
}

void trv_call_leave(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    if (state->call_depth > 0) {
        --state->call_depth;
    }
}

void trv_call_chain_text(TRV_T_RUNCTX *run, char *out, size_t size)
{
    const trv_private *state = trv_priv(run);
    int kept = state->call_depth < TRV_K_CALL_CHAIN ? state->call_depth : TRV_K_CALL_CHAIN;
    size_t at = 0;
    int i;
    out[0] = '\0';
    for (i = 0; i < kept && at + 1 < size; ++i) {
        const trv_construct *record = trv_tdc_find(&state->tdc, state->call_sites[i]);
        char where[TRV_K_PATH_SIZE];
        trv_where(run, state->call_sites[i], where, sizeof where);
        /* "#<n> <file>:<line>": the position alone when the TDC file gives one. */
        at += (size_t)snprintf(out + at, size - at, "%s CALL %.60s at %.200s", i == 0 ? " via" : " >",
                               record != NULL && record->text != NULL ? record->text : "?",
                               strchr(where, ' ') != NULL ? strchr(where, ' ') + 1 : where);
    }
    if (state->call_depth > kept && at + 1 < size) {
        snprintf(out + at, size - at, " > ... %d more calls", state->call_depth - kept);
    }
}

void trv_error(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_fail(run, number, "ERROR statement");
}

void trv_unavailable(TRV_T_RUNCTX *run, const char *keyword, TRV_T_INT number)
{
    trv_fail(run, number, "%s not available yet", keyword);
}

void trv_comment(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    const char *text = trv_construct_text(run, number, NULL);
    trv_note_construct(run, number, "COMMENT", 1);
    trv_where(run, number, where, sizeof where);
    if (text != NULL) {
        trv_trace(run, TRV_K_TRACE_SCN, "COMMENT  %s \"%s\"", where, text);
    } else {
        trv_trace(run, TRV_K_TRACE_SCN, "COMMENT  %s", where);
    }
}

/* "<label>: <expression> = <value>", the label left out when the script
 * gives the expression as its own label. The value comes as an unsigned
 * long: it is shown signed, as the int or long the script prints. */
void trv_print(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_ULONG value)
{
    char where[TRV_K_PATH_SIZE];
    const char *expression = trv_construct_text(run, number, "value");
    const char *label = trv_construct_detail(run, number, NULL);
    trv_note_construct(run, number, "PRINT", 1);
    trv_where(run, number, where, sizeof where);
    if (label != NULL && strcmp(label, expression) != 0) {
        trv_trace(run, TRV_K_TRACE_SCN, "PRINT    %s %s: %s = %ld (0x%lx)", where, label, expression, (long)value,
                  value);
    } else {
        trv_trace(run, TRV_K_TRACE_SCN, "PRINT    %s %s = %ld (0x%lx)", where, expression, (long)value, value);
    }
}

static void trv_apply_filter(TRV_T_RUNCTX *run, const char *letters, TRV_T_INT value)
{
    int i;
    for (i = 0; letters != NULL && letters[i] != '\0' && i < TRV_K_FILTER_TEXT; ++i) {
        if (letters[i] >= 'A' && letters[i] <= 'Z') {
            run->trv_ctxfilter[letters[i] - 'A'] = value;
        }
    }
}

void trv_setfilter(TRV_T_RUNCTX *run, const char *letters, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_apply_filter(run, letters, 1);
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "FILTER   %s set \"%s\"", where, letters != NULL ? letters : "");
}

void trv_unsetfilter(TRV_T_RUNCTX *run, const char *letters, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_apply_filter(run, letters, 0);
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "FILTER   %s unset \"%s\"", where, letters != NULL ? letters : "");
}
