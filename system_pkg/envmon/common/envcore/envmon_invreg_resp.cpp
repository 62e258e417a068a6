// Acknowledgements of the registration service: entity-id registrations
// (sensors, FPDs, the hardware abstraction's entities), EEPROM reports, data
// and LED updates, FRU power information, and the ones that are only traced.
#include <algorithm>

#include "envmon_invreg_private.h"

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kRegFailed[] = "%s(): register eid resp failed, capi error = %d\n";
constexpr char kMultiAck[] =
    "%s(): received response inv_data_multi_ack. eid_cnt %d ack_cnt %d, scope = %ld\n";
constexpr char kAckLine[] = "%s: ack[%d]=%d, eid=%s \n";
constexpr char kAckRetry[] = "%s(): Ack Retry=%d, eid=%s\n";
constexpr char kNoSensor[] = "%s(): Cannot find sensor info EID = %s  rc=%d\n";
constexpr char kFanout[] = "calling fanout from INVREG\n";
constexpr char kHideFailed[] = "failed to update invdb with hide status for sensor %s\n";
constexpr char kHideOk[] = "updated invdb with hide status for sensor %s hide %d\n";
constexpr char kAckError[] = "%s(): Ack Error=%d, eid=%s\n";
constexpr char kErrReturn[] = "%s(): err return_code %u\n";
constexpr char kErrReturnShort[] = "%s: err return_code %u\n";
constexpr char kPromAck[] = "%s():  eid %s, ack %d \n";
constexpr char kPromRetry[] = "%s(): Ack Retry=%d eid=%s\n";
constexpr char kSlotAckError[] = "%s(): Ack Error=%d, slot=%d eid=%s\n";
constexpr char kUpdateStatus[] = "%s(): EID: %s: ack: %d\n";
constexpr char kNoSensorPtr[] = "%s:  cannot find sensor_info ptr for eid %s\n";
constexpr char kShortAck[] = "%s:  eid %s, ack %d \n";
constexpr char kFruPowerRetry[] = "%s(): Ack Retry=%d fru power info: eid=%s\n";
constexpr char kFpgaAck[] = "%s():  eid %s, slot: %d, ack %d \n";

constexpr uint32_t kFpdSubtype = 35;

bool has_eid(const pelm_eid& e) { return e.tsi != nullptr && e.tsi_count != 0; }

// The sensor record of an entity id by the lookup order of data-update acknowledgements.
envmon_sensor_info* sensor_for_update(const pelm_eid& eid) {
  envmon_sensor_info* s = nullptr;
  if (eid.slot == ENVMON_SLOT_SELF &&
      envmon_util_get_sensor_info(&eid, &s, ENVMON_SCOPE_NODE) == 0 && s != nullptr)
    return s;
  s = nullptr;
  if (envmon_util_get_sensor_info(&eid, &s, ENVMON_SCOPE_RACK) == 0) return s;
  return nullptr;
}

void sensor_ack(const char* fn, const pelm_eid& eid, uint32_t code, uint32_t subtype,
                uint32_t scope, const char* text) {
  envmon_sensor_info* s = nullptr;
  const envmon_err_t rc = envmon_util_get_sensor_info(&eid, &s, scope);
  if (rc != 0 || s == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoSensor, fn, text, static_cast<int>(rc));
    return;
  }
  if (classify(code) != ack_class::accepted) {
    // A refused registration is not a registration: the sensor is neither
    // pending nor registered and gets no value.
    s->state &= ~retry::kReg.pending;
    tlg_internal(err_tlg_cmn_hdl, kAckError, fn, static_cast<int>(code), text);
    return;
  }
  if (scope == ENVMON_SCOPE_NODE)
    nm_count(kNmRegEidAck);
  else
    rm_count(kRmRegSensorEidack);
  tlg_internal(info_tlg_cmn_hdl, kFanout);
  envmon_hal_activate_fanout();
  uint8_t hide = 0;
  if (envmon_hal_inv_invreg_is_hidden_sensor(s, &hide)) {
    if (envmon_inv_invreg_hide_eid(&eid, scope, hide) != 0) {
      tlg_internal(err_tlg_cmn_hdl, kHideFailed, s->name);
    } else {
      tlg_internal(info_tlg_cmn_hdl, kHideOk, s->name, hide);
      envmon_drvif_poll_request(s, 1, hide != 0 ? ENVMON_POLL_STOP : ENVMON_POLL_START,
                                ENVMON_DRV_ALL);
    }
  }
  s->state |= retry::kReg.done;
  envmon_inv_invreg_report_sensor_data_after_reg(subtype, s, scope);
}

