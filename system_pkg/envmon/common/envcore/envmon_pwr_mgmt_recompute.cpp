// Budget recomputation: a card's allocation moved to a new value, a card's
// budgets re-read from its description, and every budget re-derived when the
// extended-temperature mode is switched. The total always stays the sum of
// the counted allocations, and the counters follow the total.
#include <algorithm>

#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kInvalidType[] = "%s - passed invalid card type 0x%x \n";
constexpr char kOldBudget[] = "%s card type %x idx %d old_budget = %d, old stdby_zn_bgt = %d\n";
constexpr char kBudgetFailed[] = "%s envmon_get_power_budget failed \n";
constexpr char kMaxExt[] = "%s card type %x max_pbudget = %d ,ext_bgt = %d\n";
constexpr char kNewBudget[] =
    "%s card type %x new_pbudget = %d ,old_budget = %d, new stdby_zn_bgt = %d, old stdby_zn_bgt = "
    "%d\n\n";
constexpr char kNoChange[] =
    "%s no change in  previous and current power budget, so return without notifying \n";
constexpr char kCardBudgetChanged[] = "%s - card (idx%d, type 0x%x) power budget changed from %d to %d\n";
constexpr char kTotalChanged[] = "%s - total power budget changed from %d(W) to  %d(W)\n";
constexpr char kRecivedState[] = "Recived card state %d\n";
constexpr char kLcNotSupported[] = "LC type %0x not supported\n";
constexpr char kForCard[] = "for card_type %x slot %d card_idx %d\n";
constexpr char kInvalidEntityType[] = "%s: invalid power budget entity type %d \n";
constexpr char kOldNewBudgets[] =
    "%s old_max_bgt = %d, old_ext_budget = %d,old_stby_bgt %d, new max_bgt %d, ext_bgt %d, "
    "stdby_zn_bgt = %d,\n";
constexpr char kOldNewPbudget[] = "old pbudget %d, new pbudget %d \n";
constexpr char kScNotSupported[] = "Card %d not supported with card_idx %d\n";
constexpr char kStored[] = "old pbudget %d, new pbudget %d card_pstatus(%d) %d \n";
constexpr char kRpTotal[] = "%s : power budget for RP/SC %d (W) \n";
constexpr char kRpFtTotal[] = "%s : power budget for RP/SC and fan tray %d (W) \n";
constexpr char kLcBefore[] =
    "envmon_card_pbudget(%d) = %d envmon_card_max_budget(%d) = %d , envmon_card_stby_zn_budget(%d) "
    "%d envmon_card_ext_budget(%d) = %d, , card_budget_old %d\n";
constexpr char kLcAfter[] = "envmon_card_pbudget in end for %d is %d and total budget = %d\n";
constexpr char kLcTotal[] = "%s: power budget for RP, FT and LC %d (W)\n";
constexpr char kFcBefore[] =
    "card_budget_old %d envmon_card_pbudget(%d) %d MAX %d EXT %denvmon_rm->p_cdb.extended_mode_"
    "operation %d\n";
constexpr char kFcAfter[] = "envmon_card_pbudget(%d) %d envmon_total_power_budget %d\n";
constexpr char kFcTotal[] = "%s: power budget for RP, FT, LC, and FC %d (W)\n";

constexpr uint32_t kNoIndex = ENVMON_PWR_NO_INDEX;

using envmon_pm::pm;

// Route processors and primary fan trays take their extended budget when it
// is above the current allocation, else their maximum budget.
void recompute_pre_budgeted(envmon_entity_pbudget_info_t* recs, uint32_t n) {
  envmon_pwr_mgmt_data_t* p = pm();
  for (uint32_t i = 0; recs && i < n; ++i) {
    envmon_entity_pbudget_info_t& r = recs[i];
    const uint16_t old = r.pbudget;
    r.pbudget = r.ext_budget > r.pbudget ? r.ext_budget : r.max_budget;
    p->total_power_budget += static_cast<int32_t>(r.pbudget) - old;
    envmon_pm::oper_add(envmon_pm::kCntTotalPreq, static_cast<int32_t>(r.pbudget) - old);
  }
}

