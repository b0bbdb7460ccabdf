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
static TRV_T_CTX trv_ctxst;
static TRV_T_INT trv_S9  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
#ifdef TRV_OSTREL_DEBUG
  TRV_T_INT trv_debug_state = 0;
#endif
  TRV_T_INT trv_return_0;
  count = (TRV_T_INT) 3;
  trv_var_va ( &(trv_ctx->trv_ctxrun),10 );
  trv_var_range_int_c (&(trv_ctx->trv_ctxrun),11, (TRV_T_INT) count,1,(TRV_T_INT) 1,1,(TRV_T_INT) 5,TRV_P_BASE10, I0, -1 );
  trv_flagrt = trv_end_var_va ( &(trv_ctx->trv_ctxrun),12 );
  if (trv_flagrt != 0)
   {
#ifdef TRV_OSTREL_DEBUG
    trv_debug_state = 1;
#else
    return ( 1 );
#endif
   }
  trv_var_va ( &(trv_ctx->trv_ctxrun),13 );
  trv_var_bytetab_c (&(trv_ctx->trv_ctxrun),14, (TRV_T_CAR) letter,(TRV_T_CAR) 'a',TRV_P_BASE16, I0, -1 );
  trv_flagrt = trv_end_var_va ( &(trv_ctx->trv_ctxrun),15 );
  if (trv_flagrt != 0)
   {
#ifdef TRV_OSTREL_DEBUG
    trv_debug_state = 1;
#else
    return ( 1 );
#endif
   }
  trv_var_va ( &(trv_ctx->trv_ctxrun),16 );
  trv_varstruct ( &(trv_ctx->trv_ctxrun),17 );
  trv_var_int_c (&(trv_ctx->trv_ctxrun),18, (TRV_T_INT) item.id,(TRV_T_INT) 1,TRV_P_BASE10, I0, -1 );
  trv_var_char_c (&(trv_ctx->trv_ctxrun),19, (TRV_T_CAR) item.tag,(TRV_T_CAR) 'x',TRV_P_BASE8, I0, -1 );
  trv_var_range_long_c (&(trv_ctx->trv_ctxrun),20, (TRV_T_LONG) item.total,0,(TRV_T_LONG) 0,1,(TRV_T_LONG) 100,TRV_P_BASE10, I0, -1 );
  trv_varstruct ( &(trv_ctx->trv_ctxrun),21 );
  trv_flagrt = trv_end_var_va ( &(trv_ctx->trv_ctxrun),22 );
  if (trv_flagrt != 0)
   {
#ifdef TRV_OSTREL_DEBUG
    trv_debug_state = 1;
#else
    return ( 1 );
#endif
   }
  trv_var_va ( &(trv_ctx->trv_ctxrun),23 );
  trv_vartab ( &(trv_ctx->trv_ctxrun),24 );
  trv_varreset (&(trv_ctx->trv_ctxrun));
  for(I1 = 0; I1 <= 1; ++I1)
   {
    trv_var_int_c (&(trv_ctx->trv_ctxrun),25, (TRV_T_INT) table[I1],(TRV_T_INT) 5,TRV_P_BASE10, I1, 1 );
   }
  trv_varreset (&(trv_ctx->trv_ctxrun));
  for(I1 = 2; I1 <= 3; ++I1)
   {
    trv_var_int_c (&(trv_ctx->trv_ctxrun),26, (TRV_T_INT) table[I1],(TRV_T_INT) 0,TRV_P_BASE10, I1, 3 );
   }
  trv_vartab ( &(trv_ctx->trv_ctxrun),27 );
  trv_flagrt = trv_end_var_va ( &(trv_ctx->trv_ctxrun),28 );
  if (trv_flagrt != 0)
   {
#ifdef TRV_OSTREL_DEBUG
    trv_debug_state = 1;
#else
    return ( 1 );
#endif
   }
  trv_bcf ( &(trv_ctx->trv_ctxrun),29 );
  trv_return_0 = (TRV_T_INT) compute (count, &count );
  trv_int_c (&(trv_ctx->trv_ctxrun),1, (TRV_T_INT) count, (TRV_T_INT) 3, (TRV_T_INT) count, 30 );
  trv_pointer_c (&(trv_ctx->trv_ctxrun),0, (TRV_PT_VOID) &count, (TRV_PT_VOID) &count, (TRV_PT_VOID) &count, 31 );
  trv_int_c (&(trv_ctx->trv_ctxrun),1, (TRV_T_INT) 0, (TRV_T_INT) 7, (TRV_T_INT) trv_return_0, 32 );
  trv_flagrt = trv_cf (&(trv_ctx->trv_ctxrun),33 );
  if (trv_flagrt != 0)
   {
#ifdef TRV_OSTREL_DEBUG
    trv_debug_state = 1;
#else
    return ( 1 );
#endif
   }
#ifdef TRV_OSTREL_DEBUG
  return ( trv_debug_state );
#else
  return ( 0 );
#endif
 }
