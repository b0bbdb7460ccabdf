typedef struct { int lamp; int on; } lamp_event_t;
typedef struct { int code; } fault_t;
int lamp_switch(int lamp);
void lamp_event_t_Init(lamp_event_t *current, int id);
void fault_t_Init(fault_t *current, int id);
