/*
 * probecst.h - probe files: what an instrumented application records, and
 * the reading back of it by a replay.
 *
 * A probe file holds the messages an application sent and received, each
 * stamped with the time it was recorded, so that a replay can turn them
 * into a trace afterwards.  The format and its guarantees are described in
 * runtime/README.md, "Probe files".
 */
#ifndef QVM_PROBECST_H
#define QVM_PROBECST_H

#include "TP.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An open probe file, written by an instrumented application or read back by a replay. */
typedef struct TRV_T_PRB *TRV_PT_PRB;

/* ---- Recording ----------------------------------------------------------- */

/* Creates "<path><instance>.prb" (truncating it) and writes its header.
 * p1 is the number of records kept in the buffer before they are written
 * (0 or negative: the library's bound).  NULL, with the reason on standard
 * error, when the file cannot be created. */
TRV_PT_PRB trv_create_probe(TRV_PT_CAR path, TRV_PT_CAR instance, TRV_T_INT p1);

/* Appends one record stamped with the current time; a NULL prb does nothing. */
void trv_write_probe(TRV_PT_PRB prb, TRV_T_UINT code, TRV_T_UINT key, const void *msg, TRV_T_UINT length);

/* A selector record: the code, key 0, and the value's bytes as the message. */
void trv_write_key(TRV_PT_PRB prb, TRV_T_UINT code, TRV_T_UINT value);

/* Writes what is buffered, closes the file and frees prb. */
void trv_end_probe(TRV_PT_PRB prb);

/* ---- Replay --------------------------------------------------------------- */

/* Opens the probe file at path for reading.  prb is ignored and may be
 * NULL; riofile, instance and other only serve the messages and may be
 * NULL.  NULL, with the reason on standard error, when the file cannot be
 * opened or is not a probe file of a version this library reads. */
TRV_PT_PRB trv_open_probe(TRV_PT_PRB prb, TRV_PT_CAR path, TRV_PT_CAR riofile, TRV_PT_CAR instance, TRV_PT_CAR other);

/* 1 and the next record: msg points into a buffer that prb owns, valid
 * until the next read, of trv_probe_length(prb) bytes.  0 at the end of the
 * file, at damage (reported on standard error with the file, the byte
 * offset and the number of records read before it) and for a NULL prb. */
int trv_read_probe(TRV_PT_PRB prb, TRV_T_DATE *time, TRV_T_UINT *code, TRV_T_UINT *key, void **msg);

/* The message length of the record trv_read_probe gave last. */
TRV_T_UINT trv_probe_length(TRV_PT_PRB prb);

void trv_close_probe(TRV_PT_PRB prb);

/* 1 when a probe file read in this process was damaged or could not be opened. */
int trv_probe_damaged(void);

#ifdef __cplusplus
}
#endif

#endif /* QVM_PROBECST_H */
