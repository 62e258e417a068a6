#include "envcore_standin.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

namespace {

// Results a test process sets for a whole process (the host program) through
// ENVCORE_STANDIN_RESULTS="fm_init=0x1234,invreg_nm_init=5".
void apply_env_results(EnvcoreStandin* s) {
  const char* spec = getenv("ENVCORE_STANDIN_RESULTS");
  if (!spec) return;
  const std::pair<const char*, envmon_err_t EnvcoreStandin::*> fields[] = {
      {"fm_init", &EnvcoreStandin::fm_init},
      {"pm_init", &EnvcoreStandin::pm_init},
      {"platform_driver_init", &EnvcoreStandin::platform_driver_init},
      {"invreg_nm_init", &EnvcoreStandin::invreg_nm_init},
      {"platform_handle_init", &EnvcoreStandin::platform_handle_init},
      {"ceb_start", &EnvcoreStandin::ceb_start}};
  std::string all(spec);
  size_t pos = 0;
  while (pos <= all.size()) {
    size_t end = all.find(',', pos);
    if (end == std::string::npos) end = all.size();
    const std::string item = all.substr(pos, end - pos);
    const size_t eq = item.find('=');
    if (eq != std::string::npos) {
      for (const auto& f : fields)
        if (item.compare(0, eq, f.first) == 0 && strlen(f.first) == eq)
          s->*f.second = strtoull(item.c_str() + eq + 1, nullptr, 0);
    }
    pos = end + 1;
  }
}

EnvcoreStandin& state() {
  static EnvcoreStandin* s = [] {
    auto* st = new EnvcoreStandin();
    apply_env_results(st);
    return st;
  }();
  return *s;
}

void log_call(const char* name) { state().calls.emplace_back(name); }

template <typename... Args>
void log_call(const char* fmt, Args... args) {
  char text[160];
  snprintf(text, sizeof(text), fmt, args...);
  state().calls.emplace_back(text);
}

}  // namespace

EnvcoreStandin& envcore_standin() { return state(); }

void envcore_standin_reset() { state() = EnvcoreStandin(); }

bool envcore_standin_called(const std::string& call) {
  const auto& c = state().calls;
  return std::find(c.begin(), c.end(), call) != c.end();
}

