// New PEM readings: input voltages drive the low-input-voltage checks, the
// output current goes to the PEM's allocation in inventory, and power
// readings are stored and reported as power usage.
#include <cstring>

#include "envmon_invreg.h"
#include "envmon_pem_private.h"

namespace {

constexpr int32_t kPowerOn = 2;
constexpr int32_t kPowerOff = 3;

}  // namespace

extern "C" {

void envmon_pem_pwr_mgmt_volt_value_change_event(int32_t value, envmon_sensor_info* sensor, uint32_t slot) {
  if (sensor == nullptr) return;
  tlg_internal(pwrm_tlg_pem_hdl, " Voltage Sensor %s rcvd value %d\n", sensor->name, value);
  uint32_t t = 0, i = 0;
  if (pd_power_supplies_data.all_pem_info_rcvd != 1 || !envmon_is_pem_slot(static_cast<int32_t>(slot), &t, &i) ||
      !pem::is_input_sensor(*sensor))
    return;
  pem_record* p = pem::pem_at(t, i);
  const uint32_t v = static_cast<uint32_t>(value);
  if (std::strstr(sensor->name, "Voltage A") != nullptr) {
    p->pem_raw_data.input_voltage_a = v;
  } else if (std::strstr(sensor->name, "Voltage B") != nullptr) {
    p->pem_raw_data.input_voltage_b = v;
  } else if (std::strstr(sensor->name, "Voltage C") != nullptr) {
    p->pem_raw_data.input_voltage_c = v;
  } else {
    p->pem_raw_data.input_voltage_a = v;
    p->pem_raw_data.input_voltage_b = v;
    p->pem_raw_data.input_voltage_c = v;
  }
  envmon_check_pem_low_volt_alm(static_cast<uint8_t>(t), static_cast<uint8_t>(i), v, sensor);
  if (envmon_check_dc_pem_low_vin_alm() != ENVMON_OK) pem::count_error();
}

void envmon_pem_pwr_mgmt_update_fru_curr_data(int32_t /*value*/, envmon_sensor_info* sensor, uint32_t slot) {
  uint32_t t = 0, i = 0;
  if (sensor == nullptr || !envmon_is_pem_slot(static_cast<int32_t>(slot), &t, &i) ||
      std::strncmp(sensor->name, "Output", 6) != 0)
    return;
  pem_record* p = pem::pem_at(t, i);
  const uint32_t current = static_cast<uint32_t>(sensor->value);
  if (current == p->current) return;
  p->current = current;
  envmon_inv_invreg_fru_power_alloc_update(&p->cont_eid, 0, pem::usable(p->status) ? kPowerOn : kPowerOff,
                                           static_cast<int32_t>(current), 1);
}

void envmon_power_value_change_event(const pelm_eid* eid, int32_t value, int32_t scope, uint64_t timestamp) {
  static constexpr char kFunc[] = "envmon_power_value_change_event";
  if (pd_power_supplies_data.all_pem_info_rcvd != 1 || eid == nullptr) return;
  uint32_t t = 0, i = 0;
  envmon_sensor_info* sensor = nullptr;
  if (envmon_is_pem_slot(static_cast<int32_t>(eid->slot), &t, &i)) {
    pem_record* p = pem::pem_at(t, i);
    if (envmon_util_find_sensor_info(eid, p->power_data.count, p->power_data.sensors, &sensor) != ENVMON_OK)
      sensor = nullptr;
  }
  if (sensor == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: unable to find EID %s\n", kFunc, pem::EidText(eid).text);
    return;
  }
  sensor->last_value = sensor->value;
  sensor->value = value;
  sensor->timestamp = timestamp;
  if (!(sensor->state & ENVMON_ST_REG_DONE)) sensor->state |= ENVMON_ST_VALUE_WAITING;
  envmon_inv_invreg_power_usage_update(eid, sensor, static_cast<uint32_t>(scope));
}

}  // extern "C"
