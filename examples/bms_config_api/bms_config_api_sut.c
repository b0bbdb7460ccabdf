/*
 * Simulated battery management library for bms_config_api.pts, with the
 * bench's cell simulator. bms_init loads the bench pack (16 NMC cells);
 * every measurement call runs one measurement cycle: the cells and sensors
 * of the simulator are copied into the library's tables, the status is
 * recomputed and the alarms are raised.
 */
#include "bms_config_api.h"
#include "../sut_log.h"

#include <string.h>

#define BENCH_PACK_FILE "pack_16s.cfg"
#define IMBALANCE_MV 300
#define EMPTY_CELL_MV 3200
#define FULL_CELL_MV 4200
#define ROOM_TEMPERATURE_C 25.0f

bms_pack_config_t bms_config;
bms_status_t bms_status;
bms_alarm_t bms_last_alarm;
unsigned short bms_cell_mv[BMS_MAX_CELLS];
char bms_serial[BMS_SERIAL_LENGTH];
bms_state_t bms_state = BMS_OFF;
unsigned int bms_fault_flags;
unsigned char bms_crc_table[256];
const char *bms_last_error;

static int locked = 1;
static unsigned short sim_cells[BMS_MAX_CELLS];
static float sim_sensors[BMS_MAX_SENSORS] = {ROOM_TEMPERATURE_C, ROOM_TEMPERATURE_C, ROOM_TEMPERATURE_C,
                                             ROOM_TEMPERATURE_C};

static bms_result_t refuse(bms_result_t result, const char *why)
{
    bms_last_error = why;
    return result;
}

