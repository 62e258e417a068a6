#include "pwr_mgmt_standin.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace {

PwrMgmtStandin& state() {
  static PwrMgmtStandin* s = new PwrMgmtStandin();
  return *s;
}

__attribute__((format(printf, 1, 2))) void log_call(const char* fmt, ...) {
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof(text), fmt, ap);
  va_end(ap);
  state().calls.emplace_back(text);
}

}  // namespace

PwrMgmtStandin& pwr_mgmt_standin() { return state(); }

void pwr_mgmt_standin_reset() { state() = PwrMgmtStandin(); }

std::vector<std::string> pwr_mgmt_calls(const std::vector<std::string>& prefixes) {
  std::vector<std::string> out;
  for (const std::string& c : state().calls)
    for (const std::string& p : prefixes)
      if (c.compare(0, p.size(), p) == 0) {
        out.push_back(c);
        break;
      }
  return out;
}

std::string pwr_eid_text(const pelm_eid& eid) {
  char text[ENVMON_EID_STR_LEN];
  envmon_dump_pelm_eid_to_string(&eid, text);
  return text;
}

extern "C" {

// ---- Hardware abstraction. ----
uint8_t envmon_hal_get_lc_card_subtype(void) { return state().lc_card_subtype; }
uint32_t envmon_hal_get_max_pri_fantray(void) { return state().max_pri_fantray; }

int32_t envmon_hal_pwr_mgmt_init(void) {
  log_call("hal_pwr_mgmt_init");
  return state().pwr_mgmt_init;
}

void envmon_hal_pwr_mgmt_pbudget_data_init(void) {
  log_call("hal_pbudget_data_init");
  if (state().card_budgets) state().card_budgets();
}

void envmon_hal_pwr_mgmt_fru_power_allocated_update_all(void) { log_call("hal_alloc_all"); }

bool envmon_hal_check_n_update_system_pwr_data(envmon_sys_pwr_data* data, uint8_t force) {
  log_call("hal_sys_pwr(%u)", force);
  if (!state().sys_pwr_filled || !data) return false;
  const envmon_sys_pwr_data& s = state().sys_pwr;
  data->usable_pwr = s.usable_pwr;
  data->prot_pwr = s.prot_pwr;
  data->total_available_current = s.total_available_current;
  data->total_drawn_current = s.total_drawn_current;
  return true;
}

bool envmon_hal_pwr_mgmt_get_hw_type(uint32_t entity_type, uint8_t* subtype, int32_t* pi_type,
                                     int32_t* pd_type, char* pid, int32_t* hw_major,
                                     int32_t* hw_minor) {
  log_call("hal_get_hw_type(%u)", entity_type);
  auto it = state().hw_types.find(entity_type);
  if (it == state().hw_types.end()) return false;
  if (subtype) *subtype = it->second.subtype;
  if (pi_type) *pi_type = it->second.pi_type;
  if (pd_type) *pd_type = it->second.pd_type;
  if (pid) snprintf(pid, 16, "%s", it->second.pid.c_str());
  if (hw_major) *hw_major = 0;
  if (hw_minor) *hw_minor = 1;
  return true;
}

bool envmon_hal_is_pwr_mgmt_ready(void) { return state().pwr_mgmt_ready; }

void envmon_hal_pwr_mgmt_handle_role_change(void) { log_call("hal_role_change"); }

void envmon_hal_pwr_mgmt_powertray_oir(uint8_t tray, uint8_t event) {
  log_call("hal_pt_oir(%u, %u)", tray, event);
}

envmon_err_t envmon_hal_pwr_mgmt_check_chassis_pwr_supply_alarms(bool force) {
  log_call("hal_ps_alarms(%d)", force ? 1 : 0);
  return 0;
}

void envmon_hal_pwr_mgmt_volt_value_change_event(int32_t value, envmon_sensor_info* sensor,
                                                 uint32_t slot) {
  log_call("hal_volt(%d, %d, %u)", value, sensor ? sensor->value : -1, slot);
}

void envmon_hal_pwr_mgmt_update_fru_curr_data(int32_t value, envmon_sensor_info* sensor,
                                              uint32_t slot) {
  log_call("hal_curr(%d, %d, %u)", value, sensor ? sensor->value : -1, slot);
}

void envmon_hal_override_power_budget_value(int32_t, uint16_t*, uint16_t*) {}

envmon_err_t envmon_hal_fm_process_card_shut_on_low_budget(uint8_t card_index, uint8_t mode) {
  log_call("shut(%u, %u)", card_index, mode);
  return state().shut_result;
}

bool envmon_hal_is_trap_needed(uint32_t slot, int32_t subtype, envmon_sensor_info*) {
  log_call("hal_trap(%u, %d)", slot, subtype);
  return state().trap;
}

// ---- Inventory registration. ----

void envmon_inv_invreg_fru_power_alloc_update(const pelm_eid* eid, uint32_t power_allocated,
                                              int32_t power_status, int32_t current,
                                              uint8_t is_producer) {
  log_call("inv_alloc(%s, %u, %d, %d, %u)", eid ? pwr_eid_text(*eid).c_str() : "null",
           power_allocated, power_status, current, is_producer);
}

envmon_err_t envmon_inv_invreg_volt_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope, uint8_t trap) {
  log_call("inv_volt(%u, %d, %u, %u, 0x%x)", eid ? eid->slot : 0, sensor ? sensor->value : -1,
           scope, trap, sensor ? sensor->state : 0);
  return 0;
}

envmon_err_t envmon_inv_invreg_curr_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope) {
  log_call("inv_curr(%u, %d, %u, 0x%x)", eid ? eid->slot : 0, sensor ? sensor->value : -1, scope,
           sensor ? sensor->state : 0);
  return 0;
}

void envmon_capi_inv_request_curr_notification(void) { log_call("inv_curr_notification"); }

// ---- Failure log. ----
void envmon_obfl_set_state(envmon_sensor_info* sensor, int32_t kind) {
  log_call("obfl(%d, %d)", kind, sensor ? sensor->value : -1);
}

// ---- Platform-local service. ----
bool platform_is_sim_platform(void) { return state().sim_platform; }

// ---- The core's service notifications and card-event posts. ----
void envmon_server_notify_sys_pwr_data(const envmon_sys_pwr_data* d) {
  if (!d) return;
  log_call("notify_sys(%d, %d, %d, %d, %d, %d, %d)", d->usable_pwr, d->prot_pwr,
           d->resrv_n_alloc_pwr, d->cnf_pwr_red_mode, d->act_pwr_red_mode,
           d->total_available_current, d->total_drawn_current);
}

void envmon_server_notify_fru_pwr_alloc_data(const pelm_eid* eid, uint32_t power_allocated,
                                             uint32_t status, uint32_t fru_current) {
  log_call("notify_fru(%s, %u, %u, %d)", eid ? pwr_eid_text(*eid).c_str() : "null",
           power_allocated, status, static_cast<int32_t>(fru_current));
}

envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  log_call("ceb_event(%u)", event);
  return 0;
}

}  // extern "C"
