// Fan-tray insertion and removal, the fan-tray faults, and the shutdown
// requests of fan management: the chassis when trays stay missing or both
// route-processor inlets are too hot, a card at critical temperature, and a
// port adapter through the slot-shut driver.
#include <cstdio>
#include <cstring>

#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_drvif.h"
#include "envmon_hal.h"

using namespace envhal::tavrin;

namespace {

constexpr const char kTrayRemovedText[] =
    "Fan Tray has been removed, please insert back within 3 minutes to prevent LCs from getting overheated.";
constexpr const char kTraysMissingText[] =
    "Fan Trays have been removed, chassis will shutdown in 2 minutes. Please re-insert Fan Trays.";
constexpr const char kShutTraysMissing[] = "Requesting shutdown of Chassis due to two or more Fan Trays missing";
constexpr const char kShutRpInlet[] = "Requesting shutdown of Chassis due to SUP inlet temperature >=60 deg-C";
constexpr const char kShutCard[] = "Requesting shutdown due to critical temperature alarm";
constexpr const char kFaultError[] = "In %s: envmon_fm_fault_report returned error for %s alarm, rc = %ld.\n";
constexpr const char kFaultOk[] = "In %s: envmon_fm_fault_report ok for %s alarm\n";

constexpr uint32_t kTagTrayRemoved = 1;
constexpr uint32_t kTagTraysMissing = 46;
constexpr uint32_t kTagTrayIdprom = 77;
constexpr uint32_t kTagChassisShut = 101;
constexpr uint32_t kTagCardShut = 100;
constexpr uint32_t kShutChassis = 1;
constexpr uint32_t kShutCardAction = 2;
constexpr int32_t kRpInletShutdown = 60;
constexpr int kMpaShutAttempts = 3;

constexpr uint32_t kBoardGen2Large = 0xab040042;
constexpr uint32_t kBoardGen2 = 0xab040022;
constexpr uint32_t kBoardGen2Small = 0xab040002;

pelm_eid* tray_container(uint32_t tray) {
  if (envmon_rm == nullptr || envmon_rm->fan_cont_pelm_eids == nullptr) return nullptr;
  return &envmon_rm->fan_cont_pelm_eids[tray];
}

void trace_report(const char* func, envmon_err_t rc, bool raise) {
  if (rc != ENVMON_OK) {
    tlg_internal(err_tlg_lib_hdl, kFaultError, func, raise ? "raising" : "clearing", static_cast<long>(rc));
  } else {
    tlg_internal(fanm_tlg_lib_hdl, kFaultOk, func, raise ? "raising" : "clearing");
  }
}

envmon_err_t tray_removed_fault(uint32_t tray, bool raise) {
  return report_fault(ENVMON_SCOPE_RACK, {16, kTagTrayRemoved, 0, raise ? 1 : 2, 4, raise ? kTrayRemovedText : nullptr,
                                          nullptr, tray_container(tray)});
}

bool shutdown_allowed() {
  return envmon_rm != nullptr && envmon_rm->svc_role == ENVMON_ROLE_ACTIVE && envmon_rm->env_cfg.envmon_ctrl != 0;
}

// The tray type follows the board id of an inserted second-generation tray.
bool set_tray_type(uint32_t board_id) {
  switch (board_id) {
    case kBoardGen2Large:
      chassis_ft_type = 6;
      return true;
    case kBoardGen2:
      if (chassis_ft_type == 0) chassis_ft_type = 2;
      else if (chassis_ft_type == 1) chassis_ft_type = 3;
      return true;
    case kBoardGen2Small:
      if (chassis_ft_type == 0) chassis_ft_type = 4;
      else if (chassis_ft_type == 1) chassis_ft_type = 5;
      return true;
    default:
      return false;
  }
}

}  // namespace

