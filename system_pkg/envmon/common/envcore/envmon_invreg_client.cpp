// The node-scope and rack-scope registration clients: creation, callbacks,
// what each connection registers, the choice of the service's endpoint, and
// disconnection.
#include <stdlib.h>

#include "envmon_invreg_private.h"

using namespace envmon::invreg;

namespace {

constexpr char kCreateFailed[] = "%s(): Unable to instantiate INVREG handle, error: %d\n";
constexpr char kConnecting[] = "%s(): Connecting to INVREG ...\n";
constexpr char kConnectFailed[] = "%s(): Failed to connect to INVREG, error: %d\n";
constexpr char kConnectCbFailed[] = "%s(): Failed to connect to INVREG, err: %u\n";
constexpr char kConnected[] = "%s(): Connected to INVREG\n";
constexpr char kTempFailed[] = "%s: Failed to register temp sensors, rc = %ld\n";
constexpr char kVoltFailed[] = "%s: Failed to register volt sensors, rc = %ld\n";
constexpr char kCurrFailed[] = "%s: Failed to register curr sensors, rc = %ld\n";
constexpr char kPowerFailed[] = "%s: Failed to register power sensors, rc = %ld\n";
constexpr char kNoTemp[] = "%s(): inv invreg connect CB is good, but no temperature eids yet\n";
constexpr char kNoVolt[] = "%s(): inv invreg connect CB is good, but no voltage eids yet\n";
constexpr char kNoCurr[] = "%s(): inv invreg connect CB is good, but no current eids yet\n";
constexpr char kMpaFailed[] = "%s: Failed to register MPA sensors for bay %d , rc = %ld\n";
constexpr char kMgblFailed[] = "%s: Failure in MGBL init!\n";
constexpr char kNoChassisTemp[] = "%s(): inv invreg connect CB is good, but no chassis temp eids yet\n";
constexpr char kNoFanCont[] = "%s(): inv invreg connect CB is good, but no fan container eids yet\n";
constexpr char kNoPtCont[] =
    "%s(): inv invreg connect CB is good, but no powertray container eids yet\n";
constexpr char kDisconnection[] = "%s(): Disconnection from INVREG\n";
constexpr char kDisconnecting[] = "%s(): Disconnecting from INVREG\n";
constexpr char kIn[] = "In %s\n";
constexpr char kNoRmHandle[] = "Invalid envmon_inv_invreg_rm_hdl\n";
constexpr char kDisconnectError[] = "Error %d in invreg_disconnect\n";
constexpr char kDestroyError[] = "Error %d in invreg_handle_destroy\n";
constexpr char kErrorCb[] = "%s(): INVREG CAPI Error callback occurred. Error code: %d.\n";

// Every callback of the node client and of the rack client, in the order
// they are installed.
void install_node_callbacks(invreg_handle_t* h) {
  invreg_set_connect_callback(h, envmon_inv_invreg_nm_connect_cb);
  invreg_set_disconnect_callback(h, envmon_inv_invreg_nm_disconnect_cb);
  invreg_set_error_callback(h, envmon_inv_invreg_nm_error_cb);
  invreg_set_resp_register_eid_callback(h, envmon_inv_invreg_resp_register_eid_cb);
  invreg_set_ds_endpoint_filter_callback(h, envmon_inv_invreg_nm_filter_cb);
  invreg_set_notify_data_update_status_callback(h, envmon_inv_invreg_notify_data_update_status_cb);
  invreg_set_resp_update_entity_state_callback(h, envmon_inv_invreg_resp_update_entity_state_cb);
  invreg_set_flow_resume_callback(h, envmon_inv_invreg_nm_flow_resume_cb);
}

void install_rack_callbacks(invreg_handle_t* h) {
  invreg_set_connect_callback(h, envmon_inv_invreg_rm_connect_cb);
  invreg_set_disconnect_callback(h, envmon_inv_invreg_rm_disconnect_cb);
  invreg_set_error_callback(h, envmon_inv_invreg_rm_error_cb);
  invreg_set_resp_register_eid_callback(h, envmon_inv_invreg_resp_register_eid_cb);
  invreg_set_resp_report_eeprom_data_callback(h, envmon_inv_invreg_resp_report_eeprom_data_cb);
  invreg_set_resp_register_container_eid_callback(
      h, envmon_inv_invreg_rm_resp_register_container_eid_cb);
  invreg_set_resp_register_fru_type_callback(h, envmon_inv_invreg_rm_resp_register_fru_type_cb);
  invreg_set_resp_unregister_fru_type_callback(h,
                                               envmon_inv_invreg_rm_resp_unregister_fru_type_cb);
  invreg_set_set_hw_state_callback(h, envmon_inv_invreg_rm_set_hw_state_cb);
  invreg_set_resp_update_container_location_callback(h, envmon_inv_upd_cntr_eid_nodeid_cb);
  invreg_set_notify_data_update_status_callback(h, envmon_inv_invreg_notify_data_update_status_cb);
  invreg_set_resp_report_pem_status_data_callback(
      h, envmon_inv_invreg_resp_report_pem_status_data_cb);
  invreg_set_ds_endpoint_filter_callback(h, envmon_inv_invreg_rm_filter_cb);
  invreg_set_get_fpga_data_callback(h, envmon_inv_invreg_rm_get_fpga_data_cb);
  invreg_set_resp_report_fpga_data_callback(h, envmon_inv_invreg_rm_resp_report_fpga_data_cb);
  invreg_set_resp_report_led_status_data_callback(
      h, envmon_inv_invreg_rm_resp_report_led_status_data_cb);
  invreg_set_resp_update_eid_descr_callback(h, envmon_inv_invreg_rm_resp_update_eid_descr_cb);
  invreg_set_resp_update_eid_name_callback(h, envmon_inv_invreg_rm_resp_update_eid_name_cb);
  invreg_set_resp_update_system_power_info_callback(
      h, envmon_inv_invreg_rm_resp_update_system_power_info_cb);
  invreg_set_resp_update_fru_power_info_callback(
      h, envmon_inv_invreg_rm_resp_update_fru_power_info_cb);
  invreg_set_resp_update_fru_prefix_callback(h, envmon_inv_invreg_rm_resp_update_fru_prefix_cb);
  invreg_set_resp_update_entity_state_callback(h, envmon_inv_invreg_resp_update_entity_state_cb);
  invreg_set_resp_report_event_data_callback(h, envmon_inv_invreg_resp_report_event_data_cb);
  invreg_set_flow_resume_callback(h, envmon_inv_invreg_rm_flow_resume_cb);
}

envmon_err_t client_init(const char* fn, invreg_handle_t** handle, struct evloop* loop,
                         void (*install)(invreg_handle_t*), void (*err_count)(uint32_t),
                         uint32_t err_create, uint32_t err_connect) {
  const int rc = invreg_handle_create(handle, loop, 0);
  if (rc != 0) {
    *handle = nullptr;
    err_count(err_create);
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, fn, rc);
    return static_cast<envmon_err_t>(static_cast<uint32_t>(rc));
  }
  install(*handle);
  tlg_internal(main_tlg_cmn_hdl, kConnecting, fn);
  const int crc = invreg_connect(*handle, nullptr);
  if (crc != 0) {
    invreg_handle_destroy(*handle);
    // A destroyed handle must not be reached through the pointer any more.
    *handle = nullptr;
    err_count(err_connect);
    tlg_internal(err_tlg_cmn_hdl, kConnectFailed, fn, crc);
    return static_cast<envmon_err_t>(static_cast<uint32_t>(crc));
  }
  return ENVMON_OK;
}

