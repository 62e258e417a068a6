// Sensor and LED notifications of the platform drivers: each reading finds
// its sensor, the hardware state is kept and pushed to inventory, the entry
// goes to the hardware abstraction, and after the batch the failure log gets
// one bulk write per entity that changed.
#include "envmon.h"
#include "envmon_drvif_private.h"

using namespace envmon_drvif;
using envmon_acq::EidText;
using envmon_acq::OwnedEid;

namespace {

constexpr char kBadHandle[] = "%s(): error getting driver %d for hdl %p\n\n";
constexpr char kNoCount[] = "%s(): invalid sensor count\n";
constexpr char kCount[] = "%s(): sensor count = %d\n\n";
constexpr char kNoEid[] = "%s(): EID data missing for driver %d\n\n";
constexpr char kValue[] = "%s(): EID %s value = %d\n";
constexpr char kNoTsi[] = "%s(): tsi not set\n\n";
constexpr char kBadTsiCount[] = "%s(): tsi count is invalid\n\n";
constexpr char kSensorDbg[] =
    "%s(): EID %s name %s value = %d fault_eve 0x/%x, warn_event 0x/%x  hw_event 0x/%x slot %d\n";
constexpr char kUnknownEid[] = "%s(): unable to find EID %s\n";
constexpr char kNoRecord[] = "sensor info is not found on local DB\n";
constexpr char kUnknownHwEvent[] = "%s(): unknown hw event %d\n\n";
constexpr char kSkip[] = "upd_eid_state_skip: EID %s (slot %d, scope %d), new state %d, old_state: %d\n\n";
constexpr char kPush[] = "upd_eid_state: EID %s (slot %d, scope %d), state %d, hw_state: %d\n\n";
constexpr char kNoLed[] = "%s(): no led data from msg\n";
constexpr char kLedNoEid[] = "%s(): EID data missing for idx %d\n";
constexpr char kLedNoTsi[] = "%s(): tsi not set\n";
constexpr char kLedBadTsi[] = "%s(): tsi count is invalid\n";
constexpr char kLedSubtype[] = "%s(): invalid subtype %d\n";
constexpr char kLedUnknown[] = "%s: unable to find EID %s\n";

constexpr uint8_t kUp = 1;
constexpr uint8_t kDown = 2;
constexpr uint8_t kNotAvailable = 3;

// 0x40 down before 0x10 up before 0x20 not available; 0 for none of them.
uint8_t hw_state_of(uint32_t hw_event) {
  if (hw_event & 0x40) return kDown;
  if (hw_event & 0x10) return kUp;
  if (hw_event & 0x20) return kNotAvailable;
  return 0;
}

template <typename Card>
void log_group(uint32_t bit, Card* table, uint32_t n) {
  envmon_rm->obfl_flags &= ~bit;
  for (uint32_t i = 0; table && i < n; ++i) envmon_obfl_rm_log_all(table[i].hw_position, 0);
}

// After a batch: one failure-log pass per entity group that changed.
void log_changed_entities() {
  if (envmon_nm && (envmon_nm->misc_state & ENVMON_NM_OBFL_LOG_ALL) && envmon_nm->obfl_client_id) {
    envmon_obfl_nm_log_all(0);
    envmon_nm->misc_state &= ~static_cast<uint32_t>(ENVMON_NM_OBFL_LOG_ALL);
  }
  envmon_rm_t* rm = envmon_rm;
  if (!rm) return;
  if ((rm->obfl_flags & ENVMON_RM_OBFL_FC) && envmon_hal_are_fc_managed_remotely())
    log_group(ENVMON_RM_OBFL_FC, rm->fc_cb, envmon_hal_get_max_fc());
  if ((rm->obfl_flags & ENVMON_RM_OBFL_LC) && envmon_hal_are_lc_managed_remotely())
    log_group(ENVMON_RM_OBFL_LC, rm->lc_cb, envmon_hal_get_max_lc());
  if (rm->obfl_flags & ENVMON_RM_OBFL_FANTRAYS)
    log_group(ENVMON_RM_OBFL_FANTRAYS, rm->fantray_cb, envmon_hal_get_max_fantray());
  if (rm->obfl_flags & ENVMON_RM_OBFL_SW) log_group(ENVMON_RM_OBFL_SW, rm->sw_cb, envmon_hal_get_max_swc());
}

}  // namespace

