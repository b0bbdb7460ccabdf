/*
 * Door control unit (DCU) of a suburban train car: the interface that the
 * DCU software exports to the train control network and to the test bench.
 *
 * The DCU drives the eight passenger doors of one car. The train control
 * system sends commands (release, open, close, lock, isolate) over an
 * Ethernet link; the DCU answers with status messages and raises fault
 * messages on the multifunction vehicle bus (MVB).
 */
#ifndef DCU_INTERFACE_H
#define DCU_INTERFACE_H

#include "dcu_types.h"

/* ------------------------------------------------------------------ */
/* Limits and timing                                                   */
/* ------------------------------------------------------------------ */

#define DCU_MAX_DOORS          8
#define DCU_NAME_LEN           16
#define DCU_FAULT_TEXT_LEN     24
#define DCU_MAX_SPEED_RELEASE  5      /* km/h: doors may be released below this */
#define DCU_OPEN_TIME_MS       2500
#define DCU_CLOSE_TIME_MS      3500
#define DCU_STATUS_PERIOD_MS   100
#define DCU_OBSTACLE_FORCE_N   150
#define DCU_ALL_DOORS          0xFF
#define DCU_LEFT_DOORS         0x0F
#define DCU_RIGHT_DOORS        0xF0

/* Return codes of the DCU services */
#define DCU_OK                 0
#define DCU_E_BUSY             (-1)
#define DCU_E_SPEED            (-2)
#define DCU_E_ISOLATED         (-3)
#define DCU_E_TIMEOUT          (-4)

/* Message identifiers */
#define DCU_MSG_COMMAND        0x0101
#define DCU_MSG_STATUS         0x0201
#define DCU_MSG_FAULT          0x0301
#define DCU_MSG_HEARTBEAT      0x0401

/* ------------------------------------------------------------------ */
/* Enumerations                                                        */
/* ------------------------------------------------------------------ */

typedef enum {
    DOOR_CLOSED_LOCKED = 0,
    DOOR_CLOSED,
    DOOR_OPENING,
    DOOR_OPEN,
    DOOR_CLOSING,
    DOOR_OBSTRUCTED,
    DOOR_ISOLATED = 0x10
} dcu_door_state_t;

typedef enum {
    CMD_RELEASE = 1,
    CMD_OPEN,
    CMD_CLOSE,
    CMD_LOCK,
    CMD_ISOLATE,
    CMD_RESET
} dcu_command_code_t;

typedef enum { SIDE_LEFT = 0, SIDE_RIGHT = 1, SIDE_BOTH = 2 } dcu_side_t;

typedef enum {
    FAULT_NONE = 0,
    FAULT_OBSTACLE,
    FAULT_POSITION,
    FAULT_MOTOR_CURRENT,
    FAULT_LOCK_SWITCH,
    FAULT_COMMUNICATION
} dcu_fault_code_t;

/* ------------------------------------------------------------------ */
/* Connections                                                         */
/* ------------------------------------------------------------------ */

typedef int dcu_socket_t;                 /* Ethernet link to the DCU */

typedef struct {
    dcu_u8  port;                         /* MVB port number */
    dcu_u16 device_address;
} dcu_bus_port_t;

typedef dcu_bus_port_t *dcu_bus_handle_t; /* one MVB port, opened */

/* ------------------------------------------------------------------ */
/* Messages                                                            */
/* ------------------------------------------------------------------ */

typedef struct {
    dcu_u16 msg_id;
    dcu_u16 length;
    dcu_u32 sequence;
} dcu_msg_header_t;

/* Per-door flags, as packed in the status telegram */
typedef struct {
    unsigned int released  : 1;
    unsigned int obstacle  : 1;
    unsigned int emergency : 1;
    unsigned int isolated  : 1;
    unsigned int lock_ok   : 1;
    unsigned int spare     : 3;
} dcu_door_flags_t;

/* Command from the train control system to the DCU */
typedef struct {
    dcu_msg_header_t   header;
    dcu_command_code_t code;
    dcu_side_t         side;
    dcu_u8             door_mask;         /* bit n selects door n + 1 */
    union {
        struct {
            dcu_u8  speed_kmh;            /* train speed at release */
            dcu_u8  platform_length;      /* in cars */
        } release;
        struct {
            dcu_u16 force_limit_n;
            dcu_u16 reopen_delay_ms;
            dcu_bool warn_passengers;
        } close;
        dcu_u32 isolation_code;
    } param;
} dcu_command_msg_t;

