/* A message exchange written the way qvmprepro writes SEND and WAITTIL:
 * a request goes to the system under test on channel CMD, the answer is
 * awaited with WAITTIL(MATCHED(ans), NOTMATCHED(ans) OR WTIME > 300).
 * The in-process system under test below answers as SUT_MODE says:
 * "ok" (default), "wrong", "silent", "close", "short", "oversized",
 * "garbage", "absent" (no system at all); with QVM_CHANNEL_CMD set the answer comes from a TCP server. */
#ifdef USE_QVM
#undef USE_QVM
#endif
#define USE_QVM 1
#include "TP.h"

typedef struct { int code; char name[8]; } T_REQ;
typedef struct { int code; long value; } T_ANS;

/* ---- the simulated system under test ---- */
static void sut_handle(const char *channel, TRV_T_INT type, const void *data, size_t size, void *user)
{
    const char *mode = getenv("SUT_MODE");
    T_ANS answer;
    const T_REQ *request = (const T_REQ *)data;
    (void)user;
    if (type != 1 || size != sizeof(T_REQ)) {
        return;
    }
    answer.code = request->code + 1;
    answer.value = 4242;
    if (mode == NULL || strcmp(mode, "ok") == 0) {
        trv_sut_answer(channel, 2, &answer, sizeof answer, 20);
    } else if (strcmp(mode, "wrong") == 0) {
        answer.value = 7;
        trv_sut_answer(channel, 2, &answer, sizeof answer, 0);
    } else if (strcmp(mode, "close") == 0) {
        trv_sut_close(channel, 10);
    } else if (strcmp(mode, "short") == 0) {
        trv_sut_answer(channel, 2, &answer, sizeof answer - 4, 0);
    } else if (strcmp(mode, "oversized") == 0) {
        static const unsigned char huge[8] = {0x7f, 0xff, 0xff, 0xff, 0, 0, 0, 2};
        trv_sut_answer_raw(channel, huge, sizeof huge, 0);
    } else if (strcmp(mode, "garbage") == 0) {
        static const unsigned char cut[6] = {0, 0, 0, 20, 0, 0};
        trv_sut_answer_raw(channel, cut, sizeof cut, 0);
        trv_sut_close(channel, 5);
    }
    /* "silent": never answers */
}

void trv_sut_init(void)
{
    const char *mode = getenv("SUT_MODE");
    if (mode == NULL || strcmp(mode, "absent") != 0) {
        trv_sut_register("CMD", sut_handle, NULL);
    }
}

/* ---- what qvmprepro writes ---- */
#undef TIME
#define TIME(x) 0
#define trv_wtime (trv_ctx->trv_ctxrun.trv_wtime)
#define TRV_TIMEOUT (trv_ctx->trv_ctxrun.trv_timeout)
#define trv_logdate (trv_ctx->trv_ctxrun.trv_logdate)
#define trv_gran (trv_ctx->trv_ctxrun.trv_gran)
#define trv_flagrt (trv_ctx->trv_ctxflagrt)
#define TRV_K_MAX_COMT 2
#define TRV_K_MAX_CHAN 2
#define TRV_K_MAX_MSGT 2
#define TRV_K_MSG_T_REQ 1
#define TRV_K_MSG_T_ANS 1
#define TRV_K_CHAN_SOCK 1
typedef struct trv_s_T_MSG_T_REQ
 {
   TRV_T_INT trv_defNumber;
   T_REQ trv_MsgRef;
   T_REQ trv_MsgMin;
   T_REQ trv_MsgMax;
   TRV_T_INT trv_state;
   TRV_T_INT trv_stateok;
   TRV_T_INT trv_stateko;
   TRV_T_INT trv_state_channel[TRV_K_MAX_COMT][TRV_K_MAX_CHAN];
 }
TRV_T_T_REQ, *TRV_PT_T_REQ;
typedef TRV_T_T_REQ TRV_T_MSG_T_REQ[TRV_K_MSG_T_REQ];
typedef struct trv_s_T_MSG_T_ANS
 {
   TRV_T_INT trv_defNumber;
   T_ANS trv_MsgRef;
   T_ANS trv_MsgMin;
   T_ANS trv_MsgMax;
   TRV_T_INT trv_state;
   TRV_T_INT trv_stateok;
   TRV_T_INT trv_stateko;
   TRV_T_INT trv_state_channel[TRV_K_MAX_COMT][TRV_K_MAX_CHAN];
 }
