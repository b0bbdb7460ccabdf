/* The relay test's system under test: RELAY_TYPO makes the script send to
 * a name that is no tester. */
#include "relay.h"
#include <stdlib.h>
int relay_round(void) { return 1; }
int relay_typo(void) { return getenv("RELAY_TYPO") != NULL; }
