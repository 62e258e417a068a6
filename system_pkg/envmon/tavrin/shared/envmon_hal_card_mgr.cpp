// The library's clients of the card manager: the node client, created at
// start-up, whose connection starts the card-event state machine, and the
// rack client of a route processor, whose connection lets a pending chassis
// request go out. The information callbacks are each platform's.
#include <algorithm>

#include "envhal_card_mgr.h"
#include "envmon_cardtypes.h"
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_stats.h"
#include "envhal_private.h"

namespace {

constexpr int32_t kNoLoop = 22;

card_mgr_node_handle_t node_handle() { return static_cast<card_mgr_node_handle_t>(envhal::card_mgr().node); }
card_mgr_rack_handle_t rack_handle() { return static_cast<card_mgr_rack_handle_t>(envhal::card_mgr().rack); }

void connected(bool rack) {
  tlg_internal(main_tlg_lib_hdl, "%s(): Connected to CARD_MGR service\n",
               rack ? "envmon_card_mgr_rack_connect_cb" : "envmon_card_mgr_node_connect_cb");
  envmon_debug_log(rack ? "card_mgr_rack_connect ok\n" : "card_mgr_node_connect ok\n");
  if (envmon_nm == nullptr) return;
  if (rack) {
    envmon_nm->cm_rack_connected = 1;
  } else {
    envmon_nm->plat_drv_capi_connected = 1;
  }
}

void disconnected(const char* func, bool rack, int32_t err) {
  if (err != 0) {
    envhal::cm_count_error(envhal::kCmErrDisconn);
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to disconnect to CARD_MGR service, err: %u\n", func,
                 static_cast<uint32_t>(err));
    return;
  }
  tlg_internal(main_tlg_lib_hdl, "%s(): Disconnecting from CARD_MGR service\n", func);
  if (envmon_nm != nullptr) {
    if (rack) {
      envmon_nm->cm_rack_connected = 0;
    } else {
      envmon_nm->plat_drv_capi_connected = 0;
    }
  }
  envhal::cm_count(envhal::kCmDisconnect);
}

void error_cb(const char* func, int32_t code) {
  tlg_internal(err_tlg_lib_hdl, "%s(): CARD_MGR CAPI Error callback occurred. Error code: %d.\n\n", func, code);
  envhal::cm_count_error(envhal::kCmErrError);
}

}  // namespace

namespace envhal {

CardMgrState& card_mgr() {
  static CardMgrState s;
  return s;
}

void cm_count(CardMgrCounter counter) { envmon_stats_bump(envmon_plat_driver_oper_stats_hdl, counter); }
void cm_count_error(CardMgrErrCounter counter) { envmon_stats_bump(envmon_plat_driver_err_stats_hdl, counter); }

bool is_rp_card_type(uint32_t card_type) {
  const uint32_t* end = envmon_rp_card_types + envmon_rp_card_types_count;
  return std::find(envmon_rp_card_types, end, card_type) != end;
}

void exit_line(const char* func, int line) { envmon_debug_log("%s:%d - exiting()\n", func, line); }

}  // namespace envhal

extern "C" {

int32_t envmon_capi_card_mgr_init(evloop_t* loop, uint8_t is_rack) {
  static constexpr char kFunc[] = "envmon_capi_card_mgr_init";
  if (loop == nullptr) {
    envmon_debug_log("%s : NULL evloop", kFunc);
    return kNoLoop;
  }
  envmon_debug_log("%s : CARD_MGR Driver CAPI service init, is_rack %d\n", kFunc, is_rack);
  envhal::CardMgrState& s = envhal::card_mgr();
  int rc;
  if (is_rack != 0) {
    card_mgr_rack_handle_t h = nullptr;
    rc = card_mgr_rack_handle_create(&h, loop, 0);
    if (rc == 0) {
      card_mgr_rack_set_connect_callback(h, envmon_card_mgr_rack_connect_cb);
      card_mgr_rack_set_disconnect_callback(h, envmon_card_mgr_rack_disconnect_cb);
      card_mgr_rack_set_error_callback(h, envmon_card_mgr_rack_error_cb);
      card_mgr_rack_set_chassisinfo_callback(h, envmon_get_card_mgr_chassisinfo_cb);
      s.rack = h;
    }
  } else {
    card_mgr_node_handle_t h = nullptr;
    rc = card_mgr_node_handle_create(&h, loop, 0);
    if (rc == 0) {
      card_mgr_node_set_connect_callback(h, envmon_card_mgr_node_connect_cb);
      card_mgr_node_set_disconnect_callback(h, envmon_card_mgr_node_disconnect_cb);
      card_mgr_node_set_error_callback(h, envmon_card_mgr_node_error_cb);
      card_mgr_node_set_cardinfo_callback(h, envmon_get_card_mgr_cardinfo_cb);
      s.node = h;
    }
  }
  if (rc != 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Unable to instantiate card_mgr driver handle (is_rack %d), error: %d\n", kFunc,
                 is_rack, rc);
    envhal::cm_count_error(envhal::kCmErrCrtHndl);
    envmon_debug_log("%s : CARD_MGR Driver CAPI service init, is_rack %d\n err = 0x%x", kFunc, is_rack, rc);
    return rc;
  }
  envmon_debug_log("%s : connecting to CARD_MGR (is_rack %d)\n", kFunc, is_rack);
  tlg_internal(main_tlg_lib_hdl, "%s(): Connecting to card_mgr driver (is_rack %d)..\n", kFunc, is_rack);
  rc = is_rack != 0 ? card_mgr_rack_connect(rack_handle(), nullptr) : card_mgr_node_connect(node_handle(), nullptr);
  if (rc == 0) return 0;
  // The destroyed handle is forgotten, so that nothing uses it afterwards.
  if (is_rack != 0) {
    card_mgr_rack_handle_destroy(rack_handle());
    s.rack = nullptr;
  } else {
    card_mgr_node_handle_destroy(node_handle());
    s.node = nullptr;
  }
  envhal::cm_count_error(envhal::kCmErrConn);
  tlg_internal(err_tlg_lib_hdl, "%s(): Failed to connect to card_mgr driver (is_rack: %d), error: %d\n", kFunc, is_rack,
               rc);
  return rc;
}

