// PEM fan alarms (marked per fan sensor during a sensor-data batch, reported
// once at its end), single hardware-alarm bit events, and the warning that
// power trays of different kinds are mixed.
#include <cstdio>

#include "envmon_pem_private.h"

namespace {

constexpr uint32_t kTagFanFailed = 47;
constexpr uint32_t kTagMixedTrays = 41;
constexpr uint16_t kSeverityMinor = 3;
constexpr uint16_t kSeverityWarning = 2;
constexpr uint32_t kFaultBit = 0x400000;
constexpr uint32_t kChangePending = 0x1;
constexpr uint32_t kFanAlarmRaised = 0x2;

void report_fan(uint8_t tray, uint8_t pem, envmon_sensor_info& s, bool raise) {
  static constexpr char kFunc[] = "envmon_process_pem_fan_alarm";
  char descr[256];
  if (pem::virtual_tray_texts())
    pem::format(descr, sizeof descr, raise ? "Power module %s failed." : "Power module %s failure cleared.", s.name);
  else
    pem::format(descr, sizeof descr,
                  raise ? "Power tray %d power module %d  %s failed." : "Power tray %d power module %d  %s failure cleared.",
                  tray, pem, s.name);
  pem::FaultRequest fr(kTagFanFailed, &s.eid, raise ? pem::kRaise : pem::kClear, kSeverityMinor);
  fr.data.description = descr;
  fr.data.name = s.name;
  pem::count_oper(raise ? pem::kPMalmRaise : pem::kPMalmClear);
  const envmon_err_t rc = fr.send();
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s for pem(%d, %d): envmon_fm_fault_report returned error when %s %s alarm, rc = %ld.\n", kFunc,
                 tray, pem, raise ? "raising" : "clearing", s.name, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s for pem(%d, %d): %s %s alarm\n", kFunc, tray, pem,
                 raise ? "raising" : "clearing", s.name);
}

}  // namespace

extern "C" {

void envmon_pem_single_fan_fault_event(const pelm_eid* eid, uint32_t fault_events, int32_t scope) {
  envmon_sensor_info* s = nullptr;
  if (envmon_util_get_sensor_info(eid, &s, static_cast<uint32_t>(scope)) != ENVMON_OK || s == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "unable to find EID %s\n", pem::EidText(eid).text);
    return;
  }
  const uint8_t f = (fault_events & kFaultBit) != 0 ? 1 : 0;
  if (s->in_fault == f) return;
  s->in_fault = f;
  s->pd_state |= kChangePending;
}

void envmon_process_pem_fan_alarm(void) {
  pem::for_each_pem([](uint32_t t, uint32_t i, pem_record& p) {
    envmon_sensor_list& fans = p.fan_data;
    if (fans.sensors == nullptr || fans.count == 0) return;
    bool pending = false;
    for (uint16_t s = 0; s < fans.count; ++s) {
      pending |= (fans.sensors[s].pd_state & kChangePending) != 0;
      fans.sensors[s].pd_state &= ~kChangePending;
    }
    if (!pending) return;
    for (uint16_t s = 0; s < fans.count; ++s) {
      envmon_sensor_info& sensor = fans.sensors[s];
      const bool raised = (sensor.pd_state & kFanAlarmRaised) != 0;
      if (sensor.in_fault == 1 && !raised) {
        report_fan(static_cast<uint8_t>(t), static_cast<uint8_t>(i), sensor, true);
        sensor.pd_state |= kFanAlarmRaised;
      } else if (sensor.in_fault == 0 && raised) {
        report_fan(static_cast<uint8_t>(t), static_cast<uint8_t>(i), sensor, false);
        sensor.pd_state &= ~kFanAlarmRaised;
      }
    }
  });
}

void envmon_pem_fault_handling(int32_t tray, int32_t pem, uint32_t event_word, int32_t alarm_bit) {
  if (tray < 0 || pem::tray_at(static_cast<uint32_t>(tray)) == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): invalid pwr_tray_num %d \n", __func__, tray);
    return;
  }
  pem_record* p = pem < 0 ? nullptr : pem::pem_at(static_cast<uint32_t>(tray), static_cast<uint32_t>(pem));
  if (p == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): invalid pem_num %d\n", __func__, pem);
    return;
  }
  if (alarm_bit < 0 || alarm_bit > 63) return;
  const uint64_t bit = 1ull << alarm_bit;
  const uint64_t now = (event_word & kFaultBit) ? (p->pem_raw_data.hw_alarms | bit) : (p->pem_raw_data.hw_alarms & ~bit);
  if (now == p->pem_raw_data.hw_alarms) return;
  pem_raw_data_t raw{};
  raw.pem_type = p->pem_raw_data.pem_type;
  raw.input_voltage_a = p->pem_raw_data.input_voltage_a;
  raw.input_voltage_b = p->pem_raw_data.input_voltage_b;
  raw.input_voltage_c = p->pem_raw_data.input_voltage_c;
  raw.hours_used = p->pem_raw_data.hours_used;
  raw.hw_alarms = now;
  envmon_pwr_mgmt_pem_data_upd(static_cast<uint8_t>(tray), static_cast<uint8_t>(pem), &raw, 1);
}

void envmon_process_drvif_mixed_power_trays(pelm_eid* eid, int32_t /*scope*/, const char* text, int32_t raise) {
  static constexpr char kFunc[] = "envmon_process_drvif_mixed_power_trays";
  char descr[256];
  pem::format(descr, sizeof descr, "%s", raise == 1 ? (text != nullptr ? text : "") : "WARNING CLEARED");
  pem::FaultRequest fr(kTagMixedTrays, eid, raise == 1 ? pem::kRaise : pem::kClear, kSeverityWarning);
  fr.data.description = descr;
  const envmon_err_t rc = fr.send();
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s: envmon_fm_fault_report returned error for %s mixed power trays warning, rc = %ld.\n", kFunc,
                 raise == 1 ? "raising" : "clearing", static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: %s mixed power trays warning\n", kFunc, raise == 1 ? "raised" : "cleared");
}

}  // extern "C"
