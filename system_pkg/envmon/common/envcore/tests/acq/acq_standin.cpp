#include "acq_standin.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "alarmd.h"
#include "fpd_drv.h"
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
uint32_t envmon_hal_get_max_inv_slots(void) { return state().max_inv_slots; }
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

// ---- Platform-driver hooks of the hardware abstraction. ----
void envmon_hal_drvif_connect(uint32_t d) { acq_log("envmon_hal_drvif_connect(%u)", d); }
void envmon_hal_drvif_disconnect(uint32_t d) { acq_log("envmon_hal_drvif_disconnect(%u)", d); }
void envmon_hal_drvif_post_connect_actions(uint32_t d) {
  acq_log("envmon_hal_drvif_post_connect_actions(%u)", d);
}
int32_t envmon_hal_drvif_reg_ecu_eids(struct drvif_eid_register_req*) {
  acq_log("envmon_hal_drvif_reg_ecu_eids");
  return 0;
}
void envmon_hal_update_rack_num(uint32_t rack) { acq_log("envmon_hal_update_rack_num(0x%x)", rack); }
int envmon_hal_ok_to_poll_sensor(const envmon_sensor_info* s) {
  if (!s || !s->eid.tsi) return 1;
  auto it = state().ok_to_poll.find(s->eid.tsi[s->eid.tsi_count - 1].instance);
  return it == state().ok_to_poll.end() ? 1 : it->second;
}
uint32_t envmon_hal_drvif_get_driver_by_slot(uint32_t slot) {
  auto it = state().driver_by_slot.find(slot);
  return it == state().driver_by_slot.end() ? 17 : it->second;
}
int envmon_hal_is_driver_and_slot_valid(uint32_t, uint32_t slot) {
  const auto& v = state().invalid_driver_slots;
  return std::find(v.begin(), v.end(), slot) == v.end() ? 1 : 0;
}
// As the platform does it: the card's own and port-adapter slots are node
// scope; others rack scope, with the log-all request of their class.
void envmon_hal_set_obfl_state_pending(uint32_t slot, uint32_t* scope) {
  uint32_t i = 0;
  if ((envmon_nm && slot == envmon_nm->slot_num) || envmon_is_mpa_slot(slot, &i)) {
    *scope = ENVMON_SCOPE_NODE;
    if (envmon_nm) envmon_nm->misc_state |= ENVMON_NM_OBFL_LOG_ALL;
    return;
  }
  *scope = ENVMON_SCOPE_RACK;
  if (!envmon_rm) return;
  if (envmon_is_fantray_slot(slot, &i))
    envmon_rm->obfl_flags |= ENVMON_RM_OBFL_FANTRAYS;
  else if (state().pem_slots.count(slot))
    envmon_rm->obfl_flags |= ENVMON_RM_OBFL_PEMS;
  else
    envmon_rm->obfl_flags |= ENVMON_RM_OBFL_OTHER;
}
envmon_err_t envmon_hal_drvif_sensor_data_notification(
    uint8_t subtype, const struct drvif_sensor_data_rec*, pelm_eid* eid, const char*, pelm_tsi*,
    uint32_t tsi_count, uint32_t slot, uint32_t scope, int32_t value, uint32_t hw_event, uint32_t fault,
    uint32_t warning, uint32_t aux2, uint32_t scale, uint32_t aux1, uint64_t type, uint64_t ts) {
  acq_log("sensor(%u, %s, %u, %u, %u, value=%d, hw=0x%x, fault=0x%x, warn=0x%x, aux2=%u, scale=%u, "
          "aux1=%u, type=%lu, ts=%lu)",
          subtype, eid_text(eid).c_str(), tsi_count, slot, scope, value, hw_event, fault, warning, aux2,
          scale, aux1, static_cast<unsigned long>(type), static_cast<unsigned long>(ts));
  return 0;
}
void envmon_hal_drvif_sensor_data_notification_complete(uint8_t subtype) {
  acq_log("sensor_complete(%u)", subtype);
}
void envmon_hal_drvif_eid_data_notification(uint8_t subtype, const struct drvif_eid_data_rec*,
                                            const pelm_eid*, pelm_eid* eid, pelm_tsi*, uint32_t,
                                            uint32_t slot, uint32_t board_id, const char* serial,
                                            uint32_t st, uint32_t fault, const char* text1,
                                            uint32_t warning, const char* text2, uint32_t misc,
                                            const uint8_t*, uint32_t idprom_len, uint32_t hw_major,
                                            uint32_t hw_minor, uint32_t scope) {
  acq_log("entity(%u, %s, %u, 0x%x, %s, 0x%x, 0x%x, %s, 0x%x, %s, %u, %u, %u.%u, %u)", subtype,
          eid_text(eid).c_str(), slot, board_id, serial, st, fault, text1, warning, text2, misc,
          idprom_len, hw_major, hw_minor, scope);
}
void envmon_hal_drvif_eid_data_notification_complete(uint8_t subtype) {
  acq_log("entity_complete(%u)", subtype);
}
bool envmon_hal_is_optics_slot(uint32_t slot) {
  const auto& v = state().optics_slots;
  return std::find(v.begin(), v.end(), slot) != v.end();
}
void envmon_hal_fan_algo_optics_removal(uint32_t slot) {
  acq_log("envmon_hal_fan_algo_optics_removal(%u)", slot);
}
bool envmon_hal_fan_mgmt_is_inv_reg_active(uint32_t tray) {
  const auto& v = state().fan_reg_active;
  return std::find(v.begin(), v.end(), tray) != v.end();
}
envmon_err_t envmon_hal_fan_mgmt_fan_speed_update(uint32_t tray, uint32_t repoll) {
  acq_log("envmon_hal_fan_mgmt_fan_speed_update(%u, %u)", tray, repoll);
  return 0;
}
envmon_err_t envmon_hal_fan_mgmt_fantray_oir(uint32_t tray, uint8_t presence, pelm_eid*,
                                             uint8_t fail, const char* reason) {
  acq_log("envmon_hal_fan_mgmt_fantray_oir(%u, %u, %u, %s)", tray, presence, fail,
          reason ? reason : "none");
  return 0;
}
void envmon_hal_fan_mgmt_inv_reg_reset_state(uint32_t st, uint32_t tray, uint32_t flag) {
  acq_log("envmon_hal_fan_mgmt_inv_reg_reset_state(0x%x, %u, %u)", st, tray, flag);
}
int envmon_hal_idprom_get_pid(const uint8_t*, uint32_t size, char* buf, uint32_t buf_size) {
  acq_log("envmon_hal_idprom_get_pid(%u)", size);
  if (state().pid_fails) return 22;
  snprintf(buf, buf_size, "%s", state().idprom_pid.c_str());
  return 0;
}
int envmon_hal_idprom_get_hw_version(const uint8_t*, uint32_t, uint16_t* v) {
  if (state().hw_version_fails) return 22;
  *v = state().idprom_hw_version;
  return 0;
}
bool envmon_hal_is_fpd_upgrade_supported(uint32_t driver) {
  const auto& v = state().fpd_upgrade_drivers;
  return std::find(v.begin(), v.end(), driver) != v.end();
}
fpd_data* envmon_hal_get_fpd_data(uint32_t slot, const inv_eid*) {
  auto it = state().hal_fpds.find(slot);
  return it == state().hal_fpds.end() ? nullptr : it->second;
}
bool envmon_hal_check_get_fpd_resp(uint32_t, uint32_t code) {
  const auto& v = state().retry_fpd_codes;
  return std::find(v.begin(), v.end(), code) != v.end();
}
void envmon_hal_drvif_fpd_data_state_notification(uint32_t slot, fpd_data*, uint32_t notified,
                                                  uint32_t prev) {
  acq_log("fpd_state(%u, %u, %u)", slot, notified, prev);
}
void envmon_hal_drvif_fpd_data_fault_notification(uint32_t slot, const pelm_eid*, fpd_data* fpd) {
  acq_log("fpd_fault(%u, %s)", slot, fpd ? fpd->fault_msg : "");
}
// As the PEM library does it: the core fills the slot-dependent part.
int32_t envmon_hal_fpd_init(fpd_data* fpd, uint32_t slot, uint32_t* node_slot, void* reg) {
  acq_log("envmon_hal_fpd_init(%u)", slot);
  return envmon_fpd_process_data(fpd, slot, node_slot, static_cast<fpd_drv_reg_info*>(reg));
}
void envmon_hal_fpd_init_slot(uint32_t slot) { acq_log("envmon_hal_fpd_init_slot(%u)", slot); }
envmon_err_t envmon_hal_fpd_image_set(struct fpd_drv_upgrade_req*, fpd_data** fpd, uint32_t* driver,
                                      uint8_t*) {
  acq_log("envmon_hal_fpd_image_set");
  *fpd = state().hal_fpd_image_set_record;
  *driver = state().hal_fpd_image_set_driver;
  return state().hal_fpd_image_set_rc;
}
uint32_t envmon_hal_fpd_get_upgrade_timeout(const fpd_data*) { return state().fpd_timeout; }