void envmon_capi_card_mgr_disconnect(uint8_t is_rack) {
  int rc = 0;
  if (is_rack != 0) {
    if (rack_handle() == nullptr) return;
    rc = card_mgr_rack_disconnect(rack_handle(), nullptr);
  } else {
    if (node_handle() == nullptr) return;
    rc = card_mgr_node_disconnect(node_handle(), nullptr);
  }
  if (rc != 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to disconnect to card_mgr driver, is_rack %d, error: %d\n",
                 "envmon_capi_card_mgr_disconnect", is_rack, rc);
  }
}

envmon_err_t envmon_hal_capi_platform_driver_init(evloop_t* loop) {
  // A start-up of the library begins afresh: clients of an earlier one go.
  envhal::CardMgrState& s = envhal::card_mgr();
  if (s.node != nullptr) card_mgr_node_handle_destroy(node_handle());
  if (s.rack != nullptr) card_mgr_rack_handle_destroy(rack_handle());
  s = envhal::CardMgrState{};
  const envmon_err_t rc = envmon_hal_tlg_init(envmon_evloop, main_tlg_hdl, err_tlg_hdl, info_tlg_hdl, dbg_tlg_hdl,
                                              pwrm_tlg_hdl, fanm_tlg_hdl, fault_tlg_hdl, smil_tlg_hdl, obfl_tlg_hdl);
  if (rc != 0) tlg_internal(err_tlg_hdl, "%s(): Failure in Platform Dependent tlg init", __func__);
  s.loop = loop;
  return static_cast<envmon_err_t>(static_cast<int64_t>(envmon_capi_card_mgr_init(loop, 0)));
}

void envmon_card_mgr_node_connect_cb(card_mgr_node_handle_t /*h*/, int32_t err, void* /*ctx*/) {
  static constexpr char kFunc[] = "envmon_card_mgr_node_connect_cb";
  if (err != 0) {
    envhal::cm_count_error(envhal::kCmErrConn);
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to connect to CARD_MGR service, err: %u\n", kFunc,
                 static_cast<uint32_t>(err));
    return;
  }
  connected(false);
  envhal::cm_count(envhal::kCmConnect);
  envhal::CardMgrState& s = envhal::card_mgr();
  if (s.node == nullptr) return;
  if (!s.node_connected_once) {
    envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CONNECT);
    s.node_connected_once = true;
  } else {
    tlg_internal(main_tlg_lib_hdl, "%s(): CARD_MGR service is reconnected!\n", kFunc);
  }
}

void envmon_card_mgr_rack_connect_cb(card_mgr_rack_handle_t /*h*/, int32_t err, void* /*ctx*/) {
  if (err != 0) {
    envhal::cm_count_error(envhal::kCmErrConn);
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to connect to CARD_MGR service, err: %u\n",
                 "envmon_card_mgr_rack_connect_cb", static_cast<uint32_t>(err));
    return;
  }
  connected(true);
  envhal::CardMgrState& s = envhal::card_mgr();
  if (s.chassis_request_pending && envmon_nm != nullptr && envhal::is_rp_card_type(envmon_nm->card_type)) {
    envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CARD_RP);
    s.chassis_request_pending = false;
  }
  envhal::cm_count(envhal::kCmConnect);
}

void envmon_card_mgr_node_disconnect_cb(card_mgr_node_handle_t /*h*/, int32_t err, void* /*ctx*/) {
  disconnected("envmon_card_mgr_node_disconnect_cb", false, err);
}

void envmon_card_mgr_rack_disconnect_cb(card_mgr_rack_handle_t /*h*/, int32_t err, void* /*ctx*/) {
  disconnected("envmon_card_mgr_rack_disconnect_cb", true, err);
}

void envmon_card_mgr_node_error_cb(card_mgr_node_handle_t /*h*/, int32_t code) {
  error_cb("envmon_card_mgr_node_error_cb", code);
}

void envmon_card_mgr_rack_error_cb(card_mgr_rack_handle_t /*h*/, int32_t code) {
  error_cb("envmon_card_mgr_rack_error_cb", code);
}

}  // extern "C"
