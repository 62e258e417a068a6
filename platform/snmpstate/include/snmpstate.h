// SNMP state mapping: converts the states inventory keeps for modules, power
// supplies, fan trays and sensors into the states the SNMP entity and sensor
// MIBs report, and into the platform-independent system-common state.
// Constant tables only; every function may be called from any thread.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Results.
#define SNMPSTATE_OK 0
#define SNMPSTATE_NOT_FOUND 2
#define SNMPSTATE_EINVAL 22

// Mapping categories.
#define SNMPSTATE_CAT_MODULE 1
#define SNMPSTATE_CAT_SPECIAL_CARD 6
#define SNMPSTATE_CAT_FAN_TRAY 7
#define SNMPSTATE_CAT_SENSOR 8
#define SNMPSTATE_CAT_END 13

// Mapping kinds.
#define SNMPSTATE_KIND_OPER 1
#define SNMPSTATE_KIND_ADMIN 2
#define SNMPSTATE_KIND_POWER_OPER 3
#define SNMPSTATE_KIND_POWER_ADMIN 4
#define SNMPSTATE_KIND_RESET_REASON 5

#define SNMPSTATE_VERSION_LEN 12

// One entry of a state list; a list ends with internal_state -1.
typedef struct taavrin_snmpsu_state {
  int32_t internal_state;
  int32_t snmp_state;
  int32_t syscommon_state;
} taavrin_snmpsu_state;

// Mapping key of the SNMP getters.
typedef struct taavrin_snmpsu_key {
  int32_t hw_class;
  char version[SNMPSTATE_VERSION_LEN];
} taavrin_snmpsu_key;

// One row of the mapping table; the table ends with category SNMPSTATE_CAT_END.
typedef struct taavrin_snmpsu_mapping {
  int32_t hw_class;
  int32_t category;
  int32_t kind;
  char version[SNMPSTATE_VERSION_LEN];
  const taavrin_snmpsu_state* states;
} taavrin_snmpsu_mapping;

// Table access.
const taavrin_snmpsu_state* taavrin_snmpsu_get_mapping(int32_t category, int32_t kind,
                                                       int32_t hw_class, const char* version);
int taavrin_snmpsu_get_snmp_state(int32_t state, const taavrin_snmpsu_state* list, int32_t* out);
int taavrin_snmpsu_convert_sc_state_to_snmp_state(int32_t state, const taavrin_snmpsu_state* list,
                                                  int32_t* out);
int taavrin_snmpsu_get_syscommon_state(int32_t state, const taavrin_snmpsu_state* list,
                                       int32_t* out);
// 1 when the subtype and state decide the system-common state by themselves
// (a voltage sensor in state 16), which is then stored in `out` with *result 0.
int taavrin_snmpsu_type_subtype_based_pi_oper_state(int32_t subtype, int32_t state,
                                                    int32_t* result, int32_t* out);
int taavrin_snmpsu_test_all_snmp_apis(void);

// SNMP getters. `eid` is the inventory's 70-byte entity id: byte 4 holds the
// level count, level k (1-based) has its type at byte 4k+2 and subtype at 4k+3.
int inv_snmp_api_get_module_oper_state(const void* eid, const taavrin_snmpsu_key* key,
                                       int32_t state, int32_t* out);
int inv_snmp_api_get_module_admin_state(const void* eid, const taavrin_snmpsu_key* key,
                                        int32_t state, int32_t* out);
int inv_snmp_api_get_module_reset_reason(const void* eid, const taavrin_snmpsu_key* key,
                                         int32_t state, int32_t* out);
int inv_snmp_api_get_power_admin_state(const void* eid, const taavrin_snmpsu_key* key,
                                       int32_t state, int32_t* out);
int inv_snmp_api_get_power_oper_state(const void* eid, const taavrin_snmpsu_key* key,
                                      int32_t state, int32_t* out);
int inv_snmp_api_get_fan_tray_oper_state(const void* eid, const taavrin_snmpsu_key* key,
                                         int32_t state, int32_t* out);
int inv_snmp_api_get_sensor_status(const void* eid, const taavrin_snmpsu_key* key, int32_t state,
                                   int32_t* out);

// System-common getters.
int inv_snmp_api_get_pi_admin_state(const void* eid, int32_t state, int32_t* out);
int inv_snmp_api_get_pi_oper_state(const void* eid, int32_t state, int32_t* out);
int inv_snmp_api_get_pi_power_admin_state(const void* eid, int32_t state, int32_t* out);
int inv_snmp_api_get_pi_power_oper_state(const void* eid, int32_t state, int32_t* out);

#ifdef __cplusplus
}
#endif