typedef struct {
    dcu_door_id      door;
    dcu_door_state_t state;
    dcu_door_flags_t flags;
    dcu_u16          position_mm;         /* 0 closed .. 1300 fully open */
    dcu_s16          motor_current_ma;
} dcu_door_status_t;

/* Cyclic status of the whole car, every DCU_STATUS_PERIOD_MS */
typedef struct {
    dcu_msg_header_t  header;
    dcu_u8            door_count;
    dcu_door_status_t doors[DCU_MAX_DOORS];
    dcu_u16           speed_kmh;
    dcu_timestamp     sent_at;
    char              unit_name[DCU_NAME_LEN];
} dcu_status_msg_t;

/* Fault raised on the vehicle bus */
typedef struct {
    dcu_msg_header_t header;
    dcu_fault_code_t code;
    dcu_door_id      door;
    union {
        dcu_u16 obstacle_force_n;
        struct {
            dcu_s16 expected_mm;
            dcu_s16 measured_mm;
        } position;
        dcu_s16 motor_current_ma;
        char text[DCU_FAULT_TEXT_LEN];
    } detail;
    dcu_timestamp raised_at;
} dcu_fault_msg_t;

/* Life sign of the DCU on the diagnostic link */
typedef struct {
    dcu_msg_header_t header;
    dcu_u32          uptime_s;
    dcu_u8           cpu_load_percent;
    dcu_u16          software_version[3];
} dcu_heartbeat_msg_t;

/* ------------------------------------------------------------------ */
/* Data exported by the DCU                                            */
/* ------------------------------------------------------------------ */

extern dcu_status_msg_t  dcu_last_status;
extern dcu_u32           dcu_cycle_count;
extern dcu_u16           dcu_door_cycles[DCU_MAX_DOORS];
extern const char       *dcu_software_version;
extern char              dcu_unit_name[DCU_NAME_LEN];
extern double            dcu_supply_voltage;
extern dcu_door_state_t  dcu_requested_state;
extern dcu_bus_port_t    dcu_mvb_ports[2];

/* ------------------------------------------------------------------ */
/* Services                                                            */
/* ------------------------------------------------------------------ */

/* Life cycle of the DCU software on the test bench */
int  dcu_init(const char *config_file);
void dcu_shutdown(void);
int  dcu_reset_faults(void);
long dcu_uptime_ms(void);

/* Door commands, as the train control system would give them */
int  dcu_release_doors(dcu_side_t side, dcu_u8 speed_kmh);
int  dcu_open_doors(dcu_side_t side, dcu_u8 door_mask);
int  dcu_close_doors(dcu_side_t side, dcu_u8 door_mask);
int  dcu_isolate_door(dcu_door_id door, dcu_u32 isolation_code);

/* Door state */
dcu_door_state_t dcu_door_state(dcu_door_id door);
dcu_u16 dcu_door_position(dcu_door_id door);
int  dcu_get_status(dcu_status_msg_t *status);
int  dcu_decode_status(const void *raw, dcu_u32 length, dcu_status_msg_t *status);
double dcu_motor_temperature(dcu_door_id door);

/* Test bench stimuli */
int  dcu_inject_obstacle(dcu_door_id door, dcu_u16 force_n);
int  dcu_remove_obstacle(dcu_door_id door);
void dcu_set_train_speed(dcu_u16 speed_kmh);
int  dcu_log(const char *format, ...);

/* Transport on the Ethernet link */
dcu_socket_t dcu_connect(const char *host, int port);
int  dcu_disconnect(dcu_socket_t link);
int  dcu_send(dcu_socket_t link, const void *buffer, dcu_u32 length);
int  dcu_receive(dcu_socket_t link, void *buffer, dcu_u32 size, dcu_millis timeout_ms);

/* Transport on the vehicle bus */
dcu_bus_handle_t dcu_bus_open(dcu_u8 port, dcu_u16 device_address);
int  dcu_bus_poll(dcu_bus_handle_t ports[], int count, dcu_fault_msg_t *fault);

#endif /* DCU_INTERFACE_H */
