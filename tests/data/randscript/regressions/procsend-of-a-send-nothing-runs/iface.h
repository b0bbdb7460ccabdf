#ifndef RS_IFACE_H
union offset_u_11_s {
};
typedef struct load_t_12_s {
} load_t_12;
union period_u_13_s {
};
typedef struct {
    char pulse[13];
} seq_msg_t_14;
typedef struct {
    struct {
        struct {
        };
    } amps;
} grade_msg_t_19;
typedef long port_t_54;
typedef long sock_t_59;
int rs_send_0_ct_53(port_t_54 id, const seq_msg_t_14 *msg);
#endif /* RS_IFACE_H */
