// Sensor value pushes to inventory: temperature (with or without its
// thresholds), the PEM temperature thresholds, fan speed, voltage, current and
// power usage. Each push that names a sensor record marks it when the
// connection was flow-controlled, so that the flow-resume callback sends it
// again.
#include "envmon_invreg_private.h"

// The PEM library's tables are bound weakly: the core loads before it.
extern "C" {
extern pd_power_tray_info_t* pd_power_tray_info __attribute__((weak));
}

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kNoHandle[] = "%s(): could not get invreg handle for scope %d\n";
constexpr char kVoltNotConnected[] =
    "%s(): Failed to update inventory with voltage sensor, %s invreg not connected\n";
constexpr char kVoltReset[] =
    "%s():  resetting voltage EID = %s in invDB ,since it is in fpd upgrade state\n";
constexpr char kVoltUpdating[] = "%s(): updating voltage EID = %s value %d trap %d in invDB\n";
constexpr char kVoltFailed[] =
    "%s(): Failed to update inventory with voltage sensor, capi error rc = %d\n";
constexpr char kTempUpdating[] = "%s(): updating temp EID = %s value %d, trap %din inventory\n";
constexpr char kTempFailed[] = "%s(): Failed to update inventory with temp sensor, capi error rc = %d\n";
constexpr char kTempNotConnected[] =
    "%s(): Failed to update inventory with temp sensor, %s invreg not connected\n";
constexpr char kPemThreshold[] = "update PEM temp sensor %s threshold.\n";
constexpr char kThrUpdating[] =
    "%s(): updating temp EID = %s value %d, trap %d critical_high %d in inventory\n";
constexpr char kThrFailed[] =
    "%s(): Failed to update inventory with temp sensor and threshold, capi error rc = %d\n";
constexpr char kThrNotConnected[] =
    "%s(): Failed to update inventory with temp sensor and threshold, %s invreg not connected\n";
constexpr char kPemNotConnected[] = "%s(): Sensor(%s)ENVMON not connected to INV DB yet.\n";
constexpr char kPemFailed[] = "%s(): Failed to update PEM temp sensor (%s) threshold.\n";
constexpr char kFanNotConnected[] =
    "%s(): Failed to update inventory with fan sensor, invreg not connected\n";
constexpr char kFanUpdating[] =
    "%s(): updating fan speed EID = %s value %d, trap_needed %d, max_speed %d, min_speed %d in "
    "inventory\n";
constexpr char kFanFailed[] = "%s(): Failed to update inventory with fan sensor, capi error rc = %d\n";
constexpr char kFanLookup[] = "envmon_util_get_sensor_info() returned 0x%x\n";
constexpr char kCurrReset[] =
    "%s():  resetting current EID = %s in invDB ,since it is in fpd upgrade state\n";
constexpr char kCurrUpdating[] = "%s():  updating current EID = %s value %d in invDB\n";
constexpr char kCurrFailed[] =
    "%s(): Failed to update inventory with current sensor, capi error rc = %d\n";
constexpr char kCurrNotConnected[] =
    "%s(): Failed to update inventory with current sensor, %s invreg not connected\n";
constexpr char kPowerUpdating[] =
    "%s: updating power usage EID = %s value %d in invDB,trap_needed=%u\n";
constexpr char kPowerFailed[] =
    "%s(): Failed to update inventory with power usage, capi error rc = %d\n";
constexpr char kPowerNotConnected[] =
    "%s(): Failed to update inventory with powerusage, %s invreg not connected\n";

// The scope's client when it can take a push; traces why not otherwise.
invreg_handle_t* push_client(const char* fn, uint32_t scope, const char* not_connected) {
  uint8_t connected = 0;
  invreg_handle_t* h = envmon_get_invreg_handle(scope, &connected);
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoHandle, fn, static_cast<int>(scope));
    return nullptr;
  }
  if (connected == 0) {
    tlg_internal(err_tlg_cmn_hdl, not_connected, fn, scope_tag(scope));
    return nullptr;
  }
  return h;
}

bool debug_on(uint8_t envmon_nm_t::*flag) { return envmon_nm != nullptr && envmon_nm->*flag != 0; }

bool is_pem(uint32_t slot) {
  uint32_t tray = 0, pem = 0;
  return envmon_is_pem_slot(static_cast<int32_t>(slot), &tray, &pem) != 0;
}

// A PEM whose firmware is being upgraded reports no real values.
bool pem_in_fpd_upgrade(uint32_t slot) {
  uint32_t tray = 0, pem = 0;
  if (envmon_is_pem_slot(static_cast<int32_t>(slot), &tray, &pem) == 0) return false;
  if (&pd_power_tray_info == nullptr || pd_power_tray_info == nullptr) return false;
  const pd_power_tray_info_t& t = pd_power_tray_info[tray];
  if (t.pems == nullptr || pem >= t.num_pems) return false;
  return (t.pems[pem].status & ENVMON_PEM_IN_FPD_UPG) != 0;
}