void fpd_ack(const char* fn, const fantray_cb& ft, const pelm_eid& eid, uint32_t code,
             const char* text) {
  inv_eid ieid{};
  inv_util_convert_pelm_eid_to_eid(&eid, &ieid);
  for (uint32_t i = 0; ft.fpd_data != nullptr && i < ft.fpd_count; ++i) {
    fpd_data& fpd = ft.fpd_data[i];
    if (!envmon_inv_eid_same(&fpd.eid, &ieid)) continue;
    if (classify(code) == ack_class::accepted) {
      fpd.reg_state |= retry::kReg.done;
      if ((fpd.reg_state & retry::kValueWaiting) != 0) {
        envmon_inv_invreg_rm_report_fpga_data(&fpd, 1);
        fpd.reg_state &= ~retry::kValueWaiting;
      }
    } else {
      fpd.reg_state &= ~retry::kReg.pending;
      tlg_internal(err_tlg_cmn_hdl, kAckError, fn, static_cast<int>(code), text);
    }
    return;
  }
}

void trace_single(const char* fn, const char* err_fmt, const char* line, const invreg_ack* ack,
                  int32_t error) {
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, err_fmt, fn, static_cast<unsigned>(error));
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, line, fn, eid_text(ack->eid).data(), static_cast<int>(ack->ack));
}

}  // namespace

extern "C" {

void envmon_inv_invreg_resp_register_eid_cb(invreg_handle_t* handle, const invreg_multi_ack* ack,
                                            uint8_t, int32_t error, uint64_t user_ctx) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kRegFailed, fn, error);
    return;
  }
  const uint32_t scope =
      handle != nullptr && handle == envmon_inv_invreg_nm_hdl ? ENVMON_SCOPE_NODE
                                                               : ENVMON_SCOPE_RACK;
  tlg_internal(info_tlg_cmn_hdl, kMultiAck, fn, static_cast<int>(ack->eid_count),
               static_cast<int>(ack->ack_count), static_cast<long>(user_ctx));
  const uint32_t n = ack->eids != nullptr && ack->acks != nullptr
                         ? std::min(ack->eid_count, ack->ack_count)
                         : 0;
  for (uint32_t i = 0; i < n; ++i) {
    const pelm_eid& eid = ack->eids[i];
    const uint32_t code = ack->acks[i];
    const auto text = eid_text(eid);
    tlg_internal(info_tlg_cmn_hdl, kAckLine, fn, static_cast<int>(i), static_cast<int>(code),
                 text.data());
    if (classify(code) == ack_class::retry) {
      tlg_internal(smil_tlg_cmn_hdl, kAckRetry, fn, static_cast<int>(code), text.data());
      continue;
    }
    if (!has_eid(eid)) continue;
    const pelm_tsi& last = eid.tsi[eid.tsi_count - 1];
    const uint32_t subtype = inv_util_get_pelm_tsi_subtype(&last);
    if (last.type == ENVMON_ENTITY_TYPE_SENSOR) {
      sensor_ack(fn, eid, code, subtype, scope, text.data());
      continue;
    }
    if (user_ctx != 0) envmon_hal_inv_invreg_update_entity_prefix(static_cast<int32_t>(eid.slot));
    uint32_t tray = 0;
    if (envmon_is_fantray_slot(eid.slot, &tray)) {
      if (subtype == kFpdSubtype) fpd_ack(fn, envmon_rm->fantray_cb[tray], eid, code, text.data());
      continue;
    }
    envmon_hal_inv_invreg_response_register_eid(code, &eid);
  }
}

