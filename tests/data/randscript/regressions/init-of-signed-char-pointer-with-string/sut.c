/* Simulated system under test of a generated test case: every variable and
 * function of its interface, with simple bodies. */
#include <string.h>
#include "iface.h"

gain_e_8 g_volt_16;

limit_msg_t_15 g_door_17;

char *g_weight_18 = "retry";

char g_phase_19[12];

char *g_kind_20 = "index";

double g_level_21;

count_t_5 g_value_22[2];

float g_speed_23;

torque_t_6 g_slot_24[4];

count_t_5 g_mode_25;

const gain_e_8 g_offset_26 = PULSE_7_A;

static short store_65;
short *g_weight_27 = &store_65;

count_t_5 fn_flags_28(void)
{
    return 0;
}

unsigned short fn_angle_29(void)
{
    return 0;
}

void fn_slot_30(const limit_msg_t_15 *delay_31, torque_t_6 slot_32, crc_e_10 pulse_33, unsigned short rate_34)
{
    (void)delay_31;
    (void)slot_32;
    (void)pulse_33;
    (void)rate_34;
}

count_t_5 fn_flags_35(double temp_36)
{
    (void)temp_36;
    return 0;
}

int limit_msg_t_15_Init(limit_msg_t_15 *current, int fd)
{
    (void)current;
    (void)fd;
    return 0;
}
