// Entity-data notifications of the platform drivers: presence and removal of
// fan trays handled here (identity, IDPROM, description, FRU registration,
// fan and power management), every other entity handed to the hardware
// abstraction.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "envmon.h"
#include "envmon_drvif_private.h"
#include "fpd_drv.h"

using namespace envmon_drvif;
using envmon_acq::copy_text;
using envmon_acq::EidText;
using envmon_acq::OwnedEid;

namespace {

constexpr uint32_t kPresent = 0x1;
constexpr uint32_t kRemoved = 0x2;
constexpr uint32_t kRemovalReason = 0x800000;
constexpr uint8_t kFanTraySubtype = 6;
constexpr uint32_t kFpdUpgrading = 2;
constexpr uint32_t kFpdFailure = 6;
constexpr size_t kSerialLen = 12;
constexpr size_t kTextLen = 256;
constexpr uint32_t kPidBuf = 19;

constexpr char kBadHandle[] = "%s(): error getting driver %d for hdl %p\n\n";
constexpr char kGotData[] = "%s got eid data for driver %d\n\n";
constexpr char kNoEid[] = "%s(): EID data missing\n\n";
constexpr char kOptics[] = "FAN_ALGO_OPTICS:Slot:%d\n";
constexpr char kInvalidPair[] = "Driver %d slot %d combination not valid\n";
constexpr char kNoTsi[] = "%s(): tsi not set\n\n";
constexpr char kBadTsiCount[] = "%s(): tsi count is invalid\n\n";
constexpr char kEidFrom[] = "%s(): EID %s from driver %d for type %d subtype %d\n\n";
constexpr char kEvents[] = "hw events 0x%x, warn events 0x%x for slot %d\n";
constexpr char kNoCount[] = "%s(): invalid eid count\n";
constexpr char kPresentTrace[] = "%s(): FAN Event: Slot %d:Present:board Id 0x%x\n\n";
constexpr char kNotFanTray[] = "%s: invalid slot %d for fan tray\n";
constexpr char kOirBefore[] = "%s(): OIR done before  \n\n";
constexpr char kOirIn[] = "%s(): OIR in  \n\n";
constexpr char kNoPid[] = "%s(): Failed to extract PID from fan tray %d IDPROM, err = %ld\n";
constexpr char kPid[] = "fan tray %d board_id 0x%x pid %s\n";
constexpr char kEmpty[] = "%s(): FAN Event: Slot %d:Empty\n\n";
constexpr char kFqFailed[] = "%s: Failed to get fully qualified EID: eid1=%s, pq_eid=%s\n";
constexpr char kTrayRemoved[] = "Fan Tray is removed";

// The fields of one entry; those a driver left out read as empty or 0, for
// every entry alike.
struct Entry {
  uint32_t board_id = 0;
  char serial[kSerialLen] = "";
  bool has_state = false;
  uint32_t state = 0;
  uint32_t fault = 0;
  bool has_warning = false;
  uint32_t warning = 0;
  const uint8_t* idprom = nullptr;
  uint32_t idprom_len = 0;
  uint32_t misc = 0;
  char text1[kTextLen] = "";
  char text2[kTextLen] = "";
  uint32_t hw_major = 0;
  uint32_t hw_minor = 0;
  uint32_t aux = 0;

