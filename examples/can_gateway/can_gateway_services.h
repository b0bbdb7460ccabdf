/*
 * The gateway's diagnostic services, as the simulated gateway
 * (can_gateway_sut.c) and the stand-alone tester link server
 * (can_gateway_server.c) both give them. Every request and every answer
 * travels whole, as one frame of the test runtime's channel "tester":
 * sizeof(diag_request_t) bytes of type GW_LINK_REQUEST, answered by
 * sizeof(diag_response_t) bytes of type GW_LINK_RESPONSE.
 */
#ifndef CAN_GATEWAY_SERVICES_H
#define CAN_GATEWAY_SERVICES_H

#include "can_gateway.h"

#include <string.h>

#define GW_TESTER_CHANNEL "tester"
#define GW_LINK_REQUEST 1
#define GW_LINK_RESPONSE 2

#define GW_GATEWAY_ADDRESS 0x1010
#define GW_P2_MS 25
#define GW_VIN "WVWZZZ1KZ8W000417"

static inline void gw_start_response(const diag_request_t *request, uint8_t service, uint16_t length,
                                     diag_response_t *response)
{
    memset(response, 0, sizeof *response);
    response->header.source = GW_GATEWAY_ADDRESS;
    response->header.target = request->header.source;
    response->header.length = length;
    response->service = service;
}

static inline void gw_refuse(const diag_request_t *request, uint8_t code, diag_response_t *response)
{
    gw_start_response(request, SID_NEGATIVE_RESPONSE, 3, response);
    response->response.negative.rejected_service = request->service;
    response->response.negative.code = code;
}

/* The answer to one request: session control, VIN reading, and routing
   table writes, refused while the engine turns. Returns 1 when the gateway
   drops the link after this answer (a refused write), else 0. */
static inline int gw_answer_request(const diag_request_t *request, int engine_turns, diag_response_t *response)
{
    switch (request->service) {
    case SID_SESSION_CONTROL:
        gw_start_response(request, SID_SESSION_CONTROL + 0x40, 4, response);
        response->response.session_control.session = request->request.session_control.session;
        response->response.session_control.p2_ms = GW_P2_MS;
        return 0;
    case SID_READ_DATA:
        if (request->request.read_data.did != DID_VIN) {
            gw_refuse(request, NRC_OUT_OF_RANGE, response);
            return 0;
        }
        gw_start_response(request, SID_READ_DATA + 0x40, 3 + GW_VIN_LENGTH, response);
        response->response.read_vin.did = DID_VIN;
        memcpy(response->response.read_vin.vin, GW_VIN, sizeof GW_VIN);
        return 0;
    case SID_WRITE_DATA:
        if (request->request.write_data.did != DID_ROUTING_TABLE) {
            gw_refuse(request, NRC_OUT_OF_RANGE, response);
            return 0;
        }
        if (engine_turns) {
            gw_refuse(request, NRC_CONDITIONS, response);
            return 1;
        }
        gw_start_response(request, SID_WRITE_DATA + 0x40, 3, response);
        response->response.write_data.did = DID_ROUTING_TABLE;
        return 0;
    default:
        gw_refuse(request, NRC_CONDITIONS, response);
        return 0;
    }
}

#endif /* CAN_GATEWAY_SERVICES_H */
