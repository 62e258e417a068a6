// The power-entry-module tables kept by the PEM library (pemcore) and read
// and written by name by the core, the hardware abstractions, inventory
// registration and power management; and the PEM operations they call.
#pragma once

#include <stdint.h>

#include "envmon_errors.h"
#include "envmon_fm.h"
#include "envmon_records.h"
#include "envmon_sensor.h"
#include "inv_util.h"
#include "tlg.h"

struct evloop;
struct envmon_sys_pwr_data;
struct envmon_notif_sys_pwr_data;
struct alarmd_handle;
struct alarmd_fault;
struct fpd_drv_upgrade_req;
struct drvif_eid_data_rec;      // one entry of a driver's entity-data notification
struct drvif_sensor_data_rec;   // one entry of a driver's sensor-data notification
struct invreg_ack;              // an inventory-registration acknowledgement
struct inv_notify_event_data;   // an inventory-service notification
struct platform_prefix_names;   // an entity's name prefix record (entprefix)

extern "C" {

// PEM status bits.
enum : uint32_t {
  ENVMON_PEM_NOT_PRESENT = 0x1,
  ENVMON_PEM_OK = 0x2,
  ENVMON_PEM_FPD_UPG_REQ = 0x4,
  ENVMON_PEM_IN_FPD_UPG = 0x8,
  ENVMON_PEM_FAILED = 0x10,
  ENVMON_PEM_PRESENT_BEFORE_CCC_RESTART = 0x20,
};

// A power module's readings as the power driver sends them (32 bytes).
typedef struct pem_raw_data_t {
  uint32_t pem_type;             // 0 = none yet
  uint32_t input_voltage_a;      // mV, 0xffffff no reading
  uint32_t input_voltage_b;
  uint32_t input_voltage_c;
  uint32_t hours_used;
  uint32_t pad;
  uint64_t hw_alarms;            // bit n for alarm id n (1-37)
} pem_raw_data_t;
static_assert(sizeof(pem_raw_data_t) == 32, "PEM raw data is 32 bytes");

// One power module position.
typedef struct pem_record {
  pelm_eid eid;
  pelm_eid cont_eid;
  pelm_eid ps_eid;
  int32_t hw_position;
  uint32_t instance;
  uint32_t capacity;             // W
  uint32_t pre_capacity;         // W
  pem_raw_data_t pem_raw_data;
  uint32_t status;               // ENVMON_PEM_* bits
  uint64_t alarms;
  uint8_t container_regi_done;
  uint32_t container_reg_state;
  pelm_eid idprom_eid;
  uint8_t* idprom_data;
  uint32_t idprom_len;
  uint32_t fru_hw_ver_maj;
  uint32_t fru_hw_ver_min;
  uint32_t fru_reg_state;
  uint8_t idprom_fault_raised;
  char serial_num[12];
  char pid[19];
  char prefix_str[64];
  uint32_t hw_ver_maj;
  uint32_t hw_ver_min;
  envmon_sensor_list voltage_data;   // 29
  envmon_sensor_list current_data;   // 7
  envmon_sensor_list power_data;     // 23
  envmon_sensor_list temp_data;      // 25
  envmon_sensor_list fan_data;       // 8
  envmon_sensor_list led_data;       // 13
  fpd_data* fpds;
  uint16_t num_fpds;
  uint8_t cont_nodeid_upd_pending;
  uint32_t misc_state;
  uint32_t errors;
  int32_t envmon_pem_init_timer_fd;  // -1 none
  uint32_t current;
  uint32_t state_reported_to_inv;
  uint32_t hour_used_reported_to_inv;
  uint32_t fault_status_reported_to_inv;
  uint8_t st_capi_flow_ctrl;
  uint8_t data_capi_flow_ctrl;
  uint8_t fru_prefix_capi_flow_ctrl;
  uint32_t hw_events;
  uint32_t hw_event_reported_to_inv;
  uint32_t vendor_id;
  uint32_t admin_state_reported_to_inv;
  // Kept by the hardware abstraction and shown in its dumps.
  uint32_t card_type;
  char name[64];
} pem_record;

// One power tray (physical, or a virtual group of PEMs).
typedef struct pd_power_tray_info_t {
  uint32_t tray_capacity;        // W
  uint8_t num_pems;
  pem_record* pems;
} pd_power_tray_info_t;

// Chassis-wide PEM figures.
typedef struct pd_power_supplies_data_t {
  uint32_t power_for_pem_redundancy;  // W
  uint8_t all_pem_info_rcvd;
  uint32_t redundancy_num_pems;
  uint8_t pem_drvif_reg_done;
} pd_power_supplies_data_t;

// A PMBus power controller (PCM0, PCM1).
typedef struct pctrl_data_t {
  pelm_eid eid;
  uint32_t hw_type;
  char serial_num[12];
  pelm_eid idprom_eid;           // "PCM0-IDPROM" / "PCM1-IDPROM"
  uint8_t* idprom;
  uint32_t idprom_len;
  uint8_t idprom_fault_raised;
  uint32_t reg_state;            // controller entity id
  uint32_t idprom_reg_state;     // bit 4: EEPROM report outstanding
  uint32_t state;                // bit0 data received, bit1 undetected fault raised
  uint8_t mixed_pwr_trays_alarm;
} pctrl_data_t;

// Exported by pemcore.
extern pd_power_tray_info_t* pd_power_tray_info;       // one per tray
extern pd_power_supplies_data_t pd_power_supplies_data;
extern pctrl_data_t pctrl_data[2];
extern inv_eid pem_cont_inv_eid;

// Operations the core calls.
envmon_err_t envmon_pem_init_pd_data(void);
void envmon_check_single_pem_alm(uint32_t tray, uint32_t pem, uint8_t* failed);

// Operations the hardware abstraction forwards to.
int envmon_is_pem_slot(int32_t slot, uint32_t* tray, uint32_t* pem);
uint32_t* envmon_get_pem_misc_state(int32_t slot);
envmon_err_t envmon_pem_get_sensor_list(int32_t slot, uint32_t subtype, envmon_sensor_info** list,
                                        uint16_t* count);
void envmon_pem_customize_sensor_info(envmon_sensor_info* sensor, int32_t slot, uint32_t type,
                                      uint32_t subtype);
void envmon_pem_send_rack_num_to_driver(uint32_t rack);
uint32_t envmon_pem_drvif_get_driver_by_slot(int32_t slot);
void envmon_pem_fsa_rm_cleanup_inv_retry_request(void);
void envmon_pem_fsa_rm_cleanup_drvif_retry_request(uint32_t driver);
int32_t envmon_pem_fsa_rm_pd_error_count(void);
envmon_err_t envmon_pem_tlg_init(struct evloop* loop, tlg_handle_t main, tlg_handle_t err,
                                 tlg_handle_t info, tlg_handle_t dbg, tlg_handle_t pwrm,
                                 tlg_handle_t fanm, tlg_handle_t fault, tlg_handle_t smil,
                                 tlg_handle_t obfl);
void envmon_pem_capi_notify_sys_pwr_data(const struct envmon_sys_pwr_data* data,
                                         struct envmon_notif_sys_pwr_data* payload);
void envmon_pem_inv_invreg_report_hw_event(int32_t slot);
void envmon_pem_fm_rm_set_repeatable(struct alarmd_handle* handle);
int envmon_pem_fm_rm_action_handler(struct alarmd_handle* handle, struct alarmd_fault* fault,
                                    uint32_t action, void* data, uint32_t data_len, void* ctx);
int32_t envmon_pem_fm_configure_location_string(int32_t slot, char* location, pelm_eid** eid1,
                                                pelm_eid** eid2);
envmon_err_t envmon_pem_fm_process_card_shut_on_low_budget(uint8_t card_index, uint8_t mode);
void envmon_pem_fm_configure_hw_undetected_failure(pelm_eid* eid, envmon_fm_fault_req* req,
                                                   char* text);
envmon_err_t envmon_pem_fpd_image_set(struct fpd_drv_upgrade_req* req, fpd_data** fpd,
                                      uint32_t* driver, uint8_t* proceed);
uint32_t envmon_pem_fpd_get_upgrade_timeout(const fpd_data* fpd);
void envmon_pem_fpd_init_slot(uint32_t slot);
int32_t envmon_pem_fpd_init(fpd_data* fpd, uint32_t slot, uint32_t* node_slot, void* reg);
int32_t envmon_pem_pwr_mgmt_init(void);
void envmon_pem_lcc_pwr_mgmt_pbudget_data_init(void);
void envmon_pem_pwr_mgmt_fru_power_allocated_update_all(void);
bool envmon_pem_check_n_update_system_pwr_data(struct envmon_sys_pwr_data* data, uint8_t force);
bool envmon_pem_is_pwr_mgmt_ready(void);
void envmon_pem_pwr_mgmt_handle_role_change(void);
envmon_err_t envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms(void);
void envmon_pem_pwr_mgmt_volt_value_change_event(int32_t value, envmon_sensor_info* sensor,
                                                 uint32_t slot);
void envmon_pem_pwr_mgmt_update_fru_curr_data(int32_t value, envmon_sensor_info* sensor,
                                              uint32_t slot);
void envmon_pem_pwr_mgmt_set_redundancy_num_pems(uint8_t count);
void envmon_pem_pwr_mgmt_dump_data(void);

// Driver notifications and connection, forwarded by the hardware abstraction
// with the arguments it receives.
void envmon_pem_drvif_connect(uint32_t driver);
void envmon_pem_drvif_disconnect(uint32_t driver);
// Registers the power modules with the power driver (once per connection).
void envmon_drvif_pwr_regi_pem(void);
void envmon_pem_drvif_verify_uncompleted_fpd_upgrade(void);
void envmon_pem_drvif_eid_data_notification(
    uint8_t subtype, const struct drvif_eid_data_rec* entry, const pelm_eid* entry_eid,
    pelm_eid* eid, pelm_tsi* tsi, uint32_t tsi_count, uint32_t slot, uint32_t board_id,
    const char* serial, uint32_t hw_events, uint32_t fault_events, const char* fault_text,
    uint32_t warn_events, const char* warn_text, uint32_t hours_used, const uint8_t* idprom,
    uint32_t idprom_len, uint32_t hw_major, uint32_t hw_minor, uint32_t scope);
void envmon_pem_drvif_eid_data_notification_complete(uint8_t subtype);
void envmon_pem_drvif_sensor_data_notification(
    uint8_t subtype, const struct drvif_sensor_data_rec* entry, pelm_eid* eid, const char* eid_str,
    pelm_tsi* tsi, uint32_t tsi_count, uint32_t slot, uint32_t scope, int32_t value,
    uint32_t hw_event, uint32_t fault_event, uint32_t warning_event, uint32_t figure1,
    uint32_t figure2, uint32_t figure3, uint64_t figure4, uint64_t timestamp);
// The batch kind is not read.
void envmon_pem_drvif_sensor_data_notification_complete(uint8_t kind = 0);
// The PEM's FPD record with that entity id, or null.
fpd_data* envmon_pem_get_fpd_data(uint32_t slot, const inv_eid* eid);
void envmon_pem_drvif_fpd_data_state_notification(uint32_t slot, fpd_data* fpd,
                                                  uint32_t from_driver, uint32_t prev_state);
void envmon_pem_drvif_fpd_data_fault_notification(uint32_t slot, const pelm_eid* eid,
                                                  fpd_data* fpd);

// Inventory: registrations the hardware abstraction hands over, its
// acknowledgements and connection events.
void envmon_pem_inv_invreg_rm_register_powertray_entities(uint32_t tray);
void envmon_pem_inv_invreg_rm_register_powertray_entities_fru(uint32_t tray, uint32_t pem,
                                                              uint32_t hw_type, const char* serial,
                                                              uint32_t serial_len, uint32_t hw_major,
                                                              uint32_t hw_minor);
void envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru(uint32_t tray, uint32_t pem,
                                                                uint32_t hw_type);
void envmon_pem_inv_invreg_update_powertray_entities_prefix(uint32_t tray);
// 0 with the inventory hardware type (8 power tray, 9 power module), or
// ENVMON_ERR_INVALID_ARG for a type that is neither.
envmon_err_t envmon_pem_convert_pd_type_2_inv_pi_type(uint32_t hw_type, uint32_t* inv_type);
uint32_t envmon_pem_get_powertray_inv_hw_type(void);
uint32_t envmon_pem_get_powertray_container_eid_subtype(void);
void envmon_pem_inv_invreg_reg_fpd_eid(const pelm_eid* eid, uint32_t slot, const char* name);
void envmon_pem_update_prefix_str(int32_t slot, const struct platform_prefix_names* prefix);
void envmon_pem_inv_invreg_rm_connect(void);
void envmon_pem_inv_invreg_rm_disconnect(void);
void envmon_pem_inv_invreg_response_register_eid(uint32_t ack, const pelm_eid* eid);
void envmon_pem_inv_invreg_response_report_eeprom_data(const struct invreg_ack* msg,
                                                       uint32_t slot);
void envmon_pem_inv_invreg_rm_response_register_fru_type(const struct invreg_ack* msg,
                                                         uint32_t slot);
void envmon_pem_inv_invreg_rm_response_unregister_fru_type(const struct invreg_ack* msg,
                                                           uint32_t slot);
void envmon_pem_inv_invreg_rm_response_register_container_eid(const struct invreg_ack* msg,
                                                              uint32_t slot);
void envmon_invreg_flow_resume_chk_n_resend_pem_data(void);
void envmon_pem_inv_capi_notify_event(const struct inv_notify_event_data* event);
// 1 when some tray has PEMs and every such tray has all its containers
// acknowledged by inventory.
int envmon_all_pem_container_regi_done(void);

// Power-management entries (tray events, upgrades, card shutdowns).
void envmon_pem_pwr_mgmt_powertray_oir(uint8_t tray, uint8_t inserted);
envmon_err_t envmon_pem_fm_process_card_shut_progressive_mode(uint8_t card_index, int32_t mode,
                                                              int32_t power_draw);
void envmon_pem_fcc_pwr_mgmt_pbudget_data_init(void);
// The same effect as the hardware abstraction's function of this name: the
// IDPROM access fault tag.
envmon_fm_fault_req* envmon_hal_fm_configure_idprom_access_failure(envmon_fm_fault_req* req);

// Canned scenarios for engineers.
void envmon_pem_run_test_case(uint32_t test_id);
void envmon_mirno_pem_run_test_case(uint32_t test_id);

}  // extern "C"
