// Recording stand-ins (see envcore_fakes.h).
#include "envcore_fakes.h"

#include <cstdarg>
#include <cstdio>
#include <map>

namespace fakes {
namespace {

std::vector<std::string> g_calls;
std::map<std::string, int64_t> g_results;
std::map<std::string, std::function<void()>> g_hooks;
hal_answers g_hal;

}  // namespace

const std::vector<std::string>& calls() { return g_calls; }

std::vector<std::string> calls_of(std::initializer_list<const char*> prefixes) {
  std::vector<std::string> out;
  for (const std::string& c : g_calls) {
    for (const char* p : prefixes) {
      if (c.rfind(p, 0) == 0) {
        out.push_back(c);
        break;
      }
    }
  }
  return out;
}

bool called(const std::string& call) {
  for (const std::string& c : g_calls) {
    if (c == call) return true;
  }
  return false;
}

void clear_calls() { g_calls.clear(); }

void reset() {
  g_calls.clear();
  g_results.clear();
  g_hooks.clear();
  g_hal = hal_answers{};
}

void set_result(const std::string& fn, int64_t value) { g_results[fn] = value; }

int64_t result(const char* fn) {
  auto it = g_results.find(fn);
  return it == g_results.end() ? 0 : it->second;
}

void on_call(const std::string& fn, std::function<void()> hook) { g_hooks[fn] = std::move(hook); }

hal_answers& hal() { return g_hal; }

// Records one call and runs its hook.
__attribute__((format(printf, 2, 3))) void rec(const char* fn, const char* fmt, ...) {
  char args[256] = "";
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(args, sizeof(args), fmt, ap);
  va_end(ap);
  g_calls.push_back(std::string(fn) + "(" + args + ")");
  auto it = g_hooks.find(fn);
  if (it != g_hooks.end() && it->second) {
    auto hook = it->second;  // the hook may replace itself
    hook();
  }
}

}  // namespace fakes

using fakes::hal;
using fakes::rec;
using fakes::result;

#define R32(fn) static_cast<int32_t>(result(fn))
#define RERR(fn) static_cast<envmon_err_t>(result(fn))

