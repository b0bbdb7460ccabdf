/* The entry function of the smaller test programs, as qvmprepro writes it
 * for `main`: set-up, the run of the root scenario function between its
 * chrono marks (with its number and end number), the end.  Included after
 * the program's scenario functions; argv[1], when given, is the filter list. */
#define ROOT_RUN(rio, stamp, root, number, root_end)                                                           \
    TRV_T_INT main TRV_DP (( argc, argv )) TRV_BP                                                       \
    TRV_CONST TRV_T_INT argc TRV_SP                                                                     \
    TRV_CONST TRV_PT_CAR * argv TRV_EP                                                                  \
     {                                                                                                  \
       TRV_PT_CTX trv_ctx;                                                                              \
       TRV_T_INT trv_local_state = 0;                                                                   \
       char lstflt[255];                                                                                \
       lstflt[0] = '\0';                                                                                \
       if ( argc > 1 )                                                                                  \
        {                                                                                               \
          trv_strcpy ( lstflt, argv[1] );                                                               \
        }                                                                                               \
       trv_ctx = &trv_ctxst;                                                                            \
       trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 0;                                    \
       trv_set_trace_functions ( &(trv_ctx->trv_ctxrun) );                                              \
       trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun),rio, lstflt, 1, 0, (TRV_PT_CAR) 0, 0, stamp, ""); \
       trv_initctx ( trv_ctx );                                                                         \
       J0 = 1;                                                                                          \
       trv_startchronomarkloop ( &(trv_ctx->trv_ctxrun),root_end, number , 0, J0, "", 0, 0);               \
       trv_local_state = root (trv_ctx);                                                                \
       trv_stopchronomarkloop ( &(trv_ctx->trv_ctxrun),trv_local_state, root_end, 0, J0, "", 0, 0);     \
       trv_end (&(trv_ctx->trv_ctxrun));                                                                \
       QVM_EXIT ((trv_local_state != 0));                                                               \
       return ( 0 );                                                                                    \
     }
