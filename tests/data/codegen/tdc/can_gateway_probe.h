#ifndef TRV_PROBE_H
#define TRV_PROBE_H

#define TRV_TDC_END_SEND 1
#define TRV_TDC_END_RECV 2

#define TRV_TDC_gen "@DATE@ @PID@"
#define TRV_TDC_CH_powertrain 8
#define TRV_TDC_CH_body 9
#define TRV_TDC_CH_tester 10
#define TRV_TDC_EVT_can_frame_t 11
#define TRV_TDC_EEVT_can_frame_t 40
#define TRV_TDC_DEFM_engine_frame 41
#define TRV_TDC_DEFM_engine_routed 56
#define TRV_TDC_DEFM_brake_frame 68
#define TRV_TDC_DEFM_brake_routed 81
#define TRV_TDC_DEFM_door_frame 93
#define TRV_TDC_DEFM_door_routed 104
#define TRV_TDC_DEFM_gear_req_msg 114
#define TRV_TDC_DEFM_gear_routed 126
#define TRV_TDC_EVT_diag_request_t 130
#define TRV_TDC_EEVT_diag_request_t 152
#define TRV_TDC_DEFM_open_extended 153
#define TRV_TDC_DEFM_vin_request 167
#define TRV_TDC_DEFM_write_routing 181
#define TRV_TDC_EVT_diag_response_t 202
#define TRV_TDC_EEVT_diag_response_t 228
#define TRV_TDC_DEFM_extended_opened 229
#define TRV_TDC_DEFM_vin_answer 239
#define TRV_TDC_DEFM_routing_refused 251
#define TRV_TDC_DEFM_routing_written 261
#define TRV_TDC_Spts 322
#define TRV_TDC_Sscn 344
#define TRV_TDC_SEND_can_frame_t_powertrain 348
#define TRV_TDC_RECV_can_frame_t_body 350
#define TRV_TDC_Escn 359
#define TRV_TDC_SEND_can_frame_t_body 363
#define TRV_TDC_RECV_can_frame_t_powertrain 381
#define TRV_TDC_SEND_diag_request_t_tester 422
#define TRV_TDC_RECV_diag_response_t_tester 424
#define TRV_TDC_Epts 459
#define TRV_TDC_LAST_SEND 444
#define TRV_TDC_LAST_ID 446
