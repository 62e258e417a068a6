// Process-manager client: roles, their acknowledgements, process updates,
// liveness and the trace dump on shutdown events.
#include <unistd.h>

#include "envmon.h"
#include "envmon_capi.h"
#include "envmon_role.h"
#include "pm.h"

namespace {

constexpr const char kCreateFailed[] = "%s(): Unable to create PM handle, error: %d\n";
constexpr const char kConnecting[] = "%s(): Connecting to PM ...\n";
constexpr const char kConnectFailed[] = "%s(): Failed to connect to PM, error: %d\n";
constexpr const char kFirstSpawn[] = "%s: Process first spawn (pid %d)\n";
constexpr const char kRestart[] = "%s: Process re-start (pid %d)\n";
constexpr const char kConnectError[] = "%s(): Error %d returned during connection to PM\n";
constexpr const char kConnected[] = "%s(): Successful connection to PM\n";
constexpr const char kDisconnected[] = "%s(): Disconnected from PM\n";
constexpr const char kError[] = "%s(): Error from PM, code %d\n";
constexpr const char kRoleReceived[] = "%s(): Received role %d for service name %s from PM\n";
constexpr const char kAcceptFailed[] = "%s(): Error %d received when sending accept role message\n";
constexpr const char kHaReadyFailed[] = "%s(): Error %d received when sending ha ready message\n";
constexpr const char kUpdInvalidMsg[] = "%s: pm_process_upd_evt_cb - Invalid msg pointer\n";
constexpr const char kUpdNoType[] =
    "%s(): pm_process_upd_evt_cb - Update evt from PM without event type\n";
constexpr const char kUpdEvent[] = "%s: pm_process_upd_evt_cb - Update evt: %s from PM Id: %u hdl: %p\n\n";
constexpr const char kResponseFailed[] = "[PM]%s:%d PM Event response failed. rc: %d\n";
constexpr const char kModule[] = "pelmarok/system_pkg/envmon/common/src/envmon_capi_pm";
constexpr int kResponseLine = 422;

// Field bits of the process manager's records.
constexpr uint8_t kNameBit = 0x1;
constexpr uint8_t kRoleBit = 0x2;
constexpr uint8_t kEventTypeBit = 0x1;
constexpr uint8_t kStatusBit = 0x2;

// Process-update response status.
constexpr int32_t kUpdateDone = 1;
constexpr int32_t kUpdateDeferred = 2;

// Events after which the trace buffers are kept.
constexpr int32_t kCardShutdown = 1;
constexpr int32_t kAdminVmShutdown = 4;
constexpr int32_t kAllVmShutdown = 5;

pm_handle_t g_pm = nullptr;

envmon_err_t widen(int rc) { return static_cast<envmon_err_t>(static_cast<int64_t>(rc)); }

void envmon_pm_connect_cb(pm_handle_t, int32_t status, void*) {
  if (status != 0) {
    tlg_internal(err_tlg_cmn_hdl, kConnectError, __func__, status);
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kConnected, __func__);
  if (envmon_nm != nullptr) envmon_nm->pm_capi_connected = 1;
}

void envmon_pm_disconnect_cb(pm_handle_t, int32_t, void*) {
  tlg_internal(main_tlg_cmn_hdl, kDisconnected, __func__);
  if (envmon_nm != nullptr) envmon_nm->pm_capi_connected = 0;
}

void envmon_pm_error_cb(pm_handle_t, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kError, __func__, code);
}

void envmon_pm_liveness_cb(pm_handle_t, uint64_t* status, void*) {
  if (status != nullptr) *status = 0;
}

}  // namespace

extern "C" {

void envmon_pm_service_control_cb(pm_handle_t h, pm_service_control_msg* msg, uint32_t id) {
  const char* name = msg != nullptr && (msg->present & kNameBit) != 0 && msg->service_name != nullptr
                         ? msg->service_name
                         : "";
  const int32_t role = msg != nullptr && (msg->present & kRoleBit) != 0 ? msg->role : 0;
  tlg_internal(main_tlg_cmn_hdl, kRoleReceived, __func__, role, name);
  pm_accept_role_msg accept{};
  accept.service_name = const_cast<char*>(name);
  accept.role = role;
  accept.present = kNameBit | kRoleBit;
  int rc = pm_service_accept_role(h, &accept, 0, id);
  if (rc != 0) {
    // Not applied: the process manager's next message is handled afresh.
    tlg_internal(err_tlg_cmn_hdl, kAcceptFailed, __func__, rc);
    return;
  }
  envmon_role_notification(static_cast<uint32_t>(role), name);
  if (role == ENVMON_ROLE_STANDBY) {
    pm_ha_ready_msg ready{};
    ready.service_name = const_cast<char*>(name);
    ready.present = kNameBit;
    rc = pm_lib_service_ha_ready(h, &ready);
    if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kHaReadyFailed, __func__, rc);
  }
}