// A card at its maximum budget moves to the extended one when extended mode is
// on, and back; any other allocation stays.
uint16_t mode_budget(const envmon_entity_pbudget_info_t& c, bool extended) {
  if (extended && c.pbudget == c.max_budget && c.pbudget != c.ext_budget) return c.ext_budget;
  if (!extended && c.pbudget == c.ext_budget && c.pbudget != c.max_budget) return c.max_budget;
  return c.pbudget;
}

void move_card(uint32_t i, uint16_t to) {
  envmon_pwr_mgmt_data_t* p = pm();
  envmon_entity_pbudget_info_t& c = p->pbudget_list[i];
  p->total_power_budget += static_cast<int32_t>(to) - c.pbudget;
  envmon_pm::counters_move(i, c.pbudget, to);
  c.pbudget = to;
}

}  // namespace

using namespace envmon_pm;

extern "C" {

void envmon_pwr_mgmt_change_to_new_pbudget(uint8_t card_index, uint16_t new_budget) {
  if (!valid_card_index(card_index)) return;
  move_card(card_index, new_budget);
}

void envmon_pwr_mgmt_update_max_pbudget(uint8_t card_index, uint32_t card_type, const char* pid,
                                        int32_t hw_ver_maj, int32_t hw_ver_min, bool check_alarms) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_update_max_pbudget";
  const BudgetKind* kind = budget_kind_of(card_type);
  if (!kind || kind->entity_type == kEntFantray) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidType, kFunc, card_type);
    return;
  }
  if (!valid_card_index(card_index)) return;
  envmon_pwr_mgmt_data_t* p = pm();
  envmon_entity_pbudget_info_t& c = p->pbudget_list[card_index];
  const uint16_t old_budget = c.pbudget;
  const uint16_t old_stby = c.stby_zn_budget;
  const int32_t old_total = p->total_power_budget;
  envmon_debug_log(kOldBudget, kFunc, card_type, card_index, old_budget, old_stby);

  uint16_t max = c.max_budget;
  uint16_t stby = c.stby_zn_budget;
  uint16_t ext = c.ext_budget;
  if (envmon_get_power_budget(kind->entity_type, kind->pi_type, static_cast<int32_t>(card_type),
                              pid, hw_ver_maj, hw_ver_min, budget_subtype(*kind), &max, &stby, &ext,
                              nullptr) != ENVMON_OK) {
    tlg_internal(err_tlg_cmn_hdl, kBudgetFailed, kFunc);
    return;
  }
  c.max_budget = max;
  c.stby_zn_budget = stby;
  c.ext_budget = ext;
  tlg_internal(info_tlg_cmn_hdl, kMaxExt, kFunc, card_type, max, ext);
  envmon_debug_log(kMaxExt, kFunc, card_type, max, ext);

  const uint16_t n = extended_mode() ? ext : max;
  tlg_internal(info_tlg_cmn_hdl, kNewBudget, kFunc, card_type, n, old_budget, stby, old_stby);
  if (n == old_budget && stby == old_stby) {
    tlg_internal(info_tlg_cmn_hdl, kNoChange, kFunc);
    return;
  }
  bool changed = false;
  if (n != old_budget && holds_budget(c.status)) {
    tlg_internal(pwrm_tlg_cmn_hdl, kCardBudgetChanged, kFunc, card_index, card_type, old_budget, n);
    envmon_pwr_mgmt_change_to_new_pbudget(card_index, n);
    changed = true;
  } else if (stby != old_stby && !holds_budget(c.status)) {
    // A card that holds its budget keeps it when only its standby-zone budget changed.
    tlg_internal(pwrm_tlg_cmn_hdl, kCardBudgetChanged, kFunc, card_index, card_type, old_budget,
                 stby);
    envmon_pwr_mgmt_change_to_new_pbudget(card_index, stby);
    changed = true;
  }
  if (!changed) return;
  publish_alloc(c);
  tlg_internal(pwrm_tlg_cmn_hdl, kTotalChanged, kFunc, old_total, p->total_power_budget);
  if (check_alarms) envmon_check_chassis_ps_alm(false);
}

