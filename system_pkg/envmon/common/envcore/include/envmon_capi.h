// The core's clients of the process manager, the card manager and the
// platform-local service, and the configuration client: the entry points and
// callbacks other libraries and tests reach by name.
#pragma once

#include <stdint.h>

#include "envmon_core.h"

struct pm_handle_s;
struct pm_service_control_msg;
struct pm_process_update_event_msg;
struct cm_handle_s;
struct cm_object_data_msg;
struct cm_object_register_resp;
struct platform_local_handle_s;
struct nodeid_rec;

extern "C" {

// Process manager. envmon_capi_pm_init is declared in envmon_core.h.
void envmon_pm_service_control_cb(struct pm_handle_s* h, struct pm_service_control_msg* msg,
                                  uint32_t id);
void pm_process_upd_evt_cb(struct pm_handle_s* h, struct pm_process_update_event_msg* msg,
                           uint32_t id);
int envmon_pm_notify_pm(struct pm_handle_s* h, int32_t event_type, uint32_t id, void* context);
const char* envmon_pm_card_state_str(int32_t event_type);
void envmon_dump_tlgs(void);

// Card manager (rack scope). envmon_capi_cm_init is declared in envmon_core.h.
int32_t envmon_cm_card_event_register_req(void);
void envmon_cm_connect_cb(struct cm_handle_s* h, int32_t status, void* ctx);
void envmon_cm_disconnect_cb(struct cm_handle_s* h, int32_t status, void* ctx);
void envmon_cm_object_registered_cb(struct cm_handle_s* h, struct cm_object_register_resp* resp,
                                    void* request, int32_t status, void* ctx);
void envmon_cm_notify_object_data_cb(struct cm_handle_s* h, struct cm_object_data_msg* msg);
void envmon_cm_object_unregistered_cb(struct cm_handle_s* h, struct cm_object_register_resp* resp,
                                      void* request, int32_t status, void* ctx);
void envmon_cm_handle_card_state_change(struct cm_object_data_msg* msg);
// Card state of the card manager -> power-management state (6: invalid).
int32_t envmon_cm_card_state_to_pwr_state(int32_t card_state);

// Platform-local service. envmon_capi_platform_handle_init is in envmon_core.h.
void envmon_pl_lcl_connect_cb(struct platform_local_handle_s* h, int32_t status, void* ctx);
void envmon_pl_lcl_nodeid_cb(struct platform_local_handle_s* h, struct nodeid_rec* nodeid,
                             void* cookie, int32_t status, void* ctx);
void envmon_pl_lcl_ip_addr_cb(struct platform_local_handle_s* h, uint32_t* address);

// Configuration. envmon_mgbl_init is declared in envmon_core.h.
envmon_err_t envmon_mgbl_uninit(void);
uint64_t envmon_conf_pull_callback(void* arg, int cfg_hdl, void* cookie, uint32_t ns_hash);
envmon_err_t envmon_handle_pwr_cfg_change(int cfg_hdl);
uint8_t envmon_configured_local_rack(int cfg_hdl, const char* path, uint32_t* count,
                                     uint32_t* index);
uint32_t envmon_conf_all_instances(int cfg_hdl, const char* path);
void envmon_conf_get_altitude(uint32_t* altitude, uint8_t* valid);
uint32_t envmon_conf_rack_enum_to_rack(int32_t value);

}  // extern "C"
