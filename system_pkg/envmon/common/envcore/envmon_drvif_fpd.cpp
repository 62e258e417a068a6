// FPDs through the platform drivers: information requests, upgrade requests,
// the drivers' FPGA-data answers and notifications with the upgrade-state
// changes they bring, the answers to upgrade requests, and the 60-second
// retry of an information request.
#include <stdlib.h>

#include <vector>

#include <algorithm>

#include "envmon.h"
#include "envmon_drvif_private.h"
#include "fpd_drv.h"
#include "mtimer.h"

using namespace envmon_drvif;
using envmon_acq::copy_text;
using envmon_acq::EidText;
using envmon_acq::OwnedEid;

namespace {

constexpr uint32_t kOpUpgrade = 12;
constexpr time_t kRetrySeconds = 60;
// Framework status of an upgrade.
constexpr uint32_t kStarted = 3;
constexpr uint32_t kSuccess = 5;
constexpr uint32_t kFailure = 6;
// Driver upgrade states.
constexpr uint32_t kUpgNone = 0;
constexpr uint32_t kUpgInProgress = 2;
constexpr uint32_t kUpgSuccess = 3;
// Acks of an upgrade request.
constexpr uint32_t kAckBusy = 9;
constexpr uint32_t kAckFeedMissing = 13;

constexpr char kInvalidSlot[] = "%s: invalid slot %d \n";
constexpr char kInfoSent[] = "%s: eid %s, driver %d capi rc %d\n";
constexpr char kInvalidDriver[] = "%s: invalid drvif driver %d \n";
constexpr char kNullFpd[] = "%s: NUll fpd data ptr\n";
constexpr char kConvertFailed[] = "%s: inv_util_convert_eid_to_pelm_eid failed, drv %d\n";
constexpr char kUpdSent[] = "%s: drvif_set_fpga_info for eid %s, fpd path %s, rc 0x%x\n";
constexpr char kCapiErr[] = "%s(): capi err: %u\n";
constexpr char kNullMsg[] = "%s(): NULL msg\n";
constexpr char kCounts[] = "%s Ent fpga_cnt %d %d\n\n";
constexpr char kNoInfo[] = "%s: no fpga info in the msg\n";
constexpr char kNoEid[] = "%s: no eid for fpga date - idx %d \n";
constexpr char kNoRecord[] = "%s: Invalid fpd_data for pelm eid %s in slot %d\n";
constexpr char kData[] =
    "%s: eid %s, is_upgradable %d, hw_ver %d.%d, fw_ver %d.%d, inst_fw_ver %d.%d, upgrade_state %d "
    "(fault: %s), upgrade_progress %d from %s\n\n";
constexpr char kSetAck[] = "%s(): ack %d for eid %s \n";
constexpr char kSetNoRecord[] = "%s(): get_fpd_data_ptr failed for eid %s \n";
constexpr char kTreeNew[] = "Failed to create new FPD timer tree.\n";
constexpr char kTreeAttach[] = "Failed to attach FPD timer tree.\n";
constexpr char kTreeDone[] = "FPD timer tree init done\n";
constexpr char kNoMemory[] = "failed to allocate memory";
constexpr char kTimerStart[] = "timer start for slot %d\n";
constexpr char kNullContext[] = "NULL Context.\n";
constexpr char kTimerFired[] = "get fpd for slot %d EID:%s\n";
constexpr char kSuccessText[] = "successfully upgraded";
constexpr char kStartedText[] = "upgrade started";
constexpr char kFeedText[] = "One or more Feed A/B/C are missing";
constexpr char kInvalidParamText[] = "Invalid parameter";
constexpr char kNone[] = "none";

// Leaves started and not expired yet, with their contexts.
std::vector<mtimer_leaf_t*> g_leaves;

void call_framework(fpd_data* fpd, uint32_t status) {
  if (fpd->cb_func) fpd->cb_func(fpd->fpd_out.fpd_hd, fpd, status, fpd->fault_msg);
}

void tell_framework(fpd_data* fpd, uint32_t status) {
  call_framework(fpd, status);
  fpd->state = status;
}

// One entry of an FPGA-data message.
void process_entry(const drvif_fpga_data_rec& e, const uint32_t* code, bool notified,
                   const char* func) {
  OwnedEid pelm;
  if (inv_util_copy_pelm_eid_to_pelm_eid(&e.eid, &pelm.eid) != INV_UTIL_OK) return;
  const uint32_t slot = pelm.eid.slot;
  inv_eid eid{};
  if (inv_util_convert_pelm_eid_to_eid(&pelm.eid, &eid) != INV_UTIL_OK) return;
  if (code && envmon_hal_check_get_fpd_resp(slot, *code)) {
    envmon_fpd_timer_start(&pelm.eid);
    return;
  }
  fpd_data* fpd = envmon_hal_get_fpd_data(slot, &eid);
  if (!fpd) {
    tlg_internal(err_tlg_cmn_hdl, kNoRecord, func, EidText(&pelm.eid).text, static_cast<int>(slot));
    return;
  }
  uint32_t tray = 0;
  const bool fan_tray = envmon_is_fantray_slot(slot, &tray);
  const uint32_t previous = fpd->upgrade_state;
  fpd->is_upgradable = e.upgradable ? 1 : 0;
  fpd->hw_ver_major = e.hw_major;
  fpd->hw_ver_minor = e.hw_minor;
  fpd->fpd_ver_major = e.fw_major;
  fpd->fpd_ver_minor = e.fw_minor;
  fpd->req_fpd_ver_major = fpd->inst_fpd_ver_major = e.inst_major;
  fpd->req_fpd_ver_minor = fpd->inst_fpd_ver_minor = e.inst_minor;
  fpd->fpd_size = static_cast<uint32_t>(e.fpd_size);
  fpd->upgrade_state = e.upgrade_state;
  fpd->upg_progress = e.progress;
  // Each entry says for itself whether it carries a fault text.
  const bool fault_text = (e.present[2] & 0x1 && e.fault_text) || (e.present[2] & 0x2 && e.status_text);
  if (e.present[2] & 0x1 && e.fault_text)
    copy_text(fpd->fault_msg, sizeof(fpd->fault_msg), e.fault_text);
  else if (e.present[2] & 0x2 && e.status_text)
    copy_text(fpd->fault_msg, sizeof(fpd->fault_msg), e.status_text);
  else if (fpd->upgrade_state == kUpgSuccess) {
    copy_text(fpd->fault_msg, sizeof(fpd->fault_msg), kSuccessText);
    if (fan_tray) envmon_hal_fan_mgmt_fan_speed_update(tray, 0);
  }
  const char* from = notified ? "notify_fpga_data" : "resp_get_fpga_info";
  const char* shown = fault_text ? fpd->fault_msg : kNone;
  tlg_internal(main_tlg_cmn_hdl, kData, func, EidText(&eid).text, fpd->is_upgradable,
               fpd->hw_ver_major, fpd->hw_ver_minor, fpd->fpd_ver_major, fpd->fpd_ver_minor,
               fpd->inst_fpd_ver_major, fpd->inst_fpd_ver_minor, fpd->upgrade_state, shown,
               fpd->upg_progress, from);
  envmon_debug_log(kData, func, EidText(&eid).text, fpd->is_upgradable, fpd->hw_ver_major,
                   fpd->hw_ver_minor, fpd->fpd_ver_major, fpd->fpd_ver_minor, fpd->inst_fpd_ver_major,
                   fpd->inst_fpd_ver_minor, fpd->upgrade_state, shown, fpd->upg_progress, from);
  if (!notified || fpd->upgrade_state == kUpgNone) {
    if (fpd->reg_state & ENVMON_ST_REG_DONE)
      envmon_inv_invreg_rm_report_fpga_data(fpd, notified ? 0 : 1);
    else
      fpd->reg_state |= ENVMON_ST_VALUE_WAITING;
    if (fpd->fpd_out.fpd_hd) fpd_drv_enable_fpd(fpd->fpd_out.fpd_hd, 1);
    return;
  }
  switch (fpd->upgrade_state) {
    case kUpgSuccess:
      // The inventory report goes out before the state moves on.
      call_framework(fpd, kSuccess);
      envmon_inv_invreg_rm_report_fpga_data(fpd, 0);
      fpd->state = kSuccess;
      break;
    case 4:
    case 5:
      tell_framework(fpd, kFailure);
      break;
    case kUpgInProgress:
      if (previous != kUpgInProgress) {
        copy_text(fpd->fault_msg, sizeof(fpd->fault_msg), kStartedText);
        tell_framework(fpd, kStarted);
      } else if (fault_text) {
        envmon_hal_drvif_fpd_data_fault_notification(slot, &pelm.eid, fpd);
      }
      break;
    default:
      break;
  }
  envmon_hal_drvif_fpd_data_state_notification(slot, fpd, 1, previous);
}

void process_message(const drvif_fpga_data_msg* msg, bool notified, const char* func) {
  const uint32_t n = msg->data ? msg->data_count : 0;
  const uint32_t codes = msg->resp ? msg->resp_count : 0;
  tlg_internal(main_tlg_cmn_hdl, kCounts, func, static_cast<int>(n), static_cast<int>(codes));
  if (n == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoInfo, func);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    const drvif_fpga_data_rec& e = msg->data[i];
    if (!has_eid(e.present[0] & 0x1, e.eid)) {
      tlg_internal(err_tlg_cmn_hdl, kNoEid, func, static_cast<int>(i));
      continue;
    }
    process_entry(e, i < codes ? &msg->resp[i] : nullptr, notified, func);
  }
}

}  // namespace

