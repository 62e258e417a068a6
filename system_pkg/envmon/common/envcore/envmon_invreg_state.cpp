// Pushes of LED colours, power data, entity states, hardware events, names
// and the hidden flag; the re-push of one sensor by its subtype; and the
// inventory's set-hardware-state request.
#include <stdlib.h>

#include <memory>

#include "envmon_invreg_private.h"

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kNoHandle[] = "%s(): could not get invreg handle for scope %d\n";
constexpr char kLedUpdating[] = "%s(): updating led EID = %s color %d in invDB\n";
constexpr char kLedFailed[] = "%s(): Failed to update inventory with LED status, capi error rc = %d\n";
constexpr char kLedNotConnected[] =
    "%s(): Failed to update inventory with led status, %s invreg not connected\n";
constexpr char kRmDataNotConnected[] =
    "%s(): Failed to update inventory data, RM invreg not connected\n";
constexpr char kFruPower[] =
    "invreg_update_fru_power_info: EID %s, power_allocated %d,status %d, fru_current %d, "
    "is_producer %d, rc %d\n";
constexpr char kSysPower[] =
    "invreg_update_system_power_info: EID %s, usable_pwr %d, prot_pwr %d, resrv_n_alloc_pwr %d, "
    "cnf_pwr_red_mode %d, act_pwr_red_mode %d, rc %d\n";
constexpr char kStateNotConnected[] = "%s(): Failed to update EID state %s invreg not connected\n";
constexpr char kStateNoMemory[] = "%s: MEM alloc failed\n";
constexpr char kStateFailed[] = "%s: eid %s, invreg_update_entity_oper_state rc = %d \n";
constexpr char kAdminFailed[] =
    "EID : %s, state : %d. invreg_update_entity_power_admin_state() FAILED.rc : %d\n\n";
constexpr char kAdminOk[] = "EID : %s, state : %d. invreg_update_entity_power_admin_state() OK.\n\n";
constexpr char kOperFailed[] =
    "EID : %s, state : %d. invreg_update_entity_power_oper_state() FAILED.rc : %d\n\n";
constexpr char kOperOk[] = "EID : %s, state : %d. invreg_update_entity_power_oper_state() OK.\n\n";
constexpr char kHwEventSet[] = "%s(): set hw event_data %d for eid %s \n";
constexpr char kHwEventFailed[] = "%s(): Failed to update inventory with hw state, capi error rc = %d\n";
constexpr char kHwEventNotConnected[] =
    "%s(): Failed to update inventory with hw state %s invreg not connected\n";
constexpr char kEventAckErr[] = "%s: err return_code %u\n";
constexpr char kEventAck[] = "%s():hwevent ack for slot: %d, event: %d,rc: %d, ack:%d\n";
constexpr char kScopeUnsupported[] = "%s(): scope %d is not supported\n";
constexpr char kNameNotConnected[] = "%s(): Failed to update inventory data, %s invreg not connected\n";
constexpr char kName[] = "%s: invreg_update_eid_name for EID = %s, name = %s, rc=%d\n";
constexpr char kHideNotConnected[] = "Failed to update inventory data, invreg not connected, scope %d\n";
constexpr char kHide[] = "for ceid  %s hide %d \n";
constexpr char kHideFailed[] = "failed to hide EDI %s  \n";
constexpr char kSetHwNotConnected[] = "%s(): error setting hw state, capi not connected\n";
constexpr char kSetHwFailed[] = "%s(): error setting hw state, capi error, rc = %d\n";
constexpr char kAfterReg[] = "%s: eid=%s\n";
constexpr char kResent[] = "%s: eid=%s (scope %d), value %d re-sent; state %d%s re-sent\n";
constexpr char kNotNeeded[] = " does not need to be";

constexpr const char* kHwOperational = "HW Operational";
constexpr const char* kHwAccessFailure = "HW Access Failure";
constexpr const char* kUnknown = "Unknown";

// LED colour of inventory for a driver's LED code 0-9.
constexpr uint32_t kLedColour[] = {0, 1, 2, 3, 4, 5, 8, 9, 6, 7};
constexpr uint32_t kLedKindFanTray = 3;
constexpr uint32_t kLedKindOther = 2;

// State-list pushes: oper, power admin, power oper.
using state_send_fn = int (*)(invreg_handle_t*, const invreg_entity_state_list*, uint64_t);

