/* The interface of the loopback system under test: a ping is answered by a
 * pong whose code is one more and whose value is twice the ping's. */
typedef int link_t;
typedef struct {
    int code;
    int value;
} ping_t;
link_t link_open(const char *channel);
int link_send(link_t id, const ping_t *msg);
int link_receive(link_t id, ping_t *msg); /* 1 when a message was read */
int add(int a, int b);
