/* Interface of a reduced random case. */
#ifndef IFACE_H
#define IFACE_H

typedef int link_t;
typedef struct { int code; const char *label; } order_t;
int rs_send(link_t id, const order_t *msg);

#endif /* IFACE_H */