extern "C" {

void envmon_update_oper_state(const pelm_eid* eid, uint32_t hw_event, uint32_t scope) {
  static constexpr char kFunc[] = "envmon_update_oper_state";
  const EidText text(eid);
  envmon_sensor_info* s = nullptr;
  if (envmon_util_get_sensor_info(eid, &s, scope) != ENVMON_OK) {
    tlg_internal(err_tlg_cmn_hdl, kUnknownEid, kFunc, text.text);
    return;
  }
  if (!s) {
    tlg_internal(err_tlg_cmn_hdl, kNoRecord);
    return;
  }
  s->hw_event = hw_event;
  uint32_t state = hw_state_of(hw_event);
  if (state == 0) {
    tlg_internal(err_tlg_cmn_hdl, kUnknownHwEvent, kFunc, static_cast<int>(hw_event));
    return;
  }
  const int slot = static_cast<int>(eid->slot);
  if (tolsek_platform() && state == s->hw_state) {
    tlg_internal(info_tlg_cmn_hdl, kSkip, text.text, slot, static_cast<int>(scope),
                 static_cast<int>(state), static_cast<int>(s->hw_state));
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kPush, text.text, slot, static_cast<int>(scope),
               static_cast<int>(state), static_cast<int>(s->hw_state));
  const int32_t rc = envmon_inv_invreg_upd_eid_state(eid, &state, 1, scope);
  if (rc == DRVIF_ERR_FLOW_CONTROL) {
    // Kept as it was, so the next report pushes again.
    s->hw_st_capi_flow_ctrl = 1;
    return;
  }
  s->hw_st_capi_flow_ctrl = 0;
  if (rc == 0) s->hw_state = static_cast<uint8_t>(state);
}

void envmon_drvif_notify_sensor_data_cb(struct drvif_handle* handle,
                                        const struct drvif_sensor_data_msg* msg) {
  static constexpr char kFunc[] = "envmon_drvif_notify_sensor_data_cb";
  const uint32_t driver = envmon_drvif_get_driver_index(handle);
  if (driver == ENVMON_DRV_ALL) {
    tlg_internal(err_tlg_cmn_hdl, kBadHandle, kFunc, static_cast<int>(driver), static_cast<void*>(handle));
    return;
  }
  const uint32_t n = (msg && msg->data) ? msg->data_count : 0;
  if (n == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoCount, kFunc);
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kCount, kFunc, static_cast<int>(n));
  const bool debug = envmon_nm && envmon_nm->drvif_debug;
  uint8_t subtype = ENVMON_SENSOR_TEMPERATURE;
  for (uint32_t i = 0; i < n; ++i) {
    const drvif_sensor_data_rec& e = msg->data[i];
    if (!has_eid(e.present[0] & 0x1, e.eid)) {
      tlg_internal(err_tlg_cmn_hdl, kNoEid, kFunc, static_cast<int>(driver));
      continue;
    }
    // Fields a driver left out read as zero.
    const int32_t value = (e.present[0] & 0x02) ? e.value : 0;
    const uint64_t sensor_type = (e.present[0] & 0x04) ? e.sensor_type : 0;
    const bool has_hw_event = e.present[0] & 0x08;
    const uint32_t hw_event = has_hw_event ? e.hw_event : 0;
    const uint32_t fault = (e.present[0] & 0x10) ? e.fault_event : 0;
    const uint32_t warning = (e.present[0] & 0x20) ? e.warning_event : 0;
    const uint64_t timestamp = (e.present[0] & 0x40) ? e.timestamp : 0;
    const uint32_t scale = (e.present[0] & 0x80) ? e.scale : 0;
    const uint32_t aux1 = (e.present[1] & 0x01) ? e.aux1 : 0;
    const uint32_t aux2 = (e.present[1] & 0x02) ? e.aux2 : 0;
    OwnedEid copy;
    if (inv_util_copy_pelm_eid_to_pelm_eid(&e.eid, &copy.eid) != INV_UTIL_OK) continue;
    EidText text(&copy.eid);
    if (debug) tlg_internal(dbg_tlg_cmn_hdl, kValue, kFunc, text.text, value);
    if (!copy.eid.tsi) {
      tlg_internal(err_tlg_cmn_hdl, kNoTsi, kFunc);
      continue;
    }
    if (copy.eid.tsi_count == 0) {
      tlg_internal(err_tlg_cmn_hdl, kBadTsiCount, kFunc);
      continue;
    }
    subtype = static_cast<uint8_t>(inv_util_get_pelm_tsi_subtype(&copy.eid.tsi[copy.eid.tsi_count - 1]));
    // The card's own sensors are named by slot 0xfffe; the slot as received
    // still tells the scope.
    const uint32_t slot = copy.eid.slot;
    if (envmon_nm && slot == envmon_nm->slot_num) copy.eid.slot = ENVMON_SLOT_SELF;
    uint32_t scope = ENVMON_SCOPE_RACK;
    envmon_hal_set_obfl_state_pending(slot, &scope);
    if (has_hw_event) envmon_update_oper_state(&copy.eid, hw_event, scope);
    envmon_sensor_info* s = nullptr;
    if (envmon_util_get_sensor_info(&copy.eid, &s, scope) == ENVMON_OK && s && debug)
      tlg_internal(dbg_tlg_cmn_hdl, kSensorDbg, kFunc, text.text, s->name, value, fault, warning,
                   hw_event, static_cast<int>(slot));
    count(kSensorDataResp);
    envmon_hal_drvif_sensor_data_notification(subtype, &e, &copy.eid, text.text, copy.eid.tsi,
                                              copy.eid.tsi_count, slot, scope, value, hw_event, fault,
                                              warning, aux2, scale, aux1, sensor_type, timestamp);
  }
  envmon_hal_drvif_sensor_data_notification_complete(subtype);
  log_changed_entities();
}

