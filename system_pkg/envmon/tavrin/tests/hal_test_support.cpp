#include "hal_test_support.h"

#include <pthread.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "alarmd.h"
#include "entprefix.h"
#include "envmon_stats.h"

namespace haltest {

PemLibrary& pem() {
  static PemLibrary library;
  return library;
}

void reset_pem() { pem() = PemLibrary{}; }

std::string ptr(const void* p) {
  char text[32];
  std::snprintf(text, sizeof(text), "%p", p);
  return text;
}


Chassis::Chassis(uint32_t chassis_type) {
  rm.chassis_type = chassis_type;
  rm.rack = ENVMON_RACK_UNKNOWN;
  rm.fantray_cb = fantrays;
  for (uint32_t i = 0; i < 3; ++i) fantrays[i].hw_position = 41 + i;
  rm.pwr_mgmt_data = &pm;
  nm.slot_num = 0;
  envmon_rm = &rm;
  envmon_nm = &nm;
  envmon_pwrm_oper_stats_hdl = pwrm_stats;
}

Chassis::~Chassis() {
  // A chassis made after this one has taken its place already.
  if (envmon_rm != &rm) return;
  envmon_rm = nullptr;
  envmon_nm = nullptr;
  envmon_pwrm_oper_stats_hdl = nullptr;
  pd_power_supplies_data = pd_power_supplies_data_t{};
}

PowerTrays::PowerTrays(uint8_t pems_tray0, uint8_t pems_tray1) {
  const uint8_t counts[2] = {pems_tray0, pems_tray1};
  for (int t = 0; t < 2; ++t) {
    pems_[t].resize(counts[t]);
    trays[t].num_pems = counts[t];
    trays[t].pems = pems_[t].empty() ? nullptr : pems_[t].data();
  }
  pd_power_tray_info = trays;
}

PowerTrays::~PowerTrays() {
  if (pd_power_tray_info == trays) pd_power_tray_info = nullptr;
}

}  // namespace haltest

using haltest::pem;

namespace {

void log_call(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void log_call(const char* fmt, ...) {
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof(text), fmt, ap);
  va_end(ap);
  pem().calls.emplace_back(text);
}

const char* p(const void* q) {
  static thread_local char text[16][32];
  static thread_local int next = 0;
  char* out = text[next++ % 16];
  std::snprintf(out, 32, "%p", q);
  return out;
}

}  // namespace

// Data symbols of the server's host process.
extern "C" {
struct evloop* envmon_evloop = nullptr;
FILE* env_fd = nullptr;
pthread_mutex_t atomic_mutex = PTHREAD_MUTEX_INITIALIZER;
uint64_t __proc_total_respawn = 0;
}

