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
 }
TRV_T_CTX, *TRV_PT_CTX ;
#undef TIME
#define TIME(X)  (trv_time(&(trv_ctx->timer[(X)].timer)))

static void trv_initstates  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_T_INT trv_i,trv_j,trv_k;
 }

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_T_INT trv_i;
 }
static TRV_T_INT trv_i101  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
#ifdef TRV_OSTREL_DEBUG
  TRV_T_INT trv_debug_state = 0;
#endif
  trv_setfilter ( &(trv_ctx->trv_ctxrun),"B", 103 );
#ifdef TRV_OSTREL_DEBUG
  return ( trv_debug_state );
#else
  return ( 0 );
#endif
 }
static TRV_T_INT trv_S106  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
#ifdef TRV_OSTREL_DEBUG
  TRV_T_INT trv_debug_state = 0;
#endif
  if (trv_numinstance==3)
   {
    trv_rioexit ( &(trv_ctx->trv_ctxrun),107 );
   }
#ifdef TRV_OSTREL_DEBUG
  return ( trv_debug_state );
#else
  return ( 0 );
#endif
 }
static TRV_T_INT trv_S101 TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_T_INT trv_local_state = 0;
  TRV_T_INT trv_global_state = 0;
  if ( trv_scenario_selected ( &(trv_ctx->trv_ctxrun), 106 ) )
   {
    J2 = 1;
#if QVM_DYNFLW
    trv_special_block_tsf ( &(trv_ctx->trv_ctxrun), 7, 1, 1, 1);
#endif /* QVM_DYNFLW */
    
    trv_binit(&(trv_ctx->trv_ctxrun),105,102,2,J2);
    trv_local_state = trv_i101 (trv_ctx);
    if (trv_local_state)
     {
#if QVM_DYNFLW
      trv_special_block_tsf ( &(trv_ctx->trv_ctxrun), 8, 1, 1, 0);
#endif /* QVM_DYNFLW */
      
      trv_ainit(&(trv_ctx->trv_ctxrun),1,105,2,J2);
      trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
#ifdef TRV_OSTREL_DEBUG
      trv_global_state = 2;
      if (( trv_local_state == 3) || ( trv_local_state == 4) )
       {
        return ( 4 );
       }
#else
      if (trv_local_state & 1)
       {
        ++trv_local_state;
       }
      return ( trv_local_state );
#endif
     }
    else
#if QVM_DYNFLW
    trv_special_block_tsf ( &(trv_ctx->trv_ctxrun), 8, 1, 1, 0);
#endif /* QVM_DYNFLW */
    
    trv_ainit(&(trv_ctx->trv_ctxrun),0,105,2,J2);
    trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), 10);
    trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),109, 106 ,2, J2, "run.step", 9, 1);
    trv_local_state = trv_S106 (trv_ctx);
    trv_stopchronomarkloop (&(trv_ctx->trv_ctxrun),trv_local_state,109,2,J2,"run.step",10,1);
    if ( trv_local_state )
     {
      trv_global_state = 2;
      trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
      if (( trv_local_state == 3) || ( trv_local_state == 4) )
       {
        return ( 4 );
       }
     }
    trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), 10);
   }
  return ( trv_global_state );
 }
static TRV_T_INT trv_S100 TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_T_INT trv_local_state = 0;
  TRV_T_INT trv_global_state = 0;
  if ( trv_scenario_selected ( &(trv_ctx->trv_ctxrun), 101 ) )
   {
    for(J1=1; J1<=2; ++J1)
     {
      trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),110, 101 ,1, J1, "run", 5, 1);
      trv_local_state = trv_S101 (trv_ctx);
      trv_stopchronomarkloop (&(trv_ctx->trv_ctxrun),trv_local_state,110,1,J1,"run",6,1);
      if ( trv_local_state )
       {
        trv_global_state = 2;
        trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
        if (( trv_local_state == 3) || ( trv_local_state == 4) )
         {
          return ( 4 );
         }
       }
      trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), 10);
     }
   }
  return ( trv_global_state );
 }

/* The scenarios: begin and end numbers, enclosing one, leaf, name, families, position */
static const TRV_T_SCENARIO_INFO trv_scenario_list[] = {
  { 100, 111, -1, 0, "", "", "DIR/test.pts", 13 },
  { 101, 110, 0, 0, "run", "", "DIR/test.pts", 3 },
  { 106, 109, 1, 1, "run.step", "", "DIR/test.pts", 7 },
};