// Registers one sensor list and stamps the list; true when it was sent.
bool register_list(const char* fn, uint32_t scope, envmon_sensor_list& list,
                   const char* failed_fmt) {
  if (list.sensors == nullptr || list.count == 0) return false;
  const envmon_err_t rc = envmon_inv_invreg_register_sensors(scope, list.sensors, list.count);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, failed_fmt, fn, static_cast<long>(rc));
  list.reg_state = stamp_reg(list.reg_state);
  return true;
}

// Fan management, the fan drivers' insertion registration and the management
// configuration need both inventory clients: whichever connects second starts them.
void start_rack_services(const char* fn) {
  envmon_hal_fan_mgmt_init();
  envmon_drvif_rm_init();
  if (envmon_rm->rack_nodeid_valid == 0) return;
  if (envmon_mgbl_init(envmon_evloop) != 0) {
    if (env_dump_fd != nullptr || env_fd != nullptr) envmon_debug_log(kMgblFailed, fn);
    exit(-1);
  }
}

void sensor_lists_resend(envmon_sensor_list* lists[], const uint32_t subtypes[], size_t n,
                         uint32_t scope) {
  for (size_t l = 0; l < n; ++l) {
    envmon_sensor_list* list = lists[l];
    for (uint16_t i = 0; list->sensors != nullptr && i < list->count; ++i)
      envmon_check_sensor_flow_ctrl_n_resend(subtypes[l], &list->sensors[i], scope);
  }
}

