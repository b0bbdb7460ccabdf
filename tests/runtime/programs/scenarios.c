
/*
 * A test program written the way qvmprepro writes one, for the script
 * scenarios.pts whose TDC file is scenarios.tdc (the root scenario has no
 * name there, as the TDC writer leaves it). Filter letters choose
 * what goes wrong:
 *   E  ERROR in the second repetition of Door (its EXCEPTION block runs)
 *   I  ERROR in the INITIALIZATION block of Lift
 *   U  a SEND whose code is not generated yet
 *   X  EXIT in Lift (the cleanup procedure runs)
 *   M  200 PRINT lines in Lift
 *   T  TRACE_OFF around one COMMENT
 *   L  FLUSH_TRACE in Lift
 * Compile-time choices: TRACE_LEVEL, BUFFER_BYTES, ALLOCATION (0 static,
 * 1 STACK, 2 DYNAMIC).
 */

#include "common_context.h"

#ifndef TRACE_LEVEL
#define TRACE_LEVEL 0
#endif
#ifndef BUFFER_BYTES
#define BUFFER_BYTES 10240
#endif
#ifndef ALLOCATION
#define ALLOCATION 0
#endif
#define TRACING (TRACE_LEVEL >= 1 && BUFFER_BYTES >= 1)
#define LEVEL_FLUSHES (TRACING && TRACE_LEVEL != 50)

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   (void)trv_ctx;
 }
#if ALLOCATION == 0
static TRV_T_CTX trv_ctxst;
#if TRACING
static TRV_T_CAR trv_ctxbuffertracest[BUFFER_BYTES];
#endif
#endif

static TRV_T_INT trv_i10  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   trv_comment ( &(trv_ctx->trv_ctxrun),11 );
   return ( 0 );
 }

static TRV_T_INT trv_e16  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   trv_comment ( &(trv_ctx->trv_ctxrun),17 );
   return ( 0 );
 }

static TRV_T_INT trv_t19  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   trv_comment ( &(trv_ctx->trv_ctxrun),20 );
   return ( 0 );
 }

/* procedure reset */
static TRV_T_INT trv_P23  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   trv_comment ( &(trv_ctx->trv_ctxrun),24 );
   return ( 0 );
 }

static TRV_T_INT trv_S9  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   trv_comment ( &(trv_ctx->trv_ctxrun),13 );
   trv_print(&(trv_ctx->trv_ctxrun),14,(TRV_T_ULONG)(J1));
    {
      TRV_T_INT trv_ret;
      trv_bproc( &(trv_ctx->trv_ctxrun), 23);
      trv_ret=trv_P23 (trv_ctx );
      trv_aproc( &(trv_ctx->trv_ctxrun), 25);
      if (trv_ret)
       {
         if (trv_ret==1)
          {
            return ( 1 );
          }
         else
          {
            return ( trv_ret );
          }
       }
    }
   if ( trv_filter[4])
    {
      if ( J1 == 2 )
       {
         trv_error ( &(trv_ctx->trv_ctxrun),15 );
         return ( 1 );
       }
    }
   return ( 0 );
 }

static TRV_T_INT trv_i27  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   if ( trv_filter[8])
    {
      trv_error ( &(trv_ctx->trv_ctxrun),28 );
      return ( 1 );
    }
   return ( 0 );
 }

static TRV_T_INT trv_S26  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   int many;
   trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_P23 );
   trv_comment ( &(trv_ctx->trv_ctxrun),30 );
   trv_setfilter ( &(trv_ctx->trv_ctxrun),"F", 31 );
   if ( trv_filter[5])
    {
      trv_comment ( &(trv_ctx->trv_ctxrun),30 );
    }
   trv_unsetfilter ( &(trv_ctx->trv_ctxrun),"F", 32 );
   if ( trv_filter[20])
    {
      trv_unavailable ( &(trv_ctx->trv_ctxrun), "SEND", 34 );
    }
   if ( trv_filter[12])
    {
      for (many = 0; many < 200; ++many)
       {
         trv_print(&(trv_ctx->trv_ctxrun),14,(TRV_T_ULONG)(many));
       }
    }
   if ( trv_filter[19])
    {
      trv_trace_off ( &(trv_ctx->trv_ctxrun),39 );
      trv_comment ( &(trv_ctx->trv_ctxrun),30 );
      trv_trace_on ( &(trv_ctx->trv_ctxrun),38 );
    }
   if ( trv_filter[11])
    {
      trv_flush_trace (&(trv_ctx->trv_ctxrun),37);
      trv_flush_circular_buffer (&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
    }
   if ( trv_filter[23])
    {
      trv_rioexit ( &(trv_ctx->trv_ctxrun),33 );
    }
   return ( 0 );
 }