int32_t power_state_push(invreg_handle_t* h, const pelm_eid* eid, uint32_t state,
                         state_send_fn send, const char* failed, const char* ok) {
  if (eid == nullptr) return INVREG_FAILED;
  invreg_entity_state entry{};
  const int copied = inv_util_copy_pelm_eid_to_pelm_eid(eid, &entry.eid);
  int32_t rc = copied;
  if (copied == INV_UTIL_OK) {
    entry.state = state;
    entry.present = 0x3;
    invreg_entity_state_list list{&entry, 1, 0x1};
    const int src = send(h, &list, 0);
    if (src != 0) {
      tlg_internal(err_tlg_cmn_hdl, failed, eid_text(*eid).data(), static_cast<int>(state), src);
      rc = src;
    } else if (envmon_nm != nullptr && envmon_nm->drvif_debug != 0) {
      tlg_internal(dbg_tlg_cmn_hdl, ok, eid_text(*eid).data(), static_cast<int>(state));
    }
  }
  envmon_free_tsi(&entry.eid);
  return rc;
}

// The client of scope 1 or 3 when its flag is 1.
invreg_handle_t* scope_client_exact(uint32_t scope) {
  uint8_t connected = 0;
  invreg_handle_t* h = envmon_get_invreg_handle(scope, &connected);
  return connected == 1 ? h : nullptr;
}

}  // namespace

extern "C" {

int32_t envmon_inv_invreg_led_status_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                            uint32_t scope) {
  static const char* fn = __func__;
  if (eid == nullptr || sensor == nullptr) return INVREG_FAILED;
  uint8_t connected = 0;
  invreg_handle_t* h = envmon_get_invreg_handle(scope, &connected);
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoHandle, fn, static_cast<int>(scope));
    return INVREG_FAILED;
  }
  if (connected == 0) {
    tlg_internal(err_tlg_cmn_hdl, kLedNotConnected, fn, scope_tag(scope));
    return INVREG_FAILED;
  }
  const int32_t code = sensor->value;
  invreg_led_status d{};
  d.eid = *eid;
  uint32_t tray = 0;
  d.led_kind = envmon_is_fantray_slot(eid->slot, &tray) && code == 1 ? kLedKindFanTray
                                                                     : kLedKindOther;
  d.color = code >= 0 && code < static_cast<int32_t>(std::size(kLedColour)) ? kLedColour[code] : 0;
  d.timestamp = sensor->timestamp;
  d.present = 0x0f;
  tlg_internal(info_tlg_cmn_hdl, kLedUpdating, fn, eid_text(*eid).data(), code);
  const int rc = invreg_report_led_status_data(h, &d, 0);
  sensor->val_capi_flow_ctrl = rc == INVREG_FLOW_CONTROLLED ? 1 : 0;
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kLedFailed, fn, rc);
  return rc;
}

void envmon_inv_invreg_fru_power_alloc_update(const pelm_eid* eid, uint32_t power_allocated,
                                              int32_t power_status, int32_t current,
                                              uint8_t is_producer) {
  static const char* fn = __func__;
  if (eid == nullptr) return;
  invreg_handle_t* h = scope_client_exact(ENVMON_SCOPE_RACK);
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kRmDataNotConnected, fn);
    return;
  }
  invreg_fru_power_info d{*eid, power_allocated, power_status, current, is_producer, 0x1f};
  const int rc = invreg_update_fru_power_info(h, &d, 0);
  tlg_internal(pwrm_tlg_cmn_hdl, kFruPower, eid_text(*eid).data(), static_cast<int>(power_allocated),
               power_status, current, is_producer, rc);
}

void envmon_inv_invreg_system_pwr_data_update(int32_t usable_pwr, int32_t prot_pwr,
                                              int32_t resrv_n_alloc_pwr, int32_t cnf_red_mode,
                                              int32_t act_red_mode, int32_t /*sixth*/) {
  static const char* fn = __func__;
  invreg_handle_t* h = scope_client_exact(ENVMON_SCOPE_RACK);
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kRmDataNotConnected, fn);
    return;
  }
  invreg_system_power_info d{envmon_rm->chassis_eid, usable_pwr, prot_pwr, resrv_n_alloc_pwr,
                             cnf_red_mode, act_red_mode, 0, 0x7f};
  const int rc = invreg_update_system_power_info(h, &d, 0);
  tlg_internal(pwrm_tlg_cmn_hdl, kSysPower, eid_text(envmon_rm->chassis_eid).data(), usable_pwr,
               prot_pwr, resrv_n_alloc_pwr, cnf_red_mode, act_red_mode, rc);
}

