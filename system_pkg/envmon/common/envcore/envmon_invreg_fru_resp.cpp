// Acknowledgements of FRU and container registrations. An accepted fan-tray
// FRU brings the whole fan tray to life in inventory; an accepted power-tray
// container starts the tray's FRU registration and, with every tray's
// container in, the registration with the power driver.
#include <stdlib.h>

#include "envmon_invreg_private.h"

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kFruRespErr[] = "%s(): error getting resp for fru reg, err: %u\n";
constexpr char kCardAck[] = "%s():  card registration ack for slot: %d. eid: %s, rc: %d, ack:%d\n";
constexpr char kAckRetry[] = "%s(): Ack Retry=%d, slot=%d eid=%s\n";
constexpr char kAckErrorEq[] = "%s(): Ack Error=%d, slot=%d eid=%s\n";
constexpr char kAckErrorColon[] = "%s(): Ack Error=%d, slot: %d eid: %s\n";
constexpr char kNoRoot[] = "%s(): no root entity in the description of fantray %d\n";
constexpr char kRootDone[] = "fantray %d eid regi-done \n";
constexpr char kRootFailed[] = "%s(): error registering root eid of fantray %d, capi error rc = %d\n";
constexpr char kUnregRespErr[] = "%s(): error getting resp for fru unreg, err: %u\n";
constexpr char kCardUnregAck[] = "%s():  card unregistration ack for slot: %d.rc: %d, ack:%d\n";
constexpr char kUnregRetry[] = "%s():  Ack Retry=%d unregistration ack for slot=%d. rc=%d, ack=%d\n";
constexpr char kUnregError[] =
    "%s():  Ack Error=%d unregistration ack for slot: %d. rc: %d, ack:%d\n";
constexpr char kPtUnregError[] = "%s(): Ack Error=%d, slot=%d PT=%d\n";
constexpr char kContRespErr[] = "%s():  container reg resp failed, capi error = %d,\n";
constexpr char kContAck[] = "%s(): eid: %s, slot: %d ack: %d\n";
constexpr char kPwrRegi[] =
    "called envmon_drvif_pwr_regi() to register with PWR driver for power tray\n";
constexpr char kLocEntered[] = "Entered: %s()\n";
constexpr char kLocAck[] = "%s(): inv update container eid_nodeid, ack %d, rc: %d, user_context:%d\n";
constexpr char kLocAckEid[] =
    "update container eid_nodeid received response inv_data_ack for eid %s, ack: %d\n";

constexpr uint32_t kTrayPresent = 1;
constexpr uint32_t kPtSerialLen = 11;

// The power tray's word keeps its entity set and unregistration in pairs of
// its own (the state machine re-sends by them).
constexpr envmon::retry::pair kPtSet{ENVMON_PT_SET_PENDING, ENVMON_PT_SET_DONE};
constexpr envmon::retry::pair kPtUnreg{ENVMON_PT_UNREG_PENDING, ENVMON_PT_UNREG_DONE};

envmon_pwr_tray_budget* tray_record(uint32_t tray) {
  envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
  if (pm == nullptr || pm->envmon_pwr_tray_data == nullptr || tray >= envmon_rm->pwr_tray_count)
    return nullptr;
  return &pm->envmon_pwr_tray_data[tray];
}

// Error traces of these acknowledgements also go to the debug stream.
template <typename... Args>
void trace_error(const char* fmt, Args... args) {
  tlg_internal(err_tlg_cmn_hdl, fmt, args...);
  envmon_debug_log(fmt, args...);
}

