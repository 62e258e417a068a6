// Failure-log client: one OBFL manager handle per scope, its connection and
// callbacks, the registration of the OBFL services of every monitored entity,
// the per-entity client ids and progress words, and the endpoint filter.
#include <stdlib.h>
#include <sys/time.h>

#include "envmon.h"
#include "envmon_obfl_private.h"

using namespace envmon_obfl;
using envmon_acq::EidText;

namespace {

constexpr char kSensorSvc[] = "obfl_svc_sensor";
constexpr char kFpdSvc[] = "obfl_svc_fpd";
constexpr char kClientName[] = "envmon";
constexpr uint32_t kRegnConstant = 4899;

constexpr char kCreateFailed[] = "%s: failed to create handle, rc = %ld \n";
constexpr char kConnecting[] = "%s(): Connecting to OBFL ...\n";
constexpr char kConnectFailed[] = "%s(): Failed to connect to OBFL, rc = %ld\n";
constexpr char kCapiError[] = "%s: CAPI returned error %u\n";
constexpr char kConnected[] = "%s: successful connection to obfl service\n";
constexpr char kNmRegFailed[] = "%s: bfl_mgr NM svc registration failed, rc = 0x%x\n";
constexpr char kNmRegDbg[] = "%s: obfl NM svc registration, rc 0x%x\n";
constexpr char kFtRegFailed[] = "%s: bfl_mgr RM svc registration failed for fan tray %d, rc = 0x%x\n";
constexpr char kFtRegDbg[] = "%s: obfl RM svc registration for fan tray %d, seq_num %d, rc 0x%x\n";
constexpr char kFtFpdFailed[] = "%s: bfl_mgr FPD svc registration failed for fan tray %d, rc = 0x%x\n";
constexpr char kFtFpdDbg[] = "%s: obfl FPD svc registration for fan tray %d, seq_num %d, rc 0x%x\n";
constexpr char kFcRegFailed[] = "%s: bfl_mgr RM svc registration failed for FC %d, rc = 0x%x\n";
constexpr char kSwRegFailed[] = "%s: bfl_mgr RM svc registration failed for SW %d, rc = 0x%x\n";
constexpr char kLcRegFailed[] = "%s: obfl_mgr RM svc registration failed for LC %d, rc = 0x%x\n";
constexpr char kFcRegDbg[] = "%s: obfl RM svc registration for FC %d, rc 0x%x\n";
constexpr char kSwRegDbg[] = "%s: obfl RM svc registration for SW %d, rc 0x%x\n";
constexpr char kLcRegDbg[] = "%s: obfl RM svc registration for LC %d, rc 0x%x\n";
constexpr char kRegDone[] = "%s: bfl_mgr %s svc registration done for slot %d %s\n";
constexpr char kRegnCapi[] = "%s for %s: CAPI returned error %u\n";
constexpr char kRegnAnswer[] =
    "%s for %s (slot%d): client_id 0x%x, svc_type %d, msn %d, err_code %ld[%s]\n";
constexpr char kRmClientId[] = "%s: slot %d, client id 0x%x svc_type 0x%x\n";
constexpr char kNmClientId[] = "%s: client id 0x%x\n";
constexpr char kInvalidSlot[] = "invalid slot %d\n";
constexpr char kStatus[] = "%s: status %u\n";
constexpr char kUnregnDone[] = "%s: received response svc_unregn_done.\n";
constexpr char kErrorCode[] = "%s: error code: %d.\n";
constexpr char kFilterCurr[] = "%s(): curr_ip  0x%x curr_port %u, info_count %d\n";
constexpr char kFilterEmptyOk[] = "%s(): sucessful call to msgpipe_disconnect\n\n";
constexpr char kFilterEmptyFail[] = "%s(): failed during msgpipe_disconnect\n\n";
constexpr char kFilterLoop[] = "%s for filter scope %d loop %d: scope %d ip 0x%x port %u \n";
constexpr char kFilterDiscOk[] = "%s(): successful call to msgpipe_disconnect\n\n";
constexpr char kFilterDiscFail[] = "%s(): failed in msgpipe_disconnect\n\n";
constexpr char kFilterConnOk[] = "%s(): successful call connect_with_endpoint, scope %d ip 0x%x port %u \n";
constexpr char kFilterConnFail[] = "%s(): connect_with_endpoint failed, scope %d ip 0x%x port %u \n";

// Reset of an entity's progress word when its service goes away: nothing
// confirmed, sent or outstanding any more (the temperature bits as well as
// the voltage and current ones, so that every kind probes again), all
// thresholds to be written and a log of all sensors requested.
constexpr uint32_t kResetClear = 0xfff0;
constexpr uint32_t kResetSet = static_cast<uint32_t>(ENVMON_NM_OBFL_LOG_ALL) | kTempThrNotWritten | kVoltThrNotWritten |
                               kCurrThrNotWritten;
void reset_word(uint32_t* w) { *w = (*w & ~kResetClear) | kResetSet; }

// Registration stamp: outstanding (0x1000), thresholds no longer outstanding,
// retries reloaded.
void stamp_registration(uint32_t* w) { *w = (*w & 0x0FFF0FFFu) | 0xF0001000u; }

template <typename Card>
uint32_t card_count(const Card* table, uint32_t limit) {
  return table ? limit : 0;
}

// Builds and submits one service registration; 0 when accepted.
int submit_regn(uint32_t scope, uint32_t slot, uint32_t resend, const char* name, uint32_t type,
                uint32_t* msn_used) {
  obfl_svc_regn_req req{};
  fill_header(&req, slot);
  envmon_setup_fru_eid(own_slot(), &req.req_eid);
  set_bit(req.present, OBFL_HDR_BIT_REQ_EID);
  req.resend = static_cast<uint8_t>(resend);
  req.msn = envmon_obfl_msn++;
  req.svc_name = name;
  req.svc_type = type;
  req.client_name = kClientName;
  req.constant = kRegnConstant;
  for (unsigned b = 4; b <= 9; ++b) set_bit(req.present, b);
  if (msn_used) *msn_used = req.msn;
  obfl_mgr_handle_t* h = handle_of(scope);
  const uint32_t ctx = scope == ENVMON_SCOPE_RACK ? slot : 0;
  return h ? obfl_mgr_svc_registration(h, &req, ctx) : -1;
}

void connect_cb(uint32_t scope, uint32_t status, const char* func) {
  if (status != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCapiError, func, status);
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kConnected, func);
  if (scope != ENVMON_SCOPE_RACK) {
    if (envmon_nm) envmon_nm->obfl_capi_connected = 1;
    envmon_obfl_svc_registration(ENVMON_SCOPE_NODE, own_slot(), 0);
    return;
  }
  envmon_rm_t* rm = envmon_rm;
  if (!rm) return;
  rm->obfl_capi_connected = 1;
  for (uint32_t i = 0; rm->fantray_cb && i < envmon_hal_get_max_fantray(); ++i)
    envmon_obfl_svc_registration(ENVMON_SCOPE_RACK, rm->fantray_cb[i].hw_position, 0);
  if (envmon_hal_are_fc_managed_remotely())
    for (uint32_t i = 0; i < card_count(rm->fc_cb, envmon_hal_get_max_fc()); ++i)
      envmon_obfl_svc_registration(ENVMON_SCOPE_RACK, rm->fc_cb[i].hw_position, 0);
  for (uint32_t i = 0; i < card_count(rm->sw_cb, envmon_hal_get_max_swc()); ++i)
    envmon_obfl_svc_registration(ENVMON_SCOPE_RACK, rm->sw_cb[i].hw_position, 0);
  if (envmon_hal_are_lc_managed_remotely())
    for (uint32_t i = 0; i < card_count(rm->lc_cb, envmon_hal_get_max_lc()); ++i)
      envmon_obfl_svc_registration(ENVMON_SCOPE_RACK, rm->lc_cb[i].hw_position, 0);
}

