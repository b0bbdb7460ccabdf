#include "scenarios.h"
int motor_inits;
/* Markup, a control character and a byte that is no UTF-8, for the JUnit file. */
char label[16] = "a<b&c\001\377";
int motor_speed(int motor) { return 10 * motor; }
