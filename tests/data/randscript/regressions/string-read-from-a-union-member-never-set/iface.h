#ifndef RS_IFACE_H
typedef union {
} level_u_18;
typedef struct unit_msg_t_19_s {
    const char *index;
    unsigned char limit;
    union {
        double ident;
        const char *delay;
    } mask;
    double gain[8];
} unit_msg_t_19;
typedef long handle_t_56;
int rs_send_0_ct_55(handle_t_56 id, const unit_msg_t_19 *msg);
#endif /* RS_IFACE_H */