// The shared part of the registration answers; true when it is ok.
bool regn_done_chk(uint32_t scope, const obfl_svc_regn_resp* resp, uint32_t status,
                   uint32_t slot, const char* func) {
  const char* who = scope_name(scope);
  if (status != 0 || !resp) {
    tlg_internal(err_tlg_cmn_hdl, kRegnCapi, func, who, status);
    return false;
  }
  tlg_internal(main_tlg_cmn_hdl, kRegnAnswer, func, who, static_cast<int>(slot), resp->client_id,
               static_cast<int>(resp->svc_type), static_cast<int>(resp->msn),
               static_cast<long>(resp->err_code), envmon_obfl_err_to_str(resp->err_code));
  if (resp->err_code != kNoDeviceConnected) {
    uint32_t* w = entity_word(scope, scope == ENVMON_SCOPE_RACK ? slot : own_slot());
    if (w) *w &= ~static_cast<uint32_t>(ENVMON_OBFL_SVC_REG_PENDING);
  }
  return resp->err_code == 0;
}

void reset_rack_entities(bool forget_ids) {
  envmon_rm_t* rm = envmon_rm;
  if (!rm) return;
  for (uint32_t i = 0; rm->fantray_cb && i < envmon_hal_get_max_fantray(); ++i) {
    if (forget_ids) {
      rm->fantray_cb[i].obfl_client_id = 0;
      rm->fantray_cb[i].obfl_log_client_id = 0;
    }
    reset_word(&rm->fantray_cb[i].misc_state);
  }
  auto reset_cards = [&](envmon_remote_card_cb* t, uint32_t n) {
    for (uint32_t i = 0; t && i < n; ++i) {
      if (forget_ids) t[i].obfl_client_id = 0;
      reset_word(&t[i].misc_state);
    }
  };
  if (envmon_hal_are_fc_managed_remotely()) reset_cards(rm->fc_cb, envmon_hal_get_max_fc());
  reset_cards(rm->sw_cb, envmon_hal_get_max_swc());
  if (envmon_hal_are_lc_managed_remotely()) reset_cards(rm->lc_cb, envmon_hal_get_max_lc());
}

