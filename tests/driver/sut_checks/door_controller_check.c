/*
 * What the example script expects of the simulated door control unit:
 * release, opening and closing on the clock, obstacles, isolation, the
 * status and heartbeat telegrams, checked through the calls its statements
 * make. Exits with 1 and names each failed check.
 */
#include "door_controller.h"
#include "check.h"
#include <string.h>
#include <unistd.h>

static dcu_socket_t link_id, diag_id;
static dcu_bus_handle_t ports[1];

static void wait_state(dcu_door_id door, dcu_door_state_t state, int limit_ms)
{
    for (int waited = 0; waited < limit_ms && dcu_door_state(door) != state; waited += 100) {
        usleep(100000);
    }
    CHECK(dcu_door_state(door) == state);
}

static void send_command(dcu_command_code_t code, dcu_side_t side, dcu_u8 mask)
{
    dcu_command_msg_t command;
    memset(&command, 0, sizeof command);
    command.header.msg_id = DCU_MSG_COMMAND;
    command.code = code;
    command.side = side;
    command.door_mask = mask;
    CHECK(dcu_send(link_id, &command, sizeof command) == sizeof command);
}

/* The status telegram that the command link gives after the delay. */
static dcu_status_msg_t status_after(useconds_t delay_us)
{
    dcu_status_msg_t status;
    usleep(delay_us);
    int received = dcu_receive(link_id, bench_rx_buffer, sizeof bench_rx_buffer, 0);
    CHECK(dcu_decode_status(bench_rx_buffer, (dcu_u32)received, &status) == DCU_OK);
    return status;
}

static void power_up_and_connect(void)
{
    CHECK(dcu_init("bench/dcu_car.cfg") == DCU_OK);
    dcu_set_train_speed(0);
    CHECK(dcu_reset_faults() == DCU_OK);
    CHECK(bench_supply_on(110.0) == DCU_OK);
    link_id = dcu_connect(DCU_BENCH_HOST, DCU_COMMAND_PORT);
    diag_id = dcu_connect(DCU_BENCH_HOST, DCU_DIAG_PORT);
    ports[0] = dcu_bus_open(1, DCU_MVB_ADDRESS);
    CHECK(link_id >= 0 && diag_id >= 0 && ports[0] != NULL);
}

static void release_open_and_close_left(void)
{
    send_command(CMD_RELEASE, SIDE_LEFT, DCU_LEFT_DOORS);
    dcu_status_msg_t status = status_after(0);
    CHECK(status.door_count == 8 && status.doors[0].state == DOOR_CLOSED && status.doors[0].flags.released &&
          status.doors[5].state == DOOR_CLOSED_LOCKED && status.speed_kmh == 0);
    send_command(CMD_OPEN, SIDE_LEFT, DCU_LEFT_DOORS);
    status = status_after(300000);
    CHECK(status.doors[3].state == DOOR_OPEN && status.doors[3].position_mm >= 1250);
    CHECK(dcu_last_status.doors[0].position_mm == 1300);
    CHECK(dcu_door_cycles[0] >= 1);
    send_command(CMD_CLOSE, SIDE_LEFT, DCU_LEFT_DOORS);
    status = status_after(350000);
    for (int door = 0; door < DCU_MAX_DOORS; door++) {
        CHECK(status.doors[door].state == DOOR_CLOSED_LOCKED && status.doors[door].position_mm == 0 &&
              status.doors[door].flags.lock_ok);
    }
}