TRV_T_T_ANS, *TRV_PT_T_ANS;
typedef TRV_T_T_ANS TRV_T_MSG_T_ANS[TRV_K_MSG_T_ANS];
typedef struct trv_s_T_CHAN_SOCK
 {
   int trv_connexionId[TRV_K_ID_SIZE];
   TRV_T_INT trv_numberofId;
   TRV_T_INT trv_msg[TRV_K_MAX_MSGT];
 }
TRV_T_CHAN_SOCK, *TRV_PT_CHAN_SOCK;
typedef TRV_T_CHAN_SOCK TRV_T_COMM_SOCK[TRV_K_CHAN_SOCK];
#define req trv_msg_T_REQ[0].trv_MsgRef
#define ans trv_msg_T_ANS[0].trv_MsgRef
#define trv_msg_T_REQ (trv_ctx->trv_ctxT_REQ)
#define T_REQ_rcv (trv_ctx->trv_ctxT_REQ_rcv)
#define trv_T_REQ_send (trv_ctx->trv_ctxT_REQ_send)
#define trv_msg_T_ANS (trv_ctx->trv_ctxT_ANS)
#define trv_T_ANS_rcv (trv_ctx->trv_ctxT_ANS_rcv)
#define trv_T_ANS_send (trv_ctx->trv_ctxT_ANS_send)
#define CMD trv_state_channel[0][0]
#define trv_channel_SOCK (trv_ctx->trv_ctxSOCK)
typedef struct
 {
   TRV_T_RUNCTX trv_ctxrun;
   TRV_T_INT trv_ctxflagrt;
   TRV_T_MSG_T_REQ trv_ctxT_REQ;
   T_REQ trv_ctxT_REQ_rcv;
   T_REQ *trv_ctxT_REQ_send;
   TRV_T_MSG_T_ANS trv_ctxT_ANS;
   T_ANS trv_ctxT_ANS_rcv;
   T_ANS *trv_ctxT_ANS_send;
   TRV_T_COMM_SOCK trv_ctxSOCK;
 }
TRV_T_CTX, *TRV_PT_CTX ;

static void trv_initstates  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   TRV_T_INT trv_i,trv_j,trv_k;
   for (trv_i=0; trv_i<TRV_K_MSG_T_ANS; trv_i++)
    {
      trv_msg_T_ANS[trv_i].trv_state=TRV_NOEVT;
      trv_msg_T_ANS[trv_i].trv_stateok=0;
      trv_msg_T_ANS[trv_i].trv_stateko=0;
      for (trv_j=0; trv_j<TRV_K_MAX_COMT; trv_j++)
       {
         for (trv_k=0; trv_k<TRV_K_MAX_CHAN; trv_k++)
          {
            trv_msg_T_ANS[trv_i].trv_state_channel[trv_j][trv_k]=TRV_NOEVT;
          }
       }
    }
 }

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   TRV_T_INT trv_i;
   for (trv_i=0;trv_i<TRV_K_MSG_T_ANS;trv_i++)
    {
      trv_msg_T_ANS[trv_i].trv_defNumber=0;
    }
   for (trv_i=0;trv_i<TRV_K_CHAN_SOCK;trv_i++)
    {
      trv_channel_SOCK[trv_i].trv_numberofId = 0;
    }
 }
static TRV_T_CTX trv_ctxst;