void reset_node(bool forget_id) {
  if (!envmon_nm) return;
  if (forget_id) envmon_nm->obfl_client_id = 0;
  reset_word(&envmon_nm->misc_state);
}

// Callbacks of the two handles.
void rm_connect(obfl_mgr_handle_t* h, uint32_t status) { envmon_obfl_rm_connect_cb(h, status); }
void nm_connect(obfl_mgr_handle_t* h, uint32_t status) { envmon_obfl_nm_connect_cb(h, status); }
void rm_filter(obfl_mgr_handle_t* h, const ds_service_info* e, uint32_t n) {
  envmon_obfl_ds_ep_filter(h, e, n, ENVMON_SCOPE_RACK);
}
void nm_filter(obfl_mgr_handle_t* h, const ds_service_info* e, uint32_t n) {
  envmon_obfl_ds_ep_filter(h, e, n, ENVMON_SCOPE_NODE);
}

envmon_err_t init_scope(uint32_t scope, struct evloop* loop, const char* func) {
  const uint32_t idx = handle_index(scope);
  obfl_mgr_handle_t* h = nullptr;
  int rc = obfl_mgr_handle_create(&h, loop, nullptr);
  if (rc != 0 || !h) {
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, func, static_cast<long>(rc));
    return rc ? static_cast<envmon_err_t>(rc) : ENVMON_ERR_NO_MEMORY;
  }
  const bool rack = scope == ENVMON_SCOPE_RACK;
  obfl_mgr_set_connect_callback(h, rack ? rm_connect : nm_connect);
  obfl_mgr_set_disconnect_callback(h, rack ? envmon_obfl_rm_disconnect_cb : envmon_obfl_nm_disconnect_cb);
  obfl_mgr_set_error_callback(h, rack ? envmon_obfl_rm_error_cb : envmon_obfl_nm_error_cb);
  obfl_mgr_set_svc_regn_done_callback(h, rack ? envmon_obfl_rm_svc_regn_done_cb
                                              : envmon_obfl_nm_svc_regn_done_cb);
  obfl_mgr_set_svc_unregn_done_callback(h, rack ? envmon_obfl_rm_svc_unregn_done_cb
                                                : envmon_obfl_nm_svc_unregn_done_cb);
  set_record_callbacks(h, scope);
  obfl_mgr_set_ds_endpoint_filter_callback(h, rack ? rm_filter : nm_filter);
  if (rack) obfl_mgr_set_log_str_done_callback(h, envmon_obfl_rm_log_str_done_cb);
  envmon_obfl_handle[idx] = h;
  tlg_internal(main_tlg_cmn_hdl, kConnecting, func);
  rc = obfl_mgr_connect(h, 0);
  if (rc != 0) {
    // The handle is gone: nothing may use it through the table any more.
    obfl_mgr_handle_destroy(h);
    envmon_obfl_handle[idx] = nullptr;
    tlg_internal(err_tlg_cmn_hdl, kConnectFailed, func, static_cast<long>(rc));
    return static_cast<envmon_err_t>(rc);
  }
  return ENVMON_OK;
}

}  // namespace

