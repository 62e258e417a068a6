// envserve: the server side of the monitoring service "envmon".
//
// The owner creates a server handle on its event loop, fills its callback
// slots (connect, disconnect and error are called unconditionally), and
// activates it: the handle binds its listening transport and publishes the
// service in the directory service with its scope and attributes. Each
// accepted client gets an envmon_client_handle; once its INIT handshake has
// completed the owner sees it in the connect callback and from then on owns
// it (as a rule it destroys it in the disconnect callback). Requests reach
// the handler of their id; two-way requests are answered with the response
// functions below, echoing the request id the handler was given.
//
// Results: 0 success, -1 failure, -3 flow-controlled (send again after the
// flow-resume callback). Error-callback codes: -4 no receive buffer, -7
// undecodable header, -8 undecodable payload, -9 send failed, -10 receive
// failed; each is followed by a disconnection.
//
// Everything runs on the server handle's event loop. A payload record given
// to a handler lives during the call unless the handler sets its keep byte
// (it then releases the contents with the type's _free_ext and free). Handles
// are freed by a delayed loop item, so a callback may destroy the handle it
// was given.
#pragma once

#include <stdint.h>

#include "envmon_msgs.h"
#include "evloop.h"
#include "msgcodec.h"
#include "msgpipe.h"
#include "pelmarok_ds.h"
#include "tlg.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct envmon_server_handle envmon_server_handle;
typedef struct envmon_client_handle envmon_client_handle;

// status 0: a client completed its handshake; -1: a failed connection event
// (client null when it comes from the listening handle).
typedef void (*envmon_server_connect_callback)(envmon_client_handle* client,
                                               envmon_server_handle* server, int32_t status);
// reason 0 after a clean disconnection, -1 after a failed one.
typedef void (*envmon_server_disconnect_callback)(envmon_client_handle* client, int32_t reason);
typedef void (*envmon_server_error_callback)(envmon_client_handle* client,
                                             envmon_server_handle* server, int32_t code);
typedef void (*envmon_server_flow_resume_callback)(envmon_client_handle* client);
// Two-way request: payload is the decoded record of the request's type, or
// null when the request's header carries a negative status.
typedef void (*envmon_server_request_callback)(envmon_client_handle* client, void* payload,
                                               uint32_t request_id);
// One-way request (11, 12).
typedef void (*envmon_server_oneway_callback)(envmon_client_handle* client, void* payload);

// What the owner publishes: the endpoint to listen on (a port of 0 or an
// absent port: any free one, and the bound port is published), the scope
// (1 rack, 3 node) and the attributes.
typedef struct envmon_server_activation_info {
  msgpipe_endpoint endpoint;
  uint32_t scope;
  ds_attribute* attributes;
  uint32_t attribute_count;
} envmon_server_activation_info;

// Creation, activation and teardown.
int32_t envmon_server_handle_create(envmon_server_handle** out, evloop_t* loop);
int32_t envmon_server_activate(envmon_server_handle* server,
                               const envmon_server_activation_info* info);
int32_t envmon_server_deactivate(envmon_server_handle* server);
int32_t envmon_server_bind(envmon_server_handle* server, const msgpipe_endpoint* endpoint);
int32_t envmon_server_unbind(envmon_server_handle* server);
int32_t envmon_server_handle_destroy(envmon_server_handle* server);
int32_t envmon_client_handle_destroy(envmon_client_handle* client);
int32_t envmon_client_disconnect(envmon_client_handle* client);

// Callback slots (fill them before activation: each client keeps the set its
// server held when it was accepted).
void envmon_server_set_connect_callback(envmon_server_handle* s, envmon_server_connect_callback cb);
void envmon_server_set_disconnect_callback(envmon_server_handle* s,
                                           envmon_server_disconnect_callback cb);
void envmon_server_set_error_callback(envmon_server_handle* s, envmon_server_error_callback cb);
void envmon_server_set_flow_resume_callback(envmon_server_handle* s,
                                            envmon_server_flow_resume_callback cb);
void envmon_server_set_request_power_budget_callback(envmon_server_handle* s,
                                                     envmon_server_request_callback cb);
void envmon_server_set_sensor_value_set_callback(envmon_server_handle* s,
                                                 envmon_server_request_callback cb);
void envmon_server_set_sensor_fault_set_callback(envmon_server_handle* s,
                                                 envmon_server_request_callback cb);
void envmon_server_set_run_test_callback(envmon_server_handle* s,
                                         envmon_server_request_callback cb);
void envmon_server_set_set_dbg_flag_callback(envmon_server_handle* s,
                                             envmon_server_request_callback cb);
void envmon_server_set_register_power_data_callback(envmon_server_handle* s,
                                                    envmon_server_request_callback cb);
void envmon_server_set_dump_debug_callback(envmon_server_handle* s,
                                           envmon_server_request_callback cb);
