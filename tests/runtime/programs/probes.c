/* Records a probe file and reads one back, the way an instrumented
 * application and a replay do:
 *   probes write <prefix> <instance> <records> <p1>  records of varied lengths, a selector, the end
 *   probes kill|segv|exit <prefix> <instance>        flushed records, then an end without trv_end_probe
 *   probes full <prefix> <instance>                  records past a file size limit
 *   probes read <file>                               one line per record, then "end records <n> damaged <0|1>" */
#include "TP.h"
#include "probecst.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#define SELECTOR_CODE 5u
#define SELECTOR_VALUE 0xa1b2c3d4u
#define FIRST_CODE 1000u
#define MESSAGE_MAX (1024u * 1024u)

static const TRV_T_UINT lengths[] = {0, 1, 7, 100, 4096, 65512, 65513, MESSAGE_MAX, 0, 10};

static unsigned char pattern(TRV_T_UINT record, TRV_T_UINT at)
{
    return (unsigned char)(record * 31u + at);
}

static void record(TRV_PT_PRB prb, TRV_T_UINT index, TRV_T_UINT length)
{
    static unsigned char message[MESSAGE_MAX + 1];
    TRV_T_UINT at;
    for (at = 0; at < length; ++at) {
        message[at] = pattern(index, at);
    }
    trv_write_probe(prb, FIRST_CODE + index, index * 7u, message, length);
}

static int write_many(TRV_PT_CAR prefix, TRV_PT_CAR instance, TRV_T_UINT count, TRV_T_INT p1)
{
    TRV_PT_PRB prb = trv_create_probe(prefix, instance, p1);
    TRV_T_UINT i;
    if (prb == NULL) {
        return 1;
    }
    for (i = 0; i < count; ++i) {
        record(prb, i, lengths[i % (sizeof lengths / sizeof lengths[0])]);
        if (i == 2) {
            trv_write_key(prb, SELECTOR_CODE, SELECTOR_VALUE);
            record(prb, 999, MESSAGE_MAX + 1); /* refused */
        }
    }
    trv_end_probe(prb);
    return 0;
}

/* Ten records flushed, five more buffered, then the end named by how. */
static int die(const char *how, TRV_PT_CAR prefix, TRV_PT_CAR instance)
{
    TRV_PT_PRB prb = trv_create_probe(prefix, instance, strcmp(how, "kill") == 0 ? 10 : 0);
    TRV_T_UINT i;
    for (i = 0; i < 15; ++i) {
        record(prb, i, 10);
    }
    if (strcmp(how, "kill") == 0) {
        kill(getpid(), SIGKILL);
    } else if (strcmp(how, "segv") == 0) {
        raise(SIGSEGV);
    }
    exit(0);
}

static int fill(TRV_PT_CAR prefix, TRV_PT_CAR instance)
{
    struct rlimit limit = {4096, 4096};
    TRV_PT_PRB prb;
    TRV_T_UINT i;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    prb = trv_create_probe(prefix, instance, 0);
    for (i = 0; i < 200; ++i) {
        record(prb, i, 100);
    }
    trv_end_probe(prb);
    return 0;
}

static int message_ok(TRV_T_UINT code, TRV_T_UINT key, const unsigned char *message, TRV_T_UINT length)
{
    TRV_T_UINT at;
    if (code == SELECTOR_CODE) {
        TRV_T_UINT value;
        memcpy(&value, message, sizeof value);
        return key == 0 && length == sizeof value && value == SELECTOR_VALUE;
    }
    if (code < FIRST_CODE || key != (code - FIRST_CODE) * 7u) {
        return 0;
    }
    for (at = 0; at < length; ++at) {
        if (message[at] != pattern(code - FIRST_CODE, at)) {
            return 0;
        }
    }
    return 1;
}

static int read_back(TRV_PT_CAR path)
{
    TRV_PT_PRB prb = trv_open_probe(NULL, path, "replay.rio", "probe", NULL);
    TRV_T_DATE time, previous = {0, 0};
    TRV_T_UINT code, key;
    void *message;
    unsigned long count = 0;
    while (trv_read_probe(prb, &time, &code, &key, &message)) {
        int in_order = time.trv_sec > previous.trv_sec ||
                       (time.trv_sec == previous.trv_sec && time.trv_nsec >= previous.trv_nsec);
        printf("record %lu code %u length %u %s%s\n", ++count, code, trv_probe_length(prb),
               message_ok(code, key, message, trv_probe_length(prb)) ? "same" : "changed",
               in_order ? "" : " out of order");
        previous = time;
    }
    trv_close_probe(prb);
    printf("end records %lu damaged %d\n", count, trv_probe_damaged());
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "read") == 0) {
        return read_back(argv[2]);
    }
    if (argc == 6 && strcmp(argv[1], "write") == 0) {
        return write_many(argv[2], argv[3], (TRV_T_UINT)atoi(argv[4]), atoi(argv[5]));
    }
    if (argc == 4 && strcmp(argv[1], "full") == 0) {
        return fill(argv[2], argv[3]);
    }
    if (argc == 4) {
        return die(argv[1], argv[2], argv[3]);
    }
    fprintf(stderr, "usage: probes read|write|kill|segv|exit|full ...\n");
    return 2;
}
