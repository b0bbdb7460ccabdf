/* The interface of a small controller link: orders go up, replies come
 * down. A reply carries either a status code or a short text, as its kind
 * says. */
#ifndef LINK_API_H
#define LINK_API_H

typedef struct {
    int seq;
    int setpoint;
} order_t;

typedef struct {
    int seq;
    int kind; /* 0: code, 1: text */
    union {
        int code;
        char text[8];
    } body;
} reply_t;

/* The link of the controller: 1 when an order went up, and 1 when a reply
 * was read, 0 when none is waiting. */
int link_write(int id, const order_t *order);
int link_read(int id, reply_t *reply);

#endif
