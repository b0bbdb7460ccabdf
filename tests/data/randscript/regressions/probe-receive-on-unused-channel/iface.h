/* Random interface of a generated test case. */
#ifndef RS_IFACE_H
#define RS_IFACE_H


#define K_LEVEL_1 16
#define K_IDENT_2 16
#define K_LEVEL_3 10
typedef short delay_t_4;
enum delay_e_6 { DOOR_5_A = 0, DOOR_5_B = 16, DOOR_5_C = 17 };
typedef enum { STATE_7_A = 10, STATE_7_B = 26, STATE_7_C = 27, STATE_7_D = 28 } grade_e_8;
typedef enum { SLOT_9_A = 0, SLOT_9_B = 1, SLOT_9_C = 2, SLOT_9_D = 4, SLOT_9_E = 20, SLOT_9_F = 22 } step_e_10;
typedef void (*volt_fn_11)(void *, int);
typedef struct {
    enum delay_e_6 angle;
    unsigned int delay;
    delay_t_4 gain;
} color_t_12;
typedef union {
    char zone;
    short limit;
    delay_t_4 code;
} phase_u_13;
typedef struct period_t_14_s {
    double zone;
    unsigned int volt;
} period_t_14;
typedef struct {
    char retry[8];
    char pulse[6];
    int flags : 7;
    period_t_14 owner;
} unit_msg_t_15;
typedef struct {
    delay_t_4 amps;
    char crc[13];
    delay_t_4 step;
    unsigned char kind;
    char index[23];
} angle_t_16;
struct retry_msg_t_17_s {
    unsigned char gain[13];
    char *code;
    angle_t_16 port[2];
    unsigned char period[2];
    enum delay_e_6 zone;
    union {
        double color;
        unsigned short length;
    } pulse;
    union {
        unit_msg_t_15 weight;
        unsigned long hour[2][3];
    } length;
};
typedef struct retry_msg_t_17_s retry_msg_t_17;
typedef long link_t_44;
typedef retry_msg_t_17 *link_t_50;

extern enum delay_e_6 g_hour_18;
extern enum delay_e_6 g_status_19;
extern delay_t_4 g_load_20;
extern unit_msg_t_15 g_unit_21;
extern delay_t_4 g_rate_22;
extern const char *g_seq_23;
extern char g_zone_24[7];
extern retry_msg_t_17 g_rate_25;
extern delay_t_4 g_retry_26;
extern delay_t_4 g_count_27;
extern phase_u_13 g_load_28;
extern volt_fn_11 g_crc_29;

void fn_unit_30(char seq_31, ...);
void fn_temp_32(delay_t_4 grade_33);
const char *fn_step_34(void);
short fn_period_35(int step_36, float grade_37, double step_38, delay_t_4 *color_39);
int rs_recv_0_ct_43(link_t_44 id, unit_msg_t_15 *out);
int rs_poll_0_ct_43(link_t_44 *ids, int count, unit_msg_t_15 *out);
int rs_send_0_ct_43(link_t_44 id, const unit_msg_t_15 *msg);
int rs_recv_0_ct_49(link_t_50 id, unit_msg_t_15 *out);
int rs_poll_0_ct_49(link_t_50 *ids, int count, unit_msg_t_15 *out);
int rs_send_0_ct_49(link_t_50 id, const unit_msg_t_15 *msg);
int rs_recv_1_ct_43(link_t_44 id, retry_msg_t_17 *out);
int rs_poll_1_ct_43(link_t_44 *ids, int count, retry_msg_t_17 *out);
int rs_send_1_ct_43(link_t_44 id, const retry_msg_t_17 *msg);
int rs_recv_1_ct_49(link_t_50 id, retry_msg_t_17 *out);
int rs_poll_1_ct_49(link_t_50 *ids, int count, retry_msg_t_17 *out);
int rs_send_1_ct_49(link_t_50 id, const retry_msg_t_17 *msg);

#endif /* RS_IFACE_H */
