// Faults reported by the platform drivers as bit sets, turned into fault
// requests: voltage alarms of board and PEM voltage sensors, the card shutdown
// after a critical voltage alarm, power-tray insertion and removal, IDPROM
// access failures and undetected hardware.
#include <stdio.h>
#include <string.h>

#include "envmon.h"
#include "envmon_fm_private.h"
#include "qyx_sysctl.h"

using namespace envmon_fm;

namespace {

constexpr uint32_t kTypeCardShutdown = 10;
constexpr uint32_t kTypeVoltage = 14;
constexpr uint32_t kTypeIdprom = 15;
constexpr uint32_t kTypePowerTrayOir = 1;
constexpr uint16_t kLevelCritical = 5;
constexpr uint16_t kLevelMajor = 4;
constexpr uint16_t kLevelHwUndetected = 4;
constexpr uint32_t kShutCard = 2;
constexpr size_t kTextLen = 256;
constexpr char kVoltageSupport[] = "tolvu.zul.qyx.platform.psu.voltage_sensor_support";

constexpr char kProcessFault[] = "process fault for fault 0x%x, eid : %s\n";
constexpr char kNoEid[] = "unable to find EID %s\n";
constexpr char kSensorVals[] = "sensor:%s, sensor val: %d, sensor last val: %d\n";
constexpr char kInvalidAlarm[] = "%s: invalid alarm ID %d\n";
constexpr char kVoltFailed[] =
    "In %s: envmon_fm_fault_report returned error for %s voltage alarm for eid %s, rc = %ld.\n";
constexpr char kVoltDone[] = "%s: %s voltage alarm for eid %s, severity %d\n";
constexpr char kCriticalShutdown[] = "Critical voltage alarm - requesting shutdown for slot %d\n";
constexpr char kShutdownReason[] = "Requesting shutdown due to critical voltage alarm";
constexpr char kShutdownDbg[] =
    "Critical voltage alarm - card(0x%x) shutdown requested for slot %d, scope=%d, fm_tag=%d\n";
constexpr char kShutdownFailed[] =
    "In %s: envmon_fm_fault_report returned error rc = %ld for shutting card in slot %d.\n";
constexpr char kShutdownOk[] = "In %s: envmon_fm_fault_report ok for shutting card in slot %d.\n";
constexpr char kInvalidPemSlot[] = "%s: Invalid PEM Slot %d\n";
constexpr char kPemNoEid[] = "%s: unable to find EID %s\n";
constexpr char kPemRaised[] = "%s has crossed a %s threshold, Current voltage: %.2f V";
constexpr char kPemCleared[] = "%s has cleared a %s threshold, Current voltage: %.2f V";
constexpr char kPemFailed[] =
    "In %s: envmon_fm_fault_report returned error for PEM %s voltage alarm for eid %s, rc = "
    "%ld.\n";
constexpr char kPemDone[] = "%s: %s PEM voltage alarm for eid %s, severity %d\n";
constexpr char kPtFailed[] =
    "In %s: envmon_fm_fault_report returned error for power tray %d OIR %s alarm, rc = %ld.\n";
constexpr char kPtDone[] = "%s: reported power tray %d OIR %s alarm\n";
constexpr char kIdpromFailed[] =
    "In %s: envmon_fm_fault_report returned error for %s IDPROM access failure warning, rc = "
    "%ld.\n";
constexpr char kIdpromDone[] = "%s: %s IDPROM access failure\n";
constexpr char kHwFailed[] =
    "In %s: envmon_fm_fault_report returned error for %s HW undetected failure, rc = %ld.\n";
constexpr char kHwDone[] = "%s: %s HW undetected failure\n";

// A zeroed request with its zeroed fault data.
struct Request {
  alarmd_fault_data data;
  envmon_fm_fault_req req;
  Request() {
    memset(&req, 0, sizeof(req));
    alarmd_fault_data_init(&data);
    req.fault_data = &data;
  }
};

bool valid_alarm_id(uint32_t id) { return id >= 1 && id <= 6; }

const char* severity_text(uint16_t level) {
  if (level == kLevelCritical) return "critical";
  if (level == kLevelMajor) return "major";
  return "minor";
}

// The voltage sensors a board voltage fault of this slot belongs to.
bool volt_list(uint32_t slot, int32_t scope, envmon_sensor_info** list, uint16_t* count) {
  uint32_t i = 0;
  const envmon_sensor_list* l = nullptr;
  if (scope == ENVMON_SCOPE_NODE) {
    if (!envmon_nm) return false;
    l = envmon_is_mpa_slot(slot, &i) ? &envmon_nm->mpa[i].voltage_data : &envmon_nm->voltage_data;
  } else if (envmon_rm && envmon_is_fantray_slot(slot, &i)) {
    l = &envmon_rm->fantray_cb[i].voltage_data;
  } else if (envmon_rm && envmon_is_fc_slot(slot, &i)) {
    l = &envmon_rm->fc_cb[i].voltage_data;
  } else if (envmon_rm && envmon_is_lc_slot(slot, &i)) {
    l = &envmon_rm->lc_cb[i].voltage_data;
  } else if (envmon_rm && envmon_is_sw_slot(slot, &i)) {
    l = &envmon_rm->sw_cb[i].voltage_data;
  } else if (envmon_is_mpa_slot(slot, &i)) {
    l = &envmon_nm->mpa[i].voltage_data;
  } else {
    *list = nullptr;
    *count = 0;
    envmon_hal_drvif_process_volt_fault(slot, count, list);
    return *list != nullptr && *count > 0;
  }
  *list = l->sensors;
  *count = l->count;
  return l->sensors != nullptr && l->count > 0;
}

// One group of three alarms (critical, major, minor) of a board voltage
// sensor: the strongest reported bit is raised, the stronger ones cleared;
// weaker raised alarms stay as they are.
void apply_group(const pelm_eid* eid, envmon_sensor_info* s, uint32_t fault, int32_t scope,
                 const uint32_t (&bits)[3], const uint32_t (&ids)[3]) {
  auto raised = [&](int k) { return (s->pd_state & (1u << ids[k])) != 0; };
  auto raise = [&](int k) {
    if (raised(k)) return;
    s->pd_state |= 1u << ids[k];
    envmon_report_volt_alm(eid, ids[k], 1, scope, s->name);
  };
  auto clear = [&](int k) {
    if (!raised(k)) return;
    s->pd_state &= ~(1u << ids[k]);
    envmon_report_volt_alm(eid, ids[k], 0, scope, s->name);
  };
  int strongest = 3;
  for (int k = 0; k < 3; ++k)
    if (fault & bits[k]) {
      strongest = k;
      break;
    }
  for (int k = 0; k < strongest; ++k) clear(k);
  if (strongest < 3) raise(strongest);
}

}  // namespace

