// Recording stand-ins of inventory registration's neighbours (invreg_standin.h).
#include "invreg_standin.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "alarmd.h"
#include "inv.h"
#include "invreg.h"

namespace invtest {

namespace {

Answers g_answers;
std::vector<std::string> g_calls;

}  // namespace

const char* name_of(const envmon_sensor_info* s) { return s != nullptr ? s->name : ""; }
void rec(const char* fn) { g_calls.push_back(std::string(fn) + "()"); }
void rec(const char* fn, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void rec(const char* fn, const char* fmt, ...) {
  char args[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(args, sizeof(args), fmt, ap);
  va_end(ap);
  g_calls.push_back(std::string(fn) + "(" + args + ")");
}

Answers& answers() { return g_answers; }
void reset() {
  g_answers = Answers{};
  g_calls.clear();
}
const std::vector<std::string>& calls() { return g_calls; }
std::vector<std::string> calls_of(const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& c : g_calls)
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  return out;
}
size_t count_of(const std::string& prefix) { return calls_of(prefix).size(); }
void clear_calls() { g_calls.clear(); }

}  // namespace invtest

using invtest::answers;
using invtest::name_of;
using invtest::rec;

extern "C" {

pd_power_tray_info_t* pd_power_tray_info = nullptr;

// ---- Hardware abstraction: limits and answers. ----
uint32_t envmon_hal_get_max_fantray(void) { return answers().max_fantray; }
uint32_t envmon_hal_get_max_powertray(void) { return answers().max_powertray; }
uint32_t envmon_hal_get_max_virtual_powertray(void) { return answers().max_virtual_powertray; }
uint32_t envmon_hal_get_max_rp(void) { return answers().max_rp; }
uint32_t envmon_hal_get_max_fc(void) { return answers().max_fc; }
uint32_t envmon_hal_get_max_lc(void) { return answers().max_lc; }
uint32_t envmon_hal_get_max_swc(void) { return answers().max_swc; }
uint32_t envmon_hal_get_max_inv_slots(void) { return answers().max_inv_slots; }
uint32_t envmon_hal_get_max_idprom_size(void) { return 256; }
int envmon_hal_are_fc_managed_remotely(void) { return answers().fc_remote; }
int envmon_hal_are_lc_managed_remotely(void) { return answers().lc_remote; }
int envmon_hal_are_sw_managed_remotely(void) { return answers().sw_remote; }
const char* envmon_hal_get_platform_name(void) { return answers().platform_name; }
bool envmon_hal_check_platform_skip(void) { return answers().platform_skip; }
bool envmon_hal_is_mpa_supported_on_rp(uint32_t) { return answers().mpa_supported_on_rp; }
bool envmon_hal_no_pec(void) { return answers().no_pec; }
bool envmon_is_ft_idx_belongs_to_pft(uint32_t tray) { return tray < answers().primary_fantrays; }
bool envmon_hal_is_powertray(uint32_t hw_type) { return answers().powertray_types.count(hw_type) != 0; }
uint32_t envmon_hal_convert_pd_type_2_inv_pi_type(uint32_t pd_type) {
  auto it = answers().powertray_types.find(pd_type);
  return it == answers().powertray_types.end() ? 0 : it->second;
}
uint32_t envmon_hal_get_powertray_inv_hw_type(void) { return answers().powertray_inv_hw_type; }
void envmon_hal_get_mpa_range(uint32_t* end, uint32_t* start) {
  if (end) *end = answers().mpa_end;
  if (start) *start = answers().mpa_start;
}
void envmon_hal_get_mpa_bay_slot(uint32_t slot, uint8_t* index, uint16_t* bay) {
  const uint32_t off = slot - answers().mpa_start;
  if (index) *index = static_cast<uint8_t>(off % 3);
  if (bay) *bay = static_cast<uint16_t>(off / 3 + 1);
}
int envmon_hal_idprom_get_pid(const uint8_t*, uint32_t, char* buf, uint32_t size) {
  if (answers().idprom_pid_rc != 0) return answers().idprom_pid_rc;
  snprintf(buf, size, "%s", answers().idprom_pid.c_str());
  return 0;
}
int envmon_hal_idprom_set_inv_proto_fields(const uint8_t* idprom, uint32_t size,
                                           struct invreg_eeprom_data* record, uint8_t,
                                           struct dc_idprom_content** decoded) {
  rec(__func__, "%u", size);
  if (decoded) *decoded = nullptr;
  if (record == nullptr) return 22;
  snprintf(record->pid, sizeof(record->pid), "IDPROM-PID");
  msgcodec_set_bit(record->present, INVREG_EEPROM_F_PID);
  record->raw_eeprom = idprom;
  record->raw_eeprom_len = idprom != nullptr ? size : 0;
  msgcodec_set_bit(record->present, INVREG_EEPROM_F_RAW);
  return 0;
}
bool envmon_hal_inv_invreg_is_hidden_sensor(const envmon_sensor_info* s, uint8_t* hide) {
  auto it = answers().hidden.find(name_of(s));
  if (it == answers().hidden.end()) return false;
  if (hide) *hide = it->second;
  return true;
}
fpd_data* envmon_hal_get_fpd_data(uint32_t slot, const inv_eid*) {
  auto it = answers().fpd_by_slot.find(slot);
  return it == answers().fpd_by_slot.end() ? nullptr : it->second;
}
const char* envmon_hal_get_card_name(uint32_t card_type) {
  auto it = answers().card_names.find(card_type);
  return it == answers().card_names.end() ? nullptr : it->second.c_str();
}
void envmon_hal_customize_sensor_info(envmon_sensor_info*, int32_t, uint32_t, uint32_t) {}
int envmon_hal_filter_sensor_eid_by_name(uint32_t, const char*) { return 0; }

// ---- Hardware abstraction: recorded hooks. ----
envmon_err_t envmon_hal_fan_mgmt_sensor_fault_event(const pelm_eid* eid, uint32_t fault,
                                                    int32_t scope) {
  rec(__func__, "%u,%u,%d", eid ? eid->slot : 0u, fault, scope);
  return 0;
}
void envmon_hal_inv_invreg_rm_register_powertray_entities_fru(uint32_t tray, uint32_t pem,
                                                              uint32_t type, const char* serial,
                                                              uint32_t len, uint32_t maj,
                                                              uint32_t min) {
  rec(__func__, "%u,%u,0x%x,%s,%u,%u,%u", tray, pem, type, serial ? serial : "", len, maj, min);
}
void envmon_hal_inv_invreg_rm_unregister_powertray_entities_fru(uint32_t tray, uint32_t pem,
                                                                uint32_t type) {
  rec(__func__, "%u,%u,0x%x", tray, pem, type);
}
void envmon_hal_inv_invreg_reg_fpd_eid(uint32_t slot, void*) { rec(__func__, "%u", slot); }
void envmon_hal_inv_invreg_update_powertray_entities_prefix(void) { rec(__func__); }
void envmon_hal_inv_invreg_report_hw_event(int32_t slot) { rec(__func__, "%d", slot); }
void envmon_hal_inv_invreg_rm_register_powertray_entities(uint32_t tray) { rec(__func__, "%u", tray); }
void envmon_hal_inv_invreg_rm_response_register_fru_type(const invreg_ack* ack, uint32_t slot) {
  rec(__func__, "%u,%u", ack ? ack->ack : 0u, slot);
}
void envmon_hal_inv_invreg_rm_response_unregister_fru_type(const invreg_ack* ack, uint32_t slot) {
  rec(__func__, "%u,%u", ack ? ack->ack : 0u, slot);
}
void envmon_hal_inv_invreg_rm_response_register_container_eid(const invreg_ack* ack,
                                                              uint32_t slot) {
  rec(__func__, "%u,%u", ack ? ack->ack : 0u, slot);
}
void envmon_hal_inv_invreg_response_register_eid(uint32_t code, const pelm_eid* eid) {
  rec(__func__, "%u,%u", code, eid ? eid->slot : 0u);
}
void envmon_hal_inv_invreg_response_report_eeprom_data(const invreg_ack* ack, uint32_t slot) {
  rec(__func__, "%u,%u", ack ? ack->ack : 0u, slot);
}
void envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(uint32_t* count) {
  rec(__func__);
  if (count) *count += answers().hal_chassis_requests;
}
void envmon_hal_inv_invreg_rm_connect(void) { rec(__func__); }
void envmon_hal_inv_invreg_rm_disconnect(void) { rec(__func__); }
void envmon_hal_invreg_flow_resume_chk_n_resend_pwr_data(void) { rec(__func__); }
void envmon_hal_inv_invreg_update_entity_prefix(int32_t slot) { rec(__func__, "%d", slot); }
envmon_err_t envmon_hal_fan_mgmt_init(void) {
  rec(__func__);
  return 0;
}
uint8_t envmon_hal_fan_mgmt_inv_reg_set_state(uint32_t tray, uint8_t state) {
  rec(__func__, "%u,%u", tray, state);
  return state;
}
void envmon_hal_activate_fanout(void) { rec(__func__); }
int32_t envmon_hal_fan_mgmt_inv_temp_notification(const inv_sensor_value* v,
                                                  const inv_threshold_data* t, uint32_t slot) {
  rec(__func__, "%s,%d,%d,%u", v && v->name ? v->name : "", v ? v->value : 0,
      t ? t->critical_high : 0, slot);
  return 0;
}
void envmon_hal_fan_mgmt_inv_altitude_notification(const inv_sensor_value* v) {
  rec(__func__, "%d", v ? v->value : 0);
}
void envmon_hal_sensor_state_update(uint32_t slot, uint32_t subtype, const pelm_eid*,
                                    uint32_t oper, const char* name) {
  rec(__func__, "%u,%u,%u,%s", slot, subtype, oper, name ? name : "");
}
void envmon_hal_inv_capi_notify_event(const inv_notify_event_data* d) {
  rec(__func__, "%u", d ? d->event : 0u);
}
void envmon_hal_fan_algo_card_state_upd(uint32_t slot, uint32_t hw, int32_t state, uint32_t up) {
  rec(__func__, "%u,0x%x,%d,%u", slot, hw, state, up);
}
uint32_t* envmon_hal_get_misc_state(int32_t) { return nullptr; }
envmon_err_t envmon_hal_get_sensor_list(int32_t, uint32_t, envmon_sensor_info**, uint16_t*) {
  return ENVMON_ERR_INVALID_ARG;
}

// ---- PEM library. ----
int envmon_is_pem_slot(int32_t slot, uint32_t* tray, uint32_t* pem) {
  auto it = answers().pem_slots.find(static_cast<uint32_t>(slot));
  if (it == answers().pem_slots.end()) return 0;
  if (tray) *tray = it->second.first;
  if (pem) *pem = it->second.second;
  return 1;
}

// ---- Platform-driver client. ----
void envmon_drvif_poll_request(envmon_sensor_info* s, uint16_t count, uint32_t mode,
                               uint32_t driver) {
  rec(__func__, "%s,%u,%u,%u", count != 0 ? name_of(s) : "", count, mode, driver);
}
void envmon_drvif_nm_poll_all_sensors(uint32_t driver, uint32_t mode) {
  rec(__func__, "%u,%u", driver, mode);
}
void envmon_drvif_rm_poll_all_sensors(uint32_t driver, uint32_t mode) {
  rec(__func__, "%u,%u", driver, mode);
}
envmon_err_t envmon_drvif_rm_init(void) {
  rec(__func__);
  return 0;
}
void envmon_drvif_pwr_regi(void) { rec(__func__); }
void envmon_drvif_get_fpd_info(const inv_eid* eid, uint32_t slot) {
  rec(__func__, "%u,%u", eid ? eid->level_count : 0u, slot);
}
void envmon_update_oper_state(const pelm_eid* eid, uint32_t hw_event, uint32_t scope) {
  rec(__func__, "%u,0x%x,%u", eid ? eid->slot : 0u, hw_event, scope);
}

// ---- Failure log and FPD framework. ----
void envmon_obfl_set_state(envmon_sensor_info* s, int32_t kind) {
  rec(__func__, "%s,%d", name_of(s), kind);
}
void envmon_obfl_write_env_temp_thresholds(envmon_sensor_info* s, uint16_t n, uint32_t slot,
                                           uint32_t scope, uint32_t flag) {
  rec(__func__, "%s,%u,%u,%u,%u", n != 0 ? name_of(s) : "", n, slot, scope, flag);
}
void envmon_obfl_write_env_volt_thresholds(envmon_sensor_info* s, uint16_t n, uint32_t slot,
                                           uint32_t scope, uint32_t flag) {
  rec(__func__, "%s,%u,%u,%u,%u", n != 0 ? name_of(s) : "", n, slot, scope, flag);
}
int32_t envmon_fpd_init(fpd_data* fpd, uint32_t slot, struct evloop*) {
  rec(__func__, "%s,%u", fpd ? fpd->name : "", slot);
  return answers().fpd_init_rc;
}

// ---- Power management. ----
envmon_err_t envmon_fru_power_alloc_update_all(bool to_inventory) {
  rec(__func__, "%d", to_inventory ? 1 : 0);
  return 0;
}
bool envmon_all_power_tray_container_regi_done(void) { return answers().all_pt_containers_done; }
void envmon_pwr_mgmt_card_powered_on_update_from_inv(uint8_t subtype, int32_t inst,
                                                     int32_t status, uint32_t alloc) {
  rec(__func__, "%u,%d,%d,%u", subtype, inst, status, alloc);
}
envmon_err_t envmon_chk_n_upd_system_pwr_data(bool force) {
  rec(__func__, "%d", force ? 1 : 0);
  return 0;
}

// ---- Fault manager. ----
envmon_err_t envmon_fm_fault_data_update(uint32_t scope, struct alarmd_fault_data_update* u) {
  rec(__func__, "%u,%u,%u,%s", scope, u ? u->slot : 0u, u && u->cont_eid ? u->cont_eid->slot : 0u,
      u && u->location ? u->location : "");
  return 0;
}

// ---- The core's control flow. ----
envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  rec(__func__, "%u", event);
  return 0;
}
void envmon_fsa_cleanup_all_inv_retry_request(uint32_t scope) { rec(__func__, "%u", scope); }
envmon_err_t envmon_mgbl_init(struct evloop*) {
  rec(__func__);
  return answers().mgbl_init_rc;
}
envmon_err_t envmon_capi_cm_init(struct evloop*) {
  rec(__func__);
  return answers().cm_init_rc;
}

}  // extern "C"
