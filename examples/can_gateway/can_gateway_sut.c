/*
 * Simulated CAN gateway with the bench's interface card and tester link,
 * for can_gateway.pts. Controller 0 is the powertrain bus, controller 1 the
 * body bus; a frame written on one bus comes out on the other when the
 * routing table has its identifier and the target bus is not off. The
 * tester link answers session control, VIN reading and routing table
 * writes, which are refused while the engine turns; a refused write drops
 * the link.
 */
#include "can_gateway.h"

#include <string.h>

#define POWERTRAIN 0
#define BODY 1
#define CONTROLLERS 2
#define QUEUE_SIZE 64
#define FIRST_SOCKET 100
#define GATEWAY_ADDRESS 0x1010
#define P2_MS 25
#define BUS_LOAD_PERCENT 12

char gw_bench_host[32] = "10.1.0.30";
int gw_diag_port = 13400;

static const struct route {
    uint32_t id;
    int from, to;
} routing_table[] = {
    {CAN_ID_ENGINE, POWERTRAIN, BODY},
    {CAN_ID_BRAKE, POWERTRAIN, BODY},
    {CAN_ID_DOOR_STATE, BODY, POWERTRAIN},
};
#define ROUTES ((int)(sizeof routing_table / sizeof routing_table[0]))

/* Frames waiting at the card, each for the controller it arrived on. */
static struct {
    can_frame_t frame;
    int controller;
} queue[QUEUE_SIZE];
static int queued;

static int powered;
static int opened[CONTROLLERS];
static int bus_off[CONTROLLERS];
static long routed[ROUTES];
static uint16_t engine_rpm;

static struct {
    gw_socket_t socket;
    int connected;
    int has_response;
    diag_response_t response;
} tester;
static int next_socket = FIRST_SOCKET;

static int valid_controller(int controller)
{
    return controller >= 0 && controller < CONTROLLERS;
}

static void deliver(const can_frame_t *frame, int controller)
{
    if (queued == QUEUE_SIZE) {
        memmove(queue, queue + 1, (QUEUE_SIZE - 1) * sizeof queue[0]);
        queued--;
    }
    queue[queued].frame = *frame;
    queue[queued].controller = controller;
    queued++;
}

static void route(const can_frame_t *frame, int from)
{
    if (frame->id == CAN_ID_ENGINE && from == POWERTRAIN) {
        engine_rpm = frame->payload.engine.rpm;
    }
    for (int r = 0; r < ROUTES; r++) {
        if (routing_table[r].id == frame->id && routing_table[r].from == from && !bus_off[routing_table[r].to]) {
            routed[r]++;
            deliver(frame, routing_table[r].to);
        }
    }
}

can_handle_t can_open(int controller, long bitrate)
{
    if (!valid_controller(controller) || bitrate <= 0) {
        return -1;
    }
    opened[controller] = 1;
    return controller;
}

int can_close(can_handle_t handle)
{
    if (!valid_controller(handle) || !opened[handle]) {
        return GW_E_TIMEOUT;
    }
    opened[handle] = 0;
    return GW_OK;
}

int can_write(can_handle_t handle, const can_frame_t *frame)
{
    if (!valid_controller(handle) || !opened[handle]) {
        return GW_E_TIMEOUT;
    }
    if (bus_off[handle]) {
        return GW_E_BUSOFF;
    }
    if (powered) {
        route(frame, handle);
    }
    return GW_OK;
}

/* The oldest frame that arrived on one of the handles: 1, else 0. */
int can_poll(const can_handle_t handles[], int count, can_frame_t *frame)
{
    for (int q = 0; q < queued; q++) {
        for (int h = 0; h < count; h++) {
            if (handles[h] == queue[q].controller) {
                *frame = queue[q].frame;
                memmove(queue + q, queue + q + 1, (size_t)(queued - q - 1) * sizeof queue[0]);
                queued--;
                return 1;
            }
        }
    }
    return 0;
}

int can_bus_load(can_handle_t handle)
{
    if (!valid_controller(handle) || !powered || bus_off[handle]) {
        return 0;
    }
    return BUS_LOAD_PERCENT;
}

