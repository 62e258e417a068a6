// Feeds arbitrary entity ids, keys and states through every getter. The id is
// always exactly the inventory's 70 bytes on the heap, so a level count that
// led a read past it would be caught.
#include <cstdint>
#include <cstring>
#include <vector>

#include "snmpstate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kEidSize = 70;
  std::vector<uint8_t> eid(kEidSize, 0);
  if (size > 0) memcpy(eid.data(), data, size < kEidSize ? size : kEidSize);
  const uint8_t* rest = size > kEidSize ? data + kEidSize : nullptr;
  const size_t rest_len = size > kEidSize ? size - kEidSize : 0;

  taavrin_snmpsu_key key = {3, "V1"};
  int32_t state = 0;
  if (rest_len >= 1) key.hw_class = rest[0] % 6;
  if (rest_len >= 2) state = static_cast<int8_t>(rest[1]);
  if (rest_len >= 3 && rest[2] & 1) memcpy(key.version, "V2", 3);

  using SnmpGetter = int (*)(const void*, const taavrin_snmpsu_key*, int32_t, int32_t*);
  using PiGetter = int (*)(const void*, int32_t, int32_t*);
  constexpr SnmpGetter kSnmp[] = {
      inv_snmp_api_get_module_oper_state,  inv_snmp_api_get_module_admin_state,
      inv_snmp_api_get_module_reset_reason, inv_snmp_api_get_power_admin_state,
      inv_snmp_api_get_power_oper_state,   inv_snmp_api_get_fan_tray_oper_state,
      inv_snmp_api_get_sensor_status};
  constexpr PiGetter kPi[] = {inv_snmp_api_get_pi_admin_state, inv_snmp_api_get_pi_oper_state,
                              inv_snmp_api_get_pi_power_admin_state,
                              inv_snmp_api_get_pi_power_oper_state};
  int32_t out = 0;
  for (SnmpGetter g : kSnmp) {
    const int rc = g(eid.data(), &key, state, &out);
    if (rc != 0 && rc != 2 && rc != 22) __builtin_trap();
  }
  for (PiGetter g : kPi) {
    const int rc = g(eid.data(), state, &out);
    if (rc != 0 && rc != 2 && rc != 22) __builtin_trap();
  }
  return 0;
}