void register_root(const char* fn, invreg_handle_t* handle, uint32_t tray, fantray_cb& ft) {
  inv_eid* root = nullptr;
  if (inv_parser_get_root_eid(ft.fru_xml, &root) != INV_PARSER_OK || root == nullptr) {
    free(root);
    tlg_internal(err_tlg_cmn_hdl, kNoRoot, fn, static_cast<int>(tray));
    return;
  }
  pelm_eid eid{};
  inv_util_convert_eid_to_pelm_eid(root, &eid);
  free(root);
  eid.rack = ENVMON_RACK_UNKNOWN;
  eid.slot = ft.hw_position;
  envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
  if (pm != nullptr && pm->fantray_pbudget != nullptr) {
    envmon_entity_pbudget_info_t& rec = pm->fantray_pbudget[tray];
    envmon_free_tsi(&rec.eid);
    inv_util_copy_pelm_eid_to_pelm_eid(&eid, &rec.eid);
  }
  invreg_eid_list_req req{&eid, 1, 0x1};
  const int rc = invreg_register_eid(handle, &req, 1);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kRootFailed, fn, static_cast<int>(tray), rc);
  envmon_debug_log(kRootDone, static_cast<int>(tray));
  envmon_free_tsi(&eid);
}

void register_list(envmon_sensor_list& l) {
  if (l.sensors == nullptr || l.count == 0) return;
  envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, l.sensors, l.count);
  l.reg_state = stamp_reg(l.reg_state);
}

void poll_list(envmon_sensor_list& l, uint32_t driver) {
  if (l.sensors == nullptr || l.count == 0) return;
  envmon_drvif_poll_request(l.sensors, l.count, ENVMON_POLL_START, driver);
  l.reg_state = stamp_poll(l.reg_state);
}

// The fan tray's FRU is in inventory: everything it carries follows.
void fan_tray_alive(const char* fn, invreg_handle_t* handle, uint32_t tray) {
  fantray_cb& ft = envmon_rm->fantray_cb[tray];
  const uint32_t slot = ft.hw_position;
  const uint32_t driver = envmon_is_ft_idx_belongs_to_pft(tray) ? ENVMON_DRV_FAN : ENVMON_DRV_FAN2;
  ft.flags |= retry::kReg.done;
  register_root(fn, handle, tray, ft);
  for (uint32_t i = 0; ft.fpd_data != nullptr && i < ft.fpd_count; ++i) {
    fpd_data& fpd = ft.fpd_data[i];
    envmon_reg_fpd_eid(&fpd, fpd.fpd_out.fpd_hd, slot);
    fpd.reg_state = stamp_reg(fpd.reg_state);
  }
  register_list(ft.current_data);
  register_list(ft.fan_data);
  register_list(ft.temp_data);
  register_list(ft.voltage_data);
  register_list(ft.power_data);
  register_list(ft.subtype13_data);
  poll_list(ft.fan_data, driver);
  poll_list(ft.temp_data, driver);
  poll_list(ft.voltage_data, driver);
  poll_list(ft.current_data, driver);
  poll_list(ft.subtype13_data, driver);
  envmon_reg_and_set_eeprom_data(ft.fru_xml, slot, &ft.ceid, ft.eeprom, ft.eeprom_len);
  ft.flags = stamp_eeprom(ft.flags);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  envmon_hal_fan_mgmt_inv_reg_set_state(tray, 1);
  envmon_obfl_write_env_temp_thresholds(ft.temp_data.sensors, ft.temp_data.count, ft.hw_position,
                                        1, 0);
  envmon_obfl_write_env_volt_thresholds(ft.voltage_data.sensors, ft.voltage_data.count,
                                        ft.hw_position, 1, 0);
}

}  // namespace

