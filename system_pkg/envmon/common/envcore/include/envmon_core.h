// The server core's exports: the data symbols of the process, the start-up
// functions the host calls, and the functions and records the other libraries
// of the process (hardware abstraction, PEM library) bind by name.
#pragma once

#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include "envmon_errors.h"
#include "envmon_records.h"
#include "envmon_sensor.h"
#include "inv_parser.h"
#include "inv_util.h"
#include "tlg.h"

struct evloop;

extern "C" {

// ---- Defined by the host process (its main lies outside the system). ----
extern struct evloop* envmon_evloop;   // the one event loop; read at every use
extern FILE* env_fd;                   // debug log, may be null
extern pthread_mutex_t atomic_mutex;   // guards every statistics increment
extern uint64_t __proc_total_respawn;  // respawns by the process manager

// ---- Defined by the core (all zero at load). ----
extern FILE* env_dump_fd;  // while set, mirrored lines go here (no timestamp)

// The core's ten trace buffers.
extern tlg_handle_t main_tlg_cmn_hdl;
extern tlg_handle_t err_tlg_cmn_hdl;
extern tlg_handle_t info_tlg_cmn_hdl;
extern tlg_handle_t dbg_tlg_cmn_hdl;
extern tlg_handle_t pwrm_tlg_cmn_hdl;
extern tlg_handle_t fanm_tlg_cmn_hdl;
extern tlg_handle_t fault_tlg_cmn_hdl;
extern tlg_handle_t smil_tlg_cmn_hdl;
extern tlg_handle_t obfl_tlg_cmn_hdl;
extern tlg_handle_t pmlib_tlg_cmn_hdl;
// Process-level parents, left null by the core.
extern tlg_handle_t main_tlg_hdl;
extern tlg_handle_t err_tlg_hdl;
extern tlg_handle_t info_tlg_hdl;
extern tlg_handle_t dbg_tlg_hdl;
extern tlg_handle_t pwrm_tlg_hdl;
extern tlg_handle_t fanm_tlg_hdl;
extern tlg_handle_t fault_tlg_hdl;
extern tlg_handle_t smil_tlg_hdl;
extern tlg_handle_t obfl_tlg_hdl;
extern tlg_handle_t pmlib_tlg_hdl;

// The two records; null until the start-up functions have run.
extern envmon_rm_t* envmon_rm;
extern envmon_nm_t* envmon_nm;
// Entries of envmon_nm->clients in use.
extern uint32_t client_count;
// Default of env_cfg.air_filter_reset_time.
extern const envmon_date ENVMON_AIR_FILTER_RESET_TIME_DEFAULT;

// ---- Start-up, in the host's order. ----
envmon_err_t envmon_tlg_init(struct evloop* loop, tlg_handle_t main, tlg_handle_t err,
                             tlg_handle_t info, tlg_handle_t dbg, tlg_handle_t pwrm,
                             tlg_handle_t fanm, tlg_handle_t fault, tlg_handle_t smil,
                             tlg_handle_t obfl, tlg_handle_t pmlib);
envmon_err_t envmon_init_rack_scope_data(void);
envmon_err_t envmon_init_node_scope_data(void);
envmon_err_t envmon_common_init(struct evloop* loop);
envmon_err_t envmon_ceb_fsa_init_n_start(void);
// Called later from callbacks.
envmon_err_t envmon_init_rack_entity_data(void);
envmon_err_t envmon_active_init(void);

// ---- Small routines every module uses. ----
uint32_t envmon_component_id(void);
void envmon_log_timestamp(void);
bool envmon_is_whitebox_cluster(void);
// Writes one line to the debug log by the mirroring rule: to env_dump_fd when
// set, else with a ctime prefix to env_fd when set, else nowhere; flushed.
void envmon_debug_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ---- Sensor records and thresholds. ----
envmon_err_t envmon_util_xml_parse_n_store_info(uint32_t slot, inv_xml_handle_t xml,
                                                uint32_t type, uint32_t subtype,
                                                uint16_t* count, envmon_sensor_info** list);
envmon_err_t envmon_util_get_sensor_info(const pelm_eid* eid, envmon_sensor_info** out,
                                         uint32_t scope);
envmon_err_t envmon_util_find_sensor_info(const pelm_eid* eid, uint16_t count,
                                          envmon_sensor_info* array, envmon_sensor_info** out);
uint32_t envmon_threshold_level_check(const envmon_threshold_set* thresholds, int32_t value,
                                      uint32_t subtype);
// A threshold message's fields lie in the order minor low, minor high, major
// low, major high, critical low, critical high.
typedef struct envmon_threshold_msg {
  int32_t minor_low;
  int32_t minor_high;
  int32_t major_low;
  int32_t major_high;
  int32_t critical_low;
  int32_t critical_high;
} envmon_threshold_msg;
void envmon_get_new_thresholds_from_threshold_data(const envmon_threshold_msg* msg,
                                                   uint32_t level, uint32_t delta,
                                                   envmon_threshold_set* out);
void envmon_get_new_thresholds_from_alm_data(const envmon_threshold_set* set, uint32_t level,
                                             uint32_t delta, envmon_threshold_set* out);
int envmon_sensor_print(inv_xml_handle_t xml, uint16_t count, const envmon_sensor_info* array);

// ---- Entity ids. ----
void envmon_dump_pelm_eid_to_string(const pelm_eid* eid, char* buf);  // 256-byte buf
void envmon_dump_inv_eid_to_string(const inv_eid* eid, char* buf);    // 256-byte buf
int inv_set_inv_tsi_subtype(const pelm_tsi* level, uint8_t* pair);
void envmon_setup_fru_eid(uint32_t slot, pelm_eid* eid);
void envmon_setup_pwr_tray_eid(uint32_t slot, pelm_eid* eid);
int envmon_inv_eid_same(const inv_eid* a, const inv_eid* b);
void envmon_free_tsi(pelm_eid* eid);
envmon_err_t envmon_util_build_fq_eid(const inv_eid* cont, const inv_eid* rel,
                                      const pelm_eid* pq, pelm_eid* out);

// ---- Slot classes: true and the index, else false and the index untouched. ----
bool envmon_is_fantray_slot(uint32_t slot, uint32_t* index);
bool envmon_is_fc_slot(uint32_t slot, uint32_t* index);
bool envmon_is_lc_slot(uint32_t slot, uint32_t* index);
bool envmon_is_sw_slot(uint32_t slot, uint32_t* index);
bool envmon_is_powertray_slot(uint32_t slot, uint32_t* index);
bool envmon_is_rp_slot(uint32_t slot, uint32_t* index);
bool envmon_is_fc_w_cpu_slot(uint32_t slot, uint32_t* index);
bool envmon_is_xc_slot(uint32_t slot, uint32_t* index);
bool envmon_is_mpa_slot(uint32_t slot, uint32_t* index);

// ---- Other lookups. ----
uint32_t* envmon_rm_get_misc_state(uint32_t slot);
uint32_t envmon_util_get_card_info(const pelm_eid* eid);
int get_mpa_nodeid_location(uint32_t slot, char* location, uint32_t location_len);
const char* envmon_get_card_name(uint32_t card_type);
void envmon_get_chassis_type(uint8_t pi_rack_type, uint32_t* pi_type, uint32_t* chassis_class);
bool envmon_is_extended_mode_supported(void);

// ---- Hardware events. ----
void envmon_set_hw_event_ctx(envmon_hw_ctx* ctx, uint32_t hw_event, uint32_t status);
void envmon_report_drvif_hw_event_to_inv(uint32_t hw_event, uint32_t slot);

// ---- Time. ----
time_t duration_to_secs(const envmon_date* date);
void envmon_get_timestamp_str(time_t t, char* buf, size_t size);

// ---- Board power. ----
void envmon_get_nm_board_pwr_idx(envmon_board_pwr_idx* idx);
void envmon_calculate_board_power_value(const envmon_board_pwr_idx* idx, uint16_t power_index,
                                        uint8_t* state_changed, uint8_t* value_changed,
                                        uint32_t scope, uint32_t slot);

// ---- Debug dumps. ----
void envmon_dump_sensor_data(const envmon_sensor_info* sensor);
void envmon_dump_fpd_data(const fpd_data* fpd);
void envmon_dump_pwr_mgmt_data(void);
void envmon_dump_rm_data(void);
void envmon_dump_nm_data(void);

// ---- Card-event state machine, roles, service, configuration (the core's
// control flow; other libraries post into it and call these by name). ----
enum : uint32_t {
  ENVMON_CEB_EV_START = 1,
  ENVMON_CEB_EV_CONNECT = 2,
  ENVMON_CEB_EV_MAJOR_ERR = 3,
  ENVMON_CEB_EV_INVALID_CARD = 4,
  ENVMON_CEB_EV_TIMEOUT = 5,
  ENVMON_CEB_EV_CARD_RP = 6,
  ENVMON_CEB_EV_CARD_LC = 7,
  ENVMON_CEB_EV_INVALID_CHASSIS = 8,
  ENVMON_CEB_EV_REG_REQ = 9,
  ENVMON_CEB_EV_REG_OK = 10,
  ENVMON_CEB_EV_REG_ERR = 11,
};
envmon_err_t envmon_ceb_fsa_sched_event(uint32_t event);
envmon_err_t envmon_server_init(struct evloop* loop, uint32_t scope);
envmon_err_t envmon_capi_cm_init(struct evloop* loop);
envmon_err_t envmon_mgbl_init(struct evloop* loop);
envmon_err_t envmon_capi_pm_init(struct evloop* loop);
envmon_err_t envmon_capi_platform_handle_init(struct evloop* loop);

// Roles from the process manager.
enum : uint32_t {
  ENVMON_ROLE_ACTIVE = 1,
  ENVMON_ROLE_STANDBY = 2,
  ENVMON_ROLE_NONE = 3,
};

}  // extern "C"
