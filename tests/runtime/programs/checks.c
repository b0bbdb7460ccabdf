/* Variable checks written the way qvmprepro writes VAR with EV=, a dump and
 * a native call: with no argument every check passes; the argument "F"
 * (a filter letter) makes the VAR expect wrong values, "C" the call. */
#include "common_context.h"

struct record {
    int count;
    unsigned int flags;
    char letter;
    char name[8];
    double ratio;
    unsigned char table[3];
    void *ptr;
    long level;
};

static struct record rec;

static int area(int w, int *h)
{
    *h += 1;
    return w * *h;
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
   int wrong = trv_filter[5];
   int wrong_call = trv_filter[2];
   rec.count = 31;
   rec.flags = 0x1fu;
   rec.letter = 'q';
   trv_strcpy(rec.name, "door");
   rec.ratio = 0.5;
   rec.table[0] = 1; rec.table[1] = 2; rec.table[2] = 250;
   rec.ptr = &rec;
   rec.level = -3;
   trv_var_va ( &(trv_ctx->trv_ctxrun),10 );
   trv_var_int_c (&(trv_ctx->trv_ctxrun),11, (TRV_T_INT) rec.count,(TRV_T_INT) (wrong ? 32 : 31),TRV_P_BASE16, I0, -1 );
   trv_var_int_c (&(trv_ctx->trv_ctxrun),12, (TRV_T_INT) rec.flags,(TRV_T_INT) 0x1f,TRV_P_BASE2, I0, -1 );
   trv_var_char_c (&(trv_ctx->trv_ctxrun),13, (TRV_T_CAR) rec.letter,(TRV_T_CAR) 'q',TRV_P_BASE8, I0, -1 );
   trv_var_string_c (&(trv_ctx->trv_ctxrun),14, (TRV_PT_CAR) rec.name,(TRV_PT_CAR) (wrong ? "window" : "door"), I0, -1 );
   trv_var_double_c (&(trv_ctx->trv_ctxrun),15, (TRV_T_DOUBLE) rec.ratio,(TRV_T_DOUBLE) 0.5, I0, -1 );
   trv_vartab ( &(trv_ctx->trv_ctxrun),16 );
   trv_varreset (&(trv_ctx->trv_ctxrun));
   for(I1 = 0; I1 <= 2; ++I1)
    {
      trv_var_byte_c (&(trv_ctx->trv_ctxrun),16, (TRV_T_CAR) rec.table[I1],(TRV_T_CAR) (I1 == 2 ? 250 : I1 + 1),TRV_P_BASE16, I1, 2 );
    }
   trv_vartab ( &(trv_ctx->trv_ctxrun),16 );
   trv_var_nonil_c (&(trv_ctx->trv_ctxrun),17, (TRV_PT_VOID) rec.ptr,(TRV_PT_VOID) NONIL, I0, -1 );
   trv_var_range_long_c (&(trv_ctx->trv_ctxrun),18, (TRV_T_LONG) rec.level,1,(TRV_T_LONG) (wrong ? 0 : -10),0,(TRV_T_LONG) 0,TRV_P_BASE10, I0, -1 );
   trv_flagrt = trv_end_var_va ( &(trv_ctx->trv_ctxrun),19 );
   if (trv_flagrt != 0)
    {
      return ( 1 );
    }
   trv_var ( &(trv_ctx->trv_ctxrun),20 );
   trv_dmp_int_c (&(trv_ctx->trv_ctxrun),11, (TRV_T_INT) rec.count,TRV_P_BASE8, I0, -1 );
   trv_dmp_byte_c (&(trv_ctx->trv_ctxrun),13, (TRV_T_CAR) rec.letter,TRV_P_BASE2, I0, -1 );
   trv_var ( &(trv_ctx->trv_ctxrun),21 );
    {
      int w = 6, h = 6, result;
      trv_bcf ( &(trv_ctx->trv_ctxrun),30 );
      result = (TRV_T_INT) area ( w, &h );
      trv_int_c (&(trv_ctx->trv_ctxrun),0, (TRV_T_INT) w, (TRV_T_INT) w, (TRV_T_INT) w, 31 );
      trv_int_c (&(trv_ctx->trv_ctxrun),1, (TRV_T_INT) 6, (TRV_T_INT) 7, (TRV_T_INT) h, 32 );
      trv_int_c (&(trv_ctx->trv_ctxrun),1, (TRV_T_INT) 0, (TRV_T_INT) (wrong_call ? 36 : 42), (TRV_T_INT) result, 33 );
      trv_flagrt = trv_cf (&(trv_ctx->trv_ctxrun),34 );
      if (trv_flagrt != 0)
       {
         return ( 1 );
       }
    }
   return ( 0 );
 }

#include "root_run.h"
ROOT_RUN("checks.rio", "checks 1", trv_S9, 9, 40)
