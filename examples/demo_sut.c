/*
 * Simulated door controller for demo.pts: the front door moves through
 * DOOR_OPENING and DOOR_CLOSING, and a close command given to a door that
 * is already closed counts as a retry.
 */
#include "demo.h"

door_t front_door = {.id = 1, .state = DOOR_CLOSED, .locked = true};

static void stamp_move(door_t *door)
{
    clock_gettime(CLOCK_MONOTONIC, &door->last_move);
}

int door_open(door_t *restrict door)
{
    if (door->state == DOOR_OPEN || door->state == DOOR_OPENING) {
        return 0;
    }
    door->locked = false;
    door->state = DOOR_OPENING;
    stamp_move(door);
    return 0;
}

int door_close(door_t *door)
{
    if (door->state == DOOR_CLOSED) {
        door->retries++;
        return -1;
    }
    door->state = DOOR_CLOSING;
    stamp_move(door);
    return 0;
}

int door_retries(const door_t *door)
{
    return door->retries;
}
