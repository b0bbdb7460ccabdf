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

/* ---- Function header macros ------------------------------------------
 * The generator writes headers as
 *     static TRV_T_INT trv_P7  TRV_DP (( trv_ctx, a)) TRV_BP
 *     TRV_PT_CTX trv_ctx TRV_SP
 *     int a  TRV_EP
 * which these macros turn into a prototype-style definition:
 *     static TRV_T_INT trv_P7 ( TRV_PT_CTX trv_ctx , int a )
 */
#define TRV_DP(names)
#define TRV_BP (
#define TRV_SP ,
#define TRV_EP )
#define TRV_CONST const

/* ---- Basic types -------------------------------------------------------- */
typedef int TRV_T_INT;
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
/* Durations and logical times, in milliseconds. */
typedef unsigned long TRV_T_UTIME;

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
    TRV_T_INT trv_filter[TRV_K_FILTER_COUNT];
    TRV_T_INT trv_numinstance;
    TRV_T_INT trv_occid;
    TRV_T_CAR trv_testernaming[TRV_K_NAME_SIZE];
    TRV_T_INT trv_tagtsocket;
    TRV_T_INT trv_tagttimeout;
    TRV_T_INT trv_tagtcommactivated;
    TRV_T_UTIME trv_wtime;
    TRV_T_UTIME trv_lwait;
    TRV_T_ULONG trv_timeout;
    TRV_T_UTIME trv_rcvtime;
    TRV_T_UTIME trv_logdate;
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

/* Ends the process: status 1 when failed is non-zero or any run of this
 * process recorded a failing verdict, else 0. */
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
#define trv_malloc trv_checked_malloc
#define trv_free free

#ifdef __cplusplus
}
#endif

#endif /* QVM_TP_H */