void remote_cards_resend(envmon_remote_card_cb* cards, uint32_t max) {
  if (cards == nullptr) return;
  static constexpr uint32_t kSubtypes[] = {ENVMON_SENSOR_TEMPERATURE, ENVMON_SENSOR_VOLTAGE,
                                           ENVMON_SENSOR_CURRENT};
  for (uint32_t c = 0; c < max; ++c) {
    envmon_sensor_list* lists[] = {&cards[c].temp_data, &cards[c].voltage_data,
                                   &cards[c].current_data};
    sensor_lists_resend(lists, kSubtypes, 3, ENVMON_SCOPE_RACK);
  }
}

}  // namespace

extern "C" {

envmon_err_t envmon_inv_invreg_nm_client_init(struct evloop* loop) {
  return client_init(__func__, &envmon_inv_invreg_nm_hdl, loop, install_node_callbacks,
                     nm_err_count, kNmErrCrtHndl, kNmErrConnect);
}

envmon_err_t envmon_inv_invreg_rm_client_init(struct evloop* loop) {
  return client_init(__func__, &envmon_inv_invreg_rm_hdl, loop, install_rack_callbacks,
                     rm_err_count, kRmErrCrtHndl, kRmErrConnect);
}

void envmon_inv_invreg_nm_connect_cb(invreg_handle_t*, uint32_t error, void*) {
  static const char* fn = __func__;
  if (error != 0) {
    nm_err_count(kNmErrConnect);
    tlg_internal(err_tlg_cmn_hdl, kConnectCbFailed, fn, error);
    return;
  }
  envmon_debug_log(kConnected, fn);
  tlg_internal(main_tlg_cmn_hdl, kConnected, fn);
  envmon_nm->inv_invreg_connected = 1;
  nm_count(kNmConnect);
  envmon_inv_invreg_nm_reg_all_sensors();
  envmon_drvif_nm_poll_all_sensors(ENVMON_DRV_ALL, ENVMON_POLL_START);
}

void envmon_inv_invreg_nm_reg_all_sensors(void) {
  static const char* fn = __func__;
  if (envmon_nm == nullptr) return;
  envmon_nm_t& nm = *envmon_nm;
  uint32_t lists = 0;
  if (register_list(fn, ENVMON_SCOPE_NODE, nm.temp_data, kTempFailed))
    ++lists;
  else
    tlg_internal(info_tlg_cmn_hdl, kNoTemp, fn);
  if (register_list(fn, ENVMON_SCOPE_NODE, nm.voltage_data, kVoltFailed))
    ++lists;
  else
    tlg_internal(info_tlg_cmn_hdl, kNoVolt, fn);
  if (register_list(fn, ENVMON_SCOPE_NODE, nm.current_data, kCurrFailed))
    ++lists;
  else
    tlg_internal(info_tlg_cmn_hdl, kNoCurr, fn);
  if (register_list(fn, ENVMON_SCOPE_NODE, nm.power_data, kPowerFailed)) ++lists;
  if (lists != 0) envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  for (uint8_t bay = 0; nm.mpa != nullptr && bay < nm.max_mpa; ++bay) {
    const envmon_err_t rc = envmon_inv_register_mpa_sensor(bay);
    if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kMpaFailed, fn, bay, static_cast<long>(rc));
  }
}

void envmon_inv_invreg_rm_connect_cb(invreg_handle_t*, uint32_t error, void*) {
  static const char* fn = __func__;
  if (error != 0) {
    rm_err_count(kRmErrConnect);
    tlg_internal(err_tlg_cmn_hdl, kConnectCbFailed, fn, error);
    return;
  }
  envmon_debug_log(kConnected, fn);
  tlg_internal(main_tlg_cmn_hdl, kConnected, fn);
  envmon_rm->inv_invreg_connected = 1;
  rm_count(kRmConnect);
  envmon_inv_invreg_rm_register_chassis_lvl_eids();
  envmon_drvif_rm_poll_all_sensors(ENVMON_DRV_ALL, ENVMON_POLL_START);
  if (envmon_rm->inv_capi_connected == 1) start_rack_services(fn);
  envmon_hal_inv_invreg_rm_connect();
}

void envmon_inv_invreg_rm_register_chassis_lvl_eid_list(envmon_remote_card_cb* card,
                                                        uint32_t* count) {
  if (card == nullptr) return;
  envmon_sensor_list* lists[] = {&card->temp_data, &card->voltage_data, &card->current_data};
  uint32_t sent = 0;
  for (envmon_sensor_list* l : lists) {
    if (l->sensors == nullptr || l->count == 0) continue;
    envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, l->sensors, l->count);
    l->reg_state = stamp_reg(l->reg_state);
    ++sent;
  }
  if (count != nullptr) *count += sent;
  if (sent == 3) card->reg_state |= retry::kReg.pending;
}

