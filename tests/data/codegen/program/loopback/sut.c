/* The simulated system under test of the loopback scripts: on channel LINE
 * a ping of code 1 is answered after 20 ms by a pong (code 2, value twice
 * the ping's); a ping of code 9 by a message of code 99; the faulty
 * answers: code 5 a message 4 bytes short, code 6 a frame announcing more
 * than the limit, code 7 the system closing the connection; any other code
 * is never answered. */
#include "TP.h"
#include "loopback.h"

static void answer(const char *channel, TRV_T_INT type, const void *data, size_t size, void *user)
{
    const ping_t *ping = (const ping_t *)data;
    ping_t pong;
    (void)user;
    if (type != 1 || size != sizeof(ping_t)) {
        return;
    }
    if (ping->code == 1) {
        pong.code = 2;
        pong.value = ping->value * 2;
        trv_sut_answer(channel, 1, &pong, sizeof pong, 20);
    } else if (ping->code == 9) {
        pong.code = 99;
        pong.value = 0;
        trv_sut_answer(channel, 1, &pong, sizeof pong, 0);
    } else if (ping->code == 5) {
        pong.code = 2;
        pong.value = 0;
        trv_sut_answer(channel, 1, &pong, sizeof pong - 4, 0);
    } else if (ping->code == 6) {
        static const unsigned char huge[8] = {0x7f, 0xff, 0xff, 0xff, 0, 0, 0, 1};
        trv_sut_answer_raw(channel, huge, sizeof huge, 0);
    } else if (ping->code == 7) {
        trv_sut_close(channel, 10);
    }
}

void trv_sut_init(void)
{
    trv_sut_register("LINE", answer, NULL);
}

link_t link_open(const char *channel)
{
    return trv_channel_open(channel);
}

int link_send(link_t id, const ping_t *msg)
{
    return trv_channel_send(id, 1, msg, sizeof *msg);
}

int link_receive(link_t id, ping_t *msg)
{
    TRV_T_INT type = 0;
    return trv_channel_receive(id, &type, msg, sizeof *msg) == TRV_MESSAGE_READ;
}

int add(int a, int b)
{
    return a + b;
}
