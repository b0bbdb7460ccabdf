/* The system under test of the failure display test: values a check shows. */
#include "failure_display.h"

record_t rec = {{0x00, 0x79, 0xff, 1, 2, 3}, -3, 0xffffffffffffffffUL, COLOR_BLUE};
unsigned int mask = 0xffffffffu;
unsigned int hex_mask = 0xffffffffu;
color_t paint = COLOR_BLUE;
flags_t access_mode = (flags_t)(FLAG_READ | FLAG_EXEC);
byte_t blob[16] = {0x00, 0x79, 0xff, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
byte_t other_blob[16] = {0x00, 0x79, 0xff, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13};
int table[1000];
int counter = 7;

unsigned int get_mask(void)
{
    return 0xffffffffu;
}

color_t get_paint(void)
{
    return COLOR_BLUE;
}
