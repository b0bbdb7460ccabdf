/* Timers on the monotonic clock, and pauses. */
#include "trv_private.h"

#include <errno.h>
#include <time.h>

void trv_get_date(TRV_T_DATE *date)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    date->trv_sec = (TRV_T_LONG)now.tv_sec;
    date->trv_nsec = (TRV_T_LONG)now.tv_nsec;
}

double trv_elapsed_ms(const TRV_T_DATE *earlier, const TRV_T_DATE *later)
{
    double ms = (double)(later->trv_sec - earlier->trv_sec) * 1000.0 +
                (double)(later->trv_nsec - earlier->trv_nsec) / 1e6;
    return ms < 0 ? 0 : ms;
}

TRV_T_ULONG trv_time(const TRV_T_DATE *date)
{
    TRV_T_DATE now;
    trv_get_date(&now);
    return (TRV_T_ULONG)trv_elapsed_ms(date, &now);
}

void trv_pause(TRV_T_UTIME milliseconds)
{
    struct timespec remaining;
    if (milliseconds <= 0) {
        return;
    }
    trv_trace_write_pending_current();
    remaining.tv_sec = (time_t)(milliseconds / 1000);
    remaining.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

TRV_T_UTIME trv_now_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (TRV_T_UTIME)now.tv_sec * 1000ul + (TRV_T_UTIME)(now.tv_nsec / 1000000L);
}
