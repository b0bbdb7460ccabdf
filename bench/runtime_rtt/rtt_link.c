/* The benchmark's side of the link: TCP with Nagle off, and the clock. */
#include "rtt.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#define RTT_MAX_LAPS 100000

static double rtt_started;
static double rtt_laps[RTT_MAX_LAPS];
static int rtt_lap_count;

static int rtt_env(const char *name, int fallback)
{
    const char *value = getenv(name);
    return value != NULL && atoi(value) > 0 ? atoi(value) : fallback;
}

static double rtt_now_us(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1e6 + (double)now.tv_nsec / 1e3;
}

int rtt_connect(void)
{
    struct sockaddr_in address;
    int on = 1;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)rtt_env("RTT_PORT", 0));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (struct sockaddr *)&address, sizeof address) != 0) {
        close(fd);
        return -1;
    }
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

int rtt_send(int fd, const ping_t *ping)
{
    return send(fd, ping, sizeof *ping, 0) == (ssize_t)sizeof *ping ? 0 : -1;
}

int rtt_receive(int fd, ping_t *ping, int patience_ms)
{
    struct pollfd waited;
    waited.fd = fd;
    waited.events = POLLIN;
    waited.revents = 0;
    if (poll(&waited, 1, patience_ms) <= 0) {
        return 0;
    }
    return recv(fd, ping, sizeof *ping, MSG_WAITALL) == (ssize_t)sizeof *ping ? 1 : -1;
}

void rtt_close(int fd)
{
    close(fd);
}

int rtt_rounds(void)
{
    return rtt_env("RTT_ROUNDS", 10000);
}

int rtt_waits(void)
{
    return rtt_env("RTT_WAITS", 1000);
}

void rtt_mark(void)
{
    rtt_started = rtt_now_us();
}

void rtt_lap(void)
{
    if (rtt_lap_count < RTT_MAX_LAPS) {
        rtt_laps[rtt_lap_count++] = rtt_now_us() - rtt_started;
    }
}

static FILE *rtt_report_file(void)
{
    const char *name = getenv("RTT_REPORT");
    FILE *file = name != NULL ? fopen(name, "w") : NULL;
    return file != NULL ? file : stdout;
}

static void rtt_report_close(FILE *file)
{
    if (file != stdout) {
        fclose(file);
    }
}

void rtt_report_rate(int rounds)
{
    FILE *file = rtt_report_file();
    double total = rtt_lap_count > 0 ? rtt_laps[rtt_lap_count - 1] : 0.0;
    fprintf(file, "rounds_per_s %.0f\n", total > 0.0 ? rounds * 1e6 / total : 0.0);
    rtt_report_close(file);
    rtt_lap_count = 0;
}

static int rtt_by_value(const void *a, const void *b)
{
    const double x = *(const double *)a;
    const double y = *(const double *)b;
    return (x > y) - (x < y);
}

void rtt_report_lateness(int expected_ms)
{
    FILE *file = rtt_report_file();
    int i;
    for (i = 0; i < rtt_lap_count; ++i) {
        rtt_laps[i] -= expected_ms * 1000.0;
    }
    qsort(rtt_laps, (size_t)rtt_lap_count, sizeof rtt_laps[0], rtt_by_value);
    if (rtt_lap_count > 0) {
        fprintf(file, "late_median_us %.0f\nlate_p99_us %.0f\nlate_max_us %.0f\n", rtt_laps[rtt_lap_count / 2],
                rtt_laps[(rtt_lap_count * 99) / 100], rtt_laps[rtt_lap_count - 1]);
    }
    rtt_report_close(file);
    rtt_lap_count = 0;
}