/* CRC-8 with the polynomial x^8 + x^2 + x + 1, as the pack bus uses it. */
static void fill_crc_table(void)
{
    for (int byte = 0; byte < 256; byte++) {
        unsigned char crc = (unsigned char)byte;
        for (int bit = 0; bit < 8; bit++) {
            crc = (unsigned char)((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
        }
        bms_crc_table[byte] = crc;
    }
}

static int ends_with(const char *text, const char *end)
{
    size_t length = strlen(text), end_length = strlen(end);
    return length >= end_length && strcmp(text + length - end_length, end) == 0;
}

static void raise_alarm(unsigned int flag)
{
    memset(&bms_last_alarm, 0, sizeof bms_last_alarm);
    bms_last_alarm.flag = flag;
    bms_fault_flags |= flag;
}

static void measure_cells(void)
{
    int cells = bms_config.cell_count;
    bms_status.pack_mv = 0;
    bms_status.min_cell = bms_status.max_cell = 0;
    for (int cell = 0; cell < cells; cell++) {
        bms_cell_mv[cell] = sim_cells[cell];
        bms_status.pack_mv += sim_cells[cell];
        if (sim_cells[cell] < sim_cells[bms_status.min_cell]) {
            bms_status.min_cell = (unsigned char)cell;
        }
        if (sim_cells[cell] > sim_cells[bms_status.max_cell]) {
            bms_status.max_cell = (unsigned char)cell;
        }
    }
    bms_status.min_cell_mv = bms_cell_mv[bms_status.min_cell];
    bms_status.max_cell_mv = bms_cell_mv[bms_status.max_cell];
    if (bms_status.max_cell_mv - bms_status.min_cell_mv >= IMBALANCE_MV) {
        raise_alarm(BMS_FAULT_IMBALANCE);
        bms_last_alarm.where.voltage.cell = bms_status.max_cell;
        bms_last_alarm.where.voltage.mv = bms_status.max_cell_mv;
    }
}

static void measure_temperatures(void)
{
    for (int sensor = 0; sensor < BMS_MAX_SENSORS; sensor++) {
        bms_status.temperatures_c[sensor] = sim_sensors[sensor];
        if (sim_sensors[sensor] > bms_config.temperature_max_c[sensor]) {
            raise_alarm(BMS_FAULT_OVERTEMP);
            bms_last_alarm.where.temperature.sensor = (unsigned char)sensor;
            bms_last_alarm.where.temperature.celsius = sim_sensors[sensor];
            bms_state = BMS_FAULT;
        }
    }
}

/* The fault flags say what the cycle found now; the last alarm stays. */
static void measurement_cycle(void)
{
    if (bms_state == BMS_OFF) {
        return;
    }
    bms_fault_flags = 0;
    if (bms_state == BMS_FAULT) {
        bms_state = BMS_STANDBY;
    }
    measure_cells();
    measure_temperatures();
    bms_status.state = bms_state;
}

bms_result_t bms_init(const char *config_path)
{
    bms_fault_flags = 0;
    bms_last_error = NULL;
    if (config_path == NULL || !ends_with(config_path, BENCH_PACK_FILE)) {
        bms_state = BMS_OFF;
        return refuse(BMS_E_CONFIG, "configuration file not found");
    }
    fill_crc_table();
    strcpy(bms_serial, "BMS-0042");
    bms_load_defaults(CHEM_NMC);
    locked = 1;
    bms_state = BMS_STANDBY;
    measurement_cycle();
    return BMS_OK;
}

void bms_shutdown(void)
{
    bms_state = BMS_OFF;
    bms_status.state = BMS_OFF;
}

const char *bms_version(void)
{
    return "2.1.0";
}

bms_result_t bms_load_defaults(bms_chemistry_t chemistry)
{
    static const struct {
        const char *name;
        bms_cell_limits_t limits;
        float low_sensors_c, high_sensors_c;
        double capacity_ah;
    } defaults[] = {
        [CHEM_LFP] = {"LFP-16S", {2500, 3650, 3400}, 55.0f, 60.0f, 100.0},
        [CHEM_NMC] = {"NMC-16S", {3000, 4200, 4050}, 45.0f, 45.0f, 94.0},
        [CHEM_LTO] = {"LTO-16S", {1800, 2800, 2650}, 55.0f, 55.0f, 40.0},
    };
    if ((unsigned)chemistry > CHEM_LTO) {
        return refuse(BMS_E_RANGE, "unknown chemistry");
    }
    memset(&bms_config, 0, sizeof bms_config);
    strcpy(bms_config.name, defaults[chemistry].name);
    bms_config.chemistry = chemistry;
    bms_config.cell_count = BMS_MAX_CELLS;
    bms_config.limits = defaults[chemistry].limits;
    for (int sensor = 0; sensor < BMS_MAX_SENSORS; sensor++) {
        bms_config.temperature_max_c[sensor] = sensor < 2 ? defaults[chemistry].low_sensors_c
                                                          : defaults[chemistry].high_sensors_c;
    }
    bms_config.capacity_ah = defaults[chemistry].capacity_ah;
    bms_config.active_balancing = 0;
    bms_config.balancing.passive.resistor_ohm = 33;
    bms_config.balancing.passive.duty_percent = 30;
    return BMS_OK;
}

bms_result_t bms_get_config(bms_pack_config_t *config)
{
    *config = bms_config;
    return BMS_OK;
}

bms_result_t bms_set_config(const bms_pack_config_t *config)
{
    if (locked) {
        return refuse(BMS_E_LOCKED, "configuration locked");
    }
    if (config->cell_count == 0 || config->cell_count > BMS_MAX_CELLS) {
        return refuse(BMS_E_RANGE, "cell count out of range");
    }
    bms_config = *config;
    bms_config.name[BMS_NAME_LENGTH - 1] = '\0';
    return BMS_OK;
}

bms_result_t bms_set_name(const char *name)
{
    if (locked) {
        return refuse(BMS_E_LOCKED, "configuration locked");
    }
    strncpy(bms_config.name, name, BMS_NAME_LENGTH - 1);
    bms_config.name[BMS_NAME_LENGTH - 1] = '\0';
    return BMS_OK;
}

bms_result_t bms_set_cell_count(int cells)
{
    if (locked) {
        return refuse(BMS_E_LOCKED, "configuration locked");
    }
    if (cells < 1 || cells > BMS_MAX_CELLS) {
        return refuse(BMS_E_RANGE, "cell count out of range");
    }
    bms_config.cell_count = (unsigned char)cells;
    return BMS_OK;
}

bms_result_t bms_lock(unsigned long key)
{
    if (key != BMS_UNLOCK_KEY) {
        return refuse(BMS_E_LOCKED, "wrong key");
    }
    locked = 1;
    return BMS_OK;
}

bms_result_t bms_unlock(unsigned long key)
{
    if (key != BMS_UNLOCK_KEY) {
        return refuse(BMS_E_LOCKED, "wrong key");
    }
    locked = 0;
    return BMS_OK;
}

bms_result_t bms_read_cell(int cell, unsigned short *millivolts)
{
    if (cell < 0 || cell >= bms_config.cell_count) {
        return refuse(BMS_E_RANGE, "no such cell");
    }
    measurement_cycle();
    *millivolts = bms_cell_mv[cell];
    return BMS_OK;
}

bms_result_t bms_read_temperature(int sensor, float *celsius)
{
    if (sensor < 0 || sensor >= BMS_MAX_SENSORS) {
        return refuse(BMS_E_RANGE, "no such sensor");
    }
    measurement_cycle();
    *celsius = bms_status.temperatures_c[sensor];
    return BMS_OK;
}

long bms_pack_voltage_mv(void)
{
    measurement_cycle();
    return bms_status.pack_mv;
}

/* Linear between an empty and a full cell, from the mean cell voltage. */
double bms_state_of_charge(void)
{
    measurement_cycle();
    if (bms_config.cell_count == 0) {
        return 0.0;
    }
    double mean_mv = (double)bms_status.pack_mv / bms_config.cell_count;
    double soc = (mean_mv - EMPTY_CELL_MV) / (FULL_CELL_MV - EMPTY_CELL_MV);
    return soc < 0.0 ? 0.0 : soc > 1.0 ? 1.0 : soc;
}

/* Bit n set: cell n is above the balancing threshold and bleeds. */
int bms_balancing_mask(void)
{
    measurement_cycle();
    int mask = 0;
    for (int cell = 0; cell < bms_config.cell_count; cell++) {
        if (bms_cell_mv[cell] > bms_config.limits.balance_start_mv) {
            mask |= 1 << cell;
        }
    }
    return mask;
}

int bms_log(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int written = sut_log_line("bms", format, arguments);
    va_end(arguments);
    return written;
}

int sim_set_cell(int cell, unsigned short millivolts)
{
    if (cell < 0 || cell >= BMS_MAX_CELLS) {
        return -1;
    }
    sim_cells[cell] = millivolts;
    return 0;
}

int sim_set_all_cells(unsigned short millivolts)
{
    for (int cell = 0; cell < BMS_MAX_CELLS; cell++) {
        sim_cells[cell] = millivolts;
    }
    return 0;
}

int sim_set_temperature(int sensor, float celsius)
{
    if (sensor < 0 || sensor >= BMS_MAX_SENSORS) {
        return -1;
    }
    sim_sensors[sensor] = celsius;
    return 0;
}
