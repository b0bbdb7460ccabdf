/* Interface of a reduced random case. */
#ifndef IFACE_H
#define IFACE_H

typedef int link_t;
typedef struct { int speed; int state; } status_t;

#endif /* IFACE_H */