extern "C" {

void envmon_inv_invreg_rm_resp_register_fru_type_cb(invreg_handle_t* handle,
                                                    const invreg_ack* ack, uint8_t,
                                                    int32_t error, uint64_t user_ctx) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kFruRespErr, fn, static_cast<unsigned>(error));
    return;
  }
  const uint32_t slot = static_cast<uint32_t>(user_ctx);
  const uint32_t code = ack->ack;
  const auto text = eid_text(ack->eid);
  tlg_internal(info_tlg_cmn_hdl, kCardAck, fn, static_cast<int>(slot), text.data(), error,
               static_cast<int>(code));
  envmon_debug_log(kCardAck, fn, static_cast<int>(slot), text.data(), error,
                   static_cast<int>(code));
  const ack_class cls = classify(code);
  if (cls == ack_class::retry) {
    tlg_internal(smil_tlg_cmn_hdl, kAckRetry, fn, static_cast<int>(code), static_cast<int>(slot),
                 text.data());
    return;
  }
  uint32_t idx = 0;
  if (envmon_is_powertray_slot(slot, &idx)) {
    envmon_pwr_tray_budget* pt = tray_record(idx);
    if (pt == nullptr) return;
    if (cls == ack_class::accepted) {
      rm_count(kRmRegPwrtFruack);
      pt->reg_state |= ENVMON_PT_REG_DONE;
      envmon_hal_inv_invreg_rm_register_powertray_entities(idx);
      pt->reg_state = envmon::retry::arm(pt->reg_state, kPtSet);
      envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
    } else {
      pt->reg_state &= ~ENVMON_PT_REG_PENDING;
      trace_error(kAckErrorEq, fn, static_cast<int>(code), static_cast<int>(slot), text.data());
    }
    return;
  }
  if (!envmon_is_fantray_slot(slot, &idx)) {
    envmon_hal_inv_invreg_rm_response_register_fru_type(ack, slot);
    return;
  }
  rm_count(kRmRegFanFruack);
  if (cls == ack_class::error) {
    envmon_rm->fantray_cb[idx].flags &= ~retry::kReg.pending;
    trace_error(kAckErrorColon, fn, static_cast<int>(code), static_cast<int>(slot), text.data());
    return;
  }
  fan_tray_alive(fn, handle, idx);
}

void envmon_inv_invreg_rm_resp_unregister_fru_type_cb(invreg_handle_t*, const invreg_ack* ack,
                                                      uint8_t, int32_t error, uint64_t user_ctx) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kUnregRespErr, fn, static_cast<unsigned>(error));
    return;
  }
  const uint32_t slot = static_cast<uint32_t>(user_ctx);
  const uint32_t code = ack->ack;
  tlg_internal(info_tlg_cmn_hdl, kCardUnregAck, fn, static_cast<int>(slot), error,
               static_cast<int>(code));
  const ack_class cls = classify(code);
  if (cls == ack_class::retry) {
    tlg_internal(smil_tlg_cmn_hdl, kUnregRetry, fn, static_cast<int>(code), static_cast<int>(slot),
                 error, static_cast<int>(code));
    return;
  }
  uint32_t idx = 0;
  if (envmon_is_fantray_slot(slot, &idx)) {
    uint32_t& flags = envmon_rm->fantray_cb[idx].flags;
    if (cls == ack_class::accepted) {
      flags |= retry::kUnreg.done;
      envmon_hal_fan_mgmt_inv_reg_set_state(idx, 0);
      rm_count(kRmUnregFanFruack);
    } else {
      flags &= ~retry::kUnreg.pending;
      trace_error(kUnregError, fn, static_cast<int>(code), static_cast<int>(slot), error,
                  static_cast<int>(code));
    }
    return;
  }
  if (envmon_is_powertray_slot(slot, &idx)) {
    envmon_pwr_tray_budget* pt = tray_record(idx);
    if (pt == nullptr) return;
    if (cls == ack_class::accepted) {
      pt->reg_state |= kPtUnreg.done;
      rm_count(kRmUnregPwrtFruack);
    } else {
      pt->reg_state &= ~kPtUnreg.pending;
      trace_error(kPtUnregError, fn, static_cast<int>(code), static_cast<int>(slot),
                  static_cast<int>(idx));
    }
    return;
  }
  envmon_hal_inv_invreg_rm_response_unregister_fru_type(ack, slot);
}

