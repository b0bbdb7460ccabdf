/*
 * Test bench of the lift group controller: the dispatcher of two lift cars
 * serving one building, with the events it reports to the bench.
 */
#ifndef LIFT_GROUP_H
#define LIFT_GROUP_H

#define LIFT_FLOORS                12
#define LIFT_LOBBY                  0
#define LIFT_DOOR_TIME_MS        3000
#define LIFT_TRAVEL_MS_PER_FLOOR 1500
#define LIFT_MAX_TRIP_MS        (LIFT_DOOR_TIME_MS + LIFT_FLOORS * LIFT_TRAVEL_MS_PER_FLOOR)
#define LIFT_RATED_LOAD_KG       1000

/* Virtual testers of the bench: one per lift car */
#define TESTER_CAR_1   1
#define TESTER_CAR_2   2

typedef int lift_car_id;
typedef int lift_floor;
typedef long lift_millis;
typedef unsigned int lift_wait_ms;    /* a wait's limit in ms, compared with clocks of both signs */
typedef const char *lift_site_t;

typedef enum { DIR_IDLE, DIR_UP, DIR_DOWN } lift_direction_t;
typedef enum { DOORS_CLOSED, DOORS_OPENING, DOORS_OPEN, DOORS_CLOSING } lift_doors_t;
typedef enum { EVT_ARRIVED = 1, EVT_DOORS, EVT_OVERLOAD } lift_event_kind_t;

/* Event telegram of the dispatcher */
typedef struct {
    lift_event_kind_t kind;
    lift_car_id car;
    lift_floor floor;
    lift_doors_t doors;
    unsigned load_kg;
} lift_event_t;

/* Fault telegram of the dispatcher */
typedef struct {
    int code;
    lift_car_id car;
    char text[40];
} lift_fault_t;

/* Readers of the telegrams, called when their socket has data */
int lift_event_t_Init(lift_event_t *event, int fd);
int lift_fault_t_Init(lift_fault_t *fault, int fd);

/* The dispatcher under test */
int lift_group_start(lift_site_t site);
int lift_group_stop(void);
int lift_hall_call(lift_floor floor, lift_direction_t direction);
int lift_car_call(lift_car_id car, lift_floor floor);
lift_floor lift_car_floor(lift_car_id car);
lift_doors_t lift_car_doors(lift_car_id car);
int lift_set_load(lift_car_id car, unsigned kg);
int lift_set_service_mode(lift_car_id car, int on);
int lift_clear_faults(void);

extern lift_direction_t lift_direction[3];
extern long lift_trips;

#endif /* LIFT_GROUP_H */
