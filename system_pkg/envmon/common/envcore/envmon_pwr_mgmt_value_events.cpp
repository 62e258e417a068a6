// A new voltage or current value of a sensor: recorded, marked for the
// failure log, pushed to inventory and handed to the platform's power
// handling.
#include <string.h>

#include <string_view>

#include "envmon_invreg.h"
#include "envmon_obfl.h"
#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kUnknownEid[] = "%s: unable to find EID %s\n";
constexpr char kLocalPec[] = "Updating local LC DB PEC at idx %d with val %d\n";

// Failure-log record kinds of the two values.
constexpr int32_t kObflVoltage = 2;
constexpr int32_t kObflCurrent = 3;
// Line cards whose own hot-swap current is kept for the backplane figure.
constexpr uint32_t kLocalPecCards[] = {4130124u, 4130144u};
constexpr char kHotSwapPec[] = "Hot Swap PEC";
constexpr uint32_t kLocalPecSlot = 2;

envmon_sensor_info* find_sensor(const char* func, const pelm_eid* eid, int32_t scope) {
  envmon_sensor_info* sensor = nullptr;
  if (!eid || envmon_util_get_sensor_info(eid, &sensor, static_cast<uint32_t>(scope)) != ENVMON_OK ||
      !sensor) {
    tlg_internal(err_tlg_cmn_hdl, kUnknownEid, func, envmon_pm::EidText(eid).text);
    return nullptr;
  }
  return sensor;
}

void record(envmon_sensor_info& s, int32_t value, uint64_t timestamp) {
  s.last_value = s.value;
  s.value = value;
  s.timestamp = timestamp;
}

// A value that arrives before the sensor is registered waits to be reported.
void hold_until_registered(envmon_sensor_info& s) {
  if (!(s.state & ENVMON_ST_REG_DONE)) s.state |= ENVMON_ST_VALUE_WAITING;
}

bool local_pec_card() {
  if (!envmon_nm) return false;
  for (uint32_t type : kLocalPecCards)
    if (envmon_nm->card_type == type) return true;
  return false;
}

bool named_hot_swap_pec(const envmon_sensor_info& s) {
  return std::string_view(s.name, strnlen(s.name, sizeof(s.name))).find(kHotSwapPec) !=
         std::string_view::npos;
}

}  // namespace

extern "C" {

void envmon_volt_value_change_event(const pelm_eid* eid, int32_t value, int32_t scope,
                                    uint64_t timestamp) {
  envmon_sensor_info* s = find_sensor(__func__, eid, scope);
  if (!s) return;
  record(*s, value, timestamp);
  envmon_obfl_set_state(s, kObflVoltage);
  hold_until_registered(*s);
  const uint32_t slot = eid->slot;
  const bool trap = envmon_hal_is_trap_needed(slot, ENVMON_SENSOR_VOLTAGE, s);
  envmon_inv_invreg_volt_sensor_update(eid, s, static_cast<uint32_t>(scope), trap ? 1 : 0);
  envmon_hal_pwr_mgmt_volt_value_change_event(value, s, slot);
}

void envmon_curr_value_change_event(const pelm_eid* eid, int32_t value, int32_t scope,
                                    uint64_t timestamp) {
  envmon_sensor_info* s = find_sensor(__func__, eid, scope);
  if (!s) return;
  record(*s, value, timestamp);
  envmon_obfl_set_state(s, kObflCurrent);
  const uint32_t slot = eid->slot;
  if (local_pec_card() && named_hot_swap_pec(*s) && slot == kLocalPecSlot) {
    bb_lc_fru_current_db[kLocalPecSlot] = value;
    tlg_internal(info_tlg_cmn_hdl, kLocalPec, static_cast<int>(slot), value);
  }
  hold_until_registered(*s);
  envmon_inv_invreg_curr_sensor_update(eid, s, static_cast<uint32_t>(scope));
  envmon_hal_pwr_mgmt_update_fru_curr_data(value, s, slot);
}

}  // extern "C"
