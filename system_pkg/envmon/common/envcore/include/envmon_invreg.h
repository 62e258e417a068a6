// Inventory-registration client (one per scope) and inventory service client
// of the server.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_records.h"
#include "envmon_sensor.h"
#include "inv_parser.h"
#include "inv_util.h"

struct evloop;

extern "C" {

// Hardware states reported to inventory.
enum : uint32_t {
  ENVMON_INV_HW_UP = 1,
  ENVMON_INV_HW_DOWN = 4,
};

envmon_err_t envmon_inv_invreg_nm_client_init(struct evloop* loop);
envmon_err_t envmon_inv_invreg_rm_client_init(struct evloop* loop);
void envmon_inv_invreg_rm_client_disconnect(void);
envmon_err_t envmon_capi_inv_init(struct evloop* loop);
void envmon_capi_inv_disconnect(void);
envmon_err_t envmon_inv_invreg_register_sensors(uint32_t scope, envmon_sensor_info* sensors,
                                                uint16_t count);
void envmon_inv_invreg_report_sensor_data_after_reg(uint32_t subtype, envmon_sensor_info* sensor,
                                                    uint32_t scope);
void envmon_inv_invreg_rm_register_container_eid(inv_eid* eids, uint16_t count,
                                                 inv_xml_handle_t xml);
void envmon_inv_invreg_fru_power_alloc_update(const pelm_eid* eid, uint32_t power_allocated,
                                              int32_t power_status, int32_t current,
                                              uint8_t is_producer);
envmon_err_t envmon_inv_invreg_fan_fru_reg(uint32_t slot, uint32_t board_id, const char* serial,
                                           const uint8_t* idprom, uint32_t idprom_len,
                                           pelm_eid* eid);
envmon_err_t envmon_inv_invreg_fan_fru_unreg(uint32_t slot);
void envmon_reg_and_set_eeprom_data(inv_xml_handle_t xml, uint32_t slot, pelm_eid* eid,
                                    const uint8_t* idprom, uint32_t idprom_len);
void envmon_reg_fpd_eid(fpd_data* fpd, void* fpd_info, uint32_t slot);
void envmon_inv_invreg_reg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t fru_type,
                                   const char* text, uint32_t text_len, uint32_t hw_major,
                                   uint32_t hw_minor);
void envmon_inv_invreg_unreg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t fru_type);
void envmon_inv_invreg_report_hw_event(const pelm_eid* eid, uint32_t scope, uint32_t state);
int32_t envmon_inv_invreg_upd_eid_state(const pelm_eid* eids, const uint32_t* states,
                                        uint32_t count, uint32_t scope);
// Push a voltage (with its trap flag) or current value of a sensor through the
// scope's client.
envmon_err_t envmon_inv_invreg_volt_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope, uint8_t trap);
envmon_err_t envmon_inv_invreg_curr_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope);
// Asks the inventory service for current-value notifications.
void envmon_capi_inv_request_curr_notification(void);
// The last output current of the FRU in each backplane slot 0-13.
extern int32_t bb_lc_fru_current_db[14];
// Registers this card's sensors / the rack-scope entities with inventory.
void envmon_inv_invreg_nm_reg_all_sensors(void);
void envmon_inv_invreg_rm_register_chassis_lvl_eids(void);
// Pushes an LED status; 0, -3 on flow control, else a failure.
int32_t envmon_inv_invreg_led_status_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                            uint32_t scope);
// Reports an FPD record's data to inventory (registers it first when it is
// not yet known there); `from_resp` is 1 for data that answers a request.
int32_t envmon_inv_invreg_rm_report_fpga_data(fpd_data* fpd, uint8_t from_resp);
// Starts (3) or stops (4) the polling of one port-adapter bay's sensors.
void envmon_mpa_start_stop_sensor_polling(uint8_t index, uint32_t mode);
void envmon_inv_invreg_upd_container_eid_nodeid(const pelm_eid* eid, struct nodeid_rec* nodeid,
                                                uint32_t scope, uint32_t slot);

}  // extern "C"
