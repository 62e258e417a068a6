// Power-management start-up on the active route processor and the readiness
// test used before power management acts.
#include <stdlib.h>

#include <algorithm>

#include "envmon_invreg.h"
#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kActionSet[] = "%s: pwr_mgmt_action_ena set to %d\n";
constexpr char kPlatformInitFailed[] = "%s(): Failure in platform dependet data init\n";
constexpr char kRpBudget[] = "%s : power budget for RP/SC %d (W) \n";
constexpr char kRpFtBudget[] = "%s : power budget for RP/SC and fan tray %d (W) \n";
constexpr char kBaseBudget[] = "%s : base power budget %d (W) \n";
constexpr char kTrayEidData[] = "%s(): inv_parser_get_eid_data error, rc = %d \n";
constexpr char kTrayPosition[] = "%s(): invalid power tray position %d \n";
constexpr char kNotReadyRole[] = "pwr_mgmt not ready - role %d\n";
constexpr char kNotReadyCfg[] = "pwr_mgmt not ready - cfg_rcvd %d, card_info_rcvd %d\n";

// Every record of the array gets the maximum budget of the entity type up
// front, present or not.
void pre_budget(envmon_entity_pbudget_info_t* recs, uint32_t n, int32_t entity_type) {
  envmon_pwr_mgmt_data_t* p = envmon_pm::pm();
  for (uint32_t i = 0; recs && i < n; ++i) {
    envmon_entity_pbudget_info_t& r = recs[i];
    envmon_get_entity_power_budget(entity_type, &r.max_budget, &r.stby_zn_budget, &r.ext_budget,
                                   nullptr);
    r.pbudget = r.max_budget;
    r.status = ENVMON_PWR_PRE_RESERVED;
    p->total_power_budget += r.pbudget;
    envmon_pm::oper_add(envmon_pm::kCntTotalPreq, r.pbudget);
  }
}

}  // namespace

using namespace envmon_pm;

extern "C" {

void envmon_pwr_mgmt_pbudget_data_init(void) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_pbudget_data_init";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p) return;
  envmon_get_rp_sc_eid();
  pre_budget(p->rp_pbudget, envmon_hal_get_max_rp(), kEntRpSc);
  tlg_internal(pwrm_tlg_cmn_hdl, kRpBudget, kFunc, p->total_power_budget);
  envmon_get_fantray_eid();
  pre_budget(p->fantray_pbudget,
             std::min(envmon_hal_get_max_pri_fantray(), envmon_hal_get_max_fantray()), kEntFantray);
  tlg_internal(pwrm_tlg_cmn_hdl, kRpFtBudget, kFunc, p->total_power_budget);
  envmon_get_card_eid();
  envmon_hal_pwr_mgmt_pbudget_data_init();
  tlg_internal(pwrm_tlg_cmn_hdl, kBaseBudget, kFunc, p->total_power_budget);
  envmon_fru_power_alloc_update_all(true);
}

void envmon_pwr_mgmt_ps_data_init(void) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_ps_data_init";
  const uint32_t trays = envmon_hal_get_max_powertray();
  envmon_pwr_mgmt_data_t* p = pm();
  if (trays == 0 || !p || !p->envmon_pwr_tray_data || !envmon_rm) return;
  for (uint32_t i = 0; i < envmon_rm->pwr_tray_count && envmon_rm->pwr_tray_cont_eids; ++i) {
    inv_parser_eid_data data{};
    const int rc =
        inv_parser_get_eid_data(envmon_rm->chassis_xml, &envmon_rm->pwr_tray_cont_eids[i], &data);
    if (rc != INV_PARSER_OK) {
      tlg_internal(err_tlg_cmn_hdl, kTrayEidData, kFunc, rc);
      continue;
    }
    if (data.pos_num >= trays) {
      tlg_internal(err_tlg_cmn_hdl, kTrayPosition, kFunc, static_cast<int>(data.pos_num));
      continue;
    }
    envmon_pwr_tray_budget& t = p->envmon_pwr_tray_data[data.pos_num];
    t.hw_position = static_cast<int32_t>(data.hw_position);
    t.inst = data.instance;
    envmon_free_tsi(&t.eid);
    envmon_setup_fru_eid(data.hw_position, &t.eid);
  }
}

envmon_err_t envmon_pwr_mgmt_init(void) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_init";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm) return ENVMON_ERR_INVALID_ARG;
  p->pwr_mgmt_action_ena = envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd != 0 ? envmon_rm->pwr_cfg.pwr_ctrl : 1;
  envmon_debug_log(kActionSet, kFunc, p->pwr_mgmt_action_ena);
  envmon_pwr_mgmt_pbudget_data_init();
  envmon_pwr_mgmt_ps_data_init();
  if (envmon_hal_pwr_mgmt_init() != 0) {
    tlg_internal(err_tlg_cmn_hdl, kPlatformInitFailed, kFunc);
    exit(-1);
  }
  p->use_redundand_pwr = 1;
  envmon_rm->pwr_mgmt_data = p;
  if (envmon_rm->inv_capi_connected) envmon_capi_inv_request_curr_notification();
  return envmon_chk_n_upd_system_pwr_data(false);
}

bool envmon_pwr_mgmt_ready(void) {
  if (!envmon_rm || envmon_rm->svc_role != ENVMON_ROLE_ACTIVE) {
    tlg_internal(pwrm_tlg_cmn_hdl, kNotReadyRole, envmon_rm ? static_cast<int>(envmon_rm->svc_role) : 0);
    return false;
  }
  const int card_info = pm() ? pm()->all_card_info_rcvd : 0;
  if (envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd != 1 || card_info != 1) {
    tlg_internal(pwrm_tlg_cmn_hdl, kNotReadyCfg, envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd, card_info);
    return false;
  }
  return envmon_hal_is_pwr_mgmt_ready();
}

bool envmon_all_power_tray_container_regi_done(void) {
  envmon_pwr_mgmt_data_t* p = pm();
  if (!envmon_rm || !p || !p->envmon_pwr_tray_data || envmon_rm->pwr_tray_count == 0) return false;
  const uint32_t physical = envmon_hal_get_max_powertray();
  const uint32_t records = physical != 0 ? physical : envmon_hal_get_max_virtual_powertray();
  for (uint32_t i = 0; i < envmon_rm->pwr_tray_count; ++i) {
    // A tray beyond the records cannot have been acknowledged.
    if (i >= records || p->envmon_pwr_tray_data[i].container_regi_done != 1) return false;
  }
  return true;
}

}  // extern "C"
