/* The link of the round-trip benchmark: fixed-size pings over TCP to an
 * echo server, and the clock readings the script takes around its waits. */
#ifndef RTT_H
#define RTT_H

typedef struct {
    int seq;
    int value;
    char pad[24];
} ping_t;

/* A connected socket to 127.0.0.1:RTT_PORT, -1 when it cannot connect. */
int rtt_connect(void);
/* 0 when the whole ping went out. */
int rtt_send(int fd, const ping_t *ping);
/* 1 when a whole ping was read, 0 when none came within patience_ms, -1
 * when the link failed. */
int rtt_receive(int fd, ping_t *ping, int patience_ms);
void rtt_close(int fd);

/* How many round trips and how many timed waits the run makes (RTT_ROUNDS,
 * RTT_WAITS). */
int rtt_rounds(void);
int rtt_waits(void);

/* Marks the start of a timed span; rtt_lap records the span that ends now. */
void rtt_mark(void);
void rtt_lap(void);
/* Prints "rounds_per_s N" for the spans recorded as round trips, or the
 * median and 99th percentile of the spans (in microseconds) for waits, to
 * the file RTT_REPORT (standard output when unset). */
void rtt_report_rate(int rounds);
void rtt_report_lateness(int expected_ms);

#endif
