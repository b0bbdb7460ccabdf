/* One message type on one link. */
typedef struct {
    int seq;
    short data[2];
} ping_t;
void link_write(int id);
