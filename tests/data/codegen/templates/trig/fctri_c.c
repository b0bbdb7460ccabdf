#include "ccst.h"
#include "tarvo_c.h"

void lamp_event_t_Init DP ((current,id)) BP
   lamp_event_t *current SP /* structure to initialize */
   T_ENTIER id EP /* id of connection */
 {
  /* call to the read event function */
 }
void fault_t_Init DP ((current,id)) BP
   fault_t *current SP /* structure to initialize */
   T_ENTIER id EP /* id of connection */
 {
  /* call to the read event function */
 }
