// Platform-driver client: the driver table, creation and connection of the
// handles, the connect, disconnect, error and endpoint-filter callbacks, and
// the entity-event registrations with their answer.
#include <stdlib.h>
#include <strings.h>
#include <string.h>

#include "envmon.h"
#include "envmon_ceb_fsa.h"
#include "envmon_drvif_private.h"

using namespace envmon_drvif;
using envmon_acq::EidText;

namespace {

constexpr char kCreateFailed[] = "%s(): Unable to instantiate drvif handle, error: %d\n";
constexpr char kConnecting[] = "%s(): Connecting to drvif ... drv %d\n";
constexpr char kConnectFailed[] = "%s(): Failed to connect to drvif driver %d, error: %d\n";
constexpr char kAlreadyCreated[] = "%s(): drvif handle of driver %d exists already\n";
constexpr char kNoDriver[] = "%s() Did not find matching driver for handle %p\n\n";
constexpr char kDisconnectFailed[] = "%s(): Failed to disconnect to DRVIF, driver=%d, error: %d\n";
constexpr char kCbConnectFailed[] = "%s(): Failed to connect to DRVIF driver %d, err: %u\n";
constexpr char kConnected[] = "%s(): Connected to DRVIF driver %d\n";
constexpr char kFanLater[] = "%s(): Not connected to invreg RM, register for fan notification later\n";
constexpr char kPwrNotYet[] =
    "Cannot register with PWR driver yet - power tray container registration is not done.\n";
constexpr char kEcuLater[] = "%s(): Not connected to invreg RM, register for ECU notification later\n";
constexpr char kBadHandle[] = "%s(): error getting driver %d for hdl %p\n\n";
constexpr char kRegFailed[] = "%s(): error while doing eid registration with driver %ld rc = %d\n\n";
constexpr char kRegOk[] = "%s(): Sucessful eid registration with driver %d \n\n";
constexpr char kDisconnecting[] = "%s(): Disconnecting from DRVIF Driver %d\n";
constexpr char kErrorCb[] = "%s(): DRVIF CAPI Error callback occurred. Error code: %d.\n\n";
constexpr char kFilterEntry[] =
    "%s(): scope %d ip 0x%x port %u attr_count %u cl_name %u, curr_ipaddr = 0x%x, curr_port = %u\n";
constexpr char kNotRp[] = "%s(): Not Running from RP/SCso don't connect to rack scope service\n";
constexpr char kDiscOk[] = "%s(): successful call to msgpipe_disconnect\n\n";
constexpr char kDiscFail[] = "%s(): failed to msgpipe_disconnect\n\n";
constexpr char kConnOk[] = "%s(): successful call connect_with_endpoint, scope %d ip 0x%x port %u \n\n";
constexpr char kConnFail[] = "%s(): connect_with_endpoint failed, scope %d ip 0x%x port %u \n\n";
constexpr char kFanReg[] = "%s(): eid register for DRVIF FAN\n";
constexpr char kFanRegFailed[] = "%s(): error while registering for fan oir notifications rc = %d\n";
constexpr char kFanNotConnected[] = "%s(): capi not connected to DRVIF, failed to register fan events\n\n";
constexpr char kSecFanReg[] = "%s(): eid register for DRVIF SEC FAN\n";
constexpr char kSecFanNotConnected[] =
    "%s(): sec fan capi not connected to DRVIF, failed to register fan events\n\n";
constexpr char kPwrAlready[] = "%s ingore: already registered with PWR drv for pwr tray\n";
constexpr char kPwrFailed[] = "%s(): error while register with PWR driver for power tray, rc = %d\n";
constexpr char kPwrOk[] = "%s(): register with PWR driver ok for power tray\n";
constexpr char kRespError[] = "%s(): error getting resp for register eid for driver %d, err: %u\n";
constexpr char kAck[] = "%s(): ack[%d]: %d for driver %d\n\n";
constexpr char kNoPt[] = "No PT detected by driver %d\n";
constexpr char kNotRegistered[] = "Driver(%d) not registered\n";
constexpr char kUnregFailed[] = "%s(): error while doing eid registration with driver %d rc = %d\n\n";

constexpr uint32_t kAckNoPowerTray = 14;

// A one-element registration request.
struct Registration {
  uint32_t op = 1, pt = 0, rt = 0;
  drvif_eid_register_req req{};
  Registration() = default;
  Registration(uint32_t o, uint32_t p, uint32_t r) : op(o), pt(p), rt(r) { fill(); }
  void fill() {
    req.op = &op;
    req.op_count = 1;
    req.pt = &pt;
    req.pt_count = 1;
    req.rt = &rt;
    req.rt_count = 1;
    req.present = 0x7;
  }
};

bool rp_or_sc_card(uint32_t card_type) {
  for (uint32_t i = 0; i < envmon_rp_sc_card_types_count; ++i)
    if (envmon_rp_sc_card_types[i] == card_type) return true;
  return false;
}

envmon_pwr_mgmt_data_t* pm_data() { return envmon_rm ? envmon_rm->pwr_mgmt_data : nullptr; }

void set_callbacks(drvif_handle_t* h) {
  drvif_set_connect_callback(h, envmon_drvif_connect_cb);
  drvif_set_disconnect_callback(h, envmon_drvif_disconnect_cb);
  drvif_set_error_callback(h, envmon_drvif_error_cb);
  drvif_set_resp_set_sensor_info_callback(h, envmon_drvif_resp_set_sensor_info_cb);
  drvif_set_resp_eid_config_polling_callback(h, envmon_drvif_resp_eid_config_polling_cb);
  drvif_set_notify_eid_data_callback(h, envmon_drvif_notify_eid_data_cb);
  drvif_set_notify_sensor_data_callback(h, envmon_drvif_notify_sensor_data_cb);
  drvif_set_ds_endpoint_filter_callback(h, envmon_drvif_filter_cb);
  drvif_set_resp_eid_register_callback(h, envmon_drvif_resp_eid_register_cb);
  drvif_set_resp_get_fpga_info_callback(h, envmon_drvif_resp_get_fpga_info_cb);
  drvif_set_resp_set_fpga_info_callback(h, envmon_drvif_resp_set_fpga_info_cb);
  drvif_set_notify_fpga_data_callback(h, envmon_drvif_notify_fpga_data_cb);
  drvif_set_notify_led_data_callback(h, envmon_drvif_notify_led_data_cb);
  drvif_set_resp_set_auxiliary_sensor_info_callback(h, envmon_drvif_resp_set_aux_sensor_info_cb);
}

}  // namespace