namespace envmon_obfl {

uint32_t now_seconds() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  return static_cast<uint32_t>(tv.tv_sec);
}

uint32_t own_slot() { return envmon_nm ? envmon_nm->slot_num : 0; }

bool kind_bits(uint32_t kind, KindBits* out) {
  switch (kind) {
    case ENVMON_OBFL_KIND_TEMP:
      *out = {kTempFirstOk, ENVMON_OBFL_TEMP_LOG_PENDING, ENVMON_OBFL_TEMP_THR_PENDING,
              kTempThrNotWritten};
      return true;
    case ENVMON_OBFL_KIND_VOLT:
      *out = {kVoltFirstOk, ENVMON_OBFL_VOLT_LOG_PENDING, ENVMON_OBFL_VOLT_THR_PENDING,
              kVoltThrNotWritten};
      return true;
    case ENVMON_OBFL_KIND_CURR:
      *out = {kCurrFirstOk, ENVMON_OBFL_CURR_LOG_PENDING, ENVMON_OBFL_CURR_THR_PENDING,
              kCurrThrNotWritten};
      return true;
    default:
      return false;
  }
}

uint32_t* entity_word(uint32_t scope, uint32_t slot) {
  if (scope != ENVMON_SCOPE_RACK) return envmon_nm ? &envmon_nm->misc_state : nullptr;
  envmon_rm_t* rm = envmon_rm;
  uint32_t i = 0;
  if (!rm || slot == ENVMON_SLOT_SELF) return nullptr;
  if (envmon_is_fantray_slot(slot, &i)) return &rm->fantray_cb[i].misc_state;
  if (envmon_is_fc_slot(slot, &i)) return &rm->fc_cb[i].misc_state;
  if (envmon_is_sw_slot(slot, &i)) return &rm->sw_cb[i].misc_state;
  if (envmon_is_lc_slot(slot, &i)) return &rm->lc_cb[i].misc_state;
  return nullptr;
}

bool entity_array(uint32_t scope, uint32_t slot, uint32_t kind, envmon_sensor_info** sensors,
                  uint16_t* count) {
  const envmon_sensor_list* l = nullptr;
  auto pick = [&](auto* rec) -> const envmon_sensor_list* {
    switch (kind) {
      case ENVMON_OBFL_KIND_TEMP:
        return &rec->temp_data;
      case ENVMON_OBFL_KIND_VOLT:
        return &rec->voltage_data;
      case ENVMON_OBFL_KIND_CURR:
        return &rec->current_data;
      default:
        return nullptr;
    }
  };
  uint32_t i = 0;
  if (scope != ENVMON_SCOPE_RACK) {
    if (envmon_nm) l = pick(envmon_nm);
  } else if (envmon_rm && slot != ENVMON_SLOT_SELF) {
    if (envmon_is_fantray_slot(slot, &i)) {
      // A fan tray's current sensors are not logged.
      if (kind != ENVMON_OBFL_KIND_CURR) l = pick(&envmon_rm->fantray_cb[i]);
    } else if (envmon_is_fc_slot(slot, &i)) {
      l = pick(&envmon_rm->fc_cb[i]);
    } else if (envmon_is_sw_slot(slot, &i)) {
      l = pick(&envmon_rm->sw_cb[i]);
    } else if (envmon_is_lc_slot(slot, &i)) {
      l = pick(&envmon_rm->lc_cb[i]);
    }
  }
  if (!l || !l->sensors || l->count == 0) return false;
  *sensors = l->sensors;
  *count = l->count;
  return true;
}

}  // namespace envmon_obfl

