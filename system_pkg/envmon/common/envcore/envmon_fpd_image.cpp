// FPD image handling: registration of the field-programmable devices of a
// slot with the FPD framework, and the framework's callbacks (image get and
// set, image attributes, state, abort, failure log).
#include <stdio.h>
#include <string.h>

#include "envmon.h"
#include "envmon_acq_private.h"
#include "envmon_pem.h"
#include "fpd_drv.h"
#include "nodeid.h"

using envmon_acq::copy_text;
using envmon_acq::EidText;
using envmon_acq::OwnedEid;

namespace {

constexpr int32_t kInvalid = 22;
constexpr uint32_t kNeedsUpgrade = 0xfffffffeu;  // running version -2.-2
constexpr uint32_t kFlagsFailed = 64;
constexpr uint32_t kFlagsUpgrading = 16;
constexpr uint32_t kAttrBits = 0x10 | 0x2 | 0x4 | 0x8;
constexpr size_t kDisplayName = 24;
constexpr size_t kLocLen = 32;

constexpr char kNullPtr[] = "%s():  passed NULL ptr\n";
constexpr char kCopyFailed[] = "%s():  copy inv eid %s failed\n";
constexpr char kNodeidFailed[] = "%s:  nodeid_create failed for slot %d, rc: %d\n";
constexpr char kNodeStrFailed[] = "%s - nodeid_to_str_external failed slot %d, rc: %d\n";
constexpr char kAttrFunction[] = "Image attribute Function is %p\n";
constexpr char kInitDone[] =
    "fpd_drv_init returned %d for location %s, card %s(0x%x), fpd %s, eid %s, fpd_hd %p\n";
constexpr char kInitHandle[] = "fpd_drv_init returned fpd_hd %p, rc %d\n";
constexpr char kNotUpgradable[] = "%s():  FPD(%d,%d) %s upgrade is not supported\n";
constexpr char kNotUpgradableText[] = ": FPD upgrade is not supported";
constexpr char kConvertFailed[] = "%s: inv_util_convert_eid_to_pelm_eid failed for FPD(%d,%d) %s\n";
constexpr char kSetTrace[] = "%s: eid %s, image %s, version %d.%d, cb_func 0x%p\n";
constexpr char kSetNull[] = "%s: NULL ptr\n";
constexpr char kSetNoRecord[] = "%s: eid %s, fpd_data ptr NULL check envmon_hal_fpd_image_set()\n";
constexpr char kEidTrace[] = "%s: eid %s\n";
constexpr char kVersions[] = "Runing Ver = %d.%d Inst Ver = %d.%d\n";
constexpr char kNeedUpgrade[] = "%s: eid %s Need Upgrade\n\n";
constexpr char kAttrNullEid[] = "%s(): Null EID received\n";
constexpr char kAttrNoRecord[] = "%s(): Failed to get FPD data for EDI %s\n";
constexpr char kAttrOld[] = "Image attribute = %x for eid = %s\n";
constexpr char kAttrSet[] =
    "Setting FPD attribute for %s on Attr: (0x%x), is_golden: %s, is_secure: %s, is_protected: %s, "
    "is_hidden: %s\n";
constexpr char kStateNullEid[] = "%s: NULL eid \n";
constexpr char kStateNoRecord[] = "%s: fpd data not found \n";
constexpr char kStateTrace[] = "%s: eid %s, state 0x%x\n";
constexpr char kExtend[] = "fpd_drv_extend_timeout %d for fpd_hd %p, rc %d\n";

const char* yes_no(bool b) { return b ? "yes" : "no"; }

// The FPD record of an inventory id: a fan tray's own records, else the
// hardware abstraction's (power modules).
fpd_data* find_fpd(const inv_eid* eid) {
  uint32_t tray = 0;
  if (envmon_rm && envmon_is_fantray_slot(eid->slot, &tray)) {
    fantray_cb& ft = envmon_rm->fantray_cb[tray];
    for (uint32_t i = 0; ft.fpd_data && i < ft.fpd_count; ++i)
      if (envmon_inv_eid_same(&ft.fpd_data[i].eid, eid)) return &ft.fpd_data[i];
    return nullptr;
  }
  return envmon_hal_get_fpd_data(eid->slot, eid);
}

// The PEM record of a slot through the power-management record, or null.
const pem_record* pem_of(uint32_t slot, uint32_t* tray, uint32_t* pem) {
  if (!envmon_is_pem_slot(static_cast<int32_t>(slot), tray, pem) || !envmon_rm) return nullptr;
  const envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
  if (!pm || !pm->envmon_pwr_tray_data || *tray >= envmon_rm->pwr_tray_count) return nullptr;
  const pd_power_tray_info_t* t = pm->envmon_pwr_tray_data[*tray].pd_tray;
  if (!t || !t->pems || *pem >= t->num_pems) return nullptr;
  return &t->pems[*pem];
}

void display_name(fpd_drv_reg_info* reg, const char* prefix, const fpd_data* fpd) {
  char text[ENVMON_PREFIX_LEN + ENVMON_FPD_NAME_LEN] = "";
  snprintf(text, sizeof(text), "%s%.*s", prefix ? prefix : "", static_cast<int>(sizeof(fpd->name)),
           fpd->name);
  copy_text(reg->name, kDisplayName + 1, text);
}

}  // namespace

