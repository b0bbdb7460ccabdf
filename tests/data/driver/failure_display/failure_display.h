/* Interface of the failure display test: enumerations, unsigned numbers, bytes and a table. */
#ifndef FAILURE_DISPLAY_H
#define FAILURE_DISPLAY_H
typedef unsigned char byte_t;
typedef enum { COLOR_RED, COLOR_GREEN, COLOR_BLUE } color_t;
typedef enum { FLAG_READ = 1, FLAG_WRITE = 2, FLAG_EXEC = 4 } flags_t;
typedef struct {
    byte_t mac[6];
    signed char delta;
    unsigned long wide;
    color_t color;
} record_t;
extern record_t rec;
extern unsigned int mask;
extern unsigned int hex_mask;
extern color_t paint;
extern flags_t access_mode;
extern byte_t blob[16];
extern byte_t other_blob[16];
extern int table[1000];
extern int counter;
unsigned int get_mask(void);
color_t get_paint(void);
#endif
