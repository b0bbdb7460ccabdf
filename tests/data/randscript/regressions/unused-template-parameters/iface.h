/* Interface of a reduced random case. */
#ifndef IFACE_H
#define IFACE_H

typedef int link_t;
typedef struct {
    int code;
    union { int count; double level; } data;
} report_t;
int rs_recv(link_t id, report_t *out);

#endif /* IFACE_H */