namespace envhal::tavrin {

void raise_tray_removed(uint32_t tray, bool from_timer) {
  const envmon_err_t rc = tray_removed_fault(tray, true);
  if (rc == ENVMON_OK) {
    chassis_fan_info->trays[tray].alarm_state = 1;
  } else if (from_timer) {
    tlg_internal(err_tlg_lib_hdl, "In %s: envmon_fm_fault_report returned error for raising alarm, rc = %ld.\n",
                 "envmon_main_timer_handler", static_cast<long>(rc));
  } else {
    tlg_internal(err_tlg_lib_hdl,
                 "In %s(): envmon_fm_fault_report returned error for raising fan tray removed alarm, rc = %ld.\n",
                 "envmon_hal_fan_mgmt_fantray_oir", static_cast<long>(rc));
  }
}

// Two or more trays missing: the chassis shuts down in two minutes unless they
// come back.
void trays_missing_check_start(uint32_t present) {
  const uint32_t missing = max_fantray() - present;
  chassis_fan_info->envmon_fan_state = ENVMON_FAN_TWO_MISSING;
  if (leaf_running(timers().init) || leaf_running(timers().chassis_shut)) return;
  tlg_internal(fanm_tlg_lib_hdl, "%s(): %d fan trays missing, shutting down chassis in 2 minutes\n",
               "envmon_hal_fan_mgmt_fantray_oir", missing);
  leaf_start(timers().chassis_shut, kChassisShutSecs);
  envman_hal_multi_fan_trays_removal_alm(1);
}

void chassis_shut_expired() {
  if (!shutdown_allowed()) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): failed to shut chassis role = %d, envmon_ctrl = %d\n",
                 "envmon_main_timer_handler", envmon_rm != nullptr ? envmon_rm->svc_role : 0,
                 envmon_rm != nullptr ? envmon_rm->env_cfg.envmon_ctrl : 0);
    return;
  }
  const envmon_err_t rc = request_shutdown(kTagChassisShut, kShutChassis, ENVMON_SLOT_SELF, kShutTraysMissing);
  if (rc == ENVMON_OK) {
    stat_add(kStatChassisShut, 1);
  } else {
    tlg_internal(err_tlg_lib_hdl, "In %s: envmon_fm_fault_report returned error for chassis shutdown, rc = %ld.\n",
                 "envmon_main_timer_handler", static_cast<long>(rc));
  }
}

void card_shut_expired(uint32_t slot) {
  tlg_internal(fanm_tlg_lib_hdl, "%s(): slot = %d\n", "envmon_card_shut", slot);
  if (!shutdown_allowed()) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): cannot shut card in slot %d, role = %d, envmon_ctrl = %d \n",
                 "envmon_card_shut", slot, envmon_rm != nullptr ? envmon_rm->svc_role : 0,
                 envmon_rm != nullptr ? envmon_rm->env_cfg.envmon_ctrl : 0);
    return;
  }
  if (envmon_tavrin_check_rp_inlet_chassis_shut(slot) == 1) return;
  const envmon_err_t rc = request_shutdown(kTagCardShut, kShutCardAction, slot, kShutCard);
  if (rc == ENVMON_OK) {
    stat_add(kStatCardShut, 1);
  } else {
    tlg_internal(err_tlg_lib_hdl,
                 "In %s: envmon_fm_fault_report returned error for shutting down card in slot %d, rc = %ld.\n",
                 "envmon_card_shut", slot, static_cast<long>(rc));
  }
}

void mpa_shut_expired(const int32_t* index) {
  if (index == nullptr) {
    tlg_internal(err_tlg_lib_hdl, " Unable to extract slot from timer context\n");
    return;
  }
  for (int attempt = 0; attempt < kMpaShutAttempts; ++attempt) {
    if (envmon_drvif_shut_slot_req(static_cast<uint32_t>(*index) + 512) == 0) return;
  }
  tlg_internal(err_tlg_lib_hdl, "Could not shut MPA offset %d after 3 retry\n", *index);
}