static void trv_T_REQ_dump_msg  TRV_DP (( trv_ctx, trv_msg_to_dump)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
T_REQ * trv_msg_to_dump TRV_EP
 {
#define trv_msgrcv (*trv_msg_to_dump)
   trv_dmp_int_c (&(trv_ctx->trv_ctxrun),28, (TRV_T_INT) trv_msgrcv.code,TRV_P_BASE16, I0, -1 );
   trv_dmp_string_c (&(trv_ctx->trv_ctxrun),29, (TRV_PT_CAR) trv_msgrcv.name, I0, -1 );
#undef trv_msgrcv
 }

static void trv_T_ANS_dump_msg  TRV_DP (( trv_ctx, trv_msg_to_dump)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
T_ANS * trv_msg_to_dump TRV_EP
 {
#define trv_msgrcv (*trv_msg_to_dump)
   trv_dmp_int_c (&(trv_ctx->trv_ctxrun),25, (TRV_T_INT) trv_msgrcv.code,TRV_P_BASE10, I0, -1 );
   trv_dmp_long_c (&(trv_ctx->trv_ctxrun),26, (TRV_T_LONG) trv_msgrcv.value,TRV_P_BASE10, I0, -1 );
#undef trv_msgrcv
 }

static void trv_T_ANS_ref_msg  TRV_DP (( trv_ctx, trv_msg_ref)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_PT_T_ANS trv_msg_ref TRV_EP
 {
#define trv_msgrcv (trv_msg_ref->trv_MsgRef)
#define trv_msgMin (trv_msg_ref->trv_MsgMin)
#define trv_msgMax (trv_msg_ref->trv_MsgMax)
   switch(trv_msg_ref->trv_defNumber)
    {
      case 1:
       {
         trv_def_msg(&(trv_ctx->trv_ctxrun),24);
         trv_dmp_int_c (&(trv_ctx->trv_ctxrun),25, (TRV_T_INT) trv_msgrcv.code,TRV_P_BASE10, I0, -1 );
         trv_dmp_range_long_c (&(trv_ctx->trv_ctxrun),26, 1,(TRV_T_LONG) trv_msgMin.value,1,(TRV_T_LONG) trv_msgMax.value,TRV_P_BASE10, I0, -1 );
         break;
       }
    }
#undef trv_msgrcv
#undef trv_msgMin
#undef trv_msgMax
 }

static TRV_T_INT trv_T_ANS_cmp_msg  TRV_DP (( trv_ctx, trv_msg_ref, msg_rcv)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_PT_T_ANS trv_msg_ref TRV_SP
T_ANS * msg_rcv TRV_EP
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
         trv_cmp_int_c (&(trv_ctx->trv_ctxrun),25, (TRV_T_INT) trv_msgrcv.code,(TRV_T_INT) trv_msgref.code, I0, -1 );
         trv_cmp_range_long_c (&(trv_ctx->trv_ctxrun),26, (TRV_T_LONG) trv_msgrcv.value,1,(TRV_T_LONG) trv_msgMin.value,1,(TRV_T_LONG) trv_msgMax.value, I0, -1 );
         break;
       }
    }
   trv_ret=trv_cmp(&(trv_ctx->trv_ctxrun));
   trv_msg_ref->trv_state = trv_ret?TRV_EVTOK:TRV_EVTKO;
   if (trv_msg_ref->trv_state == TRV_EVTOK)
    {
      trv_msg_ref->trv_stateok = 1;
      trv_memcpy(&(trv_msg_ref->trv_MsgRef),msg_rcv,sizeof(T_ANS));
    }
   else trv_msg_ref->trv_stateko = 1;
   return(trv_ret);
#undef trv_msgrcv
#undef trv_msgref
#undef trv_msgMin
#undef trv_msgMax
 }

/* procsend T_REQ_ON_SOCK_for_procsend */
static TRV_T_INT trv_T_REQ_ON_SOCK_for_procsend  TRV_DP (( trv_ctx, trv_RegId, trv_index)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_T_INT trv_RegId TRV_SP
TRV_T_INT trv_index TRV_EP
 {
   T_REQ msg;
   int id;

   trv_memcpy (&msg,(trv_T_REQ_send),sizeof(*(trv_T_REQ_send)));
   trv_memcpy (&id,&(trv_channel_SOCK[trv_RegId].trv_connexionId[trv_index]), sizeof(id));
   if (trv_channel_send(id, 1, &msg, sizeof msg) != 0) return 1;
   return ( TRV_MESSAGE_SENT );
 }

/* callback T_ANS_ON_SOCK */
static TRV_T_INT trv_T_ANS_ON_SOCK  TRV_DP (( trv_ctx, trv_RegId, trv_index)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_T_INT trv_RegId TRV_SP
TRV_T_INT trv_index TRV_EP
 {
   T_ANS msg;
   int id;
   TRV_T_INT type, got;

   trv_memcpy (&msg,&(trv_T_ANS_rcv),sizeof(msg));
   trv_memcpy (&id,&(trv_channel_SOCK[trv_RegId].trv_connexionId[trv_index]), sizeof(id));
   got = trv_channel_receive(id, &type, &msg, sizeof msg);
   if (got == TRV_NO_MESSAGE)
    {
      trv_nomsg ( &(trv_ctx->trv_ctxrun),0 );
      return ( TRV_NO_MESSAGE );
    }
   if (got != TRV_MESSAGE_READ) return 1;
   trv_msgdate ( &(trv_ctx->trv_ctxrun),0 );
   trv_memcpy (&(trv_T_ANS_rcv),&msg,sizeof(msg));
   return ( TRV_MESSAGE_READ );
 }

static TRV_T_INT trv_WAIT_1  TRV_DP (( trv_ctx, trv_exprOK, trv_exprKO, trv_wtime_0)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_T_INT * trv_exprOK TRV_SP
TRV_T_INT * trv_exprKO TRV_SP
TRV_T_UTIME trv_wtime_0 TRV_EP
 {
   TRV_T_INT trv_ret=0;
   do
    {
      if ((*trv_exprKO = (TRV_NOTMATCHED_1(trv_msg_T_ANS[0]) || WTIME > 300)))
       {
         trv_ret=1;
       }
      if ((*trv_exprOK = (TRV_MATCHED_2(trv_msg_T_ANS[0],trv_state_channel[0][0]))))
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

static TRV_T_INT trv_S9  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   int cmd_id = trv_channel_open("CMD");
   if (cmd_id < 0) return 1;
   if (trv_channel_SOCK[0].trv_numberofId<TRV_K_ID_SIZE)
    {
      trv_channel_SOCK[0].trv_connexionId[trv_channel_SOCK[0].trv_numberofId] = cmd_id;
      ++trv_channel_SOCK[0].trv_numberofId;
    }
   else
    {
      trv_numofid(&(trv_ctx->trv_ctxrun), 19);
      return ( 1 );
    }
   req.code = 41;
   trv_strcpy(req.name, "ping");
   trv_msg_T_ANS[0].trv_defNumber = 1;
   ans.code = 42;
   trv_msg_T_ANS[0].trv_MsgMin.value = 4000;
   trv_msg_T_ANS[0].trv_MsgMax.value = 5000;
   trv_T_REQ_send = &req;
   trv_send( &(trv_ctx->trv_ctxrun),20, "req");
    {
      TRV_T_INT trv_i,trv_psret=0;
      trv_rio_on(&(trv_ctx->trv_ctxrun));
      for (trv_i=0;trv_i<trv_channel_SOCK[0].trv_numberofId;trv_i++)
       {
         trv_rio_off(&(trv_ctx->trv_ctxrun));
         trv_psret = trv_T_REQ_ON_SOCK_for_procsend (trv_ctx,0,trv_i);
         trv_rio_on(&(trv_ctx->trv_ctxrun));
         if (trv_psret==1)
          {
            break;
          }
       }
      trv_T_REQ_dump_msg (trv_ctx, &req);
      trv_end_send( &(trv_ctx->trv_ctxrun),trv_psret,21);
      if (trv_psret)
       return ( 1 );
    }
    {
      TRV_T_INT trv_end_waittil_debug=0;
      if (0
         ||(!trv_msg_T_ANS[0].trv_defNumber)
         )
       {
         trv_nodefmsg(&(trv_ctx->trv_ctxrun), 30);
         return ( 1 );
       }
      else if (!(0
         ||(trv_channel_SOCK[0].trv_numberofId)
         ))
       {
         trv_noaddid(&(trv_ctx->trv_ctxrun), 30);
         return ( 1 );
       }
      else
       {
         TRV_T_INT trv_i, trv_ret, trv_cbret, trv_rcv;
         TRV_T_INT trv_exprOK=0, trv_exprKO=0;
         TRV_T_UTIME trv_wtime_0, trv_t0, trv_tn, trv_tn1, trv_tnow;
         trv_initstates (trv_ctx);
         trv_waittil (&(trv_ctx->trv_ctxrun), 30);
         trv_wtime = 0;
         trv_t0 = trv_getevtdate (&(trv_ctx->trv_ctxrun));
         trv_tn = trv_t0 ;
         trv_tn1=trv_tn+trv_gran;
         for (;
             !trv_end_waittil_debug;)
          {
            trv_rcv = 0;
            trv_tnow = trv_getevtdate (&(trv_ctx->trv_ctxrun));
            while (trv_tnow >= trv_tn1)
             {
               trv_tn = trv_tn1 ;
               trv_tn1=trv_tn+trv_gran;
             }
            TRV_TIMEOUT = ( (((trv_tnow - trv_t0)/TRV_WTIME_TO_TIME) < 300) ? (300 - (trv_tnow - trv_t0)/TRV_WTIME_TO_TIME) : 0);
            /* CommType SOCK */
            /* Channel CMD */
            /* Type message T_ANS */
            for (trv_i=0;
                !trv_end_waittil_debug && trv_i<trv_channel_SOCK[0].trv_numberofId;trv_i++)
             {
               trv_ret = 0;
               trv_rio_off(&(trv_ctx->trv_ctxrun));
               trv_cbret=trv_T_ANS_ON_SOCK(trv_ctx,0,trv_i);
               trv_rio_on(&(trv_ctx->trv_ctxrun));
               if (trv_cbret== 1)
                {
                  trv_endwaittil(&(trv_ctx->trv_ctxrun), 2, 31, "T_ANS");
                  return ( 1 );
                }
               if (trv_cbret==TRV_MESSAGE_READ)
                {
                  trv_rcv |= 1;
                  trv_evt (&(trv_ctx->trv_ctxrun),22,33,0," ");
                  trv_T_ANS_dump_msg (trv_ctx, &(trv_T_ANS_rcv));
                  trv_endevt (&(trv_ctx->trv_ctxrun),23);
                  if (trv_T_ANS_cmp_msg(trv_ctx, &(trv_msg_T_ANS[0]),&(trv_T_ANS_rcv)))
                   {
                     trv_def_msg(&(trv_ctx->trv_ctxrun),24);
                     trv_ret=1;
                     trv_msg_T_ANS[0].trv_state_channel[0][0]|=TRV_EVTOK;
                   }
                  else
                   {
                     trv_msg_T_ANS[0].trv_state_channel[0][0]|=TRV_EVTKO;
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
               if (trv_WAIT_1(trv_ctx, &trv_exprOK, &trv_exprKO, trv_wtime_0))
                {
                  trv_end_waittil_debug = 1;
                  break;
                }
             }
            if (!trv_end_waittil_debug
               )
             {
               trv_wtime_0 = trv_getwtime(&(trv_ctx->trv_ctxrun));
               if (trv_WAIT_1(trv_ctx, &trv_exprOK, &trv_exprKO, trv_wtime_0))
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
         trv_state ( &(trv_ctx->trv_ctxrun), (TRV_MATCHED_2(trv_msg_T_ANS[0],trv_state_channel[0][0])), 32);
         trv_T_ANS_ref_msg (trv_ctx, &(trv_msg_T_ANS[0]));
         if (trv_exprKO)
          {
            trv_endwaittil(&(trv_ctx->trv_ctxrun), 1, 31, "T_ANS");
            return ( 1 );
          }
         else if (trv_exprOK)
          {
            trv_endwaittil(&(trv_ctx->trv_ctxrun), 0, 31, "T_ANS");
          }
       }
    }
   return ( 0 );
 }

static TRV_T_INT trv_S8  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   TRV_T_INT trv_local_state = 0;
   trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),34, 9 , 1, 1, "", 0, 0);
   trv_local_state = trv_S9 (trv_ctx);
   trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, 34, 1, 1, "", 0, 0);
   return ( trv_local_state );
 }

#include "root_run.h"
ROOT_RUN("messages.rio", "messages 1", trv_S8, 8, 34)