extern "C" {

// ---- hardware abstraction
uint32_t envmon_hal_get_max_fantray(void) { return hal().max_fantray; }
uint32_t envmon_hal_get_max_powertray(void) { return hal().max_powertray; }
uint32_t envmon_hal_get_max_rp(void) { return hal().max_rp; }
uint32_t envmon_hal_get_max_fc(void) { return hal().max_fc; }
uint32_t envmon_hal_get_max_lc(void) { return hal().max_lc; }
uint32_t envmon_hal_get_max_swc(void) { return hal().max_swc; }
uint32_t envmon_hal_get_max_mpa(void) { return hal().max_mpa; }
uint32_t envmon_hal_get_max_inv_slots(void) { return hal().max_inv_slots; }
uint32_t envmon_hal_get_max_idprom_size(void) { return 256; }
uint32_t envmon_hal_get_max_clients(void) { return hal().max_clients; }
int envmon_hal_are_fc_managed_remotely(void) { return hal().fc_remote; }
int envmon_hal_are_lc_managed_remotely(void) { return hal().lc_remote; }
int envmon_hal_are_sw_managed_remotely(void) { return hal().sw_remote; }
bool envmon_hal_check_platform_skip(void) { return hal().platform_skip; }
bool envmon_is_ft_idx_belongs_to_pft(uint32_t) { return hal().ft_primary; }
int envmon_hal_power_budget_supported(void) { return hal().budget_supported; }
const char* envmon_hal_get_platform_name(void) { return hal().platform_name; }
uint32_t envmon_hal_get_num_pems_for_red(void) { return hal().num_pems_for_red; }

int32_t envmon_hal_send_card_info(void) {
  rec(__func__, "%s", "");
  return R32(__func__);
}
int32_t envmon_hal_send_chassis_info(void) {
  rec(__func__, "%s", "");
  return R32(__func__);
}
int32_t envmon_hal_fsa_rm_pd_error_count(void) { return R32(__func__); }
void envmon_hal_fsa_rm_cleanup_inv_retry_request(void) { rec(__func__, "%s", ""); }
void envmon_hal_fsa_rm_cleanup_drvif_retry_request(uint32_t d) { rec(__func__, "%u", d); }
int envmon_hal_idprom_get_pcb_sn(const uint8_t*, uint32_t size, char* buf, uint32_t buf_size) {
  rec(__func__, "%u,%u", size, buf_size);
  snprintf(buf, buf_size, "SN%09u", 1u);
  return 0;
}
void envmon_hal_fan_mgmt_fan_speed_update_per_eid(uint32_t tray, envmon_sensor_info* s) {
  rec(__func__, "%u,%s", tray, s->name);
}
envmon_err_t envmon_hal_fan_mgmt_fan_speed_update(uint32_t tray, uint32_t repoll) {
  rec(__func__, "%u,%u", tray, repoll);
  return 0;
}
void envmon_hal_clear_rack_scope_alarms(void) { rec(__func__, "%s", ""); }
void envmon_hal_fan_mgmt_uninit(void) { rec(__func__, "%s", ""); }
void envmon_hal_handle_role_for_pec_oir(uint32_t role) { rec(__func__, "%u", role); }
void envmon_hal_dump_tlgs(void) { rec(__func__, "%s", ""); }
envmon_remote_card_cb* envmon_hal_get_rc_cb(uint32_t slot, uint32_t cls, uint32_t pd,
                                            uint32_t* inv_hw_type, uint32_t* subtype) {
  rec(__func__, "%u,%u,0x%x", slot, cls, pd);
  if (hal().rc_cb != nullptr) {
    *inv_hw_type = hal().rc_inv_hw_type;
    *subtype = hal().rc_card_subtype;
  }
  return hal().rc_cb;
}
void envmon_hal_inv_invreg_rm_register_powertray_entities(uint32_t tray) { rec(__func__, "%u", tray); }
void envmon_hal_fan_algo_card_state_upd(uint32_t slot, uint32_t hw, int32_t state, uint32_t up) {
  rec(__func__, "%u,0x%x,%d,%u", slot, hw, state, up);
}
void envmon_hal_prog_mode_card_state_upd(uint32_t slot, int32_t state, int32_t sw) {
  rec(__func__, "%u,%d,%d", slot, state, sw);
}
void envmon_hal_set_db_default_on_rp_down(uint32_t slot) { rec(__func__, "%u", slot); }
void envmon_hal_sec_fan_alarm_clear(uint32_t slot) { rec(__func__, "%u", slot); }
envmon_err_t envmon_hal_fan_mgmt_sensor_fault_event(const pelm_eid* eid, uint32_t fault,
                                                    int32_t scope) {
  rec(__func__, "%u,0x%x,%d", eid->slot, fault, scope);
  return 0;
}
envmon_err_t envmon_hal_fan_mgmt_temp_value_change_event(const pelm_eid* eid, uint32_t value,
                                                         int32_t scope, uint64_t, uint32_t w1,
                                                         uint32_t w2) {
  rec(__func__, "%u,%u,%d,%u,%u", eid->slot, value, scope, w1, w2);
  return 0;
}
void envmon_hal_fan_timer_disable(uint8_t flag) { rec(__func__, "%u", flag); }
void envmon_hal_fan_mgmt_dump_data_structures(void) { rec(__func__, "%s", ""); }
bool envmon_hal_altitude_fan_set_needed(uint32_t a, uint32_t b) {
  rec(__func__, "%u,%u", a, b);
  return hal().altitude_fan_set_needed;
}
void envmon_hal_user_fan_speed_change(void) { rec(__func__, "%s", ""); }
void envmon_hal_fan_mgmt_filter_reset(uint32_t tray) { rec(__func__, "%u", tray); }
void envmon_hal_altitude_sensor_value(uint32_t* value, uint8_t* valid) {
  *value = hal().altitude_sensor;
  *valid = hal().altitude_sensor_valid;
}
void envmon_hal_pwr_mgmt_dump_data(void) { rec(__func__, "%s", ""); }
void envmon_hal_pwr_mgmt_set_redundancy_num_pems(uint8_t n) { rec(__func__, "%u", n); }
void envmon_hal_pwr_conf_init(void) { rec(__func__, "%s", ""); }
void envmon_hal_configured_pm_single_mode(int, const char* path) { rec(__func__, "%s", path); }
void envmon_hal_handle_progressive_mode_change(int) { rec(__func__, "%s", ""); }
void envmon_hal_progressive_register_valpoint(void) { rec(__func__, "%s", ""); }
void envmon_hal_update_rack_num(uint32_t rack) { rec(__func__, "0x%x", rack); }
void envmon_hal_inv_invreg_update_entity_prefix(int32_t slot) { rec(__func__, "%d", slot); }
void envmon_hal_run_test_case(uint32_t id) { rec(__func__, "%u", id); }
void envmon_check_chassis_alarms(void) { rec(__func__, "%s", ""); }

// ---- inventory registration
envmon_err_t envmon_inv_invreg_rm_client_init(struct evloop*) {
  rec(__func__, "%s", "");
  return RERR(__func__);
}
envmon_err_t envmon_capi_inv_init(struct evloop*) {
  rec(__func__, "%s", "");
  return RERR(__func__);
}
void envmon_inv_invreg_rm_client_disconnect(void) { rec(__func__, "%s", ""); }
void envmon_capi_inv_disconnect(void) { rec(__func__, "%s", ""); }
envmon_err_t envmon_inv_invreg_register_sensors(uint32_t scope, envmon_sensor_info* s,
                                                uint16_t count) {
  rec(__func__, "%u,%s,%u", scope, s != nullptr && count != 0 ? s->name : "", count);
  envmon_err_t rc = RERR(__func__);
  if (rc == 0) {
    for (uint16_t i = 0; i < count; ++i) {
      s[i].state = (s[i].state & ~(ENVMON_ST_REG_PENDING | ENVMON_ST_REG_DONE)) |
                   ENVMON_ST_REG_PENDING | ENVMON_ST_RETRY_RELOAD;
    }
  }
  return rc;
}
void envmon_inv_invreg_report_sensor_data_after_reg(uint32_t subtype, envmon_sensor_info* s,
                                                    uint32_t scope) {
  rec(__func__, "%u,%s,%u", subtype, s->name, scope);
  s->state &= ~ENVMON_ST_VALUE_WAITING;
}
uint16_t envmon_inv_invreg_rm_register_container_eid(inv_eid* eids, uint16_t count,
                                                     inv_xml_handle_t) {
  rec(__func__, "%u,%u", eids != nullptr ? eids->slot : 0u, count);
  return count;
}
void envmon_inv_invreg_fru_power_alloc_update(const pelm_eid* eid, uint32_t alloc, int32_t status,
                                              int32_t current, uint8_t producer) {
  rec(__func__, "%u,%u,%d,%d,%u", eid->slot, alloc, status, current, producer);
}
envmon_err_t envmon_inv_invreg_fan_fru_reg(uint32_t slot, uint32_t board, const char* serial,
                                           const uint8_t*, uint32_t len, pelm_eid*) {
  rec(__func__, "%u,0x%x,%s,%u", slot, board, serial, len);
  return 0;
}
envmon_err_t envmon_inv_invreg_fan_fru_unreg(uint32_t slot) {
  rec(__func__, "%u", slot);
  return 0;
}
void envmon_reg_and_set_eeprom_data(inv_xml_handle_t, uint32_t slot, pelm_eid*, const uint8_t*,
                                    uint32_t len) {
  rec(__func__, "%u,%u", slot, len);
}
void envmon_reg_fpd_eid(fpd_data* fpd, void*, uint32_t slot) { rec(__func__, "%s,%u", fpd->name, slot); }
void envmon_inv_invreg_reg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t type, const char* text,
                                   uint32_t len, uint32_t maj, uint32_t min) {
  rec(__func__, "%u,%u,0x%x,%s,%u,%u,%u", tray, slot, type, text, len, maj, min);
}
void envmon_inv_invreg_unreg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t type) {
  rec(__func__, "%u,%u,0x%x", tray, slot, type);
}
int32_t envmon_inv_invreg_upd_eid_state(const pelm_eid* eid, const uint32_t* states, uint32_t n,
                                        uint32_t scope) {
  rec(__func__, "%u,%u,%u,%u", eid->slot, states[0], n, scope);
  return R32(__func__);
}
void envmon_inv_invreg_upd_container_eid_nodeid(const pelm_eid* eid, struct nodeid_rec*, uint32_t scope,
                                                uint32_t slot) {
  rec(__func__, "%u,%u,%u", eid != nullptr ? eid->slot : 0u, scope, slot);
}