void envmon_inv_invreg_rm_resp_register_container_eid_cb(invreg_handle_t*, const invreg_ack* ack,
                                                         uint8_t, int32_t error,
                                                         uint64_t user_ctx) {
  static const char* fn = __func__;
  if (error != 0 || ack == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kContRespErr, fn, error);
    return;
  }
  const uint32_t slot = static_cast<uint32_t>(user_ctx);
  const uint32_t code = ack->ack;
  const auto text = eid_text(ack->eid);
  tlg_internal(info_tlg_cmn_hdl, kContAck, fn, text.data(), static_cast<int>(slot),
               static_cast<int>(code));
  const ack_class cls = classify(code);
  if (cls == ack_class::retry) {
    tlg_internal(smil_tlg_cmn_hdl, kAckRetry, fn, static_cast<int>(code), static_cast<int>(slot),
                 text.data());
    return;
  }
  envmon_rm_t& rm = *envmon_rm;
  uint32_t idx = 0;
  if (envmon_is_fantray_slot(slot, &idx)) {
    uint32_t* word = rm.fan_cont_reg_state != nullptr ? &rm.fan_cont_reg_state[idx] : nullptr;
    if (cls != ack_class::accepted) {
      if (word != nullptr) *word &= ~retry::kReg.pending;
      trace_error(kAckErrorEq, fn, static_cast<int>(code), static_cast<int>(slot), text.data());
      return;
    }
    if (word != nullptr) *word |= retry::kReg.done;
    if (rm.fan_cont_pelm_eids != nullptr) {
      envmon_free_tsi(&rm.fan_cont_pelm_eids[idx]);
      inv_util_copy_pelm_eid_to_pelm_eid(&ack->eid, &rm.fan_cont_pelm_eids[idx]);
    }
    envmon_upd_inv_container_eid_nodeid(ENVMON_SCOPE_RACK, slot, &ack->eid);
    envmon_fru_power_alloc_update_all(true);
    return;
  }
  if (envmon_is_powertray_slot(slot, &idx)) {
    uint32_t* word =
        rm.pwr_tray_cont_reg_state != nullptr ? &rm.pwr_tray_cont_reg_state[idx] : nullptr;
    if (cls != ack_class::accepted) {
      if (word != nullptr) *word &= ~retry::kReg.pending;
      trace_error(kAckErrorEq, fn, static_cast<int>(code), static_cast<int>(slot), text.data());
      return;
    }
    if (word != nullptr) *word |= retry::kReg.done;
    envmon_upd_inv_container_eid_nodeid(ENVMON_SCOPE_RACK, slot, &ack->eid);
    envmon_pwr_tray_budget* pt = tray_record(idx);
    if (pt != nullptr && pt->container_regi_done != 1) {
      pt->container_regi_done = 1;
      if (pt->state == static_cast<int32_t>(kTrayPresent))
        envmon_inv_invreg_reg_pwr_fru(idx, 0, static_cast<uint32_t>(pt->type), pt->serial_num,
                                      kPtSerialLen, 0, 0);
    }
    if (envmon_nm->drvif_connected[ENVMON_DRV_POWER] != 0 &&
        envmon_all_power_tray_container_regi_done()) {
      envmon_drvif_pwr_regi();
      tlg_internal(pwrm_tlg_cmn_hdl, kPwrRegi);
    }
    return;
  }
  envmon_hal_inv_invreg_rm_response_register_container_eid(ack, slot);
}

void envmon_inv_upd_cntr_eid_nodeid_cb(invreg_handle_t*, const invreg_ack* ack, uint8_t,
                                       int32_t error, uint64_t user_ctx) {
  static const char* fn = __func__;
  tlg_internal(info_tlg_cmn_hdl, kLocEntered, fn);
  const int code = ack != nullptr ? static_cast<int>(ack->ack) : 0;
  tlg_internal(info_tlg_cmn_hdl, kLocAck, fn, code, error, static_cast<int>(user_ctx));
  if (ack == nullptr) return;
  tlg_internal(info_tlg_cmn_hdl, kLocAckEid, eid_text(ack->eid).data(), code);
}

}  // extern "C"
