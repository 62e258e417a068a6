// The drivers' sensor readings, routed by sensor subtype to power management,
// fan management, thresholds and voltage faults (for every slot, PEM slots
// taking their own paths), and the FPD look-ups and notifications of PEM
// firmware upgrades.
#include "drvif.h"
#include "envmon_drvif.h"
#include "envmon_invreg.h"
#include "envmon_pem_private.h"
#include "fpd_drv.h"

namespace pem {
bool fan_fault_seen = false;
bool pem_current_changed = false;
}  // namespace pem

namespace {

constexpr uint32_t kHwNotReadable = 0x20;
constexpr uint32_t kHwDown = 0x40;
constexpr uint32_t kPemTimeout = 1500;
constexpr uint32_t kOtherTimeout = 1800;
constexpr uint32_t kTagFpdWarning = 48;
constexpr uint32_t kStateReloadRequired = 5;
constexpr uint32_t kStateUpgradeFailed = 6;
constexpr uint32_t kStateUpgrading = 3;
constexpr uint32_t kUpgradeInProgress = 2;

bool value_present(const drvif_sensor_data_rec* e) { return e != nullptr && (e->present[0] & 0x02) != 0; }
bool fault_present(const drvif_sensor_data_rec* e) { return e != nullptr && (e->present[0] & 0x10) != 0; }
bool first_threshold(const drvif_sensor_data_rec* e) { return e != nullptr && (e->present[1] & 0x10) != 0; }
bool second_threshold(const drvif_sensor_data_rec* e) { return e != nullptr && (e->present[1] & 0x20) != 0; }

bool is_pem(uint32_t slot) {
  uint32_t t = 0, i = 0;
  return envmon_is_pem_slot(static_cast<int32_t>(slot), &t, &i) != 0;
}

// The PEM's FPD record with the given entity id, its PEM and index.
fpd_data* find_pem_fpd(uint32_t slot, const inv_eid* eid, uint32_t* tray, uint32_t* pem, uint16_t* index) {
  uint32_t t = 0, i = 0;
  if (eid == nullptr || !envmon_is_pem_slot(static_cast<int32_t>(slot), &t, &i)) return nullptr;
  pem_record* p = pem::pem_at(t, i);
  for (uint16_t f = 0; p->fpds != nullptr && f < p->num_fpds; ++f) {
    if (!envmon_inv_eid_same(&p->fpds[f].eid, eid)) continue;
    if (tray) *tray = t;
    if (pem) *pem = i;
    if (index) *index = f;
    return &p->fpds[f];
  }
  return nullptr;
}

void extend(void* handle, uint32_t value) {
  const int rc = fpd_drv_extend_timeout(handle, value);
  tlg_internal(pwrm_tlg_pem_hdl, "fpd_drv_extend_timeout for fpd_hd %p, rc %d\n", handle, rc);
}

}  // namespace