// ---- driver client
void envmon_drvif_rm_poll_all_sensors(uint32_t driver, uint32_t mode) {
  rec(__func__, "%u,%u", driver, mode);
}
int32_t envmon_drvif_unregister_eid(uint32_t driver, uint32_t type, uint32_t subtype) {
  rec(__func__, "%u,%u,%u", driver, type, subtype);
  return R32(__func__);
}
void envmon_drvif_poll_request(envmon_sensor_info* s, uint16_t count, uint32_t mode,
                               uint32_t driver) {
  rec(__func__, "%s,%u,%u,%u", s != nullptr && count != 0 ? s->name : "", count, mode, driver);
  for (uint16_t i = 0; s != nullptr && i < count; ++i) {
    s[i].state = (s[i].state & ~(ENVMON_ST_POLL_PENDING | ENVMON_ST_POLL_DONE)) |
                 ENVMON_ST_POLL_PENDING | ENVMON_ST_RETRY_RELOAD;
  }
}
void envmon_process_drvif_volt_fault(const pelm_eid* eid, uint32_t fault, int32_t scope) {
  rec(__func__, "%u,0x%x,%d", eid->slot, fault, scope);
}
void envmon_all_fpd_init_for_slot(uint32_t slot) { rec(__func__, "%u", slot); }

