/*
 * Configuration and measurement API of the battery management system
 * (BMS) library, as the test bench links it. The variables are the
 * library's own state, exported for white-box checks.
 */
#ifndef BMS_CONFIG_API_H
#define BMS_CONFIG_API_H

#include "bms_types.h"

/* Library life cycle */
bms_result_t bms_init(const char *config_path);
void bms_shutdown(void);
const char *bms_version(void);

/* Pack configuration */
bms_result_t bms_load_defaults(bms_chemistry_t chemistry);
bms_result_t bms_get_config(bms_pack_config_t *config);
bms_result_t bms_set_config(const bms_pack_config_t *config);
bms_result_t bms_set_name(const char *name);
bms_result_t bms_set_cell_count(int cells);
bms_result_t bms_lock(unsigned long key);
bms_result_t bms_unlock(unsigned long key);

/* Measurements, fed by the bench's cell simulator */
bms_result_t bms_read_cell(int cell, unsigned short *millivolts);
bms_result_t bms_read_temperature(int sensor, float *celsius);
long bms_pack_voltage_mv(void);
double bms_state_of_charge(void);
int bms_balancing_mask(void);
int bms_log(const char *format, ...);

/* Bench cell simulator */
int sim_set_cell(int cell, unsigned short millivolts);
int sim_set_all_cells(unsigned short millivolts);
int sim_set_temperature(int sensor, float celsius);

/* State of the library */
extern bms_pack_config_t bms_config;
extern bms_status_t bms_status;
extern bms_alarm_t bms_last_alarm;
extern unsigned short bms_cell_mv[BMS_MAX_CELLS];
extern char bms_serial[BMS_SERIAL_LENGTH];
extern bms_state_t bms_state;
extern unsigned int bms_fault_flags;
extern unsigned char bms_crc_table[256];
extern const char *bms_last_error;

#endif /* BMS_CONFIG_API_H */
