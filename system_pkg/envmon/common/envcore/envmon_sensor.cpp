// Sensor records: building a sensor list from an entity's inventory XML
// description, finding a sensor by its entity id, grading a value against its
// thresholds, and the thresholds in force after a crossing.
#include <stdlib.h>
#include <string.h>

extern "C" {
#include <safe_str_lib.h>
}

#include "envcore_private.h"
#include "envmon_hal.h"

namespace {

constexpr uint32_t kCategory = 6;
constexpr uint32_t kMaxLevels = 16;
constexpr int32_t kNeverLogged = 0xffffff;
constexpr int32_t kDefaultRate = 10;

constexpr char kNoSensorList[] = "failed to get sensor list - subtype %d\n";
constexpr char kNoSensor[] = "no sensor with type/subtype %d/%d for slot %d\n";
constexpr char kMallocFailed[] = "failed to malloc: size=%d\n";
constexpr char kEidCount[] = "%s # of EID (type = %d, sub_type = %d) is %d sensor ptr %p\n";
constexpr char kNoEidData[] = "failed to get EID data: \n";
constexpr char kEidLevel[] = "tsi[%d] typ = %d, subtype = %d, inst = %d\n";
constexpr char kConvertFailed[] = "failed to convert EID: rc=%d\n";
constexpr char kObflDisabled[] = "%s: OBFL log is disabled on sensor = %s\n";
constexpr char kSensorLine[] = "sensor name = %s, EID: %s, scale: %d, precision %d\n";
constexpr char kInvalidTsi[] = "%s: Invalid TSI value=%d\n";
constexpr char kInvalidType[] = "%s: Invalid sensor type=%d\n";
constexpr char kInvalidFt[] = "%s: Invalid FT sensor subtype=%d\n";
constexpr char kInvalidFc[] = "%s: Invalid FC sensor subtype=%d\n";
constexpr char kInvalidSw[] = "%s: Invalid SW sensor subtype=%d\n";
constexpr char kInvalidLc[] = "%s: Invalid LC sensor subtype=%d\n";
constexpr char kInvalidNode[] = "%s: Invalid NODE sensor subtype=%d\n";
constexpr char kInvalidRack[] = "%s: Invalid RACK sensor subtype=%d\n";
constexpr char kNotFound[] = " Did not find matching pelm eid in %s()\n\n";
constexpr char kNullThresholdData[] = "%s: Passed NULL threshold_data\n";
constexpr char kNullNormal[] = "%s: Passed NULL normal_threshold\n";
constexpr char kNullNew[] = "%s: Passed NULL new_threshold\n";

void free_list(envmon_sensor_info** list, uint16_t* count) {
  if (*list) {
    for (uint16_t i = 0; i < *count; ++i) envmon_free_tsi(&(*list)[i].eid);
    free(*list);
  }
  *list = nullptr;
  *count = 0;
}

// The voltage delta: 0.5 % of the critical-low threshold, 5 when that is 0.
// Computed in 64 bits, and 5 for a threshold that is not positive, so that a
// bad threshold cannot wrap into a delta that silences the sensor.
int32_t voltage_delta(int32_t critical_low) {
  if (critical_low <= 0) return 5;
  const int64_t d = static_cast<int64_t>(critical_low) * 5 / 1000;
  return d == 0 ? 5 : static_cast<int32_t>(d);
}

int32_t initial_delta(uint32_t type, uint32_t subtype, int32_t critical_low) {
  if (type != ENVMON_ENTITY_TYPE_SENSOR) return 1;
  switch (subtype) {
    case ENVMON_SENSOR_CURRENT:
      return 5;
    case ENVMON_SENSOR_VOLTAGE:
      return voltage_delta(critical_low);
    default:
      return 1;
  }
}

// The list a sensor of `subtype` of a card record lives in (temperature,
// voltage, current), or null.
template <typename Card>
envmon_sensor_list* card_list(Card* card, uint32_t subtype) {
  switch (subtype) {
    case ENVMON_SENSOR_TEMPERATURE:
      return &card->temp_data;
    case ENVMON_SENSOR_VOLTAGE:
      return &card->voltage_data;
    case ENVMON_SENSOR_CURRENT:
      return &card->current_data;
    default:
      return nullptr;
  }
}

envmon_sensor_list* fantray_list(fantray_cb* ft, uint32_t subtype) {
  switch (subtype) {
    case ENVMON_SENSOR_TEMPERATURE:
      return &ft->temp_data;
    case ENVMON_SENSOR_VOLTAGE:
      return &ft->voltage_data;
    case ENVMON_SENSOR_CURRENT:
      return &ft->current_data;
    case ENVMON_SENSOR_FAN_SPEED:
      return &ft->fan_data;
    case ENVMON_SENSOR_LED:
      return &ft->subtype13_data;
    case ENVMON_SENSOR_POWER:
      return &ft->power_data;
    default:
      return nullptr;
  }
}

envmon_err_t refuse(const char* text, uint32_t subtype) {
  tlg_internal(err_tlg_cmn_hdl, text, "envmon_util_get_sensor_info", static_cast<int>(subtype));
  return ENVMON_ERR_INVALID_ARG;
}

void raise_low(int32_t* t, uint32_t delta) {
  *t = static_cast<int32_t>(static_cast<uint32_t>(*t) + delta);
}

// minor_high - delta when minor_high >= delta (unsigned comparison), else unchanged.
void lower_high(int32_t* t, uint32_t delta) {
  if (static_cast<uint32_t>(*t) >= delta) *t = static_cast<int32_t>(static_cast<uint32_t>(*t) - delta);
}

void apply_hysteresis(envmon_threshold_set* out, uint32_t level, uint32_t delta) {
  switch (level) {
    case ENVMON_LEVEL_MINOR_LOW:
      raise_low(&out->minor_low, delta);
      break;
    case ENVMON_LEVEL_MAJOR_LOW:
      raise_low(&out->major_low, delta);
      break;
    case ENVMON_LEVEL_CRITICAL_LOW:
      raise_low(&out->critical_low, delta);
      break;
    case ENVMON_LEVEL_MINOR_HIGH:
      lower_high(&out->minor_high, delta);
      break;
    case ENVMON_LEVEL_MAJOR_HIGH:
      lower_high(&out->major_high, delta);
      break;
    default:
      break;  // critical high is always copied unchanged
  }
}

}  // namespace

