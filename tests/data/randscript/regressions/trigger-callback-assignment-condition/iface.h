/* Interface of a reduced random case. */
#ifndef IFACE_H
#define IFACE_H

typedef struct { int state; int panel; } psd_status_t;
void psd_status_t_Init(psd_status_t *current, int id);

#endif /* IFACE_H */