void envmon_update_card_budget(int32_t slot, int32_t card_type, const char* pid,
                               int32_t hw_ver_maj, int32_t hw_ver_min, bool check_alarms,
                               int32_t card_state) {
  static constexpr char kFunc[] = "envmon_update_card_budget";
  tlg_internal(pwrm_tlg_cmn_hdl, kRecivedState, card_state);
  const uint32_t type = static_cast<uint32_t>(card_type);
  if (envmon_pwr_is_lc_card_type(type)) {
    tlg_internal(pwrm_tlg_cmn_hdl, kLcNotSupported, type);
    return;
  }
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p) return;
  const BudgetKind* kind = budget_kind_of(type);
  const uint32_t s = static_cast<uint32_t>(slot);

  // The record of the entity: a route processor, a card of the SWC, XC or FC
  // group, or a fan tray; none for a system controller.
  envmon_entity_pbudget_info_t* rec = nullptr;
  uint32_t index = kNoIndex;
  bool is_card = false;
  uint32_t pos = 0;
  auto in_group = [&](uint32_t group, uint32_t position) {
    const uint32_t at = static_cast<uint32_t>(p->start_index[group]) + position;
    if (!group_present(group) || at > p->last_index[group] || !valid_card_index(at)) return false;
    index = at;
    rec = &p->pbudget_list[at];
    is_card = true;
    return true;
  };
  bool found = false;
  if (envmon_pwr_is_rp_card_type(type) && envmon_is_rp_slot(s, &pos) && p->rp_pbudget) {
    index = pos;
    rec = &p->rp_pbudget[pos];
    found = true;
  } else if (envmon_pwr_is_sc_card_type(type)) {
    found = true;
  } else if (envmon_pwr_is_swc_card_type(type) && envmon_is_sw_slot(s, &pos)) {
    found = in_group(ENVMON_CARD_CLASS_SWC, pos);
  } else if (envmon_pwr_is_xc_card_type(type) && envmon_is_xc_slot(s, &pos)) {
    found = in_group(ENVMON_CARD_CLASS_XC, pos);
  } else if (envmon_pwr_is_fc_card_type(type)) {
    if (group_present(ENVMON_CARD_CLASS_FC)) {
      for (uint32_t i = p->start_index[ENVMON_CARD_CLASS_FC];
           i <= p->last_index[ENVMON_CARD_CLASS_FC] && valid_card_index(i); ++i) {
        if (p->pbudget_list[i].hw_position == slot) {
          found = in_group(ENVMON_CARD_CLASS_FC, i - p->start_index[ENVMON_CARD_CLASS_FC]);
          break;
        }
      }
    }
  } else if (envmon_pwr_is_fantray_type(type) && envmon_is_fantray_slot(s, &pos) &&
             p->fantray_pbudget && pos < envmon_hal_get_max_fantray()) {
    index = pos;
    rec = &p->fantray_pbudget[pos];
    found = true;
  }
  if (!found || !kind) {
    tlg_internal(pwrm_tlg_cmn_hdl, kInvalidType, kFunc, type);
    return;
  }
  const uint16_t old_budget = rec ? rec->pbudget : 0;
  const uint16_t old_max = rec ? rec->max_budget : 0;
  const uint16_t old_ext = rec ? rec->ext_budget : 0;
  const uint16_t old_stby = rec ? rec->stby_zn_budget : 0;
  tlg_internal(pwrm_tlg_cmn_hdl, kForCard, type, slot, static_cast<int>(index));

  uint8_t subtype = budget_subtype(*kind);
  int32_t pi = kind->pi_type;
  int32_t pd = card_type;
  char hal_pid[ENVMON_PID_LEN * 2] = {};
  const char* use_pid = pid;
  int32_t maj = hw_ver_maj;
  int32_t min = hw_ver_min;
  if (card_state == 0) {
    // No hardware was reported: the platform names the entity's hardware.
    if (!envmon_hal_pwr_mgmt_get_hw_type(static_cast<uint32_t>(kind->entity_type), &subtype, &pi,
                                         &pd, hal_pid, &maj, &min)) {
      tlg_internal(pwrm_tlg_cmn_hdl, kInvalidEntityType, kFunc, kind->entity_type);
      return;
    }
    hal_pid[sizeof(hal_pid) - 1] = '\0';
    use_pid = hal_pid;
  }
  uint16_t max = old_max;
  uint16_t stby = old_stby;
  uint16_t ext = old_ext;
  if (envmon_get_power_budget(kind->entity_type, pi, pd, use_pid, maj, min, subtype, &max, &stby,
                              &ext, nullptr) != ENVMON_OK) {
    tlg_internal(pwrm_tlg_cmn_hdl, kBudgetFailed, kFunc);
    return;
  }
  tlg_internal(pwrm_tlg_cmn_hdl, kOldNewBudgets, kFunc, old_max, old_ext, old_stby, max, ext, stby);
  uint16_t n = extended_mode() ? ext : max;
  tlg_internal(pwrm_tlg_cmn_hdl, kOldNewPbudget, old_budget, n);
  if (!rec) {
    tlg_internal(pwrm_tlg_cmn_hdl, kScNotSupported, card_type, static_cast<int>(index));
    return;
  }
  if (is_card && p->pwr_mgmt_action_ena != 1 && (card_state == 0 || card_state == 2)) n = stby;
  rec->pbudget = n;
  rec->max_budget = max;
  rec->stby_zn_budget = stby;
  rec->ext_budget = ext;
  tlg_internal(pwrm_tlg_cmn_hdl, kStored, old_budget, n, static_cast<int>(index), rec->status);
  if (n == old_budget) return;
  tlg_internal(pwrm_tlg_cmn_hdl, kCardBudgetChanged, kFunc, static_cast<int>(index), type,
               old_budget, n);
  const int32_t old_total = p->total_power_budget;
  p->total_power_budget = old_total - old_budget + n;
  if (is_card)
    counters_move(index, old_budget, n);
  else
    oper_add(kCntTotalPreq, static_cast<int32_t>(n) - old_budget);
  tlg_internal(pwrm_tlg_cmn_hdl, kTotalChanged, kFunc, old_total, p->total_power_budget);
  if (check_alarms) envmon_check_chassis_ps_alm(false);
}

