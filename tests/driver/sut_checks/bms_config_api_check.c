/*
 * What the example script expects of the simulated battery management
 * library: the configuration store, locking, the measurement cycle with its
 * alarms, and the CRC table, checked through the calls its statements make.
 * Exits with 1 and names each failed check.
 */
#include "bms_config_api.h"
#include "check.h"
#include <string.h>

static void library_life_cycle(void)
{
    bms_fault_flags = 9;
    CHECK(bms_init("bench/pack_16s.cfg") == BMS_OK);
    CHECK(bms_state == BMS_STANDBY);
    CHECK(bms_fault_flags == 0);
    CHECK(strcmp(bms_serial, "BMS-0042") == 0);
    CHECK(bms_init("bench/missing.cfg") == BMS_E_CONFIG);
    CHECK(bms_last_error);
    CHECK(bms_state == BMS_OFF);
    CHECK(bms_init("bench/pack_16s.cfg") == BMS_OK);
    CHECK(bms_unlock(BMS_UNLOCK_KEY) == BMS_OK);
}

static void defaults_per_chemistry(void)
{
    CHECK(bms_load_defaults(CHEM_LFP) == BMS_OK);
    CHECK(!strcmp(bms_config.name, "LFP-16S") && bms_config.cell_count == 16 && bms_config.limits.max_mv == 3650 &&
          bms_config.temperature_max_c[1] == 55.0f && bms_config.temperature_max_c[2] == 60.0f);
    CHECK(bms_load_defaults(CHEM_NMC) == BMS_OK);
    CHECK(bms_config.limits.balance_start_mv == 4050);
    CHECK(bms_config.temperature_max_c[3] == 45.0f);
    bms_lock(BMS_UNLOCK_KEY);
    bms_shutdown();
    CHECK(bms_init("bench/pack_16s.cfg") == BMS_OK);
    CHECK(bms_unlock(BMS_UNLOCK_KEY) == BMS_OK);
}

static void set_and_read_back(void)
{
    bms_pack_config_t rb;
    memset(&rb, 0, sizeof rb);
    strcpy(rb.name, "BENCH-PACK");
    rb.chemistry = CHEM_NMC;
    rb.cell_count = 12;
    rb.active_balancing = 1;
    rb.balancing.active.shuttle_hz = 20000;
    rb.balancing.active.max_pairs = 2;
    for (int i = 0; i < 4; i++)
        rb.temperature_max_c[i] = 50.0f;
    CHECK(bms_set_config(&rb) == BMS_OK);
    memset(rb.name, 0, sizeof rb.name);
    rb.cell_count = 0;
    CHECK(bms_get_config(&rb) == BMS_OK);
    CHECK(!strcmp(rb.name, "BENCH-PACK"));
    CHECK(bms_config.cell_count == 12);
    bms_lock(BMS_UNLOCK_KEY);
    bms_shutdown();
    CHECK(bms_init("bench/pack_16s.cfg") == BMS_OK);
    CHECK(bms_unlock(BMS_UNLOCK_KEY) == BMS_OK);
}

static void refused_while_locked(void)
{
    CHECK(bms_lock(BMS_UNLOCK_KEY) == BMS_OK);
    CHECK(bms_set_cell_count(8) == BMS_E_LOCKED);
    bms_set_name("OTHER");
    CHECK(!strcmp(bms_config.name, "NMC-16S"));
    CHECK(bms_unlock(BMS_UNLOCK_KEY + 1) == BMS_E_LOCKED);
    CHECK(bms_unlock(BMS_UNLOCK_KEY) == BMS_OK);
    CHECK(bms_set_cell_count(17) == BMS_E_RANGE);
    bms_lock(BMS_UNLOCK_KEY);
    bms_shutdown();
    CHECK(bms_init("bench/pack_16s.cfg") == BMS_OK);
}

static void cell_voltages(void)
{
    unsigned short mv;
    CHECK(sim_set_all_cells(3700) == 0);
    memset(bms_cell_mv, 0, sizeof bms_cell_mv);
    mv = 0;
    CHECK(bms_read_cell(0, &mv) == BMS_OK && mv == 3700);
    for (int i = 0; i < 16; i++)
        CHECK(bms_cell_mv[i] == 3700);
    CHECK(bms_status.state == BMS_STANDBY && bms_status.pack_mv == 59200);
    CHECK(bms_pack_voltage_mv() == 16 * 3700L);
    CHECK(bms_state_of_charge() == 0.5);
    CHECK(bms_read_cell(16, &mv) == BMS_E_RANGE);
    bms_shutdown();
    CHECK(bms_init("bench/pack_16s.cfg") == BMS_OK);
    CHECK(sim_set_all_cells(3700) == 0);
}

static void balancing_starts_above_threshold(void)
{
    unsigned short mv;
    CHECK(sim_set_cell(5, 4100) == 0);
    for (int c = 0; c < 16; c++) {
        CHECK(bms_read_cell(c, &mv) == BMS_OK);
        CHECK(mv == (c == 5 ? 4100 : 3700));
    }
    CHECK(bms_balancing_mask() == 1 << 5);
    CHECK(bms_last_alarm.flag == BMS_FAULT_IMBALANCE && bms_last_alarm.where.voltage.cell == 5 &&
          bms_last_alarm.where.voltage.mv == 4100);
    CHECK(bms_status.max_cell == 5);
    bms_shutdown();
    CHECK(bms_init("bench/pack_16s.cfg") == BMS_OK);
    CHECK(sim_set_all_cells(3700) == 0);
}

static void over_temperature(void)
{
    float t;
    CHECK(sim_set_temperature(2, 61.5f) == 0);
    CHECK(bms_read_temperature(2, &t) == BMS_OK && t == 61.5f);
    CHECK(bms_status.temperatures_c[0] == 25.0f && bms_status.temperatures_c[2] == 61.5f);
    CHECK(bms_state == BMS_FAULT);
    CHECK(bms_fault_flags == BMS_FAULT_OVERTEMP);
    CHECK(bms_last_alarm.where.temperature.sensor == 2);
    bms_shutdown();
    CHECK(bms_init("bench/pack_16s.cfg") == BMS_OK);
}

static void crc_table_intact(void)
{
    CHECK(bms_crc_table[0] == 0 && bms_crc_table[1] == 7 && bms_crc_table[2] == 0x0E && bms_crc_table[255] == 0xF3 &&
          bms_crc_table[128] == 0x89);
}

int main(void)
{
    library_life_cycle();
    defaults_per_chemistry();
    set_and_read_back();
    refused_while_locked();
    cell_voltages();
    balancing_starts_above_threshold();
    over_temperature();
    crc_table_intact();
    return failures != 0;
}
