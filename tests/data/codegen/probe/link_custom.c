
/*
 * TARVO Ostrel v2.6a, preprocessor C
 * file name: out/link.c
 * date: @DATE@
 */



#include "link_api.h"

#include "link.h"

int controller_link;
void *const trv_script_variables[] =
{
(void *) &controller_link,
0
};
#define TRV_reply_t (trv_ctx->trv_ctxsel_reply_t)
typedef struct TRV_T_CTX *TRV_PT_CTX;
#define trv_set_time(trv_ctx,time) trv_memcpy(&(trv_ctx->trv_ctxrun.trv_ctxusrdate),&time,sizeof(TRV_T_DATE))
struct TRV_T_CTX
{
TRV_T_RUNCTX trv_ctxrun;
struct {
struct {
int select;
}body;
}trv_ctxsel_reply_t;
}
;

void trv_decode (TRV_PT_CTX trv_ctx,TRV_T_DATE time,TRV_T_UINT code,TRV_T_UINT trv_key,void *msg);

void trv_strt_probe (TRV_PT_CTX trv_ctx,TRV_PT_CAR rioFilename,TRV_PT_CAR codeName);
void trv_set_selector TRV_DP ((trv_ctx,trv_code,trv_value)) TRV_BP 
TRV_PT_CTX trv_ctx TRV_SP
TRV_T_UINT trv_code TRV_SP
TRV_T_UINT trv_value TRV_EP
 {
  switch(trv_code)
   {
    case (TRV_SEL_reply_t_body):
    TRV_reply_t.body.select=trv_value;
    break;
    default:
    break;
   }
 }
void trv_init_selector TRV_DP ((trv_ctx)) TRV_BP 
TRV_PT_CTX trv_ctx TRV_EP
 {
  TRV_reply_t.body.select=0;
 }
static void trv_order_t_dump_msg TRV_DP (( trv_ctx, trv_msg_to_dump)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
order_t * trv_msg_to_dump TRV_EP
 {
#define trv_msgrcv (*trv_msg_to_dump)
  trv_varstruct ( &(trv_ctx->trv_ctxrun),10 );
  trv_dmp_int_c (&(trv_ctx->trv_ctxrun),11, (TRV_T_INT) trv_msgrcv.seq,TRV_P_BASE10, I0, -1 );
  trv_dmp_int_c (&(trv_ctx->trv_ctxrun),12, (TRV_T_INT) trv_msgrcv.setpoint,TRV_P_BASE10, I0, -1 );
  trv_varstruct ( &(trv_ctx->trv_ctxrun),13 );
#undef trv_msgrcv
 }
static void trv_reply_t_dump_msg TRV_DP (( trv_ctx, trv_msg_to_dump)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
reply_t * trv_msg_to_dump TRV_EP
 {
#define trv_msgrcv (*trv_msg_to_dump)
  trv_varstruct ( &(trv_ctx->trv_ctxrun),21 );
  trv_dmp_int_c (&(trv_ctx->trv_ctxrun),22, (TRV_T_INT) trv_msgrcv.seq,TRV_P_BASE10, I0, -1 );
  trv_dmp_int_c (&(trv_ctx->trv_ctxrun),23, (TRV_T_INT) trv_msgrcv.kind,TRV_P_BASE10, I0, -1 );
  trv_varstruct ( &(trv_ctx->trv_ctxrun),24 );
  switch (TRV_reply_t.body.select)
   {
    case 0:
     {
      trv_dmp_int_c (&(trv_ctx->trv_ctxrun),25, (TRV_T_INT) trv_msgrcv.body.code,TRV_P_BASE10, I0, -1 );
      break;
     }
    case 1:
     {
      trv_dmp_chars_c (&(trv_ctx->trv_ctxrun),26, (TRV_PT_CAR) trv_msgrcv.body.text, sizeof(trv_msgrcv.body.text), I0, -1 );
      break;
     }
   }
  trv_varstruct ( &(trv_ctx->trv_ctxrun),27 );
  trv_varstruct ( &(trv_ctx->trv_ctxrun),28 );
#undef trv_msgrcv
 }
void trv_strt_probe (TRV_PT_CTX trv_ctx,TRV_PT_CAR rioFilename,TRV_PT_CAR codeName)
 {
  trv_ctx->trv_ctxrun.trv_ctxflagprobe=1;
  trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );
  trv_ctx->trv_ctxrun.trv_ctxoccid=0;
  trv_ctx->trv_ctxrun.trv_ctxlogdate=(TRV_T_UTIME)0;
  trv_tdc_origin ( &(trv_ctx->trv_ctxrun), "@DIR@", "out/link.tdc" );
  trv_initrio ( &(trv_ctx->trv_ctxrun),rioFilename ,0, 1, 0, codeName, 0,TRV_TDC_gen,"");
  trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),TRV_TDC_Epts, TRV_TDC_Spts , 0, 1,"",0,0);
  trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),TRV_TDC_Escn, TRV_TDC_Sscn ,1, 1,"",0,0);
 }