extern "C" {

struct obfl_mgr_handle* envmon_obfl_handle[2];
uint32_t envmon_obfl_msn = 1;

envmon_err_t envmon_obfl_rm_init(struct evloop* loop) {
  return init_scope(ENVMON_SCOPE_RACK, loop, "envmon_obfl_rm_init");
}

envmon_err_t envmon_obfl_nm_init(struct evloop* loop) {
  return init_scope(ENVMON_SCOPE_NODE, loop, "envmon_obfl_nm_init");
}

uint32_t envmon_obfl_get_client_id(uint32_t scope, uint32_t slot, uint32_t svc_type) {
  if (scope != ENVMON_SCOPE_RACK) return envmon_nm ? envmon_nm->obfl_client_id : 0;
  envmon_rm_t* rm = envmon_rm;
  uint32_t i = 0;
  if (!rm || slot == ENVMON_SLOT_SELF) return 0;
  if (envmon_is_fantray_slot(slot, &i)) {
    // A fan tray has one id per service: obfl_client_id the sensor service's,
    // obfl_log_client_id the FPD service's.
    return svc_type == ENVMON_OBFL_SVC_SENSOR ? rm->fantray_cb[i].obfl_client_id
                                              : rm->fantray_cb[i].obfl_log_client_id;
  }
  if (envmon_is_fc_slot(slot, &i)) return rm->fc_cb[i].obfl_client_id;
  if (envmon_is_sw_slot(slot, &i)) return rm->sw_cb[i].obfl_client_id;
  if (envmon_is_lc_slot(slot, &i)) return rm->lc_cb[i].obfl_client_id;
  return 0;
}

void envmon_obfl_set_client_id(uint32_t scope, uint32_t slot, uint32_t svc_type, uint32_t id) {
  if (scope != ENVMON_SCOPE_RACK) {
    if (envmon_nm) envmon_nm->obfl_client_id = id;
    return;
  }
  envmon_rm_t* rm = envmon_rm;
  uint32_t i = 0;
  if (rm && envmon_is_fantray_slot(slot, &i)) {
    if (svc_type == ENVMON_OBFL_SVC_SENSOR)
      rm->fantray_cb[i].obfl_client_id = id;
    else
      rm->fantray_cb[i].obfl_log_client_id = id;
  } else if (rm && envmon_is_fc_slot(slot, &i)) {
    rm->fc_cb[i].obfl_client_id = id;
  } else if (rm && envmon_is_sw_slot(slot, &i)) {
    rm->sw_cb[i].obfl_client_id = id;
  } else if (rm && envmon_is_lc_slot(slot, &i)) {
    rm->lc_cb[i].obfl_client_id = id;
  } else {
    tlg_internal(err_tlg_cmn_hdl, kInvalidSlot, static_cast<int>(slot));
  }
}

void envmon_obfl_svc_registration(uint32_t scope, uint32_t slot, uint32_t retry) {
  static constexpr char kFunc[] = "envmon_obfl_svc_registration";
  const bool rack = scope == ENVMON_SCOPE_RACK;
  uint32_t i = 0;
  if (!rack) {
    const int rc = submit_regn(ENVMON_SCOPE_NODE, own_slot(), retry, kSensorSvc,
                               ENVMON_OBFL_SVC_SENSOR, nullptr);
    if (rc != 0)
      tlg_internal(err_tlg_cmn_hdl, kNmRegFailed, kFunc, static_cast<unsigned>(rc));
    else if (envmon_nm)
      stamp_registration(&envmon_nm->misc_state);
    envmon_debug_log(kNmRegDbg, kFunc, static_cast<unsigned>(rc));
  } else if (envmon_rm && envmon_is_fantray_slot(slot, &i)) {
    uint32_t* w = &envmon_rm->fantray_cb[i].misc_state;
    uint32_t msn = 0;
    int rc = submit_regn(scope, slot, retry, kSensorSvc, ENVMON_OBFL_SVC_SENSOR, &msn);
    if (rc != 0)
      tlg_internal(err_tlg_cmn_hdl, kFtRegFailed, kFunc, static_cast<int>(slot), static_cast<unsigned>(rc));
    else
      stamp_registration(w);
    envmon_debug_log(kFtRegDbg, kFunc, static_cast<int>(slot), static_cast<int>(msn),
                     static_cast<unsigned>(rc));
    rc = submit_regn(scope, slot, retry, kFpdSvc, ENVMON_OBFL_SVC_FPD, &msn);
    if (rc != 0)
      tlg_internal(err_tlg_cmn_hdl, kFtFpdFailed, kFunc, static_cast<int>(slot), static_cast<unsigned>(rc));
    else
      stamp_registration(w);
    envmon_debug_log(kFtFpdDbg, kFunc, static_cast<int>(slot), static_cast<int>(msn),
                     static_cast<unsigned>(rc));
  } else if (envmon_rm) {
    const char* failed = nullptr;
    const char* dbg = nullptr;
    uint32_t* w = nullptr;
    if (envmon_is_fc_slot(slot, &i)) {
      failed = kFcRegFailed, dbg = kFcRegDbg, w = &envmon_rm->fc_cb[i].misc_state;
    } else if (envmon_is_sw_slot(slot, &i)) {
      failed = kSwRegFailed, dbg = kSwRegDbg, w = &envmon_rm->sw_cb[i].misc_state;
    } else if (envmon_is_lc_slot(slot, &i)) {
      failed = kLcRegFailed, dbg = kLcRegDbg, w = &envmon_rm->lc_cb[i].misc_state;
    }
    if (w) {
      const int rc = submit_regn(scope, slot, retry, kSensorSvc, ENVMON_OBFL_SVC_SENSOR, nullptr);
      if (rc != 0)
        tlg_internal(err_tlg_cmn_hdl, failed, kFunc, static_cast<int>(slot), static_cast<unsigned>(rc));
      else
        stamp_registration(w);
      envmon_debug_log(dbg, kFunc, static_cast<int>(slot), static_cast<unsigned>(rc));
    }
  }
  tlg_internal(main_tlg_cmn_hdl, kRegDone, kFunc, scope_name(rack ? scope : ENVMON_SCOPE_NODE),
               static_cast<int>(slot), retry ? "(re-sent)" : "");
}

void envmon_obfl_rm_connect_cb(struct obfl_mgr_handle*, uint32_t status) {
  connect_cb(ENVMON_SCOPE_RACK, status, "envmon_obfl_rm_connect_cb");
}

void envmon_obfl_nm_connect_cb(struct obfl_mgr_handle*, uint32_t status) {
  connect_cb(ENVMON_SCOPE_NODE, status, "envmon_obfl_nm_connect_cb");
}

void envmon_obfl_rm_svc_regn_done_cb(struct obfl_mgr_handle*, const struct obfl_svc_regn_resp* resp,
                                     uint32_t status, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_obfl_rm_svc_regn_done_cb";
  if (!regn_done_chk(ENVMON_SCOPE_RACK, resp, status, slot, kFunc)) return;
  if (!(resp->present & 0x1)) return;
  tlg_internal(main_tlg_cmn_hdl, kRmClientId, kFunc, static_cast<int>(slot), resp->client_id,
               resp->svc_type);
  envmon_obfl_set_client_id(ENVMON_SCOPE_RACK, slot, resp->svc_type, resp->client_id);
  if (resp->svc_type == ENVMON_OBFL_SVC_SENSOR) envmon_obfl_rm_write_thr_all(slot);
}

void envmon_obfl_nm_svc_regn_done_cb(struct obfl_mgr_handle*, const struct obfl_svc_regn_resp* resp,
                                     uint32_t status, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_obfl_nm_svc_regn_done_cb";
  if (!regn_done_chk(ENVMON_SCOPE_NODE, resp, status, slot, kFunc)) return;
  if (!(resp->present & 0x1) || !envmon_nm) return;
  envmon_nm->obfl_client_id = resp->client_id;
  envmon_debug_log(kNmClientId, kFunc, resp->client_id);
  envmon_obfl_nm_write_thr_all();
}

void envmon_obfl_nm_disconnect_cb(struct obfl_mgr_handle*, uint32_t status) {
  tlg_internal(main_tlg_cmn_hdl, kStatus, "envmon_obfl_nm_disconnect_cb", status);
  if (envmon_nm) envmon_nm->obfl_capi_connected = 0;
  reset_node(true);
}

void envmon_obfl_nm_svc_unregn_done_cb(struct obfl_mgr_handle*, const struct obfl_svc_regn_resp*,
                                       uint32_t, uint32_t) {
  reset_node(true);
  envmon_debug_log(kUnregnDone, "envmon_obfl_nm_svc_unregn_done_cb");
}

void envmon_obfl_rm_disconnect_cb(struct obfl_mgr_handle*, uint32_t status) {
  tlg_internal(main_tlg_cmn_hdl, kStatus, "envmon_obfl_rm_disconnect_cb", status);
  if (!envmon_rm) return;
  envmon_rm->obfl_capi_connected = 0;
  reset_rack_entities(true);
  envmon_rm->obfl_flags |= ENVMON_RM_OBFL_ALL;
}

void envmon_obfl_rm_svc_unregn_done_cb(struct obfl_mgr_handle*, const struct obfl_svc_regn_resp*,
                                       uint32_t, uint32_t) {
  reset_rack_entities(true);
  envmon_debug_log(kUnregnDone, "envmon_obfl_rm_svc_unregn_done_cb");
}

void envmon_obfl_rm_error_cb(struct obfl_mgr_handle*, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kErrorCode, "envmon_obfl_rm_error_cb", code);
}

