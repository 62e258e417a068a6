// Inventory-registration clients (one per scope) and the inventory-service
// client of the server: registration requests, value and state pushes, and
// what the rest of the server calls of them.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_records.h"
#include "envmon_sensor.h"
#include "inv_parser.h"
#include "inv_util.h"

struct evloop;
struct invreg_handle;   // a client of the inventory-registration service
struct nodeid_rec;

extern "C" {

// Hardware events reported to inventory.
enum : uint32_t {
  ENVMON_INV_HW_UP = 1,
  ENVMON_INV_HW_DOWN = 4,
};

// ---- Clients. ----
envmon_err_t envmon_inv_invreg_nm_client_init(struct evloop* loop);
envmon_err_t envmon_inv_invreg_rm_client_init(struct evloop* loop);
void envmon_inv_invreg_rm_client_disconnect(void);
envmon_err_t envmon_capi_inv_init(struct evloop* loop);
void envmon_capi_inv_disconnect(void);
// The client of scope 3 (node) or 1 (rack) and its connected flag; null and
// 0 for any other scope or a client that does not exist.
struct invreg_handle* envmon_get_invreg_handle(uint32_t scope, uint8_t* connected);

// ---- Registration requests. ----
envmon_err_t envmon_inv_invreg_register_sensors(uint32_t scope, envmon_sensor_info* sensors,
                                                uint16_t count);
envmon_err_t envmon_inv_invreg_unregister_sensors(uint32_t scope, envmon_sensor_info* sensors,
                                                  uint16_t count);
// Number of ids handled.
uint16_t envmon_inv_invreg_rm_register_container_eid(inv_eid* eids, uint16_t count,
                                                     inv_xml_handle_t xml);
// `event` is not read: the FRU's event comes from the fan tray's record.
envmon_err_t envmon_inv_invreg_fan_fru_reg(uint32_t slot, uint32_t board_id, const char* serial,
                                           const uint8_t* idprom, uint32_t idprom_len,
                                           pelm_eid* event);
envmon_err_t envmon_inv_invreg_fan_fru_unreg(uint32_t slot);
void envmon_inv_invreg_reg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t fru_type,
                                   const char* text, uint32_t text_len, uint32_t hw_major,
                                   uint32_t hw_minor);
void envmon_inv_invreg_unreg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t fru_type);
void envmon_reg_fpd_eid(fpd_data* fpd, void* fpd_info, uint32_t slot);
void envmon_upd_inv_container_eid_nodeid(uint32_t scope, uint32_t slot, const pelm_eid* eid);
void envmon_inv_invreg_upd_container_eid_nodeid(const pelm_eid* eid, struct nodeid_rec* nodeid,
                                                uint32_t scope, uint32_t slot);
// 0 or the send's result; ENVMON_ERR32_ALREADY_DONE's 32-bit value while the
// rack client is down.
int32_t envmon_rm_reg_one_eid(pelm_eid* eid, uint8_t eeprom);
void envmon_rm_report_eeprom_data(const pelm_eid* eid, const uint8_t* idprom,
                                  uint32_t idprom_len);
// Registers the FRU's IDPROM entity and reports its EEPROM; on success `eid`
// holds the IDPROM entity id.
void envmon_reg_and_set_eeprom_data(inv_xml_handle_t xml, uint32_t slot, pelm_eid* eid,
                                    const uint8_t* idprom, uint32_t idprom_len);
// Registers this card's sensors / the rack-scope entities with inventory.
void envmon_inv_invreg_nm_reg_all_sensors(void);
void envmon_inv_invreg_rm_register_chassis_lvl_eids(void);
void envmon_inv_invreg_rm_register_chassis_lvl_eid_list(envmon_remote_card_cb* card,
                                                        uint32_t* count);

// ---- Value and state pushes. Sensor pushes set the sensor's
// val_capi_flow_ctrl when the connection was flow-controlled. ----
void envmon_inv_invreg_temp_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                          uint32_t scope, uint8_t trap);
void envmon_inv_invreg_temp_threshold_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                             uint32_t scope, uint8_t trap);
void envmon_inv_invreg_eid_upd_pem_temp_sensor_threshold(const pelm_eid* eid,
                                                         envmon_sensor_info* sensor);
void envmon_inv_invreg_rm_fan_speed_sensor_update(envmon_sensor_info* sensor, const pelm_eid* eid,
                                                  int32_t speed, uint64_t timestamp, uint8_t trap,
                                                  uint32_t max_speed, uint32_t min_speed);
