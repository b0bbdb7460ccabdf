/* ring.h: a fixed-size ring buffer of ints, the library the tutorial tests. */
#ifndef RING_H
#define RING_H

#define RING_CAPACITY 4

typedef struct {
    int items[RING_CAPACITY];
    unsigned head;  /* next item to read */
    unsigned count; /* items held */
} ring_t;

void ring_init(ring_t *ring);
/* 0 when stored, -1 when the ring is full. */
int ring_put(ring_t *ring, int value);
/* 0 when an item was read into *value, -1 when the ring is empty. */
int ring_get(ring_t *ring, int *value);

extern ring_t test_ring;

#endif
