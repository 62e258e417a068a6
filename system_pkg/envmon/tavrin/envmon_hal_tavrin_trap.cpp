// Whether a threshold crossing of a sensor is reported as a trap.
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envhal_private.h"

extern "C" bool envmon_hal_is_trap_needed(uint32_t slot, int32_t subtype, envmon_sensor_info* sensor) {
  // Fan trays and power modules report their own alarms.
  uint32_t tray = 0;
  if (envmon_is_fantray_slot(slot, &tray)) return false;
  uint32_t pem = 0;
  if (envmon_is_pem_slot(static_cast<int32_t>(slot), &tray, &pem)) return false;
  if (sensor == nullptr) return false;
  // A sensor kept out of the failure log is kept out of traps too.
  if (sensor->obfl_log_disabled == 1) return false;
  const uint32_t level_value =
      envmon_threshold_level_check(&sensor->threshold, sensor->value, static_cast<uint32_t>(subtype));
  const uint32_t level_last =
      envmon_threshold_level_check(&sensor->threshold, sensor->last_value, static_cast<uint32_t>(subtype));
  return envhal::trap_on_level_change(&sensor->driver_reported, level_value, level_last);
}
