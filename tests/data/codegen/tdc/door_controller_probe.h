#ifndef TRV_PROBE_H
#define TRV_PROBE_H

#define TRV_TDC_END_SEND 1
#define TRV_TDC_END_RECV 2

#define TRV_TDC_gen "@DATE@ @PID@"
#define TRV_TDC_CH_dcu_main 9
#define TRV_TDC_CH_dcu_diag 10
#define TRV_TDC_CH_mvb_doors 11
#define TRV_TDC_EVT_dcu_command_msg_t 12
#define TRV_TDC_EEVT_dcu_command_msg_t 35
#define TRV_TDC_DEFM_release_left 36
#define TRV_TDC_DEFM_open_left 53
#define TRV_TDC_DEFM_close_left 64
#define TRV_TDC_DEFM_open_right 82
#define TRV_TDC_DEFM_close_right 93
#define TRV_TDC_DEFM_isolate_door_3 104
#define TRV_TDC_EVT_dcu_status_msg_t 112
#define TRV_TDC_EEVT_dcu_status_msg_t 140
#define TRV_TDC_DEFM_status_released 141
#define TRV_TDC_DEFM_status_open 165
#define TRV_TDC_DEFM_status_right_open 185
#define TRV_TDC_DEFM_status_closed 205
#define TRV_TDC_EVT_dcu_fault_msg_t 222
#define TRV_TDC_EEVT_dcu_fault_msg_t 242
#define TRV_TDC_DEFM_fault_obstacle 243
#define TRV_TDC_DEFM_fault_position 262
#define TRV_TDC_EVT_dcu_heartbeat_msg_t 273
#define TRV_TDC_EEVT_dcu_heartbeat_msg_t 286
#define TRV_TDC_DEFM_heartbeat 287
#define TRV_TDC_Spts 392
#define TRV_TDC_Sscn 415
#define TRV_TDC_SEND_dcu_command_msg_t_dcu_main 433
#define TRV_TDC_RECV_dcu_status_msg_t_dcu_main 435
#define TRV_TDC_Escn 457
#define TRV_TDC_RECV_dcu_fault_msg_t_mvb_doors 569
#define TRV_TDC_RECV_dcu_heartbeat_msg_t_dcu_diag 643
#define TRV_TDC_RDV_cars_ready 694
#define TRV_TDC_Epts 723
#define TRV_TDC_LAST_SEND 632
#define TRV_TDC_LAST_ID 643