void envmon_drvif_notify_led_data_cb(struct drvif_handle*, const struct drvif_led_data_msg* msg) {
  static constexpr char kFunc[] = "envmon_drvif_notify_led_data_cb";
  if (!msg || !(msg->present & 0x1) || !msg->data) {
    tlg_internal(err_tlg_cmn_hdl, kNoLed, kFunc);
    return;
  }
  for (uint32_t i = 0; i < msg->data_count; ++i) {
    const drvif_led_data_rec& e = msg->data[i];
    if (!has_eid(e.present & 0x1, e.eid)) {
      tlg_internal(err_tlg_cmn_hdl, kLedNoEid, kFunc, static_cast<int>(i));
      continue;
    }
    OwnedEid copy;
    if (inv_util_copy_pelm_eid_to_pelm_eid(&e.eid, &copy.eid) != INV_UTIL_OK) continue;
    EidText text(&copy.eid);
    tlg_internal(info_tlg_cmn_hdl, kValue, kFunc, text.text, static_cast<int>(e.led_status));
    if (!copy.eid.tsi) {
      tlg_internal(err_tlg_cmn_hdl, kLedNoTsi, kFunc);
      continue;
    }
    if (copy.eid.tsi_count == 0) {
      tlg_internal(err_tlg_cmn_hdl, kLedBadTsi, kFunc);
      continue;
    }
    const uint32_t subtype = inv_util_get_pelm_tsi_subtype(&copy.eid.tsi[copy.eid.tsi_count - 1]);
    if (subtype != ENVMON_SENSOR_LED) {
      tlg_internal(err_tlg_cmn_hdl, kLedSubtype, kFunc, static_cast<int>(subtype));
      continue;
    }
    envmon_sensor_info* s = nullptr;
    if (envmon_util_get_sensor_info(&copy.eid, &s, ENVMON_SCOPE_RACK) != ENVMON_OK || !s) {
      tlg_internal(err_tlg_cmn_hdl, kLedUnknown, kFunc, text.text);
      continue;
    }
    s->last_value = s->value;
    s->value = static_cast<int32_t>(e.led_status);
    s->timestamp = e.timestamp;
    if (!(s->state & ENVMON_ST_REG_DONE)) s->state |= ENVMON_ST_VALUE_WAITING;
    if (e.present & 0x4) envmon_update_oper_state(&copy.eid, e.hw_event, ENVMON_SCOPE_RACK);
    envmon_inv_invreg_led_status_update(&copy.eid, s, ENVMON_SCOPE_RACK);
  }
}

}  // extern "C"
