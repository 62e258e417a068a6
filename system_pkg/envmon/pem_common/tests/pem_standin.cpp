// Recording stand-ins of the PEM library's neighbours in the server process.
// They are linked into each test program, whose definitions come before the
// libraries' in the process, so that the core's own definitions of some of
// them (the fault-manager client) are recorded too.
#include "pem_standin.h"

#include <pthread.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "envmon_core.h"
#include "envmon_drvif.h"
#include "envmon_fpd.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "alarmd.h"
#include "drvif.h"
#include "invreg.h"
#include "zul_errmsg.h"

extern "C" {
struct evloop* envmon_evloop = nullptr;
FILE* env_fd = nullptr;
pthread_mutex_t atomic_mutex = PTHREAD_MUTEX_INITIALIZER;
uint64_t __proc_total_respawn = 0;
}

namespace pemtest {

Standin& standin() {
  static Standin* s = new Standin();
  return *s;
}

void reset() { standin() = Standin{}; }

std::vector<std::string> calls(const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& c : standin().calls)
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  return out;
}

std::string eid_text(const pelm_eid* eid) {
  if (eid == nullptr) return "-";
  std::string s = std::to_string(eid->rack) + "/" + std::to_string(eid->slot);
  for (uint32_t i = 0; eid->tsi != nullptr && i < eid->tsi_count; ++i)
    s += " " + std::to_string(eid->tsi[i].type) + "/" + std::to_string(eid->tsi[i].subtype) + "/" +
         std::to_string(eid->tsi[i].instance);
  return s;
}

}  // namespace pemtest

namespace {

void record(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void record(const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  pemtest::standin().calls.emplace_back(buf);
}

pemtest::Standin& s() { return pemtest::standin(); }
const char* eid(const pelm_eid* e) {
  static thread_local std::string text;
  text = pemtest::eid_text(e);
  return text.c_str();
}

}  // namespace

extern "C" {

// ---- Fault manager client (the core's). ----
envmon_err_t envmon_fm_fault_report(int32_t scope, envmon_fm_fault_req* req) {
  if (req == nullptr || req->fault_data == nullptr) return ENVMON_ERR_INVALID_ARG;
  pemtest::Fault f;
  f.type = req->fault_type;
  f.tag = req->fault_tag;
  f.action = req->shutdown_action;
  f.state = req->fault_data->state;
  f.level = req->fault_data->alarm_level;
  f.eid = pemtest::eid_text(req->fault_data->eid);
  f.description = req->fault_data->description ? req->fault_data->description : "";
  f.name = req->fault_data->name ? req->fault_data->name : "";
  s().faults.push_back(f);
  if (scope != ENVMON_SCOPE_RACK) record("envmon_fm_fault_report(scope %d)", scope);
  return s().fault_rc;
}

envmon_err_t envmon_fm_fault_clear(uint32_t scope, const pelm_eid* e) {
  record("envmon_fm_fault_clear(%u, %s)", scope, eid(e));
  return ENVMON_OK;
}

envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  s().events.push_back(event);
  return ENVMON_OK;
}

// ---- Power management. ----
envmon_err_t envmon_check_chassis_ps_alm(bool force) {
  record("envmon_check_chassis_ps_alm(%d)", force ? 1 : 0);
  return ENVMON_OK;
}
envmon_err_t envmon_pwr_mgmt_check_card_shut_pending(void) {
  record("envmon_pwr_mgmt_check_card_shut_pending()");
  return ENVMON_OK;
}
envmon_err_t envmon_pwr_mgmt_shutdown_entities(void) {
  record("envmon_pwr_mgmt_shutdown_entities()");
  return ENVMON_OK;
}
envmon_err_t envmon_chk_n_upd_system_pwr_data(bool force) {
  record("envmon_chk_n_upd_system_pwr_data(%d)", force ? 1 : 0);
  return ENVMON_OK;
}
void envmon_get_entity_power_budget(int32_t kind, uint16_t* max_budget, uint16_t* stby_zn_budget,
                                    uint16_t* ext_budget, pelm_eid* /*eid*/) {
  const pemtest::Budget b = s().budgets.count(kind) ? s().budgets[kind] : pemtest::Budget{};
  if (max_budget) *max_budget = b.max;
  if (stby_zn_budget) *stby_zn_budget = b.standby;
  if (ext_budget) *ext_budget = b.extended;
}
bool is_extended_mode_on(void) { return s().extended_mode; }
bool envmon_pwr_is_fc_prereserve_chassis(uint32_t chassis_type) {
  return (chassis_type >= 0x60010000 && chassis_type <= 0x60010002) || chassis_type == 0xC96;
}
void envmon_pwr_mgmt_powertray_oir_ev(uint8_t tray, uint8_t present) {
  record("envmon_pwr_mgmt_powertray_oir_ev(%u, %u)", tray, present);
}
void envmon_pwr_mgmt_powertray_hwtype_upd(uint8_t tray, int32_t hw_type) {
  record("envmon_pwr_mgmt_powertray_hwtype_upd(%u, 0x%x)", tray, static_cast<unsigned>(hw_type));
}

// ---- Inventory registration. ----
struct invreg_handle* envmon_get_invreg_handle(uint32_t scope, uint8_t* connected) {
  static int handle;
  if (connected) *connected = s().invreg_connected ? 1 : 0;
  return scope == ENVMON_SCOPE_RACK ? reinterpret_cast<struct invreg_handle*>(&handle) : nullptr;
}
void envmon_inv_invreg_reg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t fru_type, const char* text,
                                   uint32_t text_len, uint32_t hw_major, uint32_t hw_minor) {
  record("envmon_inv_invreg_reg_pwr_fru(%u, %u, 0x%x, %s, %u, %u, %u)", tray, slot, fru_type, text ? text : "-",
         text_len, hw_major, hw_minor);
}
void envmon_inv_invreg_unreg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t fru_type) {
  record("envmon_inv_invreg_unreg_pwr_fru(%u, %u, 0x%x)", tray, slot, fru_type);
}

