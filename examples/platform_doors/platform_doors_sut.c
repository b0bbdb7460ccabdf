/*
 * Simulated platform door controller for platform_doors.pts. A command
 * moves every panel at once and the controller publishes a new status
 * telegram when the movement is over; an obstructed panel stops a closing
 * and raises an alarm telegram. Each telegram structure has its channel,
 * named after the structure, served here in-process; the bench reads the
 * telegrams through the _Init decoding functions.
 */
#include "platform_doors.h"

#include "../sut_telegrams.h"

#include <stdio.h>
#include <string.h>

#define ALARM_OBSTRUCTED 1
#define STATUS_TELEGRAM 1
#define ALARM_TELEGRAM 2
#define MOVEMENT_MS 30

psd_status_t psd_last_status = {PSD_ALL_CLOSED, 0, 0};

static psd_alarm_t pending_alarm;

static void publish(psd_state_t state)
{
    psd_last_status.state = state;
    psd_last_status.sequence++;
    trv_sut_answer("psd_status_t", STATUS_TELEGRAM, &psd_last_status, sizeof psd_last_status, MOVEMENT_MS);
}

static void raise_obstruction_alarm(void)
{
    for (int panel = 0; panel < PSD_PANELS; panel++) {
        if (psd_last_status.obstructed & (1UL << panel)) {
            pending_alarm.panel = (unsigned char)(panel + 1);
            pending_alarm.code = ALARM_OBSTRUCTED;
            snprintf(pending_alarm.text, sizeof pending_alarm.text, "panel %d obstructed", panel + 1);
            trv_sut_answer("psd_alarm_t", ALARM_TELEGRAM, &pending_alarm, sizeof pending_alarm, MOVEMENT_MS);
            return;
        }
    }
}

int psd_command(int command)
{
    switch (command) {
    case PSD_OPEN_ALL:
        if (psd_last_status.state == PSD_FAULT) {
            return PSD_E_REFUSED;
        }
        publish(PSD_ALL_OPEN);
        return PSD_OK;
    case PSD_CLOSE_ALL:
        if (psd_last_status.state == PSD_FAULT) {
            return PSD_E_REFUSED;
        }
        if (psd_last_status.obstructed != 0) {
            publish(PSD_FAULT);
            raise_obstruction_alarm();
        } else {
            publish(PSD_ALL_CLOSED);
        }
        return PSD_OK;
    case PSD_RESET_ALARMS:
        memset(&pending_alarm, 0, sizeof pending_alarm);
        psd_last_status.obstructed = 0;
        if (psd_last_status.state == PSD_FAULT) {
            publish(PSD_ALL_OPEN);
        }
        return PSD_OK;
    default:
        return PSD_E_REFUSED;
    }
}

void trv_sut_init(void)
{
    static const char *const telegrams[] = {"psd_status_t", "psd_alarm_t", NULL};
    sut_serve_telegrams(telegrams);
}

/* Called when the channel id has a telegram; a bad one leaves current as
 * it was. */
void psd_status_t_Init(psd_status_t *current, int id)
{
    sut_read_telegram(id, current, sizeof *current);
}

void psd_alarm_t_Init(psd_alarm_t *current, int id)
{
    sut_read_telegram(id, current, sizeof *current);
}
