/* Interface of a reduced random case. */
#ifndef IFACE_H
#define IFACE_H

extern unsigned char *frame_bytes;

#endif /* IFACE_H */
