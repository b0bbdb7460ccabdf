/* Interface of a reduced random case. */
#ifndef IFACE_H
#define IFACE_H

unsigned char *frame_bytes(void);

#endif /* IFACE_H */