extern "C" {

struct mtimer_tree* env_fpd_timer_tree;

uint32_t envmon_drvif_fpd_driver_for_slot(uint32_t slot) {
  uint32_t tray = 0;
  if (envmon_is_fantray_slot(slot, &tray))
    return envmon_is_ft_idx_belongs_to_pft(tray) ? ENVMON_DRV_FAN : ENVMON_DRV_FAN2;
  return envmon_hal_drvif_get_driver_by_slot(slot);
}

void envmon_drvif_get_fpd_info(const inv_eid* eid, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_drvif_get_fpd_info";
  const uint32_t driver = envmon_drvif_fpd_driver_for_slot(slot);
  if (!driver_ok(driver)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidSlot, kFunc, static_cast<int>(slot));
    return;
  }
  OwnedEid pelm;
  if (!eid || inv_util_convert_eid_to_pelm_eid(eid, &pelm.eid) != INV_UTIL_OK) return;
  pelm.eid.rack = ENVMON_RACK_UNKNOWN;
  pelm.eid.slot = slot;
  drvif_eid_list_req req{&pelm.eid, 1, 1};
  drvif_handle_t* h = get_drvif_driver_handler(driver);
  const int rc = h ? drvif_get_fpga_info(h, &req, 0) : DRVIF_ERR_NOT_CONNECTED;
  tlg_internal(main_tlg_cmn_hdl, kInfoSent, kFunc, EidText(&pelm.eid).text, static_cast<int>(driver), rc);
}

