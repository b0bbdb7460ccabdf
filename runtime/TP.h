/*
 * TP.h - the test runtime used by the programs that qvmprepro generates.
 *
 * A generated test program includes this header, declares its own context
 * type whose first member is a TRV_T_RUNCTX, and calls the trv_ functions
 * below with the address of that member.  The library keeps the verdicts,
 * writes the text trace (the RIO file) and ends the process with a status
 * that says whether every verdict passed.  See runtime/README.md.
 */
#ifndef QVM_TP_H
#define QVM_TP_H

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Generated code tests "#if QVM_DYNFLW": the tracer link is off unless the
 * program is compiled with -DQVM_DYNFLW=1. */
#ifndef QVM_DYNFLW
#define QVM_DYNFLW 0
#endif

/* Generated code tests ANSI_C to choose prototype-style casts. */
#ifndef ANSI_C
#define ANSI_C 1
#endif

/* Marks what generated code may leave unused: a procedure need not use its
 * parameters, and the fixed declarations of a generated function serve
 * statements that a script may not have. */
#if defined(__GNUC__) || defined(__clang__)
#define TRV_MAYBE_UNUSED __attribute__((unused))
#else
#define TRV_MAYBE_UNUSED
#endif

/* ---- Function header macros ------------------------------------------
 * The generator writes headers as
 *     static TRV_T_INT trv_P7  TRV_DP (( trv_ctx, a)) TRV_BP
 *     TRV_PT_CTX trv_ctx TRV_SP
 *     int a  TRV_EP
 * which these macros turn into a prototype-style definition whose
 * parameters may go unused:
 *     static TRV_T_INT trv_P7 ( TRV_PT_CTX trv_ctx TRV_MAYBE_UNUSED, int a TRV_MAYBE_UNUSED )
 */
#define TRV_DP(names)
#define TRV_BP (
#define TRV_SP TRV_MAYBE_UNUSED,
#define TRV_EP TRV_MAYBE_UNUSED)
#define TRV_CONST const

/* ---- Basic types --------------------------------------------------------
 * TRV_T_INT is the type of the generated functions' own variables (loop
 * counters, states, results), which a script's statements may not all
 * use. */
typedef int TRV_T_INT TRV_MAYBE_UNUSED;
typedef unsigned int TRV_T_UINT;
typedef unsigned int *TRV_PT_UINT;
typedef long TRV_T_LONG;
typedef unsigned long TRV_T_ULONG;
typedef int TRV_T_ENUM;
typedef float TRV_T_REAL;
typedef double TRV_T_DOUBLE;
typedef char TRV_T_CAR;
typedef char *TRV_PT_CAR;
typedef void *TRV_PT_VOID;
/* Durations and logical times, in milliseconds: signed, as the time-outs
 * of scripts that generated code compares them with are mostly ints. */
typedef long TRV_T_UTIME;

/* A point on the monotonic clock. */
typedef struct trv_s_date {
    TRV_T_LONG trv_sec;
    TRV_T_LONG trv_nsec;
} TRV_T_DATE;

/* A script TIMER: started by trv_get_date, read by trv_time. */
typedef struct trv_s_timer {
    TRV_T_DATE timer;
} TRV_T_TIMER;

/* ---- Limits and constants ---------------------------------------------- */
#define K_TRACECTX_MAX_PRIORITY 100
#define TRV_K_TRACE_ERROR 5
#define TRV_K_TRACE_SCN 10
#define TRV_K_TRACE_TIME 20
#define TRV_K_TRACE_DETAIL 30
#define TRV_K_TRACE_CIRCULAR 50

#define TRV_K_FILTER_COUNT 26   /* filter letters A to Z */
#define TRV_K_NAME_SIZE 512     /* tester name */
#define TRV_K_MAX_API 16        /* interface API table entries */
#define TRV_K_TRACE_LINE 1024   /* longest trace line, longer ones are cut */

/* Values used by the communication code. */
#define TRV_K_ID_SIZE 16
#define TRV_NOEVT 0
#define TRV_EVTOK 1
#define TRV_EVTKO 2
#define TRV_MESSAGE_SENT 0
#define TRV_MESSAGE_READ 2
#define TRV_NO_MESSAGE 3
#define TRV_WTIME_TO_TIME 1
#define QVM_TAGTBUF_SIZE 4096
#define TRV_P_BASE2 2
#define TRV_P_BASE8 8
#define TRV_P_BASE10 10
#define TRV_P_BASE16 16

/* ---- Interface API table ------------------------------------------------ */
typedef struct trv_s_tarvo_evt {
    TRV_T_INT trv_code;
    TRV_T_INT trv_size;
    TRV_PT_VOID trv_data;
} T_TARVO_EVT, *PT_TARVO_EVT;

typedef struct trv_s_api {
    void (*apifctfill)(void);
    TRV_PT_VOID apifctcheck;
    TRV_PT_VOID apifctinit;
    PT_TARVO_EVT apirefevt;
    PT_TARVO_EVT apievt;
} TRV_T_API;

/* ---- Run context -------------------------------------------------------- */

/* The trace buffer; the generated program supplies the memory and sets the
 * size and the priority (its trace level) before trv_set_trace_functions. */
