// Clearing a temperature alarm whose sensor can no longer be read.
#include <cstdio>

#include "alarmd.h"
#include "envmon_core.h"
#include "envmon_fm.h"
#include "envhal_private.h"

extern "C" void envmon_clear_temp_alarm(const pelm_eid* eid, envmon_sensor_info* sensor, int32_t scope) {
  static constexpr char kFunc[] = "envmon_clear_temp_alarm";
  if (sensor == nullptr && envmon_util_get_sensor_info(eid, &sensor, static_cast<uint32_t>(scope)) != ENVMON_OK) {
    char text[ENVMON_EID_STR_LEN] = "";
    if (eid != nullptr) inv_util_dump_pelm_eid_to_string(eid, text, sizeof(text));
    tlg_internal(err_tlg_lib_hdl, "%s: unable to find EID %s\n", kFunc, text);
    return;
  }
  if (sensor->alarm_severity == 0) return;
  char description[160];
  std::snprintf(description, sizeof(description), "%s has cleared a temperature alarm as i2c access is unavialble",
                sensor->name);
  alarmd_fault_data data;
  alarmd_fault_data_init(&data);
  data.eid = &sensor->eid;
  data.state = 2;
  data.alarm_level = static_cast<uint16_t>(sensor->alarm_severity);
  data.description = description;
  data.name = sensor->name;
  data.alarm_scope = scope;
  envmon_fm_fault_req req{};
  req.fault_data = &data;
  req.fault_type = 14;
  req.fault_tag = scope == ENVMON_SCOPE_NODE ? 1 : 27;
  const envmon_err_t rc = envmon_fm_fault_report(scope, &req);
  if (rc != ENVMON_OK) {
    tlg_internal(err_tlg_lib_hdl, "In %s: envmon_fm_fault_report returned error: for %s sensor in slot %d, rc = %ld.\n",
                 kFunc, sensor->name, sensor->eid.slot, static_cast<long>(rc));
  }
  sensor->alarm_severity = 0;
  sensor->alarm_init = 0;
}