void envmon_drvif_request_fpd_upd(uint32_t driver, struct fpd_data* fpd) {
  static constexpr char kFunc[] = "envmon_drvif_request_fpd_upd";
  if (!envmon_hal_is_fpd_upgrade_supported(driver)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidDriver, kFunc, static_cast<int>(driver));
    return;
  }
  if (!fpd) {
    tlg_internal(err_tlg_cmn_hdl, kNullFpd, kFunc);
    return;
  }
  drvif_fpga_set_rec entry{};
  if (inv_util_convert_eid_to_pelm_eid(&fpd->eid, &entry.eid) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kConvertFailed, kFunc, static_cast<int>(driver));
    return;
  }
  entry.eid.rack = ENVMON_RACK_UNKNOWN;
  entry.path = fpd->fpd_path;
  entry.req_major = fpd->req_fpd_ver_major;
  entry.req_minor = fpd->req_fpd_ver_minor;
  entry.toggle = fpd->toggle_upgrade;
  entry.present = 0x1f;
  uint32_t op = kOpUpgrade;
  drvif_set_fpga_info_req req{&entry, 1, &op, 1, 0x3};
  drvif_handle_t* h = get_drvif_driver_handler(driver);
  const int rc = h ? drvif_set_fpga_info(h, &req, 0) : DRVIF_ERR_NOT_CONNECTED;
  if (rc == 0) count(kFpdUpdReq);
  tlg_internal(pwrm_tlg_cmn_hdl, kUpdSent, kFunc, EidText(&entry.eid).text, fpd->fpd_path,
               static_cast<unsigned>(rc));
  envmon_free_tsi(&entry.eid);
}