typedef struct trv_s_tracectx {
    TRV_PT_CAR trv_ctxbuffertrace;
    TRV_T_INT trv_ctxbuffersize;
    TRV_T_INT trv_ctxbuffersizeleft;
    TRV_T_INT trv_ctxtracepriority;
    TRV_PT_CAR trv_ctxcurrentline;
    TRV_PT_CAR trv_ctxlinetoerase;
    TRV_PT_CAR trv_ctxlastline;
} TRV_T_TRACECTX;

struct trv_s_private;

typedef struct trv_s_runctx {
    TRV_T_TRACECTX trv_ctxtracectx;
    TRV_T_API trv_apitab[TRV_K_MAX_API];
    TRV_T_INT trv_ctxflagprobe;
    TRV_T_DATE trv_ctxusrdate;
    TRV_T_INT trv_ctxfilter[TRV_K_FILTER_COUNT];
    TRV_T_INT trv_ctxnuminstance;
    TRV_T_INT trv_ctxoccid;
    TRV_T_CAR trv_ctxtesternaming[TRV_K_NAME_SIZE];
    TRV_T_INT trv_ctxtagtsocket;
    TRV_T_INT trv_ctxtagttimeout;
    TRV_T_INT trv_ctxtagtcommactivated;
    TRV_T_UTIME trv_ctxwtime;
    TRV_T_UTIME trv_ctxlwait;
    TRV_T_ULONG trv_ctxtimeout;
    TRV_T_UTIME trv_ctxrcvtime;
    TRV_T_UTIME trv_ctxlogdate;
    TRV_T_UTIME trv_gran;
    /* Verdicts, trace file and bookkeeping; owned by the library. */
    struct trv_s_private *trv_ctxpriv;
} TRV_T_RUNCTX, *TRV_PT_RUNCTX;

/* ---- Thread entry ------------------------------------------------------- */
typedef struct trv_s_arg {
    TRV_PT_CAR trv_filters;     /* filter letters, or null */
    TRV_PT_CAR trv_instance;    /* instance name, or null */
    TRV_T_INT trv_occid;        /* occurrence number */
    TRV_PT_CAR trv_riofilename; /* trace file */
} TRV_T_ARG, *TRV_PT_ARG;

typedef void *TRV_T_THREAD_RETURN;

/* ---- Loop counters of generated code ------------------------------------
 * Each thread has its own, so that testers started as threads of one
 * process do not share their repetition and index counters. */
#if defined(__GNUC__) || defined(__clang__)
#define TRV_THREAD_LOCAL __thread
#else
#define TRV_THREAD_LOCAL
#endif
extern TRV_THREAD_LOCAL TRV_T_INT J0, J1, J2, J3, J4, J5, J6, J7, J8, J9, J10, J11, J12, J13, J14, J15, J16, J17, J18,
    J19, J20;
extern TRV_THREAD_LOCAL TRV_T_INT I0, I1, I2, I3, I4, I5, I6, I7, I8, I9, I10, I11, I12, I13, I14, I15, I16, I17, I18,
    I19, I20;

/* ---- Run start and end --------------------------------------------------- */
void trv_set_trace_functions(TRV_T_RUNCTX *run);
/* The TDC file the program was generated with, and the directory its name
 * is relative to; called before trv_initrio, which looks for it there. */
void trv_tdc_origin(TRV_T_RUNCTX *run, const char *generation_directory, const char *tdc_path);
void trv_initrio(TRV_T_RUNCTX *run, const char *rio_file, const char *filters, TRV_T_INT instance_ok,
                 TRV_T_INT instance_unknown, const char *instance_name, TRV_T_INT occid,
                 const char *stamp, const char *build);
void trv_initrio_no_dynamicfollowing(TRV_T_RUNCTX *run, const char *rio_file, const char *filters,
                                     TRV_T_INT instance_ok, TRV_T_INT instance_unknown,
                                     const char *instance_name, TRV_T_INT occid, const char *stamp,
                                     const char *build);
void trv_initrio_with_dynamicfollowing(TRV_T_RUNCTX *run, const char *rio_file, const char *filters,
                                       TRV_T_INT instance_ok, TRV_T_INT instance_unknown,
                                       const char *instance_name, TRV_T_INT occid, const char *stamp,
                                       const char *build);
void trv_end(TRV_T_RUNCTX *run);
void trv_rioexit(TRV_T_RUNCTX *run, TRV_T_INT number);

/* ---- Scenario table, run-time selection, JUnit results ------------------
 * The generated program describes the scenarios it holds, in script order
 * (each one's enclosing scenario comes before it; the root scenario is the
 * first, with the name ""), and hands the table to the library with its
 * command line: -SCN=, -EXSCN=, -LIST and -JUNIT= (see runtime/README.md). */
typedef struct trv_s_scenario_info {
    TRV_T_INT trv_number;       /* construct number of the scenario's begin */
    TRV_T_INT trv_end_number;   /* and of its end */
    TRV_T_INT trv_parent;       /* table index of the enclosing scenario, -1 for the root */
    TRV_T_INT trv_leaf;         /* 1 for a scenario of instructions */
    const char *trv_name;       /* qualified name, "A.B" */
    const char *trv_families;   /* the names of its FAMILY line joined by ",", or "" */
    const char *trv_file;       /* script file of its SCENARIO line */
    TRV_T_INT trv_line;
} TRV_T_SCENARIO_INFO;

