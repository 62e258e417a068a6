// State of fan management and the small services its sources share: timer
// leaves, statistics, fault reports and shutdown requests.
#include <cstring>

#include "alarmd.h"
#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_stats.h"

extern "C" {

chassis_fan_info_t* chassis_fan_info = nullptr;
lc_info_t* lc_info = nullptr;
uint8_t total_lc_cnt = 0;
optics_sensor* optics_sensor_list = nullptr;
uint8_t enable_fan_ramp_down = 0;
uint8_t sensor_major_crossed = 0;
int32_t card_shut_context[ENVMON_FAN_CARD_SLOTS] = {};
int32_t mpa_shut_context[ENVMON_FAN_MPA_SLOTS] = {};
int32_t mpa_shut_slot = 0;

}  // extern "C"

namespace envhal::tavrin {

FanTimers& timers() {
  static FanTimers t;
  return t;
}

FanControl& control() {
  static FanControl c;
  return c;
}

void reset_run_control() {
  const uint8_t disabled = control().fan_ctrl_disabled;
  control() = FanControl{};
  control().fan_ctrl_disabled = disabled;
  enable_fan_ramp_down = 0;
  sensor_major_crossed = 0;
}

ZoneLists& zone_lists() {
  static ZoneLists z;
  return z;
}

slot_temp_alarm_stats* slot_alarm_stats() {
  static slot_temp_alarm_stats s[ENVMON_FAN_CARD_SLOTS];
  return s;
}

slot_temp_alarm_stats* mpa_alarm_stats() {
  static slot_temp_alarm_stats s[ENVMON_FAN_MPA_SLOTS];
  return s;
}

bool leaf_running(const mtimer_leaf_t* leaf) { return leaf != nullptr && mtimer_leaf_running(leaf); }

void leaf_stop(mtimer_leaf_t* leaf) {
  if (leaf_running(leaf)) mtimer_leaf_stop(leaf);
}

void leaf_start(mtimer_leaf_t* leaf, uint32_t seconds) { envmon_timer_leaf_start(leaf, seconds); }

void stat_add(uint32_t counter, int32_t n) {
  envmon_stats_bump(envmon_fan_algo_oper_stats_hdl, counter, static_cast<uint32_t>(n));
}

uint32_t envmon_count_present_fantrays() {
  if (chassis_fan_info == nullptr || chassis_fan_info->trays == nullptr) return 0;
  uint32_t present = 0;
  for (uint32_t i = 0; i < max_fantray(); ++i) present += chassis_fan_info->trays[i].active != 0 ? 1 : 0;
  return present;
}

envmon_err_t report_fault(int32_t scope, const FaultSpec& spec) {
  alarmd_fault_data data;
  alarmd_fault_data_init(&data);
  data.eid = spec.eid;
  data.state = spec.state;
  data.alarm_level = spec.level;
  data.description = spec.description;
  data.name = spec.name;
  data.alarm_scope = scope;
  envmon_fm_fault_req req{};
  req.fault_data = &data;
  req.fault_type = spec.type;
  req.fault_tag = spec.tag;
  req.shutdown_action = spec.shutdown_action;
  return envmon_fm_fault_report(scope, &req);
}

envmon_err_t request_shutdown(uint32_t tag, uint32_t action, uint32_t slot, const char* text) {
  pelm_eid* eid = inv_util_alloc_pelm_eid(1);
  if (eid == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "%s(): no memory\n", "request_shutdown");
    return ENVMON_ERR_NO_MEMORY;
  }
  eid->rack = ENVMON_RACK_UNKNOWN;
  eid->slot = slot;
  eid->subid = 0;
  eid->present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_SUBID;
  const envmon_err_t rc = report_fault(ENVMON_SCOPE_RACK, {10, tag, action, 1, 5, text, nullptr, eid});
  inv_util_free_pelm_eid(eid, 1);
  return rc;
}

}  // namespace envhal::tavrin