// The operations the hooks hand over to the PEM library; its tables are the
// library's own, which the hardware abstraction links.
extern "C" {

envmon_err_t envmon_pem_init_pd_data(void) {
  log_call("envmon_pem_init_pd_data()");
  return static_cast<envmon_err_t>(pem().answer);
}
void envmon_check_single_pem_alm(uint32_t tray, uint32_t p_, uint8_t*) {
  log_call("envmon_check_single_pem_alm(%u, %u)", tray, p_);
}
int envmon_is_pem_slot(int32_t slot, uint32_t* tray, uint32_t* pem_index) {
  if (pem().pem_slots.count(slot) == 0) return 0;
  if (tray) *tray = 0;
  if (pem_index) *pem_index = 0;
  return 1;
}
uint32_t* envmon_get_pem_misc_state(int32_t slot) {
  log_call("envmon_get_pem_misc_state(%d)", slot);
  return pem().pem_slots.count(slot) ? &pem().misc_state : nullptr;
}
envmon_err_t envmon_pem_get_sensor_list(int32_t slot, uint32_t subtype, envmon_sensor_info** list, uint16_t* count) {
  log_call("envmon_pem_get_sensor_list(%d, %u, %s, %s)", slot, subtype, p(list), p(count));
  return static_cast<envmon_err_t>(pem().answer);
}
void envmon_pem_customize_sensor_info(envmon_sensor_info* sensor, int32_t slot, uint32_t type, uint32_t subtype) {
  log_call("envmon_pem_customize_sensor_info(%s, %d, %u, %u)", p(sensor), slot, type, subtype);
}
void envmon_pem_send_rack_num_to_driver(uint32_t rack) { log_call("envmon_pem_send_rack_num_to_driver(%u)", rack); }
uint32_t envmon_pem_drvif_get_driver_by_slot(int32_t slot) {
  log_call("envmon_pem_drvif_get_driver_by_slot(%d)", slot);
  return 17;
}
void envmon_pem_fsa_rm_cleanup_inv_retry_request(void) { log_call("envmon_pem_fsa_rm_cleanup_inv_retry_request()"); }
void envmon_pem_fsa_rm_cleanup_drvif_retry_request(uint32_t driver) {
  log_call("envmon_pem_fsa_rm_cleanup_drvif_retry_request(%u)", driver);
}
int32_t envmon_pem_fsa_rm_pd_error_count(void) { return static_cast<int32_t>(pem().answer); }

envmon_err_t envmon_pem_tlg_init(struct evloop* loop, tlg_handle_t main, tlg_handle_t err, tlg_handle_t info,
                                 tlg_handle_t dbg, tlg_handle_t pwrm, tlg_handle_t fanm, tlg_handle_t fault,
                                 tlg_handle_t smil, tlg_handle_t obfl) {
  log_call("envmon_pem_tlg_init(%s, %s, %s, %s, %s, %s, %s, %s, %s, %s)", p(loop), p(main), p(err), p(info), p(dbg),
           p(pwrm), p(fanm), p(fault), p(smil), p(obfl));
  return static_cast<envmon_err_t>(pem().answer);
}
void envmon_pem_capi_notify_sys_pwr_data(const struct envmon_sys_pwr_data* data,
                                         struct envmon_notif_sys_pwr_data* payload) {
  log_call("envmon_pem_capi_notify_sys_pwr_data(%s, %s)", p(data), p(payload));
}
void envmon_pem_inv_invreg_report_hw_event(int32_t slot) { log_call("envmon_pem_inv_invreg_report_hw_event(%d)", slot); }
void envmon_pem_fm_rm_set_repeatable(struct alarmd_handle* handle) {
  log_call("envmon_pem_fm_rm_set_repeatable(%s)", p(handle));
  // The PEM library's own mark, so that its place in the order shows.
  alarmd_set_action_repeat(handle, alarmd_create_local_fault_id(15, 43), 1);
}
int envmon_pem_fm_rm_action_handler(struct alarmd_handle* handle, struct alarmd_fault* fault, uint32_t action,
                                    void* data, uint32_t data_len, void* ctx) {
  log_call("envmon_pem_fm_rm_action_handler(%s, %s, %u, %s, %u, %s)", p(handle), p(fault), action, p(data), data_len,
           p(ctx));
  return static_cast<int>(pem().answer);
}
int32_t envmon_pem_fm_configure_location_string(int32_t slot, char* location, pelm_eid** eid1, pelm_eid** eid2) {
  log_call("envmon_pem_fm_configure_location_string(%d, %s, %s, %s)", slot, p(location), p(eid1), p(eid2));
  return static_cast<int32_t>(pem().answer);
}
envmon_err_t envmon_pem_fm_process_card_shut_on_low_budget(uint8_t card_index, uint8_t mode) {
  log_call("envmon_pem_fm_process_card_shut_on_low_budget(%u, %u)", card_index, mode);
  return static_cast<envmon_err_t>(pem().answer);
}
void envmon_pem_fm_configure_hw_undetected_failure(pelm_eid* eid, envmon_fm_fault_req* req, char* text) {
  log_call("envmon_pem_fm_configure_hw_undetected_failure(%s, %s, %s)", p(eid), p(req), p(text));
}
envmon_err_t envmon_pem_fpd_image_set(struct fpd_drv_upgrade_req* req, fpd_data** fpd, uint32_t* driver,
                                      uint8_t* proceed) {
  log_call("envmon_pem_fpd_image_set(%s, %s, %s, %s)", p(req), p(fpd), p(driver), p(proceed));
  return static_cast<envmon_err_t>(pem().answer);
}
uint32_t envmon_pem_fpd_get_upgrade_timeout(const fpd_data* fpd) {
  log_call("envmon_pem_fpd_get_upgrade_timeout(%s)", p(fpd));
  return 1500;
}
void envmon_pem_fpd_init_slot(uint32_t slot) { log_call("envmon_pem_fpd_init_slot(%u)", slot); }
int32_t envmon_pem_fpd_init(fpd_data* fpd, uint32_t slot, uint32_t* node_slot, void* reg) {
  log_call("envmon_pem_fpd_init(%s, %u, %s, %s)", p(fpd), slot, p(node_slot), p(reg));
  if (node_slot != nullptr) *node_slot = slot / 20;
  return static_cast<int32_t>(pem().answer);
}
int32_t envmon_pem_pwr_mgmt_init(void) {
  log_call("envmon_pem_pwr_mgmt_init()");
  return static_cast<int32_t>(pem().answer);
}
void envmon_pem_lcc_pwr_mgmt_pbudget_data_init(void) { log_call("envmon_pem_lcc_pwr_mgmt_pbudget_data_init()"); }
void envmon_pem_pwr_mgmt_fru_power_allocated_update_all(void) {
  log_call("envmon_pem_pwr_mgmt_fru_power_allocated_update_all()");
}
bool envmon_pem_check_n_update_system_pwr_data(struct envmon_sys_pwr_data* data, uint8_t force) {
  log_call("envmon_pem_check_n_update_system_pwr_data(%s, %u)", p(data), force);
  return pem().system_data_filled;
}
bool envmon_pem_is_pwr_mgmt_ready(void) {
  log_call("envmon_pem_is_pwr_mgmt_ready()");
  return pem().ready;
}
void envmon_pem_pwr_mgmt_handle_role_change(void) { log_call("envmon_pem_pwr_mgmt_handle_role_change()"); }
envmon_err_t envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms(void) {
  log_call("envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms()");
  return static_cast<envmon_err_t>(pem().answer);
}
void envmon_pem_pwr_mgmt_volt_value_change_event(int32_t value, envmon_sensor_info* sensor, uint32_t slot) {
  log_call("envmon_pem_pwr_mgmt_volt_value_change_event(%d, %s, %u)", value, p(sensor), slot);
}
void envmon_pem_pwr_mgmt_update_fru_curr_data(int32_t value, envmon_sensor_info* sensor, uint32_t slot) {
  log_call("envmon_pem_pwr_mgmt_update_fru_curr_data(%d, %s, %u)", value, p(sensor), slot);
}
void envmon_pem_pwr_mgmt_set_redundancy_num_pems(uint8_t count) {
  log_call("envmon_pem_pwr_mgmt_set_redundancy_num_pems(%u)", count);
}
void envmon_pem_pwr_mgmt_dump_data(void) { log_call("envmon_pem_pwr_mgmt_dump_data()"); }

envmon_err_t envmon_pem_convert_pd_type_2_inv_pi_type(uint32_t hw_type, uint32_t* inv_type) {
  log_call("envmon_pem_convert_pd_type_2_inv_pi_type(0x%x)", hw_type);
  if (pem().answer != 0) return static_cast<envmon_err_t>(pem().answer);
  *inv_type = 9;
  return 0;
}
void envmon_pem_inv_invreg_rm_connect(void) { log_call("envmon_pem_inv_invreg_rm_connect()"); }
void envmon_pem_inv_invreg_rm_disconnect(void) { log_call("envmon_pem_inv_invreg_rm_disconnect()"); }
void envmon_pem_inv_invreg_response_register_eid(uint32_t ack, const pelm_eid* eid) {
  log_call("envmon_pem_inv_invreg_response_register_eid(%u, %s)", ack, p(eid));
}
void envmon_pem_inv_invreg_response_report_eeprom_data(const struct invreg_ack* msg, uint32_t slot) {
  log_call("envmon_pem_inv_invreg_response_report_eeprom_data(%s, %u)", p(msg), slot);
}
void envmon_pem_inv_invreg_rm_response_register_fru_type(const struct invreg_ack* msg, uint32_t slot) {
  log_call("envmon_pem_inv_invreg_rm_response_register_fru_type(%s, %u)", p(msg), slot);
}
void envmon_pem_inv_invreg_rm_response_unregister_fru_type(const struct invreg_ack* msg, uint32_t slot) {
  log_call("envmon_pem_inv_invreg_rm_response_unregister_fru_type(%s, %u)", p(msg), slot);
}
void envmon_pem_inv_invreg_rm_response_register_container_eid(const struct invreg_ack* msg, uint32_t slot) {
  log_call("envmon_pem_inv_invreg_rm_response_register_container_eid(%s, %u)", p(msg), slot);
}
void envmon_pem_inv_invreg_rm_register_powertray_entities_fru(uint32_t tray, uint32_t pem_index, uint32_t hw_type,
                                                              const char* serial, uint32_t serial_len,
                                                              uint32_t hw_major, uint32_t hw_minor) {
  log_call("envmon_pem_inv_invreg_rm_register_powertray_entities_fru(%u, %u, 0x%x, %s, %u, %u, %u)", tray, pem_index,
           hw_type, serial, serial_len, hw_major, hw_minor);
}
void envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru(uint32_t tray, uint32_t pem_index, uint32_t hw_type) {
  log_call("envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru(%u, %u, 0x%x)", tray, pem_index, hw_type);
}
void envmon_invreg_flow_resume_chk_n_resend_pem_data(void) {
  log_call("envmon_invreg_flow_resume_chk_n_resend_pem_data()");
}
void envmon_pem_update_prefix_str(int32_t slot, const struct platform_prefix_names* prefix) {
  log_call("envmon_pem_update_prefix_str(%d, %s)", slot, prefix->prefix_with_dash);
}
void envmon_pem_drvif_connect(uint32_t driver) { log_call("envmon_pem_drvif_connect(%u)", driver); }
void envmon_pem_drvif_disconnect(uint32_t driver) { log_call("envmon_pem_drvif_disconnect(%u)", driver); }
void envmon_drvif_pwr_regi_pem(void) { log_call("envmon_drvif_pwr_regi_pem()"); }
void envmon_pem_drvif_verify_uncompleted_fpd_upgrade(void) {
  log_call("envmon_pem_drvif_verify_uncompleted_fpd_upgrade()");
}
void envmon_pem_drvif_eid_data_notification(uint8_t subtype, const struct drvif_eid_data_rec* entry,
                                            const pelm_eid* entry_eid, pelm_eid* eid, pelm_tsi* tsi,
                                            uint32_t tsi_count, uint32_t slot, uint32_t board_id, const char* serial,
                                            uint32_t hw_events, uint32_t fault_events, const char* fault_text,
                                            uint32_t warn_events, const char* warn_text, uint32_t hours_used,
                                            const uint8_t* idprom, uint32_t idprom_len, uint32_t hw_major,
                                            uint32_t hw_minor, uint32_t scope) {
  log_call("envmon_pem_drvif_eid_data_notification(%u, %s, %s, %s, %s, %u, %u, 0x%x, %s, 0x%x, 0x%x, %s, 0x%x, %s, "
           "%u, %s, %u, %u, %u, %u)",
           subtype, p(entry), p(entry_eid), p(eid), p(tsi), tsi_count, slot, board_id, serial, hw_events,
           fault_events, fault_text, warn_events, warn_text, hours_used, p(idprom), idprom_len, hw_major, hw_minor,
           scope);
}
void envmon_pem_drvif_eid_data_notification_complete(uint8_t subtype) {
  log_call("envmon_pem_drvif_eid_data_notification_complete(%u)", subtype);
}
void envmon_pem_drvif_sensor_data_notification(uint8_t subtype, const struct drvif_sensor_data_rec* entry,
                                               pelm_eid* eid, const char* eid_str, pelm_tsi* tsi, uint32_t tsi_count,
                                               uint32_t slot, uint32_t scope, int32_t value, uint32_t hw_event,
                                               uint32_t fault_event, uint32_t warning_event, uint32_t figure1,
                                               uint32_t figure2, uint32_t figure3, uint64_t figure4,
                                               uint64_t timestamp) {
  log_call("envmon_pem_drvif_sensor_data_notification(%u, %s, %s, %s, %s, %u, %u, %u, %d, 0x%x, 0x%x, 0x%x, %u, %u, "
           "%u, %llu, %llu)",
           subtype, p(entry), p(eid), eid_str, p(tsi), tsi_count, slot, scope, value, hw_event, fault_event,
           warning_event, figure1, figure2, figure3, static_cast<unsigned long long>(figure4),
           static_cast<unsigned long long>(timestamp));
}
void envmon_pem_drvif_sensor_data_notification_complete(uint8_t kind) {
  log_call("envmon_pem_drvif_sensor_data_notification_complete(%u)", kind);
}
fpd_data* envmon_pem_get_fpd_data(uint32_t slot, const inv_eid* eid) {
  log_call("envmon_pem_get_fpd_data(%u, %s)", slot, p(eid));
  return pem().fpd;
}
void envmon_pem_drvif_fpd_data_state_notification(uint32_t slot, fpd_data* fpd, uint32_t from_driver,
                                                  uint32_t prev_state) {
  log_call("envmon_pem_drvif_fpd_data_state_notification(%u, %s, %u, %u)", slot, p(fpd), from_driver, prev_state);
}
void envmon_pem_drvif_fpd_data_fault_notification(uint32_t slot, const pelm_eid* eid, fpd_data* fpd) {
  log_call("envmon_pem_drvif_fpd_data_fault_notification(%u, %s, %s)", slot, p(eid), p(fpd));
}

}  // extern "C"
