// Keeping the power records in step with events outside power management:
// leaving the active role, fan-tray insertion and removal, and the power
// trays' hardware type and presence.
#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kRoleChange[] = "%s: power mgmt received role change - old:new (%d:%d)\n";
constexpr char kCleanUp[] = "%s: power mgmt clean up on role change - old:new (%d:%d)\n";
constexpr char kCfgReset[] = "%s: pwr_ctrl set to %d, redundancy_num_pems %d\n";
constexpr char kNullData[] = "%s: Oops NULL pointer\n\n";
constexpr char kActionSet[] = "%s: pwr_mgmt_action_ena set to %d\n";
constexpr char kInvalidFantray[] = "%s: invalid fan tray number %d \n";
constexpr char kInvalidPowertray[] = "%s: invalid power tray %d \n";

constexpr uint32_t kRedundancyNotConfigured = 255;

}  // namespace

using namespace envmon_pm;

extern "C" {

void envmon_pwr_mgmt_handle_role_ch(void) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_handle_role_ch";
  if (!envmon_rm) return;
  const int prev = static_cast<int>(envmon_rm->prev_role);
  const int role = static_cast<int>(envmon_rm->svc_role);
  if (envmon_rm->svc_role == ENVMON_ROLE_ACTIVE) {
    tlg_internal(pwrm_tlg_cmn_hdl, kRoleChange, kFunc, prev, role);
    return;
  }
  tlg_internal(pwrm_tlg_cmn_hdl, kCleanUp, kFunc, prev, role);
  envmon_pwr_cfg& cfg = envmon_rm->pwr_cfg;
  cfg.pwr_mgmt_cfg_rcvd = 0;
  cfg.pwr_ctrl = 1;
  cfg.red_num_pems = kRedundancyNotConfigured;
  cfg.single_feed_operation = 0;
  cfg.extended_mode_operation = 0;
  cfg.progressive_mode_operation = 0;
  envmon_debug_log(kCfgReset, kFunc, cfg.pwr_ctrl, static_cast<int>(cfg.red_num_pems));

  envmon_pwr_mgmt_data_t* p = pm();
  if (!p) {
    tlg_internal(pwrm_tlg_cmn_hdl, kNullData, kFunc);
    return;
  }
  // Budgets, statuses and the total stay: only what the new active route
  // processor will tell again is forgotten.
  p->pwr_tray_drvif_reg_done = 0;
  p->alarms = 0;
  p->total_capacity = 0;
  p->usable_pwr = 0;
  p->prot_pwr = 0;
  p->pwr_mgmt_action_ena = 1;
  envmon_debug_log(kActionSet, kFunc, p->pwr_mgmt_action_ena);
  const uint32_t physical = envmon_hal_get_max_powertray();
  if (physical != 0 && p->envmon_pwr_tray_data) {
    for (uint32_t t = 0; t < envmon_rm->pwr_tray_count && t < physical; ++t) {
      p->envmon_pwr_tray_data[t].container_regi_done = 0;
      p->envmon_pwr_tray_data[t].state = 0;
    }
  }
  if (group_present(ENVMON_CARD_CLASS_LC)) {
    for (uint32_t i = p->start_index[ENVMON_CARD_CLASS_LC];
         i <= p->last_index[ENVMON_CARD_CLASS_LC] && valid_card_index(i); ++i)
      p->pbudget_list[i].shut_pending = 0;
  }
  envmon_hal_pwr_mgmt_handle_role_change();
}

void envmon_pwr_mgmt_fantray_oir_ev(uint8_t tray, uint8_t present) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_fantray_oir_ev";
  envmon_pwr_mgmt_data_t* p = pm();
  if (tray >= envmon_hal_get_max_fantray() || !p || !p->fantray_pbudget) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidFantray, kFunc, tray);
    return;
  }
  envmon_entity_pbudget_info_t& ft = p->fantray_pbudget[tray];
  const int32_t now = present ? ENVMON_PWR_ON : ENVMON_PWR_PRE_RESERVED;
  const int32_t old = ft.status;
  ft.status = now;
  if (now == old) return;
  // A fan tray keeps its budget whether present or not; only its status moves.
  push_fantray_alloc(ft);
  ft.reg_state = (ft.reg_state & ~kAllocClear) | kAllocArm;
  envmon_ceb_fsa_sched_event(kCebRegRequest);
}

void envmon_pwr_mgmt_powertray_hwtype_upd(uint8_t tray, int32_t hw_type) {
  envmon_pwr_mgmt_data_t* p = pm();
  const uint32_t physical = envmon_hal_get_max_powertray();
  if (physical == 0 || !p || !p->envmon_pwr_tray_data || !envmon_rm) return;
  if (tray < envmon_rm->pwr_tray_count && tray < physical)
    p->envmon_pwr_tray_data[tray].type = hw_type;
}

void envmon_pwr_mgmt_powertray_oir_ev(uint8_t tray, uint8_t present) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_powertray_oir_ev";
  if (envmon_hal_get_max_powertray() == 0 || !envmon_rm) return;
  if (tray < envmon_rm->pwr_tray_count)
    envmon_hal_pwr_mgmt_powertray_oir(tray, present);
  else
    tlg_internal(err_tlg_cmn_hdl, kInvalidPowertray, kFunc, tray);
}

}  // extern "C"
