// The monitoring service of the server: one service server per scope (slot 0
// node scope 3, slot 1 rack scope 1), the shared client table, the request
// handlers and the two power notifications.
#pragma once

#include <stdint.h>

#include "envmon_core.h"
#include "envmon_pwr_mgmt.h"
#include "envserve.h"

extern "C" {

// Slot 0 node scope, slot 1 rack scope; null when that server does not exist.
extern envmon_server_handle* envmon_svr_hdl[2];

// envmon_server_init is declared in envmon_core.h.
envmon_err_t envmon_server_uninit(uint32_t scope);
void envmon_server_notify_sys_pwr_data(const envmon_sys_pwr_data* data);
void envmon_server_notify_fru_pwr_alloc_data(const pelm_eid* eid, uint32_t power_allocated,
                                             uint32_t status, uint32_t fru_current);

// Handlers registered with the server library.
void envmon_connect_cb(envmon_client_handle* client, envmon_server_handle* server, int32_t status);
void envmon_disconnect_cb(envmon_client_handle* client, int32_t status);
void envmon_error_cb(envmon_client_handle* client, envmon_server_handle* server, int32_t code);
void envmon_rm_server_request_power_budget_cb(envmon_client_handle* client, void* payload,
                                              uint32_t request_id);
void envmon_nm_server_request_power_budget_cb(envmon_client_handle* client, void* payload,
                                              uint32_t request_id);
void envmon_rm_server_register_power_data_cb(envmon_client_handle* client, void* payload,
                                             uint32_t request_id);
void envmon_nm_server_register_power_data_cb(envmon_client_handle* client, void* payload,
                                             uint32_t request_id);
void envmon_server_request_altitude_value_cb(envmon_client_handle* client, void* payload,
                                             uint32_t request_id);
void envmon_server_sensor_value_set_cb(envmon_client_handle* client, void* payload,
                                       uint32_t request_id);
void envmon_server_sensor_fault_set_cb(envmon_client_handle* client, void* payload,
                                       uint32_t request_id);
void envmon_server_oper_state_set_cb(envmon_client_handle* client, void* payload);
void envmon_server_run_test_cb(envmon_client_handle* client, void* payload, uint32_t request_id);
void envmon_server_set_dbg_flag_cb(envmon_client_handle* client, void* payload,
                                   uint32_t request_id);
void envmon_server_dump_debug_cb(envmon_client_handle* client, void* payload,
                                 uint32_t request_id);
void envmon_server_temp_monitoring_cb(envmon_client_handle* client, void* payload,
                                      uint32_t request_id);
void envmon_server_fan_timer_disable_cb(envmon_client_handle* client, void* payload);

}  // extern "C"
