#include "ccst.h"
#include "tarvo_c.h"

void psd_status_t_Init DP ((current,id)) BP
   psd_status_t *current SP /* structure to initialize */
   T_ENTIER id EP /* id of connection */
 {
  /* call to the read event function */
 }
void psd_alarm_t_Init DP ((current,id)) BP
   psd_alarm_t *current SP /* structure to initialize */
   T_ENTIER id EP /* id of connection */
 {
  /* call to the read event function */
 }