extern "C" {

uint32_t envmon_hw_fault_to_volt_fault(uint32_t fault) {
  static constexpr uint32_t kOrder[][2] = {{0x4, 4}, {0x10, 5}, {0x40, 6},
                                          {0x2, 1}, {0x8, 2},  {0x20, 3}};
  for (const auto& o : kOrder)
    if (fault & o[0]) return o[1];
  return 0;
}

void envmon_process_drvif_volt_fault(const pelm_eid* eid, uint32_t fault, int32_t scope) {
  if (!eid) return;
  tlg_internal(main_tlg_cmn_hdl, kProcessFault, fault, EidText(eid).text);
  envmon_sensor_info* list = nullptr;
  uint16_t count = 0;
  envmon_sensor_info* s = nullptr;
  if (!volt_list(eid->slot, scope, &list, &count) ||
      envmon_util_find_sensor_info(eid, count, list, &s) != ENVMON_OK || !s) {
    tlg_internal(err_tlg_cmn_hdl, kNoEid, EidText(eid).text);
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kSensorVals, s->name, s->value, s->last_value);
  apply_group(eid, s, fault, scope, {0x4, 0x10, 0x40}, {4, 5, 6});
  apply_group(eid, s, fault, scope, {0x2, 0x8, 0x20}, {1, 2, 3});
  envmon_inv_invreg_volt_sensor_update(eid, s, static_cast<uint32_t>(scope), 0);
}

void envmon_report_volt_alm(const pelm_eid* eid, uint32_t alarm_id, uint8_t raise, int32_t scope,
                            const char* name) {
  static constexpr char kFunc[] = "envmon_report_volt_alm";
  if (!valid_alarm_id(alarm_id)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidAlarm, kFunc, static_cast<int>(alarm_id));
    return;
  }
  Request r;
  r.data.eid = const_cast<pelm_eid*>(eid);
  r.data.state = raise ? 1 : 2;
  r.data.description = name;
  r.data.name = name;
  r.req.fault_type = kTypeVoltage;
  envmon_hal_fm_configure_voltage_fault(&r.req, &r.data, alarm_id, static_cast<uint32_t>(scope));
  const envmon_err_t rc = envmon_fm_fault_report(scope, &r.req);
  if (rc != ENVMON_OK) {
    tlg_internal(err_tlg_cmn_hdl, kVoltFailed, kFunc, raise ? "raising" : "clearing",
                 EidText(eid).text, static_cast<long>(rc));
  } else {
    tlg_internal(fault_tlg_cmn_hdl, kVoltDone, kFunc, raise ? "raised" : "cleared",
                 EidText(eid).text, static_cast<int>(r.data.alarm_level));
  }
  // The card goes down on a critical alarm whatever the fault manager said.
  if (raise && r.data.alarm_level == kLevelCritical) {
    const uint32_t slot = (scope == ENVMON_SCOPE_NODE && envmon_nm) ? envmon_nm->slot_num : eid->slot;
    envmon_debug_log(kCriticalShutdown, static_cast<int>(slot));
    envmon_shutdown_card(slot);
  }
}