char * prog_start_Table[] = {"north","south"};
int prog_start_TableLen = 2;

TRV_T_THREAD_RETURN  prog_start TRV_DP ((arg)) TRV_BP
TRV_CONST TRV_PT_ARG arg TRV_EP
 {
  TRV_PT_CTX trv_ctx;
  TRV_PT_CAR rio_file_name = "prog.rio";
  char lstflt[255];
#if QVM_DYNFLW
  char tstnaming[255];
#endif /* QVM_DYNFLW */
  
  TRV_T_INT trv_local_state = 0;
  TRV_PT_CAR instance_name = (TRV_PT_CAR) 0;
  trv_ctx = (TRV_PT_CTX) trv_malloc(sizeof(TRV_T_CTX));
  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace = (TRV_PT_CAR) trv_malloc(sizeof(TRV_T_CAR)*(1024)) ;
  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffersize = 1024;
  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffersizeleft = 1024;
  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 10;
  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxcurrentline= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;
  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxlinetoerase= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;
  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxlastline= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;
  
  trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );
  trv_ctx->trv_ctxrun.trv_ctxflagprobe = 0;
  trv_numinstance = 0;
  trv_testernaming[0] = '\0';
  trv_scenario_table ( &(trv_ctx->trv_ctxrun), 0, 0, trv_scenario_list, 3 );
  lstflt[0] = '\0';
  if ( arg->trv_filters )
   {
    trv_strcpy ( lstflt, arg->trv_filters );
   }
  
  if ( arg->trv_instance )
   {
    instance_name =  arg->trv_instance;
   }
  if (instance_name)
   {
    /* Computing index of executed instance */
    if (trv_strcmp ("north", instance_name) == 0)
     {
      trv_numinstance = 2;
     }
    if (trv_strcmp ("south", instance_name) == 0)
     {
      trv_numinstance = 3;
     }
   }
  TRV_OCCID = arg->trv_occid;
  if (instance_name)
   {
    trv_sprintf (trv_testernaming, "%s_%d", instance_name, TRV_OCCID);
   }
  else
   {
    trv_sprintf (trv_testernaming, "%s_%d", rio_file_name, TRV_OCCID);
   }
#if QVM_DYNFLW
  trv_initrio_with_dynamicfollowing ( &(trv_ctx->trv_ctxrun), arg->trv_riofilename, lstflt, !(trv_numinstance == 1), 0, instance_name, TRV_OCCID, "Thu Jan  1 00:00:00 2026 4242",
#else /* QVM_DYNFLW */
  trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun), arg->trv_riofilename, lstflt, !(trv_numinstance == 1), 0, instance_name, TRV_OCCID, "Thu Jan  1 00:00:00 2026 4242",
#endif /* QVM_DYNFLW */
#ifdef TRV_OSTREL_DEBUG
  "D");
#else
  "");
#endif
  trv_initctx ( trv_ctx );
   {
    static const char *const trv_names[] = {"north", "south", NULL};
    trv_declare_instances (&(trv_ctx->trv_ctxrun), trv_names);
   }
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
      trv_notify_tsf (&(trv_ctx->trv_ctxrun), 1, HASH, KEY);
      /* To_spv: 1 -> (SIZE,CRC) - DIR/test.pts -*/
     }
   }
  
  trv_declare_ni_tsf (&(trv_ctx->trv_ctxrun), 1);
#endif /* QVM_DYNFLW */
  
  trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),111, 100 , 0, J0, "", 0, 0);
  trv_local_state = trv_S100 (trv_ctx);
  trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, 111, 0, J0, "", 0, 0);
  trv_flush_circular_buffer (&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
  trv_end (&(trv_ctx->trv_ctxrun));
#if QVM_DYNFLW
  trv_endoftester_tagtlk ( &(trv_ctx->trv_ctxrun) );
  priv_close_tagtlk ( &(trv_tagtsocket) );
#endif /* QVM_DYNFLW */
  
  trv_free( (TRV_PT_VOID) trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace );
  trv_free((TRV_PT_VOID) trv_ctx);
  trv_thr_exit ((trv_local_state != 0));
 }