static TRV_T_INT trv_S8 TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   TRV_T_INT trv_local_state = 0;
   TRV_T_INT trv_global_state = 0;
   for(J1=1; J1<=3; ++J1)
    {
#if QVM_DYNFLW
      trv_special_block_tsf ( &(trv_ctx->trv_ctxrun), 7, 1, 1, 1);
#endif /* QVM_DYNFLW */

      trv_binit(&(trv_ctx->trv_ctxrun),12,10,1,J1);
      trv_local_state = trv_i10 (trv_ctx);
      if (trv_local_state)
       {
         trv_ainit(&(trv_ctx->trv_ctxrun),1,10,1,J1);
#if LEVEL_FLUSHES
         trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
#endif
         if (trv_local_state & 1)
          {
            ++trv_local_state;
          }
         return ( trv_local_state );
       }
      else
#if QVM_DYNFLW
      trv_special_block_tsf ( &(trv_ctx->trv_ctxrun), 8, 1, 1, 0);
#endif /* QVM_DYNFLW */

      trv_ainit(&(trv_ctx->trv_ctxrun),0,10,1,J1);
#if LEVEL_FLUSHES
      trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), TRACE_LEVEL);
#endif
      trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),22, 9 ,1, J1, "the door", 3, 1);
      trv_local_state = trv_S9 (trv_ctx);
      trv_stopchronomarkloop (&(trv_ctx->trv_ctxrun),trv_local_state,22,1,J1,"the door",4,1);
      if ( trv_local_state )
       {
         trv_global_state = 2;
#if LEVEL_FLUSHES
         trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
#endif
         if (( trv_local_state == 3) || ( trv_local_state == 4) )
          {
            return ( 4 );
          }
         trv_bexcep(&(trv_ctx->trv_ctxrun),18,16,1,J1);
         trv_local_state = trv_e16 (trv_ctx);
         if (trv_local_state)
          {
            trv_aexcep(&(trv_ctx->trv_ctxrun),1,16,1,J1);
            return ( trv_local_state + 1 );
          }
         else
          {
            trv_aexcep(&(trv_ctx->trv_ctxrun),0,16,1,J1);
          }
       }
      else
       {
         trv_bterm(&(trv_ctx->trv_ctxrun),21,19,1,J1);
         trv_local_state = trv_t19 (trv_ctx);
         if (trv_local_state)
          {
            trv_aterm(&(trv_ctx->trv_ctxrun),1,19,1,J1);
            return ( trv_local_state + 1 );
          }
         else
         trv_aterm(&(trv_ctx->trv_ctxrun),0,19,1,J1);
       }
#if LEVEL_FLUSHES
      trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), TRACE_LEVEL);
#endif
    }
   J1 = 1;
   trv_binit(&(trv_ctx->trv_ctxrun),29,27,1,J1);
   trv_local_state = trv_i27 (trv_ctx);
   if (trv_local_state)
    {
      trv_ainit(&(trv_ctx->trv_ctxrun),1,27,1,J1);
#if LEVEL_FLUSHES
      trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
#endif
      if (trv_local_state & 1)
       {
         ++trv_local_state;
       }
      return ( trv_local_state );
    }
   else
   trv_ainit(&(trv_ctx->trv_ctxrun),0,27,1,J1);
   trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),40, 26 ,1, J1, "the lift", 5, 1);
   trv_local_state = trv_S26 (trv_ctx);
   trv_stopchronomarkloop (&(trv_ctx->trv_ctxrun),trv_local_state,40,1,J1,"the lift",6,1);
   if ( trv_local_state )
    {
      trv_global_state = 2;
    }
#if LEVEL_FLUSHES
   trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), TRACE_LEVEL);
#endif
   return ( trv_global_state );
 }

