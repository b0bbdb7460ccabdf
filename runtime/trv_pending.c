/* Calls whose working is not built yet: each one fails the run with a
 * verdict that names it, so that no program passes through them. */
#include "trv_private.h"

#define TRV_PENDING(run, number) trv_fail((run), (number), "runtime call %s not available yet", __func__)

static TRV_T_RUNCTX *trv_pending_run;

static void trv_pending_free(const char *name)
{
    if (trv_pending_run != NULL && trv_pending_run->trv_ctxpriv != NULL) {
        trv_fail(trv_pending_run, -1, "runtime call %s not available yet", name);
    } else {
        fprintf(stderr, "qvm runtime: runtime call %s not available yet\n", name);
        exit(1);
    }
}

void trv_var_va(TRV_T_RUNCTX *run, TRV_T_INT number) { trv_pending_run = run; TRV_PENDING(run, number); }
TRV_T_INT trv_end_var_va(TRV_T_RUNCTX *run, TRV_T_INT end_number) { TRV_PENDING(run, end_number); return 1; }
void trv_var(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
void trv_vartab(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
void trv_varstruct(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
void trv_varplage(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT lower, TRV_T_INT upper)
{
    (void)lower; (void)upper; TRV_PENDING(run, number);
}
void trv_varreset(TRV_T_RUNCTX *run) { TRV_PENDING(run, -1); }
void trv_setflagrt(TRV_T_RUNCTX *run) { TRV_PENDING(run, -1); }

#define TRV_PENDING_VAR(name, type)                                                                         \
    void trv_var_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, type expected, TRV_T_INT base, \
                            TRV_T_INT index, TRV_T_INT upper)                                               \
    {                                                                                                       \
        (void)actual; (void)expected; (void)base; (void)index; (void)upper;                                 \
        TRV_PENDING(run, number);                                                                           \
    }                                                                                                       \
    void trv_cmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, type reference,              \
                            TRV_T_INT index, TRV_T_INT upper)                                               \
    {                                                                                                       \
        (void)actual; (void)reference; (void)index; (void)upper;                                            \
        TRV_PENDING(run, number);                                                                           \
    }                                                                                                       \
    void trv_dmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type value, TRV_T_INT base,               \
                            TRV_T_INT index, TRV_T_INT upper)                                               \
    {                                                                                                       \
        (void)value; (void)base; (void)index; (void)upper;                                                  \
        TRV_PENDING(run, number);                                                                           \
    }
#define TRV_PENDING_VAR_NO_BASE(name, type)                                                                 \
    void trv_var_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, type expected,               \
                            TRV_T_INT index, TRV_T_INT upper)                                               \
    {                                                                                                       \
        (void)actual; (void)expected; (void)index; (void)upper;                                             \
        TRV_PENDING(run, number);                                                                           \
    }                                                                                                       \
    void trv_cmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, type reference,              \
                            TRV_T_INT index, TRV_T_INT upper)                                               \
    {                                                                                                       \
        (void)actual; (void)reference; (void)index; (void)upper;                                            \
        TRV_PENDING(run, number);                                                                           \
    }                                                                                                       \
    void trv_dmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type value, TRV_T_INT index,              \
                            TRV_T_INT upper)                                                                \
    {                                                                                                       \
        (void)value; (void)index; (void)upper;                                                              \
        TRV_PENDING(run, number);                                                                           \
    }
TRV_PENDING_VAR(int, TRV_T_INT)
TRV_PENDING_VAR(char, TRV_T_CAR)
TRV_PENDING_VAR(byte, TRV_T_CAR)
TRV_PENDING_VAR(bytetab, TRV_T_CAR)
TRV_PENDING_VAR(long, TRV_T_LONG)
TRV_PENDING_VAR_NO_BASE(float, TRV_T_REAL)
TRV_PENDING_VAR_NO_BASE(double, TRV_T_DOUBLE)
TRV_PENDING_VAR_NO_BASE(string, TRV_PT_CAR)
TRV_PENDING_VAR_NO_BASE(nonil, TRV_PT_VOID)
TRV_PENDING_VAR_NO_BASE(pointer, TRV_PT_VOID)

#define TRV_PENDING_RANGE(name, type)                                                                       \
    void trv_var_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, TRV_T_INT has_lower,   \
                                  type lower, TRV_T_INT has_upper, type upper_value, TRV_T_INT base,          \
                                  TRV_T_INT index, TRV_T_INT upper)                                           \
    {                                                                                                       \
        (void)actual; (void)has_lower; (void)lower; (void)has_upper; (void)upper_value; (void)base;         \
        (void)index; (void)upper;                                                                           \
        TRV_PENDING(run, number);                                                                           \
    }                                                                                                       \
    void trv_cmp_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, TRV_T_INT has_lower,   \
                                  type lower, TRV_T_INT has_upper, type upper_value, TRV_T_INT index,         \
                                  TRV_T_INT upper)                                                            \
    {                                                                                                       \
        (void)actual; (void)has_lower; (void)lower; (void)has_upper; (void)upper_value; (void)index;        \
        (void)upper;                                                                                        \
        TRV_PENDING(run, number);                                                                           \
    }                                                                                                       \
    void trv_dmp_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT has_lower, type lower,     \
                                  TRV_T_INT has_upper, type upper_value, TRV_T_INT base, TRV_T_INT index,     \
                                  TRV_T_INT upper)                                                            \
    {                                                                                                       \
        (void)has_lower; (void)lower; (void)has_upper; (void)upper_value; (void)base; (void)index;          \
        (void)upper;                                                                                        \
        TRV_PENDING(run, number);                                                                           \
    }
