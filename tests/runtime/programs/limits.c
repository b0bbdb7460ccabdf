/* The runtime's fixed limits: scenarios nested deeper than the timed
 * depths, more cleanup procedures than it keeps, more failures than the
 * summary lists, and a comment longer than a trace line. */
#include "common_context.h"

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   (void)trv_ctx;
 }
static TRV_T_CTX trv_ctxst;

static TRV_T_INT trv_P20  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   (void)trv_ctx;
   return ( 0 );
 }

static TRV_T_INT trv_P21  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   (void)trv_ctx;
   return ( 1 );
 }

/* Distinct cleanup procedures: the same one enabled twice counts once. */
#define CLEANUP(n) \
static TRV_T_INT trv_C##n  TRV_DP (( trv_ctx)) TRV_BP \
TRV_PT_CTX trv_ctx TRV_EP \
 { \
   (void)trv_ctx; \
   return ( 0 ); \
 }
CLEANUP(0) CLEANUP(1) CLEANUP(2) CLEANUP(3) CLEANUP(4) CLEANUP(5) CLEANUP(6) CLEANUP(7)
CLEANUP(8) CLEANUP(9) CLEANUP(10) CLEANUP(11) CLEANUP(12) CLEANUP(13) CLEANUP(14) CLEANUP(15)

static TRV_T_INT trv_nested  TRV_DP (( trv_ctx, depth)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
int depth TRV_EP
 {
   TRV_T_INT trv_local_state = 0;
   if ( depth < 100 )
    {
      trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),9, 8 ,depth, 1, "nested", 0, 0);
      trv_local_state = trv_nested (trv_ctx, depth + 1);
      trv_stopchronomarkloop (&(trv_ctx->trv_ctxrun),trv_local_state,9,depth,1,"nested",0,0);
    }
   return ( trv_local_state );
 }

TRV_T_INT main TRV_DP (( argc, argv )) TRV_BP
TRV_CONST TRV_T_INT argc TRV_SP
TRV_CONST TRV_PT_CAR * argv TRV_EP
 {
   TRV_PT_CTX trv_ctx;
   int i;
   (void)argc;
   (void)argv;
   trv_ctx = &trv_ctxst;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 0;
   trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );
   trv_testernaming[0] = '\0';
   trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun),"limits.rio", "", 1, 0, (TRV_PT_CAR) 0, 0, "limits 1", "");
   trv_initctx ( trv_ctx );
   trv_nested (trv_ctx, 0);
   trv_comment ( &(trv_ctx->trv_ctxrun),10 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_P21 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_P20 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_P20 );
   trv_disable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_P20 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C0 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C1 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C2 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C3 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C4 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C5 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C6 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C7 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C8 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C9 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C10 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C11 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C12 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C13 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C14 );
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_C15 );
   for (i = 0; i < 100; ++i)
    {
      trv_unavailable ( &(trv_ctx->trv_ctxrun), "WAITTIL", 11 );
    }
   trv_end (&(trv_ctx->trv_ctxrun));
   QVM_EXIT (0);
   return ( 0 );
 }