void envmon_server_set_hw_temp_monitoring_callback(envmon_server_handle* s,
                                                   envmon_server_request_callback cb);
void envmon_server_set_oper_state_set_callback(envmon_server_handle* s,
                                               envmon_server_oneway_callback cb);
void envmon_server_set_fan_timer_disable_callback(envmon_server_handle* s,
                                                  envmon_server_oneway_callback cb);
void envmon_server_set_request_altitude_value_callback(envmon_server_handle* s,
                                                       envmon_server_request_callback cb);

// Options, contexts and getters.
int32_t envmon_server_set_tlg_parent_handle(envmon_server_handle* s, tlg_handle_t parent);
int32_t envmon_server_set_tlg_info_parent_handle(envmon_server_handle* s, tlg_handle_t parent);
tlg_handle_t envmon_server_get_tlg_handle(envmon_server_handle* s);
tlg_handle_t envmon_server_get_tlg_info_handle(envmon_server_handle* s);
void envmon_server_set_user_context(envmon_server_handle* s, void* ctx);
void* envmon_server_get_user_context(envmon_server_handle* s);
void envmon_client_set_user_context(envmon_client_handle* c, void* ctx);
void* envmon_client_get_user_context(envmon_client_handle* c);
msgpipe_handle_t* envmon_server_get_transport(envmon_server_handle* s);
msgpipe_handle_t* envmon_client_get_transport(envmon_client_handle* c);
int32_t envmon_server_set_tcp_user_timeout(envmon_server_handle* s, uint8_t seconds);
// 1, 2: transport options (texts); 3: a kept text; 4: the service name the
// client's INIT must carry instead of "envmon". Any other option: -1.
int32_t envmon_client_set_option(envmon_client_handle* c, uint32_t option, const char* value);
int32_t envmon_server_set_service_instance(envmon_server_handle* s, const char* instance);
void envmon_server_set_ds_endpoint_factory(envmon_server_handle* s,
                                           pelmarok_ds_endpoint_factory_t factory,
                                           void* factory_ctx);
int32_t envmon_server_get_error_code(envmon_server_handle* s);
int32_t envmon_client_get_error_code(envmon_client_handle* c);
uint64_t envmon_client_get_pid(envmon_client_handle* c);
uint32_t envmon_client_get_remote_ip(envmon_client_handle* c);
const char* envmon_client_get_client_version(envmon_client_handle* c);
const char* envmon_client_get_client_argv0(envmon_client_handle* c);
const char* envmon_server_get_server_version(envmon_server_handle* s);

// Responses (final: only bit 0 counts, 1 marks the last answer).
int32_t envmon_power_budget(envmon_client_handle* c, const power_budget* payload, int final,
                            int32_t status, uint32_t request_id);
int32_t envmon_resp_sensor_value_set(envmon_client_handle* c, const resp_sensor_value* payload,
                                     int final, int32_t status, uint32_t request_id);
int32_t envmon_resp_sensor_fault_set(envmon_client_handle* c,
                                     const resp_sensor_fault_set* payload, int final,
                                     int32_t status, uint32_t request_id);
int32_t envmon_resp_test(envmon_client_handle* c, const resp_test* payload, int final,
                         int32_t status, uint32_t request_id);
int32_t envmon_resp_dbg_flag(envmon_client_handle* c, const resp_dbg_flag* payload, int final,
                             int32_t status, uint32_t request_id);
int32_t envmon_resp_register_power_data(envmon_client_handle* c,
                                        const resp_register_power_data* payload, int final,
                                        int32_t status, uint32_t request_id);
int32_t envmon_resp_dump_debug(envmon_client_handle* c, const resp_dump_debug* payload, int final,
                               int32_t status, uint32_t request_id);
int32_t envmon_resp_temp_monitoring(envmon_client_handle* c, const resp_temp_monitoring* payload,
                                    int final, int32_t status, uint32_t request_id);
int32_t envmon_resp_altitude_value(envmon_client_handle* c, const resp_altitude_value* payload,
                                   int final, int32_t status, uint32_t request_id);
// Notifications, each to one client.
int32_t envmon_notif_sys_pwr_data(envmon_client_handle* c, const notif_sys_pwr_data* payload);
int32_t envmon_notif_fru_pwr_alloc_data(envmon_client_handle* c,
                                        const notif_fru_pwr_alloc_data* payload);

// Transport event handlers (attached by the library).
void envmon_server_listen_event_handler(msgpipe_handle_t* transport, uint32_t event, int failed,
                                        void* buf, int32_t size, uint32_t flags);
void envmon_server_client_event_handler(msgpipe_handle_t* transport, uint32_t event, int failed,
                                        void* buf, int32_t size, uint32_t flags);

#ifdef __cplusplus
}
#endif