envmon_err_t envmon_pwr_mgmt_update_pbudget_data(void) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_update_pbudget_data";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p) return ENVMON_OK;
  const bool extended = extended_mode();
  envmon_get_rp_sc_eid();
  recompute_pre_budgeted(p->rp_pbudget, envmon_hal_get_max_rp());
  tlg_internal(pwrm_tlg_cmn_hdl, kRpTotal, kFunc, p->total_power_budget);
  envmon_get_fantray_eid();
  recompute_pre_budgeted(p->fantray_pbudget,
                         std::min(envmon_hal_get_max_pri_fantray(), envmon_hal_get_max_fantray()));
  tlg_internal(pwrm_tlg_cmn_hdl, kRpFtTotal, kFunc, p->total_power_budget);
  envmon_get_card_eid();

  if (group_present(ENVMON_CARD_CLASS_LC)) {
    for (uint32_t i = p->start_index[ENVMON_CARD_CLASS_LC];
         i <= p->last_index[ENVMON_CARD_CLASS_LC] && valid_card_index(i); ++i) {
      envmon_entity_pbudget_info_t& c = p->pbudget_list[i];
      const int idx = static_cast<int>(i);
      tlg_internal(pwrm_tlg_cmn_hdl, kLcBefore, idx, c.pbudget, idx, c.max_budget, idx,
                   c.stby_zn_budget, idx, c.ext_budget, c.pbudget);
      move_card(i, mode_budget(c, extended));
      tlg_internal(pwrm_tlg_cmn_hdl, kLcAfter, idx, c.pbudget, p->total_power_budget);
    }
  }
  tlg_internal(pwrm_tlg_cmn_hdl, kLcTotal, kFunc, p->total_power_budget);
  if (group_present(ENVMON_CARD_CLASS_FC)) {
    for (uint32_t i = p->start_index[ENVMON_CARD_CLASS_FC];
         i <= p->last_index[ENVMON_CARD_CLASS_FC] && valid_card_index(i); ++i) {
      envmon_entity_pbudget_info_t& c = p->pbudget_list[i];
      const int idx = static_cast<int>(i);
      tlg_internal(pwrm_tlg_cmn_hdl, kFcBefore, c.pbudget, idx, c.pbudget, c.max_budget,
                   c.ext_budget, envmon_rm->pwr_cfg.extended_mode_operation);
      move_card(i, mode_budget(c, extended));
      tlg_internal(pwrm_tlg_cmn_hdl, kFcAfter, idx, c.pbudget, p->total_power_budget);
    }
  }
  tlg_internal(pwrm_tlg_cmn_hdl, kFcTotal, kFunc, p->total_power_budget);
  envmon_fru_power_alloc_update_all(true);
  return envmon_fru_power_alloc_update_all(false);
}

}  // extern "C"