#define TRV_PENDING_RANGE_NO_BASE(name, type)                                                               \
    void trv_var_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, TRV_T_INT has_lower,   \
                                  type lower, TRV_T_INT has_upper, type upper_value, TRV_T_INT index,         \
                                  TRV_T_INT upper)                                                            \
    {                                                                                                       \
        (void)actual; (void)has_lower; (void)lower; (void)has_upper; (void)upper_value; (void)index;        \
        (void)upper;                                                                                        \
        TRV_PENDING(run, number);                                                                           \
    }                                                                                                       \
    void trv_cmp_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, TRV_T_INT has_lower,   \
                                  type lower, TRV_T_INT has_upper, type upper_value, TRV_T_INT index,         \
                                  TRV_T_INT upper)                                                            \
    {                                                                                                       \
        (void)actual; (void)has_lower; (void)lower; (void)has_upper; (void)upper_value; (void)index;        \
        (void)upper;                                                                                        \
        TRV_PENDING(run, number);                                                                           \
    }                                                                                                       \
    void trv_dmp_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT has_lower, type lower,     \
                                  TRV_T_INT has_upper, type upper_value, TRV_T_INT index, TRV_T_INT upper)    \
    {                                                                                                       \
        (void)has_lower; (void)lower; (void)has_upper; (void)upper_value; (void)index; (void)upper;         \
        TRV_PENDING(run, number);                                                                           \
    }
TRV_PENDING_RANGE(int, TRV_T_INT)
TRV_PENDING_RANGE(byte, TRV_T_CAR)
TRV_PENDING_RANGE(long, TRV_T_LONG)
TRV_PENDING_RANGE_NO_BASE(float, TRV_T_REAL)
TRV_PENDING_RANGE_NO_BASE(double, TRV_T_DOUBLE)

#define TRV_PENDING_NATIVE(name, type)                                                                      \
    void trv_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, type initial, type expected, type actual, \
                        TRV_T_INT number)                                                                   \
    {                                                                                                       \
        (void)has_expected; (void)initial; (void)expected; (void)actual;                                    \
        TRV_PENDING(run, number);                                                                           \
    }
TRV_PENDING_NATIVE(int, TRV_T_INT)
TRV_PENDING_NATIVE(char, TRV_T_CAR)
TRV_PENDING_NATIVE(byte, TRV_T_CAR)
TRV_PENDING_NATIVE(bytetab, TRV_T_CAR)
TRV_PENDING_NATIVE(long, TRV_T_LONG)
TRV_PENDING_NATIVE(float, TRV_T_REAL)
TRV_PENDING_NATIVE(double, TRV_T_DOUBLE)
TRV_PENDING_NATIVE(string, TRV_PT_CAR)
TRV_PENDING_NATIVE(nonil, TRV_PT_VOID)
TRV_PENDING_NATIVE(pointer, TRV_PT_VOID)