void envmon_shutdown_card(uint32_t slot) {
  static constexpr char kFunc[] = "envmon_shutdown_card";
  pelm_eid fru{};
  envmon_setup_fru_eid(slot, &fru);
  Request r;
  r.data.eid = &fru;
  r.data.state = 1;
  r.data.alarm_level = kLevelCritical;
  r.data.description = kShutdownReason;
  r.req.fault_type = kTypeCardShutdown;
  r.req.shutdown_action = kShutCard;
  uint32_t scope = ENVMON_SCOPE_RACK;
  envmon_hal_fm_configure_shutdown_card_fault(&r.req, &scope);
  const envmon_err_t rc = envmon_fm_fault_report(static_cast<int32_t>(scope), &r.req);
  envmon_debug_log(kShutdownDbg, envmon_nm ? envmon_nm->card_type : 0u, static_cast<int>(slot),
                   static_cast<int>(scope), static_cast<int>(r.req.fault_tag));
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_cmn_hdl, kShutdownFailed, kFunc, static_cast<long>(rc),
                 static_cast<int>(slot));
  else
    tlg_internal(fault_tlg_cmn_hdl, kShutdownOk, kFunc, static_cast<int>(slot));
  envmon_free_tsi(&fru);
}

void envmon_process_drvif_pem_volt_fault(const pelm_eid* eid, int32_t value, uint32_t fault,
                                         int32_t scope) {
  static constexpr char kFunc[] = "envmon_process_drvif_pem_volt_fault";
  if (!qyx_sysctl_get_bool(kVoltageSupport, false) || !eid) return;
  uint32_t tray = 0, pem = 0;
  if (!envmon_is_pem_slot(static_cast<int32_t>(eid->slot), &tray, &pem)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidPemSlot, kFunc, static_cast<int>(eid->slot));
    return;
  }
  envmon_sensor_info* s = nullptr;
  if (envmon_util_get_sensor_info(eid, &s, static_cast<uint32_t>(scope)) != ENVMON_OK || !s) {
    tlg_internal(err_tlg_cmn_hdl, kPemNoEid, kFunc, EidText(eid).text);
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kSensorVals, s->name, value, s->value);
  s->pd_last_state = s->pd_state;
  s->pd_state = envmon_hw_fault_to_volt_fault(fault);
  const uint32_t now = s->pd_state;
  const uint32_t old = s->pd_last_state;
  if (now == old) return;
  if (now != 0) {
    // Within a group the fault is the same and only its severity changes.
    const bool other_group = old != 0 && ((old <= 3) != (now <= 3));
    if (other_group) envmon_report_pem_volt_alm(eid, old, 0, scope, value, s->name);
    envmon_report_pem_volt_alm(eid, now, 1, scope, value, s->name);
  } else {
    envmon_report_pem_volt_alm(eid, old, 0, scope, value, s->name);
  }
  envmon_inv_invreg_volt_sensor_update(eid, s, static_cast<uint32_t>(scope), 0);
}

