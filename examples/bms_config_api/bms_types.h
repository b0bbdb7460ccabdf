/*
 * Types of the battery management system library.
 */
#ifndef BMS_TYPES_H
#define BMS_TYPES_H

#define BMS_MAX_CELLS       16
#define BMS_MAX_SENSORS      4
#define BMS_NAME_LENGTH     16
#define BMS_SERIAL_LENGTH   12
#define BMS_UNLOCK_KEY      0xB17E5AFEUL

typedef enum {
    BMS_OK = 0,
    BMS_E_RANGE,
    BMS_E_LOCKED,
    BMS_E_NOT_READY,
    BMS_E_CONFIG
} bms_result_t;

typedef enum { CHEM_LFP, CHEM_NMC, CHEM_LTO } bms_chemistry_t;

typedef enum { BMS_OFF, BMS_STANDBY, BMS_CHARGING, BMS_DISCHARGING, BMS_FAULT } bms_state_t;

/* Fault flags of bms_fault_flags */
#define BMS_FAULT_OVERVOLTAGE   0x01u
#define BMS_FAULT_UNDERVOLTAGE  0x02u
#define BMS_FAULT_OVERTEMP      0x04u
#define BMS_FAULT_IMBALANCE     0x08u

typedef struct {
    unsigned short min_mv;
    unsigned short max_mv;
    unsigned short balance_start_mv;
} bms_cell_limits_t;

typedef struct {
    char name[BMS_NAME_LENGTH];
    bms_chemistry_t chemistry;
    unsigned char cell_count;
    bms_cell_limits_t limits;
    float temperature_max_c[BMS_MAX_SENSORS];
    double capacity_ah;
    /* How cells are balanced: bleed resistors or a charge shuttle */
    int active_balancing;
    union {
        struct {
            unsigned short resistor_ohm;
            unsigned char duty_percent;
        } passive;
        struct {
            unsigned long shuttle_hz;
            unsigned char max_pairs;
        } active;
    } balancing;
} bms_pack_config_t;

typedef struct {
    bms_state_t state;
    long pack_mv;
    long current_ma;
    unsigned short min_cell_mv;
    unsigned short max_cell_mv;
    unsigned char min_cell;
    unsigned char max_cell;
    float temperatures_c[BMS_MAX_SENSORS];
} bms_status_t;

/* Last alarm raised: which cell or which sensor, by kind */
typedef struct {
    unsigned int flag;
    union {
        struct {
            unsigned char cell;
            unsigned short mv;
        } voltage;
        struct {
            unsigned char sensor;
            float celsius;
        } temperature;
    } where;
} bms_alarm_t;

#endif /* BMS_TYPES_H */