void envmon_drvif_resp_get_fpga_info_cb(struct drvif_handle*, const struct drvif_fpga_data_msg* msg,
                                        uint8_t, int32_t status, uint64_t) {
  static constexpr char kFunc[] = "envmon_drvif_resp_get_fpga_info_cb";
  if (status != 0 || !msg) {
    tlg_internal(err_tlg_cmn_hdl, kCapiErr, kFunc, static_cast<unsigned>(status));
    return;
  }
  process_message(msg, false, kFunc);
}

void envmon_drvif_notify_fpga_data_cb(struct drvif_handle* handle, const struct drvif_fpga_data_msg* msg,
                                      uint64_t cookie) {
  static constexpr char kFunc[] = "envmon_drvif_notify_fpga_data_cb";
  if (!msg) {
    tlg_internal(err_tlg_cmn_hdl, kNullMsg, kFunc);
    return;
  }
  process_message(msg, true, kFunc);
  drvif_notif_ack ack{};
  drvif_receive_notif_fpga_data(handle, &ack, 1, 0, cookie);
}

void envmon_drvif_resp_set_fpga_info_cb(struct drvif_handle*, const struct drvif_eid_ack_resp* msg,
                                        uint8_t, int32_t status, uint64_t) {
  static constexpr char kFunc[] = "envmon_drvif_resp_set_fpga_info_cb";
  if (!msg) {
    tlg_internal(err_tlg_cmn_hdl, kNullMsg, kFunc);
    return;
  }
  if (status != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCapiErr, kFunc, static_cast<unsigned>(status));
    return;
  }
  const uint32_t n = (msg->eid && msg->ack) ? std::min(msg->eid_count, msg->ack_count) : 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t ack = msg->ack[i];
    tlg_internal(main_tlg_cmn_hdl, kSetAck, kFunc, static_cast<int>(ack), EidText(&msg->eid[i]).text);
    if (ack == 0) continue;
    inv_eid eid{};
    if (inv_util_convert_pelm_eid_to_eid(&msg->eid[i], &eid) != INV_UTIL_OK) continue;
    const uint32_t slot = msg->eid[i].slot;
    fpd_data* fpd = envmon_hal_get_fpd_data(slot, &eid);
    if (!fpd) {
      tlg_internal(err_tlg_cmn_hdl, kSetNoRecord, kFunc, EidText(&eid).text);
      continue;
    }
    if (ack == kAckBusy) {
      const uint32_t driver = envmon_hal_drvif_get_driver_by_slot(slot);
      if (driver != ENVMON_DRV_ALL) envmon_drvif_request_fpd_upd(driver, fpd);
    } else if ((ack >= 1 && ack <= 3) || ack == kAckFeedMissing) {
      copy_text(fpd->fault_msg, sizeof(fpd->fault_msg), ack == kAckFeedMissing ? kFeedText : kInvalidParamText);
      tell_framework(fpd, kFailure);
      envmon_hal_drvif_fpd_data_state_notification(slot, fpd, 0, fpd->upgrade_state);
    }
  }
}

