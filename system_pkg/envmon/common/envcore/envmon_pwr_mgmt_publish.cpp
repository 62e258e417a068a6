// Publication of the system power figures and of each entity's allocation,
// FRU currents, the power configuration arriving, and the line cards whose
// low-budget shutdown had to wait until power management could act.
#include "envmon_invreg.h"
#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kSettingCurrent[] = "setting fru_current for slot %d, curr_val %d\n";
constexpr char kRpCurrent[] = "fru_current set for RP slot %d, curr_val %d\n";
constexpr char kCardCurrent[] = "fru_current set for card slot %d, curr_val %d\n";
constexpr char kFtCurrent[] = "fru_current set for FT[%d] slot %d, curr_val %d\n";
constexpr char kCfgRcvd[] = "configuration rcvd\n";
constexpr char kShutPendingDone[] = "%s - done\n";
constexpr char kShutCard[] =
    "%s - card(idx%d): status changed from %s to %s, card power budget changed from %d to %d, "
    "total power budget from %d to %d(W) \n";

// Chassis types on which deferred shutdowns are never carried out.
constexpr uint32_t kNoShutChassis[] = {592354u, 592286u};

bool same_figures(const envmon_sys_pwr_data& d, const envmon_pwr_mgmt_data_t& p) {
  return d.usable_pwr == p.usable_pwr && d.prot_pwr == p.prot_pwr &&
         d.resrv_n_alloc_pwr == p.resrv_n_alloc_pwr && d.cnf_pwr_red_mode == p.cnf_pwr_red_mode &&
         d.act_pwr_red_mode == p.act_pwr_red_mode &&
         d.total_available_current == p.total_available_current &&
         d.total_drawn_current == p.total_drawn_current;
}

void store_figures(const envmon_sys_pwr_data& d, envmon_pwr_mgmt_data_t& p) {
  p.usable_pwr = d.usable_pwr;
  p.prot_pwr = d.prot_pwr;
  p.resrv_n_alloc_pwr = d.resrv_n_alloc_pwr;
  p.cnf_pwr_red_mode = d.cnf_pwr_red_mode;
  p.act_pwr_red_mode = d.act_pwr_red_mode;
  p.total_available_current = d.total_available_current;
  p.total_drawn_current = d.total_drawn_current;
}

// The first record of `n` whose slot is `slot`.
envmon_entity_pbudget_info_t* by_slot(envmon_entity_pbudget_info_t* recs, uint32_t n,
                                      int32_t slot) {
  for (uint32_t i = 0; recs && i < n; ++i)
    if (recs[i].hw_position == slot) return &recs[i];
  return nullptr;
}

// Number of card records laid out from the chassis description.
uint32_t laid_out_cards() {
  envmon_pwr_mgmt_data_t* p = envmon_pm::pm();
  for (uint32_t g = 0; g < ENVMON_CARD_CLASS_COUNT; ++g)
    if (envmon_pm::group_present(g)) return static_cast<uint32_t>(p->pbudget_last_index) + 1;
  return 0;
}

}  // namespace

namespace envmon_pm {

void publish_alloc(const envmon_entity_pbudget_info_t& rec) {
  envmon_server_notify_fru_pwr_alloc_data(
      &rec.container_eid, rec.pbudget,
      static_cast<uint32_t>(envmon_convert_to_inv_pwr_stat(rec.status)),
      static_cast<uint32_t>(rec.current));
}

void push_fantray_alloc(envmon_entity_pbudget_info_t& rec) {
  envmon_inv_invreg_fru_power_alloc_update(&rec.container_eid, rec.pbudget,
                                           envmon_convert_to_inv_pwr_stat(rec.status), rec.current,
                                           0);
}

}  // namespace envmon_pm

using namespace envmon_pm;

extern "C" {

envmon_err_t envmon_chk_n_upd_system_pwr_data(bool force) {
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !cfg_received()) return ENVMON_OK;
  if (p->pwr_mgmt_action_ena != 0 && !envmon_pwr_mgmt_ready()) return ENVMON_OK;
  if (p->all_card_info_rcvd != 1) return ENVMON_OK;
  envmon_sys_pwr_data d{};
  d.resrv_n_alloc_pwr = p->total_power_budget;
  d.cnf_pwr_red_mode = p->red_mode;
  d.act_pwr_red_mode = p->act_red_mode;
  if (!envmon_hal_check_n_update_system_pwr_data(&d, force ? 1 : 0)) return ENVMON_OK;
  if (!force && same_figures(d, *p)) return ENVMON_OK;
  store_figures(d, *p);
  envmon_server_notify_sys_pwr_data(&d);
  return ENVMON_OK;
}

