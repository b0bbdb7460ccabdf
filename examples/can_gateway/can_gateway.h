/*
 * Test bench of the body/powertrain CAN gateway: the frames it routes
 * between its two CAN buses and the diagnostic requests it answers on its
 * Ethernet tester link.
 */
#ifndef CAN_GATEWAY_H
#define CAN_GATEWAY_H

#include <stddef.h>
#include <stdint.h>

/* Bus handles of the bench CAN interface card, one per controller */
typedef int can_handle_t;
/* Socket of the diagnostic tester link */
typedef int gw_socket_t;

#define GW_OK              0
#define GW_E_TIMEOUT      -1
#define GW_E_BUSOFF       -2

/* Identifiers of the routed frames */
#define CAN_ID_ENGINE      0x0C9
#define CAN_ID_BRAKE       0x1A0
#define CAN_ID_GEAR_REQ    0x1F5
#define CAN_ID_DOOR_STATE  0x3E1

#define CAN_MAX_DLC        8
#define GW_ROUTE_LATENCY_MS   20
#define GW_ROUTE_WINDOW_MS    40    /* two frames routed back to back */
#define GW_FILTER_WINDOW_MS  100    /* long enough to see a wrongly routed frame */
#define GW_DIAG_TIMEOUT_MS   150
#define GW_VIN_LENGTH        17

typedef enum { GEAR_PARK, GEAR_REVERSE, GEAR_NEUTRAL, GEAR_DRIVE } gw_gear_t;
typedef enum { DOOR_FL = 1, DOOR_FR = 2, DOOR_RL = 4, DOOR_RR = 8 } gw_door_bit_t;

/* One CAN frame as the gateway routes it; the payload is read through the
   layout of the frame's identifier. */
typedef struct {
    uint32_t id;
    uint8_t dlc;
    uint8_t flags;
    union {
        uint8_t bytes[CAN_MAX_DLC];
        struct {
            uint16_t rpm;
            uint16_t torque_nm;
            uint8_t coolant_c;
            uint8_t reserved[3];
        } engine;
        struct {
            uint16_t wheel_speed[4];
        } brake;
        struct {
            uint8_t gear;
            uint8_t crc;
            uint8_t counter;
        } gear_request;
        struct {
            uint8_t open_mask;
            uint8_t locked_mask;
        } doors;
    } payload;
} can_frame_t;

/* Unified diagnostic services answered by the gateway */
typedef enum {
    SID_SESSION_CONTROL = 0x10,
    SID_READ_DATA = 0x22,
    SID_WRITE_DATA = 0x2E,
    SID_NEGATIVE_RESPONSE = 0x7F
} diag_service_t;

typedef enum { SESSION_DEFAULT = 1, SESSION_PROGRAMMING = 2, SESSION_EXTENDED = 3 } diag_session_t;

#define DID_VIN            0xF190
#define DID_ROUTING_TABLE  0x0102
#define NRC_CONDITIONS     0x22
#define NRC_OUT_OF_RANGE   0x31

typedef struct {
    uint16_t source;
    uint16_t target;
    uint16_t length;
} diag_header_t;

typedef struct {
    diag_header_t header;
    uint8_t service;
    union {
        struct {
            uint8_t session;
        } session_control;
        struct {
            uint16_t did;
        } read_data;
        struct {
            uint16_t did;
            uint8_t length;
            uint8_t data[32];
        } write_data;
    } request;
} diag_request_t;

typedef struct {
    diag_header_t header;
    uint8_t service;
    /* Read as the request's service plus 0x40, or as a negative response */
    union {
        struct {
            uint16_t did;
            char vin[GW_VIN_LENGTH + 1];
        } read_vin;
        struct {
            uint8_t session;
            uint16_t p2_ms;
        } session_control;
        struct {
            uint16_t did;
        } write_data;
        struct {
            uint8_t rejected_service;
            uint8_t code;
        } negative;
    } response;
} diag_response_t;

/* Bench access to the CAN interface card */
can_handle_t can_open(int controller, long bitrate);
int can_close(can_handle_t handle);
int can_write(can_handle_t handle, const can_frame_t *frame);
int can_poll(const can_handle_t handles[], int count, can_frame_t *frame);
int can_bus_load(can_handle_t handle);

/* Bench access to the diagnostic tester link */
gw_socket_t diag_connect(const char *host, int port);
int diag_disconnect(gw_socket_t sock);
int diag_send(gw_socket_t sock, const void *data, size_t size);
int diag_receive(gw_socket_t sock, void *data, size_t size, int timeout_ms);

/* Gateway under test, reached through its bench controls */
int gw_power(int on);
int gw_reset_counters(void);
long gw_routed_frames(uint32_t id);
int gw_set_bus_off(int controller, int off);

extern char gw_bench_host[32];
extern int gw_diag_port;

#endif /* CAN_GATEWAY_H */
