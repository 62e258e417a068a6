// Handlers of the monitoring service's requests. A request whose header
// carries a negative status reaches a handler without a payload; such a
// request is treated as one with every field absent.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "envmon.h"
#include "envmon_capi.h"
#include "envmon_eid_text.h"
#include "envmon_server.h"
#include "simpaths.h"

namespace {

using envmon::eid_text;

constexpr const char kNmBudget[] = "%s invoked from NM for client %p ... \n";
constexpr const char kNmRegister[] = "NM client %p registered power data\n";
constexpr const char kBudget[] = "%s: client %p, EID = %s resp %d\n";
constexpr const char kNoPtNoBudget[] = "No PT detected, returningNo budget available\n";
constexpr const char kNoPtDisabled[] =
    "No PT detected, but PWR MGMT disabled returning budget available\n";
constexpr const char kCopyFailed[] = "%s: copy eid failed, rc = 0x%x\n";
constexpr const char kSendingStatus[] = "%s: sending resp status as %d\n";
constexpr const char kRegisterPwr[] = "%s invoked, client %p \n";
constexpr const char kCmRegister[] = "called envmon_cm_card_event_register_req, rc = 0x%x\n";
constexpr const char kAltitude[] = "altitude value invoked for client %p ... \n";
constexpr const char kAltConfig[] = "config altitude val %d enabled %d \n";
constexpr const char kAltSensor[] = "sensor altitude val %d enabled %d \n";
constexpr const char kNoValue[] = "%s no sensor value set\n";
constexpr const char kNoFault[] = "%s no fault set\n";
constexpr const char kNoOper[] = "%s no oper state set\n";
constexpr const char kNoEid[] = "%s no eid value set\n";
constexpr const char kNoSubtype[] = "%s no subtype value set\n";
constexpr const char kValueEntered[] = "%s entered. EID = %s, value = %d\n";
constexpr const char kFaultEntered[] = "%s entered. EID = %s, fault = %d\n";
constexpr const char kRackValue[] =
    "%s entered for rack scoped sensor, but envmon is not ACTIVE on the node. EID = %s, value = "
    "%d\n";
constexpr const char kRackFault[] =
    "%s entered for rack scoped sensor, but envmon is not ACTIVE on the node. EID = %s, fault = "
    "%d\n";
constexpr const char kVoltFault[] = "Call envmon_process_drvif_volt_fault\n";
constexpr const char kOperUpdate[] = "%s(): UPDATE OPER_STATE=%d. EID=%s, type=%d, scope=%d\n";
constexpr const char kNoTestId[] = "%s no test id sent\n";
constexpr const char kNoDbgFlag[] = "%s no dbg flag sent\n";
constexpr const char kBadDbgFlag[] = "%s invalid dbg flag %d\n";
constexpr const char kDumpFailed[] = "Failed to create /tmp/envmon_dump\n";
constexpr const char kDumpPath[] = "/tmp/envmon_dump";

// An entity id counts as present when its own bit or any of its fields' is set.
bool eid_present(uint8_t record_present, uint8_t bit, const pelm_eid& eid) {
  return (record_present & bit) != 0 || eid.present != 0;
}

uint64_t now_seconds() { return static_cast<uint64_t>(time(nullptr)); }

// Where a sensor named in a request lives: this card and its port adapters
// are the node scope, the rest the rack scope.
struct sensor_target {
  pelm_eid eid;  // shallow copy; the levels stay the request's
  uint32_t scope;
  uint32_t slot;
};

sensor_target target_of(const pelm_eid& eid) {
  sensor_target t{eid, ENVMON_SCOPE_RACK, eid.slot};
  uint32_t index = 0;
  if (envmon_nm != nullptr && eid.slot == envmon_nm->slot_num) {
    t.eid.slot = ENVMON_SLOT_SELF;
    t.slot = ENVMON_SLOT_SELF;
    t.scope = ENVMON_SCOPE_NODE;
  } else if (envmon_is_mpa_slot(eid.slot, &index)) {
    t.scope = ENVMON_SCOPE_NODE;
  }
  return t;
}

bool rack_scope_allowed() {
  return envmon_rm != nullptr && envmon_rm->svc_role == ENVMON_ROLE_ACTIVE;
}

// The three sensor requests check their fields in the same order.
bool fields_present(const char* fn, bool value, const char* no_value, bool eid, bool subtype) {
  if (!value) {
    tlg_internal(err_tlg_cmn_hdl, no_value, fn);
    return false;
  }
  if (!eid) {
    tlg_internal(err_tlg_cmn_hdl, kNoEid, fn);
    return false;
  }
  if (!subtype) {
    tlg_internal(err_tlg_cmn_hdl, kNoSubtype, fn);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

void envmon_nm_server_request_power_budget_cb(envmon_client_handle* client, void*, uint32_t) {
  tlg_internal(err_tlg_cmn_hdl, kNmBudget, __func__, static_cast<void*>(client));
}

void envmon_nm_server_register_power_data_cb(envmon_client_handle* client, void*, uint32_t) {
  tlg_internal(err_tlg_cmn_hdl, kNmRegister, static_cast<void*>(client));
}

void envmon_rm_server_request_power_budget_cb(envmon_client_handle* client, void* payload,
                                              uint32_t request_id) {
  if (payload == nullptr) return;
  auto* req = static_cast<request_power_budget*>(payload);
  const bool has_state = (req->present & REQUEST_POWER_BUDGET_HAS_REQUEST_STATE) != 0;
  const bool answer = !has_state || req->request_state == 1;
  tlg_internal(main_tlg_cmn_hdl, kBudget, __func__, static_cast<void*>(client),
               eid_text(req->eid).data(), answer ? 1 : 0);
  const char* pid = (req->present & REQUEST_POWER_BUDGET_HAS_PID) != 0 ? req->pid : nullptr;
  if (answer) {
    int32_t status = ENVMON_PWR_REQ_GRANTED;
    envmon_pwr_mgmt_data_t* pm = envmon_rm != nullptr ? envmon_rm->pwr_mgmt_data : nullptr;
    const bool no_tray = pm != nullptr && pm->no_pt_detected != 0;
    if (!no_tray) {
      if (envmon_hal_power_budget_supported()) {
        status = envmon_pwr_mgmt_get_budget(&req->eid, req->card_type, pid,
                                            static_cast<int32_t>(req->extra1),
                                            static_cast<int32_t>(req->extra2));
      }
    } else if (envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd != 0) {
      if (pm->pwr_mgmt_action_ena != 0) {
        status = ENVMON_PWR_REQ_NO_BUDGET;
        tlg_internal(err_tlg_cmn_hdl, kNoPtNoBudget);
      } else {
        tlg_internal(main_tlg_cmn_hdl, kNoPtDisabled);
      }
    }
    power_budget resp{};
    int rc = inv_util_copy_pelm_eid_to_pelm_eid(&req->eid, &resp.eid);
    if (rc != INV_UTIL_OK) {
      envmon_free_tsi(&resp.eid);
      tlg_internal(err_tlg_cmn_hdl, kCopyFailed, __func__, static_cast<unsigned>(rc));
      return;
    }
    resp.budget_status = static_cast<uint32_t>(status);
    resp.present = POWER_BUDGET_HAS_EID | POWER_BUDGET_HAS_BUDGET_STATUS;
    tlg_internal(main_tlg_cmn_hdl, kSendingStatus, __func__, status);
    envmon_power_budget(client, &resp, 1, 0, request_id);
    envmon_free_tsi(&resp.eid);
  }
  if (has_state) {
    envmon_pwr_mgmt_update_card_reload_info(&req->eid, req->card_type, pid,
                                            static_cast<int32_t>(req->extra1),
                                            static_cast<int32_t>(req->extra2),
                                            req->request_state != 3 ? 1 : 0);
  }
}

void envmon_rm_server_register_power_data_cb(envmon_client_handle* client, void*,
                                             uint32_t request_id) {
  if (envmon_nm == nullptr || envmon_nm->clients == nullptr) return;
  envmon_client_entry* entry = nullptr;
  for (uint32_t i = 0; i < client_count; ++i) {
    if (envmon_nm->clients[i].handle == client) entry = &envmon_nm->clients[i];
  }
  if (entry == nullptr) return;  // beyond the table's limit: no answer
  entry->pwr_data_registered = 1;
  resp_register_power_data resp{};
  envmon_resp_register_power_data(client, &resp, 1, 0, request_id);
  envmon_chk_n_upd_system_pwr_data(true);
  envmon_fru_power_alloc_update_all(false);
  envmon_fru_power_alloc_update_all(true);
  tlg_internal(pwrm_tlg_cmn_hdl, kRegisterPwr, __func__, static_cast<void*>(client));
  if (envmon_rm != nullptr && envmon_rm->cm_capi_connected != 0 && envmon_rm->cm_obj_reged != 1) {
    int32_t rc = envmon_cm_card_event_register_req();
    tlg_internal(pwrm_tlg_cmn_hdl, kCmRegister, static_cast<unsigned>(rc));
  }
}

void envmon_server_request_altitude_value_cb(envmon_client_handle* client, void*,
                                             uint32_t request_id) {
  tlg_internal(info_tlg_cmn_hdl, kAltitude, static_cast<void*>(client));
  uint32_t config = 0;
  uint8_t config_valid = 0;
  envmon_conf_get_altitude(&config, &config_valid);
  tlg_internal(info_tlg_cmn_hdl, kAltConfig, static_cast<int>(config), config_valid);
  uint32_t sensor = 0;
  uint8_t sensor_valid = 0;
  envmon_hal_altitude_sensor_value(&sensor, &sensor_valid);
  tlg_internal(info_tlg_cmn_hdl, kAltSensor, static_cast<int>(sensor), sensor_valid);
  resp_altitude_value resp{};
  if (config_valid != 0 && config != 0) {
    resp.altitude_config = static_cast<int32_t>(config);
    resp.present = RESP_ALTITUDE_VALUE_HAS_ALTITUDE_CONFIG;
  } else if (sensor_valid != 0) {
    resp.altitude_sensor = static_cast<int32_t>(sensor);
    resp.present = RESP_ALTITUDE_VALUE_HAS_ALTITUDE_SENSOR;
  }
  envmon_resp_altitude_value(client, &resp, 1, 0, request_id);
}

void envmon_server_sensor_value_set_cb(envmon_client_handle* client, void* payload,
                                       uint32_t request_id) {
  sensor_value empty{};
  const sensor_value& req = payload != nullptr ? *static_cast<sensor_value*>(payload) : empty;
  if (!fields_present(__func__, (req.present & SENSOR_VALUE_HAS_VALUE) != 0, kNoValue,
                      eid_present(req.present, SENSOR_VALUE_HAS_EID, req.eid),
                      (req.present & SENSOR_VALUE_HAS_SUBTYPE) != 0)) {
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kValueEntered, __func__, eid_text(req.eid).data(), req.value);
  sensor_target t = target_of(req.eid);
  if (t.scope == ENVMON_SCOPE_RACK && !rack_scope_allowed()) {
    tlg_internal(err_tlg_cmn_hdl, kRackValue, __func__, eid_text(req.eid).data(), req.value);
    resp_sensor_value resp{};
    envmon_resp_sensor_value_set(client, &resp, 1, -1, request_id);
    return;
  }
  switch (req.subtype) {
    case ENVMON_SENSOR_TEMPERATURE:
      envmon_hal_fan_mgmt_temp_value_change_event(&t.eid, static_cast<uint32_t>(req.value),
                                                  static_cast<int32_t>(t.scope), now_seconds(), 9,
                                                  0);
      break;
    case ENVMON_SENSOR_VOLTAGE:
      envmon_volt_value_change_event(&t.eid, req.value, static_cast<int32_t>(t.scope),
                                     now_seconds());
      break;
    case ENVMON_SENSOR_CURRENT:
      envmon_curr_value_change_event(&t.eid, req.value, static_cast<int32_t>(t.scope),
                                     now_seconds());
      break;
    default: break;
  }
  // Have every sensor of the entity logged, not only the changed ones.
  if (t.scope == ENVMON_SCOPE_RACK) {
    envmon_rm->obfl_flags |= ENVMON_RM_OBFL_ALL;
    envmon_obfl_rm_log_all(t.slot, 0);
    envmon_rm->obfl_flags &= ~ENVMON_RM_OBFL_ALL;
  } else if (envmon_nm != nullptr) {
    envmon_nm->misc_state |= ENVMON_NM_OBFL_LOG_ALL;
    envmon_obfl_nm_log_all(0);
    envmon_nm->misc_state &= ~ENVMON_NM_OBFL_LOG_ALL;
  }
}

void envmon_server_sensor_fault_set_cb(envmon_client_handle* client, void* payload,
                                       uint32_t request_id) {
  sensor_fault empty{};
  const sensor_fault& req = payload != nullptr ? *static_cast<sensor_fault*>(payload) : empty;
  if (!fields_present(__func__, (req.present & SENSOR_FAULT_HAS_FAULT) != 0, kNoFault,
                      eid_present(req.present, SENSOR_FAULT_HAS_EID, req.eid),
                      (req.present & SENSOR_FAULT_HAS_SUBTYPE) != 0)) {
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kFaultEntered, __func__, eid_text(req.eid).data(),
               static_cast<int>(req.fault));
  sensor_target t = target_of(req.eid);
  if (t.scope == ENVMON_SCOPE_RACK && !rack_scope_allowed()) {
    tlg_internal(err_tlg_cmn_hdl, kRackFault, __func__, eid_text(req.eid).data(),
                 static_cast<int>(req.fault));
    resp_sensor_fault_set resp{};
    envmon_resp_sensor_fault_set(client, &resp, 1, -1, request_id);
    return;
  }
  if (req.subtype == ENVMON_SENSOR_TEMPERATURE) {
    envmon_hal_fan_mgmt_sensor_fault_event(&t.eid, req.fault, static_cast<int32_t>(t.scope));
  } else if (req.subtype == ENVMON_SENSOR_VOLTAGE) {
    tlg_internal(main_tlg_cmn_hdl, kVoltFault);
    envmon_process_drvif_volt_fault(&t.eid, req.fault, static_cast<int32_t>(t.scope));
  }
}

void envmon_server_oper_state_set_cb(envmon_client_handle*, void* payload) {
  oper_state empty{};
  const oper_state& req = payload != nullptr ? *static_cast<oper_state*>(payload) : empty;
  if (!fields_present(__func__, (req.present & OPER_STATE_HAS_OPER_STATE) != 0, kNoOper,
                      eid_present(req.present, OPER_STATE_HAS_EID, req.eid),
                      (req.present & OPER_STATE_HAS_SUBTYPE) != 0)) {
    return;
  }
  sensor_target t = target_of(req.eid);
  if (t.scope == ENVMON_SCOPE_RACK && !rack_scope_allowed()) {
    tlg_internal(err_tlg_cmn_hdl, kRackValue, __func__, eid_text(req.eid).data(),
                 static_cast<int>(req.oper_state));
    return;
  }
  if (req.subtype != ENVMON_SENSOR_TEMPERATURE && req.subtype != ENVMON_SENSOR_VOLTAGE &&
      req.subtype != ENVMON_SENSOR_CURRENT) {
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kOperUpdate, __func__, static_cast<int>(req.oper_state),
               eid_text(req.eid).data(), static_cast<int>(req.subtype),
               static_cast<int>(t.scope));
  const uint32_t state = req.oper_state;
  envmon_inv_invreg_upd_eid_state(&t.eid, &state, 1, t.scope);
}

void envmon_server_run_test_cb(envmon_client_handle*, void* payload, uint32_t) {
  auto* req = static_cast<run_test*>(payload);
  if (req == nullptr || (req->present & RUN_TEST_HAS_TEST_ID) == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoTestId, __func__);
    return;
  }
  envmon_hal_run_test_case(req->test_id);
}

void envmon_server_set_dbg_flag_cb(envmon_client_handle*, void* payload, uint32_t) {
  auto* req = static_cast<set_dbg_flag*>(payload);
  if (req == nullptr || (req->present & SET_DBG_FLAG_HAS_DBG_FLAG) == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoDbgFlag, __func__);
    return;
  }
  if (envmon_nm == nullptr) return;
  uint8_t* switches[] = {&envmon_nm->temp_debug,  &envmon_nm->volt_debug, &envmon_nm->curr_debug,
                         &envmon_nm->drvif_debug, &envmon_nm->fan_debug,  &envmon_nm->pwr_debug};
  const uint32_t flag = req->dbg_flag;
  if (flag >= 1 && flag <= 12) {
    // Odd numbers switch on, even numbers off, two per switch.
    *switches[(flag - 1) / 2] = (flag % 2 == 1) ? 1 : 0;
  } else if (flag == 13 || flag == 14) {
    for (uint8_t* s : switches) *s = flag == 13 ? 1 : 0;
  } else {
    tlg_internal(err_tlg_cmn_hdl, kBadDbgFlag, __func__, static_cast<int>(flag));
  }
}

void envmon_server_dump_debug_cb(envmon_client_handle*, void*, uint32_t) {
  char path[512];
  int fd = -1;
  if (sim_path(kDumpPath, path, sizeof(path)) != nullptr) {
    // Never follow a link planted at the dump's place.
    fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  }
  FILE* f = fd >= 0 ? fdopen(fd, "w") : nullptr;
  if (f == nullptr) {
    if (fd >= 0) close(fd);
    tlg_internal(err_tlg_cmn_hdl, kDumpFailed);
    return;
  }
  env_dump_fd = f;
  if (envmon_nm != nullptr && envmon_is_rp_card_type(envmon_nm->card_type)) {
    envmon_hal_fan_mgmt_dump_data_structures();
    envmon_dump_pwr_mgmt_data();
    envmon_hal_pwr_mgmt_dump_data();
    envmon_dump_rm_data();
  }
  envmon_dump_nm_data();
  fclose(f);
  env_dump_fd = nullptr;
}

void envmon_server_temp_monitoring_cb(envmon_client_handle*, void* payload, uint32_t) {
  auto* req = static_cast<temp_monitoring*>(payload);
  if (req == nullptr || envmon_nm == nullptr) return;
  envmon_nm->disable_temp_monitoring = req->disable;
}

void envmon_server_fan_timer_disable_cb(envmon_client_handle*, void* payload) {
  auto* req = static_cast<timer_disable*>(payload);
  if (req == nullptr) return;
  envmon_hal_fan_timer_disable(req->disable);
}

}  // extern "C"
