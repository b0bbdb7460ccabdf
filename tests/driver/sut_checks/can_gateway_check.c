/*
 * What the example script expects of the simulated CAN gateway: routing and
 * filtering between the buses, bus off, and the answers of the tester link,
 * checked through the calls its statements make. Exits with 1 and names each
 * failed check. The tester link is a channel of the test runtime, served by
 * the gateway's handler.
 */
#include "can_gateway.h"
#include "check.h"
#include "TP.h"
#include <string.h>
static can_handle_t pt, body;
static gw_socket_t sock;
static int poll1(can_handle_t h, can_frame_t *f)
{
    can_handle_t hs[1] = {h};
    return can_poll(hs, 1, f);
}
static void init(void)
{
    CHECK(gw_power(1) == GW_OK);
    pt = can_open(0, 500000L);
    body = can_open(1, 125000L);
    CHECK(pt == 0 && body == 1);
    sock = diag_connect(gw_bench_host, gw_diag_port);
    CHECK(sock >= 0);
    CHECK(gw_reset_counters() == GW_OK);
}
static void term(void)
{
    CHECK(diag_disconnect(sock) == GW_OK);
    CHECK(can_close(body) == GW_OK);
    CHECK(can_close(pt) == GW_OK);
    CHECK(gw_power(0) == GW_OK);
}
static diag_request_t request(uint8_t service, uint16_t length)
{
    diag_request_t rq;
    memset(&rq, 0, sizeof rq);
    rq.header.source = 0x0E80;
    rq.header.target = 0x1010;
    rq.header.length = length;
    rq.service = service;
    return rq;
}

static diag_response_t answer_to(const diag_request_t *rq)
{
    diag_response_t rs;
    memset(&rs, 0, sizeof rs);
    CHECK(diag_send(sock, rq, sizeof *rq) == sizeof *rq);
    CHECK(diag_receive(sock, &rs, sizeof rs, 0) >= (int)sizeof(diag_header_t));
    return rs;
}

static void open_extended_session(void)
{
    diag_request_t rq = request(SID_SESSION_CONTROL, 2);
    rq.request.session_control.session = SESSION_EXTENDED;
    diag_response_t rs = answer_to(&rq);
    CHECK(rs.service == 0x50 && rs.response.session_control.session == SESSION_EXTENDED &&
          rs.response.session_control.p2_ms >= 1 && rs.response.session_control.p2_ms <= 50);
}

static void read_vin(void)
{
    diag_request_t rq = request(SID_READ_DATA, 3);
    rq.request.read_data.did = DID_VIN;
    diag_response_t rs = answer_to(&rq);
    CHECK(rs.header.source == 0x1010 && rs.header.target == 0x0E80 && rs.service == 0x62 &&
          rs.response.read_vin.did == DID_VIN && !strcmp(rs.response.read_vin.vin, "WVWZZZ1KZ8W000417"));
}

/* Refused while the engine turns. */
static void write_routing_while_driving(const can_frame_t *engine)
{
    CHECK(can_write(pt, engine) == GW_OK);
    diag_request_t rq = request(SID_WRITE_DATA, 8);
    rq.request.write_data.did = DID_ROUTING_TABLE;
    rq.request.write_data.length = 4;
    diag_response_t rs = answer_to(&rq);
    CHECK(rs.service == SID_NEGATIVE_RESPONSE && rs.response.negative.rejected_service == SID_WRITE_DATA &&
          rs.response.negative.code == NRC_CONDITIONS);
    /* then the gateway drops the link */
    CHECK(diag_receive(sock, &rs, sizeof rs, 0) == -1);
}

static void reconnect_tester(void)
{
    CHECK(diag_disconnect(sock) == GW_OK);
    sock = diag_connect(gw_bench_host, gw_diag_port);
    CHECK(sock >= 0);
}

int main(void)
{
    can_frame_t engine = {CAN_ID_ENGINE, 8, 0, {.engine = {850, 40, 90, {0}}}}, f;
    can_frame_t brake = {CAN_ID_BRAKE, 8, 0, {.brake = {{120, 120, 120, 120}}}};
    can_frame_t door = {CAN_ID_DOOR_STATE, 2, 0, {.doors = {DOOR_FL | DOOR_RR, 0}}};
    can_frame_t gear = {CAN_ID_GEAR_REQ, 3, 0, {.gear_request = {GEAR_DRIVE, 0x5C, 1}}};
    trv_sut_init();
    init();
    long before = gw_routed_frames(CAN_ID_ENGINE);
    CHECK(can_write(pt, &engine) == GW_OK);
    CHECK(poll1(body, &f) == 1 && f.id == CAN_ID_ENGINE && f.payload.engine.rpm == 850);
    CHECK(gw_routed_frames(CAN_ID_ENGINE) == before + 1);
    term();
    for (int i = 0; i < 5; i++) {
        init();
        CHECK(can_write(pt, &brake) == GW_OK);
        CHECK(can_write(body, &door) == GW_OK);
        CHECK(poll1(body, &f) == 1 && f.id == CAN_ID_BRAKE);
        CHECK(poll1(pt, &f) == 1 && f.id == CAN_ID_DOOR_STATE && f.dlc == 2);
        term();
    }
    init();
    CHECK(can_write(body, &gear) == GW_OK);
    CHECK(poll1(pt, &f) == 0);
    term();
    init();
    CHECK(gw_set_bus_off(1, 1) == GW_OK);
    can_write(pt, &engine);
    CHECK(poll1(body, &f) == 0);
    CHECK(gw_set_bus_off(1, 0) == GW_OK);
    CHECK(can_bus_load(body) >= 5);
    can_write(pt, &engine);
    CHECK(poll1(body, &f) == 1 && f.payload.engine.coolant_c == 90);
    term();
    init();
    open_extended_session();
    read_vin();
    reconnect_tester();
    term();
    init();
    open_extended_session();
    write_routing_while_driving(&engine);
    reconnect_tester();
    term();
    return failures != 0;
}
