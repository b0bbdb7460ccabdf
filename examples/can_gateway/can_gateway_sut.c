/*
 * Simulated CAN gateway with the bench's interface card and tester link,
 * for can_gateway.pts. Controller 0 is the powertrain bus, controller 1 the
 * body bus; a frame written on one bus comes out on the other when the
 * routing table has its identifier and the target bus is not off. The
 * tester link answers session control, VIN reading and routing table
 * writes, which are refused while the engine turns; a refused write drops
 * the link.
 *
 * The tester link is the test runtime's channel "tester": requests and
 * answers travel as its frames, and this gateway serves the channel
 * in-process unless the run names a real one (QVM_CHANNEL_TESTER, such as
 * the server of can_gateway_server.c).
 */
#include "can_gateway_services.h"

#include "TP.h"

#include <string.h>

#define POWERTRAIN 0
#define BODY 1
#define CONTROLLERS 2
#define QUEUE_SIZE 64
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

/* The gateway's end of the tester link. */
static void serve_tester(const char *channel, TRV_T_INT type, const void *data, size_t size, void *user)
{
    diag_request_t request;
    diag_response_t response;
    (void)user;
    if (!powered || type != GW_LINK_REQUEST || size != sizeof request) {
        return;
    }
    memcpy(&request, data, sizeof request);
    int drop = gw_answer_request(&request, engine_rpm != 0, &response);
    trv_sut_answer(channel, GW_LINK_RESPONSE, &response, sizeof response, 0);
    if (drop) {
        trv_sut_close(channel, 0);
    }
}

void trv_sut_init(void)
{
    trv_sut_register(GW_TESTER_CHANNEL, serve_tester, NULL);
}

gw_socket_t diag_connect(const char *host, int port)
{
    if (!powered || strcmp(host, gw_bench_host) != 0 || port != gw_diag_port) {
        return -1;
    }
    return trv_channel_open(GW_TESTER_CHANNEL);
}

int diag_disconnect(gw_socket_t sock)
{
    trv_channel_close(sock);
    return GW_OK;
}

int diag_send(gw_socket_t sock, const void *data, size_t size)
{
    diag_request_t request;
    if (size < sizeof(diag_header_t) + 1 || size > sizeof request) {
        return -1;
    }
    memset(&request, 0, sizeof request);
    memcpy(&request, data, size);
    return trv_channel_send(sock, GW_LINK_REQUEST, &request, sizeof request) == 0 ? (int)size : -1;
}

/* The answer that came, 0 when none waits, -1 when the link failed (the
   runtime has recorded why). */
int diag_receive(gw_socket_t sock, void *data, size_t size, int timeout_ms)
{
    diag_response_t response;
    TRV_T_INT type = 0;
    (void)timeout_ms;  /* the bench polls; nothing waits here */
    TRV_T_INT received = trv_channel_receive(sock, &type, &response, sizeof response);
    if (received == TRV_NO_MESSAGE) {
        return 0;
    }
    if (received != TRV_MESSAGE_READ || type != GW_LINK_RESPONSE) {
        return -1;
    }
    size_t length = size < sizeof response ? size : sizeof response;
    memcpy(data, &response, length);
    return (int)length;
}

int gw_power(int on)
{
    powered = on != 0;
    if (!powered) {
        queued = 0;
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
