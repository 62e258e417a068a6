// The hardware abstraction's interface: the same names on both platforms,
// exported by the platform's library (envhal_tavrin, envhal_olbrisk) and bound
// by name by the core and the PEM library in the server process.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_fm.h"
#include "envmon_records.h"
#include "envmon_sensor.h"
#include "inv_util.h"
#include "tlg.h"

struct evloop;
struct envmon_sys_pwr_data;   // system power record (envmon_pwr_mgmt.h)
struct envmon_notif_sys_pwr_data;
struct alarmd_handle;         // fault-manager client handle
struct alarmd_fault;          // a fault handed to an action callback
struct alarmd_fault_data;     // data of a fault to declare
struct fpd_drv_upgrade_req;   // an FPD framework upgrade request
struct dc_idprom_content;     // a decoded IDPROM (platform IDPROM decoder)
struct invreg_eeprom_data;    // EEPROM data of an inventory IDPROM entity
struct drvif_eid_register_req;  // a platform-driver entity registration request
struct drvif_sensor_data_rec;   // one entry of a driver's sensor-data notification
struct drvif_eid_data_rec;      // one entry of a driver's entity-data notification
struct invreg_ack;              // an inventory-registration acknowledgement
struct inv_notify_event_data;   // an inventory-service notification
struct inv_sensor_value;        // a sensor value as inventory holds it
struct inv_threshold_data;      // its thresholds

