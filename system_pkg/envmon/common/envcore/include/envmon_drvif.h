// Platform-driver client of the server: polling configuration, set requests
// and the drivers' notifications.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_sensor.h"
#include "inv_util.h"

struct evloop;
struct mtimer_tree;
struct drvif_handle;              // a platform-driver client handle
struct ds_service_info;           // one published endpoint of the directory service
struct drvif_eid_register_resp;
struct drvif_eid_ack_resp;
struct drvif_sensor_data_msg;
struct drvif_led_data_msg;
struct drvif_eid_data_msg;
struct drvif_fpga_data_msg;
struct fpd_data;

extern "C" {

// Polling modes.
enum : uint32_t {
  ENVMON_POLL_START = 3,
  ENVMON_POLL_STOP = 4,
};

// ---- Driver table, handles, connection. ----
// One client handle per driver index 0-16; empty until envmon_drvif_init.
extern struct drvif_handle* envmon_drvif_driver_table[17];

// Creates and connects the handle of one driver index: 0 or the drvif error.
int32_t envmon_drvif_init(struct evloop* loop, uint32_t index);
// The handle of an index; null for an empty slot or an index above 16.
struct drvif_handle* get_drvif_driver_handler(uint32_t index);
// The index whose slot holds the handle, 17 when none does.
uint32_t envmon_drvif_get_driver_index(const struct drvif_handle* handle);
void envmon_drvif_disconnect(uint32_t index);
// Registers for fan-tray events with the fan drivers (1 and 14).
envmon_err_t envmon_drvif_rm_init(void);
// Registers the power trays with the power driver (2), once per active period.
void envmon_drvif_pwr_regi(void);
// One unregistration element (op, pt) to a driver; -1 without a handle.
int32_t envmon_drvif_unregister_eid(uint32_t driver, uint32_t pt, uint32_t op);

// Callbacks set on every handle.
void envmon_drvif_connect_cb(struct drvif_handle* handle, uint32_t status, uint64_t ctx);
void envmon_drvif_disconnect_cb(struct drvif_handle* handle, uint32_t reason, uint64_t ctx);
void envmon_drvif_error_cb(struct drvif_handle* handle, int32_t code);
void envmon_drvif_filter_cb(struct drvif_handle* handle, const struct ds_service_info* endpoints,
                            uint32_t count);
void envmon_drvif_resp_eid_register_cb(struct drvif_handle* handle,
                                       const struct drvif_eid_register_resp* msg, uint8_t final,
                                       int32_t status, uint64_t cookie);

// ---- Polling configuration. ----
// Sends the polling configuration of `count` sensors: to `driver`, or with
// 17 to each sensor's own driver. One request per driver.
void envmon_drvif_poll_request(envmon_sensor_info* sensors, uint16_t count, uint32_t mode,
                               uint32_t driver);
void envmon_drvif_rm_poll_all_sensors(uint32_t driver, uint32_t mode);
void envmon_drvif_nm_poll_all_sensors(uint32_t driver, uint32_t mode);
void envmon_drvif_adjust_sensors_for_platform(envmon_sensor_info* sensors, uint16_t count,
                                              uint32_t scope);
void envmon_drvif_resp_eid_config_polling_cb(struct drvif_handle* handle,
                                             const struct drvif_eid_ack_resp* msg, uint8_t final,
                                             int32_t status, uint64_t cookie);

// ---- Notifications. ----
void envmon_drvif_notify_sensor_data_cb(struct drvif_handle* handle,
                                        const struct drvif_sensor_data_msg* msg);
void envmon_drvif_notify_led_data_cb(struct drvif_handle* handle,
                                     const struct drvif_led_data_msg* msg);
void envmon_drvif_notify_eid_data_cb(struct drvif_handle* handle,
                                     const struct drvif_eid_data_msg* msg);
// Maps a hardware event word to the sensor's hardware state (0x40 down, 0x10
// up, 0x20 not available) and pushes it to inventory.
void envmon_update_oper_state(const pelm_eid* eid, uint32_t hw_event, uint32_t scope);

// ---- FPD information and upgrade through the drivers. ----
extern struct mtimer_tree* env_fpd_timer_tree;
// `eid` in inventory form.
void envmon_drvif_get_fpd_info(const inv_eid* eid, uint32_t slot);
void envmon_drvif_request_fpd_upd(uint32_t driver, struct fpd_data* fpd);
uint32_t envmon_drvif_fpd_driver_for_slot(uint32_t slot);
void envmon_drvif_resp_get_fpga_info_cb(struct drvif_handle* handle,
                                        const struct drvif_fpga_data_msg* msg, uint8_t final,
                                        int32_t status, uint64_t cookie);
void envmon_drvif_resp_set_fpga_info_cb(struct drvif_handle* handle,
                                        const struct drvif_eid_ack_resp* msg, uint8_t final,
                                        int32_t status, uint64_t cookie);
void envmon_drvif_notify_fpga_data_cb(struct drvif_handle* handle,
                                      const struct drvif_fpga_data_msg* msg, uint64_t cookie);
void envmon_fpd_timer_tree_init(struct evloop* loop);
void envmon_fpd_timer_start(const pelm_eid* eid);
int envmon_fpd_timer_expiry(struct mtimer_tree* tree, void* ctx);

// ---- Sensor setting, slot shut, rack number. ----
// `sensors` are `count` pointers to entity ids (a sensor record's first field).
// Flow control on the driver connection ends the process with status 3.
void envmon_drvif_set_bulk_sensor_data(pelm_eid* const* sensors, const uint32_t* values,
                                       const uint32_t* kinds, uint32_t driver, uint32_t count);
void envmon_drvif_set_aux_bulk_sensor_data(pelm_eid* const* sensors, const uint32_t* values,
                                           const uint32_t* kinds, uint32_t driver,
                                           uint32_t count);
void envmon_drvif_resp_set_sensor_info_cb(struct drvif_handle* handle,
                                          const struct drvif_eid_ack_resp* msg, uint8_t final,
                                          int32_t status, uint64_t cookie);
void envmon_drvif_resp_set_aux_sensor_info_cb(struct drvif_handle* handle,
                                              const struct drvif_eid_ack_resp* msg,
                                              uint8_t final, int32_t status, uint64_t cookie);
// 0 sent; -1 while the slot-shut driver (11) is not connected.
int32_t envmon_drvif_shut_slot_req(uint32_t slot);
void envmon_drvif_send_rack_num_to_driver(uint32_t driver, uint32_t rack);

// ---- Driver fault processing. ----
// Voltage alarm ids 1-6 (two groups of critical, major, minor).
void envmon_process_drvif_volt_fault(const pelm_eid* eid, uint32_t fault, int32_t scope);
void envmon_process_drvif_pem_volt_fault(const pelm_eid* eid, int32_t value, uint32_t fault,
                                         int32_t scope);
uint32_t envmon_hw_fault_to_volt_fault(uint32_t fault);
void envmon_report_volt_alm(const pelm_eid* eid, uint32_t alarm_id, uint8_t raise, int32_t scope,
                            const char* name);
void envmon_report_pem_volt_alm(const pelm_eid* eid, uint32_t alarm_id, uint8_t raise,
                                int32_t scope, int32_t value, const char* name);
void envmon_shutdown_card(uint32_t slot);
void envmon_report_powertray_oir_alm(uint32_t tray, uint8_t inserted);
void envmon_process_drvif_idprom_access_fault(const pelm_eid* eid, uint32_t unused,
                                              const char* text, uint8_t raise);
void envmon_process_drvif_hw_undetected_fault(const pelm_eid* eid, int32_t scope, uint8_t raise);

// ---- Fan trays: description reader and clean-up. ----
// ENVMON_ERR_UNSUPPORTED_FANTRAY when no description matches the tray.
envmon_err_t envmon_rm_fan_parse_xml(uint32_t slot);
void envmon_rm_fan_cb_cleanup(uint32_t tray);

}  // extern "C"
