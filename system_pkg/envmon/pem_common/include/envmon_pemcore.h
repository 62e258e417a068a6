// The PEM library's operations beyond those the core and the hardware
// abstraction call (envmon_pem.h): status and capacity, alarms, firmware
// upgrades, driver and inventory steps. All are exported by pemcore and run on
// the server's event-loop thread.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_fm.h"
#include "envmon_pem.h"
#include "evloop.h"
#include "inv_parser.h"
#include "inv_util.h"

struct platform_fru_entity;
#include "zul_errmsg.h"

extern "C" {

// ---- Status and capacity. ----
// PEM news: present 1 with the driver's raw record, any other value removal.
void envmon_pwr_mgmt_pem_data_upd(uint8_t tray, uint8_t pem, const pem_raw_data_t* raw,
                                  int32_t present);
// Clears a PEM record's data; with `container` also its container registration.
void envmon_clear_pem_data(uint8_t tray, uint8_t pem, bool container);
// The driver has delivered the data of every PEM.
void envmon_pwr_mgmt_set_pem_data_done(void);
const char* envmon_pem_status_to_str(uint32_t status);
uint32_t envmon_get_bel_pem_capacity(uint32_t type, uint32_t vendor_id);

// ---- Redundancy and system power figures. ----
void envmon_get_pwr_tray_grp_capacity(uint32_t* group_a, uint32_t* group_b);
void envmon_set_min_pems_per_tray_grp(uint8_t count);

// ---- Firmware upgrades: admission 0 admitted, 1 busy, 2 wait, 3 refuse. ----
int32_t envmon_pwr_mgmt_request_pem_upg(uint8_t tray, uint8_t pem, uint16_t fpd);
void envmon_pwr_mgmt_pem_upg_done(uint8_t tray, uint8_t pem, uint16_t fpd, uint8_t failed);
void envmon_pem_restart_queued_fpd_upg(void);
void envmon_pem_cancel_fpd_upg(uint8_t tray, uint8_t pem);

// ---- Start-up and tables. ----
void envmon_pwr_mgmt_pem_data_init(uint8_t tray);
void envmon_parser_pem_pmbus_controller_eids(void);

// ---- Retries (each answers the requests it sent again). ----
int32_t envmon_err_hdl_rm_pctrl_eids(void);
int32_t envmon_err_hdl_rm_pem_cont(void);
int32_t envmon_err_hdl_rm_pem_fru(void);
int32_t envmon_err_hdl_rm_pt_sensor(void);
int32_t envmon_err_hdl_rm_pt_drvif(void);

// ---- Value changes. ----
void envmon_power_value_change_event(const pelm_eid* eid, int32_t value, int32_t scope,
                                     uint64_t timestamp);

// ---- Chassis power-supply alarms (ids 1-6; mode 1 raise, 0 clear). ----
envmon_err_t envmon_process_chassis_ps_alm(uint32_t alarm_id, int32_t mode);
envmon_err_t envmon_report_chassis_ps_alm(uint32_t alarm_id, int32_t mode);
extern const zul_msg_rec zul_msg_rec_envmon_power_redundancy_lost;
const zul_msg_rec* zul_msg_rec_envmon_power_redundancy_lost_getfn(void);
envmon_err_t envmon_check_dc_pem_low_vin_alm(void);

// ---- PEM hardware alarms (ids 1-37). ----
envmon_err_t envmon_process_pem_alm(uint8_t tray, uint8_t pem, uint32_t alarm_id, int32_t mode);
envmon_err_t envmon_report_pem_alm(uint8_t tray, uint8_t pem, uint32_t alarm_id, int32_t mode);
bool envmon_pem_alm_applicable(uint8_t tray, uint8_t pem, uint32_t alarm_id);

// ---- Alarm masking and insertion/removal notices. ----
void envmon_alm_mask_on_pem_oir_start_timer(evloop_fd_handler_t handler, int32_t seconds,
                                            int32_t slot);
void envmon_alm_mask_on_pem_oir_timeout_handler(int fd, uint32_t events, void* ctx);
void envmon_timer_settime(int32_t* fd, uint32_t seconds);
void envmon_pem_close_timer_fd(int32_t* fd);
void envmon_pem_recheck_input_low_volt(uint8_t tray, uint8_t pem);
envmon_err_t envmon_report_pem_oir_alm(uint8_t tray, uint8_t pem, uint8_t inserted);
void envmon_setup_eid_for_pem_alm(uint8_t tray, uint8_t pem);

// ---- Low input voltage of one input sensor (mV). ----
void envmon_check_pem_low_volt_alm(uint8_t tray, uint8_t pem, uint32_t value,
                                   envmon_sensor_info* sensor);
void envmon_process_pem_low_volt_alm(uint8_t tray, uint8_t pem, envmon_sensor_info* sensor,
                                     bool clear);
bool envmon_pem_vin_below_minor(uint32_t value, uint32_t reported_level);
bool envmon_pem_vin_below_major(uint32_t value, uint32_t reported_level);

// ---- Card shutdowns (mode 1 shut, 0 withdraw). ----
envmon_err_t envmon_process_card_shut_on_low_budget(uint8_t card_index, int32_t mode);
envmon_err_t envmon_process_card_shut_progressive_mode(uint8_t card_index, int32_t mode,
                                                       int32_t power_draw);
envmon_err_t envmon_report_card_low_budget_shut_alm(uint8_t card_index, int32_t mode);
envmon_err_t envmon_report_card_prog_mode_shut_alm(uint8_t card_index, int32_t mode,
                                                   int32_t power_draw);

// ---- Fan alarms, fault events, mixed power trays. ----
void envmon_pem_single_fan_fault_event(const pelm_eid* eid, uint32_t fault_events,
                                       int32_t scope);
void envmon_process_pem_fan_alarm(void);
void envmon_pem_fault_handling(int32_t tray, int32_t pem, uint32_t event_word,
                               int32_t alarm_bit);
void envmon_process_drvif_mixed_power_trays(pelm_eid* eid, int32_t scope, const char* text,
                                            int32_t raise);

// ---- Fault-manager glue. ----
// The counter's previous value, or 0 without counters.
uint32_t envmon_pem_fm_configure_powertray_oir_fault(envmon_fm_fault_req* req, uint8_t inserted);

// ---- Power driver. ----
void envmon_drvif_pem_sensors_poll_request(uint8_t tray, uint8_t pem, uint32_t mode);
void envmon_drvif_ccc_restart_pem_fpd_upg_handling(uint8_t tray, uint8_t pem);
// Sensor state bit: the PEM's polling was asked of the power driver.
inline constexpr uint32_t ENVMON_SBIT_DRVIF_REG = 0x200000;

// ---- Entity data. ----
void envmon_drvif_convert_pem_faults(uint32_t hw_events, uint32_t fault_events,
                                     uint32_t warn_events, uint64_t* alarms);
void envmon_drvif_pem_fault_handling(uint8_t tray, uint8_t pem, uint32_t fault_flags,
                                     uint32_t alarm_id);
void envmon_process_cbreaker_off_alm(pelm_eid* eid, uint32_t index, int32_t scope, bool off);
// The fault report's result (0: reported).
envmon_err_t envmon_process_drvif_invalid_sensor_read(pelm_eid* eid, int32_t scope, const char* text,
                                                      bool raise);
envmon_err_t envmon_process_drvif_pem_errors(pelm_eid* eid, bool raise, uint32_t kind);

// ---- Inventory registration. ----
void envmon_inv_invreg_rm_register_pem_entity(uint8_t tray, uint8_t pem);
void envmon_inv_invreg_rm_register_pem_entities(int32_t slot, uint8_t tray, uint8_t pem,
                                                inv_xml_handle_t xml);
void envmon_inv_invreg_rm_setup_powersupply_eid(int32_t slot, uint8_t tray, uint8_t pem,
                                                inv_xml_handle_t xml);
void envmon_reg_fpd_pem_eid(fpd_data* fpd, const char* name, int32_t slot);
void envmon_inv_invreg_reg_pmbus_ctrl_eids(uint32_t index, uint8_t controller, uint8_t idprom,
                                           uint8_t arm);
void envmon_upd_inv_pem_container_eid_nodeid(uint8_t tray, uint8_t pem);
void envmon_pem_update_input_for_entity_prefix(int32_t slot, struct platform_fru_entity* location);
const char* envmon_get_pem_sensor_string(uint32_t index);
uint32_t envmon_get_pem_sensor_subtype(uint32_t index);
bool envmon_pem_hide_eid(const char* name);

// ---- Inventory updates. ----
bool envmon_inv_invreg_report_pem_hw_event(uint8_t tray, uint8_t pem, uint8_t force);
void envmon_inv_invreg_pem_data_update(uint8_t tray, uint8_t pem, uint8_t force);
void envmon_inv_rereg_pem_fru_data(uint8_t tray, uint8_t pem);

}  // extern "C"