void mark_flow(envmon_sensor_info* sensor, int rc) {
  if (sensor != nullptr) sensor->val_capi_flow_ctrl = rc == INVREG_FLOW_CONTROLLED ? 1 : 0;
}

invreg_threshold thresholds_of(const envmon_sensor_info& s) {
  const envmon_threshold_set& t = s.threshold;
  return invreg_threshold{t.critical_low, t.critical_high, t.major_low, t.major_high,
                          t.minor_low,    t.minor_high,    0x3f};
}

invreg_temp_data temp_record(const pelm_eid& eid, const envmon_sensor_info& s) {
  invreg_temp_data d{};
  d.eid = eid;
  d.value = s.value;
  d.last_value = s.last_value;
  d.timestamp = s.timestamp;
  d.pd_state = s.pd_state;
  d.pd_last_state = s.pd_last_state;
  d.update_rate = s.update_rate;
  d.present[0] = 0x7f;  // entity id to update rate
  return d;
}

void temp_push(const char* fn, const pelm_eid* eid, envmon_sensor_info* sensor, uint32_t scope,
               uint8_t trap, bool with_thresholds) {
  if (eid == nullptr || sensor == nullptr) return;
  invreg_handle_t* h =
      push_client(fn, scope, with_thresholds ? kThrNotConnected : kTempNotConnected);
  if (h == nullptr) return;
  invreg_temp_data d = temp_record(*eid, *sensor);
  d.trap = trap;
  set_bit(d.present, 7);
  if (with_thresholds) {
    d.threshold = thresholds_of(*sensor);
    set_bit(d.present, 8);
  }
  if (debug_on(&envmon_nm_t::temp_debug)) {
    if (with_thresholds)
      tlg_internal(dbg_tlg_cmn_hdl, kThrUpdating, fn, eid_text(*eid).data(), d.value, trap,
                   sensor->threshold.critical_high);
    else
      tlg_internal(dbg_tlg_cmn_hdl, kTempUpdating, fn, eid_text(*eid).data(), d.value, trap);
  }
  const int rc = invreg_notify_sensor_temp_data(h, &d);
  mark_flow(sensor, rc);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, with_thresholds ? kThrFailed : kTempFailed, fn, rc);
  } else {
    value_count(scope, kRmTempSenUpd, kNmTempSenUpd);
    if (trap != 0) sensor->last_trap_value = sensor->value;
  }
  if (!with_thresholds && is_pem(eid->slot)) {
    if (debug_on(&envmon_nm_t::temp_debug)) tlg_internal(dbg_tlg_cmn_hdl, kPemThreshold, sensor->name);
    envmon_inv_invreg_eid_upd_pem_temp_sensor_threshold(eid, sensor);
  }
}

}  // namespace

extern "C" {

void envmon_inv_invreg_temp_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                          uint32_t scope, uint8_t trap) {
  temp_push(__func__, eid, sensor, scope, trap, false);
}

void envmon_inv_invreg_temp_threshold_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                             uint32_t scope, uint8_t trap) {
  temp_push(__func__, eid, sensor, scope, trap, true);
}

void envmon_inv_invreg_eid_upd_pem_temp_sensor_threshold(const pelm_eid* eid,
                                                         envmon_sensor_info* sensor) {
  static const char* fn = __func__;
  if (eid == nullptr || sensor == nullptr) return;
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kPemNotConnected, fn, sensor->name);
    return;
  }
  invreg_temp_data d = temp_record(*eid, *sensor);
  d.threshold = thresholds_of(*sensor);
  if (!envmon_is_whitebox_cluster()) {
    // Halfway between the minor and critical levels, summed as unsigned.
    const uint32_t sum = static_cast<uint32_t>(sensor->threshold.minor_high) +
                         static_cast<uint32_t>(sensor->threshold.critical_high);
    d.threshold.major_high = static_cast<int32_t>(sum >> 1);
  }
  set_bit(d.present, 8);
  if (invreg_notify_sensor_temp_data(h, &d) != 0) tlg_internal(err_tlg_cmn_hdl, kPemFailed, fn, sensor->name);
}

void envmon_inv_invreg_rm_fan_speed_sensor_update(envmon_sensor_info* sensor, const pelm_eid* eid,
                                                  int32_t speed, uint64_t timestamp, uint8_t trap,
                                                  uint32_t max_speed, uint32_t min_speed) {
  static const char* fn = __func__;
  if (eid == nullptr) return;
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kFanNotConnected, fn);
    return;
  }
  invreg_fan_data d{};
  d.eid = *eid;
  d.value = speed;
  d.timestamp = timestamp;
  d.trap = trap;
  d.present = 0x0f;
  if (max_speed != 0) {
    d.threshold = invreg_threshold{-1, 0x7fffffff, -1, 0x7fffffff, static_cast<int32_t>(min_speed),
                                   static_cast<int32_t>(max_speed), 0x3f};
    set_bit(&d.present, 4);
  }
  if (debug_on(&envmon_nm_t::fan_debug))
    tlg_internal(dbg_tlg_cmn_hdl, kFanUpdating, fn, eid_text(*eid).data(), speed, trap,
                 static_cast<int>(max_speed), static_cast<int>(min_speed));
  const int rc = invreg_notify_sensor_fan_data(h, &d);
  mark_flow(sensor, rc);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kFanFailed, fn, rc);
    return;
  }
  if (trap == 0) return;
  envmon_sensor_info* found = nullptr;
  const envmon_err_t lrc = envmon_util_get_sensor_info(eid, &found, ENVMON_SCOPE_RACK);
  if (lrc != 0 || found == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kFanLookup, static_cast<unsigned>(lrc));
    return;
  }
  found->last_trap_value = speed;
}