/* Reads the selection options before the run starts: -LIST prints the
 * scenarios selected and ends the process with 0; a wrong selection ends
 * it with TRV_K_STATUS_USAGE. argv may be null (a thread entry). */
void trv_scenario_options(TRV_T_INT argc, TRV_PT_CAR const *argv, const TRV_T_SCENARIO_INFO *table,
                          TRV_T_INT count);
/* Gives the run its table and selection, and the JUnit file to write at
 * its end (-JUNIT= or QVM_JUNIT_FILE); called before trv_initrio. */
void trv_scenario_table(TRV_T_RUNCTX *run, TRV_T_INT argc, TRV_PT_CAR const *argv,
                        const TRV_T_SCENARIO_INFO *table, TRV_T_INT count);
/* Whether the scenario numbered number runs: it is selected, or holds a
 * selected one. Its level's INITIALIZATION, TERMINATION and EXCEPTION
 * blocks run for it only when it does. */
TRV_T_INT trv_scenario_selected(TRV_T_RUNCTX *run, TRV_T_INT number);

/* The generated program defines trv_initstates, which its WAITTIL code
 * calls, and trv_initctx, which its entry function calls once: the call of
 * trv_initctx names trv_initstates too, so that a program without WAITTIL
 * does not have it reported unused. */
#define trv_initctx(context) ((void)trv_initstates, trv_initctx(context))

/* Exit statuses of a test program. */
#define TRV_K_STATUS_PASSED 0
#define TRV_K_STATUS_FAILED 1     /* a failing verdict */
#define TRV_K_STATUS_TRACE_LOST 2 /* a trace could not be written in full */
#define TRV_K_STATUS_STOPPED 3    /* a fatal signal, the scenario time limit or an exit() stopped the run */
#define TRV_K_STATUS_USAGE 4      /* a wrong -SCN=, -EXSCN= or -JUNIT= option: nothing ran */

/* Ends the process: status 1 when failed is non-zero or any run of this
 * process recorded a failing verdict, 2 when a trace could not be written
 * in full, else 0. */
void trv_exit(TRV_T_INT failed)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((noreturn))
#endif
    ;
/* Ends the calling thread the same way (its result is the status). */
void trv_thr_exit(TRV_T_INT failed)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((noreturn))
#endif
    ;
#define QVM_EXIT(status) trv_exit(status)

/* ---- Scenarios, blocks, procedures -------------------------------------- */
void trv_startchronomarkloop(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT number, TRV_T_INT depth,
                             TRV_T_INT repetition, const char *text, TRV_T_INT element,
                             TRV_T_INT file_id);
void trv_stopchronomarkloop(TRV_T_RUNCTX *run, TRV_T_INT state, TRV_T_INT end_number, TRV_T_INT depth,
                            TRV_T_INT repetition, const char *text, TRV_T_INT element,
                            TRV_T_INT file_id);
void trv_binit(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT number, TRV_T_INT depth,
               TRV_T_INT repetition);
void trv_ainit(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT number, TRV_T_INT depth,
               TRV_T_INT repetition);
void trv_bterm(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT number, TRV_T_INT depth,
               TRV_T_INT repetition);
void trv_aterm(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT number, TRV_T_INT depth,
               TRV_T_INT repetition);
void trv_bexcep(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT number, TRV_T_INT depth,
                TRV_T_INT repetition);
void trv_aexcep(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT number, TRV_T_INT depth,
                TRV_T_INT repetition);
