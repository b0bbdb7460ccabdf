#ifndef TRV_PROBE_H
#define TRV_PROBE_H

#define TRV_TDC_END_SEND 1
#define TRV_TDC_END_RECV 2

#define TRV_TDC_gen "@DATE@ @PID@"
#define TRV_TDC_CH_main_ch 8
#define TRV_TDC_EVT_ping_t 9
#define TRV_TDC_EEVT_ping_t 16
#define TRV_TDC_DEFM_ping 17
#define TRV_TDC_Spts 30
#define TRV_TDC_Sscn 31
#define TRV_TDC_SEND_ping_t_main_ch 32
#define TRV_TDC_RECV_ping_t_main_ch 34
#define TRV_TDC_RDV_meet 37
#define TRV_TDC_Escn 39
#define TRV_TDC_Epts 40
#define TRV_TDC_LAST_SEND 32
#define TRV_TDC_LAST_ID 34