TRV_T_INT main TRV_DP (( argc, argv )) TRV_BP
TRV_CONST TRV_T_INT argc TRV_SP
TRV_CONST TRV_PT_CAR * argv TRV_EP
 {
#if ALLOCATION == 1
   TRV_T_CTX trv_ctxst;
#if TRACING
   TRV_T_CAR trv_ctxbuffertracest[BUFFER_BYTES];
#endif
#endif
   TRV_PT_CTX trv_ctx;
   TRV_PT_CAR rio_file_name = "scenarios";
   char argRioFileName[255];
   char lstflt[255];
#if QVM_DYNFLW
   char tstnaming[255];
#endif /* QVM_DYNFLW */

   TRV_T_INT trv_local_state = 0;
   TRV_PT_CAR instance_name = (TRV_PT_CAR) 0;
   int position;
#if ALLOCATION == 2
   trv_ctx = (TRV_PT_CTX) trv_malloc(sizeof(TRV_T_CTX));
#if TRACING
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace = (TRV_PT_CAR) trv_malloc(sizeof(TRV_T_CAR)*(BUFFER_BYTES)) ;
#endif
#else
   trv_ctx = &trv_ctxst;
#if TRACING
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace = trv_ctxbuffertracest;
#endif
#endif
#if TRACING
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffersize = BUFFER_BYTES;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffersizeleft = BUFFER_BYTES;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = TRACE_LEVEL;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxcurrentline= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxlinetoerase= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxlastline= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;
#else
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 0;
#endif

   trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );
   trv_ctx->trv_ctxrun.trv_ctxflagprobe = 0;
   trv_numinstance = 1;
   trv_testernaming[0] = '\0';
   TRV_OCCID = 0;
   for (position = 1; position <= 3; ++position)
    {
      if ( argc > position )
       {
         if ((trv_strncmp(argv[position], "-OCCID=", 7) == 0) || (trv_strncmp(argv[position], "-occid=", 7) == 0))
          {
            TRV_OCCID = atoi(&argv[position][7]);
          }
       }
    }
   lstflt[0] = '\0';
   for (position = 1; position <= 3; ++position)
    {
      if ( argc > position )
       {
         if ((trv_strncmp(argv[position], "-RIO=", 5) == 0) || (trv_strncmp(argv[position], "-rio=", 5) == 0))
          {
            rio_file_name = &(argv[position][5]);
          }
         else
          {
            if (!(argv[position][0]=='-'))
             {
               trv_strcpy ( lstflt, argv[position] );
             }
          }
       }
    }
   if ((rio_file_name[0] != '\0') && (trv_strstr (rio_file_name, ".rio") == NULL))
    {
      trv_strcpy (argRioFileName, rio_file_name);
      trv_strcat (argRioFileName, ".rio");
      rio_file_name = argRioFileName;
    }
   if (instance_name)
    {
      trv_sprintf (trv_testernaming, "%s_%d", instance_name, TRV_OCCID);
    }
   else
    {
      trv_sprintf (trv_testernaming, "%s_%d", rio_file_name, TRV_OCCID);
    }

#if QVM_DYNFLW
   trv_initrio_with_dynamicfollowing ( &(trv_ctx->trv_ctxrun),rio_file_name, lstflt, 1, 0, instance_name, TRV_OCCID, "Sun Dec  6 04:00:00 2026 4242",
#else
   trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun),rio_file_name, lstflt, 1, 0, instance_name, TRV_OCCID, "Sun Dec  6 04:00:00 2026 4242",
#endif /* QVM_DYNFLW */
#ifdef TRV_OSTREL_DEBUG
   "D");
#else
   "");
#endif
   trv_initctx ( trv_ctx );
   J0 = 1;
#if QVM_DYNFLW
    {
      trv_sprintf (tstnaming, "\"%s\"", trv_testernaming);
      if (priv_boot_tagtlk( &(trv_tagtsocket), instance_name, tstnaming, &(trv_tagttimeout), &(trv_tagtcommactivated)) )
       {
         QVM_EXIT (1);
       }
      else
       {
         trv_notify_tsf (&(trv_ctx->trv_ctxrun), 1, 123456L, 5042L);
         /* To_spv: 1 -> (900,4711) - scenarios.pts -*/
       }
    }

   trv_declare_ni_tsf (&(trv_ctx->trv_ctxrun), 1);
#endif /* QVM_DYNFLW */

   trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),41, 8 , 0, J0, "", 0, 0);
   trv_local_state = trv_S8 (trv_ctx);
   trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, 41, 0, J0, "", 0, 0);
#if TRACING
   trv_flush_circular_buffer (&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
#endif
   trv_end (&(trv_ctx->trv_ctxrun));
#if QVM_DYNFLW
   trv_endoftester_tagtlk ( &(trv_ctx->trv_ctxrun) );
   priv_close_tagtlk ( &(trv_tagtsocket) );
#endif /* QVM_DYNFLW */


#if ALLOCATION == 2
#if TRACING
   trv_free( (TRV_PT_VOID) trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace );
#endif
   trv_free((TRV_PT_VOID) trv_ctx);
#endif
   QVM_EXIT ((trv_local_state != 0));
   return ( 0 );
 }
