/* Simulated system under test of a reduced random case. */
#include <string.h>
#include "iface.h"

point_t read_position(void)
{
    point_t p;
    memset(&p, 0, sizeof p);
    return p;
}