extern "C" {

void envmon_all_fpd_init_for_slot(uint32_t slot) {
  if (!envmon_rm || !envmon_rm->rack_nodeid_valid) return;
  uint32_t tray = 0;
  if (!envmon_is_fantray_slot(slot, &tray)) {
    envmon_hal_fpd_init_slot(slot);
    return;
  }
  fantray_cb& ft = envmon_rm->fantray_cb[tray];
  for (uint32_t i = 0; ft.fpd_data && i < ft.fpd_count; ++i) {
    fpd_data& fpd = ft.fpd_data[i];
    if (fpd.init_st == ENVMON_FPD_INIT_PENDING && envmon_fpd_init(&fpd, slot, envmon_evloop) == 0)
      fpd.init_st = ENVMON_FPD_INIT_DONE;
  }
}

int32_t envmon_fpd_init(fpd_data* fpd, uint32_t slot, struct evloop* loop) {
  static constexpr char kFunc[] = "envmon_fpd_init";
  if (!fpd) {
    tlg_internal(err_tlg_cmn_hdl, kNullPtr, kFunc);
    return kInvalid;
  }
  fpd_drv_reg_info reg;
  memset(&reg, 0, sizeof(reg));
  fpd->fpd_out.fpd_hd = nullptr;
  uint32_t node_slot = 0;
  if (envmon_hal_fpd_init(fpd, slot, &node_slot, &reg) != 0) return ENVMON_FPD_FAIL;
  if (inv_util_copy_eid_to_eid(&fpd->eid, &reg.eid, fpd->eid.level_count) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kCopyFailed, kFunc, EidText(&fpd->eid).text);
    return kInvalid;
  }
  nodeid_td node = nullptr;
  const envmon_fru_obj* fru = (envmon_rm && envmon_rm->fru_objs_lst && node_slot < envmon_hal_get_max_inv_slots())
                                  ? &envmon_rm->fru_objs_lst[node_slot]
                                  : nullptr;
  int rc = nodeid_create0(fru ? fru->nodeid : nullptr, &node);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kNodeidFailed, kFunc, static_cast<int>(node_slot), rc);
    return kInvalid;
  }
  char location[kLocLen] = "";
  rc = nodeid_to_str_external(node, location, kLocLen - 1);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kNodeStrFailed, kFunc, static_cast<int>(node_slot), rc);
  reg.name_len = fpd->name_len;
  reg.hw_major = fpd->hw_ver_major;
  reg.hw_minor = fpd->hw_ver_minor;
  reg.user_ctx = loop;
  reg.image_get = envmon_fpd_image_get;
  reg.image_set = envmon_fpd_image_set;
  reg.image_set_attr = envmon_fpd_image_set_attr;
  reg.abort = envmon_fpd_abort;
  reg.state_set = envmon_fpd_state_set;
  reg.state_get = envmon_fpd_state_get;
  reg.obfl_log = envmon_fpd_obfl_log;
  envmon_debug_log(kAttrFunction, reinterpret_cast<void*>(reg.image_set_attr));
  rc = fpd_drv_init(&reg, &fpd->fpd_out.fpd_hd);
  const EidText eid_text(&fpd->eid);
  tlg_internal(main_tlg_cmn_hdl, kInitDone, rc, location, reg.card_name, reg.card_type, fpd->name,
               eid_text.text, fpd->fpd_out.fpd_hd);
  envmon_debug_log(kInitDone, rc, location, reg.card_name, reg.card_type, fpd->name, eid_text.text,
                   fpd->fpd_out.fpd_hd);
  envmon_debug_log(kInitHandle, fpd->fpd_out.fpd_hd, rc);
  nodeid_destroy(node);
  return rc;
}

