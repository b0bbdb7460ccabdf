/* ring.c: the ring buffer library. */
#include "ring.h"

ring_t test_ring;

void ring_init(ring_t *ring)
{
    ring->head = 0;
    ring->count = 0;
}

int ring_put(ring_t *ring, int value)
{
    if (ring->count == RING_CAPACITY) {
        return -1;
    }
    ring->items[(ring->head + ring->count) % RING_CAPACITY] = value;
    ring->count++;
    return 0;
}

int ring_get(ring_t *ring, int *value)
{
    if (ring->count == 0) {
        return -1;
    }
    *value = ring->items[ring->head];
    ring->head = (ring->head + 1) % RING_CAPACITY;
    ring->count--;
    return 0;
}
