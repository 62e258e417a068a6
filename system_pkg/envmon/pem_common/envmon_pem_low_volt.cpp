// Low input voltage of one input sensor of a DC-capable PEM: minor below
// 44 V, major below 42 V, each held until its release threshold, and held
// back while the PEM's masking timer runs. Values in millivolts.
#include <cstdio>
#include <cstring>

#include "envmon_pem_private.h"

namespace {

constexpr uint32_t kTagLowVin = 26;
constexpr int32_t kMinor = 3;
constexpr int32_t kMajor = 4;
constexpr uint32_t kReportedMajor = 8;
constexpr uint32_t kReportedMinor = 32;
constexpr uint32_t kReportedClear = 1;

constexpr uint32_t kEvaluated[] = {0xF0038A,   0xF0018A,   0xAB010010, 0xF11991,   0xF0038C,
                                   0xF11992,   0xAB010202, 0xAB010212, 0xAB010203, 0xAB010102,
                                   0xAB010103, 0xAB010105, 0xAB010309, 0xAB010207, 0xAB010106,
                                   0xF01961,   0xF0100F,   2,          0xAB010040};

bool evaluated(uint32_t type) {
  for (uint32_t t : kEvaluated)
    if (t == type) return true;
  return false;
}

uint32_t reported_level(const envmon_sensor_info& s) {
  if (s.fault_event == kReportedMajor) return kMajor;
  if (s.fault_event == kReportedMinor) return kMinor;
  return 0;
}

bool feed_without_input(const envmon_sensor_info& s, uint64_t hw_alarms) {
  const bool a = std::strstr(s.name, "Voltage A") != nullptr;
  const bool b = !a && std::strstr(s.name, "Voltage B") != nullptr;
  const bool c = !a && !b && std::strstr(s.name, "Voltage C") != nullptr;
  return (a && pem::alarm_set(hw_alarms, 32)) || (b && pem::alarm_set(hw_alarms, 33)) ||
         (c && pem::alarm_set(hw_alarms, 34)) || pem::alarm_set(hw_alarms, 16);
}

void forced_clear(uint8_t tray, uint8_t pem, envmon_sensor_info* sensor) {
  sensor->in_fault = 0;
  if (sensor->fault_event == kReportedMajor || sensor->fault_event == kReportedMinor)
    envmon_process_pem_low_volt_alm(tray, pem, sensor, true);
  else
    sensor->alarm_severity = 0;
}

}  // namespace

extern "C" {

bool envmon_pem_vin_below_minor(uint32_t value, uint32_t reported) {
  return reported == kMinor ? value < 45000 : value < 44000;
}

bool envmon_pem_vin_below_major(uint32_t value, uint32_t reported) {
  return reported == kMajor ? value < 43500 : value < 42000;
}

void envmon_check_pem_low_volt_alm(uint8_t tray, uint8_t pem, uint32_t value, envmon_sensor_info* sensor) {
  static constexpr char kFunc[] = "envmon_check_pem_low_volt_alm";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr || sensor == nullptr) return;
  const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
  if ((chassis == 0x6001010B || chassis == 0x60010107) && value == 0) {
    tlg_internal(err_tlg_pem_hdl, "%s:bad volt_value for PEM(%d, %d)\n", kFunc, tray, pem);
    return;
  }
  if (!evaluated(p->pem_raw_data.pem_type)) return;
  if (feed_without_input(*sensor, p->pem_raw_data.hw_alarms)) {
    forced_clear(tray, pem, sensor);
    return;
  }
  const int32_t old = sensor->alarm_severity;
  const uint32_t r = reported_level(*sensor);
  int32_t level = 0;
  if (envmon_pem_vin_below_major(value, r))
    level = kMajor;
  else if (envmon_pem_vin_below_minor(value, r))
    level = kMinor;
  bool clear_due = false;
  if (level != 0) {
    sensor->alarm_severity = level;
    sensor->in_fault = 1;
  } else {
    sensor->in_fault = 0;
    clear_due = r == kMinor || r == kMajor;
    // A due clear keeps the level for the texts of its report.
    if (!clear_due) sensor->alarm_severity = 0;
  }
  if (static_cast<uint32_t>(sensor->alarm_severity) == r || p->envmon_pem_init_timer_fd == -1) {
    if (level == 0) {
      if (clear_due) envmon_process_pem_low_volt_alm(tray, pem, sensor, true);
    } else if (static_cast<uint32_t>(sensor->alarm_severity) != r) {
      envmon_process_pem_low_volt_alm(tray, pem, sensor, false);
    }
    return;
  }
  if (sensor->alarm_severity != old)
    tlg_internal(pwrm_tlg_pem_hdl, "%s: LOW VIN alarm condition for PEM (%d, %d) - hold on raising the alarm\n",
                 kFunc, tray, pem);
}

void envmon_process_pem_low_volt_alm(uint8_t tray, uint8_t pem, envmon_sensor_info* sensor, bool clear) {
  static constexpr char kFunc[] = "envmon_process_pem_low_volt_alm";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr || sensor == nullptr) return;
  if (p->status & ENVMON_PEM_IN_FPD_UPG) return;
  char text[256];
  pem::format(text, sizeof text, "%s%s (%d mV)", sensor->name,
                sensor->alarm_severity == kMajor ? " < 42V " : " < 44V ", sensor->value);
  char descr[256];
  const bool virt = pem::virtual_tray_texts();
  if (clear) {
    if (virt)
      pem::format(descr, sizeof descr, "Power module condition %s is cleared.", text);
    else
      pem::format(descr, sizeof descr, "Power tray %d power module %d condition %s is cleared.", tray, pem, text);
  } else {
    if (virt)
      pem::format(descr, sizeof descr, "Power module is under %s condition.", text);
    else
      pem::format(descr, sizeof descr, "Power tray %d power module %d is under %s condition.", tray, pem, text);
  }
  pem::FaultRequest fr(kTagLowVin, &sensor->eid, clear ? pem::kClear : pem::kRaise,
                       static_cast<uint16_t>(sensor->alarm_severity));
  fr.data.description = descr;
  fr.data.name = text;
  if (clear) {
    sensor->fault_event = kReportedClear;
    sensor->alarm_severity = 0;
    pem::count_oper(pem::kPMalmClear);
  } else {
    sensor->fault_event = sensor->alarm_severity == kMajor ? kReportedMajor : kReportedMinor;
    pem::count_oper(pem::kPMalmRaise);
  }
  const envmon_err_t rc = fr.send();
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s for pem(%d, %d): envmon_fm_fault_report returned error when %s %s alarm, rc = %ld.\n", kFunc,
                 tray, pem, clear ? "clearing" : "raising", text, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s for pem(%d, %d): %s %s alarm\n", kFunc, tray, pem,
                 clear ? "cleared" : "raised", text);
}

}  // extern "C"
