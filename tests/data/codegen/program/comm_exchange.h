typedef int link_t;
typedef struct {
    int code;
    int value;
} ping_t;
int link_send(link_t id, const ping_t *msg);
int link_receive(link_t id, ping_t *msg);
