// The inventory-service client: creation, connection, the notification, FRU
// event and FRU power requests, the answers to them, and teardown.
#include <stdlib.h>

#include "envmon_inv_private.h"

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kCreateFailed[] = "%s(): Unable to instantiate inventory handle, error: %d\n";
constexpr char kConnecting[] = "%s(): connecting to inventory ...\n";
constexpr char kConnectFailed[] = "%s(): failed to connect to inventory, error: %d\n";
constexpr char kConnectCbFailed[] = "%s(): Failed to connect to inventory, err: %u\n";
constexpr char kConnected[] = "%s(): Connected  %d to inventory 0x%x\n";
constexpr char kCallingPowerInfo[] = "%s(): calling envmon_inv_req_fru_power_info\n";
constexpr char kMgblFailed[] = "%s: Failure in MGBL init!\n";
constexpr char kNotConnected[] = "%s(): INV CAPI is not connected with invdb\n";
constexpr char kTempStart[] = "%s(): Requesting notification for temperature sensor\n";
constexpr char kAltStart[] = "%s(): Requesting notification for altitude sensor\n";
constexpr char kCurrStart[] = "Requesting notification for current sensors\n";
constexpr char kTempValueFailed[] =
    "%s(): Failed to send notification request for temperature sensor updates capi error rc = %d\n";
constexpr char kTempOperFailed[] =
    "%s(): Failed to send notification request for temperature sensor oper updates capi error rc "
    "= %d\n";
constexpr char kAltValueFailed[] =
    "%s(): Failed to send notification request for altitude sensor updates capi error rc = %d\n";
constexpr char kAltOperFailed[] = "%s(): %d\n";
constexpr char kCurrValueFailed[] =
    "%s(): Failed to send notification request for current sensor updates capi error rc = %d\n";
constexpr char kCurrOperFailed[] =
    "%s(): Failed to send notification request for current sensor oper updates capi error rc = "
    "%d\n";
constexpr char kTempOk[] = "inv_register_event for TEMP OK\n";
constexpr char kAltOk[] = "inv_register_event for altitude OK\n";
constexpr char kCurrOk[] = "inv_register_event for CURR OK\n";
constexpr char kFruEventFailed[] = "error in registering for FRU oir event: ret=0x%x\n\n";
constexpr char kFruEventOk[] = "inv_register_fru_event successful\n";
constexpr char kFruEventRespOk[] = "%s: FRU event OK\n";
constexpr char kFruEventRespFailed[] = "%s: FRU event register failed: rc=0x%x\n";
constexpr char kPowerReqFailed[] = "%s : error in FRU POWER req, ret=0x%x\n\n";
constexpr char kPowerReqOk[] = "%s : ok\n";
constexpr char kPowerReqOkLog[] = "inv_req_fru_power_info OK\n";
constexpr char kEntered[] = "%s ENTERED\n";
constexpr char kNullPowerData[] = "%s: NULL fru power data\n";
constexpr char kRcvdEid[] = "Rcvd EID having R %d, S %d, TSI count %d\n";
constexpr char kRcvdStatus[] =
    "Rcvd EID having fru_power_status %d, power_allocated %d, type %d, subtype %d\n";
constexpr char kPoweredOn[] =
    "%s : Rcvd fru powered on with power_allocated %d fru_power_status %d for subtype %d, inst "
    "%d\n";
constexpr char kAllCardInfo[] = "all card info rcvd\n";
constexpr char kCmInitFailed[] = "%s(): Failed to init CM\n";
constexpr char kExiting[] = "%s:%d - exiting()\n";
constexpr char kDisconnecting[] = "%s(): Disconnecting from inventory\n";
constexpr char kErrorCb[] = "%s(): Inventory CAPI Error callback occurred. Error code: %d.\n";
constexpr char kEventAckRcvd[] = "%s(): Received response inv_event_ack.\n";
constexpr char kEventAckFailed[] = "inv register event failed\n\n";
constexpr char kEventAckOk[] = "received response inv_event_ack.\n\n";
constexpr char kGroupResp[] =
    "%s(): Received response resp_eid_group_data: type %d, subtype %d, eid_count %d\n";
constexpr char kGroupFailed[] = "%s(): retrieve eid group resp failed, capi error = %d\n";
constexpr char kAttrResp[] = "%s(): Received response to sensor_attribute_data:\n";
constexpr char kAttrValues[] =
    " > current_sensor_value: %d, last_sensor_value:%d,  timestamp: %d\n";

