// Platform-driver client of the server: polling configuration, set requests
// and the drivers' notifications.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_sensor.h"
#include "inv_util.h"

extern "C" {

// Polling modes.
enum : uint32_t {
  ENVMON_POLL_START = 3,
  ENVMON_POLL_STOP = 4,
};

void envmon_drvif_rm_poll_all_sensors(uint32_t driver, uint32_t mode);
int32_t envmon_drvif_unregister_eid(uint32_t driver, uint32_t type, uint32_t subtype);
void envmon_drvif_poll_request(envmon_sensor_info* sensors, uint16_t count, uint32_t mode,
                               uint32_t driver);
void envmon_process_drvif_volt_fault(const pelm_eid* eid, uint32_t fault, int32_t scope);
void envmon_rm_fan_cb_cleanup(uint32_t tray);
// Registers for fan-tray events with the fan drivers (1 and 14).
envmon_err_t envmon_drvif_rm_init(void);
void envmon_all_fpd_init_for_slot(uint32_t slot);

}  // extern "C"