namespace envmon_drvif {

bool tolsek_platform() {
  const char* name = envmon_hal_get_platform_name();
  return name && strcasestr(name, "Tolsek") != nullptr;
}

bool copy_own_slot(const pelm_eid* from, pelm_eid* to, uint32_t* scope) {
  *to = pelm_eid{};
  if (inv_util_copy_pelm_eid_to_pelm_eid(from, to) != INV_UTIL_OK) return false;
  *scope = ENVMON_SCOPE_RACK;
  if (envmon_nm && to->slot == envmon_nm->slot_num) {
    to->slot = ENVMON_SLOT_SELF;
    *scope = ENVMON_SCOPE_NODE;
  }
  return true;
}

}  // namespace envmon_drvif

extern "C" {

struct drvif_handle* envmon_drvif_driver_table[ENVMON_DRVIF_MAX];

int32_t envmon_drvif_init(struct evloop* loop, uint32_t index) {
  static constexpr char kFunc[] = "envmon_drvif_init";
  if (!driver_ok(index)) return DRVIF_ERR_FAILED;
  // A repeated start-up pass keeps the handle it made.
  if (envmon_drvif_driver_table[index]) {
    tlg_internal(main_tlg_cmn_hdl, kAlreadyCreated, kFunc, static_cast<int>(index));
    return 0;
  }
  int rc = drvif_handle_create(&envmon_drvif_driver_table[index], loop, 0);
  if (rc != 0 || !envmon_drvif_driver_table[index]) {
    envmon_drvif_driver_table[index] = nullptr;
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, kFunc, rc);
    count(kErrCrtHndl);
    return rc ? rc : DRVIF_ERR_FAILED;
  }
  drvif_handle_t* h = envmon_drvif_driver_table[index];
  envmon_fpd_timer_tree_init(loop);
  set_callbacks(h);
  tlg_internal(main_tlg_cmn_hdl, kConnecting, kFunc, static_cast<int>(index));
  rc = drvif_connect(h, index);
  if (rc != 0) {
    drvif_handle_destroy(h);
    envmon_drvif_driver_table[index] = nullptr;
    tlg_internal(err_tlg_cmn_hdl, kConnectFailed, kFunc, static_cast<int>(index), rc);
    count(kErrConnect);
    return rc;
  }
  return 0;
}

