/*
 * Platform screen doors (PSD) of one station platform: the interface of the
 * platform door controller. Its status and alarm telegrams are read through
 * the decoding functions <type>_Init that the bench library provides.
 */
#ifndef PLATFORM_DOORS_H
#define PLATFORM_DOORS_H

#define PSD_PANELS        24
#define PSD_OK            0
#define PSD_E_REFUSED     (-1)

#define PSD_OPEN_ALL      1
#define PSD_CLOSE_ALL     2
#define PSD_RESET_ALARMS  3

typedef enum { PSD_ALL_CLOSED, PSD_OPENING, PSD_ALL_OPEN, PSD_CLOSING, PSD_FAULT } psd_state_t;

typedef unsigned long psd_panel_mask_t;

typedef struct {
    psd_state_t      state;
    psd_panel_mask_t obstructed;     /* bit n: panel n + 1 obstructed */
    unsigned long    sequence;
} psd_status_t;

typedef struct {
    unsigned char panel;             /* 1 .. PSD_PANELS */
    unsigned char code;
    char          text[32];
} psd_alarm_t;

extern psd_status_t psd_last_status;

int  psd_command(int command);
void psd_status_t_Init(psd_status_t *current, int id);
void psd_alarm_t_Init(psd_alarm_t *current, int id);

#endif /* PLATFORM_DOORS_H */