void envmon_inv_invreg_rm_register_chassis_lvl_eids(void) {
  static const char* fn = __func__;
  if (envmon_rm == nullptr) return;
  envmon_rm_t& rm = *envmon_rm;
  uint32_t count = 0;
  if (rm.temp_data.sensors != nullptr && rm.temp_data.count != 0) {
    envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, rm.temp_data.sensors, rm.temp_data.count);
    rm.temp_data.reg_state = stamp_reg(rm.temp_data.reg_state);
    ++count;
  } else {
    tlg_internal(info_tlg_cmn_hdl, kNoChassisTemp, fn);
  }
  if (rm.fan_cont_count != 0 && rm.fan_cont_eids != nullptr) {
    envmon_inv_invreg_rm_register_container_eid(rm.fan_cont_eids, rm.fan_cont_count,
                                                rm.chassis_xml);
    for (uint16_t i = 0; rm.fan_cont_reg_state != nullptr && i < rm.fan_cont_count; ++i) {
      rm.fan_cont_reg_state[i] = stamp_reg(rm.fan_cont_reg_state[i]);
      ++count;
    }
  } else {
    tlg_internal(info_tlg_cmn_hdl, kNoFanCont, fn);
  }
  if (rm.pwr_tray_count != 0 && rm.pwr_tray_cont_eids != nullptr) {
    envmon_inv_invreg_rm_register_container_eid(rm.pwr_tray_cont_eids, rm.pwr_tray_count,
                                                rm.chassis_xml);
    for (uint16_t i = 0; rm.pwr_tray_cont_reg_state != nullptr && i < rm.pwr_tray_count; ++i) {
      rm.pwr_tray_cont_reg_state[i] = stamp_reg(rm.pwr_tray_cont_reg_state[i]);
      ++count;
    }
  } else if (envmon_hal_get_max_powertray() != 0) {
    tlg_internal(info_tlg_cmn_hdl, kNoPtCont, fn);
  }
  envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(&count);
  if (envmon_hal_are_fc_managed_remotely() && rm.fc_cb != nullptr)
    for (uint32_t i = 0; i < envmon_hal_get_max_fc(); ++i)
      envmon_inv_invreg_rm_register_chassis_lvl_eid_list(&rm.fc_cb[i], &count);
  if (envmon_hal_are_lc_managed_remotely() && rm.lc_cb != nullptr)
    for (uint32_t i = 0; i < envmon_hal_get_max_lc(); ++i)
      envmon_inv_invreg_rm_register_chassis_lvl_eid_list(&rm.lc_cb[i], &count);
  if (envmon_hal_are_sw_managed_remotely() && rm.sw_cb != nullptr)
    for (uint32_t i = 0; i < envmon_hal_get_max_swc(); ++i)
      envmon_inv_invreg_rm_register_chassis_lvl_eid_list(&rm.sw_cb[i], &count);
  if (count != 0) envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
}

void envmon_inv_invreg_nm_flow_resume_cb(invreg_handle_t*) {
  tlg_internal(info_tlg_cmn_hdl, "%s() called\n", __func__);
  if (envmon_nm == nullptr) return;
  envmon_sensor_list* lists[] = {&envmon_nm->temp_data, &envmon_nm->voltage_data,
                                 &envmon_nm->current_data};
  static constexpr uint32_t kSubtypes[] = {ENVMON_SENSOR_TEMPERATURE, ENVMON_SENSOR_VOLTAGE,
                                           ENVMON_SENSOR_CURRENT};
  sensor_lists_resend(lists, kSubtypes, 3, ENVMON_SCOPE_NODE);
}