// The line the card-manager failure is reported with.
constexpr int kCmInitLine = 689;

constexpr char kFruOirClient[] = "envmon_fru_oir_client";
constexpr uint32_t kFruPowerRequestType = 5;
constexpr uint32_t kFruContainerType = 5;

// Route processors whose own FRU events are not watched.
bool watches_fru_oir(uint32_t card_type) {
  switch (card_type) {
    case 0x1f0802: case 0x1f0803: case 0x1f0804: case 0x1f0807:
      return false;
    default:
      return envmon_is_rp_card_type(card_type);
  }
}

struct notification {
  uint32_t subtype;
  uint32_t value_event;
  uint64_t user_ctx;
  const char* start;
  const char* value_failed;
  const char* oper_failed;
  const char* ok;
};

void request_notification(const char* fn, const notification& n) {
  tlg_internal(info_tlg_cmn_hdl, n.start, fn);
  if (envmon_rm == nullptr || envmon_rm->inv_capi_connected == 0 || envmon_inv_hdl == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNotConnected, fn);
    return;
  }
  inv_event_reg_req req{ENVMON_ENTITY_TYPE_SENSOR, n.subtype, 1, n.value_event, 0xf};
  int rc = inv_register_event(envmon_inv_hdl, &req, n.user_ctx);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, n.value_failed, fn, rc);
  req.event = INV_EVENT_OPER_STATE;
  rc = inv_register_event(envmon_inv_hdl, &req, n.user_ctx);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, n.oper_failed, fn, rc);
    return;
  }
  envmon_debug_log("%s", n.ok);
}

bool is_powered_on(uint32_t status) { return status == 2 || status == 4; }

// The first container level of a FRU power record (type 5, subtype 1 or 4).
const pelm_tsi* fru_power_level(const pelm_eid& eid) {
  if (envmon_is_whitebox_cluster()) return nullptr;
  for (uint32_t i = 0; eid.tsi != nullptr && i < eid.tsi_count; ++i) {
    const pelm_tsi& l = eid.tsi[i];
    const uint32_t st = inv_util_get_pelm_tsi_subtype(&l);
    if (l.type == kFruContainerType && (st == 1 || st == 4)) return &l;
  }
  return nullptr;
}

}  // namespace

extern "C" {

inv_handle_t* envmon_inv_hdl = nullptr;
uint8_t envmon_inv_first_fru_power_info = 1;

envmon_err_t envmon_capi_inv_init(struct evloop* loop) {
  static const char* fn = __func__;
  int rc = inv_handle_create(&envmon_inv_hdl, loop, 0);
  if (rc != 0) {
    envmon_inv_hdl = nullptr;
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, fn, rc);
    return static_cast<envmon_err_t>(static_cast<uint32_t>(rc));
  }
  inv_handle_t* h = envmon_inv_hdl;
  inv_set_connect_callback(h, envmon_inv_connect_cb);
  inv_set_disconnect_callback(h, envmon_inv_disconnect_cb);
  inv_set_error_callback(h, envmon_inv_error_cb);
  if (envmon_inv_is_rp_card()) {
    inv_set_resp_register_event_callback(h, envmon_inv_resp_register_event_cb);
    inv_set_notify_event_callback(h, envmon_inv_notify_event_cb);
    inv_set_resp_eid_group_callback(h, envmon_inv_resp_retrieve_eid_group_cb);
    inv_set_resp_sensor_attribute_callback(h, envmon_inv_resp_retrieve_sensor_attribute_cb);
    inv_set_resp_fru_power_info_callback(h, envmon_inv_resp_fru_power_info_cb);
    inv_set_notify_fru_oir_event_callback(h, envmon_inv_noti_mpa_oir_event_cb);
  } else {
    inv_set_resp_register_fru_event_callback(h, envmon_inv_resp_fru_event_cb);
    inv_set_notify_fru_oir_event_callback(h, envmon_inv_noti_fru_oir_event_cb);
    inv_set_notify_event_callback(h, envmon_mpa_inv_notify_event_cb);
  }
  inv_set_ds_endpoint_filter_callback(h, envmon_inv_filter_ds_endpoints);
  tlg_internal(main_tlg_cmn_hdl, kConnecting, fn);
  rc = inv_connect(h, nullptr);
  if (rc != 0) {
    inv_handle_destroy(h);
    envmon_inv_hdl = nullptr;
    tlg_internal(err_tlg_cmn_hdl, kConnectFailed, fn, rc);
    return static_cast<envmon_err_t>(static_cast<uint32_t>(rc));
  }
  return ENVMON_OK;
}

