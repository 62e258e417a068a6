// envclient: the client side of the monitoring service "envmon".
//
// A client creates one handle on its event loop, installs its callbacks, and
// connects through the directory service (envmon_connect; the endpoint filter
// picks a server) or to a known endpoint (envmon_connect_with_endpoint). Once
// the INIT handshake has completed (connect callback with 0) it sends
// requests; answers arrive at the response callback of their kind with the
// request's cookie. A lost connection is re-established by the library.
//
// Results: 0 success, -1 failure, -3 flow-controlled (send again after the
// flow-resume callback), -4 no memory, -6 the transport cannot join the loop.
// Callback codes: see envmon_set_error_callback and the connect callback.
//
// Everything runs on the handle's event loop; the request functions may also
// be called from another thread. A payload record given to a callback belongs
// to the library and lives during the call unless the callback sets its keep
// byte (it then releases the contents with the type's _free_ext and free).
#pragma once

#include <stdint.h>

#include "envmon_msgs.h"
#include "evloop.h"
#include "msgcodec.h"
#include "msgpipe.h"
#include "pelmarok_ds.h"
#include "tlg.h"

#ifndef ENVMON_DEFAULT
#ifdef __cplusplus
#define ENVMON_DEFAULT(v) = v
#else
#define ENVMON_DEFAULT(v)
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct envmon_handle envmon_handle;

// status 0: handshake completed; negative: a connection attempt failed or
// ended before the handshake (the transport's error, -1, -4, -7, -18).
typedef void (*envmon_connect_callback)(envmon_handle* handle, int32_t status, void* ctx);
// A completed connection ended: reason 0 orderly, -1 transport failure.
typedef void (*envmon_disconnect_callback)(envmon_handle* handle, int32_t reason, void* ctx);
// -4 no receive buffer, -7 undecodable header, -8 undecodable payload, -9 send
// failed, -10 receive failed, -13 directory-service registration failed.
typedef void (*envmon_error_callback)(envmon_handle* handle, int32_t code);
typedef void (*envmon_flow_resume_callback)(envmon_handle* handle);
// Chooses a server among the published entries; reaches it with
// envmon_connect_with_endpoint.
typedef void (*envmon_ds_endpoint_filter_callback)(envmon_handle* handle,
                                                   const ds_service_info* entries,
                                                   uint32_t count);
// A response: payload is the decoded record of the response's type, or null
// when the status is negative. final: 1 for the last answer of the request.
typedef void (*envmon_resp_callback)(envmon_handle* handle, void* payload, uint8_t final,
                                     int32_t status, void* cookie);
// A notification: the decoded record, or null when the status is negative.
typedef void (*envmon_notif_callback)(envmon_handle* handle, void* payload);

// Handle, options and connection.
int32_t envmon_handle_create(envmon_handle** out, evloop_t* loop, void* user_context);
int32_t envmon_handle_destroy(envmon_handle* handle);
int32_t envmon_connect(envmon_handle* handle, void* ctx);
int32_t envmon_connect_with_endpoint(envmon_handle* handle, const msgpipe_endpoint* endpoint,
                                     void* ctx);
int32_t envmon_disconnect(envmon_handle* handle, void* ctx);
// The default endpoint filter (installed at creation).
void envmon_default_ds_endpoint_filter(envmon_handle* handle, const ds_service_info* entries,
                                       uint32_t count);

void envmon_set_connect_callback(envmon_handle* handle, envmon_connect_callback cb);
void envmon_set_disconnect_callback(envmon_handle* handle, envmon_disconnect_callback cb);
void envmon_set_error_callback(envmon_handle* handle, envmon_error_callback cb);
void envmon_set_flow_resume_callback(envmon_handle* handle, envmon_flow_resume_callback cb);
// A null filter restores the default one.
void envmon_set_ds_endpoint_filter_callback(envmon_handle* handle,
                                            envmon_ds_endpoint_filter_callback cb);

