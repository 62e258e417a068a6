// SNMP and system-common getters over an inventory entity id.
#include <cstring>

#include "snmpstate_internal.h"

using snmpstate::is_special_card;
using snmpstate::LastLevel;
using snmpstate::read_last_level;
using snmpstate::state_list;

namespace snmpstate {

int read_last_level(const void* eid, LastLevel* out) {
  constexpr size_t kCountOffset = 4;
  if (eid == nullptr) return SNMPSTATE_EINVAL;
  const auto* bytes = static_cast<const uint8_t*>(eid);
  const uint8_t count = bytes[kCountOffset];
  if (count == 0 || count > kMaxLevels) return SNMPSTATE_EINVAL;
  const size_t type_at = 4u * count + 2u;
  out->type = bytes[type_at];
  out->subtype = bytes[type_at + 1];
  return SNMPSTATE_OK;
}

}  // namespace snmpstate

namespace {

constexpr uint8_t kFanTrayType = 7;
constexpr uint8_t kSensorType = 8;
constexpr uint8_t kCardType = 6;

// The key's version field need not be terminated.
const taavrin_snmpsu_state* mapping_of(int32_t category, int32_t kind,
                                       const taavrin_snmpsu_key* key) {
  char version[SNMPSTATE_VERSION_LEN + 1] = {};
  memcpy(version, key->version, SNMPSTATE_VERSION_LEN);
  return taavrin_snmpsu_get_mapping(category, kind, key->hw_class, version);
}

// Shared shape of the module and power getters. A special card reads the
// special-card row of `special_kind` when one is given (0: none) and/or the
// fixed state 1.
int module_getter(const void* eid, const taavrin_snmpsu_key* key, int32_t state, int32_t* out,
                  int32_t kind, int32_t special_kind, bool special_state_one) {
  if (key == nullptr) return SNMPSTATE_EINVAL;
  LastLevel last{};
  if (const int rc = read_last_level(eid, &last); rc != SNMPSTATE_OK) return rc;
  const bool special = is_special_card(last);
  const taavrin_snmpsu_state* list = special && special_kind != 0
                                         ? mapping_of(SNMPSTATE_CAT_SPECIAL_CARD, special_kind, key)
                                         : mapping_of(SNMPSTATE_CAT_MODULE, kind, key);
  return taavrin_snmpsu_get_snmp_state(special && special_state_one ? 1 : state, list, out);
}

}  // namespace

