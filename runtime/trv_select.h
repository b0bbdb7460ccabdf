/* Run-time scenario selection and the results of each scenario that the
 * JUnit file reports; internal to the library, not installed. */
#ifndef QVM_TRV_SELECT_H
#define QVM_TRV_SELECT_H

#include "trv_private.h"

#include <time.h>

#define TRV_K_JUNIT_FAILURES 256 /* failure texts a run keeps for its JUnit file */
#define TRV_K_JUNIT_POSITION 256

typedef struct trv_s_scenario_result {
    int selected;        /* by -SCN= / -EXSCN= */
    int runs;            /* a selected leaf, or a scenario holding one */
    long started;        /* repetitions begun */
    int open;            /* between its begin and its end */
    int state;           /* the last non-zero state it ended with */
    long failures;       /* failures noted for it, kept or not */
    long unlisted;       /* those the run had no room left to keep */
    struct timespec begun;
    long long elapsed_ns;
} trv_scenario_result;

/* A failing verdict, and the scenario whose sequence was running: 0 (the
 * root) for a failure outside every scenario. */
typedef struct trv_s_noted_failure {
    int scenario;
    char position[TRV_K_JUNIT_POSITION]; /* "file:line", or "" */
    char message[TRV_K_FAILURE_TEXT];
} trv_noted_failure;

struct trv_s_selection {
    const TRV_T_SCENARIO_INFO *table;
    int count;
    trv_scenario_result *results;
    int current; /* the scenario whose sequence (blocks and body) runs */
    int narrowed; /* -SCN= or -EXSCN= chose the scenarios: the JUnit file lists only those */
    char junit_path[TRV_K_PATH_SIZE]; /* "" when no JUnit file is asked for */
    char suite[TRV_K_PATH_SIZE];      /* the script's name without directory and extension */
    char timestamp[32];
    char hostname[256];
    struct timespec begun;
    trv_noted_failure noted[TRV_K_JUNIT_FAILURES];
    int noted_count;
};

typedef struct trv_s_selection trv_selection;

/* Hooks of the scenario marks and of the verdicts: no-ops for a run
 * without a scenario table. number is the scenario's begin or end number. */
void trv_selection_begin(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_selection_end(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT state);
void trv_selection_note_failure(TRV_T_RUNCTX *run, TRV_T_INT number, const char *message);
/* Writes the JUnit file at the end of the run and releases the selection. */
void trv_selection_finish(TRV_T_RUNCTX *run);

/* The nearest FAMILY line's names at or above scenario index, or "". */
const char *trv_scenario_families(const trv_selection *selection, int index);

/* Writes the run's JUnit file, when one is asked for, through a temporary
 * file renamed into place. It makes only async-signal-safe calls, so the
 * guard writes the file of a stopped run too: verdict is then the stopping
 * verdict, charged to the scenario that was running (NULL at a normal end).
 * Returns 0, or -1 with errno set. */
int trv_junit_write(const trv_private *state, const char *verdict);

#endif /* QVM_TRV_SELECT_H */
