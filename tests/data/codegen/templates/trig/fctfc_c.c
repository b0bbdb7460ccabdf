#include "ccst.h"
#include "tarvo_c.h"

