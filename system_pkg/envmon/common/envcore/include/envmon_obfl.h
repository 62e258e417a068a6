// On-board failure-log client of the server (one per scope).
#pragma once

#include <stdint.h>

#include "inv_util.h"

#include "envmon_errors.h"
#include "envmon_sensor.h"

struct evloop;
struct obfl_mgr_handle;           // a client handle of the OBFL manager
struct obfl_svc_regn_resp;
struct obfl_log_sensor_resp;
struct obfl_log_bulk_sensor_resp;
struct obfl_write_thr_resp;
struct obfl_log_str_resp;
struct ds_service_info;

extern "C" {

// Record kinds of sensor records.
enum : uint32_t {
  ENVMON_OBFL_KIND_TEMP = 1,
  ENVMON_OBFL_KIND_VOLT = 2,
  ENVMON_OBFL_KIND_CURR = 3,
};
// OBFL service types.
enum : uint32_t {
  ENVMON_OBFL_SVC_SENSOR = 3,
  ENVMON_OBFL_SVC_FPD = 8,
};

// One handle per scope: [0] rack, [1] node.
extern struct obfl_mgr_handle* envmon_obfl_handle[2];
// Message sequence number shared by every request of the process (starts at 1).
extern uint32_t envmon_obfl_msn;

envmon_err_t envmon_obfl_rm_init(struct evloop* loop);
envmon_err_t envmon_obfl_nm_init(struct evloop* loop);
// Text of an OBFL manager error code, ending with one blank.
const char* envmon_obfl_err_to_str(uint64_t code);
// Client id of an entity for a service type (0 = none), and its setter.
uint32_t envmon_obfl_get_client_id(uint32_t scope, uint32_t slot, uint32_t svc_type);
void envmon_obfl_set_client_id(uint32_t scope, uint32_t slot, uint32_t svc_type, uint32_t id);

// Sensor records.
int32_t envmon_obfl_scale_value(const envmon_sensor_info* sensor, uint32_t kind);
void envmon_obfl_log_sensor_info(envmon_sensor_info* sensor, uint32_t scope, uint32_t kind,
                                 uint32_t sensor_id, bool resend, bool first_confirmed);
void envmon_obfl_log_bulk_sensor_info(envmon_sensor_info* sensors, uint16_t count, uint32_t kind,
                                      uint32_t slot, uint32_t scope, bool resend);
// Books the confirmation of a record of `kind` with message number `msn`.
void envmon_obfl_sensor_type_done(uint32_t slot, uint32_t scope, uint32_t kind, uint32_t msn);
// Text record of a fan tray's FPD (inventory-form id, rack scope 1).
void envmon_obfl_log_fpd_info(const inv_eid* eid, const char* text, uint32_t scope);

// Callbacks set on the handles.
void envmon_obfl_rm_connect_cb(struct obfl_mgr_handle* handle, uint32_t status);
void envmon_obfl_nm_connect_cb(struct obfl_mgr_handle* handle, uint32_t status);
void envmon_obfl_rm_disconnect_cb(struct obfl_mgr_handle* handle, uint32_t status);
void envmon_obfl_nm_disconnect_cb(struct obfl_mgr_handle* handle, uint32_t status);
void envmon_obfl_rm_error_cb(struct obfl_mgr_handle* handle, int32_t code);
void envmon_obfl_nm_error_cb(struct obfl_mgr_handle* handle, int32_t code);
void envmon_obfl_rm_svc_regn_done_cb(struct obfl_mgr_handle* handle,
                                     const struct obfl_svc_regn_resp* resp, uint32_t status,
                                     uint32_t user_ctx);
void envmon_obfl_nm_svc_regn_done_cb(struct obfl_mgr_handle* handle,
                                     const struct obfl_svc_regn_resp* resp, uint32_t status,
                                     uint32_t user_ctx);
void envmon_obfl_rm_svc_unregn_done_cb(struct obfl_mgr_handle* handle,
                                       const struct obfl_svc_regn_resp* resp, uint32_t status,
                                       uint32_t user_ctx);
void envmon_obfl_nm_svc_unregn_done_cb(struct obfl_mgr_handle* handle,
                                       const struct obfl_svc_regn_resp* resp, uint32_t status,
                                       uint32_t user_ctx);
void envmon_obfl_ds_ep_filter(struct obfl_mgr_handle* handle,
                              const struct ds_service_info* endpoints, uint32_t count,
                              uint32_t filter_scope);
void envmon_obfl_rm_log_str_done_cb(struct obfl_mgr_handle* handle,
                                    const struct obfl_log_str_resp* resp, uint32_t status,
                                    uint32_t user_ctx);

void envmon_obfl_svc_registration(uint32_t scope, uint32_t slot, uint32_t retry);
void envmon_obfl_nm_write_thr_all(void);
void envmon_obfl_nm_log_all(uint32_t retry);
void envmon_obfl_rm_write_thr_all(uint32_t slot);
void envmon_obfl_rm_log_all(uint32_t slot, uint32_t retry);
// Marks a sensor for the next failure-log write: kind 1 temperature (on a
// change of 2 or more), 2 voltage (always), 3 current.
void envmon_obfl_set_state(envmon_sensor_info* sensor, int32_t kind);
void envmon_obfl_write_env_temp_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag);
void envmon_obfl_write_env_volt_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag);
void envmon_obfl_write_env_curr_thresholds(envmon_sensor_info* sensors, uint16_t count,
                                           uint32_t slot, uint32_t scope, uint32_t flag);

}  // extern "C"
