#include "platform_doors.h"
typedef int T_ENTIER;
#define CONST
#define PP(ARGS) ()
#define DP(ARGS) ARGS
#define SP ;
#define EP ;
#define BP
#define VOID
void psd_status_t_Init PP ((psd_status_t *current,T_ENTIER id));

void psd_alarm_t_Init PP ((psd_alarm_t *current,T_ENTIER id));

