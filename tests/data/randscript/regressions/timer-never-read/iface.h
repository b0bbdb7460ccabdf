/* Interface of a reduced random case. */
#ifndef IFACE_H
#define IFACE_H

int bench_reset(void);

#endif /* IFACE_H */
