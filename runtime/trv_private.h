/* Internal state and helpers of the test runtime; not installed. */
#ifndef QVM_TRV_PRIVATE_H
#define QVM_TRV_PRIVATE_H

#include "TP.h"

#include <stdarg.h>
#include <sys/stat.h>
#include <time.h>

#define TRV_K_MAX_DEPTH 64       /* scenario depths whose timing is kept */
#define TRV_K_MAX_LISTED 32      /* failures listed again in the summary */
#define TRV_K_FAILURE_TEXT 256
#define TRV_K_MAX_CLEANUPS 16
#define TRV_K_PATH_SIZE 4096
#define TRV_K_FILTER_TEXT 255    /* filter letters read from the command line */
#define TRV_K_CALL_CHAIN 16      /* procedure calls whose positions a failure names */

/* One record of the TDC file: what a construct number stands for. */
typedef struct trv_s_construct {
    char key[4];
    char *text;   /* the first field */
    char *detail; /* the second field, when a third follows it */
    int file;
    int line;
} trv_construct;

typedef struct trv_s_tdc {
    trv_construct *records; /* indexed by record number */
    int count;
    char **files;           /* base names of the CF records, in order */
    int file_count;
    char origin_directory[TRV_K_PATH_SIZE]; /* of trv_tdc_origin */
    char origin_path[TRV_K_PATH_SIZE];
} trv_tdc;

/* The last message received during a WAITTIL, and whether the condition
 * was evaluated for it and nothing since: then that message ended the wait. */
typedef struct trv_s_waittil_event {
    int type;     /* construct numbers of the message type and the channel */
    int channel;
    int matched;  /* the message variable it matched, or -1 */
    int fresh;    /* 0: evaluated since; 1: received; 2: its evaluation is the latest */
} trv_waittil_event;

#define TRV_K_MAX_MEETINGS 64 /* rendezvous names counted per run */
#define TRV_K_MEETING_NAME 64

/* How often the run reached a rendezvous of one name. */
typedef struct trv_s_meeting {
    char name[TRV_K_MEETING_NAME];
    int count;
} trv_meeting;

/* Checks that make one verdict: VAR with EV=, a native call's checks. */
typedef struct trv_s_check_group {
    int open;
    int number;
    long checks;
    long failed;
    const char *kind;
    char first[TRV_K_FAILURE_TEXT]; /* the first failing check, for the verdict */
} trv_check_group;

