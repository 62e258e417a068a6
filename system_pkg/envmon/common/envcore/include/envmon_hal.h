// The hardware abstraction's interface: the same names on both platforms,
// exported by the platform's library (envhal_tavrin, envhal_olbrisk) and bound
// by name by the core and the PEM library in the server process.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_records.h"
#include "envmon_sensor.h"
#include "inv_util.h"

struct evloop;
struct envmon_sys_pwr_data;   // system power record (seven 32-bit values)
struct envmon_notif_sys_pwr_data;

extern "C" {

// Platform limits: every per-slot table is sized from these.
uint32_t envmon_hal_get_max_fantray(void);
uint32_t envmon_hal_get_max_powertray(void);
uint32_t envmon_hal_get_max_virtual_powertray(void);
uint32_t envmon_hal_get_max_rp(void);
uint32_t envmon_hal_get_max_fc(void);
uint32_t envmon_hal_get_max_lc(void);
uint32_t envmon_hal_get_max_swc(void);
uint32_t envmon_hal_get_max_xc(void);
uint32_t envmon_hal_get_max_mpa(void);
uint32_t envmon_hal_get_max_inv_slots(void);
uint32_t envmon_hal_get_max_idprom_size(void);
uint32_t envmon_hal_get_max_clients(void);
uint32_t envmon_hal_get_chassis_sn_length(void);

// Remote management of card classes: 1 when cards of the class get a record.
int envmon_hal_are_fc_managed_remotely(void);
int envmon_hal_are_lc_managed_remotely(void);
int envmon_hal_are_sw_managed_remotely(void);
bool envmon_hal_check_platform_skip(void);

// Start and role hooks.
envmon_err_t envmon_hal_capi_platform_driver_init(struct evloop* loop);
void envmon_hal_clear_rack_scope_alarms(void);
void envmon_hal_fan_mgmt_uninit(void);
void envmon_hal_handle_role_for_pec_oir(uint32_t role);
void envmon_hal_dump_tlgs(void);
envmon_err_t envmon_hal_ship_stats_init(void);
// 0 when asked; the card manager's result; -2 without a node client;
// ENVMON_ERR32_ALREADY_DONE once processed.
int32_t envmon_hal_send_card_info(void);
int32_t envmon_hal_send_chassis_info(void);
int32_t envmon_hal_fsa_rm_pd_error_count(void);
void envmon_hal_fsa_rm_cleanup_inv_retry_request(void);
void envmon_hal_fsa_rm_cleanup_drvif_retry_request(uint32_t driver);

// Slots, names and sensors.
void envmon_hal_idprom_get_pcb_sn(const uint8_t* idprom, uint32_t idprom_size, char* buf,
                                  uint32_t buf_size);
bool envmon_is_ft_idx_belongs_to_pft(uint32_t tray);
void envmon_hal_get_mpa_range(uint32_t* end, uint32_t* start);
void envmon_hal_get_mpa_bay_slot(uint32_t slot, uint8_t* index, uint16_t* bay);
int hal_get_mpa_nodeid_location(uint32_t slot, char* location, uint32_t location_len);
const char* envmon_hal_get_card_name(uint32_t card_type);
uint32_t* envmon_hal_get_misc_state(int32_t slot);
// 0 with the slot's list for the subtype; non-zero when there is none.
int envmon_hal_get_sensor_list(int32_t slot, uint32_t subtype, envmon_sensor_info** list,
                               uint16_t* count);
// 1 to hide the sensor.
int envmon_hal_filter_sensor_eid_by_name(uint32_t subtype, const char* name);
void envmon_hal_customize_sensor_info(envmon_sensor_info* sensor, int32_t slot, uint32_t type,
                                      uint32_t subtype);
const char* envmon_hal_get_platform_name(void);
envmon_remote_card_cb* envmon_hal_get_rc_cb(uint32_t slot, uint32_t card_class,
                                            uint32_t pd_card_type, uint32_t* inv_hw_type,
                                            uint32_t* card_subtype);

// Fan control.
void envmon_hal_fan_mgmt_fan_speed_update_per_eid(uint32_t tray, envmon_sensor_info* sensor);
envmon_err_t envmon_hal_fan_mgmt_fan_speed_update(uint32_t tray, uint32_t repoll);
void envmon_hal_fan_algo_card_state_upd(uint32_t slot, uint32_t hw_type, int32_t card_state,
                                        uint32_t up);
void envmon_hal_prog_mode_card_state_upd(uint32_t slot, int32_t card_state,
                                         int32_t sw_card_state);
void envmon_hal_set_db_default_on_rp_down(uint32_t slot);
void envmon_hal_sec_fan_alarm_clear(uint32_t slot);
envmon_err_t envmon_hal_fan_mgmt_sensor_fault_event(const pelm_eid* eid, uint32_t fault,
                                                    int32_t scope);
envmon_err_t envmon_hal_fan_mgmt_temp_value_change_event(const pelm_eid* eid, uint32_t value,
                                                         int32_t scope, uint64_t secs,
                                                         uint32_t ev_word1, uint32_t ev_word2);
void envmon_hal_fan_timer_disable(uint8_t flag);
void envmon_hal_fan_mgmt_dump_data_structures(void);
bool envmon_hal_altitude_fan_set_needed(uint32_t old_altitude, uint32_t new_altitude);
void envmon_hal_user_fan_speed_change(void);
void envmon_hal_fan_mgmt_filter_reset(uint32_t tray);
void envmon_hal_fan_mgmt_inv_altitude_notification(void);
void envmon_hal_altitude_sensor_value(uint32_t* value, uint8_t* valid);

// Power.
int envmon_hal_power_budget_supported(void);
void envmon_hal_pwr_mgmt_dump_data(void);
void envmon_hal_capi_notify_sys_pwr_data(const struct envmon_sys_pwr_data* data,
                                         struct envmon_notif_sys_pwr_data* payload);
uint32_t envmon_hal_get_num_pems_for_red(void);
void envmon_hal_pwr_mgmt_set_redundancy_num_pems(uint8_t count);
void envmon_hal_pwr_conf_init(void);
void envmon_hal_configured_pm_single_mode(int cfg_hdl, const char* path);
void envmon_hal_handle_progressive_mode_change(int cfg_hdl);
void envmon_hal_progressive_register_valpoint(void);
void envmon_hal_inv_invreg_rm_register_powertray_entities(uint32_t tray);
void envmon_hal_update_rack_num(uint32_t rack);
void envmon_hal_inv_invreg_update_entity_prefix(int32_t slot);

// Tests and checks.
void envmon_hal_run_test_case(uint32_t test_id);
void envmon_check_chassis_alarms(void);

// Card-manager callbacks of the hardware abstraction's node and rack clients.
// Their arguments are those of the card-manager client library.
}  // extern "C"