// ---- Power management. ----
bool envmon_all_power_tray_container_regi_done(void) { return state().power_trays_registered; }
void envmon_pwr_mgmt_fantray_oir_ev(uint8_t tray, uint8_t present) {
  acq_log("envmon_pwr_mgmt_fantray_oir_ev(%u, %u)", tray, present);
}
void envmon_update_card_budget(int32_t slot, int32_t card_type, const char* pid, int32_t maj,
                               int32_t min, bool check, int32_t card_state) {
  acq_log("envmon_update_card_budget(%d, 0x%x, %s, %d, %d, %d, %d)", slot, card_type, pid, maj, min,
          check ? 1 : 0, card_state);
}

// ---- Inventory registration. ----
void envmon_inv_invreg_nm_reg_all_sensors(void) { acq_log("envmon_inv_invreg_nm_reg_all_sensors"); }
void envmon_inv_invreg_rm_register_chassis_lvl_eids(void) {
  acq_log("envmon_inv_invreg_rm_register_chassis_lvl_eids");
}
void envmon_mpa_start_stop_sensor_polling(uint8_t index, uint32_t mode) {
  acq_log("envmon_mpa_start_stop_sensor_polling(%u, %u)", index, mode);
}
int32_t envmon_inv_invreg_upd_eid_state(const pelm_eid* eids, const uint32_t* states, uint32_t n,
                                        uint32_t scope) {
  acq_log("envmon_inv_invreg_upd_eid_state(%s, %u, %u, %u)", eid_text(eids).c_str(),
          states ? states[0] : 0u, n, scope);
  return state().upd_eid_state_rc;
}
int32_t envmon_inv_invreg_led_status_update(const pelm_eid* eid, envmon_sensor_info* s, uint32_t scope) {
  acq_log("envmon_inv_invreg_led_status_update(%s, %d, %u)", eid_text(eid).c_str(), s ? s->value : 0,
          scope);
  return state().led_status_rc;
}
envmon_err_t envmon_inv_invreg_fan_fru_reg(uint32_t slot, uint32_t board_id, const char* serial,
                                           const uint8_t*, uint32_t len, pelm_eid* eid) {
  acq_log("envmon_inv_invreg_fan_fru_reg(%u, 0x%x, %s, %u, %s)", slot, board_id, serial, len,
          eid_text(eid).c_str());
  return 0;
}
envmon_err_t envmon_inv_invreg_fan_fru_unreg(uint32_t slot) {
  acq_log("envmon_inv_invreg_fan_fru_unreg(%u)", slot);
  return 0;
}
int32_t envmon_inv_invreg_rm_report_fpga_data(fpd_data* fpd, uint8_t from_resp) {
  acq_log("envmon_inv_invreg_rm_report_fpga_data(%.*s, %u)", static_cast<int>(sizeof(fpd->name)),
          fpd ? fpd->name : "", from_resp);
  return state().report_fpga_rc;
}

// ---- Sensor lists read from descriptions. ----
int envmon_hal_filter_sensor_eid_by_name(uint32_t, const char*) { return 0; }
void envmon_hal_customize_sensor_info(envmon_sensor_info*, int32_t, uint32_t, uint32_t) {}

// ---- The core's control flow. ----
void envmon_fsa_cleanup_all_drvif_retry_request(uint32_t driver) {
  acq_log("envmon_fsa_cleanup_all_drvif_retry_request(%u)", driver);
}
envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event) {
  acq_log("envmon_ceb_fsa_sched_event(%u)", event);
  return ENVMON_OK;
}

}  // extern "C"