// ---- Platform-driver client. ----
void envmon_drvif_poll_request(envmon_sensor_info* sensors, uint16_t count, uint32_t mode, uint32_t driver) {
  record("envmon_drvif_poll_request(%s, %u, %u, %u)", sensors && count ? sensors[0].name : "-", count, mode,
         driver);
}

// ---- Hardware abstraction. ----
uint32_t envmon_hal_get_max_powertray(void) { return s().hal.max_powertray; }
uint32_t envmon_hal_get_max_virtual_powertray(void) { return s().hal.max_virtual_powertray; }
uint32_t envmon_hal_get_max_idprom_size(void) { return s().hal.max_idprom_size; }
uint32_t envmon_hal_get_max_fc(void) { return s().hal.max_fc; }
uint32_t envmon_hal_get_max_xc(void) { return s().hal.max_xc; }
const char* envmon_hal_get_platform_name(void) { return s().hal.platform.c_str(); }
uint32_t envmon_hal_get_num_pems_for_red(void) { return s().hal.num_pems_for_red; }
uint32_t envmon_hal_get_pem_temp_delta(void) { return s().hal.pem_temp_delta; }
int is_hal_single_feed_on(uint8_t /*tray*/, uint8_t /*pem*/, uint32_t /*alarm_id*/) { return s().hal.single_feed; }
int envmon_hal_idprom_get_hw_version(const uint8_t* /*idprom*/, uint32_t /*size*/, uint16_t* version) {
  if (version) *version = s().hal.hw_version;
  return s().hal.hw_version_rc;
}
int envmon_hal_idprom_get_pid(const uint8_t* /*idprom*/, uint32_t /*size*/, char* buf, uint32_t buf_size) {
  if (buf && buf_size) std::snprintf(buf, buf_size, "%s", s().hal.pid.c_str());
  return s().hal.pid_rc;
}
void envmon_hal_handle_dual_feed_capacity(uint8_t tray, uint8_t pem, uint32_t type, uint8_t prev) {
  record("envmon_hal_handle_dual_feed_capacity(%u, %u, 0x%x, 0x%x)", tray, pem, type, prev);
}
void envmon_hal_handle_triple_feed_capacity(uint8_t tray, uint8_t pem, uint32_t type, uint8_t prev) {
  record("envmon_hal_handle_triple_feed_capacity(%u, %u, 0x%x, 0x%x)", tray, pem, type, prev);
}
void envmon_hal_handle_pem_status_change(uint8_t tray, uint8_t pem, uint8_t prev) {
  record("envmon_hal_handle_pem_status_change(%u, %u, 0x%x)", tray, pem, prev);
}

}  // extern "C"