int32_t envmon_inv_invreg_upd_eid_state(const pelm_eid* eids, const uint32_t* states,
                                        uint32_t count, uint32_t scope) {
  static const char* fn = __func__;
  if (eids == nullptr || states == nullptr || count == 0) return INVREG_FAILED;
  uint8_t connected = 0;
  invreg_handle_t* h = envmon_get_invreg_handle(scope, &connected);
  if (h == nullptr || connected == 0) {
    tlg_internal(err_tlg_cmn_hdl, kStateNotConnected, fn, scope_tag(scope));
    // Not delivered: the caller keeps its old state and pushes it again.
    return INVREG_FAILED;
  }
  std::unique_ptr<invreg_entity_state[], decltype(&free)> entries(
      static_cast<invreg_entity_state*>(calloc(count, sizeof(invreg_entity_state))), &free);
  if (!entries) {
    tlg_internal(err_tlg_cmn_hdl, kStateNoMemory, fn);
    return -4;
  }
  for (uint32_t i = 0; i < count; ++i) {
    inv_util_copy_pelm_eid_to_pelm_eid(&eids[i], &entries[i].eid);
    entries[i].state = states[i];
    entries[i].present = 0x3;
  }
  invreg_entity_state_list list{entries.get(), count, 0x1};
  const int rc = invreg_update_entity_oper_state(h, &list, 0);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kStateFailed, fn, eid_text(eids[0]).data(), rc);
  for (uint32_t i = 0; i < count; ++i) envmon_free_tsi(&entries[i].eid);
  return rc;
}

int32_t envmon_inv_invreg_eid_upd_power_admin_state(struct invreg_handle* handle,
                                                    const pelm_eid* eid, uint32_t state) {
  return power_state_push(handle, eid, state, &invreg_update_entity_power_admin_state,
                          kAdminFailed, kAdminOk);
}

int32_t envmon_inv_invreg_eid_upd_power_oper_state(struct invreg_handle* handle,
                                                   const pelm_eid* eid, uint32_t state) {
  return power_state_push(handle, eid, state, &invreg_update_entity_power_oper_state,
                          kOperFailed, kOperOk);
}

void envmon_inv_invreg_report_hw_event(const pelm_eid* eid, uint32_t scope, uint32_t event) {
  static const char* fn = __func__;
  if (eid == nullptr) return;
  uint8_t connected = 0;
  invreg_handle_t* h = envmon_get_invreg_handle(scope, &connected);
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoHandle, fn, static_cast<int>(scope));
    return;
  }
  if (connected == 0) {
    tlg_internal(err_tlg_cmn_hdl, kHwEventNotConnected, fn, scope_tag(scope));
    return;
  }
  invreg_event_data d{};
  d.eid = *eid;
  d.event_type = event;
  switch (event) {
    case ENVMON_INV_HW_UP:
      d.event_state = 1;
      d.descr = const_cast<char*>(kHwOperational);
      break;
    case ENVMON_INV_HW_DOWN:
      d.event_state = 2;
      d.descr = const_cast<char*>(kHwAccessFailure);
      break;
    default:
      d.event_state = 0;
      d.descr = const_cast<char*>(kUnknown);
      break;
  }
  d.present = 0xf;
  const int rc = invreg_report_event_data(h, &d, 0);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kHwEventFailed, fn, rc);
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kHwEventSet, fn, static_cast<int>(event), eid_text(*eid).data());
}

void envmon_inv_invreg_resp_report_event_data_cb(invreg_handle_t*, const invreg_ack* ack, uint8_t,
                                                 int32_t error, uint64_t user_ctx) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kEventAckErr, fn, static_cast<unsigned>(error));
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kEventAck, fn, static_cast<int>(ack->eid.slot),
               static_cast<int>(user_ctx), error, static_cast<int>(ack->ack));
}

void envmon_inv_invreg_upd_eid_name(const pelm_eid* eid, const char* name, uint32_t scope) {
  static const char* fn = __func__;
  static uint32_t seq_num = 0;
  if (eid == nullptr || name == nullptr) return;
  if (scope != ENVMON_SCOPE_RACK && scope != ENVMON_SCOPE_NODE) {
    tlg_internal(err_tlg_cmn_hdl, kScopeUnsupported, fn, static_cast<int>(scope));
    return;
  }
  invreg_handle_t* h = scope_client_exact(scope);
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNameNotConnected, fn, scope_tag(scope));
    return;
  }
  invreg_eid_name d{++seq_num, *eid, const_cast<char*>(name), 0x7};
  const int rc = invreg_update_eid_name(h, &d, 0);
  tlg_internal(info_tlg_cmn_hdl, kName, fn, eid_text(*eid).data(), name, rc);
}

int32_t envmon_inv_invreg_hide_eid(const pelm_eid* eid, uint32_t scope, uint8_t hide) {
  if (eid == nullptr) return 1;
  invreg_handle_t* h = nullptr;
  if (scope == ENVMON_SCOPE_RACK || scope == ENVMON_SCOPE_NODE) h = scope_client_exact(scope);
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kHideNotConnected, static_cast<int>(scope));
    return 2;
  }
  const auto text = eid_text(*eid);
  tlg_internal(info_tlg_cmn_hdl, kHide, text.data(), hide);
  invreg_eid_base_data d{*eid, hide, 0x3};
  const int rc = invreg_update_eid_base_data(h, &d, 0);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kHideFailed, text.data());
  return rc;
}