  explicit Entry(const drvif_eid_data_rec& e) {
    const uint8_t a = e.present[0];
    const uint8_t b = e.present[1];
    if (a & 0x02) board_id = e.board_id;
    if (a & 0x04) copy_text(serial, sizeof(serial), e.serial);
    has_state = a & 0x08;
    if (has_state) state = e.state;
    if (a & 0x10) fault = e.fault;
    has_warning = a & 0x20;
    if (has_warning) warning = e.warning;
    if ((a & 0x40) && e.idprom) {
      idprom = e.idprom;
      idprom_len = e.idprom_len;
    }
    if (a & 0x80) misc = e.misc;
    if (b & 0x01) copy_text(text1, sizeof(text1), e.text1);
    if (b & 0x02) copy_text(text2, sizeof(text2), e.text2);
    if (b & 0x04) hw_major = e.hw_major;
    if (b & 0x08) hw_minor = e.hw_minor;
    if (b & 0x10) aux = e.aux;
  }
};

void fan_tray_inserted(const drvif_eid_data_rec& rec, const Entry& e, uint32_t slot, const char* func) {
  tlg_internal(main_tlg_cmn_hdl, kPresentTrace, func, static_cast<int>(slot), e.board_id);
  uint32_t tray = 0;
  if (!envmon_is_fantray_slot(slot, &tray)) {
    tlg_internal(pwrm_tlg_cmn_hdl, kNotFanTray, func, static_cast<int>(slot));
    return;
  }
  fantray_cb& ft = envmon_rm->fantray_cb[tray];
  if (e.has_warning) ft.hw_warning = e.warning;
  if (envmon_hal_fan_mgmt_is_inv_reg_active(tray)) {
    // A repeated presence report: the tray's state is refreshed, nothing
    // registered again.
    envmon_hal_fan_mgmt_fan_speed_update(tray, 1);
    tlg_internal(main_tlg_cmn_hdl, kOirBefore, func);
    envmon_report_drvif_hw_event_to_inv(e.state, slot);
    envmon_hal_fan_mgmt_fantray_oir(tray, 1, &ft.ceid, 0, nullptr);
    envmon_set_hw_event_ctx(&ft.hw_ctx, e.state, e.warning);
    envmon_pwr_mgmt_fantray_oir_ev(static_cast<uint8_t>(tray), 1);
    envmon_hal_fan_mgmt_inv_reg_reset_state(e.state, tray, 0);
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kOirIn, func);
  ft.board_id = e.board_id;
  ft.pd_type = e.aux;
  const uint32_t len = std::min(e.idprom_len, envmon_hal_get_max_idprom_size());
  if (ft.eeprom) {
    if (len) memcpy(ft.eeprom, e.idprom, len);
    ft.eeprom_len = len;
  }
  char pid[kPidBuf] = "";
  const int prc = ft.eeprom ? envmon_hal_idprom_get_pid(ft.eeprom, len, pid, kPidBuf) : -1;
  if (prc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoPid, func, static_cast<int>(tray), static_cast<long>(prc));
    const char* name = envmon_get_card_name(e.board_id);
    copy_text(ft.pid, ENVMON_PID_MAX + 1, name);
  } else {
    tlg_internal(main_tlg_cmn_hdl, kPid, static_cast<int>(tray), e.board_id, pid);
    copy_text(ft.pid, sizeof(ft.pid), pid);
  }
  envmon_free_tsi(&ft.ceid);
  inv_util_copy_pelm_eid_to_pelm_eid(&rec.eid, &ft.ceid);
  if (envmon_rm_fan_parse_xml(slot) == ENVMON_ERR_UNSUPPORTED_FANTRAY) return;
  envmon_hal_fan_mgmt_fantray_oir(tray, 1, &ft.ceid, 0, nullptr);
  envmon_set_hw_event_ctx(&ft.hw_ctx, e.state, e.warning);
  envmon_update_card_budget(static_cast<int32_t>(slot), static_cast<int32_t>(e.board_id), ft.pid,
                            static_cast<int32_t>(e.hw_major), static_cast<int32_t>(e.hw_minor), true, 1);
  envmon_inv_invreg_fan_fru_reg(slot, e.board_id, e.serial, e.idprom, len,
                                const_cast<pelm_eid*>(&rec.eid));
  ft.flags = (ft.flags & 0x0FFFFFFCu) | 0xF0000001u;
  envmon_pwr_mgmt_fantray_oir_ev(static_cast<uint8_t>(tray), 1);
}

void fan_tray_removed(const pelm_eid& copy, const Entry& e, uint32_t slot, const char* func) {
  tlg_internal(main_tlg_cmn_hdl, kEmpty, func, static_cast<int>(slot));
  uint32_t tray = 0;
  if (!envmon_is_fantray_slot(slot, &tray)) {
    tlg_internal(pwrm_tlg_cmn_hdl, kNotFanTray, func, static_cast<int>(slot));
    return;
  }
  fantray_cb& ft = envmon_rm->fantray_cb[tray];
  ft.hw_warning = 0;
  const inv_eid* cont =
      envmon_rm->fan_cont_eids && tray < envmon_rm->fan_cont_count ? &envmon_rm->fan_cont_eids[tray] : nullptr;
  OwnedEid fq;
  if (envmon_util_build_fq_eid(cont, nullptr, &copy, &fq.eid) != ENVMON_OK) {
    tlg_internal(err_tlg_cmn_hdl, kFqFailed, func, cont ? EidText(cont).text : "", EidText(&copy).text);
  } else {
    envmon_fm_fault_clear(ENVMON_SCOPE_RACK, &fq.eid);
  }
  const bool reason = e.fault & kRemovalReason;
  envmon_hal_fan_mgmt_fantray_oir(tray, 0, &ft.ceid, reason ? 1 : 0, reason ? e.text1 : nullptr);
  envmon_update_card_budget(static_cast<int32_t>(slot), static_cast<int32_t>(ft.board_id), ft.pid,
                            static_cast<int32_t>(e.hw_major), static_cast<int32_t>(e.hw_minor), true, 0);
  // Each registered FPD is withdrawn once, here; the clean-up below finds
  // them withdrawn.
  for (uint32_t f = 0; ft.fpd_data && f < ft.fpd_count; ++f) {
    fpd_data& fpd = ft.fpd_data[f];
    if (fpd.init_st != ENVMON_FPD_INIT_DONE) continue;
    if (fpd.upgrade_state == kFpdUpgrading && fpd.cb_func)
      fpd.cb_func(fpd.fpd_out.fpd_hd, &fpd, kFpdFailure, kTrayRemoved);
    fpd_drv_unregister(fpd.fpd_out.fpd_hd);
    fpd.fpd_out.fpd_hd = nullptr;
    fpd.init_st = ENVMON_FPD_INIT_PENDING;
  }
  envmon_rm_fan_cb_cleanup(tray);
  envmon_inv_invreg_fan_fru_unreg(slot);
  if (envmon_is_fantray_slot(slot, &tray)) envmon_pwr_mgmt_fantray_oir_ev(static_cast<uint8_t>(tray), 0);
  ft.flags = (ft.flags & 0x0FFFFFF3u) | 0xF0000004u;
  // The power-budget record's id of the tray is empty until the next insertion.
  envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
  if (pm && pm->fantray_pbudget) envmon_free_tsi(&pm->fantray_pbudget[tray].eid);
}

}  // namespace