int32_t envmon_fpd_process_data(fpd_data* fpd, uint32_t slot, uint32_t* node_slot,
                                struct fpd_drv_reg_info* reg) {
  static constexpr char kFunc[] = "envmon_fpd_process_data";
  if (!fpd || !node_slot || !reg) return kInvalid;
  uint32_t tray = 0, pem = 0;
  if (envmon_rm && envmon_is_fantray_slot(slot, &tray)) {
    const fantray_cb& ft = envmon_rm->fantray_cb[tray];
    *node_slot = slot;
    reg->card_type = ft.board_id;
    copy_text(reg->card_name, sizeof(reg->card_name), ft.pid);
    display_name(reg, ft.prefix_str, fpd);
  } else if (const pem_record* p = pem_of(slot, &tray, &pem)) {
    *node_slot = slot / 20;
    reg->card_type = p->card_type;
    copy_text(reg->card_name, sizeof(reg->card_name), p->name);
    display_name(reg, p->prefix_str, fpd);
  }
  if (fpd->is_upgradable == 1) return 0;
  tlg_internal(err_tlg_cmn_hdl, kNotUpgradable, kFunc, static_cast<int>(tray), static_cast<int>(pem), fpd->name);
  char text[ENVMON_FPD_FAULT_MSG_LEN];
  snprintf(text, sizeof(text), "%.*s%s", static_cast<int>(sizeof(fpd->name)), fpd->name, kNotUpgradableText);
  copy_text(fpd->fault_msg, sizeof(fpd->fault_msg), text);
  OwnedEid pelm;
  if (inv_util_convert_eid_to_pelm_eid(&fpd->eid, &pelm.eid) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kConvertFailed, kFunc, static_cast<int>(tray), static_cast<int>(pem), fpd->name);
  } else {
    envmon_hal_drvif_fpd_data_fault_notification(slot, &pelm.eid, fpd);
  }
  return kInvalid;
}

int32_t envmon_fpd_image_set(struct fpd_drv_upgrade_req* req) {
  static constexpr char kFunc[] = "envmon_fpd_image_set";
  if (!req) {
    tlg_internal(err_tlg_cmn_hdl, kSetNull, kFunc);
    return ENVMON_FPD_FAIL;
  }
  const EidText text(&req->eid);
  tlg_internal(main_tlg_cmn_hdl, kSetTrace, kFunc, text.text, req->image_path ? req->image_path : "",
               static_cast<int>(req->ver_major), static_cast<int>(req->ver_minor),
               reinterpret_cast<void*>(req->result_cb));
  if (req->eid.level_count == 0 || !req->image_path || !req->result_cb) return ENVMON_FPD_FAIL;
  fpd_data* fpd = nullptr;
  uint32_t driver = ENVMON_DRV_ALL;
  uint8_t proceed = 1;
  uint32_t tray = 0;
  if (envmon_rm && envmon_is_fantray_slot(req->eid.slot, &tray)) {
    fpd = find_fpd(&req->eid);
    // The tray's own fan driver: the secondary group has its own.
    driver = envmon_drvif_fpd_driver_for_slot(req->eid.slot);
  } else if (envmon_hal_fpd_image_set(req, &fpd, &driver, &proceed) != ENVMON_OK) {
    return ENVMON_FPD_FAIL;
  }
  if (!fpd) {
    tlg_internal(err_tlg_cmn_hdl, kSetNoRecord, kFunc, text.text);
    return 0;
  }
  fpd->cb_func = req->result_cb;
  fpd->req_fpd_ver_major = req->ver_major;
  fpd->req_fpd_ver_minor = req->ver_minor;
  copy_text(fpd->fpd_path, ENVMON_FPD_PATH_LEN - 1, req->image_path);
  fpd->fpd_path[ENVMON_FPD_PATH_LEN - 1] = '\0';
  fpd->toggle_upgrade = req->toggle ? 1 : 0;
  if (proceed) {
    envmon_drvif_request_fpd_upd(driver, fpd);
    fpd->state = 1;
  }
  return 0;
}

