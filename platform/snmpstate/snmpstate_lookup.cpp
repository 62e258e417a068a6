// Table access: mapping rows and state-list lookups.
#include <cstring>

#include "snmpstate_internal.h"

using snmpstate::kMappingTable;

namespace {

enum class Match { kInternal, kSyscommon };
enum class Give { kSnmp, kSyscommon };

int lookup(int32_t state, const taavrin_snmpsu_state* list, int32_t* out, Match match, Give give) {
  if (list == nullptr) return SNMPSTATE_NOT_FOUND;
  if (out == nullptr) return SNMPSTATE_EINVAL;
  for (const taavrin_snmpsu_state* e = list; e->internal_state != -1; ++e) {
    const int32_t key = match == Match::kInternal ? e->internal_state : e->syscommon_state;
    if (key != state) continue;
    *out = give == Give::kSnmp ? e->snmp_state : e->syscommon_state;
    return SNMPSTATE_OK;
  }
  return SNMPSTATE_NOT_FOUND;
}

}  // namespace

extern "C" {

const taavrin_snmpsu_state* taavrin_snmpsu_get_mapping(int32_t category, int32_t kind,
                                                       int32_t hw_class, const char* version) {
  if (version == nullptr) return nullptr;
  for (const taavrin_snmpsu_mapping* row = kMappingTable; row->category != SNMPSTATE_CAT_END;
       ++row) {
    // The row's version is terminated inside its field, so the compare never
    // reads more than the field's length of the caller's text.
    if (row->category == category && row->kind == kind && row->hw_class == hw_class &&
        strncmp(row->version, version, SNMPSTATE_VERSION_LEN) == 0) {
      return row->states;
    }
  }
  return nullptr;
}

int taavrin_snmpsu_get_snmp_state(int32_t state, const taavrin_snmpsu_state* list, int32_t* out) {
  return lookup(state, list, out, Match::kInternal, Give::kSnmp);
}

int taavrin_snmpsu_convert_sc_state_to_snmp_state(int32_t state, const taavrin_snmpsu_state* list,
                                                  int32_t* out) {
  return lookup(state, list, out, Match::kSyscommon, Give::kSnmp);
}

int taavrin_snmpsu_get_syscommon_state(int32_t state, const taavrin_snmpsu_state* list,
                                       int32_t* out) {
  return lookup(state, list, out, Match::kInternal, Give::kSyscommon);
}

int taavrin_snmpsu_type_subtype_based_pi_oper_state(int32_t subtype, int32_t state,
                                                    int32_t* result, int32_t* out) {
  constexpr int32_t kVoltageSubtype = 29;
  constexpr int32_t kVoltageState = 16;
  if (out == nullptr) return SNMPSTATE_EINVAL;
  if (subtype != kVoltageSubtype || state != kVoltageState) return 0;
  *out = 2;
  if (result != nullptr) *result = SNMPSTATE_OK;
  return 1;
}

}  // extern "C"