extern "C" void envmon_drvif_notify_eid_data_cb(struct drvif_handle* handle,
                                                const struct drvif_eid_data_msg* msg) {
  static constexpr char kFunc[] = "envmon_drvif_notify_eid_data_cb";
  const uint32_t driver = envmon_drvif_get_driver_index(handle);
  if (driver == ENVMON_DRV_ALL) {
    tlg_internal(err_tlg_cmn_hdl, kBadHandle, kFunc, static_cast<int>(driver), static_cast<void*>(handle));
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kGotData, kFunc, static_cast<int>(driver));
  uint8_t subtype = 0;
  const uint32_t n = (msg && msg->data) ? msg->data_count : 0;
  for (uint32_t i = 0; i < n; ++i) {
    const drvif_eid_data_rec& rec = msg->data[i];
    if (!has_eid(rec.present[0] & 0x1, rec.eid)) {
      tlg_internal(err_tlg_cmn_hdl, kNoEid, kFunc);
      continue;
    }
    OwnedEid copy;
    if (inv_util_copy_pelm_eid_to_pelm_eid(&rec.eid, &copy.eid) != INV_UTIL_OK) continue;
    const uint32_t slot = copy.eid.slot;
    if (envmon_hal_is_optics_slot(slot)) {
      // Only this entry is an optics removal; the rest of the batch and its
      // completion still go on.
      envmon_hal_fan_algo_optics_removal(slot);
      tlg_internal(fanm_tlg_cmn_hdl, kOptics, static_cast<int>(slot));
      continue;
    }
    const Entry e(rec);
    if (envmon_hal_is_driver_and_slot_valid(driver, slot) != 1) {
      tlg_internal(err_tlg_cmn_hdl, kInvalidPair, static_cast<int>(driver), static_cast<int>(slot));
      continue;
    }
    if (!copy.eid.tsi) {
      tlg_internal(err_tlg_cmn_hdl, kNoTsi, kFunc);
      continue;
    }
    if (copy.eid.tsi_count == 0) {
      tlg_internal(err_tlg_cmn_hdl, kBadTsiCount, kFunc);
      continue;
    }
    subtype = static_cast<uint8_t>(inv_util_get_pelm_tsi_subtype(&copy.eid.tsi[copy.eid.tsi_count - 1]));
    tlg_internal(main_tlg_cmn_hdl, kEidFrom, kFunc, EidText(&copy.eid).text, static_cast<int>(driver),
                 static_cast<int>(copy.eid.tsi[0].type), static_cast<int>(subtype));
    uint32_t scope = ENVMON_SCOPE_RACK;
    if (envmon_nm && slot == envmon_nm->slot_num) {
      copy.eid.slot = ENVMON_SLOT_SELF;
      scope = ENVMON_SCOPE_NODE;
    }
    tlg_internal(main_tlg_cmn_hdl, kEvents, e.state, e.warning, static_cast<int>(slot));
    if (subtype != kFanTraySubtype) {
      envmon_hal_drvif_eid_data_notification(subtype, &rec, &rec.eid, &copy.eid, copy.eid.tsi,
                                             copy.eid.tsi_count, slot, e.board_id, e.serial, e.state,
                                             e.fault, e.text1, e.warning, e.text2, e.misc, e.idprom,
                                             e.idprom_len, e.hw_major, e.hw_minor, scope);
      continue;
    }
    if (!e.has_state || !envmon_rm || !envmon_rm->fantray_cb) continue;
    if (e.state & kPresent)
      fan_tray_inserted(rec, e, slot, kFunc);
    else if (e.state & kRemoved)
      fan_tray_removed(copy.eid, e, slot, kFunc);
    else
      envmon_report_drvif_hw_event_to_inv(e.state, slot);
  }
  envmon_hal_drvif_eid_data_notification_complete(subtype);
  if (n == 0) tlg_internal(err_tlg_cmn_hdl, kNoCount, kFunc);
}