void envmon_obfl_nm_error_cb(struct obfl_mgr_handle*, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kErrorCode, "envmon_obfl_nm_error_cb", code);
}

void envmon_obfl_ds_ep_filter(struct obfl_mgr_handle* handle,
                              const struct ds_service_info* endpoints, uint32_t count,
                              uint32_t filter_scope) {
  static constexpr char kFunc[] = "envmon_obfl_ds_ep_filter";
  msgpipe_handle_t* t = obfl_mgr_get_transport(handle);
  msgpipe_endpoint current{};
  if (t) msgpipe_get_remote_endpoint(t, &current);
  tlg_internal(main_tlg_cmn_hdl, kFilterCurr, kFunc, current.node_address, current.port,
               static_cast<int>(count));
  const bool busy = t && (msgpipe_is_connected(t) || msgpipe_is_connecting(t));
  if (count == 0 || !endpoints) {
    if (busy) {
      const bool ok = msgpipe_disconnect(t) == 0;
      tlg_internal(main_tlg_cmn_hdl, ok ? kFilterEmptyOk : kFilterEmptyFail, kFunc);
    }
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const ds_service_info& e = endpoints[i];
    msgpipe_endpoint ep{};
    if (!msgcodec_test_bit(&e.present, DS_SERVICE_INFO_BIT_ENDPOINT) || !e.endpoint ||
        msgcodec_msgpipe_endpoint_decode_ext(&ep, e.endpoint, e.endpoint_len, malloc) < 0)
      continue;
    tlg_internal(main_tlg_cmn_hdl, kFilterLoop, kFunc, static_cast<int>(filter_scope),
                 static_cast<int>(i), static_cast<int>(e.scope), ep.node_address, ep.port);
    if (e.scope != filter_scope || msgpipe_endpoint_equals(&ep, &current)) continue;
    if (t && (msgpipe_is_connected(t) || msgpipe_is_connecting(t))) {
      const bool ok = msgpipe_disconnect(t) == 0;
      tlg_internal(main_tlg_cmn_hdl, ok ? kFilterDiscOk : kFilterDiscFail, kFunc);
    }
    if (obfl_mgr_connect_with_endpoint(handle, &ep) == 0) {
      tlg_internal(main_tlg_cmn_hdl, kFilterConnOk, kFunc, static_cast<int>(e.scope),
                   ep.node_address, ep.port);
      return;
    }
    tlg_internal(err_tlg_cmn_hdl, kFilterConnFail, kFunc, static_cast<int>(e.scope),
                 ep.node_address, ep.port);
  }
}

void envmon_obfl_test_forget(void) {
  for (auto& h : envmon_obfl_handle) {
    if (h) obfl_mgr_handle_destroy(h);
    h = nullptr;
  }
  envmon_obfl_msn = 1;
}

}  // extern "C"