struct trv_s_private {
    FILE *trace;
    int trace_owned;
    int trace_error;  /* errno of the first failed write, flush or close of the trace */
    int trace_fd;     /* the trace's descriptor, for the lines of a stopped run */
    int quiet;        /* QVM_RUN_QUIET: no summary on standard output */
    /* The construct running, or the last one run: named when the run stops. */
    int running_number;
    const char *running_kind;
    int running_done;
    const char *c_lines_file; /* the script's C lines running, with their line */
    int c_lines_line;
    int cleanup_running;      /* the cleanup procedure running at the end, from 1 */
    long limit_ms;    /* the scenario time limit, 0 for none */
    timer_t limit_timer;
    int limit_timer_made;
    void *alt_stack;  /* the signal stack of the run's thread */
    char trace_path[TRV_K_PATH_SIZE];
    int direct;   /* no trace level: every line goes to the file */
    /* Lines of a direct trace not yet written: they are written when the
     * program waits, at a failure, a scenario's end, after TRV_K_PENDING_MS,
     * at exit, and by the handler of a fatal signal or of the time limit. */
    char *pending;
    size_t pending_used;
    TRV_T_UTIME pending_since; /* trv_now_ms when the oldest was added */
    int circular; /* the buffer keeps the latest lines */
    int level;
    int trace_off;
    int failure_pending;
    unsigned long dropped_lines;
    TRV_T_DATE run_start;
    TRV_T_DATE scenario_start[TRV_K_MAX_DEPTH];
    const char *scenario_name[TRV_K_MAX_DEPTH];
    int scenario_number[TRV_K_MAX_DEPTH]; /* the construct number of each open scenario */
    int depth;
    int call_sites[TRV_K_CALL_CHAIN]; /* the CALL of each open procedure, outermost first */
    int call_depth;                   /* open procedure calls, the ones beyond the kept sites too */
    trv_check_group group;
    int compare_open;    /* between the two trv_cmp calls of a compare function */
    int compare_differs;
    char difference[TRV_K_FAILURE_TEXT]; /* the first field of the last compare that differed */
    int dump_open;
    int rio_off;         /* procsend and callback bodies run untraced */
    int send_open;       /* between a SEND and its end */
    int send_looping;    /* that SEND went on to call its procsend per connection identifier */
    int send_tries;      /* the procsend calls it made */
    int statement;       /* the communication statement running: transport faults are its verdicts */
    int waittil_open;
    TRV_T_UTIME waittil_start;
    /* The part of a millisecond the run's clock is shifted by, so that its
     * millisecond ticks begin where the current WAITTIL began. */
    double clock_phase_ms;
    TRV_T_UTIME waittil_limit;
    TRV_T_DATE waittil_begun;   /* the waited time to the microsecond */
    trv_waittil_event waittil_last; /* the last message the WAITTIL received */
    char rdv_dir[TRV_K_PATH_SIZE];
    int mailbox;         /* the tester's inter-tester socket, or -1 */
    char mailbox_path[TRV_K_PATH_SIZE];
    struct stat mailbox_status; /* the socket bound there, removed only while it is still ours */
    char mailbox_problem[TRV_K_FAILURE_TEXT]; /* why the mailbox could not be made */
    char tester_problem[TRV_K_FAILURE_TEXT]; /* why the last rendezvous or inter-tester call failed */
    trv_meeting meetings[TRV_K_MAX_MEETINGS];
    int meeting_count;
    const char *const *instances;   /* the script's instances, or null */
    char sent_to[TRV_K_NAME_SIZE];  /* the tester the last INTERSEND reached */
    const char *const *rdv_members; /* the instances meeting at the next rendezvous, or null */
    long scenarios_run;
    long scenarios_failed;
    long checks_passed;  /* verdicts */
    long checks_failed;
    long values_passed;  /* values the checks compared, each element of an array too */
    long values_failed;
    char listed[TRV_K_MAX_LISTED][TRV_K_FAILURE_TEXT];
    int listed_count;
    TRV_T_CLEANUP cleanups[TRV_K_MAX_CLEANUPS];
    int cleanup_count;
    int ending;
    int ended;
    char tester[TRV_K_NAME_SIZE];
    trv_tdc tdc;
    struct trv_s_selection *selection; /* the scenario table and selection, or none */
};

typedef struct trv_s_private trv_private;

/* The library's part of a run context; ends the process when the run was
 * never started with trv_set_trace_functions. */
trv_private *trv_priv(TRV_T_RUNCTX *run);

/* Trace lines, each with the class that decides at which trace level it
 * is kept (TRV_K_TRACE_ERROR ... TRV_K_TRACE_DETAIL). */