void envmon_report_pem_volt_alm(const pelm_eid* eid, uint32_t alarm_id, uint8_t raise,
                                int32_t scope, int32_t value, const char* name) {
  static constexpr char kFunc[] = "envmon_report_pem_volt_alm";
  if (!valid_alarm_id(alarm_id)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidAlarm, kFunc, static_cast<int>(alarm_id));
    return;
  }
  Request r;
  r.data.eid = const_cast<pelm_eid*>(eid);
  r.data.state = raise ? 1 : 2;
  r.data.name = name;
  r.req.fault_type = kTypeVoltage;
  envmon_hal_fm_configure_voltage_fault(&r.req, &r.data, alarm_id, static_cast<uint32_t>(scope));
  char description[kTextLen];
  snprintf(description, sizeof(description), raise ? kPemRaised : kPemCleared, name ? name : "",
           severity_text(r.data.alarm_level), value / 1000.0);
  r.data.description = description;
  const envmon_err_t rc = envmon_fm_fault_report(scope, &r.req);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_cmn_hdl, kPemFailed, kFunc, raise ? "raising" : "clearing",
                 EidText(eid).text, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_cmn_hdl, kPemDone, kFunc, raise ? "raised" : "cleared",
                 EidText(eid).text, static_cast<int>(r.data.alarm_level));
}

void envmon_report_powertray_oir_alm(uint32_t tray, uint8_t inserted) {
  static constexpr char kFunc[] = "envmon_report_powertray_oir_alm";
  envmon_pwr_mgmt_data_t* pm = envmon_rm ? envmon_rm->pwr_mgmt_data : nullptr;
  if (!pm || !pm->envmon_pwr_tray_data || tray >= envmon_rm->pwr_tray_count) return;
  Request r;
  r.data.eid = &pm->envmon_pwr_tray_data[tray].eid;
  r.data.state = 1;
  r.data.description = "";
  r.req.fault_type = kTypePowerTrayOir;
  envmon_hal_fm_configure_powertray_oir_fault(&r.req, inserted);
  const envmon_err_t rc = envmon_fm_fault_report(ENVMON_SCOPE_RACK, &r.req);
  const char* what = inserted ? "IN" : "OUT";
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_cmn_hdl, kPtFailed, kFunc, static_cast<int>(tray), what,
                 static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_cmn_hdl, kPtDone, kFunc, static_cast<int>(tray), what);
}

void envmon_process_drvif_idprom_access_fault(const pelm_eid* eid, uint32_t /*unused*/,
                                              const char* text, uint8_t raise) {
  static constexpr char kFunc[] = "envmon_process_drvif_idprom_access_fault";
  if (!eid) return;
  const bool up = raise == 1;
  Request r;
  r.data.eid = const_cast<pelm_eid*>(eid);
  r.data.state = up ? 1 : 2;
  r.req.fault_type = kTypeIdprom;
  envmon_hal_fm_configure_idprom_access_failure(&r.req);
  char description[kTextLen] = "";
  if (up && text) {
    envmon_acq::copy_text(description, sizeof(description), text);
    r.data.description = description;
  }
  const envmon_err_t rc = envmon_fm_fault_report(ENVMON_SCOPE_RACK, &r.req);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_cmn_hdl, kIdpromFailed, kFunc, up ? "raising" : "clearing",
                 static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_cmn_hdl, kIdpromDone, kFunc, up ? "raised" : "cleared");
}

void envmon_process_drvif_hw_undetected_fault(const pelm_eid* eid, int32_t scope, uint8_t raise) {
  static constexpr char kFunc[] = "envmon_process_drvif_hw_undetected_fault";
  if (!eid) return;
  const bool up = raise == 1;
  Request r;
  r.data.eid = const_cast<pelm_eid*>(eid);
  r.data.state = up ? 1 : 2;
  r.data.alarm_level = kLevelHwUndetected;
  r.req.fault_type = kTypeIdprom;
  char text[kTextLen] = "";
  envmon_hal_fm_configure_hw_undetected_failure(const_cast<pelm_eid*>(eid), &r.req, text);
  r.data.description = text;
  r.data.name = text;
  const envmon_err_t rc = envmon_fm_fault_report(scope, &r.req);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_cmn_hdl, kHwFailed, kFunc, up ? "raising" : "clearing",
                 static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_cmn_hdl, kHwDone, kFunc, up ? "raised" : "cleared");
}

}  // extern "C"
