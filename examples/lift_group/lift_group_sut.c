/*
 * Simulated lift group dispatcher for lift_group.pts: two cars over twelve
 * floors of the building "tower_b". The bench runs the dispatcher in
 * compressed time: a call is served at once, and the dispatcher publishes
 * the telegrams the car would have sent on its way (arrival with the doors
 * opening, doors open) on the channel of the event structure. An
 * overloaded car keeps its doors open; a call to a car out of service
 * raises a fault telegram. Each telegram structure has its channel, named
 * after the structure and served here in-process; the bench reads the
 * telegrams through the _Init functions.
 */
#include "lift_group.h"

#include "../sut_telegrams.h"

#include <string.h>

#define CARS 2
#define BUILDING "tower_b"
#define FAULT_OUT_OF_SERVICE 7
#define EVENT_TELEGRAM 1
#define FAULT_TELEGRAM 2

lift_direction_t lift_direction[3];
long lift_trips;

static struct car {
    lift_floor floor;
    lift_doors_t doors;
    unsigned load_kg;
    int service_mode;
} cars[CARS + 1];

static int running;

static int valid_car(lift_car_id car)
{
    return car >= 1 && car <= CARS;
}

static void publish_event(lift_event_kind_t kind, lift_car_id car)
{
    lift_event_t event = {kind, car, cars[car].floor, cars[car].doors, cars[car].load_kg};
    trv_sut_answer("lift_event_t", EVENT_TELEGRAM, &event, sizeof event, 0);
}

static void raise_fault(int code, lift_car_id car, const char *text)
{
    lift_fault_t fault = {code, car, ""};
    strncpy(fault.text, text, sizeof fault.text - 1);
    trv_sut_answer("lift_fault_t", FAULT_TELEGRAM, &fault, sizeof fault, 0);
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
    publish_event(EVT_ARRIVED, car);
    cars[car].doors = DOORS_OPEN;
    publish_event(EVT_DOORS, car);
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

void trv_sut_init(void)
{
    static const char *const telegrams[] = {"lift_event_t", "lift_fault_t", NULL};
    sut_serve_telegrams(telegrams);
}

/* Called when the channel fd has a telegram: 1 when one was read. */
int lift_event_t_Init(lift_event_t *event, int fd)
{
    return sut_read_telegram(fd, event, sizeof *event);
}

int lift_fault_t_Init(lift_fault_t *fault, int fd)
{
    return sut_read_telegram(fd, fault, sizeof *fault);
}

int lift_group_start(lift_site_t site)
{
    if (site == NULL || strcmp(site, BUILDING) != 0) {
        return -1;
    }
    memset(cars, 0, sizeof cars);
    memset(lift_direction, 0, sizeof lift_direction);
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
        publish_event(EVT_OVERLOAD, car);
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
    return 0;
}