void trv_stop_probe (TRV_PT_CTX trv_ctx)
 {
  if (trv_ctx == 0)
   {
    return;
   }
  trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),0,TRV_TDC_Escn,1,1,"",0,0);
  trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),0,TRV_TDC_Epts,0,1,"",0,0);
  trv_end (&(trv_ctx->trv_ctxrun));
 }
void trv_decode TRV_DP ((trv_ctx,trv_time,trv_code,trv_key,trv_msg)) TRV_BP
TRV_PT_CTX trv_ctx TRV_SP
TRV_T_DATE trv_time TRV_SP
TRV_T_UINT trv_code TRV_SP
TRV_T_UINT trv_key TRV_SP
void *trv_msg TRV_EP
 {
  TRV_T_INT eevt,defmsg;
  if (trv_code > TRV_TDC_LAST_ID)
   {
    trv_set_selector(trv_ctx,trv_code,*((TRV_PT_UINT) trv_msg));
    return;
   }
  trv_set_time(trv_ctx,trv_time);
  eevt=0;
  defmsg=-1;
  switch(trv_code)
   {
    case TRV_TDC_SEND_order_t_up:
    trv_send(&(trv_ctx->trv_ctxrun),trv_code,"");
    break;
    case TRV_TDC_RECV_reply_t_down:
    trv_waittil(&(trv_ctx->trv_ctxrun),trv_code);
    trv_evt(&(trv_ctx->trv_ctxrun),TRV_TDC_EVT_reply_t,TRV_TDC_CH_down,0," ");
    eevt=TRV_TDC_EEVT_reply_t;
    defmsg=TRV_TDC_DEFM_reply;
    break;
    default:
    return;
   }
  switch(trv_code)
   {
    case TRV_TDC_SEND_order_t_up:
    trv_order_t_dump_msg(trv_ctx,trv_msg);
    break;
    case TRV_TDC_RECV_reply_t_down:
    trv_reply_t_dump_msg(trv_ctx,trv_msg);
    break;
    default:
    break;
   }
  switch(trv_code)
   {
    case TRV_TDC_SEND_order_t_up:
    trv_end_send(&(trv_ctx->trv_ctxrun),0,trv_code+TRV_TDC_END_SEND);
    break;
    default:
    trv_endevt(&(trv_ctx->trv_ctxrun),eevt);
    if (defmsg >= 0)
     {
      trv_def_msg(&(trv_ctx->trv_ctxrun),defmsg);
     }
    trv_endwaittil(&(trv_ctx->trv_ctxrun), 0, trv_code+TRV_TDC_END_RECV,"");
    break;
   }
 }
void trv_dump_inst TRV_DP ((prb_ctx, path,riofile,instName,other)) TRV_BP
TRV_PT_PRB prb_ctx TRV_SP
TRV_PT_CAR path TRV_SP
TRV_PT_CAR riofile TRV_SP
TRV_PT_CAR instName TRV_SP
TRV_PT_CAR other TRV_EP
 {
  struct TRV_T_CTX trv_ctx;
  TRV_T_DATE time;
  TRV_T_UINT code,key;
  void *msg;
  union
   {
    TRV_T_UINT trv_key;
    order_t trv_msg_order_t;
    reply_t trv_msg_reply_t;
   }
  trv_buffer;
  memset(&trv_ctx,0,sizeof trv_ctx);
  prb_ctx=trv_open_probe(prb_ctx,path,riofile,instName,other);
  if (prb_ctx == 0)
   {
    return;
   }
  trv_init_selector(&trv_ctx);
  if(trv_read_probe(prb_ctx,&time,&code,&key,&msg))
   {
    trv_set_time((&trv_ctx),time);
    trv_strt_probe(&trv_ctx,riofile,instName);
    do
     {
      memset(&trv_buffer,0,sizeof trv_buffer);
      if (msg != 0)
       {
        trv_memcpy(&trv_buffer,msg,trv_probe_length(prb_ctx) < sizeof trv_buffer ? trv_probe_length(prb_ctx) : sizeof trv_buffer);
       }
      trv_decode(&trv_ctx,time,code,key,&trv_buffer);
     }
    while(trv_read_probe(prb_ctx,&time,&code,&key,&msg));
    trv_stop_probe(&trv_ctx);
   }
  trv_close_probe(prb_ctx);
 }