extern "C" {

envmon_err_t envmon_util_xml_parse_n_store_info(uint32_t slot, inv_xml_handle_t xml,
                                                uint32_t type, uint32_t subtype,
                                                uint16_t* count, envmon_sensor_info** list) {
  static constexpr char kFunc[] = "envmon_util_xml_parse_n_store_info";
  if (!count || !list) return ENVMON_ERR_INVALID_ARG;
  free_list(list, count);

  uint16_t n = 0;
  inv_eid* eids = nullptr;
  if (inv_parser_get_eid_by_type_subtype(xml, kCategory, static_cast<uint8_t>(type),
                                         static_cast<uint8_t>(subtype), &n, &eids) != 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoSensorList, static_cast<int>(subtype));
    envmon_exit_at(kFunc, __LINE__, -1);
  }
  if (n == 0) {
    free(eids);
    tlg_internal(info_tlg_cmn_hdl, kNoSensor, static_cast<int>(type), static_cast<int>(subtype),
                 static_cast<int>(slot));
    return ENVMON_OK;
  }
  const size_t bytes = static_cast<size_t>(n) * sizeof(envmon_sensor_info);
  auto* array = static_cast<envmon_sensor_info*>(envmon_calloc(n, sizeof(envmon_sensor_info)));
  if (!array) {
    free(eids);
    tlg_internal(err_tlg_cmn_hdl, kMallocFailed, static_cast<int>(bytes));
    envmon_exit_at(kFunc, __LINE__, -1);
  }
  tlg_internal(info_tlg_cmn_hdl, kEidCount, kFunc, static_cast<int>(type),
               static_cast<int>(subtype), static_cast<int>(n), static_cast<void*>(array));

  uint16_t filled = 0;
  for (uint16_t i = 0; i < n; ++i) {
    inv_eid& id = eids[i];
    id.rack = static_cast<uint16_t>(ENVMON_RACK_UNKNOWN);
    id.slot = static_cast<uint16_t>(slot);
    inv_parser_eid_data data;
    memset(&data, 0, sizeof(data));
    if (inv_parser_get_eid_data(xml, &id, &data) != 0) {
      tlg_internal(err_tlg_cmn_hdl, kNoEidData);
      const uint32_t levels = id.level_count > kMaxLevels ? kMaxLevels : id.level_count;
      for (uint32_t l = 0; l < levels; ++l)
        tlg_internal(err_tlg_cmn_hdl, kEidLevel, static_cast<int>(l), id.levels[l].type,
                     id.levels[l].subtype, id.levels[l].instance);
      continue;
    }
    if (envmon_hal_filter_sensor_eid_by_name(subtype, data.name) == 1) continue;

    envmon_sensor_info* s = &array[filled++];
    const int rc = inv_util_convert_eid_to_pelm_eid(&id, &s->eid);
    if (rc != INV_UTIL_OK) tlg_internal(err_tlg_cmn_hdl, kConvertFailed, rc);
    strncpy_s(s->name, sizeof(s->name), data.name,
              strnlen_s(data.name, ENVMON_SENSOR_NAME_MAX));
    s->driver_ownership = data.driver;
    s->update_rate = kDefaultRate;
    s->previous_update_rate = kDefaultRate;
    s->state = ENVMON_ST_FROM_XML;
    s->xml_attr = data.attr >> 24;
    if (subtype != ENVMON_SENSOR_LED) {
      s->scale = data.scale;
      s->precision = data.precision;
      s->threshold.critical_low = data.thresholds[0];
      s->threshold.critical_high = data.thresholds[1];
      s->threshold.major_low = data.thresholds[2];
      s->threshold.major_high = data.thresholds[3];
      s->threshold.minor_low = data.thresholds[4];
      s->threshold.minor_high = data.thresholds[5];
    }
    s->obfl_last_value = kNeverLogged;
    s->obfl_log_disabled = data.obfl_disabled ? 1 : 0;
    if (s->obfl_log_disabled) envmon_debug_log(kObflDisabled, kFunc, s->name);
    s->delta = initial_delta(type, subtype, s->threshold.critical_low);
    envmon_hal_customize_sensor_info(s, static_cast<int32_t>(slot), type, subtype);
  }
  if (filled == 0) {
    free(array);
    array = nullptr;
  }
  *list = array;
  *count = filled;
  envmon_sensor_print(xml, filled, array);
  free(eids);
  return ENVMON_OK;
}

