/* A controller application instrumented with the probe header that
 * qvmprepro writes for link.pts (-PROBE=DEFAULT or -PROBE=CUSTOM): it
 * records the orders it sends up and the replies it reads back down.
 *
 *   link_app [path]    records the instance "ctrl" under path ("app_" when
 *                      not given): DEFAULT decodes each record at once
 *                      into <path>ctrl.rio, CUSTOM writes <path>ctrl.prb. */
#include "link_api.h"
#include "link.h"

#include <string.h>

/* What the controller reads from its link: a code, then a text. */
static void read_reply(reply_t *reply, int seq)
{
    memset(reply, 0, sizeof *reply);
    reply->seq = seq;
    reply->kind = seq == 1 ? 0 : 1;
    if (reply->kind == 0) {
        reply->body.code = 200;
    } else {
        strcpy(reply->body.text, "late");
    }
}

int main(int argc, char **argv)
{
    char *path = argc > 1 ? argv[1] : "app_";
    TRV_CTX_PRB probe;
    int seq;
    trv_start_trace(probe, path, ctrl, 0);
    for (seq = 1; seq <= 2; ++seq) {
        order_t order;
        reply_t reply;
        order.seq = seq;
        order.setpoint = 40 + seq;
        trv_send_trace(probe, up, &order, order_t, order);
        read_reply(&reply, seq);
        /* The union of a reply holds what its kind says: the replay dumps that member. */
        trv_select_trace(probe, TRV_SEL_reply_t_body, (TRV_T_UINT)reply.kind);
        trv_recv_trace(probe, down, &reply, reply_t, reply);
    }
    trv_end_trace(probe);
    return 0;
}
