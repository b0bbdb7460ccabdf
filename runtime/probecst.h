/*
 * probecst.h - probe files: what an application instrumented in CUSTOM mode
 * records, and what a replay reads back.  Included by a CUSTOM probe header
 * after TP.h.  See runtime/README.md.
 */
#ifndef QVM_PROBECST_H
#define QVM_PROBECST_H

#include "TP.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An open probe file, written by an instrumented application or read back by a replay. */
typedef struct TRV_T_PRB *TRV_PT_PRB;

/* Recording (runtime/trv_probe_write.c: these four functions and nothing else in that object,
   because in DEFAULT mode the generated file defines its own trv_create_probe/trv_write_probe). */
TRV_PT_PRB trv_create_probe(TRV_PT_CAR path, TRV_PT_CAR instance, TRV_T_INT p1);
    /* creates "<path><instance>.prb" (truncating), writes the header; p1 = records kept in the
       buffer before a flush (0 or negative: the library's bound); NULL with a message on stderr on failure */
void trv_write_probe(TRV_PT_PRB prb, TRV_T_UINT code, TRV_T_UINT key, const void *msg, TRV_T_UINT length);
    /* appends one record stamped with the current time; a NULL prb does nothing */
void trv_write_key(TRV_PT_PRB prb, TRV_T_UINT code, TRV_T_UINT value);
    /* a selector record: code, key 0, the value as the message bytes (sizeof(TRV_T_UINT)) */
void trv_end_probe(TRV_PT_PRB prb);
    /* flushes, closes, frees */

/* Replay (runtime/trv_probe_read.c). */
TRV_PT_PRB trv_open_probe(TRV_PT_PRB prb, TRV_PT_CAR path, TRV_PT_CAR riofile, TRV_PT_CAR instance, TRV_PT_CAR other);
    /* opens the probe file at path for reading (prb is ignored and may be NULL; riofile, instance and
       other are kept for messages only and may be NULL); NULL with a message on stderr when it cannot be
       opened or its header is not a probe header of a version this library reads */
int trv_read_probe(TRV_PT_PRB prb, TRV_T_DATE *time, TRV_T_UINT *code, TRV_T_UINT *key, void **msg);
    /* 1 and the next record (msg points into a buffer owned by prb, valid until the next read;
       its length is given by trv_probe_length(prb)); 0 at the clean end, on damage (a message on stderr
       naming the file, the byte offset and how many records were read before it) and for a NULL prb */
TRV_T_UINT trv_probe_length(TRV_PT_PRB prb);
void trv_close_probe(TRV_PT_PRB prb);
int trv_probe_damaged(void);   /* 1 when any probe file read in this process ended in damage or failed to open */

#ifdef __cplusplus
}
#endif

#endif /* QVM_PROBECST_H */