extern "C" {

// ---- Inventory registration: the core's requests. ----
envmon_err_t envmon_inv_invreg_register_sensors(uint32_t scope, envmon_sensor_info* sensors, uint16_t count) {
  record("envmon_inv_invreg_register_sensors(%u, %s, %u)", scope, sensors && count ? sensors[0].name : "-", count);
  for (uint16_t i = 0; sensors != nullptr && i < count; ++i)
    sensors[i].state = (sensors[i].state & ~0x3u) | 0x1u | 0xf0000000u;
  return ENVMON_OK;
}
void envmon_inv_invreg_report_sensor_data_after_reg(uint32_t subtype, envmon_sensor_info* sensor, uint32_t scope) {
  record("envmon_inv_invreg_report_sensor_data_after_reg(%u, %s, %u)", subtype, sensor ? sensor->name : "-", scope);
  if (sensor) sensor->state &= ~0x40u;
}
envmon_err_t envmon_inv_invreg_volt_sensor_update(const pelm_eid* e, envmon_sensor_info* sensor, uint32_t scope,
                                                  uint8_t trap) {
  record("envmon_inv_invreg_volt_sensor_update(%s, %d, %u, %u)", eid(e), sensor ? sensor->value : 0, scope, trap);
  return ENVMON_OK;
}
envmon_err_t envmon_inv_invreg_curr_sensor_update(const pelm_eid* e, envmon_sensor_info* sensor, uint32_t scope) {
  record("envmon_inv_invreg_curr_sensor_update(%s, %d, %u)", eid(e), sensor ? sensor->value : 0, scope);
  return ENVMON_OK;
}
void envmon_inv_invreg_power_usage_update(const pelm_eid* e, envmon_sensor_info* sensor, uint32_t scope) {
  record("envmon_inv_invreg_power_usage_update(%s, %d, %u)", eid(e), sensor ? sensor->value : 0, scope);
}
void envmon_inv_invreg_rm_fan_speed_sensor_update(envmon_sensor_info* sensor, const pelm_eid* e, int32_t speed,
                                                  uint64_t timestamp, uint8_t trap, uint32_t, uint32_t) {
  record("envmon_inv_invreg_rm_fan_speed_sensor_update(%s, %s, %d, %llu, %u)", sensor ? sensor->name : "-", eid(e),
         speed, static_cast<unsigned long long>(timestamp), trap);
}
void envmon_inv_invreg_eid_upd_pem_temp_sensor_threshold(const pelm_eid* e, envmon_sensor_info* sensor) {
  record("envmon_inv_invreg_eid_upd_pem_temp_sensor_threshold(%s, %d, %d)", eid(e),
         sensor ? sensor->threshold.minor_high : 0, sensor ? sensor->threshold.critical_high : 0);
}
void envmon_check_sensor_flow_ctrl_n_resend(uint32_t subtype, envmon_sensor_info* sensor, uint32_t scope) {
  record("envmon_check_sensor_flow_ctrl_n_resend(%u, %s, %u)", subtype, sensor ? sensor->name : "-", scope);
}
void envmon_inv_invreg_fru_power_alloc_update(const pelm_eid* e, uint32_t power_allocated, int32_t power_status,
                                              int32_t current, uint8_t is_producer) {
  record("envmon_inv_invreg_fru_power_alloc_update(%s, %u, %d, %d, %u)", eid(e), power_allocated, power_status,
         current, is_producer);
}
int32_t envmon_inv_invreg_upd_eid_state(const pelm_eid* eids, const uint32_t* states, uint32_t count, uint32_t scope) {
  record("envmon_inv_invreg_upd_eid_state(%s, %u, %u, %u)", eid(eids), states ? states[0] : 0, count, scope);
  return s().eid_state_rc;
}
int32_t envmon_inv_invreg_eid_upd_power_admin_state(struct invreg_handle*, const pelm_eid* e, uint32_t state) {
  record("envmon_inv_invreg_eid_upd_power_admin_state(%s, %u)", eid(e), state);
  return 0;
}
int32_t envmon_inv_invreg_eid_upd_power_oper_state(struct invreg_handle*, const pelm_eid* e, uint32_t state) {
  record("envmon_inv_invreg_eid_upd_power_oper_state(%s, %u)", eid(e), state);
  return 0;
}
void envmon_inv_invreg_report_hw_event(const pelm_eid* e, uint32_t scope, uint32_t event) {
  record("envmon_inv_invreg_report_hw_event(%s, %u, %u)", eid(e), scope, event);
}
void envmon_inv_invreg_upd_eid_name(const pelm_eid* e, const char* name, uint32_t scope) {
  record("envmon_inv_invreg_upd_eid_name(%s, %s, %u)", eid(e), name ? name : "-", scope);
}
int32_t envmon_inv_invreg_hide_eid(const pelm_eid* e, uint32_t scope, uint8_t hide) {
  record("envmon_inv_invreg_hide_eid(%s, %u, %u)", eid(e), scope, hide);
  return 0;
}
int32_t envmon_inv_invreg_rm_report_fpga_data(fpd_data* fpd, uint8_t first) {
  record("envmon_inv_invreg_rm_report_fpga_data(%s, %u)", fpd ? fpd->name : "-", first);
  return 0;
}
void envmon_reg_and_set_eeprom_data(inv_xml_handle_t, uint32_t slot, pelm_eid*, const uint8_t*, uint32_t len) {
  record("envmon_reg_and_set_eeprom_data(%u, %u)", slot, len);
}
int32_t envmon_rm_reg_one_eid(pelm_eid* e, uint8_t eeprom) {
  record("envmon_rm_reg_one_eid(%s, %u)", eid(e), eeprom);
  return 0;
}
void envmon_rm_report_eeprom_data(const pelm_eid* e, const uint8_t*, uint32_t len) {
  record("envmon_rm_report_eeprom_data(%s, %u)", eid(e), len);
}
void envmon_upd_inv_container_eid_nodeid(uint32_t scope, uint32_t slot, const pelm_eid* e) {
  record("envmon_upd_inv_container_eid_nodeid(%u, %u, %s)", scope, slot, eid(e));
}
void envmon_set_fru_current(int32_t slot, int32_t current) { record("envmon_set_fru_current(%d, %d)", slot, current); }

// ---- Inventory registration: the client library's requests. ----
int invreg_register_container_eid(invreg_handle_t*, const invreg_container_req* req, uint64_t ctx) {
  record("invreg_register_container_eid(%s, slot %u, %llu)", eid(&req->container.eid), req->container.logic_slot,
         static_cast<unsigned long long>(ctx));
  return s().invreg_rc;
}
int invreg_register_eid(invreg_handle_t*, const invreg_eid_list_req* req, uint64_t ctx) {
  record("invreg_register_eid(%s, %llu)", eid(req->eids), static_cast<unsigned long long>(ctx));
  return s().invreg_rc;
}
int invreg_register_fru_type(invreg_handle_t*, const invreg_fru_type_req* req, uint64_t ctx) {
  record("invreg_register_fru_type(%s, type %u, pd 0x%x, slot %u, serial %s, pid %s, %llu)", eid(&req->eid),
         req->fru_type, req->pd_type, req->slot, req->serial_num ? req->serial_num : "-", req->name ? req->name : "-",
         static_cast<unsigned long long>(ctx));
  return s().invreg_rc;
}
int invreg_unregister_fru_type(invreg_handle_t*, const invreg_fru_unreg_req* req, uint64_t ctx) {
  record("invreg_unregister_fru_type(%s, type %u, slot %u, %llu)", eid(&req->eid), req->fru_type, req->slot,
         static_cast<unsigned long long>(ctx));
  return s().invreg_rc;
}
int invreg_update_container_location(invreg_handle_t*, const invreg_container_location_req* req, uint64_t ctx) {
  record("invreg_update_container_location(%s, %s, %llu)", eid(&req->eid), req->location ? req->location : "-",
         static_cast<unsigned long long>(ctx));
  return s().invreg_rc;
}
int invreg_report_event_data(invreg_handle_t*, const invreg_event_data* data, uint64_t) {
  record("invreg_report_event_data(%s, %u, %u, %s)", eid(&data->eid), data->event_type, data->event_state,
         data->descr ? data->descr : "-");
  return s().invreg_rc;
}
int invreg_report_pem_status_data(invreg_handle_t*, const invreg_pem_status_data* data, uint64_t) {
  record("invreg_report_pem_status_data(%s, hours %u, faults 0x%x, psm %u, pd 0x%x, capacity %u)", eid(&data->eid),
         data->hours_used, data->fault_status, data->psm_state, data->pd_state, data->capacity);
  return s().invreg_rc;
}

// ---- Platform-driver client and library. ----
struct drvif_handle* get_drvif_driver_handler(uint32_t index) {
  static int handle;
  return index == ENVMON_DRV_POWER && s().power_driver_handle ? reinterpret_cast<struct drvif_handle*>(&handle)
                                                              : nullptr;
}
int drvif_eid_register(drvif_handle_t*, const drvif_eid_register_req* req, uint64_t cookie) {
  record("drvif_eid_register(op %u, pt %u, rt %u, %llu)", req->op[0], req->pt[0], req->rt[0],
         static_cast<unsigned long long>(cookie));
  return s().drvif_register_rc;
}
void envmon_drvif_request_fpd_upd(uint32_t driver, struct fpd_data* fpd) {
  record("envmon_drvif_request_fpd_upd(%u, %s)", driver, fpd ? fpd->name : "-");
}
void envmon_drvif_get_fpd_info(const inv_eid* e, uint32_t slot) {
  pelm_eid p{};
  inv_util_convert_eid_to_pelm_eid(e, &p);
  record("envmon_drvif_get_fpd_info(%s, %u)", eid(&p), slot);
  envmon_free_tsi(&p);
}
void envmon_drvif_send_rack_num_to_driver(uint32_t driver, uint32_t rack) {
  record("envmon_drvif_send_rack_num_to_driver(%u, %u)", driver, rack);
}
int32_t envmon_fpd_init(fpd_data* fpd, uint32_t slot, struct evloop*) {
  record("envmon_fpd_init(%s, %u)", fpd ? fpd->name : "-", slot);
  return s().fpd_init_rc;
}
int32_t envmon_fpd_process_data(fpd_data* fpd, uint32_t slot, uint32_t*, struct fpd_drv_reg_info*) {
  record("envmon_fpd_process_data(%s, %u)", fpd ? fpd->name : "-", slot);
  return 0;
}

// ---- Value events of power management and driver faults of the core. ----
void envmon_volt_value_change_event(const pelm_eid* e, int32_t value, int32_t scope, uint64_t timestamp) {
  record("envmon_volt_value_change_event(%s, %d, %d, %llu)", eid(e), value, scope,
         static_cast<unsigned long long>(timestamp));
}
void envmon_curr_value_change_event(const pelm_eid* e, int32_t value, int32_t scope, uint64_t timestamp) {
  record("envmon_curr_value_change_event(%s, %d, %d, %llu)", eid(e), value, scope,
         static_cast<unsigned long long>(timestamp));
}
void envmon_process_drvif_hw_undetected_fault(const pelm_eid* e, int32_t scope, uint8_t raise) {
  record("envmon_process_drvif_hw_undetected_fault(%s, %d, %u)", eid(e), scope, raise);
}
void envmon_process_drvif_idprom_access_fault(const pelm_eid* e, uint32_t scope, const char* text, uint8_t raise) {
  record("envmon_process_drvif_idprom_access_fault(%s, %u, %s, %u)", eid(e), scope, text ? text : "-", raise);
}
void envmon_process_drvif_pem_volt_fault(const pelm_eid* e, int32_t value, uint32_t fault, int32_t scope) {
  record("envmon_process_drvif_pem_volt_fault(%s, %d, 0x%x, %d)", eid(e), value, fault, scope);
}
void envmon_process_drvif_volt_fault(const pelm_eid* e, uint32_t fault, int32_t scope) {
  record("envmon_process_drvif_volt_fault(%s, 0x%x, %d)", eid(e), fault, scope);
}

// ---- Hardware abstraction, continued. ----
uint32_t envmon_hal_convert_pd_type_2_inv_pi_type(uint32_t pd_type) {
  uint32_t t = 0;
  return envmon_pem_convert_pd_type_2_inv_pi_type(pd_type, &t) == ENVMON_OK ? t : 0;
}
bool envmon_hal_is_powertray(uint32_t hw_type) {
  for (uint32_t t : s().powertray_types)
    if (t == hw_type) return true;
  return false;
}
bool envmon_hal_verify_pt_fpd_skip(struct fpd_drv_upgrade_req*, fpd_data*) { return s().hal.fpd_skip; }
void envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(uint32_t*) {
  record("envmon_hal_inv_invreg_rm_register_chassis_lvl_eids()");
}
void envmon_hal_inv_invreg_update_entity_prefix(int32_t slot) {
  record("envmon_hal_inv_invreg_update_entity_prefix(%d)", slot);
}
envmon_err_t envmon_hal_fan_mgmt_sensor_fault_event(const pelm_eid* e, uint32_t fault, int32_t scope) {
  record("envmon_hal_fan_mgmt_sensor_fault_event(%s, 0x%x, %d)", eid(e), fault, scope);
  return ENVMON_OK;
}
envmon_err_t envmon_hal_fan_mgmt_temp_value_change_event(const pelm_eid* e, uint32_t value, int32_t scope,
                                                         uint64_t secs, uint32_t w1, uint32_t w2) {
  record("envmon_hal_fan_mgmt_temp_value_change_event(%s, %u, %d, %llu, %u, %u)", eid(e), value, scope,
         static_cast<unsigned long long>(secs), w1, w2);
  return ENVMON_OK;
}
void envmon_hal_fan_mgmt_fan_speed_value_change_event(uint32_t slot, uint32_t fan, int32_t rpm, uint64_t timestamp,
                                                      const pelm_eid* e) {
  record("envmon_hal_fan_mgmt_fan_speed_value_change_event(%u, %u, %d, %llu, %s)", slot, fan, rpm,
         static_cast<unsigned long long>(timestamp), eid(e));
}
void envmon_hal_clear_temp_alarm(void) { record("envmon_hal_clear_temp_alarm()"); }

}  // extern "C"