void trv_bproc(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_aproc(TRV_T_RUNCTX *run, TRV_T_INT end_number);

/* Cleanup procedures: run, latest first, when the run ends or stops. They
 * receive the program's context, whose first member is the run context. */
typedef TRV_T_INT (*TRV_T_CLEANUP)(void *context);
void trv_enable(TRV_T_RUNCTX *run, TRV_T_CLEANUP procedure);
void trv_disable(TRV_T_RUNCTX *run, TRV_T_CLEANUP procedure);

/* ---- Verdicts ------------------------------------------------------------ */
void trv_error(TRV_T_RUNCTX *run, TRV_T_INT number);
/* A statement whose code is not generated yet: a failing verdict. */
void trv_unavailable(TRV_T_RUNCTX *run, const char *keyword, TRV_T_INT number);
/* A native call's checks lie between trv_bcf and trv_cf; trv_cf returns 1
 * when one of them failed, else 0. */
void trv_bcf(TRV_T_RUNCTX *run, TRV_T_INT number);
TRV_T_INT trv_cf(TRV_T_RUNCTX *run, TRV_T_INT number);

/* ---- Trace --------------------------------------------------------------- */
void trv_comment(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_print(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_ULONG value);
void trv_trace_on(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_trace_off(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_flush_trace(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_flush_circular_buffer(TRV_T_RUNCTX *run, TRV_T_INT priority);

/* ---- Filters ------------------------------------------------------------- */
void trv_setfilter(TRV_T_RUNCTX *run, const char *letters, TRV_T_INT number);
void trv_unsetfilter(TRV_T_RUNCTX *run, const char *letters, TRV_T_INT number);

/* ---- Time ----------------------------------------------------------------- */
void trv_get_date(TRV_T_DATE *date);
/* Milliseconds since the date. */
TRV_T_ULONG trv_time(const TRV_T_DATE *date);
void trv_pause(TRV_T_UTIME milliseconds);

/* ---- Tracer link ------------------------------------------------------------ */
int priv_boot_tagtlk(TRV_T_INT *socket_fd, const char *instance_name, const char *tester_name,
                     TRV_T_INT *timeout, TRV_T_INT *activated);
void priv_close_tagtlk(TRV_T_INT *socket_fd);
void trv_endoftester_tagtlk(TRV_T_RUNCTX *run);
void trv_notify_tsf(TRV_T_RUNCTX *run, TRV_T_INT file_id, long hash_key, long run_key);
void trv_declare_ni_tsf(TRV_T_RUNCTX *run, TRV_T_INT file_id);
void trv_special_block_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, TRV_T_INT kind,
                           TRV_T_INT begin);

/* ---- Variable checks ------------------------------------------------------
 * VAR with EV= lies between trv_var_va and trv_end_var_va, a native call's
 * checks between trv_bcf and trv_cf: each sequence is one verdict, and the
 * end call returns 1 when one of its checks failed, else 0.  Every check
 * traces its expected and actual values, integers and characters in the
 * base given by TRV_P_BASE2 ... TRV_P_BASE16.  The last two arguments are
 * the innermost index counter and, inside a loop over a whole array of
 * scalars, the array's upper index (-1 otherwise). */
void trv_var_va(TRV_T_RUNCTX *run, TRV_T_INT number);
TRV_T_INT trv_end_var_va(TRV_T_RUNCTX *run, TRV_T_INT end_number);
/* A dump (VAR without INIT= or EV=, and the message dumps) begins and ends
 * with trv_var. */
void trv_var(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_vartab(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_varstruct(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_varplage(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT lower, TRV_T_INT upper);
void trv_varreset(TRV_T_RUNCTX *run);
/* A union whose selected alternative is not the expected one. */
void trv_setflagrt(TRV_T_RUNCTX *run);
/* A whole union value: copied as it is. */
#define trv_assign_union(run, destination, source) \
    ((void)(run), memcpy(&(destination), &(source), sizeof(destination)))

/* Expected-value checks ("var_"): actual, expected. */
void trv_var_int_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT actual, TRV_T_INT expected, TRV_T_INT base,
                   TRV_T_INT index, TRV_T_INT upper);
void trv_var_char_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR actual, TRV_T_CAR expected, TRV_T_INT base,
                    TRV_T_INT index, TRV_T_INT upper);
void trv_var_byte_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR actual, TRV_T_CAR expected, TRV_T_INT base,
                    TRV_T_INT index, TRV_T_INT upper);
void trv_var_bytetab_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR actual, TRV_T_CAR expected,
                       TRV_T_INT base, TRV_T_INT index, TRV_T_INT upper);
void trv_var_long_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_LONG actual, TRV_T_LONG expected, TRV_T_INT base,
                    TRV_T_INT index, TRV_T_INT upper);
void trv_var_float_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_REAL actual, TRV_T_REAL expected,
                     TRV_T_INT index, TRV_T_INT upper);
void trv_var_double_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_DOUBLE actual, TRV_T_DOUBLE expected,
                      TRV_T_INT index, TRV_T_INT upper);
void trv_var_string_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_CAR actual, TRV_PT_CAR expected,
                      TRV_T_INT index, TRV_T_INT upper);
void trv_var_nonil_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_VOID actual, TRV_PT_VOID expected,
                     TRV_T_INT index, TRV_T_INT upper);
void trv_var_pointer_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_VOID actual, TRV_PT_VOID expected,
                       TRV_T_INT index, TRV_T_INT upper);

/* Message compare checks ("cmp_"): received, reference; a mismatch makes
 * the message not match, it is no failing verdict by itself. */
void trv_cmp_int_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT actual, TRV_T_INT reference, TRV_T_INT index,
                   TRV_T_INT upper);
void trv_cmp_char_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR actual, TRV_T_CAR reference,
                    TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_byte_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR actual, TRV_T_CAR reference,
                    TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_bytetab_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR actual, TRV_T_CAR reference,
                       TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_long_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_LONG actual, TRV_T_LONG reference,
                    TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_float_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_REAL actual, TRV_T_REAL reference,
                     TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_double_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_DOUBLE actual, TRV_T_DOUBLE reference,
                      TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_string_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_CAR actual, TRV_PT_CAR reference,
                      TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_nonil_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_VOID actual, TRV_PT_VOID reference,
                     TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_pointer_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_VOID actual, TRV_PT_VOID reference,
                       TRV_T_INT index, TRV_T_INT upper);

/* Dumps ("dmp_"): the value only. */
void trv_dmp_int_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT value, TRV_T_INT base, TRV_T_INT index,
                   TRV_T_INT upper);
void trv_dmp_char_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR value, TRV_T_INT base, TRV_T_INT index,
                    TRV_T_INT upper);
void trv_dmp_byte_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR value, TRV_T_INT base, TRV_T_INT index,
                    TRV_T_INT upper);
void trv_dmp_bytetab_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_CAR value, TRV_T_INT base, TRV_T_INT index,
                       TRV_T_INT upper);