void envmon_inv_invreg_rm_flow_resume_cb(invreg_handle_t*) {
  static const char* fn = __func__;
  tlg_internal(info_tlg_cmn_hdl, "%s() called\n", fn);
  if (envmon_rm == nullptr) return;
  envmon_rm_t& rm = *envmon_rm;
  remote_cards_resend(rm.fc_cb, envmon_hal_get_max_fc());
  remote_cards_resend(rm.sw_cb, envmon_hal_get_max_swc());
  if (envmon_hal_are_lc_managed_remotely()) remote_cards_resend(rm.lc_cb, envmon_hal_get_max_lc());
  for (uint32_t t = 0; rm.fantray_cb != nullptr && t < envmon_hal_get_max_fantray(); ++t) {
    fantray_cb& ft = rm.fantray_cb[t];
    if (ft.fru_prefix_capi_flow_ctrl != 0) {
      envmon_hal_inv_invreg_update_entity_prefix(static_cast<int32_t>(ft.hw_position));
      tlg_internal(info_tlg_cmn_hdl, "%s(): resent fru prefix for fantray %d\n", fn,
                   static_cast<int>(t));
    }
    envmon_sensor_list* lists[] = {&ft.temp_data, &ft.voltage_data, &ft.fan_data,
                                   &ft.subtype13_data};
    static constexpr uint32_t kSubtypes[] = {ENVMON_SENSOR_TEMPERATURE, ENVMON_SENSOR_VOLTAGE,
                                             ENVMON_SENSOR_FAN_SPEED, ENVMON_SENSOR_LED};
    sensor_lists_resend(lists, kSubtypes, 4, ENVMON_SCOPE_RACK);
    for (uint32_t f = 0; ft.fpd_data != nullptr && f < ft.fpd_count; ++f) {
      if (ft.fpd_data[f].val_capi_flow_ctrl == 0) continue;
      envmon_inv_invreg_rm_report_fpga_data(&ft.fpd_data[f], 0);
      tlg_internal(info_tlg_cmn_hdl, "%s(): resent fpd data for fantray %d\n", fn,
                   static_cast<int>(t));
    }
  }
  envmon_pwr_mgmt_data_t* pm = rm.pwr_mgmt_data;
  if (pm != nullptr && pm->envmon_pwr_tray_data != nullptr) {
    for (uint32_t t = 0; t < envmon_hal_get_max_powertray() && t < rm.pwr_tray_count; ++t) {
      envmon_pwr_tray_budget& pt = pm->envmon_pwr_tray_data[t];
      if (pt.fru_prefix_capi_flow_ctrl == 0) continue;
      envmon_hal_inv_invreg_update_entity_prefix(pt.hw_position);
      tlg_internal(info_tlg_cmn_hdl, "%s(): resent fru prefix for power tray %d\n", fn,
                   static_cast<int>(t));
    }
  }
  envmon_hal_invreg_flow_resume_chk_n_resend_pwr_data();
}

void envmon_inv_invreg_nm_disconnect_cb(invreg_handle_t*, uint32_t, void*) {
  static const char* fn = __func__;
  envmon_debug_log(kDisconnection, fn);
  tlg_internal(main_tlg_cmn_hdl, kDisconnecting, fn);
  envmon_nm->inv_invreg_connected = 0;
  nm_count(kNmDisconn);
  envmon_fsa_cleanup_all_inv_retry_request(ENVMON_SCOPE_NODE);
}

void envmon_inv_invreg_rm_disconnect_cb(invreg_handle_t*, uint32_t, void*) {
  static const char* fn = __func__;
  envmon_debug_log(kDisconnection, fn);
  tlg_internal(main_tlg_cmn_hdl, kDisconnecting, fn);
  envmon_rm->inv_invreg_connected = 0;
  rm_count(kRmDisconn);
  for (uint32_t t = 0; t < envmon_hal_get_max_fantray(); ++t)
    envmon_hal_fan_mgmt_inv_reg_set_state(t, 0);
  envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
  if (envmon_hal_get_max_powertray() != 0 && pm != nullptr && pm->envmon_pwr_tray_data != nullptr)
    for (uint32_t t = 0; t < envmon_rm->pwr_tray_count; ++t)
      pm->envmon_pwr_tray_data[t].container_regi_done = 0;
  envmon_hal_inv_invreg_rm_disconnect();
  envmon_fsa_cleanup_all_inv_retry_request(ENVMON_SCOPE_RACK);
}

void envmon_inv_invreg_rm_client_disconnect(void) {
  tlg_internal(main_tlg_cmn_hdl, kIn, __func__);
  if (envmon_inv_invreg_rm_hdl == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoRmHandle);
    return;
  }
  int rc = invreg_disconnect(envmon_inv_invreg_rm_hdl, nullptr);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kDisconnectError, rc);
  if (envmon_rm != nullptr) envmon_rm->inv_invreg_connected = 0;
  rc = invreg_handle_destroy(envmon_inv_invreg_rm_hdl);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kDestroyError, rc);
  envmon_inv_invreg_rm_hdl = nullptr;
}

void envmon_inv_invreg_nm_error_cb(invreg_handle_t*, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kErrorCb, __func__, code);
  nm_err_count(kNmErrError);
}

void envmon_inv_invreg_rm_error_cb(invreg_handle_t*, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kErrorCb, __func__, code);
  rm_err_count(kRmErrError);
}

}  // extern "C"