// What the core's sensor look-up asks of the hardware abstraction: no
// remotely managed cards; other slots are the PEM library's.
extern "C" {
int envmon_hal_are_fc_managed_remotely(void) { return 0; }
int envmon_hal_are_lc_managed_remotely(void) { return 0; }
int envmon_hal_are_sw_managed_remotely(void) { return 0; }
uint32_t envmon_hal_get_max_fantray(void) { return 0; }
uint32_t envmon_hal_get_max_lc(void) { return 0; }
uint32_t envmon_hal_get_max_swc(void) { return 0; }
uint32_t envmon_hal_get_max_mpa(void) { return 0; }
envmon_err_t envmon_hal_get_sensor_list(int32_t slot, uint32_t subtype, envmon_sensor_info** list, uint16_t* count) {
  return envmon_pem_get_sensor_list(slot, subtype, list, count);
}
}

extern "C" {
uint32_t envmon_hal_get_max_rp(void) { return 2; }
void envmon_hal_get_mpa_range(uint32_t* end, uint32_t* start) {
  if (end) *end = 0;
  if (start) *start = 0;
}
void envmon_hal_get_mpa_bay_slot(uint32_t, uint8_t* index, uint16_t* bay) {
  if (index) *index = 0;
  if (bay) *bay = 0;
}
uint32_t* envmon_hal_get_misc_state(int32_t slot) { return envmon_get_pem_misc_state(slot); }
void envmon_hal_customize_sensor_info(envmon_sensor_info* sensor, int32_t slot, uint32_t type, uint32_t subtype) {
  envmon_pem_customize_sensor_info(sensor, slot, type, subtype);
}
int envmon_hal_filter_sensor_eid_by_name(uint32_t, const char*) { return 0; }
}