struct drvif_handle* get_drvif_driver_handler(uint32_t index) {
  return driver_ok(index) ? envmon_drvif_driver_table[index] : nullptr;
}

uint32_t envmon_drvif_get_driver_index(const struct drvif_handle* handle) {
  for (uint32_t i = 0; handle && i < ENVMON_DRVIF_MAX; ++i)
    if (envmon_drvif_driver_table[i] == handle) return i;
  tlg_internal(err_tlg_cmn_hdl, kNoDriver, "envmon_drvif_get_driver_index",
               const_cast<void*>(static_cast<const void*>(handle)));
  return ENVMON_DRV_ALL;
}

void envmon_drvif_disconnect(uint32_t index) {
  drvif_handle_t* h = get_drvif_driver_handler(index);
  if (!h) return;
  const int rc = drvif_disconnect(h);
  if (rc != 0)
    tlg_internal(err_tlg_cmn_hdl, kDisconnectFailed, "envmon_drvif_disconnect",
                 static_cast<int>(index), rc);
}

void envmon_drvif_connect_cb(struct drvif_handle* handle, uint32_t status, uint64_t ctx) {
  static constexpr char kFunc[] = "envmon_drvif_connect_cb";
  const uint32_t index = static_cast<uint32_t>(ctx);
  if (status != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCbConnectFailed, kFunc, static_cast<int>(index), status);
    count(kErrConnect);
    return;
  }
  if (!driver_ok(index) || !envmon_nm) return;
  tlg_internal(main_tlg_cmn_hdl, kConnected, kFunc, static_cast<int>(index));
  envmon_nm->drvif_connected[index] = 1;
  count(kConnect);
  Registration r;
  r.fill();
  bool send = true;
  switch (index) {
    case ENVMON_DRV_FAN:
    case ENVMON_DRV_FAN2:
      if (!envmon_rm || envmon_rm->inv_invreg_connected != 1 || envmon_rm->inv_capi_connected != 1) {
        tlg_internal(main_tlg_cmn_hdl, kFanLater, kFunc);
        return;
      }
      r.pt = 7;
      r.rt = 7;
      break;
    case ENVMON_DRV_POWER:
      envmon_hal_drvif_connect(ENVMON_DRV_POWER);
      if (envmon_all_power_tray_container_regi_done())
        envmon_drvif_pwr_regi();
      else if (envmon_hal_get_max_virtual_powertray() != 0)
        envmon_hal_drvif_post_connect_actions(ENVMON_DRV_POWER);
      else
        tlg_internal(main_tlg_cmn_hdl, kPwrNotYet);
      return;
    case 7:
      if (!envmon_rm || !envmon_rm->inv_invreg_connected) {
        tlg_internal(main_tlg_cmn_hdl, kEcuLater, kFunc);
        return;
      }
      envmon_hal_drvif_reg_ecu_eids(&r.req);
      send = false;
      break;
    default:
      r.pt = 8;
      r.rt = 1;
      break;
  }
  if (send) {
    const uint32_t found = envmon_drvif_get_driver_index(handle);
    if (found == ENVMON_DRV_ALL) {
      tlg_internal(err_tlg_cmn_hdl, kBadHandle, kFunc, static_cast<int>(found),
                   static_cast<void*>(handle));
      return;
    }
    const int rc = drvif_eid_register(envmon_drvif_driver_table[index], &r.req, 0);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kRegFailed, kFunc, static_cast<long>(index), rc);
    } else {
      tlg_internal(main_tlg_cmn_hdl, kRegOk, kFunc, static_cast<int>(index));
      if (index == ENVMON_DRV_FAN && envmon_rm && envmon_rm->fantray_cb) {
        // Upgrades that were running when the fan driver went away.
        for (uint32_t t = 0; t < envmon_hal_get_max_fantray(); ++t) {
          fantray_cb& ft = envmon_rm->fantray_cb[t];
          for (uint32_t f = 0; ft.fpd_data && f < ft.fpd_count; ++f)
            if (ft.fpd_data[f].state_set == 2 || ft.fpd_data[f].state_set == 3)
              envmon_drvif_request_fpd_upd(ENVMON_DRV_FAN, &ft.fpd_data[f]);
        }
      } else if (index != ENVMON_DRV_FAN) {
        envmon_hal_drvif_post_connect_actions(index);
      }
    }
  }
  if (envmon_nm->inv_invreg_connected) {
    envmon_inv_invreg_nm_reg_all_sensors();
    envmon_drvif_nm_poll_all_sensors(index, ENVMON_POLL_START);
  }
  if (envmon_rm && envmon_rm->inv_invreg_connected) {
    envmon_inv_invreg_rm_register_chassis_lvl_eids();
    envmon_drvif_rm_poll_all_sensors(index, ENVMON_POLL_START);
  }
}