void trv_dmp_long_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_LONG value, TRV_T_INT base, TRV_T_INT index,
                    TRV_T_INT upper);
void trv_dmp_float_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_REAL value, TRV_T_INT index, TRV_T_INT upper);
void trv_dmp_double_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_DOUBLE value, TRV_T_INT index,
                      TRV_T_INT upper);
void trv_dmp_string_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_CAR value, TRV_T_INT index, TRV_T_INT upper);
void trv_dmp_nonil_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_VOID value, TRV_T_INT index, TRV_T_INT upper);
void trv_dmp_pointer_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_PT_VOID value, TRV_T_INT index,
                       TRV_T_INT upper);

/* Range checks: value, then each bound with a flag that says whether it is
 * given.  The reference dump has no value. */
#define TRV_RANGE_FAMILY(name, type, BASE_PARAMETER, NAMES_PARAMETER)                                      \
    void trv_var_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, TRV_T_INT has_lower,   \
                                  type lower, TRV_T_INT has_upper,                                            \
                                  type upper_value BASE_PARAMETER NAMES_PARAMETER, TRV_T_INT index,           \
                                  TRV_T_INT upper);                                                           \
    void trv_cmp_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, TRV_T_INT has_lower,   \
                                  type lower, TRV_T_INT has_upper, type upper_value NAMES_PARAMETER,          \
                                  TRV_T_INT index, TRV_T_INT upper);                                          \
    void trv_dmp_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT has_lower, type lower,     \
                                  TRV_T_INT has_upper, type upper_value BASE_PARAMETER NAMES_PARAMETER,       \
                                  TRV_T_INT index, TRV_T_INT upper);
#define TRV_RANGE_BASE , TRV_T_INT base
#define TRV_RANGE_NO_BASE
#define TRV_RANGE_NO_NAMES
TRV_RANGE_FAMILY(int, TRV_T_INT, TRV_RANGE_BASE, TRV_RANGE_NO_NAMES)
TRV_RANGE_FAMILY(byte, TRV_T_CAR, TRV_RANGE_BASE, TRV_RANGE_NO_NAMES)
TRV_RANGE_FAMILY(long, TRV_T_LONG, TRV_RANGE_BASE, TRV_RANGE_NO_NAMES)
TRV_RANGE_FAMILY(float, TRV_T_REAL, TRV_RANGE_NO_BASE, TRV_RANGE_NO_NAMES)
TRV_RANGE_FAMILY(double, TRV_T_DOUBLE, TRV_RANGE_NO_BASE, TRV_RANGE_NO_NAMES)

/* Native call checks (between trv_bcf and trv_cf): whether an expected
 * value is given, the initial, expected and actual values, the parameter's
 * number.  Without an expected value the values are only traced. */
void trv_int_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_INT initial, TRV_T_INT expected, TRV_T_INT actual,
               TRV_T_INT number);
void trv_char_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_CAR initial, TRV_T_CAR expected,
                TRV_T_CAR actual, TRV_T_INT number);
void trv_byte_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_CAR initial, TRV_T_CAR expected,
                TRV_T_CAR actual, TRV_T_INT number);
void trv_bytetab_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_CAR initial, TRV_T_CAR expected,
                   TRV_T_CAR actual, TRV_T_INT number);
void trv_long_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_LONG initial, TRV_T_LONG expected,
                TRV_T_LONG actual, TRV_T_INT number);
void trv_float_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_REAL initial, TRV_T_REAL expected,
                 TRV_T_REAL actual, TRV_T_INT number);
void trv_double_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_DOUBLE initial, TRV_T_DOUBLE expected,
                  TRV_T_DOUBLE actual, TRV_T_INT number);
void trv_string_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_PT_CAR initial, TRV_PT_CAR expected,
                  TRV_PT_CAR actual, TRV_T_INT number);
void trv_nonil_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_PT_VOID initial, TRV_PT_VOID expected,
                 TRV_PT_VOID actual, TRV_T_INT number);
void trv_pointer_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_PT_VOID initial, TRV_PT_VOID expected,
                   TRV_PT_VOID actual, TRV_T_INT number);

/* Checks of arrays of characters ("chars": strings that end at their
 * terminator or at the array's end) and of arrays of bytes ("bytes": unsigned
 * char, uint8_t..., the same over the smaller size), never read beyond the
 * size that follows each value: the generated code gives sizeof of an array,
 * TRV_NO_SIZE for a value that is a pointer to a string. */
#define TRV_NO_SIZE ((size_t)-1)
void trv_var_chars_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *actual, size_t actual_size,
                     const void *expected, size_t expected_size, TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_chars_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *actual, size_t actual_size,
                     const void *reference, size_t reference_size, TRV_T_INT index, TRV_T_INT upper);
void trv_dmp_chars_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *value, size_t value_size, TRV_T_INT index,
                     TRV_T_INT upper);
void trv_chars_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, const void *initial, size_t initial_size,
                 const void *expected, size_t expected_size, const void *actual, size_t actual_size,
                 TRV_T_INT number);
void trv_var_bytes_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *actual, size_t actual_size,
                     const void *expected, size_t expected_size, TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_bytes_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *actual, size_t actual_size,
                     const void *reference, size_t reference_size, TRV_T_INT index, TRV_T_INT upper);
