enum _unamedStruct1 {
DOOR_CLOSED = 0,
DOOR_OPENING = 1,
DOOR_OPEN = 4,
DOOR_CLOSING = 4+1,
DOOR_FAULT = DOOR_OPEN * 2}
enum msg_kind {
MSG_STATUS = 0x40,
MSG_COMMAND = 0x40+1,
MSG_ALARM = 0x40 + 0x10}
struct _unamedStruct2 {
	u16 length;
	u8 kind;
	u8 seq : 4;
	u8 prio : 3;
	u8 : 1;
}
struct _unamedStruct3 {
	u16 code;
	u16 detail;
}
union _unamedStruct4 {
	u32 raw;
	struct _unamedStruct3 fault;
}
struct door_status {
	door_id_t id;
	door_state_t state;
	u16 position_mm;
	union _unamedStruct4 info;
}
struct _unamedStruct5 {
	msg_header_t header;
	u8 count;
	struct door_status doors[8];
}
enum _unamedStruct6 {
CMD_OPEN = 1,
CMD_CLOSE = 1+1,
CMD_RESET = 1+2}
struct command_msg {
	msg_header_t header;
	side_door_t target;
	enum _unamedStruct6 action;
	char operator_name[(16 + 1)];
}
typedef unsigned char u8;
typedef unsigned short u16;
typedef unsigned long u32;
typedef u8 door_id_t;
typedef door_id_t side_door_t;
typedef enum _unamedStruct1 door_state_t;
typedef struct _unamedStruct2 msg_header_t;
typedef struct _unamedStruct5 status_msg_t;
typedef struct command_msg command_msg_t;
typedef void (*msg_handler_t)(const void *msg, u16 length);
typedef int (*door_filter_t)(door_id_t id, door_state_t state);
extern status_msg_t last_status;
extern const char *const door_names[8];
extern volatile u32 tick_count;
int door_register_handler(enum msg_kind kind, msg_handler_t handler);
void door_for_each(door_filter_t filter, void (*visit)(struct door_status *status, void *context), void *context);
int door_send(const command_msg_t *command);
door_state_t door_state(door_id_t id);
u8 *door_buffer(u16 *size);
int door_log(const char *format, ...);
