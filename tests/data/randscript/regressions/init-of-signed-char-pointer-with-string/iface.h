/* Random interface of a generated test case. */
#ifndef RS_IFACE_H
#define RS_IFACE_H


#define K_HOUR_1 8
#define K_SPEED_2 250
#define K_MINS_3 4
#define K_SPEED_4 1
typedef signed char count_t_5;
typedef count_t_5 torque_t_6;
typedef enum { PULSE_7_A = 0, PULSE_7_B = 16, PULSE_7_C = 17 } gain_e_8;
typedef enum { MODE_9_A = 1, MODE_9_B = 2, MODE_9_C = 3, MODE_9_D = 4 } crc_e_10;
struct slot_t_11_s {
    struct {
        double *pulse;
        char zone[18];
        const char *level;
        double *mins;
    } delay;
    unsigned int zone : 7;
};
typedef struct slot_t_11_s slot_t_11;
union mask_u_12_s {
    char state[21];
    char angle[9];
};
typedef union mask_u_12_s mask_u_12;
typedef struct {
    const char *color;
    float pulse;
    mask_u_12 grade;
    char torque[21];
    long door;
} step_t_13;
typedef union {
    int axis;
    slot_t_11 *delay;
    torque_t_6 grade;
    double status;
} period_u_14;
typedef struct {
    count_t_5 *mins;
    torque_t_6 weight;
    torque_t_6 load[5];
    period_u_14 mask;
} limit_msg_t_15;

extern gain_e_8 g_volt_16;
extern limit_msg_t_15 g_door_17;
extern char *g_weight_18;
extern char g_phase_19[12];
extern char *g_kind_20;
extern double g_level_21;
extern count_t_5 g_value_22[2];
extern float g_speed_23;
extern torque_t_6 g_slot_24[4];
extern count_t_5 g_mode_25;
extern const gain_e_8 g_offset_26;
extern short *g_weight_27;

count_t_5 fn_flags_28(void);
unsigned short fn_angle_29(void);
void fn_slot_30(const limit_msg_t_15 *delay_31, torque_t_6 slot_32, crc_e_10 pulse_33, unsigned short rate_34);
count_t_5 fn_flags_35(double temp_36);
int limit_msg_t_15_Init(limit_msg_t_15 *current, int fd);

#endif /* RS_IFACE_H */