int envmon_sensor_print(inv_xml_handle_t /*xml*/, uint16_t count, const envmon_sensor_info* array) {
  if (!array) return 0;
  for (uint16_t i = 0; i < count; ++i) {
    char eid[ENVMON_EID_STR_LEN];
    envmon_dump_pelm_eid_to_string(&array[i].eid, eid);
    tlg_internal(info_tlg_cmn_hdl, kSensorLine, array[i].name, eid,
                 static_cast<int>(array[i].scale), static_cast<int>(array[i].precision));
  }
  return 0;
}

envmon_err_t envmon_util_find_sensor_info(const pelm_eid* eid, uint16_t count,
                                          envmon_sensor_info* array, envmon_sensor_info** out) {
  if (eid && array && out) {
    for (uint16_t i = 0; i < count; ++i) {
      if (pelm_eid_compare_eid(&array[i].eid, eid) == 0) {
        *out = &array[i];
        return ENVMON_OK;
      }
    }
  }
  tlg_internal(err_tlg_cmn_hdl, kNotFound, "envmon_util_find_sensor_info");
  return ENVMON_ERR_INVALID_ARG;
}

envmon_err_t envmon_util_get_sensor_info(const pelm_eid* eid, envmon_sensor_info** out,
                                         uint32_t scope) {
  static constexpr char kFunc[] = "envmon_util_get_sensor_info";
  if (!eid || !out) return ENVMON_ERR_INVALID_ARG;
  if (eid->tsi_count < 1 || eid->tsi_count > kMaxLevels || !eid->tsi) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidTsi, kFunc, static_cast<int>(eid->tsi_count));
    return ENVMON_ERR_INVALID_ARG;
  }
  const pelm_tsi& last = eid->tsi[eid->tsi_count - 1];
  if (last.type != ENVMON_ENTITY_TYPE_SENSOR) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidType, kFunc, static_cast<int>(last.type));
    return ENVMON_ERR_INVALID_ARG;
  }
  const uint32_t subtype = last.subtype;
  const uint32_t slot = eid->slot;
  envmon_rm_t* rm = envmon_rm;
  envmon_nm_t* nm = envmon_nm;
  envmon_sensor_info* array = nullptr;
  uint16_t count = 0;
  envmon_sensor_list* list = nullptr;
  uint32_t idx = 0;

  if (scope == ENVMON_SCOPE_RACK && envmon_is_fantray_slot(slot, &idx)) {
    if (!(list = fantray_list(&rm->fantray_cb[idx], subtype))) return refuse(kInvalidFt, subtype);
  } else if (scope == ENVMON_SCOPE_RACK && envmon_is_fc_slot(slot, &idx)) {
    if (!(list = card_list(&rm->fc_cb[idx], subtype))) return refuse(kInvalidFc, subtype);
  } else if (scope == ENVMON_SCOPE_RACK && envmon_is_sw_slot(slot, &idx)) {
    if (!(list = card_list(&rm->sw_cb[idx], subtype))) return refuse(kInvalidSw, subtype);
  } else if (envmon_is_lc_slot(slot, &idx)) {
    if (!(list = card_list(&rm->lc_cb[idx], subtype))) return refuse(kInvalidLc, subtype);
  } else if (slot == ENVMON_SLOT_SELF && scope == ENVMON_SCOPE_NODE) {
    if (!nm) return ENVMON_ERR_INVALID_ARG;
    if (subtype == ENVMON_SENSOR_POWER)
      list = &nm->power_data;
    else if (!(list = card_list(nm, subtype)))
      return refuse(kInvalidNode, subtype);
  } else if (slot == ENVMON_SLOT_SELF && scope == ENVMON_SCOPE_RACK) {
    if (subtype == ENVMON_SENSOR_POWER && nm)
      list = &nm->power_data;
    else if (subtype == ENVMON_SENSOR_TEMPERATURE && rm)
      list = &rm->temp_data;
    else
      return refuse(kInvalidRack, subtype);
  } else if (envmon_is_mpa_slot(slot, &idx)) {
    if (!(list = card_list(&nm->mpa[idx], subtype))) return ENVMON_ERR_INVALID_ARG;
  } else {
    if (envmon_hal_get_sensor_list(static_cast<int32_t>(slot), subtype, &array, &count) != 0)
      return ENVMON_ERR_INVALID_ARG;
  }
  if (list) {
    array = list->sensors;
    count = list->count;
  }
  return envmon_util_find_sensor_info(eid, count, array, out);
}

