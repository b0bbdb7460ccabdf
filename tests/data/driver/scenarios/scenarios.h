#ifndef SCENARIOS_H
#define SCENARIOS_H
extern int motor_inits;
extern char label[16];
int motor_speed(int motor);
#endif