extern "C" const char* envmon_hal_get_card_name(uint32_t card_type) {
  static thread_local char name[24];
  std::snprintf(name, sizeof name, "PEM-%X", card_type);
  return name;
}

// Power management as the canned scenarios drive it.
extern "C" {
int32_t envmon_pwr_mgmt_get_budget(const pelm_eid* e, uint32_t card_type, const char*, int32_t, int32_t) {
  record("envmon_pwr_mgmt_get_budget(%s, 0x%x)", eid(e), card_type);
  return 1;
}
void envmon_pwr_mgmt_set_action_mode(uint8_t action) { record("envmon_pwr_mgmt_set_action_mode(%u)", action); }
void envmon_pwr_mgmt_card_state_upd(uint8_t slot, int32_t card_class, uint32_t card_type, const char*, int32_t,
                                    int32_t, int32_t card_state) {
  record("envmon_pwr_mgmt_card_state_upd(%u, %d, 0x%x, %d)", slot, card_class, card_type, card_state);
}
void envmon_pwr_mgmt_set_card_state_upd_done(void) { record("envmon_pwr_mgmt_set_card_state_upd_done()"); }
void envmon_hal_pwr_mgmt_set_redundancy_num_pems(uint8_t count) {
  record("envmon_hal_pwr_mgmt_set_redundancy_num_pems(%u)", count);
}
}

// The syslog library: the messages sent, by mnemonic and level.
extern "C" void zul_errmsg(const zul_msg_rec* rec, int severity, ...) {
  record("zul_errmsg(%s, %d)", rec && rec->mnemonic ? rec->mnemonic : "-", severity);
}
