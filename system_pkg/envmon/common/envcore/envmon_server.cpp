// The service servers of both scopes, the client table and the power
// notifications to the clients registered for power data.
#include "envmon_server.h"

#include <algorithm>
#include <vector>

#include "envmon.h"
#include "envmon_eid_text.h"

extern "C" {
envmon_server_handle* envmon_svr_hdl[2] = {nullptr, nullptr};
}

namespace {

constexpr const char kInvalidScope[] = "%s: invalid scope %d... \n";
constexpr const char kCreateFailed[] = "%s: failed to create server handle, error: %d\n";
constexpr const char kCreated[] = "%s: server handle %p created for scope %d... \n";
constexpr const char kActivateFailed[] = "%s: failed to activate service for scope %d, error: %d\n";
constexpr const char kReplaced[] = "%s: replacing server handle %p of scope %d\n";
constexpr const char kDeactivateFailed[] =
    "%s: failed to deactivate service for scope %d, error: %d\n";
constexpr const char kDestroyFailed[] = "%s: failed to destroy handle for scope %d, error: %d\n";
constexpr const char kConnectError[] = "%s: CAPI returned error %u\n";
constexpr const char kConnectAgain[] = "%s: CAPI connect from client %p again, server_handle %p\n";
constexpr const char kTooMany[] = "%s: client %p, client counts exceeded max %d\n";
constexpr const char kConnected[] = "%s: connected from client %p, server_handle %p\n";
constexpr const char kDisconnect[] = "%s invoked, client %p, status %u \n";
constexpr const char kNotConnected[] = "%s: client %p requested disconnect, but it was not connected.\n";
constexpr const char kError[] = "%s: client %p, server hdl %p, error code: %d.\n";
constexpr const char kSysNoClient[] =
    "envmon_notif_sys_pwr_data not sent to any client as client count is 0\n";
constexpr const char kSysSent[] =
    "envmon_notif_sys_pwr_data to hdl %p: usable_pwr %d, prot_pwr %d, resrv_n_alloc_pwr %d, "
    "cnf_pwr_red_mode 0x%x, act_pwr_red_mode %d, total_available_current %d, "
    "total_drawn_current %d, capi rc %d\n";
constexpr const char kSysNotReg[] =
    "envmon_notif_sys_pwr_data not sent to client %p as it does not register\n";
constexpr const char kFruSent[] =
    "envmon_notif_fru_pwr_alloc_data: EID %s, power_allocated %d, status %d, capi rc %d\n";

// The node-scope server is published on the loopback address.
constexpr uint32_t kNodeAddress = 0x7f000001;

// Every client accepted by either server, table or not, so that the clients
// of a server that goes away can be disconnected with it. The client's user
// context is the server that accepted it.
std::vector<envmon_client_handle*> g_accepted;

int slot_of(uint32_t scope) {
  if (scope == ENVMON_SCOPE_NODE) return 0;
  if (scope == ENVMON_SCOPE_RACK) return 1;
  return -1;
}

envmon_err_t widen(int32_t rc) { return static_cast<envmon_err_t>(static_cast<int64_t>(rc)); }

int table_index(envmon_client_handle* client) {
  if (envmon_nm == nullptr || envmon_nm->clients == nullptr) return -1;
  for (uint32_t i = 0; i < client_count; ++i) {
    if (envmon_nm->clients[i].handle == client) return static_cast<int>(i);
  }
  return -1;
}

// Tears one server down; the clients it accepted go with it, so that a card
// that left the active role answers no more rack-scope requests.
envmon_err_t remove_server(const char* fn, int slot, uint32_t scope) {
  envmon_server_handle* s = envmon_svr_hdl[slot];
  // A copy: a disconnection may be reported, and the list changed, at once.
  const std::vector<envmon_client_handle*> accepted = g_accepted;
  for (envmon_client_handle* c : accepted) {
    if (envmon_client_get_user_context(c) == s) envmon_client_disconnect(c);
  }
  int32_t rc = envmon_server_deactivate(s);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kDeactivateFailed, fn, static_cast<int>(scope), rc);
    return widen(rc);
  }
  rc = envmon_server_handle_destroy(s);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kDestroyFailed, fn, static_cast<int>(scope), rc);
    return widen(rc);
  }
  envmon_svr_hdl[slot] = nullptr;
  return 0;
}

uint32_t red_mode_to_service(uint32_t mode) {
  if (mode == 0) return 3;
  if (mode == 1) return 2;
  return 1;
}

}  // namespace