envmon_err_t envmon_inv_invreg_volt_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope, uint8_t trap) {
  static const char* fn = __func__;
  if (eid == nullptr || sensor == nullptr) return ENVMON_ERR_INVALID_ARG;
  invreg_handle_t* h = push_client(fn, scope, kVoltNotConnected);
  if (h == nullptr) return ENVMON_ERR_NOT_CONNECTED;
  invreg_voltage_data d{};
  d.eid = *eid;
  d.value = sensor->value;
  d.timestamp = sensor->timestamp;
  d.alarm = sensor->pd_state;
  d.trap = trap;
  d.present = 0x1f;
  if (pem_in_fpd_upgrade(eid->slot)) {
    d.value = 0;
    if (debug_on(&envmon_nm_t::volt_debug))
      tlg_internal(dbg_tlg_cmn_hdl, kVoltReset, fn, eid_text(*eid).data());
  }
  if (debug_on(&envmon_nm_t::volt_debug))
    tlg_internal(dbg_tlg_cmn_hdl, kVoltUpdating, fn, eid_text(*eid).data(), d.value, trap);
  const int rc = invreg_notify_sensor_voltage_data(h, &d);
  mark_flow(sensor, rc);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kVoltFailed, fn, rc);
    return ENVMON_ERR_NOT_CONNECTED;
  }
  value_count(scope, kRmVoltSenUpd, kNmVoltSenUpd);
  if (trap != 0) sensor->last_trap_value = sensor->value;
  return ENVMON_OK;
}

envmon_err_t envmon_inv_invreg_curr_sensor_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                                  uint32_t scope) {
  static const char* fn = __func__;
  if (eid == nullptr || sensor == nullptr) return ENVMON_ERR_INVALID_ARG;
  invreg_handle_t* h = push_client(fn, scope, kCurrNotConnected);
  if (h == nullptr) return ENVMON_ERR_NOT_CONNECTED;
  invreg_sensor_data d{};
  d.eid = *eid;
  d.value = sensor->value;
  d.timestamp = sensor->timestamp;
  d.trap = 0;
  d.present = 0x0f;
  if (pem_in_fpd_upgrade(eid->slot)) {
    d.value = 0;
    if (debug_on(&envmon_nm_t::curr_debug))
      tlg_internal(dbg_tlg_cmn_hdl, kCurrReset, fn, eid_text(*eid).data());
  }
  if (debug_on(&envmon_nm_t::curr_debug))
    tlg_internal(dbg_tlg_cmn_hdl, kCurrUpdating, fn, eid_text(*eid).data(), d.value);
  const int rc = invreg_notify_sensor_current_data(h, &d);
  mark_flow(sensor, rc);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCurrFailed, fn, rc);
    return ENVMON_ERR_NOT_CONNECTED;
  }
  value_count(scope, kRmCurrSenUpd, kNmCurrSenUpd);
  return ENVMON_OK;
}

int is_power_thresholds_configured(const envmon_sensor_info* sensor) {
  if (sensor == nullptr) return 0;
  const envmon_threshold_set& t = sensor->threshold;
  return (t.critical_low | t.critical_high | t.major_low | t.major_high | t.minor_low |
          t.minor_high) != 0
             ? 1
             : 0;
}

void envmon_inv_invreg_power_usage_update(const pelm_eid* eid, envmon_sensor_info* sensor,
                                          uint32_t scope) {
  static const char* fn = __func__;
  if (eid == nullptr || sensor == nullptr) return;
  invreg_handle_t* h = push_client(fn, scope, kPowerNotConnected);
  if (h == nullptr) return;
  invreg_sensor_data d{};
  d.eid = *eid;
  d.value = sensor->value;
  d.timestamp = sensor->timestamp;
  d.trap = static_cast<uint8_t>(is_power_thresholds_configured(sensor));
  d.present = 0x0f;
  if (debug_on(&envmon_nm_t::pwr_debug))
    tlg_internal(dbg_tlg_cmn_hdl, kPowerUpdating, fn, eid_text(*eid).data(), d.value,
                 static_cast<unsigned>(d.trap));
  const int rc = invreg_notify_sensor_power_usage_data(h, &d);
  mark_flow(sensor, rc);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kPowerFailed, fn, rc);
}

}  // extern "C"