void envmon_drvif_disconnect_cb(struct drvif_handle*, uint32_t, uint64_t ctx) {
  const uint32_t index = static_cast<uint32_t>(ctx);
  tlg_internal(main_tlg_cmn_hdl, kDisconnecting, "envmon_drvif_disconnect_cb", static_cast<int>(index));
  if (!driver_ok(index)) return;
  if (envmon_nm) envmon_nm->drvif_connected[index] = 0;
  count(kDisconn);
  envmon_hal_drvif_disconnect(index);
  envmon_fsa_cleanup_all_drvif_retry_request(index);
}

void envmon_drvif_error_cb(struct drvif_handle*, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kErrorCb, "envmon_drvif_error_cb", code);
  count(kErrError);
}

void envmon_drvif_filter_cb(struct drvif_handle* handle, const struct ds_service_info* endpoints,
                            uint32_t count_) {
  static constexpr char kFunc[] = "envmon_drvif_filter_cb";
  msgpipe_handle_t* t = drvif_get_transport(handle);
  msgpipe_endpoint current{};
  if (t) msgpipe_get_remote_endpoint(t, &current);
  const bool rp = envmon_nm && rp_or_sc_card(envmon_nm->card_type);
  for (uint32_t i = 0; endpoints && i < count_; ++i) {
    const ds_service_info& e = endpoints[i];
    msgpipe_endpoint ep{};
    if (!msgcodec_test_bit(&e.present, DS_SERVICE_INFO_BIT_ENDPOINT) || !e.endpoint ||
        msgcodec_msgpipe_endpoint_decode_ext(&ep, e.endpoint, e.endpoint_len, malloc) < 0)
      continue;
    const uint32_t attrs = e.attributes ? e.attribute_count : 0;
    const uint32_t cl_name = attrs ? e.attributes[0].int_value : ENVMON_DRV_ALL;
    tlg_internal(main_tlg_cmn_hdl, kFilterEntry, kFunc, static_cast<int>(e.scope), ep.node_address,
                 ep.port, attrs, cl_name, current.node_address, current.port);
    if (!rp && e.scope == ENVMON_SCOPE_RACK) {
      tlg_internal(main_tlg_cmn_hdl, kNotRp, kFunc);
      continue;
    }
    if (!driver_ok(cl_name) || envmon_drvif_driver_table[cl_name] != handle) continue;
    if (msgpipe_endpoint_equals(&ep, &current)) continue;
    if (t && (msgpipe_is_connected(t) || msgpipe_is_connecting(t))) {
      const bool ok = msgpipe_disconnect(t, handle) == 0;
      tlg_internal(main_tlg_cmn_hdl, ok ? kDiscOk : kDiscFail, kFunc);
      envmon_debug_log(ok ? kDiscOk : kDiscFail, kFunc);
    }
    if (drvif_connect_with_endpoint(handle, &ep, cl_name) == 0) {
      tlg_internal(main_tlg_cmn_hdl, kConnOk, kFunc, static_cast<int>(e.scope), ep.node_address, ep.port);
      envmon_debug_log(kConnOk, kFunc, static_cast<int>(e.scope), ep.node_address, ep.port);
      count(kFilter);
      return;
    }
    tlg_internal(err_tlg_cmn_hdl, kConnFail, kFunc, static_cast<int>(e.scope), ep.node_address, ep.port);
    envmon_debug_log(kConnFail, kFunc, static_cast<int>(e.scope), ep.node_address, ep.port);
    count(kErrFilter);
  }
}

