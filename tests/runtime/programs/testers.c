/* Two testers, instances A and B of one program, written the way qvmprepro
 * writes RENDEZVOUS, INTERSEND and INTERRECV: they meet at "start", A sends
 * "hello" to B, B answers 42, and they meet again at "end". */
#include "common_context.h"

static void trv_initctx  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   (void)trv_ctx;
 }
static TRV_T_CTX trv_ctxst;

static TRV_T_INT trv_S8  TRV_DP (( trv_ctx)) TRV_BP
TRV_PT_CTX trv_ctx TRV_EP
 {
   int answer = 0;
   char text[16];
   trv_brdv(&(trv_ctx->trv_ctxrun),10, "start");
   if (trv_rdv("start"))
    {
      trv_ardv(&(trv_ctx->trv_ctxrun),10,1, "start");
      return ( 1 );
    }
   else
    {
      trv_ardv(&(trv_ctx->trv_ctxrun),10,0, "start");
    }
   if (trv_numinstance==2)
    {
      if (trv_intersend (&(trv_ctx->trv_ctxrun), "hello", "B_0"))
       {
         trv_isend (&(trv_ctx->trv_ctxrun), 11, 1, "hello", "B_0");
         return ( 1 );
       }
      else
       {
         trv_isend (&(trv_ctx->trv_ctxrun), 11, 0, "hello", "B_0");
       }
       {
         char *trv_loc_tstemit = NULL;
         char *trv_loc_info = NULL;
         char trv_local_interrecv_msg[QVM_TAGTBUF_SIZE];

         trv_irecv (&(trv_ctx->trv_ctxrun), 12);
         if (priv_interrecv (&(trv_tagtsocket), trv_tagttimeout, trv_local_interrecv_msg, QVM_TAGTBUF_SIZE, &trv_loc_tstemit, &trv_loc_info))
          {
            trv_end_irecv (&(trv_ctx->trv_ctxrun), 12, 2, NULL, NULL);
            return ( 1 );
          }
         else
          {
            *(&answer) = atoi (trv_loc_info);

            trv_end_irecv (&(trv_ctx->trv_ctxrun), 12, 0, trv_loc_tstemit, trv_loc_info);
          }
       }
      trv_print(&(trv_ctx->trv_ctxrun),12,(TRV_T_ULONG)(answer));
    }
   if (trv_numinstance==3)
    {
       {
         char *trv_loc_tstemit = NULL;
         char *trv_loc_info = NULL;

         trv_irecv (&(trv_ctx->trv_ctxrun), 13);
         if (priv_interrecv (&(trv_tagtsocket), trv_tagttimeout, text, sizeof(text), &trv_loc_tstemit, &trv_loc_info))
          {
            trv_end_irecv (&(trv_ctx->trv_ctxrun), 13, 2, NULL, NULL);
            return ( 1 );
          }
         else
          {
            if (text[0]=='\0')
             {
               trv_end_irecv (&(trv_ctx->trv_ctxrun), 13, 1, NULL, NULL);
               return ( 1 );
             }
            else
             {
               trv_end_irecv (&(trv_ctx->trv_ctxrun), 13, 0, trv_loc_tstemit, trv_loc_info);
             }
          }
       }
       {
         char trv_local_int2string[QVM_TAGTBUF_SIZE];
         trv_sprintf (trv_local_int2string, "%d", 40 + (int)strlen(text) - 3);
         if (trv_intersend (&(trv_ctx->trv_ctxrun), trv_local_int2string, "A_0"))
          {
            trv_isend (&(trv_ctx->trv_ctxrun), 14, 1, trv_local_int2string, "A_0");
            return ( 1 );
          }
         else
          {
            trv_isend (&(trv_ctx->trv_ctxrun), 14, 0, trv_local_int2string, "A_0");
          }
       }
    }
   trv_brdv(&(trv_ctx->trv_ctxrun),15, "end");
   if (trv_rdv("end"))
    {
      trv_ardv(&(trv_ctx->trv_ctxrun),15,1, "end");
      return ( 1 );
    }
   else
    {
      trv_ardv(&(trv_ctx->trv_ctxrun),15,0, "end");
    }
   return ( 0 );
 }

TRV_T_INT main TRV_DP (( argc, argv )) TRV_BP
TRV_CONST TRV_T_INT argc TRV_SP
TRV_CONST TRV_PT_CAR * argv TRV_EP
 {
   TRV_PT_CTX trv_ctx;
   TRV_T_INT trv_local_state = 0;
   TRV_PT_CAR rio_file_name = "testers.rio";
   TRV_PT_CAR instance_name = (TRV_PT_CAR) 0;
   char argRioFileName[255];
   trv_ctx = &trv_ctxst;
   trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 0;
   trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );
   trv_numinstance = 1;
   trv_testernaming[0] = '\0';
   if ( argc > 1 )
    {
      if ((trv_strncmp(argv[1], "-INSTANCE=", 10) == 0) || (trv_strncmp(argv[1], "-instance=", 10) == 0))
       {
         instance_name = &(argv[1][10]);
       }
    }
   if (instance_name)
    {
      /* Computing index of executed instance */
      if (trv_strcmp ("A", instance_name) == 0)
       {
         trv_numinstance = 2;
       }
      if (trv_strcmp ("B", instance_name) == 0)
       {
         trv_numinstance = 3;
       }
    }
   TRV_OCCID = 0;
   if (instance_name)
    {
      trv_sprintf (argRioFileName, "testers_%s.rio", instance_name);
      rio_file_name = argRioFileName;
      trv_sprintf (trv_testernaming, "%s_%d", instance_name, TRV_OCCID);
    }
   else
    {
      trv_sprintf (trv_testernaming, "%s_%d", rio_file_name, TRV_OCCID);
    }
   trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun),rio_file_name, "", !(trv_numinstance == 1), (trv_numinstance == 1), instance_name, TRV_OCCID, "testers 1", "");
   trv_initctx ( trv_ctx );
   J0 = 1;
   trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),40, 8 , 0, J0, "", 0, 0);
   trv_local_state = trv_S8 (trv_ctx);
   trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, 40, 0, J0, "", 0, 0);
   trv_end (&(trv_ctx->trv_ctxrun));
   QVM_EXIT ((trv_local_state != 0));
   return ( 0 );
 }
