// Platform facts and hooks on which both platforms agree: fixed limits, the
// hooks that answer a constant, and those that hand over to the PEM library.
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envhal_private.h"

extern "C" {

uint32_t envmon_hal_get_chassis_sn_length(void) { return 12; }
uint32_t envmon_hal_get_max_idprom_size(void) { return 256; }
uint32_t envmon_hal_get_max_pri_fantray(void) { return envmon_hal_get_max_fantray(); }
uint32_t envmon_hal_get_max_powertray(void) { return 0; }
uint32_t envmon_hal_get_max_virtual_powertray(void) { return 2; }
uint32_t envmon_hal_get_max_swc(void) { return 0; }
uint8_t envmon_hal_get_lc_card_subtype(void) { return 13; }
uint32_t envmon_hal_get_fantray_container_eid_subtype(void) { return 5; }

uint32_t envmon_hal_get_powertray_container_eid_subtype(void) {
  tlg_internal(err_tlg_lib_hdl, "tavrin does not have power tray\n");
  return 0;
}

int envmon_hal_are_sw_managed_remotely(void) { return false; }
int envmon_hal_are_fc_managed_remotely(void) { return false; }
int envmon_hal_are_lc_managed_remotely(void) { return false; }
bool envmon_hal_is_powertray(uint32_t /*hw_type*/) { return false; }
bool envmon_is_ft_idx_belongs_to_pft(uint32_t /*tray*/) { return true; }

// Hooks with nothing to do on these platforms.
envmon_err_t envmon_hal_ship_stats_init(void) { return ENVMON_OK; }
void envmon_hal_prog_mode_card_state_upd(uint32_t /*slot*/, int32_t /*card_state*/, int32_t /*sw_card_state*/) {}
void envmon_hal_clear_rack_scope_alarms(void) {}
void envmon_hal_activate_fanout(void) {}
void envmon_hal_handle_role_for_pec_oir(uint32_t /*role*/) {}

int envmon_hal_ok_to_poll_sensor(const envmon_sensor_info* /*sensor*/) { return 1; }
bool envmon_hal_no_pec(void) { return false; }
bool envmon_hal_check_platform_skip(void) { return false; }

bool envmon_hal_inv_invreg_is_hidden_sensor(const envmon_sensor_info* /*sensor*/, uint8_t* hide) {
  if (hide != nullptr) *hide = 0;
  return false;
}

uint32_t envmon_hal_idprom_get_card_type(const uint8_t* /*idprom*/, uint32_t /*idprom_size*/) { return 0; }

envmon_remote_card_cb* envmon_hal_get_rc_cb(uint32_t /*slot*/, uint32_t /*card_class*/, uint32_t /*pd_card_type*/,
                                            uint32_t* /*inv_hw_type*/, uint32_t* /*card_subtype*/) {
  return nullptr;
}

// Forwarded to the PEM library, which keeps the power modules.
envmon_err_t envmon_hal_init_pd_data(void) { return envmon_pem_init_pd_data(); }

uint32_t* envmon_hal_get_misc_state(int32_t slot) { return envmon_get_pem_misc_state(slot); }

envmon_err_t envmon_hal_get_sensor_list(int32_t slot, uint32_t subtype, envmon_sensor_info** list, uint16_t* count) {
  return envmon_pem_get_sensor_list(slot, subtype, list, count);
}

void envmon_hal_customize_sensor_info(envmon_sensor_info* sensor, int32_t slot, uint32_t type, uint32_t subtype) {
  envmon_pem_customize_sensor_info(sensor, slot, type, subtype);
}

void envmon_hal_capi_notify_sys_pwr_data(const envmon_sys_pwr_data* data, envmon_notif_sys_pwr_data* message) {
  envmon_pem_capi_notify_sys_pwr_data(data, message);
}

void envmon_hal_update_rack_num(uint32_t rack) { envmon_pem_send_rack_num_to_driver(rack); }

void envmon_hal_inv_invreg_report_hw_event(int32_t slot) { envmon_pem_inv_invreg_report_hw_event(slot); }

}  // extern "C"
