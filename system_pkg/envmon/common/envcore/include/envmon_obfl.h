// On-board failure-log client of the server (one per scope).
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_sensor.h"

struct evloop;

extern "C" {

envmon_err_t envmon_obfl_rm_init(struct evloop* loop);
void envmon_obfl_svc_registration(uint32_t scope, uint32_t slot, uint32_t retry);
void envmon_obfl_nm_write_thr_all(void);
void envmon_obfl_nm_log_all(uint32_t retry);
void envmon_obfl_rm_write_thr_all(uint32_t slot);
void envmon_obfl_rm_log_all(uint32_t slot, uint32_t retry);
// Marks a sensor for the next failure-log write: kind 1 temperature (on a
// change of 2 or more), 2 voltage (always), 3 current.
void envmon_obfl_set_state(envmon_sensor_info* sensor, int32_t kind);
void envmon_obfl_write_env_temp_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag);
void envmon_obfl_write_env_volt_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag);
void envmon_obfl_write_env_curr_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag);

}  // extern "C"