extern "C" {

envmon_err_t envmon_server_init(struct evloop* loop, uint32_t scope) {
  const int slot = slot_of(scope);
  if (slot < 0) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidScope, __func__, static_cast<int>(scope));
    return ENVMON_ERR_INVALID_ARG;
  }
  // A server already in the slot (a new address, a second start) is replaced,
  // not left published with nothing referring to it.
  if (envmon_svr_hdl[slot] != nullptr) {
    tlg_internal(main_tlg_cmn_hdl, kReplaced, __func__, static_cast<void*>(envmon_svr_hdl[slot]),
                 static_cast<int>(scope));
    remove_server(__func__, slot, scope);
  }
  envmon_server_handle* s = nullptr;
  int32_t rc = envmon_server_handle_create(&s, loop);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, __func__, rc);
    return widen(rc);
  }
  envmon_svr_hdl[slot] = s;
  tlg_internal(main_tlg_cmn_hdl, kCreated, __func__, static_cast<void*>(s), static_cast<int>(scope));
  envmon_server_set_connect_callback(s, envmon_connect_cb);
  envmon_server_set_disconnect_callback(s, envmon_disconnect_cb);
  if (scope == ENVMON_SCOPE_RACK) {
    envmon_server_set_request_power_budget_callback(s, envmon_rm_server_request_power_budget_cb);
    envmon_server_set_register_power_data_callback(s, envmon_rm_server_register_power_data_cb);
    envmon_server_set_request_altitude_value_callback(s, envmon_server_request_altitude_value_cb);
  } else {
    envmon_server_set_request_power_budget_callback(s, envmon_nm_server_request_power_budget_cb);
    envmon_server_set_register_power_data_callback(s, envmon_nm_server_register_power_data_cb);
  }
  envmon_server_set_error_callback(s, envmon_error_cb);
  envmon_server_set_sensor_value_set_callback(s, envmon_server_sensor_value_set_cb);
  envmon_server_set_sensor_fault_set_callback(s, envmon_server_sensor_fault_set_cb);
  envmon_server_set_oper_state_set_callback(s, envmon_server_oper_state_set_cb);
  envmon_server_set_run_test_callback(s, envmon_server_run_test_cb);
  envmon_server_set_set_dbg_flag_callback(s, envmon_server_set_dbg_flag_cb);
  envmon_server_set_dump_debug_callback(s, envmon_server_dump_debug_cb);
  envmon_server_set_hw_temp_monitoring_callback(s, envmon_server_temp_monitoring_cb);
  envmon_server_set_fan_timer_disable_callback(s, envmon_server_fan_timer_disable_cb);

  ds_attribute attrs[2] = {};
  attrs[0].id = 1;
  attrs[0].int_value = scope == ENVMON_SCOPE_RACK && envmon_rm != nullptr ? envmon_rm->svc_role
                                                                          : ENVMON_SCOPE_NODE;
  attrs[0].present = 0x3;
  attrs[1].id = 2;
  attrs[1].int_value = 1;
  attrs[1].present = 0x3;
  envmon_server_activation_info info{};
  info.endpoint.node_address = scope == ENVMON_SCOPE_RACK && envmon_nm != nullptr
                                   ? envmon_nm->ip_address
                                   : kNodeAddress;
  info.endpoint.present = MSGPIPE_ENDPOINT_HAS_ADDRESS;
  info.scope = scope;
  info.attributes = attrs;
  info.attribute_count = 2;
  rc = envmon_server_activate(s, &info);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kActivateFailed, __func__, static_cast<int>(scope), rc);
    return widen(rc);
  }
  return 0;
}

envmon_err_t envmon_server_uninit(uint32_t scope) {
  const int slot = slot_of(scope);
  if (slot < 0) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidScope, __func__, static_cast<int>(scope));
    return ENVMON_ERR_INVALID_ARG;
  }
  if (envmon_svr_hdl[slot] == nullptr) return 0;
  return remove_server(__func__, slot, scope);
}

void envmon_connect_cb(envmon_client_handle* client, envmon_server_handle* server, int32_t status) {
  if (status != 0) {
    tlg_internal(err_tlg_cmn_hdl, kConnectError, __func__, static_cast<unsigned>(status));
    return;
  }
  if (table_index(client) >= 0) {
    tlg_internal(main_tlg_cmn_hdl, kConnectAgain, __func__, static_cast<void*>(client),
                 static_cast<void*>(server));
    return;
  }
  envmon_client_set_user_context(client, server);
  if (std::find(g_accepted.begin(), g_accepted.end(), client) == g_accepted.end()) {
    g_accepted.push_back(client);
  }
  const uint32_t max = envmon_hal_get_max_clients();
  if (envmon_nm == nullptr || envmon_nm->clients == nullptr || client_count >= max) {
    tlg_internal(err_tlg_cmn_hdl, kTooMany, __func__, static_cast<void*>(client),
                 static_cast<int>(max));
    return;
  }
  envmon_nm->clients[client_count].handle = client;
  envmon_nm->clients[client_count].pwr_data_registered = 0;
  client_count++;
  tlg_internal(main_tlg_cmn_hdl, kConnected, __func__, static_cast<void*>(client),
               static_cast<void*>(server));
}