void trv_dmp_bytes_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *value, size_t value_size, TRV_T_INT index,
                     TRV_T_INT upper);
void trv_bytes_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, const void *initial, size_t initial_size,
                 const void *expected, size_t expected_size, const void *actual, size_t actual_size,
                 TRV_T_INT number);

/* Native call checks against a range of values: each bound with a flag that
 * says whether it is given, the actual value, the parameter's number.  A
 * range is always judged. */
void trv_range_int_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, TRV_T_INT lower, TRV_T_INT has_upper,
                     TRV_T_INT upper, TRV_T_INT actual, TRV_T_INT number);
void trv_range_byte_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, TRV_T_CAR lower, TRV_T_INT has_upper,
                      TRV_T_CAR upper, TRV_T_CAR actual, TRV_T_INT number);
void trv_range_long_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, TRV_T_LONG lower, TRV_T_INT has_upper,
                      TRV_T_LONG upper, TRV_T_LONG actual, TRV_T_INT number);
void trv_range_float_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, TRV_T_REAL lower, TRV_T_INT has_upper,
                       TRV_T_REAL upper, TRV_T_REAL actual, TRV_T_INT number);
void trv_range_double_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, TRV_T_DOUBLE lower, TRV_T_INT has_upper,
                        TRV_T_DOUBLE upper, TRV_T_DOUBLE actual, TRV_T_INT number);

/* NIL and NONIL of scripts: the null pointer and "any pointer but null".
 * NONIL is the address of a zero-filled object of the runtime, so that a
 * pointer set to NONIL (a field of a message that is sent) can be read: as
 * an empty string, or as zeros. Checked against, it accepts any pointer but
 * the null one. */
#ifndef NIL
#define NIL 0
#endif
extern union trv_u_nonil {
    long double trv_align;
    void *trv_pointer;
    char trv_bytes[512];
} trv_nonil_object;
#define NONIL ((TRV_PT_VOID)&trv_nonil_object)

/* ---- Communication -----------------------------------------------------------
 * Message tables (TRV_T_MSG_<T>) and channel tables are written by the
 * generated program; these calls trace and judge what its WAITTIL, SEND and
 * message functions do.  Dates are milliseconds on the monotonic clock. */

/* WAITTIL conditions over a message table entry, and over the entry's state
 * on one channel: written TRV_MATCHED_2(trv_msg_T[k],trv_state_channel[c][h]). */
#define TRV_MATCHING_1(message) ((message).trv_state == TRV_EVTOK)
#define TRV_NOTMATCHING_1(message) ((message).trv_state == TRV_EVTKO)
#define TRV_MATCHED_1(message) ((message).trv_stateok != 0)
#define TRV_NOTMATCHED_1(message) ((message).trv_stateko != 0)
#define TRV_MATCHING_2(message, channel) ((message).trv_state == TRV_EVTOK && ((message).channel & TRV_EVTOK) != 0)
#define TRV_NOTMATCHING_2(message, channel) \
    ((message).trv_state == TRV_EVTKO && ((message).channel & TRV_EVTKO) != 0)
#define TRV_MATCHED_2(message, channel) ((((message).channel) & TRV_EVTOK) != 0)
#define TRV_NOTMATCHED_2(message, channel) ((((message).channel) & TRV_EVTKO) != 0)
/* The time waited by the current WAITTIL, in granularity ticks, through
 * the program's access macro trv_wtime. */
#define WTIME ((TRV_T_LONG)(trv_wtime))

