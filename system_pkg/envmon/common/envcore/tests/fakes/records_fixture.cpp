#include "records_fixture.h"

#include <cstdio>
#include <cstdlib>

#include "envcore_fakes.h"
#include "nodeid.h"

namespace fakes {

void free_list(envmon_sensor_list& list) {
  for (uint16_t i = 0; list.sensors != nullptr && i < list.count; ++i) {
    free(list.sensors[i].eid.tsi);
  }
  free(list.sensors);
  list = envmon_sensor_list{};
}

namespace {

void free_card(envmon_remote_card_cb& c) {
  free_list(c.temp_data);
  free_list(c.voltage_data);
  free_list(c.current_data);
  free(c.ceid.tsi);
}

}  // namespace

records::records() {
  rm_ = static_cast<envmon_rm_t*>(calloc(1, sizeof(envmon_rm_t)));
  nm_ = static_cast<envmon_nm_t*>(calloc(1, sizeof(envmon_nm_t)));
  rm_->rack = ENVMON_RACK_UNKNOWN;
  nm_->ip_address = ENVMON_IP_UNKNOWN;
  const hal_answers& h = hal();
  if (h.max_fantray != 0) {
    rm_->fantray_cb = static_cast<fantray_cb*>(calloc(h.max_fantray, sizeof(fantray_cb)));
    rm_->fan_cont_reg_state = static_cast<uint32_t*>(calloc(h.max_fantray, sizeof(uint32_t)));
  }
  if (h.max_powertray != 0) {
    rm_->pwr_tray_cont_reg_state =
        static_cast<uint32_t*>(calloc(h.max_powertray, sizeof(uint32_t)));
  }
  if (h.fc_remote && h.max_fc != 0) {
    rm_->fc_cb = static_cast<envmon_remote_card_cb*>(calloc(h.max_fc, sizeof(envmon_remote_card_cb)));
  }
  if (h.lc_remote && h.max_lc != 0) {
    rm_->lc_cb = static_cast<envmon_remote_card_cb*>(calloc(h.max_lc, sizeof(envmon_remote_card_cb)));
  }
  if (h.sw_remote && h.max_swc != 0) {
    rm_->sw_cb = static_cast<envmon_remote_card_cb*>(calloc(h.max_swc, sizeof(envmon_remote_card_cb)));
  }
  rm_->rp_info_rcvd = static_cast<uint8_t*>(calloc(h.max_rp + 1, 1));
  rm_->fru_objs_lst = static_cast<envmon_fru_obj*>(calloc(h.max_inv_slots, sizeof(envmon_fru_obj)));
  nm_->clients = static_cast<envmon_client_entry*>(calloc(h.max_clients + 1, sizeof(envmon_client_entry)));
  if (h.max_mpa != 0) {
    nm_->mpa = static_cast<envmon_mpa_cb*>(calloc(h.max_mpa, sizeof(envmon_mpa_cb)));
    nm_->max_mpa = static_cast<uint8_t>(h.max_mpa);
  }
  envmon_rm = rm_;
  envmon_nm = nm_;
  client_count = 0;
}

records::~records() {
  const hal_answers& h = hal();
  free_list(rm_->temp_data);
  for (uint32_t t = 0; rm_->fantray_cb != nullptr && t < h.max_fantray; ++t) {
    fantray_cb& ft = rm_->fantray_cb[t];
    free_list(ft.temp_data);
    free_list(ft.voltage_data);
    free_list(ft.current_data);
    free_list(ft.fan_data);
    free_list(ft.subtype13_data);
    free_list(ft.power_data);
    free(ft.fpd_data);
    free(ft.ceid.tsi);
  }
  for (envmon_remote_card_cb* table : {rm_->fc_cb, rm_->lc_cb, rm_->sw_cb}) {
    uint32_t n = table == rm_->fc_cb ? h.max_fc : table == rm_->lc_cb ? h.max_lc : h.max_swc;
    for (uint32_t i = 0; table != nullptr && i < n; ++i) free_card(table[i]);
    free(table);
  }
  for (uint32_t b = 0; nm_->mpa != nullptr && b < nm_->max_mpa; ++b) {
    free_list(nm_->mpa[b].temp_data);
    free_list(nm_->mpa[b].voltage_data);
    free_list(nm_->mpa[b].current_data);
  }
  free(nm_->mpa);
  free_list(nm_->temp_data);
  free_list(nm_->voltage_data);
  free_list(nm_->current_data);
  free(nm_->my_location);
  free(nm_->clients);
  free(rm_->fantray_cb);
  free(rm_->fan_cont_reg_state);
  free(rm_->fan_cont_eids);
  free(rm_->pwr_tray_cont_reg_state);
  free(rm_->pwr_tray_cont_eids);
  free(rm_->rp_info_rcvd);
  for (uint32_t s = 0; rm_->fru_objs_lst != nullptr && s < h.max_inv_slots; ++s) {
    nodeid_destroy(static_cast<nodeid_td>(rm_->fru_objs_lst[s].nodeid));
  }
  free(rm_->fru_objs_lst);
  nodeid_destroy(static_cast<nodeid_td>(rm_->rack_nodeid));
  nodeid_destroy(static_cast<nodeid_td>(nm_->nodeid));
  if (pm_ != nullptr) {
    free(pm_->fantray_pbudget);
    free(pm_->rp_pbudget);
    free(pm_->envmon_pwr_tray_data);
    free(pm_);
  }
  free(rm_);
  free(nm_);
  envmon_rm = nullptr;
  envmon_nm = nullptr;
  client_count = 0;
}

void records::fill(envmon_sensor_list& list, const char* prefix,
                   const std::vector<uint32_t>& states, uint32_t reg_state, uint32_t slot) {
  free_list(list);
  list.count = static_cast<uint16_t>(states.size());
  list.sensors = static_cast<envmon_sensor_info*>(calloc(states.size() + 1, sizeof(envmon_sensor_info)));
  uint16_t i = 0;
  for (uint32_t st : states) {
    envmon_sensor_info& s = list.sensors[i];
    snprintf(s.name, sizeof(s.name), "%s%u", prefix, i);
    s.state = st;
    s.eid.rack = ENVMON_RACK_UNKNOWN;
    s.eid.slot = slot;
    s.eid.present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT;
    ++i;
  }
  list.reg_state = reg_state;
}

envmon_pwr_mgmt_data_t& records::pwr_mgmt(uint32_t power_trays) {
  if (pm_ == nullptr) {
    pm_ = static_cast<envmon_pwr_mgmt_data_t*>(calloc(1, sizeof(envmon_pwr_mgmt_data_t)));
    const uint32_t trays = hal().max_fantray;
    pm_->fantray_pbudget = static_cast<envmon_entity_pbudget_info_t*>(
        calloc(trays + 1, sizeof(envmon_entity_pbudget_info_t)));
    pm_->rp_pbudget = static_cast<envmon_entity_pbudget_info_t*>(
        calloc(hal().max_rp + 1, sizeof(envmon_entity_pbudget_info_t)));
    for (uint32_t i = 0; i < hal().max_rp; ++i) pm_->rp_pbudget[i].hw_position = static_cast<int32_t>(i);
    pm_->envmon_pwr_tray_data = static_cast<envmon_pwr_tray_budget*>(
        calloc(power_trays + 1, sizeof(envmon_pwr_tray_budget)));
    rm_->pwr_mgmt_data = pm_;
  }
  return *pm_;
}

}  // namespace fakes
