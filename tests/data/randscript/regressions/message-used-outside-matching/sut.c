/* Simulated system under test of a reduced random case. */
#include <string.h>
#include "iface.h"