void trv_waittil(TRV_T_RUNCTX *run, TRV_T_INT number);
/* result: 0 condition met, 1 failure condition met, 2 link or callback failure. */
void trv_endwaittil(TRV_T_RUNCTX *run, TRV_T_INT result, TRV_T_INT end_number, const char *message_type);
void trv_nodefmsg(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_noaddid(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_numofid(TRV_T_RUNCTX *run, TRV_T_INT number);
/* Milliseconds since the run began. */
TRV_T_UTIME trv_getevtdate(TRV_T_RUNCTX *run);
/* Ticks waited since the current WAITTIL began. */
TRV_T_UTIME trv_getwtime(TRV_T_RUNCTX *run);
/* Sleeps, serving the in-process system under test meanwhile. */
void trv_sleep(TRV_T_UTIME milliseconds);
/* The tester's own trace lines are suspended around procsends and callbacks. */
void trv_rio_on(TRV_T_RUNCTX *run);
void trv_rio_off(TRV_T_RUNCTX *run);
/* A message received: its type's number, the channel's number. */
void trv_evt(TRV_T_RUNCTX *run, TRV_T_INT type_number, TRV_T_INT channel_number, TRV_T_INT kind,
             const char *text);
void trv_endevt(TRV_T_RUNCTX *run, TRV_T_INT end_number);
void trv_def_msg(TRV_T_RUNCTX *run, TRV_T_INT number);
/* The compare function calls trv_cmp before and after its field checks; the
 * second call returns 1 when every check matched, else 0. */
TRV_T_INT trv_cmp(TRV_T_RUNCTX *run);
/* The value of one MATCHING-family piece of a WAITTIL condition at its
 * end: written trv_state ( run, (TRV_MATCHED_1(...)), number ). */
#define trv_state(run, condition, number) trv_message_state((run), (number), (TRV_T_INT)(condition))
void trv_message_state(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT value);
/* MESSAGE_DATE and NO_MESSAGE in a callback. */
void trv_msgdate(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_nomsg(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_send(TRV_T_RUNCTX *run, TRV_T_INT number, const char *message);
/* failed: the procsend result (1 failed). */
void trv_end_send(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT end_number);

/* The script's own C lines ('@' lines) begin at that line of that file:
 * a crash in them is reported there. */
void trv_c_lines(TRV_T_RUNCTX *run, const char *file, TRV_T_INT line);

/* The instances the script declares, a list ended by a null pointer that
 * outlives the run: INTERSEND finds an instance's tester by the instance's
 * name, and refuses at once a destination that is neither a tester nor
 * one of them. */
void trv_declare_instances(TRV_T_RUNCTX *run, const char *const *instances);

/* Rendezvous: trv_rdv returns 1 when the meeting failed, else 0.
 * trv_rdv_members, before trv_brdv, names the instances that meet there (a
 * list ended by a null pointer that outlives the run); the next trv_rdv
 * waits for that many testers, unless QVM_RDV_COUNT says otherwise. */
void trv_rdv_members(TRV_T_RUNCTX *run, const char *const *members);
void trv_brdv(TRV_T_RUNCTX *run, TRV_T_INT number, const char *name);
TRV_T_INT trv_rdv(const char *name);
void trv_ardv(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT failed, const char *name);

/* Inter-tester messages: trv_intersend returns 1 when the message could not
 * be delivered, priv_interrecv 1 when none came within the time-out (in
 * milliseconds; 0 takes the default).  emitter and info point into buffer. */
TRV_T_INT trv_intersend(TRV_T_RUNCTX *run, const char *message, const char *destination);
void trv_isend(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT failed, const char *message,
               const char *destination);
void trv_irecv(TRV_T_RUNCTX *run, TRV_T_INT number);
TRV_T_INT priv_interrecv(TRV_T_INT *socket_fd, TRV_T_INT timeout, char *buffer, TRV_T_INT size, char **emitter,
                         char **info);
/* result: 0 received, 1 empty message, 2 nothing received. */
void trv_end_irecv(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT result, const char *emitter,
                   const char *info);

/* Tracer link events of the communication statements. */
void trv_send_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id);
void trv_begin_waittil_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id);
void trv_waittil_tsf(TRV_T_RUNCTX *run, const char *message_type, TRV_T_INT element, TRV_T_INT file_id);
void trv_end_waittil_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, TRV_T_INT result);
void trv_rdv_reached_tsf(TRV_T_RUNCTX *run, TRV_T_INT reached, TRV_T_INT element, TRV_T_INT file_id);
void trv_intersend_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, const char *destination);
void trv_interrecv_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, const char *info,
                       const char *emitter);

/* ---- Channels (for PROCSEND and CALLBACK bodies) -------------------------------
 * trv_channel_open gives the connection identifier of a channel of the
 * system under test: a TCP connection when QVM_CHANNEL_<NAME> or the channel
 * file names one, else the in-process system under test registered with
 * trv_sut_register.  Each message travels as a frame: its type and bytes.
 * Faults are failing verdicts of the statement that runs. */
#define TRV_K_MAX_CHANNELS 64       /* channels open at once */
#define TRV_K_MAX_MESSAGE 65536     /* bytes of one message */
/* The identifier, or -1 when the channel cannot be opened. */
TRV_T_INT trv_channel_open(const char *channel);
void trv_channel_close(TRV_T_INT channel_id);
/* 0 when sent, 1 when not (the failing verdict is recorded). */
TRV_T_INT trv_channel_send(TRV_T_INT channel_id, TRV_T_INT type, const void *data, size_t size);
/* TRV_MESSAGE_READ with the message's type and bytes (exactly size of
 * them), TRV_NO_MESSAGE when none waits, 1 on a fault. */
TRV_T_INT trv_channel_receive(TRV_T_INT channel_id, TRV_T_INT *type, void *buffer, size_t size);
/* TRIGGER mode: the first of the count identifiers on which a message (or a
 * fault) waits, else 0. */
TRV_T_INT trv_pollevt(const TRV_T_INT *ids, TRV_T_INT count);

/* ---- In-process system under test ------------------------------------------------
 * A simulated system under test written in C: its handler receives every
 * message sent on a channel it serves (channel null: every channel without
 * a TCP address) and may answer with trv_sut_answer, at once (delay 0) or
 * after a delay in milliseconds.  A program that defines trv_sut_init has
 * it called at the start of the run, the place to register handlers. */
typedef void (*TRV_T_SUT_HANDLER)(const char *channel, TRV_T_INT type, const void *data, size_t size,
                                  void *user);
void trv_sut_register(const char *channel, TRV_T_SUT_HANDLER handler, void *user);
/* 0 when queued, 1 when the channel is not open. */
TRV_T_INT trv_sut_answer(const char *channel, TRV_T_INT type, const void *data, size_t size, TRV_T_UTIME delay);
/* Raw bytes for fault simulation (bad frames), and the SUT's side closing. */
TRV_T_INT trv_sut_answer_raw(const char *channel, const void *bytes, size_t size, TRV_T_UTIME delay);
void trv_sut_close(const char *channel, TRV_T_UTIME delay);
void trv_sut_init(void);

