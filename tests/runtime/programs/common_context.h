/* The access macros and the context type that qvmprepro writes at the top
 * of every generated program, shared by the smaller test programs. */
#ifdef USE_QVM
#undef USE_QVM
#endif
#define USE_QVM 1
#include "TP.h"

#undef TIME
#define TIME(x) 0
#define trv_filter (trv_ctx->trv_ctxrun.trv_ctxfilter)
#define TRV_NUMINSTANCE (trv_ctx->trv_ctxrun.trv_ctxnuminstance)
#define trv_numinstance (trv_ctx->trv_ctxrun.trv_ctxnuminstance)
#define trv_tagtsocket (trv_ctx->trv_ctxrun.trv_ctxtagtsocket)
#define trv_testernaming (trv_ctx->trv_ctxrun.trv_ctxtesternaming)
#define trv_tagttimeout (trv_ctx->trv_ctxrun.trv_ctxtagttimeout)
#define trv_tagtcommactivated (trv_ctx->trv_ctxrun.trv_ctxtagtcommactivated)
#define TRV_OCCID (trv_ctx->trv_ctxrun.trv_ctxoccid)
#define trv_flagrt (trv_ctx->trv_ctxflagrt)
#define trv_wtime (trv_ctx->trv_ctxrun.trv_ctxwtime)
#define trv_lwait (trv_ctx->trv_ctxrun.trv_ctxlwait)
#define TRV_TIMEOUT (trv_ctx->trv_ctxrun.trv_ctxtimeout)
#define trv_rcvtime (trv_ctx->trv_ctxrun.trv_ctxrcvtime)
#define trv_logdate (trv_ctx->trv_ctxrun.trv_ctxlogdate)
typedef struct
 {
   TRV_T_RUNCTX trv_ctxrun;
   TRV_T_INT trv_ctxflagrt;
   TRV_T_TIMER timer[2];
 }
TRV_T_CTX, *TRV_PT_CTX ;
#undef TIME
#define TIME(X)  (trv_time(&(trv_ctx->timer[(X)].timer)))

static void trv_initstates  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   TRV_T_INT trv_i,trv_j,trv_k;
 }