envmon_err_t envmon_fru_power_alloc_update_all(bool to_inventory) {
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || p->total_power_budget == 0 || !envmon_rm || envmon_rm->svc_role != ENVMON_ROLE_ACTIVE)
    return ENVMON_OK;
  if (!to_inventory) {
    for (uint32_t i = 0; p->rp_pbudget && i < envmon_hal_get_max_rp(); ++i)
      publish_alloc(p->rp_pbudget[i]);
    for (uint32_t i = 0; p->pbudget_list && i < card_records(); ++i)
      publish_alloc(p->pbudget_list[i]);
    envmon_hal_pwr_mgmt_fru_power_allocated_update_all();
    fru_pwr_alloc_published = true;
    return ENVMON_OK;
  }
  if (!envmon_rm->inv_invreg_connected) return ENVMON_OK;
  for (uint32_t i = 0; p->fantray_pbudget && i < envmon_hal_get_max_fantray(); ++i) {
    envmon_entity_pbudget_info_t& ft = p->fantray_pbudget[i];
    push_fantray_alloc(ft);
    ft.reg_state = (ft.reg_state & ~kAllocClear) | kAllocArm;
  }
  envmon_ceb_fsa_sched_event(kCebRegRequest);
  return ENVMON_OK;
}

void envmon_set_fru_current(int32_t slot, int32_t current) {
  tlg_internal(info_tlg_cmn_hdl, kSettingCurrent, slot, current);
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p) return;
  if (envmon_entity_pbudget_info_t* rp = by_slot(p->rp_pbudget, envmon_hal_get_max_rp(), slot)) {
    if (rp->current == current) return;
    rp->current = current;
    publish_alloc(*rp);
    tlg_internal(info_tlg_cmn_hdl, kRpCurrent, slot, current);
    return;
  }
  if (envmon_entity_pbudget_info_t* card = by_slot(p->pbudget_list, laid_out_cards(), slot)) {
    if (card->current == current) return;
    card->current = current;
    publish_alloc(*card);
    tlg_internal(info_tlg_cmn_hdl, kCardCurrent, slot, current);
    return;
  }
  uint32_t tray = 0;
  if (slot < 0 || !envmon_is_fantray_slot(static_cast<uint32_t>(slot), &tray)) return;
  if (!p->fantray_pbudget || tray >= envmon_hal_get_max_fantray()) return;
  envmon_entity_pbudget_info_t& ft = p->fantray_pbudget[tray];
  if (ft.current == current) return;
  ft.current = current;
  push_fantray_alloc(ft);
  tlg_internal(info_tlg_cmn_hdl, kFtCurrent, static_cast<int>(tray), slot, current);
}

envmon_err_t envmon_check_chassis_ps_alm(bool force) {
  if (cfg_received()) envmon_hal_pwr_mgmt_check_chassis_pwr_supply_alarms(force);
  return envmon_chk_n_upd_system_pwr_data(force);
}

envmon_err_t envmon_set_pwr_mgmt_cfg_rcvd(void) {
  if (envmon_rm && envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd != 1) {
    tlg_internal(pwrm_tlg_cmn_hdl, kCfgRcvd);
    envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = 1;
    envmon_pwr_mgmt_check_card_shut_pending();
  }
  return envmon_check_chassis_ps_alm(true);
}

envmon_err_t envmon_pwr_mgmt_check_card_shut_pending(void) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_check_card_shut_pending";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm || platform_is_sim_platform() || !cfg_received()) return ENVMON_OK;
  if (p->pwr_mgmt_action_ena != 0 && !envmon_pwr_mgmt_ready()) return ENVMON_OK;
  if (envmon_hal_are_lc_managed_remotely()) return ENVMON_OK;
  for (uint32_t chassis : kNoShutChassis)
    if (envmon_rm->chassis_type == chassis) return ENVMON_OK;
  if (!group_present(ENVMON_CARD_CLASS_LC)) return ENVMON_OK;

  for (uint32_t i = p->start_index[ENVMON_CARD_CLASS_LC];
       i <= p->last_index[ENVMON_CARD_CLASS_LC] && valid_card_index(i); ++i) {
    envmon_entity_pbudget_info_t& c = p->pbudget_list[i];
    if (c.shut_pending == 0) continue;
    c.shut_pending = 0;
    // The total shrinks with every card shut, which may spare the cards after it.
    if (static_cast<uint32_t>(p->total_power_budget) <= p->total_capacity ||
        p->pwr_mgmt_action_ena != 1 || !holds_budget(c.status))
      continue;
    envmon_hal_fm_process_card_shut_on_low_budget(static_cast<uint8_t>(i), 1);
    const int32_t old_total = p->total_power_budget;
    const uint16_t old_budget = c.pbudget;
    const int32_t old_status = c.status;
    p->total_power_budget = old_total - old_budget + c.stby_zn_budget;
    counters_move(i, old_budget, c.stby_zn_budget);
    c.pbudget = c.stby_zn_budget;
    c.status = ENVMON_PWR_OFF;
    if (old_status == ENVMON_PWR_ON) p->lc_powered_on_bitmap &= ~(1u << (i % 32));
    publish_alloc(c);
    tlg_internal(pwrm_tlg_cmn_hdl, kShutCard, kFunc, static_cast<int>(i), status_name(old_status),
                 status_name(c.status), old_budget, c.pbudget, old_total, p->total_power_budget);
  }
  tlg_internal(pwrm_tlg_cmn_hdl, kShutPendingDone, kFunc);
  return envmon_chk_n_upd_system_pwr_data(false);
}

}  // extern "C"