extern "C" {

int inv_snmp_api_get_module_oper_state(const void* eid, const taavrin_snmpsu_key* key,
                                       int32_t state, int32_t* out) {
  // A special card's operational state is its power state.
  return module_getter(eid, key, state, out, SNMPSTATE_KIND_OPER, SNMPSTATE_KIND_POWER_OPER, false);
}

int inv_snmp_api_get_module_admin_state(const void* eid, const taavrin_snmpsu_key* key,
                                        int32_t state, int32_t* out) {
  return module_getter(eid, key, state, out, SNMPSTATE_KIND_ADMIN, 0, true);
}

int inv_snmp_api_get_module_reset_reason(const void* eid, const taavrin_snmpsu_key* key,
                                         int32_t state, int32_t* out) {
  if (eid == nullptr || key == nullptr) return SNMPSTATE_EINVAL;
  return taavrin_snmpsu_get_snmp_state(
      state, mapping_of(SNMPSTATE_CAT_MODULE, SNMPSTATE_KIND_RESET_REASON, key), out);
}

int inv_snmp_api_get_power_admin_state(const void* eid, const taavrin_snmpsu_key* key,
                                       int32_t state, int32_t* out) {
  return module_getter(eid, key, state, out, SNMPSTATE_KIND_POWER_ADMIN, 0, true);
}

int inv_snmp_api_get_power_oper_state(const void* eid, const taavrin_snmpsu_key* key,
                                      int32_t state, int32_t* out) {
  return module_getter(eid, key, state, out, SNMPSTATE_KIND_POWER_OPER,
                       SNMPSTATE_KIND_POWER_OPER, false);
}

int inv_snmp_api_get_fan_tray_oper_state(const void* eid, const taavrin_snmpsu_key* key,
                                         int32_t state, int32_t* out) {
  if (key == nullptr) return SNMPSTATE_EINVAL;
  LastLevel last{};
  if (const int rc = read_last_level(eid, &last); rc != SNMPSTATE_OK) return rc;
  if (last.type != kFanTrayType) return SNMPSTATE_EINVAL;
  const taavrin_snmpsu_state* list = mapping_of(SNMPSTATE_CAT_FAN_TRAY, SNMPSTATE_KIND_OPER, key);
  if (list == nullptr) return SNMPSTATE_EINVAL;
  return taavrin_snmpsu_get_snmp_state(state, list, out);
}

int inv_snmp_api_get_sensor_status(const void* eid, const taavrin_snmpsu_key* key, int32_t state,
                                   int32_t* out) {
  if (key == nullptr) return SNMPSTATE_EINVAL;
  LastLevel last{};
  if (const int rc = read_last_level(eid, &last); rc != SNMPSTATE_OK) return rc;
  if (last.type != kSensorType) return SNMPSTATE_EINVAL;
  return taavrin_snmpsu_get_snmp_state(
      state, mapping_of(SNMPSTATE_CAT_SENSOR, SNMPSTATE_KIND_OPER, key), out);
}

int inv_snmp_api_get_pi_admin_state(const void* eid, int32_t state, int32_t* out) {
  LastLevel last{};
  if (const int rc = read_last_level(eid, &last); rc != SNMPSTATE_OK) return rc;
  return taavrin_snmpsu_get_syscommon_state(is_special_card(last) ? 1 : state, state_list(1), out);
}

int inv_snmp_api_get_pi_oper_state(const void* eid, int32_t state, int32_t* out) {
  LastLevel last{};
  if (const int rc = read_last_level(eid, &last); rc != SNMPSTATE_OK) return rc;
  if (out == nullptr) return SNMPSTATE_EINVAL;
  int32_t result = SNMPSTATE_OK;
  if (taavrin_snmpsu_type_subtype_based_pi_oper_state(last.subtype, state, &result, out) == 1) {
    return result;
  }
  return taavrin_snmpsu_get_syscommon_state(state, state_list(is_special_card(last) ? 5 : 2), out);
}

int inv_snmp_api_get_pi_power_admin_state(const void* eid, int32_t state, int32_t* out) {
  LastLevel last{};
  if (const int rc = read_last_level(eid, &last); rc != SNMPSTATE_OK) return rc;
  return taavrin_snmpsu_get_syscommon_state(last.type == kCardType ? 1 : state, state_list(3), out);
}

int inv_snmp_api_get_pi_power_oper_state(const void* eid, int32_t state, int32_t* out) {
  if (eid == nullptr) return SNMPSTATE_EINVAL;
  return taavrin_snmpsu_get_syscommon_state(state, state_list(4), out);
}

int taavrin_snmpsu_test_all_snmp_apis(void) {
  uint8_t empty[70] = {};
  uint8_t fan_tray[70] = {};
  uint8_t sensor[70] = {};
  fan_tray[4] = 1;
  fan_tray[6] = kFanTrayType;
  sensor[4] = 1;
  sensor[6] = kSensorType;
  const taavrin_snmpsu_key class3 = {3, "V1"};
  const taavrin_snmpsu_key class4 = {4, "V1"};
  int32_t out = 0;
  int rc = inv_snmp_api_get_module_oper_state(empty, &class3, 1, &out);
  rc = inv_snmp_api_get_module_admin_state(empty, &class3, 1, &out);
  rc = inv_snmp_api_get_fan_tray_oper_state(fan_tray, &class3, 1, &out);
  rc = inv_snmp_api_get_sensor_status(sensor, &class4, 0, &out);
  return rc;
}

}  // extern "C"