void envmon_fpd_timer_tree_init(struct evloop* loop) {
  if (env_fpd_timer_tree) return;
  mtimer_tree_t* tree = mtimer_tree_new(0, nullptr);
  if (!tree) {
    tlg_internal(err_tlg_cmn_hdl, kTreeNew);
    return;
  }
  if (evloop_attach_tree_timer(loop, tree, envmon_fpd_timer_expiry, nullptr, 0, 0, 0) < 0) {
    tlg_internal(err_tlg_cmn_hdl, kTreeAttach);
    mtimer_tree_free(tree);
    return;
  }
  env_fpd_timer_tree = tree;
  tlg_internal(main_tlg_cmn_hdl, kTreeDone);
}

void envmon_fpd_timer_start(const pelm_eid* eid) {
  if (!env_fpd_timer_tree || !eid) return;
  pelm_eid* ctx = inv_util_alloc_pelm_eid(1);
  if (!ctx) {
    tlg_internal(err_tlg_cmn_hdl, kNoMemory);
    return;
  }
  mtimer_leaf_t* leaf = mtimer_leaf_new(env_fpd_timer_tree, nullptr, 0, ctx);
  if (!leaf) {
    tlg_internal(err_tlg_cmn_hdl, kNoMemory);
    inv_util_free_pelm_eid(ctx, 1);
    return;
  }
  inv_util_copy_pelm_eid_to_pelm_eid(eid, ctx);
  tlg_internal(main_tlg_cmn_hdl, kTimerStart, static_cast<int>(eid->slot));
  const timeval after{kRetrySeconds, 0};
  mtimer_leaf_start(leaf, &after);
  g_leaves.push_back(leaf);
}

int envmon_fpd_timer_expiry(struct mtimer_tree* tree, void*) {
  mtimer_leaf_t* leaf = mtimer_tree_first_expired(tree);
  if (!leaf) return 0;
  mtimer_leaf_stop(leaf);
  std::erase(g_leaves, leaf);
  auto* ctx = static_cast<pelm_eid*>(mtimer_leaf_get_context(leaf));
  if (!ctx) {
    tlg_internal(err_tlg_cmn_hdl, kNullContext);
    mtimer_leaf_free(leaf);
    return 0;
  }
  // Everything the request needs is taken from the context before it goes.
  const uint32_t slot = ctx->slot;
  tlg_internal(main_tlg_cmn_hdl, kTimerFired, static_cast<int>(slot), EidText(ctx).text);
  inv_eid eid{};
  const bool ok = inv_util_convert_pelm_eid_to_eid(ctx, &eid) == INV_UTIL_OK;
  mtimer_leaf_free(leaf);
  inv_util_free_pelm_eid(ctx, 1);
  if (ok) envmon_drvif_get_fpd_info(&eid, slot);
  return 0;
}

}  // extern "C"

extern "C" void envmon_drvif_test_forget(void) {
  for (auto& h : envmon_drvif_driver_table) {
    if (h) drvif_handle_destroy(h);
    h = nullptr;
  }
  for (mtimer_leaf_t* leaf : g_leaves) {
    inv_util_free_pelm_eid(static_cast<pelm_eid*>(mtimer_leaf_get_context(leaf)), 1);
    mtimer_leaf_free(leaf);
  }
  g_leaves.clear();
  if (env_fpd_timer_tree) {
    mtimer_tree_free(env_fpd_timer_tree);
    env_fpd_timer_tree = nullptr;
  }
}
