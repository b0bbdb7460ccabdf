/* The replay of a session recorded in CUSTOM mode: every probe file
 * <path><instance>.prb becomes the trace <riopath><instance>.rio, decoded
 * by the code qvmprepro generated for link.pts.
 *
 *   link_replay path riopath */
#include "link_api.h"
#include "link.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        fputs("usage: link_replay <probe path> <trace path>\n", stderr);
        return 2;
    }
    return trv_dump_trace(argv[1], argv[2]);
}
