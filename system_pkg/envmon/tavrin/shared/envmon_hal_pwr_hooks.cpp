// Power-management hooks on which both platforms agree: most hand over to the
// PEM library, which keeps the power modules; some have nothing to do here.
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envmon_pwr_mgmt.h"
#include "envhal_private.h"

extern "C" {

int32_t envmon_hal_pwr_mgmt_init(void) { return envmon_pem_pwr_mgmt_init(); }

void envmon_hal_pwr_mgmt_fru_power_allocated_update_all(void) {
  envmon_pem_pwr_mgmt_fru_power_allocated_update_all();
}

bool envmon_hal_is_pwr_mgmt_ready(void) { return envmon_pem_is_pwr_mgmt_ready(); }

void envmon_hal_pwr_mgmt_handle_role_change(void) {
  if (envmon_rm != nullptr && envmon_rm->svc_role == ENVMON_ROLE_ACTIVE) return;
  envmon_pem_pwr_mgmt_handle_role_change();
}

void envmon_hal_pwr_mgmt_powertray_oir(uint8_t /*tray*/, uint8_t /*event*/) {}

envmon_err_t envmon_hal_pwr_mgmt_check_chassis_pwr_supply_alarms(bool /*force*/) {
  if (!envmon_hal_is_pwr_mgmt_ready()) return ENVMON_OK;
  return envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms();
}

// Readings of the power modules count only once every module is described.
namespace {
bool all_pems_described() {
  const pd_power_supplies_data_t* supplies = envhal::pem_supplies();
  return supplies != nullptr && supplies->all_pem_info_rcvd == 1;
}
}  // namespace

void envmon_hal_pwr_mgmt_volt_value_change_event(int32_t value, envmon_sensor_info* sensor, uint32_t slot) {
  if (all_pems_described()) envmon_pem_pwr_mgmt_volt_value_change_event(value, sensor, slot);
}

void envmon_hal_pwr_mgmt_update_fru_curr_data(int32_t value, envmon_sensor_info* sensor, uint32_t slot) {
  if (all_pems_described()) envmon_pem_pwr_mgmt_update_fru_curr_data(value, sensor, slot);
}

void envmon_hal_pwr_mgmt_set_redundancy_num_pems(uint8_t count) { envmon_pem_pwr_mgmt_set_redundancy_num_pems(count); }

void envmon_hal_pwr_mgmt_dump_data(void) { envmon_pem_pwr_mgmt_dump_data(); }

int envmon_hal_power_budget_supported(void) { return 1; }

uint32_t envmon_hal_get_pem_temp_delta(void) { return 2; }

void envmon_hal_handle_pem_status_change(uint8_t /*tray*/, uint8_t /*pem*/, uint8_t /*prev_status*/) {}

void envmon_hal_override_power_budget_value(int32_t /*card_type*/, uint16_t* /*max_budget*/,
                                            uint16_t* /*ext_budget*/) {}
void envmon_hal_handle_progressive_mode_change(int /*cfg_hdl*/) {}
void envmon_hal_progressive_register_valpoint(void) {}
void envmon_hal_pwr_conf_init(void) {}
void envmon_hal_configured_pm_single_mode(int /*cfg_hdl*/, const char* /*path*/) {}

int is_hal_single_feed_on(uint8_t /*tray*/, uint8_t /*pem*/, uint32_t /*alarm_id*/) { return 0; }

}  // extern "C"