void envmon_capi_inv_disconnect(void) {
  if (envmon_inv_hdl == nullptr) return;
  if (envmon_rm != nullptr) envmon_rm->inv_capi_connected = 0;
  inv_handle_destroy(envmon_inv_hdl);
  envmon_inv_hdl = nullptr;
}

void envmon_inv_connect_cb(inv_handle_t*, uint32_t error, void*) {
  static const char* fn = __func__;
  if (error != 0) {
    tlg_internal(err_tlg_cmn_hdl, kConnectCbFailed, fn, error);
    return;
  }
  const uint32_t card_type = envmon_nm->card_type;
  tlg_internal(main_tlg_cmn_hdl, kConnected, fn, envmon_rm->inv_capi_connected, card_type);
  envmon_rm->inv_capi_connected = 1;
  if (envmon_inv_is_bb_card()) envmon_capi_inv_request_curr_notification();
  if (!envmon_inv_is_rp_card()) {
    if (envmon_nm->card_container_valid_flag == 0) envmon_inv_register_fru_oir_event();
    return;
  }
  if (watches_fru_oir(card_type)) envmon_inv_register_fru_oir_event();
  if (envmon_hal_check_platform_skip() || (envmon_nm->misc_state & ENVMON_NM_CHASSIS_INFO_DONE)) {
    tlg_internal(info_tlg_cmn_hdl, kCallingPowerInfo, fn);
    envmon_inv_req_fru_power_info();
  }
  if (envmon_rm->inv_invreg_connected == 1) {
    envmon_hal_fan_mgmt_init();
    envmon_drvif_rm_init();
    if (envmon_rm->rack_nodeid_valid != 0 && envmon_mgbl_init(envmon_evloop) != 0) {
      envmon_debug_log(kMgblFailed, fn);
      exit(-1);
    }
  }
  if (envmon_rm->pwr_tray_count != 0 || envmon_rm->pwr_mgmt_data != nullptr)
    envmon_capi_inv_request_curr_notification();
}

void envmon_inv_disconnect_cb(inv_handle_t*, uint32_t, void*) {
  tlg_internal(main_tlg_cmn_hdl, kDisconnecting, __func__);
  if (envmon_rm != nullptr) envmon_rm->inv_capi_connected = 0;
}

void envmon_inv_error_cb(inv_handle_t*, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kErrorCb, __func__, code);
}

void envmon_capi_inv_request_temp_notification(void) {
  request_notification(__func__, notification{ENVMON_SENSOR_TEMPERATURE, INV_EVENT_TEMPERATURE, 0,
                                              kTempStart, kTempValueFailed, kTempOperFailed,
                                              kTempOk});
}

void envmon_capi_inv_request_altitude_notification(void) {
  request_notification(__func__, notification{ENVMON_SENSOR_ALTITUDE, INV_EVENT_ALTITUDE, 0,
                                              kAltStart, kAltValueFailed, kAltOperFailed, kAltOk});
}

void envmon_capi_inv_request_curr_notification(void) {
  request_notification(__func__, notification{ENVMON_SENSOR_CURRENT, INV_EVENT_CURRENT, 1,
                                              kCurrStart, kCurrValueFailed, kCurrOperFailed,
                                              kCurrOk});
}

void envmon_inv_register_fru_oir_event(void) {
  if (envmon_inv_hdl == nullptr) return;
  inv_fru_event_reg_req req{const_cast<char*>(kFruOirClient), 4, ENVMON_SLOT_SELF, 2, 1, 0x1f};
  const int rc = inv_register_fru_event(envmon_inv_hdl, &req, 0);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kFruEventFailed, static_cast<unsigned>(rc));
    return;
  }
  envmon_debug_log(kFruEventOk);
}

void envmon_inv_resp_fru_event_cb(inv_handle_t*, const inv_event_ack* ack, uint8_t, int32_t error,
                                  uint64_t) {
  if (error != 0 || ack == nullptr || ack->ack != 1)
    tlg_internal(err_tlg_cmn_hdl, kFruEventRespFailed, __func__,
                 static_cast<unsigned>(error != 0 ? error : (ack != nullptr ? ack->ack : 0)));
  else
    tlg_internal(info_tlg_cmn_hdl, kFruEventRespOk, __func__);
}