void trv_trace(TRV_T_RUNCTX *run, int line_class, const char *format, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
void trv_trace_setup(TRV_T_RUNCTX *run);
void trv_trace_flush(TRV_T_RUNCTX *run, int priority);
void trv_trace_close(TRV_T_RUNCTX *run);
#define TRV_K_PENDING (64 * 1024)
#define TRV_K_PENDING_MS 20
/* Writes the direct lines still pending, of the current thread's run
 * (before the program waits) or of every run (at exit). */
void trv_trace_write_pending_current(void);
/* Whether lines can still go to the trace (it is open and no write failed). */
int trv_trace_writable(const trv_private *state);
/* One line of the run's summary, written to the trace at once. */
void trv_trace_write_summary(TRV_T_RUNCTX *run, const char *line);

/* The guard of a run: fatal signals and the scenario time limit. */
void trv_guard_start(TRV_T_RUNCTX *run);
void trv_guard_stop(TRV_T_RUNCTX *run);
/* flush runs first on a fatal signal, with or without a run, and calls
 * async-signal-safe functions only; the fatal signals are watched from now. */
void trv_guard_flush_on_fatal(void (*flush)(void));
/* The runtime's own end of the process (a usage error, -LIST, a failure it
 * reports): exit(status), not taken for an exit() of the system under test
 * in the middle of a run. */
void trv_leave(int status) __attribute__((noreturn));
/* The limit counts again from now; held while the runtime waits with a
 * time-out of its own. */
void trv_guard_restart_limit(TRV_T_RUNCTX *run);
void trv_guard_hold_limit(TRV_T_RUNCTX *run);
/* The construct that runs (done 0) or has just run (done 1), named when a
 * signal or the time limit stops the run; kind is a static text. */
void trv_note_construct(TRV_T_RUNCTX *run, TRV_T_INT number, const char *kind, int done);

/* " via CALL outer at demo.pts:12 > CALL inner at demo.pts:8": the CALLs
 * of the open procedures, outermost first; "" outside procedures. */
void trv_call_chain_text(TRV_T_RUNCTX *run, char *out, size_t size);

/* Value images (trv_values.c). */
#define TRV_K_VALUE_TEXT 160 /* longest value shown, longer strings are cut */
/* In a power-of-two base, or in decimal followed by its hexadecimal form. */
void trv_unsigned_image(unsigned long value, int base, char *out, size_t size);
/* The number and its enumerator's name, "2 (COLOR_BLUE)". */
void trv_enum_image(long value, int base, const TRV_T_ENUM_NAME *names, char *out, size_t size);
/* "<count> bytes {00 79 FF ...}": zeros are bytes like the others. */
void trv_buffer_image(const void *value, size_t count, char *out, size_t size);
/* length is what snprintf returned for text of that size: a text that did
 * not fit ends with "..." so that a reader sees it was cut. */
void trv_mark_cut(char *text, size_t size, int length);

/* Verdicts. */
void trv_fail(TRV_T_RUNCTX *run, TRV_T_INT number, const char *format, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
void trv_pass(TRV_T_RUNCTX *run, TRV_T_INT number, const char *what);
int trv_process_failed(void);
/* A trace of this process could not be written in full. */
void trv_mark_trace_lost(void);

/* TDC file: construct texts and script positions by number. */
/* Finds the TDC file of the program's generation and loads it; a RUN line
 * says which file it read, or why none. */
void trv_tdc_read(TRV_T_RUNCTX *run, const char *rio_file, const char *stamp);
void trv_tdc_release(trv_tdc *tdc);
const trv_construct *trv_tdc_find(const trv_tdc *tdc, int number);
/* "#<number> <file>:<line>" or "#<number>" into out. */
void trv_where(TRV_T_RUNCTX *run, TRV_T_INT number, char *out, size_t size);
/* The construct's first text, or fallback when it has none or an empty one. */
const char *trv_construct_text(TRV_T_RUNCTX *run, TRV_T_INT number, const char *fallback);
/* The construct's second text (the label of a PRINT), or fallback likewise. */
const char *trv_construct_detail(TRV_T_RUNCTX *run, TRV_T_INT number, const char *fallback);

/* Tracer link: one line per event when the run follows dynamically. */
void trv_link_send(TRV_T_RUNCTX *run, const char *format, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* The run of the calling thread, for the calls that receive no context. */
extern TRV_THREAD_LOCAL TRV_T_RUNCTX *trv_current_run;

/* Milliseconds on the monotonic clock. */
TRV_T_UTIME trv_now_ms(void);

/* Transport and tester links: set up when the run starts, released at its end. */
void trv_channels_start(TRV_T_RUNCTX *run);
void trv_channels_release(void);
/* Serves the in-process system under test: delivers its answers that are due. */
void trv_sut_serve(void);
void trv_testers_start(TRV_T_RUNCTX *run, const char *rio_file);
void trv_testers_release(TRV_T_RUNCTX *run);
/* A verdict from a call that has no context; on stderr when no run is going. */
void trv_fail_current(const char *format, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void trv_trace_current(int line_class, const char *format, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* Milliseconds between two dates (later - earlier), never negative. */
double trv_elapsed_ms(const TRV_T_DATE *earlier, const TRV_T_DATE *later);

#endif /* QVM_TRV_PRIVATE_H */
