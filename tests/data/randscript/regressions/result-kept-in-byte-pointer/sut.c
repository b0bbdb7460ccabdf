/* Simulated system under test of a reduced random case. */
#include <string.h>
#include "iface.h"

unsigned char *frame_bytes(void)
{
    static unsigned char bytes[4] = {1, 2, 3, 4};
    return bytes;
}
