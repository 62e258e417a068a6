// Registration of the rack's FRUs (fan trays, power trays) and of the
// location of a registered container.
#include <stdlib.h>
#include <string.h>

#include "envmon_invreg_private.h"
#include "nodeid.h"

extern "C" {
#include <safe_str_lib.h>
}

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kFanRegFailed[] = "%s(): Failed to reg fan fru slot = %d, capi error rc = %d\n";
constexpr char kFanRegNotConnected[] = "%s(): Failed to reg fan fru slot = %d,  invreg not connected\n";
constexpr char kFanUnregFailed[] = "%s(): Failed to unreg fan fru slot = %d, capi error rc = %d\n";
constexpr char kFanUnregNotConnected[] =
    "%s(): Failed to unreg fan fru slot = %d, invreg not connected\n";
constexpr char kPtArgs[] = "%s() pwr_tray_num %d, pd_fru_type 0x%x, hw_ver_maj %d,hw_ver_min %d\n";
constexpr char kPtRegNotConnected[] = "%s(): cannot reg power tray %d fru - invreg not connected\n";
constexpr char kPtSlot[] = "Got power tray slot\n";
constexpr char kPtPidFailed[] =
    "%s(): Failed to extract PID from power tray %d IDPROM, err = %ld, using %s\n";
constexpr char kPtRegSent[] = "%s():  fru registration sent for power tray %d, eid %s, ret: %d\n";
constexpr char kPtRegFailed[] = "%s(): Failed to reg pwr tray slot = %d, capi error rc = %d\n";
constexpr char kPtUnregSent[] = "%s():  fru unregistration sent for power tray: %d, ret: %d\n";
constexpr char kPtUnregFailed[] = "%s(): Failed to unreg pwr tray slot = %d, capi error rc = %d\n";
constexpr char kPtUnregNotConnected[] =
    "%s(): cannot unreg power tray %d fru - invreg not connected\n";
constexpr char kEntered[] = "Entered %s()\n";
constexpr char kBeyondMax[] = "Rcvd slot_num: %d is beyond max-limit: %d\n";
constexpr char kNodeidValid[] = "envmon_rm->nodeid_valid flag is set\n";
constexpr char kNodeidNull[] = "envmon_rm->fru_objs_lst[%d].nodeid is NULL\n";
constexpr char kCopying[] = "%s(): Copying container eid for slot: %d into fru_objs_lst\n";
constexpr char kGoingToCopy[] = "%s(): Going to copy container eid for slot: %d into fru_objs_lst\n";
constexpr char kNodeidCreateFailed[] = "nodeid create failed\n";
constexpr char kMallocFailure[] = "malloc failure\n";
constexpr char kLocEntered[] = "Entered %s(): with scope: %d, user_context: %d\n";
constexpr char kNullEid[] = "Received NULL Pelmarok EID\n";
constexpr char kNullNodeid[] = "Received NULL nodeid\n";
constexpr char kScopeNotPart[] = "scope: %d currently not part of updating eid_nodeid to invDB\n";
constexpr char kRmNotConnected[] = "%s(): Failed to update inventory data, RM invreg not connected\n";
constexpr char kLocation[] = "%s(): location: %s\n";
constexpr char kLocFailed[] = "invreg_update_container_location() failed for slot %d, error_code: %d\n";
constexpr char kLocOk[] = "invreg_update_container_location() successful for slot %d\n";

constexpr uint32_t kFanTrayFruType = 7;
constexpr size_t kPtPidMax = 17;       // characters of a card name taken as PID
constexpr size_t kLocationLen = 32;

const char* kHwOperational = "HW Operational";
const char* kHwAccessFailure = "HW Access Failure";

envmon_pwr_tray_budget* power_tray(uint32_t tray) {
  envmon_pwr_mgmt_data_t* pm = envmon_rm != nullptr ? envmon_rm->pwr_mgmt_data : nullptr;
  if (pm == nullptr || pm->envmon_pwr_tray_data == nullptr || tray >= envmon_rm->pwr_tray_count)
    return nullptr;
  return &pm->envmon_pwr_tray_data[tray];
}

fantray_cb* fan_tray_of_slot(uint32_t slot) {
  uint32_t idx = 0;
  if (!envmon_is_fantray_slot(slot, &idx)) return nullptr;
  return &envmon_rm->fantray_cb[idx];
}

}  // namespace

