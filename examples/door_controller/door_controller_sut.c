/*
 * Simulated door control unit (DCU) with its test bench, for
 * door_controller.pts. Eight doors move on a monotonic clock (faster than
 * the real ones: a door opens in OPEN_MOVE_MS and closes in CLOSE_MOVE_MS);
 * a closed door locks itself. An obstacle of DCU_OBSTACLE_FORCE_N or more
 * stops a closing door and raises a fault on the vehicle bus, a weaker one
 * holds it in DOOR_CLOSING. The command link answers with a status
 * telegram at least every DCU_STATUS_PERIOD_MS and after each command; the
 * diagnostic link gives a heartbeat every HEARTBEAT_PERIOD_MS. The
 * exported dcu_last_status follows every status sent and every change that
 * a service or a fault makes.
 */
#define _POSIX_C_SOURCE 199309L
#include "door_controller.h"
#include "../sut_log.h"

#include <string.h>
#include <time.h>

#define OPEN_MOVE_MS 250
#define CLOSE_MOVE_MS 300
#define FULLY_OPEN_MM 1300
#define OBSTACLE_AT_MM 400
#define ISOLATED_GAP_MM 12
#define HEARTBEAT_PERIOD_MS 500
#define FAULT_QUEUE 16
#define FIRST_SOCKET 40
#define BENCH_BATTERY_V 110.0

dcu_status_msg_t dcu_last_status;
dcu_u32 dcu_cycle_count;
dcu_u16 dcu_door_cycles[DCU_MAX_DOORS];
const char *dcu_software_version = "2.3.7";
char dcu_unit_name[DCU_NAME_LEN];
double dcu_supply_voltage;
dcu_door_state_t dcu_requested_state = DOOR_CLOSED_LOCKED;
dcu_bus_port_t dcu_mvb_ports[2] = {{1, 0}, {2, 0}};
char bench_rx_buffer[1024];

static struct door {
    dcu_door_state_t state;
    dcu_door_flags_t flags;
    double position_mm;
    long moved_at_ms;
    dcu_u16 obstacle_force_n;
} doors[DCU_MAX_DOORS + 1];

static long started_at_ms;
static dcu_u16 train_speed_kmh;
static dcu_u32 sequence;
static long status_sent_at_ms = -1;
static long heartbeat_sent_at_ms = -1;
static int status_due;
static dcu_socket_t command_link = -1, diag_link = -1;
static dcu_socket_t next_socket = FIRST_SOCKET;
static dcu_fault_msg_t faults[FAULT_QUEUE];
static int fault_count;

static long now_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static dcu_millis uptime_ms(void)
{
    return (dcu_millis)(now_ms() - started_at_ms);
}

/* Whole seconds, the first second counted. */
static dcu_u32 uptime_s(void)
{
    return uptime_ms() / 1000 + 1;
}

static int valid_door(dcu_door_id door)
{
    return door >= 1 && door <= DCU_MAX_DOORS;
}

static dcu_u8 side_mask(dcu_side_t side)
{
    return side == SIDE_LEFT ? DCU_LEFT_DOORS : side == SIDE_RIGHT ? DCU_RIGHT_DOORS : DCU_ALL_DOORS;
}

static void raise_fault(dcu_fault_code_t code, dcu_door_id door, dcu_fault_msg_t **fault)
{
    if (fault_count == FAULT_QUEUE) {
        memmove(faults, faults + 1, (FAULT_QUEUE - 1) * sizeof faults[0]);
        fault_count--;
    }
    *fault = &faults[fault_count++];
    memset(*fault, 0, sizeof **fault);
    (*fault)->header.msg_id = DCU_MSG_FAULT;
    (*fault)->header.length = sizeof(dcu_fault_msg_t);
    (*fault)->header.sequence = ++sequence;
    (*fault)->code = code;
    (*fault)->door = door;
    (*fault)->raised_at = uptime_ms();
}

static void start_moving(struct door *door, dcu_door_state_t state)
{
    door->state = state;
    door->moved_at_ms = now_ms();
    status_due = 1;
}

static void lock_closed(struct door *door)
{
    door->position_mm = 0;
    door->state = DOOR_CLOSED_LOCKED;
    door->flags.lock_ok = 1;
    door->flags.released = 0;
    status_due = 1;
}

static void advance_opening(struct door *door, dcu_door_id id, long elapsed)
{
    door->position_mm += (double)FULLY_OPEN_MM * elapsed / OPEN_MOVE_MS;
    if (door->position_mm >= FULLY_OPEN_MM) {
        door->position_mm = FULLY_OPEN_MM;
        door->state = DOOR_OPEN;
        dcu_door_cycles[id - 1]++;
        status_due = 1;
    }
}

