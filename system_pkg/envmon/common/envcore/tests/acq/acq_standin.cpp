#include "acq_standin.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "alarmd.h"
#include "envmon_pwr_mgmt.h"

namespace {

AcqStandin& state() {
  static AcqStandin* s = new AcqStandin();
  return *s;
}

std::string eid_text(const pelm_eid* eid) {
  char buf[ENVMON_EID_STR_LEN];
  envmon_dump_pelm_eid_to_string(eid, buf);
  return buf;
}

}  // namespace

AcqStandin& acq_standin() { return state(); }
void acq_standin_reset() { state() = AcqStandin(); }

void acq_log(const char* fmt, ...) {
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof(text), fmt, ap);
  va_end(ap);
  state().calls.emplace_back(text);
  const std::string name(text, strcspn(text, "("));
  auto it = state().on_call.find(name);
  if (it != state().on_call.end() && it->second) it->second();
}

std::vector<std::string> acq_calls(const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& c : state().calls)
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  return out;
}

bool acq_called(const std::string& call) {
  const auto& c = state().calls;
  return std::find(c.begin(), c.end(), call) != c.end();
}

void acq_clear_calls() { state().calls.clear(); }

extern "C" {

// ---- Platform limits and classes. ----
uint32_t envmon_hal_get_max_fantray(void) { return state().max_fantray; }
uint32_t envmon_hal_get_max_pri_fantray(void) { return state().max_pri_fantray; }
uint32_t envmon_hal_get_max_fc(void) { return state().max_fc; }
uint32_t envmon_hal_get_max_lc(void) { return state().max_lc; }
uint32_t envmon_hal_get_max_swc(void) { return state().max_swc; }
uint32_t envmon_hal_get_max_rp(void) { return state().max_rp; }
uint32_t envmon_hal_get_max_xc(void) { return state().max_xc; }
uint32_t envmon_hal_get_max_powertray(void) { return state().max_powertray; }
uint32_t envmon_hal_get_max_mpa(void) { return 2; }
uint32_t envmon_hal_get_max_virtual_powertray(void) { return state().max_virtual_powertray; }
uint32_t envmon_hal_get_max_idprom_size(void) { return state().max_idprom_size; }
int envmon_hal_are_fc_managed_remotely(void) { return state().fc_remote; }
int envmon_hal_are_lc_managed_remotely(void) { return state().lc_remote; }
int envmon_hal_are_sw_managed_remotely(void) { return state().sw_remote; }
bool envmon_is_ft_idx_belongs_to_pft(uint32_t tray) { return tray < state().max_pri_fantray; }
const char* envmon_hal_get_platform_name(void) { return state().platform_name.c_str(); }

const char* envmon_hal_get_card_name(uint32_t card_type) {
  auto it = state().card_names.find(card_type);
  return it == state().card_names.end() ? nullptr : it->second.c_str();
}

void envmon_hal_get_mpa_range(uint32_t* end, uint32_t* start) {
  if (end) *end = state().mpa_end;
  if (start) *start = state().mpa_start;
}

void envmon_hal_get_mpa_bay_slot(uint32_t slot, uint8_t* index, uint16_t* bay) {
  const uint32_t off = slot - state().mpa_start;
  if (index) *index = static_cast<uint8_t>(off / 16);
  if (bay) *bay = static_cast<uint16_t>(off % 16);
}

int hal_get_mpa_nodeid_location(uint32_t slot, char* location, uint32_t location_len) {
  if (!location || location_len == 0 || !envmon_nm || !envmon_nm->my_location) return -1;
  snprintf(location, location_len, "%s/MPA%u", envmon_nm->my_location,
           (slot - state().mpa_start) / 16);
  return 0;
}

uint32_t* envmon_hal_get_misc_state(int32_t) { return nullptr; }
envmon_err_t envmon_hal_get_sensor_list(int32_t slot, uint32_t subtype, envmon_sensor_info** list,
                                        uint16_t* count) {
  auto it = state().hal_lists.find({static_cast<uint32_t>(slot), subtype});
  if (it == state().hal_lists.end() || !list || !count) return ENVMON_ERR_INVALID_ARG;
  *list = it->second->sensors;
  *count = it->second->count;
  return ENVMON_OK;
}

// ---- Fault manager hooks (the tags and levels are those of platform tavrin). ----
int32_t envmon_hal_fm_update_fm_table(uint32_t scope) {
  acq_log("envmon_hal_fm_update_fm_table(%u)", scope);
  return state().platform_fm_table ? 1 : 0;
}

const char* envmon_hal_fm_get_fm_table(uint32_t scope) {
  return scope == ENVMON_SCOPE_NODE ? "standin_nm_fm.xml" : "standin_rm_fm.xml";
}

void envmon_hal_fm_rm_set_repeatable(struct alarmd_handle* handle) {
  acq_log("envmon_hal_fm_rm_set_repeatable");
  alarmd_set_action_repeat(handle, alarmd_create_local_fault_id(10, 100), 1);
}

void envmon_hal_fm_nm_set_repeatable(struct alarmd_handle* handle) {
  acq_log("envmon_hal_fm_nm_set_repeatable");
  alarmd_set_action_repeat(handle, alarmd_create_local_fault_id(14, 1), 1);
}

int envmon_hal_fm_rm_action_handler(struct alarmd_handle*, struct alarmd_fault*, uint32_t action,
                                    void*, uint32_t len, void*) {
  acq_log("envmon_hal_fm_rm_action_handler(%u, %u)", action, len);
  return 0;
}

int envmon_hal_fm_nm_action_handler(struct alarmd_handle*, struct alarmd_fault*, uint32_t action,
                                    void*, uint32_t len, void*) {
  acq_log("envmon_hal_fm_nm_action_handler(%u, %u)", action, len);
  return 0;
}

int envmon_hal_fm_rm_error_handler(struct alarmd_handle*, int64_t error) {
  acq_log("envmon_hal_fm_rm_error_handler(%ld)", static_cast<long>(error));
  return 7;
}

int envmon_hal_fm_nm_error_handler(struct alarmd_handle*, int64_t error) {
  acq_log("envmon_hal_fm_nm_error_handler(%ld)", static_cast<long>(error));
  return 3;
}

int32_t envmon_hal_fm_configure_location_string(int32_t slot, char* location, pelm_eid** eid1,
                                                pelm_eid** eid2) {
  auto it = state().hal_locations.find(static_cast<uint32_t>(slot));
  if (it == state().hal_locations.end()) return 0;
  snprintf(location, 31, "%s", it->second.text.c_str());
  if (eid1) *eid1 = it->second.container;
  if (eid2) *eid2 = it->second.extra;
  return 1;
}

void envmon_hal_fm_configure_shutdown_card_fault(envmon_fm_fault_req* req, uint32_t* scope) {
  req->fault_tag = 100;
  if (scope) *scope = ENVMON_SCOPE_NODE;
}

envmon_fm_fault_req* envmon_hal_fm_configure_idprom_access_failure(envmon_fm_fault_req* req) {
  req->fault_tag = 42;
  return req;
}

void envmon_hal_fm_configure_voltage_fault(envmon_fm_fault_req* req,
                                           struct alarmd_fault_data* data, uint32_t alarm_id,
                                           uint32_t scope) {
  if (alarm_id < 1 || alarm_id > 6) return;
  const bool first = alarm_id <= 3;
  if (scope == ENVMON_SCOPE_NODE)
    req->fault_tag = first ? 3 : 2;
  else
    req->fault_tag = first ? 29 : 28;
  static constexpr uint16_t kLevel[] = {5, 4, 3};
  data->alarm_level = kLevel[(alarm_id - 1) % 3];
}

void envmon_hal_fm_configure_powertray_oir_fault(envmon_fm_fault_req* req, uint8_t inserted) {
  acq_log("envmon_hal_fm_configure_powertray_oir_fault(%u)", inserted);
  req->fault_tag = inserted ? 7 : 8;
}

void envmon_hal_fm_configure_hw_undetected_failure(pelm_eid* eid, envmon_fm_fault_req* req,
                                                   char* text) {
  req->fault_tag = 53;
  snprintf(text, 256, "Power Tray %u", eid ? eid->slot : 0u);
}

uint32_t envmon_hal_get_fm_powertray_slottype(uint32_t) { return state().powertray_slottype; }

bool envmon_hal_inv_invreg_is_hidden_sensor(const envmon_sensor_info* sensor, uint8_t* hide) {
  bool hidden = false;
  for (const auto& n : state().hidden_names)
    if (sensor && strstr(sensor->name, n.c_str())) hidden = true;
  if (hide) *hide = hidden ? 1 : 0;
  return hidden;
}

void envmon_hal_drvif_process_volt_fault(uint32_t slot, uint16_t* count,
                                         envmon_sensor_info** list) {
  auto it = state().hal_volt_lists.find(slot);
  if (it == state().hal_volt_lists.end()) return;
  *list = it->second->sensors;
  *count = it->second->count;
}

// ---- Power management. ----
// An empty card group has both indexes at 255.
bool envmon_pwr_mgmt_check_valid_indexes(uint8_t first, int8_t last) {
  return !(first == 255 && last == -1);
}

// ---- PEM library. ----
int envmon_is_pem_slot(int32_t slot, uint32_t* tray, uint32_t* pem) {
  auto it = state().pem_slots.find(static_cast<uint32_t>(slot));
  if (it == state().pem_slots.end()) return 0;
  if (tray) *tray = it->second.first;
  if (pem) *pem = it->second.second;
  return 1;
}

// ---- Inventory registration. ----
envmon_err_t envmon_inv_invreg_volt_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope, uint8_t trap) {
  acq_log("envmon_inv_invreg_volt_sensor_update(%s, %s, %u, %u)", eid_text(eid).c_str(),
          sensor ? sensor->name : "", scope, trap);
  return state().volt_update_rc;
}

void envmon_inv_invreg_report_hw_event(const pelm_eid* eid, uint32_t scope, uint32_t st) {
  acq_log("envmon_inv_invreg_report_hw_event(%u, %u, %u)", eid ? eid->slot : 0u, scope, st);
}

// ---- The core's control flow. ----
envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  acq_log("envmon_ceb_fsa_sched_event(%u)", event);
  return ENVMON_OK;
}

}  // extern "C"
