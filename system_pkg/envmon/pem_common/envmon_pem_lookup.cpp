// Finding a PEM and its sensors by slot number, and the sensors' reporting
// deltas.
#include "envmon_pem_private.h"

namespace {

bool is_pem_type(uint32_t type, std::initializer_list<uint32_t> codes) {
  for (uint32_t c : codes)
    if (c == type) return true;
  return false;
}

int32_t voltage_delta(uint32_t pem_type) {
  if (is_pem_type(pem_type, {0xF00388, 0xF00188, 0xF11990, 0xF11993, 0xAB010000, 0xAB010020, 0xAB010030,
                             0xAB010001, 0xF0038B, 0xF0038D}))
    return 40;
  if (is_pem_type(pem_type, {0xF0100E, 0xF0100F, 0xF01960, 0xF01961})) return 0;
  return 20;
}

}  // namespace

extern "C" {

int envmon_is_pem_slot(int32_t slot, uint32_t* tray, uint32_t* pem) {
  if (pd_power_tray_info == nullptr) return 0;
  const uint32_t trays = pem::tray_count();
  if (pem::real_trays()) {
    if (slot < 0) return 0;
    for (uint32_t i = 0; i < trays; ++i) {
      const envmon_pwr_tray_budget* b = pem::tray_budget(i);
      const pd_power_tray_info_t& t = pd_power_tray_info[i];
      if (b == nullptr || b->hw_position != slot / 20 || t.pems == nullptr) continue;
      for (uint32_t j = 0; j < t.num_pems; ++j) {
        if (t.pems[j].hw_position != slot % 20) continue;
        if (tray != nullptr) *tray = i;
        if (pem != nullptr) *pem = j;
        return 1;
      }
    }
    return 0;
  }
  for (uint32_t i = 0; i < trays; ++i) {
    const pd_power_tray_info_t& t = pd_power_tray_info[i];
    for (uint32_t j = 0; t.pems != nullptr && j < t.num_pems; ++j) {
      if (t.pems[j].hw_position != slot) continue;
      if (tray != nullptr) *tray = i;
      if (pem != nullptr) *pem = j;
      return 1;
    }
  }
  return 0;
}

uint32_t* envmon_get_pem_misc_state(int32_t slot) {
  uint32_t t = 0, p = 0;
  if (!envmon_is_pem_slot(slot, &t, &p)) return nullptr;
  return &pem::pem_at(t, p)->misc_state;
}

envmon_err_t envmon_pem_get_sensor_list(int32_t slot, uint32_t subtype, envmon_sensor_info** list,
                                        uint16_t* count) {
  uint32_t t = 0, p = 0;
  if (!envmon_is_pem_slot(slot, &t, &p)) return ENVMON_ERR_INVALID_ARG;
  envmon_sensor_list* l = pem::sensor_list_by_subtype(*pem::pem_at(t, p), subtype);
  if (l == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: Invalid PEM sensor subtype=%d\n", __func__, static_cast<int>(subtype));
    return ENVMON_ERR_INVALID_ARG;
  }
  if (list != nullptr) *list = l->sensors;
  if (count != nullptr) *count = l->count;
  return ENVMON_OK;
}

void envmon_pem_customize_sensor_info(envmon_sensor_info* sensor, int32_t slot, uint32_t type, uint32_t subtype) {
  uint32_t t = 0, p = 0;
  if (sensor == nullptr || type != ENVMON_ENTITY_TYPE_SENSOR || !envmon_is_pem_slot(slot, &t, &p)) return;
  switch (subtype) {
    case ENVMON_SENSOR_CURRENT: sensor->delta = 50; break;
    case ENVMON_SENSOR_FAN_SPEED: sensor->delta = 500; break;
    case ENVMON_SENSOR_POWER: sensor->delta = 50; break;
    case ENVMON_SENSOR_TEMPERATURE: sensor->delta = static_cast<int32_t>(envmon_hal_get_pem_temp_delta()); break;
    case ENVMON_SENSOR_VOLTAGE: sensor->delta = voltage_delta(pem::pem_at(t, p)->pem_raw_data.pem_type); break;
    default: sensor->delta = 1; break;
  }
}

}  // extern "C"