void envmon_inv_req_fru_power_info(void) {
  static const char* fn = __func__;
  if (envmon_inv_hdl == nullptr) return;
  inv_data_req req{};
  req.type = kFruPowerRequestType;
  req.present = 0x1;
  const int rc = inv_req_fru_power_info(envmon_inv_hdl, &req, 0);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kPowerReqFailed, fn, static_cast<unsigned>(rc));
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kPowerReqOk, fn);
  envmon_debug_log(kPowerReqOkLog);
}

void envmon_inv_resp_fru_power_info_cb(inv_handle_t*, const inv_fru_power_list* list, uint8_t,
                                       int32_t, uint64_t) {
  static const char* fn = __func__;
  tlg_internal(info_tlg_cmn_hdl, kEntered, fn);
  if (envmon_inv_first_fru_power_info != 1) return;
  envmon_inv_first_fru_power_info = 0;
  if (list == nullptr || list->recs == nullptr || list->count == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNullPowerData, fn);
  } else {
    for (uint32_t i = 0; i < list->count; ++i) {
      const inv_fru_power_rec& r = list->recs[i];
      tlg_internal(info_tlg_cmn_hdl, kRcvdEid, static_cast<int>(r.eid.rack),
                   static_cast<int>(r.eid.slot), static_cast<int>(r.eid.tsi_count));
      const pelm_tsi* level = fru_power_level(r.eid);
      if (level == nullptr) continue;
      const uint32_t subtype = inv_util_get_pelm_tsi_subtype(level);
      tlg_internal(info_tlg_cmn_hdl, kRcvdStatus, static_cast<int>(r.fru_power_status),
                   static_cast<int>(r.power_allocated), static_cast<int>(level->type),
                   static_cast<int>(subtype));
      if (!is_powered_on(r.fru_power_status)) continue;
      envmon_pwr_mgmt_card_powered_on_update_from_inv(
          static_cast<uint8_t>(subtype), static_cast<int32_t>(level->instance),
          static_cast<int32_t>(r.fru_power_status), r.power_allocated);
      tlg_internal(info_tlg_cmn_hdl, kPoweredOn, fn, static_cast<int>(r.power_allocated),
                   static_cast<int>(r.fru_power_status), static_cast<int>(subtype),
                   static_cast<int>(level->instance));
    }
    envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
    if (pm != nullptr && pm->all_card_info_rcvd != 1) {
      tlg_internal(info_tlg_cmn_hdl, kAllCardInfo);
      pm->all_card_info_rcvd = 1;
      envmon_chk_n_upd_system_pwr_data(true);
      envmon_fru_power_alloc_update_all(false);
      envmon_fru_power_alloc_update_all(true);
    }
  }
  if (envmon_capi_cm_init(envmon_evloop) != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCmInitFailed, fn);
    envmon_debug_log(kExiting, fn, kCmInitLine);
    exit(-1);
  }
}

void envmon_inv_resp_register_event_cb(inv_handle_t*, const inv_event_ack* ack, uint8_t,
                                       int32_t error, uint64_t) {
  tlg_internal(info_tlg_cmn_hdl, kEventAckRcvd, __func__);
  if (error != 0 || ack == nullptr || ack->ack != 1)
    tlg_internal(err_tlg_cmn_hdl, kEventAckFailed);
  else
    tlg_internal(info_tlg_cmn_hdl, kEventAckOk);
}

void envmon_inv_resp_retrieve_eid_group_cb(inv_handle_t*, const inv_data_group* group, uint8_t,
                                           int32_t error, uint64_t) {
  if (error != 0 || group == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kGroupFailed, __func__, error);
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kGroupResp, __func__, static_cast<int>(group->type),
               static_cast<int>(group->subtype), static_cast<int>(group->sensor_count));
}

void envmon_inv_resp_retrieve_sensor_attribute_cb(inv_handle_t*, const inv_sensor_attribute* attr,
                                                  uint8_t, int32_t, uint64_t) {
  tlg_internal(info_tlg_cmn_hdl, kAttrResp, __func__);
  if (attr == nullptr) return;
  tlg_internal(info_tlg_cmn_hdl, kAttrValues, attr->current_value, attr->last_value,
               static_cast<int>(attr->timestamp));
}

}  // extern "C"
