// Action (enforcement) mode, with the fabric cards that are budgeted up front
// only while action is enabled, and the progressive-mode entry point.
#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kActionEna[] = "%s: action_ena %d\n";
constexpr char kActionSet[] = "%s: pwr_mgmt_action_ena set to %d\n";
constexpr char kFcChanged[] = "%s - FC (idx%d) status changed from %s to %s, total power budget %d(W)\n";

// A fabric card's status when the action mode is (re)applied.
int32_t fc_status_for_action(int32_t old, bool action) {
  switch (old) {
    case ENVMON_PWR_TEMP_RESERVED:
    case ENVMON_PWR_PRE_RESERVED:
    case ENVMON_PWR_STBY_ZONE_RESERVED:
      return action ? ENVMON_PWR_PRE_RESERVED : ENVMON_PWR_STBY_ZONE_RESERVED;
    case ENVMON_PWR_OFF_TEMP_RESERVED:
    case ENVMON_PWR_OFF:
    case ENVMON_PWR_OFF_RESERVED:
      return action ? ENVMON_PWR_OFF_RESERVED : ENVMON_PWR_OFF;
    default:
      return old;
  }
}

}  // namespace

// The platform may provide the progressive-mode hook; no hardware abstraction
// of the system does, so it is bound only when present.
extern "C" void envmon_hal_pwr_mgmt_set_progressive_mode(uint8_t mode) __attribute__((weak));

using namespace envmon_pm;

extern "C" {

void envmon_pwr_mgmt_lcc_fc_pwr_budget_ch(void) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_lcc_fc_pwr_budget_ch";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm || !envmon_pwr_is_fc_prereserve_chassis(envmon_rm->chassis_type)) return;
  if (!group_present(ENVMON_CARD_CLASS_FC)) return;
  const bool action = p->pwr_mgmt_action_ena != 0;
  for (uint32_t i = p->start_index[ENVMON_CARD_CLASS_FC];
       i <= p->last_index[ENVMON_CARD_CLASS_FC] && valid_card_index(i); ++i) {
    envmon_entity_pbudget_info_t& c = p->pbudget_list[i];
    const int32_t old = c.status;
    const int32_t now = fc_status_for_action(old, action);
    if (now == old) continue;
    if (holds_budget(old) && !holds_budget(now))
      envmon_pwr_mgmt_change_to_new_pbudget(static_cast<uint8_t>(i), c.stby_zn_budget);
    else if (!holds_budget(old) && holds_budget(now))
      envmon_pwr_mgmt_change_to_new_pbudget(static_cast<uint8_t>(i),
                                            is_extended_mode_on() ? c.ext_budget : c.max_budget);
    c.status = now;
    tlg_internal(pwrm_tlg_cmn_hdl, kFcChanged, kFunc, static_cast<int>(i), status_name(old),
                 status_name(now), p->total_power_budget);
    publish_alloc(c);
    envmon_check_chassis_ps_alm(true);
  }
}

void envmon_pwr_mgmt_set_action_mode(uint8_t action) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_set_action_mode";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p) return;
  const uint8_t prev = p->pwr_mgmt_action_ena;
  p->pwr_mgmt_action_ena = action;
  tlg_internal(pwrm_tlg_cmn_hdl, kActionEna, kFunc, action);
  envmon_debug_log(kActionSet, kFunc, action);
  envmon_pwr_mgmt_lcc_fc_pwr_budget_ch();
  if (envmon_pwr_mgmt_ready() && action != 0 && prev != 1 &&
      p->total_capacity < static_cast<uint32_t>(p->total_power_budget))
    envmon_pwr_mgmt_shutdown_entities();
}

void envmon_pwr_mgmt_set_progressive_mode(uint8_t mode) {
  if (envmon_hal_pwr_mgmt_set_progressive_mode) envmon_hal_pwr_mgmt_set_progressive_mode(mode);
}

}  // extern "C"