int32_t envmon_fantray_idprom_fail_check(uint8_t* all_seen) {
  *all_seen = 0;
  const uint32_t trays = max_fantray();
  for (uint32_t i = 0; i < trays; ++i) {
    if (chassis_fan_info->trays[i].oir_ev_rcvd == 0) return 1;
  }
  *all_seen = 1;
  uint32_t failed = 0;
  uint32_t missing = 0;
  for (uint32_t i = 0; i < trays; ++i) {
    const fan_tray_info& t = chassis_fan_info->trays[i];
    if (t.active != 0) continue;
    ++missing;
    if (t.idprom_access_fail != 0) ++failed;
  }
  if (missing - failed > 1 || failed == 0 || missing < 2) return 0;
  // Two or more trays away, all but one only because their IDPROM cannot be
  // read: the fans that are there run at full speed.
  if (envmon_count_present_fantrays() > 0) {
    all_zones_full_speed();
    envmon_tavrin_fan_speed_set(true, 0, false);
  }
  return 1;
}

}  // namespace envhal::tavrin

extern "C" {

void envman_hal_multi_fan_trays_removal_alm(uint8_t raise) {
  static constexpr char kFunc[] = "envman_hal_multi_fan_trays_removal_alm";
  char text[160] = "";
  if (raise != 0) {
    const uint32_t missing = max_fantray() - envmon_count_present_fantrays();
    std::snprintf(text, sizeof(text), "%d %s", missing, kTraysMissingText);
  }
  pelm_eid* chassis = envmon_rm != nullptr ? &envmon_rm->chassis_eid : nullptr;
  const envmon_err_t rc = report_fault(
      ENVMON_SCOPE_RACK, {16, kTagTraysMissing, 0, raise != 0 ? 1 : 2, 5, raise != 0 ? text : nullptr, nullptr, chassis});
  trace_report(kFunc, rc, raise != 0);
}

void envmon_fan_tray_idprom_access_status_ch(uint32_t tray, pelm_eid* /*oir_data*/, uint8_t fail,
                                             const char* reason) {
  static constexpr char kFunc[] = "envmon_fan_tray_idprom_access_status_ch";
  char text[300];
  if (fail != 0) {
    std::snprintf(text, sizeof(text), "FT%d: %s", tray, reason != nullptr ? reason : "");
  } else {
    std::snprintf(text, sizeof(text), "FT%d", tray);
  }
  const envmon_err_t rc =
      report_fault(ENVMON_SCOPE_RACK, {16, kTagTrayIdprom, 0, fail != 0 ? 1 : 2, 4, text, nullptr, tray_container(tray)});
  trace_report(kFunc, rc, fail != 0);
}

envmon_err_t envmon_hal_fan_mgmt_fantray_oir(uint32_t tray, uint8_t presence, pelm_eid* oir_data,
                                             uint8_t idprom_access_fail, const char* reason) {
  static constexpr char kFunc[] = "envmon_hal_fan_mgmt_fantray_oir";
  if (chassis_fan_info == nullptr || chassis_fan_info->trays == nullptr) return ENVMON_OK;
  if (tray >= max_fantray()) {
    tlg_internal(err_tlg_lib_hdl, "%s(): slot = %d, presence = %d, active = %d\n", kFunc, tray, presence, 0);
    return ENVMON_ERR_INVALID_ARG;
  }
  fan_tray_info& t = chassis_fan_info->trays[tray];
  tlg_internal(fanm_tlg_lib_hdl, "%s(): slot = %d, presence = %d, active = %d\n", kFunc, tray, presence, t.active);
  t.oir_ev_rcvd = 1;
  if (idprom_access_fail != t.idprom_access_fail) {
    t.idprom_access_fail = idprom_access_fail;
    envmon_fan_tray_idprom_access_status_ch(tray, oir_data, idprom_access_fail, reason);
  }
  if (t.active == presence) return ENVMON_OK;
  if (presence == 0 && idprom_access_fail != 0) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): slot = %d, presence = %d, idprom_access_fail = %d\n", kFunc, tray,
                 presence, idprom_access_fail);
    return ENVMON_OK;
  }
  if (presence != 0) {
    stat_add(kStatTrayInserted, 1);
    t.active = 1;
    const uint32_t board_id =
        envmon_rm != nullptr && envmon_rm->fantray_cb != nullptr ? envmon_rm->fantray_cb[tray].board_id : 0;
    if (set_tray_type(board_id)) envmon_fan_algo_set_control_thresholds();
    envmon_fan_algo_select_speed_table();
    // The new tray's fans start from "never set" before anything is written
    // to them, so that a ramp starts from there and not from the zeroes of
    // the removal.
    init_tray_fans(tray);
    if (is_fan_tray_type_gen2()) evaluate_and_set_all();
    if (t.alarm_state != 0) {
      const envmon_err_t rc = tray_removed_fault(tray, false);
      if (rc == ENVMON_OK) {
        t.alarm_state = 0;
      } else {
        tlg_internal(err_tlg_lib_hdl,
                     "In %s: envmon_fm_fault_report returned error for clearing fan tray removed alarm, rc = %ld.\n",
                     kFunc, static_cast<long>(rc));
      }
    }
  } else {
    stat_add(kStatTrayRemoved, 1);
    const uint32_t fans = envmon_hal_get_fans_per_tray();
    for (uint32_t f = 0; f < fans; ++f) t.fans[f] = fan_info{};
    t.active = 0;
    t.alarm_state = 0;
    t.inv_reg = 0;
    if (!leaf_running(timers().init)) raise_tray_removed(tray, false);
  }

  const uint32_t present = envmon_count_present_fantrays();
  const uint32_t max = max_fantray();
  if (max < present + 2) {
    leaf_stop(timers().chassis_shut);
    envman_hal_multi_fan_trays_removal_alm(0);
  }
  if (present == max) {
    chassis_fan_info->envmon_fan_state = ENVMON_FAN_ALL_PRESENT;
    if (!leaf_running(timers().period)) leaf_start(timers().period, kPeriodSecs);
  } else if (present + 1 == max) {
    chassis_fan_info->envmon_fan_state = ENVMON_FAN_ONE_MISSING;
  } else {
    trays_missing_check_start(present);
  }
  if (present > 0) evaluate_and_set_all();
  return ENVMON_OK;
}