extern "C" {

// ---- Platform limits and classes. ----
uint32_t envmon_hal_get_max_fantray(void) { return state().max_fantray; }
uint32_t envmon_hal_get_max_powertray(void) { return state().max_powertray; }
uint32_t envmon_hal_get_max_virtual_powertray(void) { return state().max_virtual_powertray; }
uint32_t envmon_hal_get_max_rp(void) { return state().max_rp; }
uint32_t envmon_hal_get_max_fc(void) { return state().max_fc; }
uint32_t envmon_hal_get_max_lc(void) { return state().max_lc; }
uint32_t envmon_hal_get_max_swc(void) { return state().max_swc; }
uint32_t envmon_hal_get_max_xc(void) { return state().max_xc; }
uint32_t envmon_hal_get_max_mpa(void) { return state().max_mpa; }
uint32_t envmon_hal_get_max_inv_slots(void) { return state().max_inv_slots; }
uint32_t envmon_hal_get_max_idprom_size(void) { return state().max_idprom_size; }
uint32_t envmon_hal_get_max_clients(void) { return state().max_clients; }
uint32_t envmon_hal_get_chassis_sn_length(void) { return state().chassis_sn_length; }
int envmon_hal_are_fc_managed_remotely(void) { return state().fc_remote; }
int envmon_hal_are_lc_managed_remotely(void) { return state().lc_remote; }
int envmon_hal_are_sw_managed_remotely(void) { return state().sw_remote; }

void envmon_hal_get_mpa_range(uint32_t* end, uint32_t* start) {
  if (end) *end = state().mpa_end;
  if (start) *start = state().mpa_start;
}

void envmon_hal_get_mpa_bay_slot(uint32_t slot, uint8_t* index, uint16_t* bay) {
  const uint32_t off = slot - state().mpa_start;
  if (index) *index = static_cast<uint8_t>(off % 3);
  if (bay) *bay = static_cast<uint16_t>(off / 3 + 1);
}

int hal_get_mpa_nodeid_location(uint32_t slot, char* location, uint32_t location_len) {
  if (!location || location_len == 0) return -1;
  snprintf(location, location_len, "0/MPA%u", slot);
  return 0;
}

const char* envmon_hal_get_card_name(uint32_t card_type) {
  auto it = state().card_names.find(card_type);
  return it == state().card_names.end() ? nullptr : it->second.c_str();
}

const char* envmon_hal_get_platform_name(void) { return state().platform_name.c_str(); }

uint32_t* envmon_hal_get_misc_state(int32_t slot) {
  auto it = state().misc_states.find(slot);
  return it == state().misc_states.end() ? nullptr : it->second;
}

envmon_err_t envmon_hal_get_sensor_list(int32_t slot, uint32_t subtype, envmon_sensor_info** list,
                               uint16_t* count) {
  auto it = state().slot_lists.find({slot, subtype});
  if (it == state().slot_lists.end() || !list || !count) return -1;
  *list = it->second->sensors;
  *count = it->second->count;
  return 0;
}

int envmon_hal_filter_sensor_eid_by_name(uint32_t subtype, const char* name) {
  for (const auto& hidden : state().hidden_names)
    if (name && strstr(name, hidden.c_str())) {
      log_call("envmon_hal_filter_sensor_eid_by_name(%u, %s)", subtype, name);
      return 1;
    }
  return 0;
}

void envmon_hal_customize_sensor_info(envmon_sensor_info* sensor, int32_t slot, uint32_t type,
                                      uint32_t subtype) {
  log_call("envmon_hal_customize_sensor_info(%d, %u, %u)", slot, type, subtype);
  if (sensor && state().customize_delta >= 0) sensor->delta = state().customize_delta;
}

envmon_err_t envmon_hal_ship_stats_init(void) {
  log_call("envmon_hal_ship_stats_init");
  return state().hal_ship_stats_init;
}

envmon_err_t envmon_hal_capi_platform_driver_init(struct evloop*) {
  log_call("envmon_hal_capi_platform_driver_init");
  return state().platform_driver_init;
}

// ---- Fault-manager hooks of the hardware abstraction: no platform table, so
// the fault-manager client registers with its default tables. ----
int32_t envmon_hal_fm_update_fm_table(uint32_t) { return 0; }
const char* envmon_hal_fm_get_fm_table(uint32_t) { return nullptr; }
void envmon_hal_fm_nm_set_repeatable(struct alarmd_handle*) {}
void envmon_hal_fm_rm_set_repeatable(struct alarmd_handle*) {}

// ---- Fault manager, inventory, failure log, power management. ----
envmon_err_t envmon_fm_init(uint32_t scope, struct evloop*) {
  log_call("envmon_fm_init(%u)", scope);
  return state().fm_init;
}

envmon_err_t envmon_fm_fault_report_resync(uint32_t scope, uint32_t type) {
  log_call("envmon_fm_fault_report_resync(%u, %u)", scope, type);
  return 0;
}

envmon_err_t envmon_inv_invreg_nm_client_init(struct evloop*) {
  log_call("envmon_inv_invreg_nm_client_init");
  return state().invreg_nm_init;
}

envmon_err_t envmon_inv_invreg_rm_client_init(struct evloop*) {
  log_call("envmon_inv_invreg_rm_client_init");
  return state().invreg_rm_init;
}

envmon_err_t envmon_capi_inv_init(struct evloop*) {
  log_call("envmon_capi_inv_init");
  return state().capi_inv_init;
}

void envmon_inv_invreg_report_hw_event(const pelm_eid* eid, uint32_t scope, uint32_t state_) {
  log_call("envmon_inv_invreg_report_hw_event(%u, %u, %u)", eid ? eid->slot : 0, scope, state_);
  state().hw_events.push_back({eid ? eid->slot : 0u, scope, state_});
}

envmon_err_t envmon_obfl_rm_init(struct evloop*) {
  log_call("envmon_obfl_rm_init");
  return state().obfl_rm_init;
}

envmon_err_t envmon_init_pwr_mgmt_data(void) {
  log_call("envmon_init_pwr_mgmt_data");
  return 0;
}

// Power management's own rule: a group is empty when both indexes are 255.
bool envmon_pwr_mgmt_check_valid_indexes(uint8_t first, int8_t last) {
  return !(first == 255 && last == -1);
}

// ---- The core's control flow (process manager, platform-local client,
// service server, card-event state machine). ----
envmon_err_t envmon_capi_pm_init(struct evloop*) {
  log_call("envmon_capi_pm_init");
  return state().pm_init;
}

envmon_err_t envmon_capi_platform_handle_init(struct evloop*) {
  log_call("envmon_capi_platform_handle_init");
  return state().platform_handle_init;
}

envmon_err_t envmon_server_init(struct evloop*, uint32_t scope) {
  log_call("envmon_server_init(%u)", scope);
  return state().server_init;
}

envmon_err_t envmon_ceb_fsa_init_n_start(void) {
  log_call("envmon_ceb_fsa_init_n_start");
  return state().ceb_start;
}

}  // extern "C"