const char* envmon_pm_card_state_str(int32_t event_type) {
  switch (event_type) {
    case 1: return "CARD_SHUTDOWN";
    case 2: return "CARD_OFFLINE";
    case 3: return "CARD_ONLINE";
    case 4: return "ADMIN_VM_SHUTDOWN";
    case 5: return "ALL_VM_SHUTDOWN";
    case 6: return "CARD_QUIESCE";
    default: return "Wrong Value";
  }
}

void envmon_dump_tlgs(void) {
  if (envmon_nm != nullptr) {
    static constexpr int kOrder[] = {0, 5, 1, 2, 3, 4, 6, 7, 8, 9};
    for (int slot : kOrder) {
      if (envmon_nm->tlg_hdl[slot] != nullptr) {
        tlg_dump(static_cast<tlg_handle_t>(envmon_nm->tlg_hdl[slot]));
      }
    }
  }
  envmon_hal_dump_tlgs();
}

int envmon_pm_notify_pm(pm_handle_t h, int32_t event_type, uint32_t id, void* context) {
  pm_process_update_event_resp resp{};
  resp.event_type = event_type;
  resp.status = context != nullptr ? kUpdateDeferred : kUpdateDone;
  resp.present = kEventTypeBit | kStatusBit;
  if (event_type == kCardShutdown || event_type == kAdminVmShutdown ||
      event_type == kAllVmShutdown) {
    envmon_dump_tlgs();
  }
  int rc = pm_process_update_event_response(h, &resp, 1, 0, id);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kResponseFailed, kModule, kResponseLine, rc);
  return rc;
}

void pm_process_upd_evt_cb(pm_handle_t h, pm_process_update_event_msg* msg, uint32_t id) {
  if (msg == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kUpdInvalidMsg, kModule);
    return;
  }
  const int32_t type = (msg->present & kEventTypeBit) != 0 ? msg->event_type : 0;
  if (type == 0) {
    tlg_internal(err_tlg_cmn_hdl, kUpdNoType, __func__);
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kUpdEvent, kModule, envmon_pm_card_state_str(type), id,
               static_cast<void*>(h));
  envmon_pm_notify_pm(h, type, id, nullptr);
}

envmon_err_t envmon_capi_pm_init(struct evloop* loop) {
  pm_handle_t h = nullptr;
  int rc = pm_handle_create(&h, loop, 0);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, __func__, rc);
    return widen(rc);
  }
  pm_set_tlg_parent_handle(h, pmlib_tlg_cmn_hdl);
  pm_set_connect_callback(h, envmon_pm_connect_cb);
  pm_set_disconnect_callback(h, envmon_pm_disconnect_cb);
  pm_set_error_callback(h, envmon_pm_error_cb);
  pm_set_service_control_callback(h, envmon_pm_service_control_cb);
  pm_set_liveness_callback(h, envmon_pm_liveness_cb);
  pm_set_process_update_callback(h, pm_process_upd_evt_cb);
  tlg_internal(main_tlg_cmn_hdl, kConnecting, __func__);
  rc = pm_connect(h, nullptr);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kConnectFailed, __func__, rc);
    pm_handle_destroy(h);
    h = nullptr;
  }
  g_pm = h;
  const char* text = __proc_total_respawn == 0 ? kFirstSpawn : kRestart;
  tlg_internal(main_tlg_cmn_hdl, text, __func__, static_cast<int>(getpid()));
  envmon_debug_log(text, __func__, static_cast<int>(getpid()));
  if (envmon_nm != nullptr) envmon_nm->process_restart = __proc_total_respawn == 0 ? 0 : 1;
  return widen(rc);
}

}  // extern "C"