int32_t envmon_fpd_image_get(const inv_eid* eid, struct fpd_drv_image_info* info) {
  static constexpr char kFunc[] = "envmon_fpd_image_get";
  const EidText text(eid);
  tlg_internal(main_tlg_cmn_hdl, kEidTrace, kFunc, text.text);
  fpd_data* fpd = eid ? find_fpd(eid) : nullptr;
  if (!info || !fpd) return ENVMON_FPD_FAIL;
  info->running_major = fpd->fpd_ver_major;
  info->running_minor = fpd->fpd_ver_minor;
  info->reserved = 0;
  info->programmed_major = fpd->req_fpd_ver_major;
  info->programmed_minor = fpd->req_fpd_ver_minor;
  tlg_internal(main_tlg_cmn_hdl, kVersions, info->running_major, info->running_minor,
               info->programmed_major, info->programmed_minor);
  info->status_flags = (fpd->state == 6 || fpd->state == 13) ? kFlagsFailed
                       : fpd->state == 3                     ? kFlagsUpgrading
                                                             : 0;
  if (fpd->fpd_ver_major == kNeedsUpgrade && fpd->fpd_ver_minor == kNeedsUpgrade) {
    tlg_internal(main_tlg_cmn_hdl, kNeedUpgrade, kFunc, text.text);
    info->status_flags = kFlagsFailed;
  }
  return 0;
}

int32_t envmon_fpd_image_set_attr(const inv_eid* eid, uint32_t* attributes) {
  static constexpr char kFunc[] = "envmon_fpd_image_set_attr";
  if (!eid) {
    tlg_internal(err_tlg_cmn_hdl, kAttrNullEid, kFunc);
    return ENVMON_FPD_FAIL;
  }
  const EidText text(eid);
  fpd_data* fpd = find_fpd(eid);
  if (!fpd || !attributes) {
    tlg_internal(err_tlg_cmn_hdl, kAttrNoRecord, kFunc, text.text);
    return ENVMON_FPD_FAIL;
  }
  envmon_debug_log(kAttrOld, fpd->image_attr, text.text);
  const uint32_t reported = *attributes;
  if (reported & kAttrBits) fpd->image_attr = reported;
  tlg_internal(main_tlg_cmn_hdl, kAttrSet, text.text, reported, yes_no(reported & 0x10),
               yes_no(reported & 0x2), yes_no(reported & 0x4), yes_no(reported & 0x8));
  envmon_debug_log(kAttrSet, text.text, reported, yes_no(reported & 0x10), yes_no(reported & 0x2),
                   yes_no(reported & 0x4), yes_no(reported & 0x8));
  return envmon_inv_invreg_rm_report_fpga_data(fpd, 0);
}

int32_t envmon_fpd_state_set(const inv_eid* eid, uint32_t state) {
  static constexpr char kFunc[] = "envmon_fpd_state_set";
  if (!eid) {
    tlg_internal(err_tlg_cmn_hdl, kStateNullEid, kFunc);
    return ENVMON_FPD_FAIL;
  }
  fpd_data* fpd = find_fpd(eid);
  if (!fpd) {
    tlg_internal(err_tlg_cmn_hdl, kStateNoRecord, kFunc);
    return ENVMON_FPD_FAIL;
  }
  tlg_internal(main_tlg_cmn_hdl, kStateTrace, kFunc, EidText(eid).text, state);
  if ((state & 0xffff) == 3 && fpd->state_set != 3) {
    const uint32_t timeout = envmon_hal_fpd_get_upgrade_timeout(fpd);
    const int rc = fpd_drv_extend_timeout(fpd->fpd_out.fpd_hd, timeout);
    tlg_internal(main_tlg_cmn_hdl, kExtend, static_cast<int>(timeout), fpd->fpd_out.fpd_hd, rc);
  }
  fpd->state_set = state;
  envmon_inv_invreg_rm_report_fpga_data(fpd, 0);
  return 0;
}

int32_t envmon_fpd_state_get(const inv_eid* eid, uint32_t* state, uint32_t* progress) {
  static constexpr char kFunc[] = "envmon_fpd_state_get";
  tlg_internal(main_tlg_cmn_hdl, kEidTrace, kFunc, EidText(eid).text);
  fpd_data* fpd = eid ? find_fpd(eid) : nullptr;
  if (!state || !fpd) return ENVMON_FPD_FAIL;
  *state = fpd->state_set;
  if (progress) *progress = fpd->upg_progress;
  return 0;
}

int32_t envmon_fpd_abort(const inv_eid* eid) {
  printf("ABORT EID %p upgrade", static_cast<const void*>(eid));
  fflush(stdout);
  return 0;
}

int32_t envmon_fpd_obfl_log(const inv_eid* eid, const char* text) {
  uint32_t tray = 0;
  if (eid && envmon_rm && envmon_is_fantray_slot(eid->slot, &tray))
    envmon_obfl_log_fpd_info(eid, text, ENVMON_SCOPE_RACK);
  return 0;
}

}  // extern "C"