extern "C" {

envmon_err_t envmon_inv_invreg_fan_fru_reg(uint32_t slot, uint32_t board_id, const char* serial,
                                           const uint8_t* /*idprom*/, uint32_t /*idprom_len*/,
                                           pelm_eid* /*event*/) {
  static const char* fn = __func__;
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kFanRegNotConnected, fn, static_cast<int>(slot));
    return ENVMON_ERR_INVALID_ARG;
  }
  const fantray_cb* ft = fan_tray_of_slot(slot);
  invreg_fru_type_req req{};
  envmon_setup_fru_eid(slot, &req.eid);
  req.fru_type = kFanTrayFruType;
  req.pd_type = board_id;
  req.slot = slot;
  req.serial_num = const_cast<char*>(serial != nullptr ? serial : "");
  req.reg_flag = 1;
  req.name = const_cast<char*>(ft != nullptr ? ft->pid : "");
  req.present = 0x7f;
  req.event.eid = req.eid;
  set_bit(&req.event.present, 0);
  if (ft != nullptr && (ft->hw_ctx.present & ENVMON_HW_CTX_HAS_STATE) != 0) {
    req.event.event_type = ft->hw_ctx.state;
    req.event.event_state = ft->hw_ctx.oper_state;
    req.event.descr = const_cast<char*>(ft->hw_ctx.reason != nullptr ? ft->hw_ctx.reason : "");
    req.event.present = 0xf;
  }
  set_bit(&req.present, 7);
  const int rc = invreg_register_fru_type(h, &req, slot);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kFanRegFailed, fn, static_cast<int>(slot), rc);
    return ENVMON_ERR_INVALID_ARG;
  }
  rm_count(kRmRegFanFru);
  return ENVMON_OK;
}

envmon_err_t envmon_inv_invreg_fan_fru_unreg(uint32_t slot) {
  static const char* fn = __func__;
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kFanUnregNotConnected, fn, static_cast<int>(slot));
    return ENVMON_ERR_INVALID_ARG;
  }
  invreg_fru_unreg_req req{};
  envmon_setup_fru_eid(slot, &req.eid);
  req.fru_type = kFanTrayFruType;
  req.slot = slot;
  req.present = 0x7;
  const int rc = invreg_unregister_fru_type(h, &req, slot);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kFanUnregFailed, fn, static_cast<int>(slot), rc);
    return ENVMON_ERR_INVALID_ARG;
  }
  rm_count(kRmUnregFanFru);
  return ENVMON_OK;
}

void envmon_inv_invreg_reg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t fru_type,
                                   const char* text, uint32_t text_len, uint32_t hw_major,
                                   uint32_t hw_minor) {
  static const char* fn = __func__;
  tlg_internal(info_tlg_cmn_hdl, kPtArgs, fn, static_cast<int>(tray), fru_type,
               static_cast<int>(hw_major), static_cast<int>(hw_minor));
  if (!envmon_hal_is_powertray(fru_type)) {
    envmon_hal_inv_invreg_rm_register_powertray_entities_fru(tray, slot, fru_type, text, text_len,
                                                             hw_major, hw_minor);
    return;
  }
  invreg_handle_t* h = rm_client();
  envmon_pwr_tray_budget* pt = power_tray(tray);
  if (h == nullptr || pt == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kPtRegNotConnected, fn, static_cast<int>(tray));
    return;
  }
  const uint32_t inv_type = envmon_hal_convert_pd_type_2_inv_pi_type(fru_type);
  if (inv_type == 0) return;
  tlg_internal(info_tlg_cmn_hdl, kPtSlot);
  const int prc = envmon_hal_idprom_get_pid(pt->idprom, pt->idprom_len, pt->pid, sizeof(pt->pid));
  if (prc != 0) {
    const char* name = envmon_get_card_name(fru_type);
    memset(pt->pid, 0, sizeof(pt->pid));
    strncpy_s(pt->pid, sizeof(pt->pid), name != nullptr ? name : "", kPtPidMax);
    tlg_internal(err_tlg_cmn_hdl, kPtPidFailed, fn, static_cast<int>(tray), static_cast<long>(prc),
                 pt->pid);
  }
  invreg_fru_type_req req{};
  const uint32_t tray_slot = static_cast<uint32_t>(pt->hw_position);
  envmon_setup_fru_eid(tray_slot, &req.eid);
  req.fru_type = inv_type;
  req.pd_type = fru_type;
  req.slot = tray_slot;
  req.serial_num = const_cast<char*>(text != nullptr ? text : "");
  req.reg_flag = 1;
  req.name = pt->pid;
  req.event.eid = req.eid;
  if (pt->hw_access_failure != 0) {
    req.event.event_type = ENVMON_INV_HW_DOWN;
    req.event.event_state = 2;
    req.event.descr = const_cast<char*>(kHwAccessFailure);
  } else {
    req.event.event_type = ENVMON_INV_HW_UP;
    req.event.event_state = 1;
    req.event.descr = const_cast<char*>(kHwOperational);
  }
  req.event.present = 0xf;
  req.present = 0xff;
  const int rc = invreg_register_fru_type(h, &req, tray_slot);
  tlg_internal(info_tlg_cmn_hdl, kPtRegSent, fn, static_cast<int>(tray), eid_text(req.eid).data(),
               rc);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kPtRegFailed, fn, static_cast<int>(tray_slot), rc);
    return;
  }
  rm_count(kRmRegPwrtFru);
}