void envmon_disconnect_cb(envmon_client_handle* client, int32_t status) {
  tlg_internal(main_tlg_cmn_hdl, kDisconnect, __func__, static_cast<void*>(client),
               static_cast<unsigned>(status));
  if (client == nullptr) return;
  auto it = std::find(g_accepted.begin(), g_accepted.end(), client);
  const bool accepted = it != g_accepted.end();
  if (accepted) g_accepted.erase(it);
  const int i = table_index(client);
  if (i < 0) {
    tlg_internal(err_tlg_cmn_hdl, kNotConnected, __func__, static_cast<void*>(client));
    // A client beyond the table's limit is still ours to release.
    if (accepted) envmon_client_handle_destroy(client);
    return;
  }
  envmon_client_handle_destroy(client);
  envmon_client_entry* t = envmon_nm->clients;
  const uint32_t last = client_count - 1;
  if (static_cast<uint32_t>(i) != last) t[i] = t[last];
  t[last] = envmon_client_entry{};
  client_count--;
}

void envmon_error_cb(envmon_client_handle* client, envmon_server_handle* server, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kError, __func__, static_cast<void*>(client),
               static_cast<void*>(server), code);
}

void envmon_server_notify_sys_pwr_data(const envmon_sys_pwr_data* data) {
  if (client_count == 0 || envmon_nm == nullptr || data == nullptr) {
    tlg_internal(info_tlg_cmn_hdl, kSysNoClient);
    return;
  }
  notif_sys_pwr_data p{};
  p.usable_pwr = data->usable_pwr;
  p.prot_pwr = data->prot_pwr;
  p.resrv_n_alloc_pwr = data->resrv_n_alloc_pwr;
  p.cnf_pwr_red_mode = red_mode_to_service(data->cnf_pwr_red_mode);
  p.act_pwr_red_mode = red_mode_to_service(data->act_pwr_red_mode);
  p.reserved = 0;
  p.total_available_current = data->total_available_current;
  p.total_drawn_current = data->total_drawn_current;
  p.present = 0xff;
  // The hook's interface names the notification record opaquely; it is this
  // service record.
  envmon_hal_capi_notify_sys_pwr_data(data, reinterpret_cast<struct envmon_notif_sys_pwr_data*>(&p));
  for (uint32_t i = 0; i < client_count; ++i) {
    envmon_client_entry& e = envmon_nm->clients[i];
    if (e.pwr_data_registered != 0) {
      int32_t rc = envmon_notif_sys_pwr_data(e.handle, &p);
      tlg_internal(info_tlg_cmn_hdl, kSysSent, static_cast<void*>(e.handle),
                   static_cast<int>(p.usable_pwr), static_cast<int>(p.prot_pwr),
                   static_cast<int>(p.resrv_n_alloc_pwr), p.cnf_pwr_red_mode,
                   static_cast<int>(p.act_pwr_red_mode),
                   static_cast<int>(p.total_available_current),
                   static_cast<int>(p.total_drawn_current), rc);
    } else {
      tlg_internal(info_tlg_cmn_hdl, kSysNotReg, static_cast<void*>(e.handle));
    }
  }
}

void envmon_server_notify_fru_pwr_alloc_data(const pelm_eid* eid, uint32_t power_allocated,
                                             uint32_t status, uint32_t fru_current) {
  envmon_pwr_mgmt_data_t* pm = envmon_rm != nullptr ? envmon_rm->pwr_mgmt_data : nullptr;
  if (pm == nullptr || pm->all_card_info_rcvd != 1 || envmon_nm == nullptr || eid == nullptr) {
    return;
  }
  notif_fru_pwr_alloc_data p{};
  inv_util_copy_pelm_eid_to_pelm_eid(eid, &p.eid);
  p.power_allocated = power_allocated;
  p.status = status;
  p.fru_current = fru_current;
  p.present = 0x0f;
  const auto text = envmon::eid_text(p.eid);
  for (uint32_t i = 0; i < client_count; ++i) {
    envmon_client_entry& e = envmon_nm->clients[i];
    if (e.pwr_data_registered == 0) continue;
    int32_t rc = envmon_notif_fru_pwr_alloc_data(e.handle, &p);
    tlg_internal(info_tlg_cmn_hdl, kFruSent, text.data(), static_cast<int>(power_allocated),
                 static_cast<int>(status), rc);
  }
  envmon_free_tsi(&p.eid);
}

}  // extern "C"