static void advance_closing(struct door *door, dcu_door_id id, long elapsed)
{
    double next = door->position_mm - (double)FULLY_OPEN_MM * elapsed / CLOSE_MOVE_MS;
    if (door->obstacle_force_n != 0 && next <= OBSTACLE_AT_MM) {
        door->position_mm = door->position_mm > OBSTACLE_AT_MM ? OBSTACLE_AT_MM : door->position_mm;
        if (door->obstacle_force_n >= DCU_OBSTACLE_FORCE_N && door->state != DOOR_OBSTRUCTED) {
            dcu_fault_msg_t *fault;
            door->state = DOOR_OBSTRUCTED;
            door->flags.obstacle = 1;
            raise_fault(FAULT_OBSTACLE, id, &fault);
            fault->detail.obstacle_force_n = door->obstacle_force_n;
            status_due = 1;
        }
        return;
    }
    door->position_mm = next;
    if (door->position_mm <= 0) {
        lock_closed(door);
    }
}

/* Brings every door to where the clock says it is now. */
static void update_doors(void)
{
    long now = now_ms();
    for (dcu_door_id id = 1; id <= DCU_MAX_DOORS; id++) {
        struct door *door = &doors[id];
        long elapsed = now - door->moved_at_ms;
        if (door->state == DOOR_OPENING) {
            advance_opening(door, id, elapsed);
        } else if (door->state == DOOR_CLOSING) {
            advance_closing(door, id, elapsed);
        }
        door->moved_at_ms = now;
    }
}

static void fill_status(void)
{
    update_doors();
    dcu_status_msg_t *status = &dcu_last_status;
    memset(status, 0, sizeof *status);
    status->header.msg_id = DCU_MSG_STATUS;
    status->header.length = sizeof(dcu_status_msg_t);
    status->header.sequence = ++sequence;
    status->door_count = DCU_MAX_DOORS;
    for (dcu_door_id id = 1; id <= DCU_MAX_DOORS; id++) {
        dcu_door_status_t *door = &status->doors[id - 1];
        door->door = id;
        door->state = doors[id].state;
        door->flags = doors[id].flags;
        door->position_mm = (dcu_u16)(doors[id].position_mm + 0.5);
        door->motor_current_ma = (dcu_s16)(doors[id].state == DOOR_OPENING || doors[id].state == DOOR_CLOSING ? 1800 : 0);
    }
    status->speed_kmh = train_speed_kmh;
    status->sent_at = uptime_ms();
    memcpy(status->unit_name, dcu_unit_name, DCU_NAME_LEN);
    dcu_cycle_count++;
}

int dcu_init(const char *config_file)
{
    if (config_file == NULL || config_file[0] == '\0') {
        return DCU_E_BUSY;
    }
    memset(doors, 0, sizeof doors);
    for (dcu_door_id id = 1; id <= DCU_MAX_DOORS; id++) {
        lock_closed(&doors[id]);
    }
    started_at_ms = now_ms();
    strcpy(dcu_unit_name, "DCU-CAR-A");
    dcu_supply_voltage = BENCH_BATTERY_V;
    dcu_requested_state = DOOR_CLOSED_LOCKED;
    fault_count = 0;
    fill_status();
    return DCU_OK;
}

void dcu_shutdown(void)
{
    command_link = diag_link = -1;
}

int dcu_reset_faults(void)
{
    fault_count = 0;
    for (dcu_door_id id = 1; id <= DCU_MAX_DOORS; id++) {
        doors[id].flags.obstacle = 0;
    }
    return DCU_OK;
}

long dcu_uptime_ms(void)
{
    return (long)uptime_s() * 1000L;
}

int dcu_release_doors(dcu_side_t side, dcu_u8 speed_kmh)
{
    if (speed_kmh > DCU_MAX_SPEED_RELEASE || train_speed_kmh > DCU_MAX_SPEED_RELEASE) {
        return DCU_E_SPEED;
    }
    for (dcu_door_id id = 1; id <= DCU_MAX_DOORS; id++) {
        if ((side_mask(side) & (1u << (id - 1))) && !doors[id].flags.isolated) {
            doors[id].flags.released = 1;
            if (doors[id].state == DOOR_CLOSED_LOCKED) {
                doors[id].state = DOOR_CLOSED;
                doors[id].flags.lock_ok = 0;
            }
        }
    }
    status_due = 1;
    return DCU_OK;
}