uint32_t envmon_threshold_level_check(const envmon_threshold_set* t, int32_t v, uint32_t subtype) {
  if (!t) return ENVMON_LEVEL_NORMAL;
  if (subtype != ENVMON_SENSOR_VOLTAGE) {
    if (t->minor_low >= v && v > t->major_low) return ENVMON_LEVEL_MINOR_LOW;
    if (t->major_low >= v && v > t->critical_low) return ENVMON_LEVEL_MAJOR_LOW;
    if (v <= t->critical_low) return ENVMON_LEVEL_CRITICAL_LOW;
    if (t->minor_high <= v && v < t->major_high) return ENVMON_LEVEL_MINOR_HIGH;
    if (t->major_high <= v && v < t->critical_high) return ENVMON_LEVEL_MAJOR_HIGH;
    if (v >= t->critical_high) return ENVMON_LEVEL_CRITICAL_HIGH;
    return ENVMON_LEVEL_NORMAL;
  }
  // Voltage: unsigned comparisons and no major levels.
  const uint32_t u = static_cast<uint32_t>(v);
  const uint32_t min_lo = static_cast<uint32_t>(t->minor_low);
  const uint32_t crit_lo = static_cast<uint32_t>(t->critical_low);
  const uint32_t min_hi = static_cast<uint32_t>(t->minor_high);
  const uint32_t crit_hi = static_cast<uint32_t>(t->critical_high);
  if (min_lo >= u && u > crit_lo) return ENVMON_LEVEL_MINOR_LOW;
  if (u <= crit_lo) return ENVMON_LEVEL_CRITICAL_LOW;
  if (min_hi <= u && u < crit_hi) return ENVMON_LEVEL_MINOR_HIGH;
  if (u >= crit_hi) return ENVMON_LEVEL_CRITICAL_HIGH;
  return ENVMON_LEVEL_NORMAL;
}

void envmon_get_new_thresholds_from_threshold_data(const envmon_threshold_msg* msg,
                                                   uint32_t level, uint32_t delta,
                                                   envmon_threshold_set* out) {
  static constexpr char kFunc[] = "envmon_get_new_thresholds_from_threshold_data";
  if (!msg) {
    tlg_internal(err_tlg_cmn_hdl, kNullThresholdData, kFunc);
    return;
  }
  if (!out) {
    tlg_internal(err_tlg_cmn_hdl, kNullNew, kFunc);
    return;
  }
  envmon_threshold_set t;
  t.critical_low = msg->critical_low;
  t.critical_high = msg->critical_high;
  t.major_low = msg->major_low;
  t.major_high = msg->major_high;
  t.minor_low = msg->minor_low;
  t.minor_high = msg->minor_high;
  apply_hysteresis(&t, level, delta);
  *out = t;
}

void envmon_get_new_thresholds_from_alm_data(const envmon_threshold_set* set, uint32_t level,
                                             uint32_t delta, envmon_threshold_set* out) {
  static constexpr char kFunc[] = "envmon_get_new_thresholds_from_alm_data";
  if (!set) {
    tlg_internal(err_tlg_cmn_hdl, kNullNormal, kFunc);
    return;
  }
  if (!out) {
    tlg_internal(err_tlg_cmn_hdl, kNullNew, kFunc);
    return;
  }
  envmon_threshold_set t = *set;
  apply_hysteresis(&t, level, delta);
  *out = t;
}

}  // extern "C"
