/* A thread entry as qvmprepro writes it with -THREAD=thread_start, for a
 * script that declares the instances left and right, and a main that starts
 * one or two testers as threads. */
#include "common_context.h"

#include <pthread.h>
#include <stdint.h>

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   (void)trv_ctx;
 }

static TRV_T_INT trv_S8  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   if (trv_numinstance==2)
    {
      trv_comment ( &(trv_ctx->trv_ctxrun),10 );
    }
   if ( trv_filter[4])
    {
      trv_error ( &(trv_ctx->trv_ctxrun),11 );
      return ( 1 );
    }
   for(J1=1; J1<=20; ++J1)
    {
      TRV_T_INT seen = J1;
      trv_pause ((TRV_T_UTIME)(trv_numinstance));
      if ( seen != J1 )
       {
         trv_error ( &(trv_ctx->trv_ctxrun),12 );
         return ( 1 );
       }
    }
   return ( 0 );
 }

char * thread_start_Table[] = {"thread_start","left","right"};
int thread_start_TableLen = 3;

TRV_T_THREAD_RETURN  thread_start TRV_DP ((arg)) TRV_BP
TRV_CONST TRV_PT_ARG arg TRV_EP
 {
   TRV_T_CTX trv_ctxst;
   TRV_T_CAR trv_ctxbuffertracest[4096];
   TRV_PT_CTX trv_ctx;
   TRV_T_INT trv_local_state = 0;
   TRV_PT_CAR instance_name = (TRV_PT_CAR) 0;
   char lstflt[255];
   trv_ctx = &trv_ctxst;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace = trv_ctxbuffertracest;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffersize = 4096;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffersizeleft = 4096;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 10;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxcurrentline= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxlinetoerase= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxlastline= trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace;

   trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );
   trv_ctx->trv_ctxrun.trv_ctxflagprobe = 0;
   trv_numinstance = 1;
   trv_testernaming[0] = '\0';
   if ( arg->trv_filters )
    {
      trv_strcpy ( lstflt, arg->trv_filters );
    }
   trv_strcat ( lstflt, "Z" );

   if ( arg->trv_instance )
    {
      instance_name =  arg->trv_instance;
    }
   if (instance_name)
    {
      /* Computing index of executed instance */
      if (trv_strcmp ("left", instance_name) == 0)
       {
         trv_numinstance = 2;
       }
      if (trv_strcmp ("right", instance_name) == 0)
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
      trv_sprintf (trv_testernaming, "%s_%d", arg->trv_riofilename, TRV_OCCID);
    }
   trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun), arg->trv_riofilename, lstflt, !(trv_numinstance == 1), 0, instance_name, TRV_OCCID, "thread 1",
   "");
   trv_initctx ( trv_ctx );
   J0 = 1;
   trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),9, 8 , 0, J0, "", 0, 0);
   trv_local_state = trv_S8 (trv_ctx);
   trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, 9, 0, J0, "", 0, 0);
   trv_flush_circular_buffer (&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);
   trv_end (&(trv_ctx->trv_ctxrun));
   trv_thr_exit ((trv_local_state != 0));
 }

static int start(pthread_t *thread, TRV_T_ARG *arg, char *filters, char *instance, char *occurrence, char *rio)
{
    arg->trv_filters = filters;
    arg->trv_instance = instance[0] != '\0' ? instance : NULL;
    arg->trv_occid = atoi(occurrence);
    arg->trv_riofilename = rio;
    return pthread_create(thread, NULL, (void *(*)(void *))thread_start, arg) == 0;
}

/* thread <filters> <instance> <occurrence> <trace file> [<instance> <trace file>]:
 * one tester thread, or two running side by side. */
int main(int argc, char **argv)
{
    TRV_T_ARG args[2];
    pthread_t threads[2];
    int count = argc == 7 ? 2 : 1;
    int status = 0;
    int i;
    if (argc != 5 && argc != 7) {
        return 2;
    }
    if (!start(&threads[0], &args[0], argv[1], argv[2], argv[3], argv[4]) ||
        (count == 2 && !start(&threads[1], &args[1], argv[1], argv[5], argv[3], argv[6]))) {
        return 2;
    }
    for (i = 0; i < count; ++i) {
        void *result = NULL;
        if (pthread_join(threads[i], &result) != 0) {
            return 2;
        }
        printf("thread result %d\n", (int)(intptr_t)result);
        status |= (int)(intptr_t)result;
    }
    return status;
}
