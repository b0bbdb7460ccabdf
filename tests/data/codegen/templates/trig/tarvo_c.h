#include "trig.h"
typedef int T_ENTIER;
#define CONST
#define PP(ARGS) ()
#define DP(ARGS) ARGS
#define SP ;
#define EP ;
#define BP
#define VOID
void lamp_event_t_Init PP ((lamp_event_t *current,T_ENTIER id));

void fault_t_Init PP ((fault_t *current,T_ENTIER id));