void trv_waittil(TRV_T_RUNCTX *run, TRV_T_INT number) { trv_pending_run = run; TRV_PENDING(run, number); }
void trv_endwaittil(TRV_T_RUNCTX *run, TRV_T_INT result, TRV_T_INT end_number, const char *message_type)
{
    (void)result; (void)message_type; TRV_PENDING(run, end_number);
}
void trv_nodefmsg(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
void trv_noaddid(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
void trv_numofid(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
TRV_T_UTIME trv_getevtdate(TRV_T_RUNCTX *run)
{
    TRV_T_DATE now;
    trv_get_date(&now);
    return (TRV_T_UTIME)trv_elapsed_ms(&trv_priv(run)->run_start, &now);
}
TRV_T_UTIME trv_getwtime(TRV_T_RUNCTX *run) { return trv_getevtdate(run); }
void trv_sleep(TRV_T_UTIME milliseconds) { trv_pause(milliseconds); }
void trv_rio_on(TRV_T_RUNCTX *run) { (void)run; }
void trv_rio_off(TRV_T_RUNCTX *run) { (void)run; }
void trv_evt(TRV_T_RUNCTX *run, TRV_T_INT type_number, TRV_T_INT channel_number, TRV_T_INT kind,
             const char *text)
{
    (void)channel_number; (void)kind; (void)text; TRV_PENDING(run, type_number);
}
void trv_endevt(TRV_T_RUNCTX *run, TRV_T_INT end_number) { TRV_PENDING(run, end_number); }
void trv_def_msg(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
TRV_T_INT trv_cmp(TRV_T_RUNCTX *run) { TRV_PENDING(run, -1); return 0; }
void trv_message_state(TRV_T_RUNCTX *run, TRV_T_INT number, size_t size) { (void)size; TRV_PENDING(run, number); }
void trv_msgdate(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
void trv_nomsg(TRV_T_RUNCTX *run, TRV_T_INT number) { TRV_PENDING(run, number); }
void trv_send(TRV_T_RUNCTX *run, TRV_T_INT number, const char *message)
{
    (void)message; trv_pending_run = run; TRV_PENDING(run, number);
}
void trv_end_send(TRV_T_RUNCTX *run, TRV_T_INT failed, TRV_T_INT end_number)
{
    (void)failed; TRV_PENDING(run, end_number);
}
void trv_brdv(TRV_T_RUNCTX *run, TRV_T_INT number, const char *name)
{
    (void)name; trv_pending_run = run; TRV_PENDING(run, number);
}
TRV_T_INT trv_rdv(const char *name) { (void)name; trv_pending_free(__func__); return 1; }
void trv_ardv(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT failed, const char *name)
{
    (void)failed; (void)name; TRV_PENDING(run, number);
}
TRV_T_INT trv_intersend(TRV_T_RUNCTX *run, const char *message, const char *destination)
{
    (void)message; (void)destination; TRV_PENDING(run, -1); return 1;
}
void trv_isend(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT failed, const char *message,
               const char *destination)
{
    (void)failed; (void)message; (void)destination; TRV_PENDING(run, number);
}
void trv_irecv(TRV_T_RUNCTX *run, TRV_T_INT number) { trv_pending_run = run; TRV_PENDING(run, number); }
TRV_T_INT priv_interrecv(TRV_T_INT *socket_fd, TRV_T_INT timeout, char *buffer, TRV_T_INT size, char **emitter,
                         char **info)
{
    (void)socket_fd; (void)timeout; (void)buffer; (void)size; (void)emitter; (void)info;
    trv_pending_free(__func__);
    return 1;
}
void trv_end_irecv(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT result, const char *emitter, const char *info)
{
    (void)result; (void)emitter; (void)info; TRV_PENDING(run, number);
}
void trv_send_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id) { (void)run; (void)element; (void)file_id; }
void trv_begin_waittil_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id)
{
    (void)run; (void)element; (void)file_id;
}
void trv_waittil_tsf(TRV_T_RUNCTX *run, const char *message_type, TRV_T_INT element, TRV_T_INT file_id)
{
    (void)run; (void)message_type; (void)element; (void)file_id;
}
void trv_end_waittil_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, TRV_T_INT result)
{
    (void)run; (void)element; (void)file_id; (void)result;
}
void trv_rdv_reached_tsf(TRV_T_RUNCTX *run, TRV_T_INT reached, TRV_T_INT element, TRV_T_INT file_id)
{
    (void)run; (void)reached; (void)element; (void)file_id;
}
void trv_intersend_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, const char *destination)
{
    (void)run; (void)element; (void)file_id; (void)destination;
}
void trv_interrecv_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, const char *info,
                       const char *emitter)
{
    (void)run; (void)element; (void)file_id; (void)info; (void)emitter;
}

TRV_T_INT trv_channel_open(const char *channel) { (void)channel; trv_pending_free(__func__); return -1; }
void trv_channel_close(TRV_T_INT channel_id) { (void)channel_id; }
TRV_T_INT trv_channel_send(TRV_T_INT channel_id, TRV_T_INT type, const void *data, size_t size)
{
    (void)channel_id; (void)type; (void)data; (void)size; trv_pending_free(__func__); return 1;
}
TRV_T_INT trv_channel_receive(TRV_T_INT channel_id, TRV_T_INT *type, void *buffer, size_t size)
{
    (void)channel_id; (void)type; (void)buffer; (void)size; trv_pending_free(__func__); return 1;
}
TRV_T_INT trv_pollevt(const TRV_T_INT *ids, TRV_T_INT count) { (void)ids; (void)count; trv_pending_free(__func__); return 0; }
void trv_sut_register(const char *channel, TRV_T_SUT_HANDLER handler, void *user)
{
    (void)channel; (void)handler; (void)user;
}
TRV_T_INT trv_sut_answer(const char *channel, TRV_T_INT type, const void *data, size_t size, TRV_T_UTIME delay)
{
    (void)channel; (void)type; (void)data; (void)size; (void)delay; trv_pending_free(__func__); return 1;
}
TRV_T_INT trv_sut_answer_raw(const char *channel, const void *bytes, size_t size, TRV_T_UTIME delay)
{
    (void)channel; (void)bytes; (void)size; (void)delay; trv_pending_free(__func__); return 1;
}
void trv_sut_close(const char *channel, TRV_T_UTIME delay) { (void)channel; (void)delay; trv_pending_free(__func__); }
