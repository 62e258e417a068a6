// Failure-log text records of a fan tray's field-programmable devices.
#include <initializer_list>

#include "envmon.h"
#include "envmon_obfl_private.h"

using namespace envmon_obfl;
using envmon_acq::EidText;

namespace {

constexpr uint32_t kTextRecord = 8;
constexpr char kNoClient[] = "%s: %s Invalid client_id with slot=%d\n";
constexpr char kFailed[] = "%s: %s obfl_log_fpd_info failed: %d rc=0x%x\n";
constexpr char kSent[] = "%s: %s obfl_log_fpd_info with slot %d\n";
constexpr char kDbg[] = "%s: eid=%s, log=%s, rc=0x%x\n";
constexpr char kAnswer[] = "%s: slot=%d, err_code=0x%lx\n";

}  // namespace

extern "C" {

void envmon_obfl_log_fpd_info(const inv_eid* eid, const char* text, uint32_t scope) {
  static constexpr char kFunc[] = "envmon_obfl_log_fpd_info";
  if (!eid) return;
  const uint32_t slot = scope == ENVMON_SCOPE_RACK ? eid->slot : own_slot();
  const uint32_t client = envmon_obfl_get_client_id(scope, slot, ENVMON_OBFL_SVC_FPD);
  if (client == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoClient, kFunc, scope_name(scope), static_cast<int>(slot));
    return;
  }
  obfl_log_str_req req{};
  req.version = 1;
  req.timestamp = now_seconds();
  set_bit(req.present, OBFL_HDR_BIT_VERSION);
  set_bit(req.present, OBFL_HDR_BIT_TIMESTAMP);
  if (inv_util_convert_eid_to_pelm_eid(eid, &req.eid) == INV_UTIL_OK)
    set_bit(req.present, OBFL_HDR_BIT_EID);
  req.client_id = client;
  req.flag = 1;
  req.msn = envmon_obfl_msn++;
  req.rec_type = kTextRecord;
  req.text = text ? text : "";
  for (unsigned b : {4u, 5u, 6u, 7u, 11u}) set_bit(req.present, b);
  obfl_mgr_handle_t* h = handle_of(scope);
  const int rc = h ? obfl_mgr_log_str(h, &req, slot) : -1;
  if (rc != 0)
    tlg_internal(err_tlg_cmn_hdl, kFailed, kFunc, scope_name(scope), static_cast<int>(slot),
                 static_cast<unsigned>(rc));
  else
    tlg_internal(info_tlg_cmn_hdl, kSent, kFunc, scope_name(scope), static_cast<int>(slot));
  envmon_debug_log(kDbg, kFunc, EidText(&req.eid).text, req.text, static_cast<unsigned>(rc));
  envmon_free_tsi(&req.eid);
}

void envmon_obfl_rm_log_str_done_cb(struct obfl_mgr_handle*, const struct obfl_log_str_resp* resp,
                                    uint32_t, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_obfl_rm_log_str_done_cb";
  const unsigned long code = resp ? static_cast<unsigned long>(resp->err_code) : 0;
  tlg_internal(main_tlg_cmn_hdl, kAnswer, kFunc, static_cast<int>(slot), code);
  envmon_debug_log(kAnswer, kFunc, static_cast<int>(slot), code);
}

}  // extern "C"
