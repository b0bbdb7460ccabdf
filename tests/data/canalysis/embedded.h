/* Interface of a train door controller: messages exchanged with the
   supervision unit, configuration tables and the driver's functions. */
#ifndef DOOR_IF_H
#define DOOR_IF_H

#define MAX_DOORS 8
#define MSG_BASE 0x40
#define NAME_LEN (16 + 1)

typedef unsigned char  u8;
typedef unsigned short u16;
typedef unsigned long  u32;
typedef u8 door_id_t;
typedef door_id_t side_door_t;

typedef enum {
    DOOR_CLOSED,
    DOOR_OPENING,
    DOOR_OPEN = 4,
    DOOR_CLOSING,
    DOOR_FAULT = DOOR_OPEN * 2
} door_state_t;

enum msg_kind {
    MSG_STATUS = MSG_BASE,
    MSG_COMMAND,
    MSG_ALARM = MSG_BASE + 0x10
};

typedef struct {
    u16 length;
    u8  kind;
    u8  seq : 4;
    u8  prio : 3;
    u8  : 1;
} msg_header_t;

struct door_status {
    door_id_t    id;
    door_state_t state;
    u16          position_mm;
    union {
        u32 raw;
        struct {
            u16 code;
            u16 detail;
        } fault;
    } info;
};

typedef struct {
    msg_header_t       header;
    u8                 count;
    struct door_status doors[MAX_DOORS];
} status_msg_t;

typedef struct command_msg {
    msg_header_t header;
    side_door_t  target;
    enum { CMD_OPEN = 1, CMD_CLOSE, CMD_RESET } action;
    char         operator_name[NAME_LEN];
} command_msg_t;

typedef void (*msg_handler_t)(const void *msg, u16 length);
typedef int (*door_filter_t)(door_id_t id, door_state_t state);

extern status_msg_t last_status;
extern const char *const door_names[MAX_DOORS];
extern volatile u32 tick_count;

int  door_register_handler(enum msg_kind kind, msg_handler_t handler);
void door_for_each(door_filter_t filter, void (*visit)(struct door_status *status, void *context),
                   void *context);
int  door_send(const command_msg_t *command);
door_state_t door_state(door_id_t id);
u8  *door_buffer(u16 *size);
int  door_log(const char *format, ...);

#endif
