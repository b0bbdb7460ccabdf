/*
 * ccst.h: what the function files of a TRIGGER script (fctri_c, fctfc_c)
 * include before the generated header tarvo_c.h: the runtime's types and
 * its channel functions, through which the <structure>_Init functions read
 * their telegrams.
 */
#ifndef QVM_CCST_H
#define QVM_CCST_H

#include "TP.h"

#endif /* QVM_CCST_H */
