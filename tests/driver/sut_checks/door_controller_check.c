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
static void wait_state(dcu_door_id d, dcu_door_state_t s, int ms) {
    for (int t = 0; t < ms && dcu_door_state(d) != s; t += 100)
        usleep(100000);
    CHECK(dcu_door_state(d) == s);
}
int main(void) {
    dcu_status_msg_t st;
    dcu_fault_msg_t f;
    dcu_command_msg_t cmd;
    dcu_heartbeat_msg_t hb;
    CHECK(dcu_init("bench/dcu_car.cfg") == DCU_OK);
    dcu_set_train_speed(0);
    CHECK(dcu_reset_faults() == DCU_OK);
    CHECK(bench_supply_on(110.0) == DCU_OK);
    dcu_socket_t link = dcu_connect(DCU_BENCH_HOST, DCU_COMMAND_PORT),
                 diag = dcu_connect(DCU_BENCH_HOST, DCU_DIAG_PORT);
    dcu_bus_handle_t mvb = dcu_bus_open(1, DCU_MVB_ADDRESS);
    dcu_bus_handle_t ports[1] = {mvb};
    memset(&cmd, 0, sizeof cmd);
    cmd.header.msg_id = DCU_MSG_COMMAND;
    cmd.code = CMD_RELEASE;
    cmd.side = SIDE_LEFT;
    cmd.door_mask = DCU_LEFT_DOORS;
    CHECK(dcu_send(link, &cmd, sizeof cmd) == sizeof cmd);
    int n = dcu_receive(link, bench_rx_buffer, sizeof bench_rx_buffer, 0);
    CHECK(dcu_decode_status(bench_rx_buffer, n, &st) == DCU_OK);
    CHECK(st.door_count == 8 && st.doors[0].state == DOOR_CLOSED && st.doors[0].flags.released &&
          st.doors[5].state == DOOR_CLOSED_LOCKED && st.speed_kmh == 0);
    cmd.code = CMD_OPEN;
    CHECK(dcu_send(link, &cmd, sizeof cmd) == sizeof cmd);
    usleep(300000);
    n = dcu_receive(link, bench_rx_buffer, sizeof bench_rx_buffer, 0);
    CHECK(n > 0);
    dcu_decode_status(bench_rx_buffer, n, &st);
    CHECK(st.doors[3].state == DOOR_OPEN && st.doors[3].position_mm >= 1250);
    CHECK(dcu_last_status.doors[0].position_mm == 1300);
    CHECK(dcu_door_cycles[0] >= 1);
    cmd.code = CMD_CLOSE;
    dcu_send(link, &cmd, sizeof cmd);
    usleep(350000);
    n = dcu_receive(link, bench_rx_buffer, sizeof bench_rx_buffer, 0);
    dcu_decode_status(bench_rx_buffer, n, &st);
    for (int i = 0; i < 8; i++)
        CHECK(st.doors[i].state == DOOR_CLOSED_LOCKED && st.doors[i].position_mm == 0 && st.doors[i].flags.lock_ok);
    CHECK(dcu_door_state(1) == DOOR_CLOSED_LOCKED);
    /* soft and hard obstacle */
    CHECK(dcu_open_doors(SIDE_LEFT, DCU_LEFT_DOORS) == DCU_OK);
    wait_state(1, DOOR_OPEN, 2500);
    dcu_inject_obstacle(2, 75);
    dcu_close_doors(SIDE_LEFT, DCU_LEFT_DOORS);
    usleep(400000);
    CHECK(dcu_bus_poll(ports, 1, &f) == 0);
    CHECK(dcu_door_state(2) == DOOR_CLOSING);
    dcu_remove_obstacle(2);
    CHECK(dcu_open_doors(SIDE_LEFT, DCU_LEFT_DOORS) == DCU_OK);
    wait_state(1, DOOR_OPEN, 2500);
    dcu_inject_obstacle(2, 300);
    dcu_close_doors(SIDE_LEFT, DCU_LEFT_DOORS);
    usleep(400000);
    CHECK(dcu_bus_poll(ports, 1, &f) == 1 && f.code == FAULT_OBSTACLE && f.door == 2 &&
          f.detail.obstacle_force_n == 300 && f.header.msg_id == DCU_MSG_FAULT);
    CHECK(dcu_door_state(2) == DOOR_OBSTRUCTED);
    CHECK(dcu_remove_obstacle(2) == DCU_OK);
    wait_state(2, DOOR_CLOSED_LOCKED, 3500);
    CHECK(dcu_isolate_door(3, 0x5A5A) == DCU_OK);
    CHECK(dcu_bus_poll(ports, 1, &f) == 1 && f.code == FAULT_POSITION && f.door == 3 &&
          f.detail.position.measured_mm >= 1);
    CHECK(dcu_last_status.doors[2].flags.isolated == 1);
    memset(&cmd, 0, sizeof cmd);
    cmd.code = CMD_ISOLATE;
    cmd.door_mask = 0x04;
    cmd.param.isolation_code = 0x5A5A;
    CHECK(dcu_send(link, &cmd, sizeof cmd) == sizeof cmd);
    /* speed */
    dcu_set_train_speed(15);
    CHECK(dcu_release_doors(SIDE_RIGHT, 15) == DCU_E_SPEED);
    while (dcu_last_status.speed_kmh > 5)
        dcu_set_train_speed(dcu_last_status.speed_kmh - 5);
    /* heartbeat */
    n = dcu_receive(diag, &hb, sizeof hb, 0);
    CHECK(n == sizeof hb && hb.header.msg_id == DCU_MSG_HEARTBEAT && hb.uptime_s >= 1 && hb.software_version[0] == 2 &&
          hb.software_version[1] == 3);
    CHECK(dcu_uptime_ms() == hb.uptime_s * 1000L);
    CHECK(dcu_supply_voltage >= 100.0 && dcu_software_version && dcu_mvb_ports[0].port == 1 &&
          dcu_mvb_ports[0].device_address == DCU_MVB_ADDRESS && dcu_mvb_ports[1].port == 2 &&
          dcu_mvb_ports[1].device_address == 0);
    CHECK(dcu_disconnect(link) == DCU_OK && dcu_disconnect(diag) == DCU_OK);
    CHECK(bench_supply_off() == DCU_OK);
    dcu_shutdown();
    return failures != 0;
}