void envmon_inv_invreg_resp_report_eeprom_data_cb(invreg_handle_t*, const invreg_ack* ack,
                                                  uint8_t, int32_t error, uint64_t) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kErrReturn, fn, static_cast<unsigned>(error));
    return;
  }
  rm_count(kRmPromAck);
  const auto text = eid_text(ack->eid);
  tlg_internal(info_tlg_cmn_hdl, kPromAck, fn, text.data(), static_cast<int>(ack->ack));
  const ack_class cls = classify(ack->ack);
  if (cls == ack_class::retry) {
    tlg_internal(smil_tlg_cmn_hdl, kPromRetry, fn, static_cast<int>(ack->ack), text.data());
    return;
  }
  const uint32_t slot = ack->eid.slot;
  uint32_t idx = 0;
  uint32_t* word = nullptr;
  uint32_t done = 0, pending = 0;
  if (envmon_is_fantray_slot(slot, &idx)) {
    word = &envmon_rm->fantray_cb[idx].flags;
    done = retry::kEeprom.done;
    pending = retry::kEeprom.pending;
  } else if (envmon_is_powertray_slot(slot, &idx)) {
    envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
    if (pm == nullptr || pm->envmon_pwr_tray_data == nullptr) return;
    // The power-tray word keeps its entity set (the EEPROM step) in its own pair.
    word = &pm->envmon_pwr_tray_data[idx].reg_state;
    done = ENVMON_PT_SET_DONE;
    pending = ENVMON_PT_SET_PENDING;
  } else {
    envmon_hal_inv_invreg_response_report_eeprom_data(ack, slot);
    return;
  }
  if (cls == ack_class::accepted) {
    *word |= done;
  } else {
    *word &= ~pending;
    tlg_internal(err_tlg_cmn_hdl, kSlotAckError, fn, static_cast<int>(ack->ack),
                 static_cast<int>(slot), text.data());
  }
}

void envmon_inv_invreg_notify_data_update_status_cb(invreg_handle_t*, const invreg_ack* ack) {
  static const char* fn = __func__;
  if (ack == nullptr) return;
  const auto text = eid_text(ack->eid);
  tlg_internal(info_tlg_cmn_hdl, kUpdateStatus, fn, text.data(), static_cast<int>(ack->ack));
  if (!has_eid(ack->eid) || classify(ack->ack) != ack_class::retry) return;
  envmon_sensor_info* s = sensor_for_update(ack->eid);
  if (s == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoSensorPtr, fn, text.data());
    return;
  }
  s->state |= retry::kValueWaiting;
}

void envmon_inv_invreg_rm_resp_report_led_status_data_cb(invreg_handle_t*, const invreg_ack* ack,
                                                         uint8_t, int32_t error, uint64_t) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kErrReturnShort, fn, static_cast<unsigned>(error));
    return;
  }
  const auto text = eid_text(ack->eid);
  tlg_internal(info_tlg_cmn_hdl, kShortAck, fn, text.data(), static_cast<int>(ack->ack));
  if (classify(ack->ack) != ack_class::retry) return;
  envmon_sensor_info* s = nullptr;
  if (envmon_util_get_sensor_info(&ack->eid, &s, ENVMON_SCOPE_RACK) != 0 || s == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoSensorPtr, fn, text.data());
    return;
  }
  s->state |= retry::kValueWaiting;
}

