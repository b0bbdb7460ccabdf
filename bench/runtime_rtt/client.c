/* The yardstick of the round-trip benchmark: the same exchange as rtt.pts,
 * written by hand, with blocking reads and no trace. */
#include "rtt.h"

#include <stdio.h>
#include <sys/socket.h>

int main(void)
{
    ping_t ping = {0, 7, {0}};
    ping_t answer;
    const int rounds = rtt_rounds();
    int fd = rtt_connect();
    int i;
    if (fd < 0) {
        perror("client");
        return 1;
    }
    rtt_mark();
    for (i = 0; i < rounds; ++i) {
        ping.seq = i;
        if (rtt_send(fd, &ping) != 0 ||
            recv(fd, &answer, sizeof answer, MSG_WAITALL) != (ssize_t)sizeof answer || answer.seq != i) {
            fprintf(stderr, "client: round %d failed\n", i);
            return 1;
        }
    }
    rtt_lap();
    rtt_report_rate(rounds);
    rtt_close(fd);
    return 0;
}