extern "C" {

// Trace buffers of the library, opened under the process's own buffers; then
// the PEM library's. 0 or the trace-initialisation code.
envmon_err_t envmon_hal_tlg_init(struct evloop* loop, tlg_handle_t main, tlg_handle_t err,
                                 tlg_handle_t info, tlg_handle_t dbg, tlg_handle_t pwrm,
                                 tlg_handle_t fanm, tlg_handle_t fault, tlg_handle_t smil,
                                 tlg_handle_t obfl);

// Platform limits: every per-slot table is sized from these.
uint32_t envmon_hal_get_max_fantray(void);
uint32_t envmon_hal_get_max_pri_fantray(void);
uint32_t envmon_hal_get_max_mpa_fantray(void);
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
uint8_t envmon_hal_get_lc_card_subtype(void);
uint32_t envmon_hal_get_fantray_container_eid_subtype(void);
uint32_t envmon_hal_get_powertray_container_eid_subtype(void);
bool envmon_hal_is_mpa_supported_on_rp(uint32_t card_type);
bool envmon_hal_is_powertray(uint32_t hw_type);

// Remote management of card classes: 1 when cards of the class get a record.
int envmon_hal_are_fc_managed_remotely(void);
int envmon_hal_are_lc_managed_remotely(void);
int envmon_hal_are_sw_managed_remotely(void);
bool envmon_hal_check_platform_skip(void);
bool envmon_hal_no_pec(void);

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
bool envmon_is_ft_idx_belongs_to_pft(uint32_t tray);
// Port-adapter (MPA) slots: card (from 1) and index within the card.
void envmon_hal_get_mpa_range(uint32_t* end, uint32_t* start);
void envmon_hal_get_mpa_bay_slot(uint32_t slot, uint8_t* index, uint16_t* bay);
void envmon_hal_get_mpa_logic_slot(uint16_t bay, uint8_t index, uint32_t* slot);
// 0 with the location text of an MPA slot; non-zero while this card's own
// location is unknown.
int hal_get_mpa_nodeid_location(uint32_t slot, char* location, uint32_t location_len);
// Optics (transceiver) slots and the line card that holds one.
bool envmon_hal_is_optics_slot(uint32_t slot);
uint32_t envmon_hal_if_logical_slot_to_lc_logical_slot(uint32_t slot);
bool envmon_hal_is_fantray(uint32_t card_type);
const char* envmon_hal_get_card_name(uint32_t card_type);
uint32_t* envmon_hal_get_misc_state(int32_t slot);
// 0 with the slot's list for the subtype; non-zero when there is none.
envmon_err_t envmon_hal_get_sensor_list(int32_t slot, uint32_t subtype,
                                        envmon_sensor_info** list, uint16_t* count);
// Whether a threshold crossing of the sensor is reported as a trap.
bool envmon_hal_is_trap_needed(uint32_t slot, int32_t subtype, envmon_sensor_info* sensor);
int envmon_hal_ok_to_poll_sensor(const envmon_sensor_info* sensor);
bool envmon_hal_inv_invreg_is_hidden_sensor(const envmon_sensor_info* sensor, uint8_t* hide);
envmon_err_t envmon_hal_init_pd_data(void);
void envmon_hal_inv_invreg_report_hw_event(int32_t slot);
void envmon_hal_activate_fanout(void);

// IDPROM images of fan trays and power modules (256 bytes). Each answers 0 or
// 22; a damaged image, a wrong size or an unknown product id gives 22.
int envmon_hal_idprom_extract(const uint8_t* idprom, uint32_t idprom_size,
                              struct dc_idprom_content* decoded, uint16_t* hw_version,
                              char* pid, uint32_t pid_size, char* serial, uint32_t serial_size);
// Major in the high byte, minor in the low byte.
int envmon_hal_idprom_get_hw_version(const uint8_t* idprom, uint32_t idprom_size,
                                     uint16_t* hw_version);
// The product id (18 bytes, terminator included) into a buffer of at least 18.
int envmon_hal_idprom_get_pid(const uint8_t* idprom, uint32_t idprom_size, char* buf,
                              uint32_t buf_size);
// The 11-byte PCB serial number into a buffer of at least 11 (terminated when
// the buffer has room for it).
int envmon_hal_idprom_get_pcb_sn(const uint8_t* idprom, uint32_t idprom_size, char* buf,
                                 uint32_t buf_size);
// Fills the inventory EEPROM record; the decoded record is handed back through
// the last argument, whatever the result, and the caller frees it.
int envmon_hal_idprom_set_inv_proto_fields(const uint8_t* idprom, uint32_t idprom_size,
                                           struct invreg_eeprom_data* record, uint8_t skip,
                                           struct dc_idprom_content** decoded);
uint32_t envmon_hal_idprom_get_card_type(const uint8_t* idprom, uint32_t idprom_size);
// 1 to hide the sensor.
int envmon_hal_filter_sensor_eid_by_name(uint32_t subtype, const char* name);
void envmon_hal_customize_sensor_info(envmon_sensor_info* sensor, int32_t slot, uint32_t type,
                                      uint32_t subtype);
const char* envmon_hal_get_platform_name(void);
envmon_remote_card_cb* envmon_hal_get_rc_cb(uint32_t slot, uint32_t card_class,
                                            uint32_t pd_card_type, uint32_t* inv_hw_type,
                                            uint32_t* card_subtype);

// Fan control.
envmon_err_t envmon_hal_fan_mgmt_fantray_oir(uint32_t tray, uint8_t presence, pelm_eid* oir_data,
                                             uint8_t idprom_access_fail, const char* reason);
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
// A fan-speed reading of fan `fan` of the fan tray in `slot`.
void envmon_hal_fan_mgmt_fan_speed_value_change_event(uint32_t slot, uint32_t fan, int32_t rpm,
                                                      uint64_t timestamp, const pelm_eid* eid);
// A temperature sensor's thresholds changed: its temperature alarm is
// cleared (a platform may do nothing here).
void envmon_hal_clear_temp_alarm(void);
void envmon_hal_fan_mgmt_dump_data_structures(void);
bool envmon_hal_altitude_fan_set_needed(uint32_t old_altitude, uint32_t new_altitude);
void envmon_hal_user_fan_speed_change(void);
void envmon_hal_fan_mgmt_filter_reset(uint32_t tray);
void envmon_hal_fan_mgmt_inv_altitude_notification(const struct inv_sensor_value* value = nullptr);
void envmon_hal_altitude_sensor_value(uint32_t* value, uint8_t* valid);

// Fault manager: tables, repeatable faults and callbacks (handles and faults of
// the fault-manager client library).
int32_t envmon_hal_fm_update_fm_table(uint32_t scope);
const char* envmon_hal_fm_get_fm_table(uint32_t scope);
void envmon_hal_fm_rm_set_repeatable(struct alarmd_handle* handle);
void envmon_hal_fm_nm_set_repeatable(struct alarmd_handle* handle);
int envmon_hal_fm_rm_action_handler(struct alarmd_handle* handle, struct alarmd_fault* fault,
                                    uint32_t action, void* data, uint32_t data_len, void* ctx);
int envmon_hal_fm_nm_action_handler(struct alarmd_handle* handle, struct alarmd_fault* fault,
                                    uint32_t action, void* data, uint32_t data_len, void* ctx);
int envmon_hal_fm_rm_error_handler(struct alarmd_handle* handle, int64_t error);
int envmon_hal_fm_nm_error_handler(struct alarmd_handle* handle, int64_t error);
// Fault tags and severities of a fault request being built.
int32_t envmon_hal_fm_configure_location_string(int32_t slot, char* location, pelm_eid** eid1,
                                                pelm_eid** eid2);
void envmon_hal_fm_configure_shutdown_card_fault(envmon_fm_fault_req* req, uint32_t* scope);
envmon_err_t envmon_hal_fm_process_card_shut_on_low_budget(uint8_t card_index, uint8_t mode);
envmon_fm_fault_req* envmon_hal_fm_configure_idprom_access_failure(envmon_fm_fault_req* req);
// Voltage alarm ids 1-6; any other id leaves the request as it is.
void envmon_hal_fm_configure_voltage_fault(envmon_fm_fault_req* req,
                                           struct alarmd_fault_data* data, uint32_t alarm_id,
                                           uint32_t scope);
void envmon_hal_fm_configure_powertray_oir_fault(envmon_fm_fault_req* req, uint8_t inserted);
void envmon_hal_fm_configure_hw_undetected_failure(pelm_eid* eid, envmon_fm_fault_req* req,
                                                   char* text);
uint32_t envmon_hal_get_fm_powertray_slottype(uint32_t slot);

// FPDs (field-programmable devices) of power modules.
envmon_err_t envmon_hal_fpd_image_set(struct fpd_drv_upgrade_req* req, fpd_data** fpd,
                                      uint32_t* driver, uint8_t* proceed);
uint32_t envmon_hal_fpd_get_upgrade_timeout(const fpd_data* fpd);
void envmon_hal_fpd_init_slot(uint32_t slot);
int32_t envmon_hal_fpd_init(fpd_data* fpd, uint32_t slot, uint32_t* node_slot, void* reg);
// 1 when the upgrade request does not apply to power supplies; the request's
// result callback is told.
bool envmon_hal_verify_pt_fpd_skip(struct fpd_drv_upgrade_req* req, fpd_data* fpd);

// Power.
int32_t envmon_hal_pwr_mgmt_init(void);
void envmon_hal_pwr_mgmt_pbudget_data_init(void);
void envmon_hal_pwr_mgmt_fru_power_allocated_update_all(void);
// Fills usable and protection power and the currents; 1 when filled.
bool envmon_hal_check_n_update_system_pwr_data(struct envmon_sys_pwr_data* data, uint8_t force);
// The hardware that carries the budget of an entity type; 0 for an unknown type.
bool envmon_hal_pwr_mgmt_get_hw_type(uint32_t entity_type, uint8_t* subtype, int32_t* pi_type,
                                     int32_t* pd_type, char* pid, int32_t* hw_major,
                                     int32_t* hw_minor);
bool envmon_hal_is_pwr_mgmt_ready(void);
void envmon_hal_pwr_mgmt_handle_role_change(void);
void envmon_hal_pwr_mgmt_powertray_oir(uint8_t tray, uint8_t event);
envmon_err_t envmon_hal_pwr_mgmt_check_chassis_pwr_supply_alarms(bool force = false);
void envmon_hal_pwr_mgmt_volt_value_change_event(int32_t value, envmon_sensor_info* sensor,
                                                 uint32_t slot);
void envmon_hal_pwr_mgmt_update_fru_curr_data(int32_t value, envmon_sensor_info* sensor,
                                              uint32_t slot);
uint32_t envmon_hal_get_pem_temp_delta(void);
// Capacity of a power module from its feeds, after its status changed.
void envmon_hal_handle_dual_feed_capacity(uint8_t tray, uint8_t pem, uint32_t pem_type,
                                          uint8_t prev_status);
void envmon_hal_handle_triple_feed_capacity(uint8_t tray, uint8_t pem, uint32_t pem_type,
                                            uint8_t prev_status);
void envmon_hal_handle_pem_status_change(uint8_t tray, uint8_t pem, uint8_t prev_status);
void envmon_hal_override_power_budget_value(int32_t card_type, uint16_t* max_budget,
                                            uint16_t* ext_budget);
int is_hal_single_feed_on(uint8_t tray, uint8_t pem, uint32_t alarm_id);
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

// Platform-driver hooks.
void envmon_hal_drvif_connect(uint32_t driver);
void envmon_hal_drvif_disconnect(uint32_t driver);
void envmon_hal_drvif_post_connect_actions(uint32_t driver);
// Fills the ECU driver's entity registration; 0 when there is nothing to send.
int32_t envmon_hal_drvif_reg_ecu_eids(struct drvif_eid_register_req* req);
// 2 for a power-module slot, else 17.
uint32_t envmon_hal_drvif_get_driver_by_slot(uint32_t slot);
// 1 when the driver serves the slot.
int envmon_hal_is_driver_and_slot_valid(uint32_t driver, uint32_t slot);
// Scope of a slot (3 own or port-adapter slot, else 1), and marks that
// scope's failure log for a full write.
void envmon_hal_set_obfl_state_pending(uint32_t slot, uint32_t* scope);
envmon_err_t envmon_hal_drvif_sensor_data_notification(
    uint8_t subtype, const struct drvif_sensor_data_rec* entry, pelm_eid* eid, const char* eid_str,
    pelm_tsi* tsi, uint32_t tsi_count, uint32_t slot, uint32_t scope, int32_t value,
    uint32_t hw_event, uint32_t fault_event, uint32_t warning_event, uint32_t aux2, uint32_t scale,
    uint32_t aux1, uint64_t sensor_type, uint64_t timestamp);
void envmon_hal_drvif_sensor_data_notification_complete(uint8_t subtype);
void envmon_hal_drvif_eid_data_notification(
    uint8_t subtype, const struct drvif_eid_data_rec* entry, const pelm_eid* entry_eid,
    pelm_eid* eid, pelm_tsi* tsi, uint32_t tsi_count, uint32_t slot, uint32_t board_id,
    const char* serial, uint32_t state, uint32_t fault, const char* text1, uint32_t warning,
    const char* text2, uint32_t misc, const uint8_t* idprom, uint32_t idprom_len,
    uint32_t hw_major, uint32_t hw_minor, uint32_t scope);
void envmon_hal_drvif_eid_data_notification_complete(uint8_t subtype);
// Sensors of a slot the core keeps no list for, for voltage faults.
void envmon_hal_drvif_process_volt_fault(uint32_t slot, uint16_t* count,
                                         envmon_sensor_info** list);
// FPD upgrades through the drivers.
bool envmon_hal_is_fpd_upgrade_supported(uint32_t driver);
fpd_data* envmon_hal_get_fpd_data(uint32_t slot, const inv_eid* eid);
// True when a get-info answer code asks for the request to be made again later.
bool envmon_hal_check_get_fpd_resp(uint32_t slot, uint32_t code);
void envmon_hal_drvif_fpd_data_state_notification(uint32_t slot, fpd_data* fpd,
                                                  uint32_t notified, uint32_t prev_state);
void envmon_hal_drvif_fpd_data_fault_notification(uint32_t slot, const pelm_eid* eid,
                                                  fpd_data* fpd);
// Fan management as the driver client sees it.
void envmon_hal_fan_algo_optics_removal(uint32_t slot);
bool envmon_hal_fan_mgmt_is_inv_reg_active(uint32_t tray);
void envmon_hal_fan_mgmt_inv_reg_reset_state(uint32_t state, uint32_t tray, uint32_t flag);

// Inventory hooks: the PEM library's share of inventory registration, fan
// management's view of it, and the notifications of the inventory service.
// PEM FRUs of a power supply (registration hands over the seven arguments of
// the power-tray FRU registration; unregistration its first three).
void envmon_hal_inv_invreg_rm_register_powertray_entities_fru(uint32_t tray, uint32_t pem,
                                                              uint32_t pd_fru_type,
                                                              const char* serial,
                                                              uint32_t serial_len,
                                                              uint32_t hw_major, uint32_t hw_minor);
void envmon_hal_inv_invreg_rm_unregister_powertray_entities_fru(uint32_t tray, uint32_t pem,
                                                                uint32_t pd_fru_type);
// Inventory PI type of a power-supply PD type; 0 when it has none.
uint32_t envmon_hal_convert_pd_type_2_inv_pi_type(uint32_t pd_type);
// Inventory hardware type of a physical power tray.
uint32_t envmon_hal_get_powertray_inv_hw_type(void);
void envmon_hal_inv_invreg_reg_fpd_eid(uint32_t slot, void* fpd_info);
void envmon_hal_inv_invreg_update_powertray_entities_prefix(void);
// Acknowledgements of slots that are neither fan trays nor power trays.
void envmon_hal_inv_invreg_rm_response_register_fru_type(const struct invreg_ack* ack,
                                                         uint32_t slot);
void envmon_hal_inv_invreg_rm_response_unregister_fru_type(const struct invreg_ack* ack,
                                                           uint32_t slot);
void envmon_hal_inv_invreg_rm_response_register_container_eid(const struct invreg_ack* ack,
                                                              uint32_t slot);
void envmon_hal_inv_invreg_response_register_eid(uint32_t code, const pelm_eid* eid);
void envmon_hal_inv_invreg_response_report_eeprom_data(const struct invreg_ack* ack,
                                                       uint32_t slot);
// Registers the platform's own chassis-level entities; adds the requests sent
// to *count (may be null).
void envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(uint32_t* count);
void envmon_hal_inv_invreg_rm_connect(void);
void envmon_hal_inv_invreg_rm_disconnect(void);
void envmon_hal_invreg_flow_resume_chk_n_resend_pwr_data(void);
// Fan management: start, and whether a fan tray is registered with inventory
// (returns the state stored).
envmon_err_t envmon_hal_fan_mgmt_init(void);
uint8_t envmon_hal_fan_mgmt_inv_reg_set_state(uint32_t tray, uint8_t state);
// Inventory-service notifications: a card's temperature, a sensor's oper
// state, and any notification for the platform's own use.
int32_t envmon_hal_fan_mgmt_inv_temp_notification(const struct inv_sensor_value* value,
                                                  const struct inv_threshold_data* thresholds,
                                                  uint32_t slot);
void envmon_hal_sensor_state_update(uint32_t slot, uint32_t subtype, const pelm_eid* eid,
                                    uint32_t oper_state, const char* name);
void envmon_hal_inv_capi_notify_event(const struct inv_notify_event_data* data);

// Tests and checks.
void envmon_hal_run_test_case(uint32_t test_id);
void envmon_check_chassis_alarms(void);

// Card-manager callbacks of the hardware abstraction's node and rack clients.
// Their arguments are those of the card-manager client library.
}  // extern "C"