gw_socket_t diag_connect(const char *host, int port)
{
    if (!powered || strcmp(host, gw_bench_host) != 0 || port != gw_diag_port) {
        return -1;
    }
    tester.socket = next_socket++;
    tester.connected = 1;
    tester.has_response = 0;
    return tester.socket;
}

int diag_disconnect(gw_socket_t sock)
{
    if (sock == tester.socket) {
        tester.connected = 0;
        tester.has_response = 0;
    }
    return GW_OK;
}

static diag_response_t *start_response(const diag_request_t *request, uint8_t service, uint16_t length)
{
    diag_response_t *response = &tester.response;
    memset(response, 0, sizeof *response);
    response->header.source = GATEWAY_ADDRESS;
    response->header.target = request->header.source;
    response->header.length = length;
    response->service = service;
    tester.has_response = 1;
    return response;
}

static void refuse(const diag_request_t *request, uint8_t code)
{
    diag_response_t *response = start_response(request, SID_NEGATIVE_RESPONSE, 3);
    response->response.negative.rejected_service = request->service;
    response->response.negative.code = code;
}

static void answer(const diag_request_t *request)
{
    diag_response_t *response;
    switch (request->service) {
    case SID_SESSION_CONTROL:
        response = start_response(request, SID_SESSION_CONTROL + 0x40, 4);
        response->response.session_control.session = request->request.session_control.session;
        response->response.session_control.p2_ms = P2_MS;
        break;
    case SID_READ_DATA:
        if (request->request.read_data.did != DID_VIN) {
            refuse(request, NRC_OUT_OF_RANGE);
            break;
        }
        response = start_response(request, SID_READ_DATA + 0x40, 3 + GW_VIN_LENGTH);
        response->response.read_vin.did = DID_VIN;
        strcpy(response->response.read_vin.vin, "WVWZZZ1KZ8W000417");
        break;
    case SID_WRITE_DATA:
        if (request->request.write_data.did != DID_ROUTING_TABLE) {
            refuse(request, NRC_OUT_OF_RANGE);
        } else if (engine_rpm != 0) {
            refuse(request, NRC_CONDITIONS);
            tester.connected = 0;  /* the answer still goes out, then the link drops */
        } else {
            response = start_response(request, SID_WRITE_DATA + 0x40, 3);
            response->response.write_data.did = DID_ROUTING_TABLE;
        }
        break;
    default:
        refuse(request, NRC_CONDITIONS);
        break;
    }
}

int diag_send(gw_socket_t sock, const void *data, size_t size)
{
    if (sock != tester.socket || !tester.connected || size < sizeof(diag_header_t) + 1) {
        return -1;
    }
    diag_request_t request;
    memset(&request, 0, sizeof request);
    memcpy(&request, data, size < sizeof request ? size : sizeof request);
    answer(&request);
    return (int)size;
}

int diag_receive(gw_socket_t sock, void *data, size_t size, int timeout_ms)
{
    (void)timeout_ms;  /* the answer is ready at once or not at all */
    if (sock != tester.socket || !tester.has_response) {
        return 0;
    }
    size_t length = size < sizeof tester.response ? size : sizeof tester.response;
    memcpy(data, &tester.response, length);
    tester.has_response = 0;
    return (int)length;
}

int gw_power(int on)
{
    powered = on != 0;
    if (!powered) {
        queued = 0;
        tester.connected = 0;
        engine_rpm = 0;
    }
    return GW_OK;
}

int gw_reset_counters(void)
{
    memset(routed, 0, sizeof routed);
    return GW_OK;
}

long gw_routed_frames(uint32_t id)
{
    long count = 0;
    for (int r = 0; r < ROUTES; r++) {
        if (routing_table[r].id == id) {
            count += routed[r];
        }
    }
    return count;
}

int gw_set_bus_off(int controller, int off)
{
    if (!valid_controller(controller)) {
        return GW_E_BUSOFF;
    }
    bus_off[controller] = off != 0;
    return GW_OK;
}
