/*
 * Test bench of the door control unit: the interface of the DCU software
 * and the wiring of the bench that the test scripts drive it through.
 */
#ifndef DOOR_CONTROLLER_H
#define DOOR_CONTROLLER_H

#include "dcu_interface.h"

/* Addresses of the DCU on the bench network */
#define DCU_BENCH_HOST      "10.1.0.20"
#define DCU_COMMAND_PORT    5020
#define DCU_DIAG_PORT       5021
#define DCU_MVB_ADDRESS     0x0120

/* The testers of the two cars: a tester is named <instance>_<occurrence> */
#define TESTER_CAR_A        "car_a_0"
#define TESTER_CAR_B        "car_b_0"

/* Receive buffer of the links, shared by every callback */
extern char bench_rx_buffer[1024];

/* Bench supply, switched by the test scripts */
int bench_supply_on(double volts);
int bench_supply_off(void);

/* 1 when the name begins with the prefix, else 0 */
int bench_name_has_prefix(const char *name, const char *prefix);

#endif /* DOOR_CONTROLLER_H */