envmon_err_t envmon_drvif_rm_init(void) {
  static constexpr char kFunc[] = "envmon_drvif_rm_init";
  Registration r(1, 7, 7);
  if (connected(ENVMON_DRV_FAN)) {
    tlg_internal(main_tlg_cmn_hdl, kFanReg, kFunc);
    const int rc = drvif_eid_register(envmon_drvif_driver_table[ENVMON_DRV_FAN], &r.req, 0);
    if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kFanRegFailed, kFunc, rc);
  } else {
    tlg_internal(err_tlg_cmn_hdl, kFanNotConnected, kFunc);
  }
  if (connected(ENVMON_DRV_FAN2)) {
    tlg_internal(main_tlg_cmn_hdl, kSecFanReg, kFunc);
    const int rc = drvif_eid_register(envmon_drvif_driver_table[ENVMON_DRV_FAN2], &r.req, 0);
    if (rc == 0) return ENVMON_OK;
    tlg_internal(err_tlg_cmn_hdl, kFanRegFailed, kFunc, rc);
  } else {
    tlg_internal(err_tlg_cmn_hdl, kSecFanNotConnected, kFunc);
  }
  return ENVMON_ERR_INVALID_ARG;
}

void envmon_drvif_pwr_regi(void) {
  static constexpr char kFunc[] = "envmon_drvif_pwr_regi";
  envmon_pwr_mgmt_data_t* pm = pm_data();
  if (pm && pm->pwr_tray_drvif_reg_done) {
    tlg_internal(main_tlg_cmn_hdl, kPwrAlready, kFunc);
    return;
  }
  Registration r(1, 9, 10);
  drvif_handle_t* h = get_drvif_driver_handler(ENVMON_DRV_POWER);
  const int rc = h ? drvif_eid_register(h, &r.req, 0) : DRVIF_ERR_NOT_CONNECTED;
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kPwrFailed, kFunc, rc);
  } else {
    if (pm) pm->pwr_tray_drvif_reg_done = 1;
    tlg_internal(main_tlg_cmn_hdl, kPwrOk, kFunc);
    if (envmon_rm && envmon_rm->rack != ENVMON_RACK_UNKNOWN) envmon_hal_update_rack_num(envmon_rm->rack);
  }
  envmon_hal_drvif_post_connect_actions(ENVMON_DRV_POWER);
}

void envmon_drvif_resp_eid_register_cb(struct drvif_handle* handle,
                                       const struct drvif_eid_register_resp* msg, uint8_t, int32_t status,
                                       uint64_t) {
  static constexpr char kFunc[] = "envmon_drvif_resp_eid_register_cb";
  const uint32_t index = envmon_drvif_get_driver_index(handle);
  if (index == ENVMON_DRV_ALL) {
    tlg_internal(err_tlg_cmn_hdl, kBadHandle, kFunc, static_cast<int>(index), static_cast<void*>(handle));
    return;
  }
  if (status != 0 || !msg) {
    tlg_internal(err_tlg_cmn_hdl, kRespError, kFunc, static_cast<int>(index), static_cast<unsigned>(status));
    return;
  }
  for (uint32_t i = 0; msg->ack && i < msg->ack_count; ++i) {
    tlg_internal(main_tlg_cmn_hdl, kAck, kFunc, static_cast<int>(i), static_cast<int>(msg->ack[i]),
                 static_cast<int>(index));
    if (msg->ack[i] == kAckNoPowerTray) {
      if (envmon_pwr_mgmt_data_t* pm = pm_data()) pm->no_pt_detected = 1;
      tlg_internal(main_tlg_cmn_hdl, kNoPt, static_cast<int>(index));
    }
  }
}

int32_t envmon_drvif_unregister_eid(uint32_t driver, uint32_t pt, uint32_t op) {
  drvif_handle_t* h = get_drvif_driver_handler(driver);
  if (!h) {
    tlg_internal(err_tlg_cmn_hdl, kNotRegistered, static_cast<int>(driver));
    return -1;
  }
  const uint32_t rt = (driver == ENVMON_DRV_FAN || driver == ENVMON_DRV_FAN2) ? 4
                      : driver == ENVMON_DRV_POWER                           ? 8
                                                                             : 1;
  Registration r(op, pt, rt);
  const int rc = drvif_eid_unregister(h, &r.req, 0);
  if (rc != 0)
    tlg_internal(err_tlg_cmn_hdl, kUnregFailed, "envmon_drvif_unregister_eid", static_cast<int>(driver), rc);
  return rc;
}

}  // extern "C"
