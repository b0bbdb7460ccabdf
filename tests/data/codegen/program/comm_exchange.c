link_t bench_link;
#define TRV_K_MAX_COMT 2
#define TRV_K_MAX_CHAN 1
#define TRV_K_MAX_MSGT 1
#define TRV_K_CHAN_wire 1
typedef struct trv_s_T_CHAN_wire
 {
  link_t trv_connexionId[TRV_K_ID_SIZE];
  TRV_T_INT trv_numberofId;
  TRV_T_INT trv_msg[TRV_K_MAX_MSGT];
 }
TRV_T_CHAN_wire, *TRV_PT_CHAN_wire;
typedef TRV_T_CHAN_wire TRV_T_COMM_wire[TRV_K_CHAN_wire];
#define TRV_K_MSG_ping_t 2
typedef struct trv_s_T_MSG_ping_t
 {
  TRV_T_INT trv_defNumber;
  ping_t trv_MsgRef;
  ping_t trv_MsgMin;
  ping_t trv_MsgMax;
  TRV_T_INT trv_state;
  TRV_T_INT trv_stateok;
  TRV_T_INT trv_stateko;
  TRV_T_INT trv_state_channel[TRV_K_MAX_COMT][TRV_K_MAX_CHAN];
 }
TRV_T_ping_t, *TRV_PT_ping_t;
typedef TRV_T_ping_t TRV_T_MSG_ping_t[TRV_K_MSG_ping_t];
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
#define trv_gran (trv_ctx->trv_ctxrun.trv_gran)
#define trv_channel_wire (trv_ctx->trv_ctxwire)
#define line trv_state_channel[0][0]
#define trv_msg_ping_t (trv_ctx->trv_ctxping_t)
#define trv_ping_t_rcv (trv_ctx->trv_ctxping_t_rcv)
#define trv_ping_t_send (trv_ctx->trv_ctxping_t_send)
#define ping trv_msg_ping_t[0].trv_MsgRef
#define trv_Min_ping trv_msg_ping_t[0].trv_MsgMin
#define trv_Max_ping trv_msg_ping_t[0].trv_MsgMax
#define pong trv_msg_ping_t[1].trv_MsgRef
#define trv_Min_pong trv_msg_ping_t[1].trv_MsgMin
#define trv_Max_pong trv_msg_ping_t[1].trv_MsgMax
typedef struct
 {
  TRV_T_RUNCTX trv_ctxrun;
  TRV_T_INT trv_ctxflagrt;
  TRV_T_MSG_ping_t trv_ctxping_t;
  ping_t trv_ctxping_t_rcv;
  ping_t *trv_ctxping_t_send;
  TRV_T_COMM_wire trv_ctxwire;
 }
TRV_T_CTX, *TRV_PT_CTX ;
#undef TIME
#define TIME(X)  (trv_time(&(trv_ctx->timer[(X)].timer)))

static void trv_initstates  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_T_INT trv_i,trv_j,trv_k;
  for (trv_i=0; trv_i<TRV_K_MSG_ping_t; trv_i++)
   {
    trv_msg_ping_t[trv_i].trv_state=TRV_NOEVT;
    trv_msg_ping_t[trv_i].trv_stateok=0;
    trv_msg_ping_t[trv_i].trv_stateko=0;
    for (trv_j=0; trv_j<TRV_K_MAX_COMT; trv_j++)
     {
      for (trv_k=0; trv_k<TRV_K_MAX_CHAN; trv_k++)
       {
        trv_msg_ping_t[trv_i].trv_state_channel[trv_j][trv_k]=TRV_NOEVT;
       }
     }
   }
 }

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_T_INT trv_i;
  for (trv_i=0;trv_i<TRV_K_CHAN_wire;trv_i++)
   {
    trv_channel_wire[trv_i].trv_numberofId = 0;
   }
  for (trv_i=0;trv_i<TRV_K_MSG_ping_t;trv_i++)
   {
    trv_memset(&trv_msg_ping_t[trv_i], 0, sizeof(trv_msg_ping_t[trv_i]));
    trv_msg_ping_t[trv_i].trv_defNumber=0;
   }
 }