extern "C" {

void envmon_pem_drvif_sensor_data_notification(uint8_t subtype, const struct drvif_sensor_data_rec* entry, pelm_eid* eid,
                                               const char* eid_str, pelm_tsi* tsi, uint32_t tsi_count, uint32_t slot,
                                               uint32_t scope, int32_t value, uint32_t hw_event, uint32_t fault_event,
                                               uint32_t /*warning_event*/, uint32_t /*figure1*/, uint32_t figure2,
                                               uint32_t figure3, uint64_t /*figure4*/, uint64_t timestamp) {
  static constexpr char kFunc[] = "envmon_pem_drvif_sensor_data_notification";
  const bool value_events = (hw_event & (kHwNotReadable | kHwDown)) == 0 && value_present(entry);
  const int32_t sc = static_cast<int32_t>(scope);
  const bool pem_slot = is_pem(slot);
  switch (subtype) {
    case ENVMON_SENSOR_CURRENT:
      if (value_events) {
        envmon_curr_value_change_event(eid, value, sc, timestamp);
        if (pem_slot) pem::pem_current_changed = true;
      }
      break;
    case ENVMON_SENSOR_FAN_SPEED: {
      envmon_sensor_info* sensor = nullptr;
      if (!(hw_event & kHwNotReadable)) {
        if (envmon_util_get_sensor_info(eid, &sensor, scope) != ENVMON_OK) sensor = nullptr;
        if (sensor == nullptr) {
          tlg_internal(err_tlg_pem_hdl, "%s(): invalid EID %s\n", kFunc, eid_str ? eid_str : "");
        } else {
          sensor->last_value = sensor->value;
          sensor->value = value;
          if (second_threshold(entry)) sensor->threshold.minor_high = entry->thr_minor_high;
          if (first_threshold(entry)) sensor->threshold.minor_low = entry->thr_minor_low;
          sensor->timestamp = timestamp;
        }
      }
      if (fault_present(entry)) {
        if (pem_slot) {
          envmon_pem_single_fan_fault_event(eid, fault_event, sc);
          pem::fan_fault_seen = true;
        } else {
          envmon_hal_fan_mgmt_sensor_fault_event(eid, fault_event, sc);
        }
      }
      if (hw_event & kHwNotReadable) break;
      uint32_t tray = 0;
      if (value_present(entry) && envmon_is_fantray_slot(slot, &tray) && tsi != nullptr && tsi_count >= 2)
        envmon_hal_fan_mgmt_fan_speed_value_change_event(slot, tsi[tsi_count - 2].instance - 1, value, timestamp, eid);
      if (sensor != nullptr) {
        if (!(sensor->state & ENVMON_ST_REG_DONE)) sensor->state |= ENVMON_ST_VALUE_WAITING;
        if (pem_slot) envmon_inv_invreg_rm_fan_speed_sensor_update(sensor, eid, value, timestamp, 0, 0, 0);
      }
      break;
    }
    case ENVMON_SENSOR_POWER:
      if (value_events) envmon_power_value_change_event(eid, value, sc, timestamp);
      break;
    case ENVMON_SENSOR_TEMPERATURE:
      if (first_threshold(entry) || second_threshold(entry)) {
        envmon_sensor_info* sensor = nullptr;
        if (envmon_util_get_sensor_info(eid, &sensor, scope) != ENVMON_OK || sensor == nullptr) {
          tlg_internal(err_tlg_pem_hdl, "%s(): invalid EID %s\n", kFunc, eid_str ? eid_str : "");
        } else {
          if (second_threshold(entry)) sensor->threshold.critical_high = entry->thr_minor_high;
          if (first_threshold(entry)) sensor->threshold.minor_high = entry->thr_minor_low;
          envmon_inv_invreg_eid_upd_pem_temp_sensor_threshold(eid, sensor);
        }
      }
      envmon_hal_clear_temp_alarm();
      if (envmon_nm != nullptr && envmon_nm->disable_temp_monitoring) {
        // The entity id stays the caller's: it is released where it was made.
        envmon_debug_log("HW temperature monitoring disabled from test tool\ndropping sensor EID %s value = %d\n",
                         eid_str ? eid_str : "", value);
        break;
      }
      if (fault_present(entry) && !pem_slot) envmon_hal_fan_mgmt_sensor_fault_event(eid, fault_event, sc);
      if (value_events)
        envmon_hal_fan_mgmt_temp_value_change_event(eid, static_cast<uint32_t>(value), sc, timestamp, figure2, figure3);
      break;
    case ENVMON_SENSOR_VOLTAGE:
      if (fault_present(entry)) {
        if (pem_slot)
          envmon_process_drvif_pem_volt_fault(eid, value, fault_event, sc);
        else
          envmon_process_drvif_volt_fault(eid, fault_event, sc);
      }
      if (value_events) envmon_volt_value_change_event(eid, value, sc, timestamp);
      break;
    default:
      break;
  }
}

void envmon_pem_drvif_sensor_data_notification_complete(uint8_t /*kind*/) {
  if (pem::fan_fault_seen) {
    pem::fan_fault_seen = false;
    envmon_process_pem_fan_alarm();
  }
  if (pem::pem_current_changed) {
    pem::pem_current_changed = false;
    envmon_chk_n_upd_system_pwr_data(false);
  }
}

fpd_data* envmon_pem_get_fpd_data(uint32_t slot, const inv_eid* eid) {
  static constexpr char kFunc[] = "envmon_pem_get_fpd_data";
  uint32_t t = 0, i = 0;
  if (!envmon_is_pem_slot(static_cast<int32_t>(slot), &t, &i)) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid eid for slot %d\n", kFunc, slot);
    return nullptr;
  }
  pem_record* p = pem::pem_at(t, i);
  if (p->fpds == nullptr || p->num_fpds == 0) return nullptr;
  fpd_data* found = find_pem_fpd(slot, eid, nullptr, nullptr, nullptr);
  if (found == nullptr)
    tlg_internal(err_tlg_pem_hdl, "%s: passed pelm eid in slot %d for pem(%d, %d) fpd\n", kFunc, slot, t, i);
  return found;
}

void envmon_pem_drvif_fpd_data_state_notification(uint32_t slot, fpd_data* fpd, uint32_t from_driver,
                                                  uint32_t prev_state) {
  if (fpd == nullptr) return;
  uint32_t t = 0, i = 0;
  uint16_t index = 0;
  fpd_data* own = find_pem_fpd(slot, &fpd->eid, &t, &i, &index);
  if (own != nullptr) {
    if (own->state == kStateReloadRequired)
      envmon_pwr_mgmt_pem_upg_done(static_cast<uint8_t>(t), static_cast<uint8_t>(i), index, 0);
    else if (own->state == kStateUpgradeFailed)
      envmon_pwr_mgmt_pem_upg_done(static_cast<uint8_t>(t), static_cast<uint8_t>(i), index,
                                   static_cast<uint8_t>(from_driver));
  }
  if (fpd->upgrade_state == kUpgradeInProgress && prev_state != kUpgradeInProgress && fpd->state == kStateUpgrading)
    extend(fpd->fpd_out.fpd_hd, own != nullptr ? kPemTimeout : kOtherTimeout);
}

void envmon_pem_drvif_fpd_data_fault_notification(uint32_t slot, const pelm_eid* eid, fpd_data* fpd) {
  static constexpr char kFunc[] = "envmon_pem_drvif_fpd_data_fault_notification";
  if (fpd == nullptr) return;
  fpd_data* own = find_pem_fpd(slot, &fpd->eid, nullptr, nullptr, nullptr);
  if (fpd->fpd_out.fpd_hd != nullptr) extend(fpd->fpd_out.fpd_hd, own != nullptr ? kPemTimeout : kOtherTimeout);
  if (own == nullptr) return;
  pelm_eid target{};
  if (eid != nullptr) target = *eid;
  pem::FaultRequest fr(kTagFpdWarning, eid != nullptr ? &target : nullptr, pem::kRaise, 0);
  fr.data.description = fpd->fault_msg;
  const envmon_err_t rc = fr.send();
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s: envmon_fm_fault_report returned error rc = %ld. for reporting FPD upgrade warning\n", kFunc,
                 static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: reported FPD upgrade warning %s\n", kFunc, fpd->fault_msg);
}

void envmon_pem_drvif_verify_uncompleted_fpd_upgrade(void) { tlg_internal(pwrm_tlg_pem_hdl, "Nothing to Do yet \n\n"); }

}  // extern "C"
