/* Simulated system under test of a reduced random case. */
#include <string.h>
#include "iface.h"

void psd_status_t_Init(psd_status_t *current, int id)
{
    (void)id;
    memset(current, 0, sizeof *current);
}
