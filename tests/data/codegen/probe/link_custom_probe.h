#ifdef USE_QVM
#undef USE_QVM
#endif
#define USE_QVM 1
#include "TP.h"
#include "probecst.h"
#define TRV_CTX_PRB TRV_PT_PRB
#define tarvo_concat(a,b) a##b
#define tarvo_concat_3(a,b,c) a##b##c
#define tarvo_concat_4(a,b,c,d) a##b##c##d
#define tarvo_concat_6(a,b,c,d,e,f) a##b##c##d##e##f

/************* Definition of macros for dumping messages *********/ 
#define trv_start_trace(ctx,path,instance,p1) ctx=trv_create_probe(path,#instance,p1)
#define trv_end_trace(ctx) trv_end_probe(ctx)
#define trv_send_trace(ctx,dist,msg,type,reportmsgname) trv_write_probe(ctx,tarvo_concat_4(TRV_TDC_SEND_,type,_,dist),0,msg,sizeof(type))
#define trv_recv_trace(ctx,dist,msg,type,reportmsgname) trv_write_probe(ctx,tarvo_concat_4(TRV_TDC_RECV_,type,_,dist),0,msg,sizeof(type))
#define trv_format_trace(ctx,format)
#define trv_select_trace(ctx,code,value) trv_write_key(ctx,code,value)
#define trv_dump_trace(path,riopath) trv_dump_all_inst(path,riopath)

/************* Enf of macros definition *********/ 
extern TRV_T_INT trv_dump_all_inst(TRV_PT_CAR path,TRV_PT_CAR riopath);
extern void trv_dump_inst(struct TRV_T_PRB *prb_ctx,TRV_PT_CAR path,TRV_PT_CAR riofile,TRV_PT_CAR instName,TRV_PT_CAR other);
#define TRV_SEL_reply_t_body 1+TRV_TDC_LAST_ID

#endif