static TRV_T_CTX trv_ctxst;
static void trv_ping_t_ref_msg TRV_DP (( trv_ctx, trv_msg_ref)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_PT_ping_t trv_msg_ref TRV_EP
 {
#define trv_msgrcv (trv_msg_ref->trv_MsgRef)
#define trv_msgMin (trv_msg_ref->trv_MsgMin)
#define trv_msgMax (trv_msg_ref->trv_MsgMax)
  switch(trv_msg_ref->trv_defNumber)
   {
    case 1:
     {
      trv_def_msg(&(trv_ctx->trv_ctxrun),15);
      trv_varstruct ( &(trv_ctx->trv_ctxrun),16 );
      trv_dmp_int_c (&(trv_ctx->trv_ctxrun),17, (TRV_T_INT) trv_msgrcv.code,TRV_P_BASE10, I0, -1 );
      trv_dmp_int_c (&(trv_ctx->trv_ctxrun),18, (TRV_T_INT) trv_msgrcv.value,TRV_P_BASE10, I0, -1 );
      trv_varstruct ( &(trv_ctx->trv_ctxrun),19 );
      break;
     }
    case 2:
     {
      trv_def_msg(&(trv_ctx->trv_ctxrun),20);
      trv_varstruct ( &(trv_ctx->trv_ctxrun),21 );
      trv_dmp_int_c (&(trv_ctx->trv_ctxrun),22, (TRV_T_INT) trv_msgrcv.code,TRV_P_BASE10, I0, -1 );
      trv_dmp_range_int_c (&(trv_ctx->trv_ctxrun),23, 1,(TRV_T_INT) trv_msgMin.value,1,(TRV_T_INT) trv_msgMax.value,TRV_P_BASE10, I0, -1 );
      trv_varstruct ( &(trv_ctx->trv_ctxrun),24 );
      break;
     }
   }
#undef trv_msgrcv
#undef trv_msgMin
#undef trv_msgMax
 }
static TRV_T_INT trv_ping_t_cmp_msg TRV_DP (( trv_ctx, trv_msg_ref,msg_rcv)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_PT_ping_t trv_msg_ref TRV_SP
ping_t * msg_rcv TRV_EP
 {
  TRV_T_INT trv_ret;
#define trv_msgrcv (*msg_rcv)
#define trv_msgref (trv_msg_ref->trv_MsgRef)
#define trv_msgMin (trv_msg_ref->trv_MsgMin)
#define trv_msgMax (trv_msg_ref->trv_MsgMax)
  trv_cmp(&(trv_ctx->trv_ctxrun));
  switch(trv_msg_ref->trv_defNumber)
   {
    case 1:
     {
      trv_cmp_int_c (&(trv_ctx->trv_ctxrun),17, (TRV_T_INT) trv_msgrcv.code,(TRV_T_INT) trv_msgref.code, I0, -1 );
      trv_cmp_int_c (&(trv_ctx->trv_ctxrun),18, (TRV_T_INT) trv_msgrcv.value,(TRV_T_INT) trv_msgref.value, I0, -1 );
      break;
     }
    case 2:
     {
      trv_cmp_int_c (&(trv_ctx->trv_ctxrun),22, (TRV_T_INT) trv_msgrcv.code,(TRV_T_INT) trv_msgref.code, I0, -1 );
      trv_cmp_range_int_c (&(trv_ctx->trv_ctxrun),23, (TRV_T_INT) trv_msgrcv.value,1,(TRV_T_INT) trv_msgMin.value,1,(TRV_T_INT) trv_msgMax.value, I0, -1 );
      break;
     }
   }
  trv_ret=trv_cmp(&(trv_ctx->trv_ctxrun));
  trv_msg_ref->trv_state = trv_ret?TRV_EVTOK:TRV_EVTKO;
  if (trv_msg_ref->trv_state == TRV_EVTOK)
   {
    trv_msg_ref->trv_stateok = 1;
    trv_memcpy(&(trv_msg_ref->trv_MsgRef),msg_rcv,sizeof(ping_t));
   }
  else trv_msg_ref->trv_stateko = 1;
  return(trv_ret);
#undef trv_msgrcv
#undef trv_msgref
#undef trv_msgMin
#undef trv_msgMax
 }
static void trv_ping_t_dump_msg TRV_DP (( trv_ctx, trv_msg_to_dump)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
ping_t * trv_msg_to_dump TRV_EP
 {
#define trv_msgrcv (*trv_msg_to_dump)
  trv_varstruct ( &(trv_ctx->trv_ctxrun),10 );
  trv_dmp_int_c (&(trv_ctx->trv_ctxrun),11, (TRV_T_INT) trv_msgrcv.code,TRV_P_BASE10, I0, -1 );
  trv_dmp_int_c (&(trv_ctx->trv_ctxrun),12, (TRV_T_INT) trv_msgrcv.value,TRV_P_BASE10, I0, -1 );
  trv_varstruct ( &(trv_ctx->trv_ctxrun),13 );
#undef trv_msgrcv
 }
static TRV_T_INT trv_WAIT_0 TRV_DP (( trv_ctx, trv_exprOK,trv_exprKO,trv_wtime_0)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_T_INT * trv_exprOK TRV_SP
TRV_T_INT * trv_exprKO TRV_SP
TRV_T_UTIME trv_wtime_0 TRV_EP
 {
  TRV_T_INT trv_ret=0;
  do
   {
    if ((*trv_exprKO = (WTIME > 100)))
     {
      trv_ret=1;
     }
    if ((*trv_exprOK = (TRV_MATCHING_2(trv_msg_ping_t[1],trv_state_channel[0][0]))))
     {
      trv_ret=1;
     }
    if (trv_wtime <= trv_wtime_0)
     {
      trv_wtime++;
     }
   }
  while ((trv_wtime<=trv_wtime_0)&&(!trv_ret));
  trv_wtime = trv_wtime_0;
  return trv_ret;
 }

/* procsend ping_t_ON_wire_for_procsend */
static TRV_T_INT trv_ping_t_ON_wire_for_procsend  TRV_DP (( trv_ctx, trv_RegId,trv_index)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_T_INT trv_RegId TRV_SP
TRV_T_INT trv_index TRV_EP
 {
  ping_t out;
  link_t id;
  
#ifdef TRV_OSTREL_DEBUG
  TRV_T_INT trv_debug_state = 0;
#endif
  trv_memcpy (&out,(trv_ping_t_send),sizeof(*(trv_ping_t_send)));
  trv_memcpy (&id,&(trv_channel_wire[trv_RegId].trv_connexionId[trv_index]), sizeof((trv_channel_wire[trv_RegId].trv_connexionId[trv_index])));
  link_send(id, &out);
#ifdef TRV_OSTREL_DEBUG
  return (trv_debug_state ? 1 : TRV_MESSAGE_SENT);
#else
  return ( TRV_MESSAGE_SENT );
#endif
 }

/* callback ping_t_ON_wire */
static TRV_T_INT trv_ping_t_ON_wire  TRV_DP (( trv_ctx, trv_RegId,trv_index)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_T_INT trv_RegId TRV_SP
TRV_T_INT trv_index TRV_EP
 {
  ping_t in;
  link_t id;
  
#ifdef TRV_OSTREL_DEBUG
  TRV_T_INT trv_debug_state = 0;
#endif
  trv_memcpy (&in,&(trv_ping_t_rcv),sizeof((trv_ping_t_rcv)));
  trv_memcpy (&id,&(trv_channel_wire[trv_RegId].trv_connexionId[trv_index]), sizeof((trv_channel_wire[trv_RegId].trv_connexionId[trv_index])));
  if (link_receive(id, &in) <= 0) {
  trv_nomsg ( &(trv_ctx->trv_ctxrun),25 );
  return ( TRV_NO_MESSAGE );
  }
  trv_msgdate ( &(trv_ctx->trv_ctxrun),26 );
  trv_memcpy (&(trv_ping_t_rcv),&in,sizeof(in));
#ifdef TRV_OSTREL_DEBUG
  return (trv_debug_state ? 1 : TRV_MESSAGE_READ);
#else
  return ( TRV_MESSAGE_READ );
#endif
 }
static TRV_T_INT trv_S28  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
#ifdef TRV_OSTREL_DEBUG
  TRV_T_INT trv_debug_state = 0;
#endif
  if (trv_channel_wire[0].trv_numberofId<TRV_K_ID_SIZE)
   {
    trv_memcpy(&(trv_channel_wire[0].trv_connexionId[trv_channel_wire[0].trv_numberofId]),
    &bench_link, sizeof (bench_link));
    ++trv_channel_wire[0].trv_numberofId;
   }
  else
   {
    trv_numofid(&(trv_ctx->trv_ctxrun), 29);
#ifdef TRV_OSTREL_DEBUG
    trv_debug_state = 1;
#else
    return ( 1 );
#endif
   }
  trv_msg_ping_t[0].trv_defNumber = 1;
  ping.code = (TRV_T_INT) 1;
  ping.value = (TRV_T_INT) 7;
  trv_msg_ping_t[1].trv_defNumber = 2;
  pong.code = (TRV_T_INT) 2;
  trv_Min_pong.value = (TRV_T_INT) 5;
  trv_Max_pong.value = (TRV_T_INT) 9;
  trv_ping_t_send = &ping;
#if QVM_DYNFLW
  trv_send_tsf ( &(trv_ctx->trv_ctxrun), 5, 1);
#endif /* QVM_DYNFLW */
  
  trv_send( &(trv_ctx->trv_ctxrun),30, "ping");
   {
    TRV_T_INT trv_i,trv_psret=0;
    trv_rio_on(&(trv_ctx->trv_ctxrun));
    for (trv_i=0;trv_i<trv_channel_wire[0].trv_numberofId;trv_i++)
     {
      trv_rio_off(&(trv_ctx->trv_ctxrun));
      trv_psret = trv_ping_t_ON_wire_for_procsend (trv_ctx,0,trv_i);
      trv_rio_on(&(trv_ctx->trv_ctxrun));
      if (trv_psret==1)
       {
#ifdef TRV_OSTREL_DEBUG
        trv_debug_state=1;
#endif
        break;
       }
     }
    trv_ping_t_dump_msg (trv_ctx, &ping);
    trv_end_send( &(trv_ctx->trv_ctxrun),trv_psret,31);
#ifdef TRV_OSTREL_DEBUG
#else
    if (trv_psret)
    return ( 1 );
#endif
   }
   {
    TRV_T_INT trv_end_waittil_debug=0;
#ifdef TRV_OSTREL_DEBUG
    TRV_T_INT trv_continue_debug=0;
#endif
    if (0
    ||(!trv_msg_ping_t[1].trv_defNumber)
    )
     {
      trv_nodefmsg(&(trv_ctx->trv_ctxrun), 32);
#ifdef TRV_OSTREL_DEBUG
      trv_continue_debug = 1;
#else
      return ( 1 );
#endif
     }
    else if (!(0
    ||(trv_channel_wire[0].trv_numberofId)
    ))
     {
      trv_noaddid(&(trv_ctx->trv_ctxrun), 32);
#ifdef TRV_OSTREL_DEBUG
      trv_continue_debug = 1;
#else
      return ( 1 );
#endif
     }
    else
     {
      TRV_T_INT trv_i, trv_ret, trv_cbret, trv_rcv;
      TRV_T_INT trv_exprOK=0, trv_exprKO=0;
      TRV_T_UTIME trv_wtime_0, trv_t0, trv_tn, trv_tn1, trv_tnow;
      trv_initstates (trv_ctx);
#if QVM_DYNFLW
      trv_begin_waittil_tsf ( &(trv_ctx->trv_ctxrun), 6, 1);
#endif /* QVM_DYNFLW */
      trv_waittil (&(trv_ctx->trv_ctxrun), 32);
      trv_wtime = 0;
      trv_t0 = trv_getevtdate (&(trv_ctx->trv_ctxrun));
      trv_tn = trv_t0 ;
      trv_tn1=trv_tn+trv_gran;
      for (;
#ifdef TRV_OSTREL_DEBUG
      !trv_continue_debug &&
#endif
      !trv_end_waittil_debug;)
       {
        trv_rcv = 0;
        trv_tnow = trv_getevtdate (&(trv_ctx->trv_ctxrun));
        while (trv_tnow >= trv_tn1)
         {
          trv_tn = trv_tn1 ;
          trv_tn1=trv_tn+trv_gran;
         }
        TRV_TIMEOUT = ( (((trv_tnow - trv_t0)/TRV_WTIME_TO_TIME) < 100) ? (100 - (trv_tnow - trv_t0)/TRV_WTIME_TO_TIME) : 0);
        /* CommType wire */
        /* Channel line */
        /* Type message ping_t */
        for (trv_i=0;
#ifdef TRV_OSTREL_DEBUG
        !trv_continue_debug&&
#endif
        !trv_end_waittil_debug && trv_i<trv_channel_wire[0].trv_numberofId;trv_i++)
         {
          trv_ret = 0;
          trv_rio_off(&(trv_ctx->trv_ctxrun));
          trv_cbret=trv_ping_t_ON_wire(trv_ctx,0,trv_i);
          trv_rio_on(&(trv_ctx->trv_ctxrun));
          if (trv_cbret== 1)
           {
#if QVM_DYNFLW
            trv_end_waittil_tsf ( &(trv_ctx->trv_ctxrun), 8, 1, 2);
#endif /* QVM_DYNFLW */
            trv_endwaittil(&(trv_ctx->trv_ctxrun), 2, 34, "ping_t");
#ifdef TRV_OSTREL_DEBUG
            trv_continue_debug = 1;
            break;
#else
            return ( 1 );
#endif
           }
          if (trv_cbret==TRV_MESSAGE_READ)
           {
            trv_rcv |= 1;
            trv_evt (&(trv_ctx->trv_ctxrun),9,8,0," ");
#if QVM_DYNFLW
            trv_waittil_tsf ( &(trv_ctx->trv_ctxrun), "ping_t", 7, 1);
#endif /* QVM_DYNFLW */
            trv_ping_t_dump_msg (trv_ctx, &(trv_ping_t_rcv));
            trv_endevt (&(trv_ctx->trv_ctxrun),14);
            if (trv_ping_t_cmp_msg(trv_ctx, &(trv_msg_ping_t[1]),&(trv_ping_t_rcv)))
             {
              trv_def_msg(&(trv_ctx->trv_ctxrun),20);
              trv_ret=1;
              trv_msg_ping_t[1].trv_state_channel[0][0]|=TRV_EVTOK;
             }
            else
             {
              trv_msg_ping_t[1].trv_state_channel[0][0]|=TRV_EVTKO;
             }
           }
          if (trv_ret)
           {
            trv_wtime_0 = trv_logdate / trv_gran;
           }
          else
           {
            trv_wtime_0 = trv_getwtime(&(trv_ctx->trv_ctxrun));
           }
          if (trv_WAIT_0(trv_ctx, &trv_exprOK, &trv_exprKO, trv_wtime_0))
           {
            trv_end_waittil_debug = 1;
            break;
           }
         }
        if (!trv_end_waittil_debug
#ifdef TRV_OSTREL_DEBUG
        && !trv_continue_debug
#endif
        )
         {
          trv_wtime_0 = trv_getwtime(&(trv_ctx->trv_ctxrun));
          if (trv_WAIT_0(trv_ctx, &trv_exprOK, &trv_exprKO, trv_wtime_0))
           {
            trv_end_waittil_debug = 1;
            break;
           }
          if (!trv_rcv)
           {
            trv_tnow = trv_getevtdate (&(trv_ctx->trv_ctxrun));
            while (trv_tnow < trv_tn1)
             {
              trv_sleep(trv_tn1-trv_tnow);
              trv_tnow = trv_getevtdate (&(trv_ctx->trv_ctxrun));
             }
           }
         }
       }
#ifdef TRV_OSTREL_DEBUG
      if (!trv_continue_debug)
       {
#endif
        trv_state ( &(trv_ctx->trv_ctxrun), (TRV_MATCHING_2(trv_msg_ping_t[1],trv_state_channel[0][0])), 33);
        trv_ping_t_ref_msg (trv_ctx, &(trv_msg_ping_t[1]));
        if (trv_exprKO)
         {
#if QVM_DYNFLW
          trv_end_waittil_tsf ( &(trv_ctx->trv_ctxrun), 8, 1, 1);
#endif /* QVM_DYNFLW */
          trv_endwaittil(&(trv_ctx->trv_ctxrun), 1, 34, "ping_t");
#ifdef TRV_OSTREL_DEBUG
          trv_continue_debug = 1;
#else
          return ( 1 );
#endif
         }
        else if (trv_exprOK)
         {
#if QVM_DYNFLW
          trv_end_waittil_tsf ( &(trv_ctx->trv_ctxrun), 8, 1, 0);
#endif /* QVM_DYNFLW */
          trv_endwaittil(&(trv_ctx->trv_ctxrun), 0, 34, "ping_t");
         }
#ifdef TRV_OSTREL_DEBUG
       }
#endif
     }
#ifdef TRV_OSTREL_DEBUG
    trv_debug_state |= trv_continue_debug;
#endif
   }
#ifdef TRV_OSTREL_DEBUG
  return ( trv_debug_state );
#else
  return ( 0 );
#endif
 }
static TRV_T_INT trv_S27 TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_T_INT trv_local_state = 0;
  TRV_T_INT trv_global_state = 0;
  if ( trv_scenario_selected ( &(trv_ctx->trv_ctxrun), 28 ) )
   {
    J1 = 1;
    trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),35, 28 ,1, J1, "main", 3, 1);
    trv_local_state = trv_S28 (trv_ctx);
    trv_stopchronomarkloop (&(trv_ctx->trv_ctxrun),trv_local_state,35,1,J1,"main",4,1);
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
  { 27, 36, -1, 0, "", "", "DIR/test.pts", 25 },
  { 28, 35, 0, 1, "main", "", "DIR/test.pts", 18 },
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
  
  trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),36, 27 , 0, J0, "", 0, 0);
  trv_local_state = trv_S27 (trv_ctx);
  trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, 36, 0, J0, "", 0, 0);
  trv_end (&(trv_ctx->trv_ctxrun));
#if QVM_DYNFLW
  trv_endoftester_tagtlk ( &(trv_ctx->trv_ctxrun) );
  priv_close_tagtlk ( &(trv_tagtsocket) );
#endif /* QVM_DYNFLW */
  
  QVM_EXIT ((trv_local_state != 0));
  return ( 0 );
 }
