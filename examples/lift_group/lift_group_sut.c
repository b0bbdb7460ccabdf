/*
 * Simulated lift group dispatcher for lift_group.pts: two cars over twelve
 * floors of the building "tower_b". The bench runs the dispatcher in
 * compressed time: a call is served at once, and the dispatcher queues the
 * telegrams the car would have sent on its way (arrival with the doors
 * opening, doors open). An overloaded car keeps its doors open; a call to
 * a car out of service raises a fault telegram.
 */
#include "lift_group.h"

#include <string.h>

#define CARS 2
#define EVENT_QUEUE 32
#define BUILDING "tower_b"
#define FAULT_OUT_OF_SERVICE 7

lift_direction_t lift_direction[3];
long lift_trips;

static struct car {
    lift_floor floor;
    lift_doors_t doors;
    unsigned load_kg;
    int service_mode;
} cars[CARS + 1];

static lift_event_t events[EVENT_QUEUE];
static int event_count;
static lift_fault_t pending_fault;
static int fault_pending;
static int running;

static int valid_car(lift_car_id car)
{
    return car >= 1 && car <= CARS;
}

static void queue_event(lift_event_kind_t kind, lift_car_id car)
{
    if (event_count == EVENT_QUEUE) {
        memmove(events, events + 1, (EVENT_QUEUE - 1) * sizeof events[0]);
        event_count--;
    }
    lift_event_t *event = &events[event_count++];
    event->kind = kind;
    event->car = car;
    event->floor = cars[car].floor;
    event->doors = cars[car].doors;
    event->load_kg = cars[car].load_kg;
}

static void raise_fault(int code, lift_car_id car, const char *text)
{
    pending_fault.code = code;
    pending_fault.car = car;
    strncpy(pending_fault.text, text, sizeof pending_fault.text - 1);
    fault_pending = 1;
}

/* The car travels to the floor, stops, and opens its doors. */
static int serve(lift_car_id car, lift_floor floor)
{
    if (!running || !valid_car(car) || floor < 0 || floor >= LIFT_FLOORS) {
        return -1;
    }
    if (cars[car].service_mode) {
        raise_fault(FAULT_OUT_OF_SERVICE, car, "car out of service");
        return -1;
    }
    if (cars[car].floor != floor) {
        cars[car].doors = DOORS_CLOSED;
        lift_direction[car] = floor > cars[car].floor ? DIR_UP : DIR_DOWN;
        cars[car].floor = floor;
        lift_trips++;
    }
    lift_direction[car] = DIR_IDLE;
    cars[car].doors = DOORS_OPENING;
    queue_event(EVT_ARRIVED, car);
    cars[car].doors = DOORS_OPEN;
    queue_event(EVT_DOORS, car);
    return 0;
}

static lift_car_id nearest_car(lift_floor floor)
{
    lift_car_id best = 0;
    for (lift_car_id car = 1; car <= CARS; car++) {
        int distance = cars[car].floor > floor ? cars[car].floor - floor : floor - cars[car].floor;
        int best_distance = best == 0 ? LIFT_FLOORS + 1
                                      : (cars[best].floor > floor ? cars[best].floor - floor : floor - cars[best].floor);
        if (!cars[car].service_mode && distance < best_distance) {
            best = car;
        }
    }
    return best;
}

int lift_event_t_Init(lift_event_t *event, int fd)
{
    (void)fd;  /* the dispatcher has one event socket */
    if (event_count == 0) {
        return 0;
    }
    *event = events[0];
    memmove(events, events + 1, (size_t)(event_count - 1) * sizeof events[0]);
    event_count--;
    return 1;
}

int lift_fault_t_Init(lift_fault_t *fault, int fd)
{
    (void)fd;
    if (!fault_pending) {
        return 0;
    }
    *fault = pending_fault;
    fault_pending = 0;
    return 1;
}

int lift_group_start(lift_site_t site)
{
    if (site == NULL || strcmp(site, BUILDING) != 0) {
        return -1;
    }
    memset(cars, 0, sizeof cars);
    memset(lift_direction, 0, sizeof lift_direction);
    event_count = 0;
    running = 1;
    return 0;
}

int lift_group_stop(void)
{
    if (!running) {
        return -1;
    }
    running = 0;
    return 0;
}

int lift_hall_call(lift_floor floor, lift_direction_t direction)
{
    if (direction != DIR_UP && direction != DIR_DOWN) {
        return -1;
    }
    lift_car_id car = nearest_car(floor);
    return car == 0 ? -1 : serve(car, floor);
}

int lift_car_call(lift_car_id car, lift_floor floor)
{
    return serve(car, floor);
}

lift_floor lift_car_floor(lift_car_id car)
{
    return valid_car(car) ? cars[car].floor : -1;
}

lift_doors_t lift_car_doors(lift_car_id car)
{
    return valid_car(car) ? cars[car].doors : DOORS_CLOSED;
}

int lift_set_load(lift_car_id car, unsigned kg)
{
    if (!valid_car(car)) {
        return -1;
    }
    cars[car].load_kg = kg;
    if (kg > LIFT_RATED_LOAD_KG) {
        cars[car].doors = DOORS_OPEN;
        queue_event(EVT_OVERLOAD, car);
    }
    return 0;
}

int lift_set_service_mode(lift_car_id car, int on)
{
    if (!valid_car(car)) {
        return -1;
    }
    cars[car].service_mode = on != 0;
    return 0;
}

int lift_clear_faults(void)
{
    fault_pending = 0;
    return 0;
}