void envmon_inv_invreg_rm_resp_update_fru_power_info_cb(invreg_handle_t*, const invreg_ack* ack,
                                                        uint8_t, int32_t error, uint64_t) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kErrReturnShort, fn, static_cast<unsigned>(error));
    return;
  }
  const auto text = eid_text(ack->eid);
  tlg_internal(info_tlg_cmn_hdl, kShortAck, fn, text.data(), static_cast<int>(ack->ack));
  const ack_class cls = classify(ack->ack);
  if (cls == ack_class::retry) {
    tlg_internal(smil_tlg_cmn_hdl, kFruPowerRetry, fn, static_cast<int>(ack->ack), text.data());
    return;
  }
  // Fan-tray allocations name the tray's root entity of this chassis (rack
  // 0xfffe, the tray's slot); chassis entities may also carry slot 0xfffe.
  if (ack->eid.slot != ENVMON_SLOT_SELF && ack->eid.rack != ENVMON_RACK_UNKNOWN) return;
  envmon_pwr_mgmt_data_t* pm = envmon_rm != nullptr ? envmon_rm->pwr_mgmt_data : nullptr;
  if (pm == nullptr || pm->fantray_pbudget == nullptr) return;
  for (uint32_t t = 0; t < envmon_hal_get_max_fantray(); ++t) {
    envmon_entity_pbudget_info_t& rec = pm->fantray_pbudget[t];
    if (pelm_eid_compare_eid(&rec.eid, &ack->eid) != 0) continue;
    if (cls == ack_class::accepted) {
      rec.reg_state |= retry::kReg.done;
    } else {
      rec.reg_state &= ~retry::kReg.pending;
      tlg_internal(err_tlg_cmn_hdl, kSlotAckError, fn, static_cast<int>(ack->ack),
                   static_cast<int>(rec.hw_position), text.data());
    }
    return;
  }
}

void envmon_inv_invreg_resp_update_entity_state_cb(invreg_handle_t*,
                                                   const invreg_entity_state_ack* ack, uint8_t,
                                                   int32_t error, uint64_t) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kErrReturnShort, fn, static_cast<unsigned>(error));
    return;
  }
  for (uint32_t i = 0; ack->entries != nullptr && i < ack->count; ++i)
    tlg_internal(info_tlg_cmn_hdl, kShortAck, fn, eid_text(ack->entries[i].eid).data(),
                 static_cast<int>(ack->entries[i].ack));
}

void envmon_inv_invreg_resp_report_pem_status_data_cb(invreg_handle_t*, const invreg_ack* ack,
                                                      uint8_t, int32_t error, uint64_t) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kErrReturn, fn, static_cast<unsigned>(error));
    return;
  }
  if (envmon_nm != nullptr && envmon_nm->pwr_debug != 0)
    tlg_internal(dbg_tlg_cmn_hdl, kPromAck, fn, eid_text(ack->eid).data(),
                 static_cast<int>(ack->ack));
}

void envmon_inv_invreg_rm_resp_report_fpga_data_cb(invreg_handle_t*, const invreg_ack* ack,
                                                   uint8_t, int32_t error, uint64_t) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kErrReturn, fn, static_cast<unsigned>(error));
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kFpgaAck, fn, eid_text(ack->eid).data(),
               static_cast<int>(ack->eid.slot), static_cast<int>(ack->ack));
}

void envmon_inv_invreg_rm_resp_update_eid_name_cb(invreg_handle_t*, const invreg_ack* ack,
                                                  uint8_t, int32_t error, uint64_t) {
  trace_single(__func__, kErrReturnShort, kShortAck, ack, error);
}

void envmon_inv_invreg_rm_resp_update_eid_descr_cb(invreg_handle_t*, const invreg_ack* ack,
                                                   uint8_t, int32_t error, uint64_t) {
  trace_single(__func__, kErrReturnShort, kShortAck, ack, error);
}

void envmon_inv_invreg_rm_resp_update_system_power_info_cb(invreg_handle_t*,
                                                           const invreg_ack* ack, uint8_t,
                                                           int32_t error, uint64_t) {
  trace_single(__func__, kErrReturnShort, kShortAck, ack, error);
}

void envmon_inv_invreg_rm_resp_update_fru_prefix_cb(invreg_handle_t*, const invreg_ack* ack,
                                                    uint8_t, int32_t error, uint64_t) {
  trace_single(__func__, kErrReturnShort, kShortAck, ack, error);
}

}  // extern "C"