int dcu_open_doors(dcu_side_t side, dcu_u8 door_mask)
{
    if (train_speed_kmh > DCU_MAX_SPEED_RELEASE) {
        return DCU_E_SPEED;
    }
    dcu_requested_state = DOOR_OPEN;
    for (dcu_door_id id = 1; id <= DCU_MAX_DOORS; id++) {
        struct door *door = &doors[id];
        if ((side_mask(side) & door_mask & (1u << (id - 1))) && !door->flags.isolated && door->state != DOOR_OPEN) {
            door->flags.lock_ok = 0;
            start_moving(door, DOOR_OPENING);
        }
    }
    return DCU_OK;
}

int dcu_close_doors(dcu_side_t side, dcu_u8 door_mask)
{
    dcu_requested_state = DOOR_CLOSED_LOCKED;
    for (dcu_door_id id = 1; id <= DCU_MAX_DOORS; id++) {
        struct door *door = &doors[id];
        if ((side_mask(side) & door_mask & (1u << (id - 1))) && !door->flags.isolated && door->position_mm > 0) {
            start_moving(door, DOOR_CLOSING);
        } else if ((side_mask(side) & door_mask & (1u << (id - 1))) && door->state == DOOR_CLOSED) {
            lock_closed(door);
        }
    }
    return DCU_OK;
}

int dcu_isolate_door(dcu_door_id door, dcu_u32 isolation_code)
{
    if (!valid_door(door) || isolation_code == 0) {
        return DCU_E_ISOLATED;
    }
    dcu_fault_msg_t *fault;
    update_doors();
    doors[door].flags.isolated = 1;
    doors[door].state = DOOR_ISOLATED;
    raise_fault(FAULT_POSITION, door, &fault);
    fault->detail.position.expected_mm = 0;
    fault->detail.position.measured_mm =
        (dcu_s16)(doors[door].position_mm > 0 ? doors[door].position_mm : ISOLATED_GAP_MM);
    status_due = 1;
    fill_status();
    return DCU_OK;
}

dcu_door_state_t dcu_door_state(dcu_door_id door)
{
    update_doors();
    return valid_door(door) ? doors[door].state : DOOR_ISOLATED;
}

dcu_u16 dcu_door_position(dcu_door_id door)
{
    update_doors();
    return valid_door(door) ? (dcu_u16)(doors[door].position_mm + 0.5) : 0;
}

int dcu_get_status(dcu_status_msg_t *status)
{
    fill_status();
    *status = dcu_last_status;
    return DCU_OK;
}

int dcu_decode_status(const void *raw, dcu_u32 length, dcu_status_msg_t *status)
{
    if (length != sizeof(dcu_status_msg_t)) {
        return DCU_E_BUSY;
    }
    memcpy(status, raw, sizeof *status);
    return status->header.msg_id == DCU_MSG_STATUS ? DCU_OK : DCU_E_BUSY;
}

double dcu_motor_temperature(dcu_door_id door)
{
    return valid_door(door) ? 35.0 + dcu_door_cycles[door - 1] * 0.1 : 0.0;
}

int dcu_inject_obstacle(dcu_door_id door, dcu_u16 force_n)
{
    if (!valid_door(door)) {
        return DCU_E_BUSY;
    }
    update_doors();
    doors[door].obstacle_force_n = force_n;
    return DCU_OK;
}

/* A door that an obstacle stopped closes again. */
int dcu_remove_obstacle(dcu_door_id door)
{
    if (!valid_door(door)) {
        return DCU_E_BUSY;
    }
    update_doors();
    doors[door].obstacle_force_n = 0;
    doors[door].flags.obstacle = 0;
    if (doors[door].state == DOOR_OBSTRUCTED) {
        start_moving(&doors[door], DOOR_CLOSING);
    }
    return DCU_OK;
}

void dcu_set_train_speed(dcu_u16 speed_kmh)
{
    train_speed_kmh = speed_kmh;
    fill_status();
}

int dcu_log(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int written = sut_log_line("dcu", format, arguments);
    va_end(arguments);
    return written;
}

dcu_socket_t dcu_connect(const char *host, int port)
{
    if (host == NULL || strcmp(host, DCU_BENCH_HOST) != 0) {
        return -1;
    }
    if (port == DCU_COMMAND_PORT) {
        command_link = next_socket++;
        status_due = 1;
        return command_link;
    }
    if (port == DCU_DIAG_PORT) {
        diag_link = next_socket++;
        heartbeat_sent_at_ms = -1;
        return diag_link;
    }
    return -1;
}

