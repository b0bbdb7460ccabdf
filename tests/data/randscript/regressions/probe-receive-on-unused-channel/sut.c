/* Simulated system under test of a generated test case: every variable and
 * function of its interface, with simple bodies. */
#include <string.h>
#include "iface.h"

enum delay_e_6 g_hour_18;

enum delay_e_6 g_status_19;

delay_t_4 g_load_20;

unit_msg_t_15 g_unit_21;

delay_t_4 g_rate_22;

const char *g_seq_23 = "delay";

char g_zone_24[7];

retry_msg_t_17 g_rate_25;

delay_t_4 g_retry_26;

delay_t_4 g_count_27;

phase_u_13 g_load_28;

volt_fn_11 g_crc_29;

void fn_unit_30(char seq_31, ...)
{
    (void)seq_31;
}

void fn_temp_32(delay_t_4 grade_33)
{
    (void)grade_33;
}

const char *fn_step_34(void)
{
    return (const char *)"ok";
}

short fn_period_35(int step_36, float grade_37, double step_38, delay_t_4 *color_39)
{
    (void)step_36;
    (void)grade_37;
    (void)step_38;
    (void)color_39;
    return 0;
}

int rs_recv_0_ct_43(link_t_44 id, unit_msg_t_15 *out)
{
    static int polls;
    (void)id;
    if (++polls % 2 == 0) {
        return 0;
    }
    memset(out, 0, sizeof *out);
    return 1;
}

int rs_poll_0_ct_43(link_t_44 *ids, int count, unit_msg_t_15 *out)
{
    static int polls;
    (void)ids;
    (void)count;
    if (++polls % 2 == 0) {
        return 0;
    }
    memset(out, 0, sizeof *out);
    return 1;
}

int rs_send_0_ct_43(link_t_44 id, const unit_msg_t_15 *msg)
{
    (void)id;
    (void)msg;
    return 0;
}

int rs_recv_0_ct_49(link_t_50 id, unit_msg_t_15 *out)
{
    static int polls;
    (void)id;
    if (++polls % 2 == 0) {
        return 0;
    }
    memset(out, 0, sizeof *out);
    return 1;
}

int rs_poll_0_ct_49(link_t_50 *ids, int count, unit_msg_t_15 *out)
{
    static int polls;
    (void)ids;
    (void)count;
    if (++polls % 2 == 0) {
        return 0;
    }
    memset(out, 0, sizeof *out);
    return 1;
}

int rs_send_0_ct_49(link_t_50 id, const unit_msg_t_15 *msg)
{
    (void)id;
    (void)msg;
    return 0;
}

int rs_recv_1_ct_43(link_t_44 id, retry_msg_t_17 *out)
{
    static int polls;
    (void)id;
    if (++polls % 2 == 0) {
        return 0;
    }
    memset(out, 0, sizeof *out);
    return 1;
}

int rs_poll_1_ct_43(link_t_44 *ids, int count, retry_msg_t_17 *out)
{
    static int polls;
    (void)ids;
    (void)count;
    if (++polls % 2 == 0) {
        return 0;
    }
    memset(out, 0, sizeof *out);
    return 1;
}

int rs_send_1_ct_43(link_t_44 id, const retry_msg_t_17 *msg)
{
    (void)id;
    (void)msg;
    return 0;
}

int rs_recv_1_ct_49(link_t_50 id, retry_msg_t_17 *out)
{
    static int polls;
    (void)id;
    if (++polls % 2 == 0) {
        return 0;
    }
    memset(out, 0, sizeof *out);
    return 1;
}

int rs_poll_1_ct_49(link_t_50 *ids, int count, retry_msg_t_17 *out)
{
    static int polls;
    (void)ids;
    (void)count;
    if (++polls % 2 == 0) {
        return 0;
    }
    memset(out, 0, sizeof *out);
    return 1;
}

int rs_send_1_ct_49(link_t_50 id, const retry_msg_t_17 *msg)
{
    (void)id;
    (void)msg;
    return 0;
}