/* ---- Failure explanations ------------------------------------------------
 * A CALL of a procedure lies between trv_call_enter (with the CALL's own
 * number) and trv_call_leave: a failure inside names the CALLs that led to
 * it, outermost first. */
void trv_call_enter(TRV_T_RUNCTX *run, TRV_T_INT number);
void trv_call_leave(TRV_T_RUNCTX *run);

/* Unsigned integers ("uint": unsigned int and narrower, "ulong": unsigned
 * long and long long), shown in decimal with their hexadecimal form
 * ("4294967295 (0xFFFFFFFF)") or in the base of their format. */
#define TRV_UNSIGNED_FAMILY(name, type)                                                                      \
    void trv_var_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, type expected, TRV_T_INT base, \
                            TRV_T_INT index, TRV_T_INT upper);                                               \
    void trv_cmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, type reference,               \
                            TRV_T_INT index, TRV_T_INT upper);                                               \
    void trv_dmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type value, TRV_T_INT base, TRV_T_INT index, \
                            TRV_T_INT upper);                                                                \
    void trv_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, type initial, type expected, type actual, \
                        TRV_T_INT number);
TRV_UNSIGNED_FAMILY(uint, TRV_T_UINT)
TRV_UNSIGNED_FAMILY(ulong, TRV_T_ULONG)
/* Their ranges, compared as unsigned numbers. */
TRV_RANGE_FAMILY(uint, TRV_T_UINT, TRV_RANGE_BASE, TRV_RANGE_NO_NAMES)
TRV_RANGE_FAMILY(ulong, TRV_T_ULONG, TRV_RANGE_BASE, TRV_RANGE_NO_NAMES)
void trv_range_uint_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, TRV_T_UINT lower, TRV_T_INT has_upper,
                      TRV_T_UINT upper, TRV_T_UINT actual, TRV_T_INT number);
void trv_range_ulong_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, TRV_T_ULONG lower, TRV_T_INT has_upper,
                       TRV_T_ULONG upper, TRV_T_ULONG actual, TRV_T_INT number);

/* Enumeration values, shown with the name of their enumerator
 * ("2 (COLOR_BLUE)", "5 (FLAG_A|FLAG_C)" for one-bit enumerators): the
 * generated code passes the enumeration's names, a table that ends with a
 * null name. */
typedef struct trv_s_enum_name {
    long trv_value;
    const char *trv_name;
} TRV_T_ENUM_NAME;
void trv_var_enum_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_ENUM actual, TRV_T_ENUM expected, TRV_T_INT base,
                    const TRV_T_ENUM_NAME *names, TRV_T_INT index, TRV_T_INT upper);
void trv_cmp_enum_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_ENUM actual, TRV_T_ENUM reference,
                    const TRV_T_ENUM_NAME *names, TRV_T_INT index, TRV_T_INT upper);
void trv_dmp_enum_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_ENUM value, TRV_T_INT base,
                    const TRV_T_ENUM_NAME *names, TRV_T_INT index, TRV_T_INT upper);
void trv_enum_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_ENUM initial, TRV_T_ENUM expected,
                TRV_T_ENUM actual, const TRV_T_ENUM_NAME *names, TRV_T_INT number);
/* Ranges of enumeration values: the names follow the bounds (and the base). */
#define TRV_RANGE_NAMES , const TRV_T_ENUM_NAME *names
TRV_RANGE_FAMILY(enum, TRV_T_ENUM, TRV_RANGE_BASE, TRV_RANGE_NAMES)
void trv_range_enum_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, TRV_T_ENUM lower, TRV_T_INT has_upper,
                      TRV_T_ENUM upper, TRV_T_ENUM actual, const TRV_T_ENUM_NAME *names, TRV_T_INT number);

/* ---- C library calls of generated code -------------------------------------
 * Copies into arrays are bounded by the array's size (the text is cut);
 * into plain pointers they are not. */
size_t trv_bounded_copy(char *destination, size_t size, const char *source);
size_t trv_bounded_append(char *destination, size_t size, const char *source);
int trv_bounded_format(char *destination, size_t size, const char *format, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
void *trv_checked_malloc(size_t size);

#if (defined(__GNUC__) || defined(__clang__)) && !defined(__cplusplus)
#define TRV_ARRAY_SIZE(d) \
    (__builtin_types_compatible_p(__typeof__(d), __typeof__(&(d)[0])) ? (size_t)0 : sizeof(d))
#else
#define TRV_ARRAY_SIZE(d) ((size_t)0)
#endif
#define trv_strcpy(d, s) trv_bounded_copy((d), TRV_ARRAY_SIZE(d), (s))
#define trv_strcat(d, s) trv_bounded_append((d), TRV_ARRAY_SIZE(d), (s))
#define trv_sprintf(d, ...) trv_bounded_format((d), TRV_ARRAY_SIZE(d), __VA_ARGS__)
#define trv_strstr strstr
#define trv_strcmp strcmp
#define trv_strncmp strncmp
#define trv_memcpy memcpy
#define trv_memset memset
#define trv_malloc trv_checked_malloc
#define trv_free free

#ifdef __cplusplus
}
#endif

#endif /* QVM_TP_H */
