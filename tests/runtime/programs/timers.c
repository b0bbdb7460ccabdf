/* Timers: TIME(0) counts milliseconds from the start of the run on the
 * monotonic clock, PAUSE waits, restarting timer 1 sets it back to 0. */
#include "common_context.h"

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   trv_get_date(&(trv_ctx->timer[0].timer));
 }
static TRV_T_CTX trv_ctxst;

static TRV_T_INT trv_S8  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   TRV_T_ULONG before, after;
   int i;
   trv_print(&(trv_ctx->trv_ctxrun),10,(TRV_T_ULONG)(TIME(0)));
   trv_pause ((TRV_T_UTIME)(30));
   trv_print(&(trv_ctx->trv_ctxrun),11,(TRV_T_ULONG)(TIME(0)));
   trv_get_date(&(trv_ctx->timer[1].timer));
   trv_print(&(trv_ctx->trv_ctxrun),12,(TRV_T_ULONG)(TIME(1)));
   before = TIME(0);
   for (i = 0; i < 10000; ++i)
    {
      after = TIME(0);
      if ( after < before )
       {
         trv_error ( &(trv_ctx->trv_ctxrun),13 );
         return ( 1 );
       }
      before = after;
    }
   return ( 0 );
 }

TRV_T_INT main TRV_DP (( argc, argv )) TRV_BP
TRV_CONST TRV_T_INT argc TRV_SP
TRV_CONST TRV_PT_CAR * argv TRV_EP
 {
   TRV_PT_CTX trv_ctx;
   TRV_T_INT trv_local_state = 0;
   TRV_PT_CAR rio_file_name = "timers.rio";
   if ( argc > 1 )
    {
      rio_file_name = &(argv[1][5]);
    }
   trv_ctx = &trv_ctxst;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 0;
   trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );
   trv_numinstance = 1;
   trv_testernaming[0] = '\0';
   trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun),rio_file_name, "", 1, 0, (TRV_PT_CAR) 0, 0, "timers 1", "");
   trv_initctx ( trv_ctx );
   J0 = 1;
   trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),9, 8 , 0, J0, "", 0, 0);
   trv_local_state = trv_S8 (trv_ctx);
   trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, 9, 0, J0, "", 0, 0);
   trv_end (&(trv_ctx->trv_ctxrun));
   QVM_EXIT ((trv_local_state != 0));
   return ( 0 );
 }
