/*
 * trvdeclar.h - what the probe header of an application instrumented in
 * DEFAULT mode includes after TP.h: the table of contexts the generated
 * probe code keeps, one per instance started with trv_start_trace, and the
 * runtime's help in starting one.  See runtime/README.md.
 */
#ifndef QVM_TRVDECLAR_H
#define QVM_TRVDECLAR_H

#include "TP.h"

#ifdef __cplusplus
extern "C" {
#endif

/* How many instances one application may start with trv_start_trace; an
 * application that starts more defines its own number before including
 * the probe header. */
#ifndef NB_INSTANCES
#define NB_INSTANCES 16
#endif

/* The longest trace file name of an instance, with its final null. */
#define TRV_K_PROBE_NAME 4096

/* The generated probe code's table of contexts, declared for the other
 * files of the application (the generated file defines it). */
struct TRV_T_CTX;
#define trv_declar extern struct TRV_T_CTX tab_global_ctx[NB_INSTANCES]

/* A probe file of CUSTOM mode, named by the declarations of the probe
 * header that both modes share. */
struct TRV_T_PRB;

/* The trace file name "<path><instance>.rio" of the next instance into
 * name: 1, or 0 with a message on stderr when count instances have been
 * started already (started is how many) or the name does not fit. */
TRV_T_INT trv_probe_rio_name(char *name, size_t size, const char *path, const char *instance, TRV_T_INT started,
                             TRV_T_INT count);

#ifdef __cplusplus
}
#endif

#endif /* QVM_TRVDECLAR_H */