void envmon_set_power_budget_callback(envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_sensor_value_set_callback(envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_sensor_fault_set_callback(envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_test_callback(envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_dbg_flag_callback(envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_register_power_data_callback(envmon_handle* handle,
                                                  envmon_resp_callback cb);
void envmon_set_resp_dump_debug_callback(envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_temp_monitoring_callback(envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_altitude_value_callback(envmon_handle* handle, envmon_resp_callback cb);
// Second names of the same nine slots.
void envmon_set_power_budget_callback_for_request_power_budget(envmon_handle* handle,
                                                               envmon_resp_callback cb);
void envmon_set_resp_sensor_value_set_callback_for_sensor_value_set(envmon_handle* handle,
                                                                    envmon_resp_callback cb);
void envmon_set_resp_sensor_fault_set_callback_for_sensor_fault_set(envmon_handle* handle,
                                                                    envmon_resp_callback cb);
void envmon_set_resp_test_callback_for_run_test(envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_dbg_flag_callback_for_set_dbg_flag(envmon_handle* handle,
                                                        envmon_resp_callback cb);
void envmon_set_resp_register_power_data_callback_for_register_power_data(
    envmon_handle* handle, envmon_resp_callback cb);
void envmon_set_resp_dump_debug_callback_for_dump_debug(envmon_handle* handle,
                                                        envmon_resp_callback cb);
void envmon_set_resp_temp_monitoring_callback_for_hw_temp_monitoring(envmon_handle* handle,
                                                                     envmon_resp_callback cb);
void envmon_set_resp_altitude_value_callback_for_request_altitude_value(envmon_handle* handle,
                                                                        envmon_resp_callback cb);
void envmon_set_notif_sys_pwr_data_callback(envmon_handle* handle, envmon_notif_callback cb);
void envmon_set_notif_fru_pwr_alloc_data_callback(envmon_handle* handle,
                                                  envmon_notif_callback cb);

// Options: 1 and 2 transport options (texts), 3 directory-service client
// name, 4 the expected server name (sent in INIT and checked in the
// server's). Any other option: -1.
int32_t envmon_set_option(envmon_handle* handle, uint32_t option, const char* value);
int32_t envmon_set_tcp_user_timeout(envmon_handle* handle, uint8_t seconds);
int32_t envmon_set_service_instance(envmon_handle* handle, const char* instance);
void envmon_set_ds_endpoint_factory(envmon_handle* handle, pelmarok_ds_endpoint_factory_t factory,
                                    void* factory_ctx);
void envmon_set_user_context(envmon_handle* handle, void* ctx);
void* envmon_get_user_context(envmon_handle* handle);
int32_t envmon_set_tlg_parent_handle(envmon_handle* handle, tlg_handle_t parent);
int32_t envmon_set_tlg_info_parent_handle(envmon_handle* handle, tlg_handle_t parent);
tlg_handle_t envmon_get_tlg_handle(envmon_handle* handle);
tlg_handle_t envmon_get_tlg_info_handle(envmon_handle* handle);
msgpipe_handle_t* envmon_get_transport(envmon_handle* handle);
unsigned long envmon_get_pid(envmon_handle* handle);
uint32_t envmon_get_remote_ip(envmon_handle* handle);
const char* envmon_get_server_argv0(envmon_handle* handle);
const char* envmon_get_server_version(envmon_handle* handle);
const char* envmon_get_client_version(envmon_handle* handle);
int32_t envmon_get_error_code(envmon_handle* handle);

// Requests that expect an answer: 0 sent, -1 failed, -3 flow-controlled. The
// payload is read during the call; the cookie comes back with the answer.
int32_t envmon_request_power_budget(envmon_handle* handle, const request_power_budget* payload,
                                    void* cookie);
int32_t envmon_sensor_value_set(envmon_handle* handle, const sensor_value* payload,
                                void* cookie);
int32_t envmon_sensor_fault_set(envmon_handle* handle, const sensor_fault* payload,
                                void* cookie);
int32_t envmon_run_test(envmon_handle* handle, const run_test* payload, void* cookie);
int32_t envmon_set_dbg_flag(envmon_handle* handle, const set_dbg_flag* payload, void* cookie);
int32_t envmon_register_power_data(envmon_handle* handle, const register_power_data* payload,
                                   void* cookie);
int32_t envmon_dump_debug(envmon_handle* handle, const dump_debug* payload, void* cookie);
int32_t envmon_hw_temp_monitoring(envmon_handle* handle, const temp_monitoring* payload,
                                  void* cookie);
int32_t envmon_request_altitude_value(envmon_handle* handle,
                                      const request_altitude_value* payload, void* cookie);
// One-way requests: no answer; a cookie is accepted and not used.
int32_t envmon_oper_state_set(envmon_handle* handle, const oper_state* payload,
                              void* cookie ENVMON_DEFAULT(0));
int32_t envmon_fan_timer_disable(envmon_handle* handle, const timer_disable* payload,
                                 void* cookie ENVMON_DEFAULT(0));

// The transport's event handler (attached by envmon_handle_create).
void envmon_msgpipe_event_handler(msgpipe_handle_t* transport, uint32_t event, int failed,
                                  void* buf, int32_t size, uint32_t flags);

#ifdef __cplusplus
}
#endif
