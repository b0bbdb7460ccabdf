/* The TRIGGER form of a callback: trv_pollevt finds the connection on which
 * a message waits, the structure's _Init function reads it from there.
 * The in-process system echoes on channel ECHO and stays silent on IDLE;
 * with ECHO_CLOSES set it closes ECHO after echoing. */
#include "common_context.h"

typedef struct { int value; } T_ECHO;

static void echo(const char *channel, TRV_T_INT type, const void *data, size_t size, void *user)
{
    (void)user;
    trv_sut_answer(channel, type, data, size, 5);
    if (getenv("ECHO_CLOSES") != NULL) {
        trv_sut_close(channel, 10);
    }
}

void trv_sut_init(void)
{
    trv_sut_register("ECHO", echo, NULL);
    trv_sut_register("IDLE", echo, NULL);
}

static int T_ECHO_Init(T_ECHO *current, int fd)
{
    TRV_T_INT type;
    return trv_channel_receive(fd, &type, current, sizeof *current) == TRV_MESSAGE_READ ? 0 : 1;
}

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   (void)trv_ctx;
 }
static TRV_T_CTX trv_ctxst;

static TRV_T_INT trv_S9  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   TRV_T_INT trv_ids[TRV_K_ID_SIZE];
   TRV_T_INT trv_n = 2;
   T_ECHO trv_msg = {0};
   T_ECHO sent = {77};
   int fd = 0, polls;
   trv_ids[0] = trv_channel_open("IDLE");
   trv_ids[1] = trv_channel_open("ECHO");
   if (trv_ids[0] < 0 || trv_ids[1] < 0 || trv_channel_open("ECHO") != trv_ids[1])
    {
      trv_error ( &(trv_ctx->trv_ctxrun),10 );
      return ( 1 );
    }
   trv_channel_send(trv_ids[1], 3, &sent, sizeof sent);
   for (polls = 0; polls < 2000 && fd == 0; ++polls)
    {
      if ((fd=trv_pollevt(trv_ids, trv_n)) != 0) {  if (T_ECHO_Init(&trv_msg, fd)) return 1; trv_msgdate ( &(trv_ctx->trv_ctxrun),0 );}
      else trv_sleep(1);
    }
   trv_var_va ( &(trv_ctx->trv_ctxrun),11 );
   trv_var_int_c (&(trv_ctx->trv_ctxrun),12, (TRV_T_INT) (fd == trv_ids[1]),(TRV_T_INT) 1,TRV_P_BASE10, I0, -1 );
   trv_var_int_c (&(trv_ctx->trv_ctxrun),13, (TRV_T_INT) trv_msg.value,(TRV_T_INT) 77,TRV_P_BASE10, I0, -1 );
   trv_flagrt = trv_end_var_va ( &(trv_ctx->trv_ctxrun),14 );
   if (trv_flagrt != 0)
    {
      return ( 1 );
    }
   /* After the closing, the connection is found again and reading it fails. */
   for (fd = 0, polls = 0; getenv("ECHO_CLOSES") != NULL && polls < 2000 && fd == 0; ++polls)
    {
      if ((fd=trv_pollevt(trv_ids, trv_n)) != 0) {  if (T_ECHO_Init(&trv_msg, fd)) return 1; }
      else trv_sleep(1);
    }
   return ( 0 );
 }

#include "root_run.h"
ROOT_RUN("pollevt.rio", "pollevt 1", trv_S9, 9, 40)