static TRV_T_INT trv_S8 TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_T_INT trv_local_state = 0;
  TRV_T_INT trv_global_state = 0;
  if ( trv_scenario_selected ( &(trv_ctx->trv_ctxrun), 9 ) )
   {
    J1 = 1;
    trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),34, 9 ,1, J1, "main", 3, 1);
    trv_local_state = trv_S9 (trv_ctx);
    trv_stopchronomarkloop (&(trv_ctx->trv_ctxrun),trv_local_state,34,1,J1,"main",4,1);
    if ( trv_local_state )
     {
      trv_global_state = 2;
      if (( trv_local_state == 3) || ( trv_local_state == 4) )
       {
        return ( 4 );
       }
     }
   }
  return ( trv_global_state );
 }

/* The scenarios: begin and end numbers, enclosing one, leaf, name, families, position */
static const TRV_T_SCENARIO_INFO trv_scenario_list[] = {
  { 8, 35, -1, 0, "", "", "DIR/test.pts", 11 },
  { 9, 34, 0, 1, "main", "", "DIR/test.pts", 3 },
};

TRV_T_INT main TRV_DP (( argc, argv )) TRV_BP
TRV_CONST TRV_T_INT argc TRV_SP
TRV_CONST TRV_PT_CAR * argv TRV_EP
 {
  TRV_PT_CTX trv_ctx;
  TRV_PT_CAR rio_file_name = "prog.rio";
  char argRioFileName[255];
  char lstflt[255];
#if QVM_DYNFLW
  char tstnaming[255];
#endif /* QVM_DYNFLW */
  
  TRV_T_INT trv_local_state = 0;
  TRV_PT_CAR instance_name = (TRV_PT_CAR) 0;
  trv_ctx = &trv_ctxst;
  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 0;
  
  trv_scenario_options ( argc, argv, trv_scenario_list, 2 );
  trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );
  trv_ctx->trv_ctxrun.trv_ctxflagprobe = 0;
  trv_numinstance = 0;
  trv_testernaming[0] = '\0';
  trv_scenario_table ( &(trv_ctx->trv_ctxrun), argc, argv, trv_scenario_list, 2 );
  TRV_OCCID = 0;
  if ( argc > 1 )
   {
    if ((trv_strncmp(argv[1], "-OCCID=", 7) == 0) || (trv_strncmp(argv[1], "-occid=", 7) == 0))
     {
      TRV_OCCID = atoi(&argv[1][7]);
     }
   }
  
  if ( argc > 2 )
   {
    if ((trv_strncmp(argv[2], "-OCCID=", 7) == 0) || (trv_strncmp(argv[2], "-occid=", 7) == 0))
     {
      TRV_OCCID = atoi(&argv[2][7]);
     }
   }
  
  if ( argc > 3 )
   {
    if ((trv_strncmp(argv[3], "-OCCID=", 7) == 0) || (trv_strncmp(argv[3], "-occid=", 7) == 0))
     {
      TRV_OCCID = atoi(&argv[3][7]);
     }
   }
  
  lstflt[0] = '\0';
  if ( argc > 1 )
   {
    if ((trv_strncmp(argv[1], "-RIO=", 5) == 0) || (trv_strncmp(argv[1], "-rio=", 5) == 0))
     {
      rio_file_name = &(argv[1][5]);
     }
    else
     {
      if (!(argv[1][0]=='-'))
       {
        trv_strcpy ( lstflt, argv[1] );
       }
     }
   }
  
  if ( argc > 2 )
   {
    if ((trv_strncmp(argv[2], "-RIO=", 5) == 0) || (trv_strncmp(argv[2], "-rio=", 5) == 0))
     {
      rio_file_name = &(argv[2][5]);
     }
    else
     {
      if (!(argv[2][0]=='-'))
       {
        trv_strcpy ( lstflt, argv[2] );
       }
     }
   }
  
  if ( argc > 3 )
   {
    if ((trv_strncmp(argv[3], "-RIO=", 5) == 0) || (trv_strncmp(argv[3], "-rio=", 5) == 0))
     {
      rio_file_name = &(argv[3][5]);
     }
    else
     {
      if (!(argv[3][0]=='-'))
       {
        trv_strcpy ( lstflt, argv[3] );
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
  trv_initrio_with_dynamicfollowing ( &(trv_ctx->trv_ctxrun),rio_file_name, lstflt, 1, 0, instance_name, TRV_OCCID, "Thu Jan  1 00:00:00 2026 4242",
#else
  trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun),rio_file_name, lstflt, 1, 0, instance_name, TRV_OCCID, "Thu Jan  1 00:00:00 2026 4242",
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
      trv_notify_tsf (&(trv_ctx->trv_ctxrun), 1, HASH, KEY);
      /* To_spv: 1 -> (SIZE,CRC) - DIR/test.pts -*/
     }
   }
  
  trv_declare_ni_tsf (&(trv_ctx->trv_ctxrun), 1);
#endif /* QVM_DYNFLW */
  
  trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),35, 8 , 0, J0, "", 0, 0);
  trv_local_state = trv_S8 (trv_ctx);
  trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, 35, 0, J0, "", 0, 0);
  trv_end (&(trv_ctx->trv_ctxrun));
#if QVM_DYNFLW
  trv_endoftester_tagtlk ( &(trv_ctx->trv_ctxrun) );
  priv_close_tagtlk ( &(trv_tagtsocket) );
#endif /* QVM_DYNFLW */
  
  QVM_EXIT ((trv_local_state != 0));
  return ( 0 );
 }
