// Compiled by the tests, never linked: a report naming a code that is in no
// catalog must not compile, and the same report spelt right must.
#include "diag/i18nerrgest.h"

void reportsUnexpectedEnd()
{
#ifdef QVM_MISSPELT_CODE
    qvm::diag::errorAt("UNEXPTEFO");
#else
    qvm::diag::errorAt("UNEXPTEOF");
#endif
}