void envmon_inv_invreg_rm_set_hw_state_cb(invreg_handle_t*, const invreg_set_hw_state_req* req,
                                          uint64_t req_arg) {
  static const char* fn = __func__;
  invreg_handle_t* h = rm_client();
  if (h == nullptr || req == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kSetHwNotConnected, fn);
    return;
  }
  rm_count(kRmHwStreq);
  const uint32_t slot = req->slot;
  invreg_set_hw_state_resp resp{};
  envmon_setup_fru_eid(slot, &resp.eid);
  resp.state = req->state;
  resp.result = 1;
  resp.present = 0x7;
  const int rc = invreg_resp_set_hw_state(h, &resp, 1, 0, req_arg);
  if (rc != 0)
    tlg_internal(err_tlg_cmn_hdl, kSetHwFailed, fn, rc);
  else
    rm_count(kRmHwStrsp);
  uint32_t idx = 0;
  const bool fan = envmon_is_fantray_slot(slot, &idx);
  const bool tray = envmon_is_powertray_slot(slot, &idx);
  if (!fan && !tray && envmon_hal_get_max_virtual_powertray() != 0) {
    envmon_hal_inv_invreg_report_hw_event(static_cast<int32_t>(slot));
    return;
  }
  uint32_t event = ENVMON_INV_HW_UP;
  if (tray) {
    envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
    if (pm != nullptr && pm->envmon_pwr_tray_data != nullptr &&
        pm->envmon_pwr_tray_data[idx].hw_access_failure != 0)
      event = ENVMON_INV_HW_DOWN;
  }
  envmon_inv_invreg_report_hw_event(&resp.eid, ENVMON_SCOPE_RACK, event);
}

void envmon_inv_invreg_report_sensor_data(uint32_t subtype, envmon_sensor_info* sensor,
                                          uint32_t scope, uint8_t with_state) {
  if (sensor == nullptr) return;
  if (with_state != 0) envmon_update_oper_state(&sensor->eid, sensor->hw_event, scope);
  const bool rack = scope == ENVMON_SCOPE_RACK;
  switch (subtype) {
    case ENVMON_SENSOR_CURRENT:
      envmon_inv_invreg_curr_sensor_update(&sensor->eid, sensor, scope);
      break;
    case ENVMON_SENSOR_FAN_SPEED:
      if (rack)
        envmon_inv_invreg_rm_fan_speed_sensor_update(
            sensor, &sensor->eid, sensor->value, sensor->timestamp, 0,
            static_cast<uint32_t>(sensor->threshold.minor_high),
            static_cast<uint32_t>(sensor->threshold.minor_low));
      break;
    case ENVMON_SENSOR_LED:
      if (rack) envmon_inv_invreg_led_status_update(&sensor->eid, sensor, scope);
      break;
    case ENVMON_SENSOR_POWER:
      if (rack) envmon_inv_invreg_power_usage_update(&sensor->eid, sensor, scope);
      break;
    case ENVMON_SENSOR_TEMPERATURE:
      envmon_inv_invreg_temp_sensor_update(&sensor->eid, sensor, scope, 0);
      break;
    case ENVMON_SENSOR_VOLTAGE:
      envmon_inv_invreg_volt_sensor_update(&sensor->eid, sensor, scope, 0);
      break;
    default:
      break;
  }
}

void envmon_inv_invreg_report_sensor_data_after_reg(uint32_t subtype, envmon_sensor_info* sensor,
                                                    uint32_t scope) {
  if (sensor == nullptr || (sensor->state & retry::kValueWaiting) == 0) return;
  tlg_internal(info_tlg_cmn_hdl, kAfterReg, __func__, eid_text(sensor->eid).data());
  envmon_inv_invreg_report_sensor_data(subtype, sensor, scope, 1);
  sensor->state &= ~retry::kValueWaiting;
}

void envmon_check_sensor_flow_ctrl_n_resend(uint32_t subtype, envmon_sensor_info* sensor,
                                            uint32_t scope) {
  if (sensor == nullptr) return;
  const bool state = sensor->hw_st_capi_flow_ctrl != 0;
  if (state)
    envmon_inv_invreg_report_sensor_data(subtype, sensor, scope, 1);
  else if (sensor->val_capi_flow_ctrl != 0)
    envmon_inv_invreg_report_sensor_data(subtype, sensor, scope, 0);
  else
    return;
  tlg_internal(info_tlg_cmn_hdl, kResent, __func__, eid_text(sensor->eid).data(),
               static_cast<int>(scope), sensor->value, sensor->hw_state, state ? "" : kNotNeeded);
}

}  // extern "C"
