/*
 * Telegram channels of the simulated systems of the TRIGGER examples: the
 * system serves one channel per telegram structure, named after the
 * structure, and only publishes on it (trv_sut_answer); the bench reads a
 * telegram in the structure's _Init function.
 */
#ifndef SUT_TELEGRAMS_H
#define SUT_TELEGRAMS_H

#include "TP.h"

/* The bench never writes on a telegram channel. */
static inline void sut_listen_only(const char *channel, TRV_T_INT type, const void *data, size_t size, void *user)
{
    (void)channel;
    (void)type;
    (void)data;
    (void)size;
    (void)user;
}

/* Serves the telegram channels named, the list ending with a null pointer. */
static inline void sut_serve_telegrams(const char *const *channels)
{
    for (; *channels != NULL; ++channels) {
        trv_sut_register(*channels, sut_listen_only, NULL);
    }
}

/* Reads the telegram waiting on the channel id into telegram (size bytes):
 * 1 when read; a bad telegram is the failing verdict of the polling WAITTIL. */
static inline int sut_read_telegram(int id, void *telegram, size_t size)
{
    TRV_T_INT type;
    return trv_channel_receive(id, &type, telegram, size) == TRV_MESSAGE_READ;
}

#endif /* SUT_TELEGRAMS_H */