void envmon_inv_invreg_unreg_pwr_fru(uint32_t tray, uint32_t slot, uint32_t fru_type) {
  static const char* fn = __func__;
  if (!envmon_hal_is_powertray(fru_type)) {
    envmon_hal_inv_invreg_rm_unregister_powertray_entities_fru(tray, slot, fru_type);
    return;
  }
  invreg_handle_t* h = rm_client();
  envmon_pwr_tray_budget* pt = power_tray(tray);
  if (h == nullptr || pt == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kPtUnregNotConnected, fn, static_cast<int>(tray));
    return;
  }
  invreg_fru_unreg_req req{};
  const uint32_t tray_slot = static_cast<uint32_t>(pt->hw_position);
  envmon_setup_fru_eid(tray_slot, &req.eid);
  req.fru_type = envmon_hal_get_powertray_inv_hw_type();
  req.slot = tray_slot;
  req.present = 0x7;
  const int rc = invreg_unregister_fru_type(h, &req, tray_slot);
  tlg_internal(info_tlg_cmn_hdl, kPtUnregSent, fn, static_cast<int>(tray), rc);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kPtUnregFailed, fn, static_cast<int>(tray_slot), rc);
    return;
  }
  rm_count(kRmUnregPwrtFru);
}

void envmon_upd_inv_container_eid_nodeid(uint32_t scope, uint32_t slot, const pelm_eid* eid) {
  static const char* fn = __func__;
  tlg_internal(info_tlg_cmn_hdl, kEntered, fn);
  const uint32_t max = envmon_hal_get_max_inv_slots();
  if (slot >= max) {
    tlg_internal(err_tlg_cmn_hdl, kBeyondMax, static_cast<int>(slot), static_cast<int>(max));
    return;
  }
  if (envmon_rm == nullptr || envmon_rm->fru_objs_lst == nullptr || eid == nullptr) return;
  envmon_fru_obj& obj = envmon_rm->fru_objs_lst[slot];
  nodeid_td copy = nullptr;
  if (envmon_rm->rack_nodeid_valid != 0) {
    tlg_internal(info_tlg_cmn_hdl, kNodeidValid);
    if (obj.nodeid == nullptr) {
      tlg_internal(err_tlg_cmn_hdl, kNodeidNull, static_cast<int>(slot));
      return;
    }
    nodeid_create0(static_cast<nodeid_td>(obj.nodeid), &copy);
    tlg_internal(info_tlg_cmn_hdl, kCopying, fn, static_cast<int>(slot));
  } else {
    tlg_internal(info_tlg_cmn_hdl, kGoingToCopy, fn, static_cast<int>(slot));
  }
  if (obj.cont_eid == nullptr) {
    obj.cont_eid = static_cast<pelm_eid*>(calloc(1, sizeof(pelm_eid)));
    if (obj.cont_eid == nullptr) {
      tlg_internal(err_tlg_cmn_hdl, kMallocFailure);
      nodeid_destroy(copy);
      return;
    }
  } else {
    envmon_free_tsi(obj.cont_eid);
  }
  inv_util_copy_pelm_eid_to_pelm_eid(eid, obj.cont_eid);
  if (envmon_rm->rack_nodeid_valid == 0) return;
  if (nodeid_validate(copy) == 0) {
    envmon_inv_invreg_upd_container_eid_nodeid(obj.cont_eid, copy, scope, slot);
  } else {
    tlg_internal(err_tlg_cmn_hdl, kNodeidCreateFailed);
  }
  nodeid_destroy(copy);
}

void envmon_inv_invreg_upd_container_eid_nodeid(const pelm_eid* eid, struct nodeid_rec* nodeid,
                                                uint32_t scope, uint32_t slot) {
  static const char* fn = __func__;
  tlg_internal(info_tlg_cmn_hdl, kLocEntered, fn, static_cast<int>(scope), static_cast<int>(slot));
  if (eid == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNullEid);
    return;
  }
  if (nodeid_validate(nodeid) != 0) {
    tlg_internal(err_tlg_cmn_hdl, kNullNodeid);
    return;
  }
  if (scope != ENVMON_SCOPE_RACK) {
    tlg_internal(err_tlg_cmn_hdl, kScopeNotPart, static_cast<int>(scope));
    return;
  }
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kRmNotConnected, fn);
    return;
  }
  char location[kLocationLen] = {};
  nodeid_to_str_external(nodeid, location, sizeof(location));
  tlg_internal(info_tlg_cmn_hdl, kLocation, fn, location);
  invreg_container_location_req req{};
  req.id = 0;
  req.eid = *eid;
  req.location = location;
  req.present = 0x7;
  const int rc = invreg_update_container_location(h, &req, slot);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kLocFailed, static_cast<int>(slot), rc);
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kLocOk, static_cast<int>(slot));
  rm_count(kRmCntNid);
  uint32_t tray = 0;
  if (envmon_is_powertray_slot(slot, &tray)) {
    envmon_pwr_tray_budget* pt = power_tray(tray);
    if (pt != nullptr) {
      memset(pt->loc_str, 0, sizeof(pt->loc_str));
      strncpy_s(pt->loc_str, sizeof(pt->loc_str), location, kLocationLen);
    }
    envmon_hal_inv_invreg_update_powertray_entities_prefix();
  }
}

}  // extern "C"
