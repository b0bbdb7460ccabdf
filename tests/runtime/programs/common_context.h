/* The access macros and the context type that qvmprepro writes at the top
 * of every generated program, shared by the smaller test programs. */
#ifdef USE_QVM
#undef USE_QVM
#endif
#define USE_QVM 1
#include "TP.h"

#undef TIME
#define TIME(x) 0
#define trv_filter (trv_ctx->trv_ctxrun.trv_filter)
#define TRV_NUMINSTANCE (trv_ctx->trv_ctxrun.trv_numinstance)
#define trv_numinstance (trv_ctx->trv_ctxrun.trv_numinstance)
#define trv_tagtsocket (trv_ctx->trv_ctxrun.trv_tagtsocket)
#define trv_testernaming (trv_ctx->trv_ctxrun.trv_testernaming)
#define trv_tagttimeout (trv_ctx->trv_ctxrun.trv_tagttimeout)
#define trv_tagtcommactivated (trv_ctx->trv_ctxrun.trv_tagtcommactivated)
#define TRV_OCCID (trv_ctx->trv_ctxrun.trv_occid)
#define trv_flagrt (trv_ctx->trv_ctxflagrt)
#define trv_wtime (trv_ctx->trv_ctxrun.trv_wtime)
#define trv_lwait (trv_ctx->trv_ctxrun.trv_lwait)
#define TRV_TIMEOUT (trv_ctx->trv_ctxrun.trv_timeout)
#define trv_rcvtime (trv_ctx->trv_ctxrun.trv_rcvtime)
#define trv_logdate (trv_ctx->trv_ctxrun.trv_logdate)
typedef struct
 {
   TRV_T_RUNCTX trv_ctxrun;
   TRV_T_INT trv_ctxflagrt;
   TRV_T_TIMER timer[2];
 }
TRV_T_CTX, *TRV_PT_CTX ;
#undef TIME
#define TIME(X)  (trv_time(&(trv_ctx->timer[(X)].timer)))
