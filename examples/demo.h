/* Interface of a small door controller, as the system under test exports it. */
#ifndef DEMO_H
#define DEMO_H

#include <stdbool.h>
#include <stdint.h>
#include <time.h>

#define DOOR_MAX_RETRIES 3

typedef enum { DOOR_CLOSED = 0, DOOR_OPENING, DOOR_OPEN, DOOR_CLOSING } door_state_t;

typedef struct {
    uint16_t id;
    door_state_t state;
    int retries;
    bool locked;
    struct timespec last_move;
} door_t;

extern door_t front_door;

int door_open(door_t *restrict door);
int door_close(door_t *door);
int door_retries(const door_t *door);

#endif