int dcu_disconnect(dcu_socket_t link)
{
    if (link == command_link) {
        command_link = -1;
    } else if (link == diag_link) {
        diag_link = -1;
    } else {
        return DCU_E_BUSY;
    }
    return DCU_OK;
}

static void execute(const dcu_command_msg_t *command)
{
    switch (command->code) {
    case CMD_RELEASE: dcu_release_doors(command->side, command->param.release.speed_kmh); break;
    case CMD_OPEN: dcu_open_doors(command->side, command->door_mask); break;
    case CMD_CLOSE:
    case CMD_LOCK: dcu_close_doors(command->side, command->door_mask); break;
    case CMD_ISOLATE:
        for (dcu_door_id id = 1; id <= DCU_MAX_DOORS; id++) {
            if (command->door_mask & (1u << (id - 1))) {
                dcu_isolate_door(id, command->param.isolation_code);
            }
        }
        break;
    case CMD_RESET: dcu_reset_faults(); break;
    }
}

int dcu_send(dcu_socket_t link, const void *buffer, dcu_u32 length)
{
    if (link != command_link || length != sizeof(dcu_command_msg_t)) {
        return DCU_E_BUSY;
    }
    dcu_command_msg_t command;
    memcpy(&command, buffer, sizeof command);
    execute(&command);
    status_due = 1;
    return (int)length;
}

static int give(void *buffer, dcu_u32 size, const void *message, dcu_u32 length)
{
    dcu_u32 copied = length < size ? length : size;
    memcpy(buffer, message, copied);
    return (int)copied;
}

static int receive_status(void *buffer, dcu_u32 size)
{
    long now = now_ms();
    update_doors();
    if (!status_due && status_sent_at_ms >= 0 && now - status_sent_at_ms < DCU_STATUS_PERIOD_MS) {
        return 0;
    }
    fill_status();
    status_due = 0;
    status_sent_at_ms = now;
    return give(buffer, size, &dcu_last_status, sizeof dcu_last_status);
}

static int receive_heartbeat(void *buffer, dcu_u32 size)
{
    long now = now_ms();
    if (heartbeat_sent_at_ms >= 0 && now - heartbeat_sent_at_ms < HEARTBEAT_PERIOD_MS) {
        return 0;
    }
    dcu_heartbeat_msg_t beat;
    memset(&beat, 0, sizeof beat);
    beat.header.msg_id = DCU_MSG_HEARTBEAT;
    beat.header.length = sizeof beat;
    beat.header.sequence = ++sequence;
    beat.uptime_s = uptime_s();
    beat.cpu_load_percent = 23;
    beat.software_version[0] = 2;
    beat.software_version[1] = 3;
    beat.software_version[2] = 7;
    heartbeat_sent_at_ms = now;
    return give(buffer, size, &beat, sizeof beat);
}

/* The status telegram on the command link, the heartbeat on the
   diagnostic link: 0 when none is due yet. */
int dcu_receive(dcu_socket_t link, void *buffer, dcu_u32 size, dcu_millis timeout_ms)
{
    (void)timeout_ms;  /* the bench polls; nothing waits here */
    if (link == command_link && link >= 0) {
        return receive_status(buffer, size);
    }
    if (link == diag_link && link >= 0) {
        return receive_heartbeat(buffer, size);
    }
    return -1;
}

dcu_bus_handle_t dcu_bus_open(dcu_u8 port, dcu_u16 device_address)
{
    if (port < 1 || port > 2) {
        return NULL;
    }
    dcu_mvb_ports[port - 1].port = port;
    dcu_mvb_ports[port - 1].device_address = device_address;
    return &dcu_mvb_ports[port - 1];
}

/* The oldest fault raised: 1, else 0. */
int dcu_bus_poll(dcu_bus_handle_t ports[], int count, dcu_fault_msg_t *fault)
{
    update_doors();
    if (count < 1 || ports[0] == NULL || fault_count == 0) {
        return 0;
    }
    *fault = faults[0];
    memmove(faults, faults + 1, (size_t)(fault_count - 1) * sizeof faults[0]);
    fault_count--;
    fill_status();
    return 1;
}

int bench_supply_on(double volts)
{
    if (volts <= 0.0 || volts > 150.0) {
        return DCU_E_BUSY;
    }
    dcu_supply_voltage = volts;
    return DCU_OK;
}

/* Only the door motors' supply: the DCU stays on the battery line. */
int bench_supply_off(void)
{
    dcu_supply_voltage = BENCH_BATTERY_V;
    return DCU_OK;
}

int bench_name_has_prefix(const char *name, const char *prefix)
{
    return strncmp(name, prefix, strlen(prefix)) == 0;
}