/* A soft obstacle holds door 2 closing; a hard one stops it with a fault. */
static void obstacles(void)
{
    dcu_fault_msg_t fault;
    CHECK(dcu_open_doors(SIDE_LEFT, DCU_LEFT_DOORS) == DCU_OK);
    wait_state(1, DOOR_OPEN, DCU_OPEN_TIME_MS);
    CHECK(dcu_inject_obstacle(2, DCU_OBSTACLE_FORCE_N / 2) == DCU_OK);
    CHECK(dcu_close_doors(SIDE_LEFT, DCU_LEFT_DOORS) == DCU_OK);
    usleep(400000);
    CHECK(dcu_bus_poll(ports, 1, &fault) == 0);
    CHECK(dcu_door_state(2) == DOOR_CLOSING);
    CHECK(dcu_remove_obstacle(2) == DCU_OK);
    CHECK(dcu_open_doors(SIDE_LEFT, DCU_LEFT_DOORS) == DCU_OK);
    wait_state(1, DOOR_OPEN, DCU_OPEN_TIME_MS);
    CHECK(dcu_inject_obstacle(2, 2 * DCU_OBSTACLE_FORCE_N) == DCU_OK);
    CHECK(dcu_close_doors(SIDE_LEFT, DCU_LEFT_DOORS) == DCU_OK);
    usleep(400000);
    CHECK(dcu_bus_poll(ports, 1, &fault) == 1 && fault.code == FAULT_OBSTACLE && fault.door == 2 &&
          fault.detail.obstacle_force_n == 2 * DCU_OBSTACLE_FORCE_N && fault.header.msg_id == DCU_MSG_FAULT);
    CHECK(dcu_door_state(2) == DOOR_OBSTRUCTED);
    CHECK(dcu_remove_obstacle(2) == DCU_OK);
    wait_state(2, DOOR_CLOSED_LOCKED, DCU_CLOSE_TIME_MS);
}

static void position_fault(void)
{
    dcu_fault_msg_t fault;
    CHECK(dcu_isolate_door(3, 0x5A5A) == DCU_OK);
    CHECK(dcu_bus_poll(ports, 1, &fault) == 1 && fault.code == FAULT_POSITION && fault.door == 3 &&
          fault.detail.position.measured_mm >= 1);
    CHECK(dcu_last_status.doors[2].flags.isolated == 1);
    send_command(CMD_ISOLATE, SIDE_LEFT, 0x04);
}

static void release_refused_while_moving(void)
{
    dcu_set_train_speed(DCU_MAX_SPEED_RELEASE + 10);
    CHECK(dcu_release_doors(SIDE_RIGHT, DCU_MAX_SPEED_RELEASE + 10) == DCU_E_SPEED);
    while (dcu_last_status.speed_kmh > DCU_MAX_SPEED_RELEASE) {
        dcu_set_train_speed(dcu_last_status.speed_kmh - 5);
    }
    CHECK(dcu_release_doors(SIDE_RIGHT, 0) == DCU_OK);
}

static void heartbeat_and_identity(void)
{
    dcu_heartbeat_msg_t beat;
    CHECK(dcu_receive(diag_id, &beat, sizeof beat, 0) == sizeof beat);
    CHECK(beat.header.msg_id == DCU_MSG_HEARTBEAT && beat.uptime_s >= 1 && beat.software_version[0] == 2 &&
          beat.software_version[1] == 3);
    CHECK(dcu_uptime_ms() == beat.uptime_s * 1000L);
    CHECK(strncmp(dcu_unit_name, "DCU-CAR-", 8) == 0 && dcu_software_version != NULL);
    CHECK(dcu_supply_voltage >= 100.0 && dcu_supply_voltage <= 120.0);
    CHECK(dcu_mvb_ports[0].port == 1 && dcu_mvb_ports[0].device_address == DCU_MVB_ADDRESS &&
          dcu_mvb_ports[1].port == 2 && dcu_mvb_ports[1].device_address == 0);
}

static void disconnect_and_power_down(void)
{
    CHECK(dcu_disconnect(link_id) == DCU_OK && dcu_disconnect(diag_id) == DCU_OK);
    CHECK(bench_supply_off() == DCU_OK);
    dcu_shutdown();
}

int main(void)
{
    power_up_and_connect();
    release_open_and_close_left();
    obstacles();
    position_fault();
    release_refused_while_moving();
    heartbeat_and_identity();
    disconnect_and_power_down();
    return failures != 0;
}