int32_t envmon_tavrin_check_rp_inlet_chassis_shut(uint32_t slot) {
  static constexpr char kFunc[] = "envmon_tavrin_check_rp_inlet_chassis_shut";
  if (envmon_rm == nullptr || envmon_rm->rp_hw_position == nullptr) return 0;
  const uint32_t rp_slots[2] = {envmon_rm->rp_hw_position[0], envmon_rm->rp_hw_position[1]};
  int rp = -1;
  for (int i = 0; i < 2; ++i) {
    if (rp_slots[i] == slot) rp = i;
  }
  if (rp < 0) return 0;
  const int32_t zone = envmon_fan_zone_of_slot(slot);
  if (zone > 5) {
    envmon_debug_log("%s: failed to get fan zone for RP%d slot %d\n", kFunc, rp, slot);
    return 0;
  }
  const fan_algo_sensor* head = zone_lists().head[zone];
  if (head == nullptr) {
    envmon_debug_log("%s: RP%d fan zone %d NULL sensor list\n", kFunc, rp, zone);
    return 0;
  }
  bool have[2] = {false, false};
  int32_t inlet[2] = {0, 0};
  for (const fan_algo_sensor* n = head; n != nullptr; n = n->next) {
    if (std::strstr(n->name, "Inlet") == nullptr) continue;
    for (int i = 0; i < 2; ++i) {
      if (static_cast<uint32_t>(n->slot) == rp_slots[i]) {
        have[i] = true;
        inlet[i] = n->value;
      }
    }
  }
  int32_t result = 0;
  for (int i = 0; i < 2; ++i) {
    if (!have[i]) continue;
    if (inlet[i] < kRpInletShutdown) return 0;
    result = 1;
    envmon_debug_log("RP%d inlet_t %d\n", i, inlet[i]);
  }
  if (result == 1) {
    const envmon_err_t rc = request_shutdown(kTagChassisShut, kShutChassis, ENVMON_SLOT_SELF, kShutRpInlet);
    if (rc == ENVMON_OK) {
      stat_add(kStatChassisShut, 1);
    } else {
      tlg_internal(err_tlg_lib_hdl, "In %s: envmon_fm_fault_report returned error for chassis shutdown, rc = %ld.\n",
                   kFunc, static_cast<long>(rc));
    }
  }
  return result;
}

}  // extern "C"