// 0 when sent, ENVMON_ERR_NOT_CONNECTED otherwise.
envmon_err_t envmon_inv_invreg_volt_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope, uint8_t trap);
envmon_err_t envmon_inv_invreg_curr_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope);
void envmon_inv_invreg_power_usage_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                          uint32_t scope);
// 0, -3 on flow control, else a failure.
int32_t envmon_inv_invreg_led_status_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                            uint32_t scope);
void envmon_inv_invreg_fru_power_alloc_update(const pelm_eid* eid, uint32_t power_allocated,
                                              int32_t power_status, int32_t current,
                                              uint8_t is_producer);
void envmon_inv_invreg_system_pwr_data_update(int32_t usable_pwr, int32_t prot_pwr,
                                              int32_t resrv_n_alloc_pwr, int32_t cnf_red_mode,
                                              int32_t act_red_mode, int32_t sixth);
// -1 for no entity or a client not connected, -4 when memory runs out, else
// the service's result (0 sent, -3 flow-controlled).
int32_t envmon_inv_invreg_upd_eid_state(const pelm_eid* eids, const uint32_t* states,
                                        uint32_t count, uint32_t scope);
int32_t envmon_inv_invreg_eid_upd_power_admin_state(struct invreg_handle* handle,
                                                    const pelm_eid* eid, uint32_t state);
int32_t envmon_inv_invreg_eid_upd_power_oper_state(struct invreg_handle* handle,
                                                   const pelm_eid* eid, uint32_t state);
void envmon_inv_invreg_report_hw_event(const pelm_eid* eid, uint32_t scope, uint32_t event);
void envmon_inv_invreg_upd_eid_name(const pelm_eid* eid, const char* name, uint32_t scope);
// 1 for no entity, 2 while the scope's client is not connected, else the
// send's result.
int32_t envmon_inv_invreg_hide_eid(const pelm_eid* eid, uint32_t scope, uint8_t hide);
// 1 when any of the six thresholds is non-zero.
int is_power_thresholds_configured(const envmon_sensor_info* sensor);
// Pushes a sensor's value by its subtype, with its oper state first when
// `with_state` is set.
void envmon_inv_invreg_report_sensor_data(uint32_t subtype, envmon_sensor_info* sensor,
                                          uint32_t scope, uint8_t with_state);
void envmon_inv_invreg_report_sensor_data_after_reg(uint32_t subtype, envmon_sensor_info* sensor,
                                                    uint32_t scope);
// Re-sends what flow control held back for one sensor.
void envmon_check_sensor_flow_ctrl_n_resend(uint32_t subtype, envmon_sensor_info* sensor,
                                            uint32_t scope);
// Reports an FPD record's data to inventory; with `first` 1 a sent report
// also registers the FPD with the FPD framework. The service's result.
int32_t envmon_inv_invreg_rm_report_fpga_data(fpd_data* fpd, uint8_t first);

// ---- Inventory-service client. ----
void envmon_capi_inv_request_temp_notification(void);
void envmon_capi_inv_request_altitude_notification(void);
void envmon_capi_inv_request_curr_notification(void);
void envmon_inv_register_fru_oir_event(void);
void envmon_inv_req_fru_power_info(void);

// ---- Backplane current. ----
// The last output current of the FRU in each backplane slot 0-13, and the
// input current of the power supplies in slots 580-583.
extern int32_t bb_lc_fru_current_db[14];
extern int32_t bb_pem_fru_curr[4];
uint32_t envmon_get_fixed_board_curr(void);
void envmon_bb_curr_value_change_event(uint32_t current, uint64_t timestamp);

// ---- Port-adapter (MPA) sensors. ----
envmon_err_t envmon_inv_mpa_init(void* inv_handle, const pelm_eid* fru_eid, uint32_t slot_id,
                                 uint32_t pd_card_type, const char* pid);
envmon_err_t envmon_inv_register_mpa_sensor(uint8_t bay);
// Starts (3) or stops (4) the polling of one port-adapter bay's sensors.
void envmon_mpa_start_stop_sensor_polling(uint8_t bay, uint32_t mode);
envmon_err_t envmon_inv_handle_mpa_removal(uint32_t slot_id, uint32_t pd_card_type);
void envmon_inv_free_sensor_data(envmon_sensor_info** sensors, uint16_t* count);
int32_t envmon_mpa_register_for_oper_state_change(void* inv_handle);

}  // extern "C"