// ---- failure log
void envmon_obfl_svc_registration(uint32_t scope, uint32_t slot, uint32_t retry) {
  rec(__func__, "%u,%u,%u", scope, slot, retry);
}
void envmon_obfl_nm_write_thr_all(void) { rec(__func__, "%s", ""); }
void envmon_obfl_nm_log_all(uint32_t retry) {
  rec(__func__, "%u,0x%x", retry, envmon_nm != nullptr ? envmon_nm->misc_state & 0x10000u : 0u);
}
void envmon_obfl_rm_write_thr_all(uint32_t slot) { rec(__func__, "%u", slot); }
void envmon_obfl_rm_log_all(uint32_t slot, uint32_t retry) {
  rec(__func__, "%u,%u,0x%x", slot, retry, envmon_rm != nullptr ? envmon_rm->obfl_flags & 0x3fu : 0u);
}
void envmon_obfl_write_env_temp_thresholds(envmon_sensor_info*, uint16_t n, uint32_t slot,
                                           uint32_t scope, uint32_t flag) {
  rec(__func__, "%u,%u,%u,%u", n, slot, scope, flag);
}
void envmon_obfl_write_env_volt_thresholds(envmon_sensor_info*, uint16_t n, uint32_t slot,
                                           uint32_t scope, uint32_t flag) {
  rec(__func__, "%u,%u,%u,%u", n, slot, scope, flag);
}
void envmon_obfl_write_env_curr_thresholds(envmon_sensor_info*, uint16_t n, uint32_t slot,
                                           uint32_t scope, uint32_t flag) {
  rec(__func__, "%u,%u,%u,%u", n, slot, scope, flag);
}

// ---- fault manager
envmon_err_t envmon_fm_fault_clear(uint32_t scope, const pelm_eid* eid) {
  rec(__func__, "%u,%u", scope, eid != nullptr ? eid->slot : 0u);
  return 0;
}
envmon_err_t envmon_fm_update_location(const char*) {
  rec(__func__, "%s", envmon_nm != nullptr && envmon_nm->my_location != nullptr
                          ? envmon_nm->my_location
                          : "");
  return RERR(__func__);
}

// ---- PEM library
void envmon_check_single_pem_alm(uint32_t tray, uint32_t pem, uint8_t* failed) {
  rec(__func__, "%u,%u", tray, pem);
  *failed = 0;
}

}  // extern "C"
extern "C" void envmon_hal_capi_notify_sys_pwr_data(const envmon_sys_pwr_data* data,
                                                    struct envmon_notif_sys_pwr_data*) {
  rec(__func__, "%d", data->cnf_pwr_red_mode);
}
