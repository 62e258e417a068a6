// Temperature readings of fan management: the fan zones' sensor lists fed by
// inventory, the per-slot alarm counts with their shutdown timers, the
// temperature alarms of the drivers' readings with their poll rate, sensor
// faults, and fan speeds reported by the fan driver.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_drvif.h"
#include "envmon_hal.h"
#include "inv.h"
#include "envmon_invreg.h"
#include "envmon_obfl.h"
#include "envmon_pem.h"
#include "envmon_pwr_mgmt.h"

using namespace envhal::tavrin;

namespace {

constexpr uint32_t kMpaFirst = 512;
constexpr int32_t kNoReading = 255;
constexpr int32_t kWarmDeltaT = 3;     // a warm sensor stays warm this close to its minor high
constexpr uint32_t kHysteresis = 3;    // degrees back toward normal
constexpr int32_t kFastPoll = 1;       // seconds, while a temperature is above normal
constexpr int32_t kNormalPoll = 10;

// Sensor faults: the bits a driver reports and the fault per scope.
constexpr uint32_t kFaultNone = 0x1;
constexpr uint32_t kFaultI2c = 0x800000;
constexpr uint32_t kFaultTolerance = 0x4000000;
constexpr uint32_t kFaultDevice = 0x400000;
constexpr uint32_t kFaultMask = 0x4c00001;
struct FaultRow {
  uint32_t bit;
  uint32_t tag;
  const char* text;
};
constexpr uint32_t kFaultEnd = 0x7fffffff;
constexpr FaultRow kNodeFaults[] = {
    {kFaultI2c, 6, "I2C access error"},
    {kFaultTolerance, 5, "out of tolerance"},
    {kFaultDevice, 4, "device error"},
    {kFaultEnd, 0, nullptr},
};
constexpr FaultRow kRackFaults[] = {
    {kFaultI2c, 45, "I2C access error"},
    {kFaultTolerance, 44, "out of tolerance"},
    {kFaultDevice, 30, "device error"},
    {kFaultEnd, 0, nullptr},
};

constexpr const char kMultipleRaised[] = "multiple sensor faults";
constexpr const char kMultipleCleared[] = "multiple sensor faults cleared";

// Alarm severities of the threshold levels 1..7.
uint16_t severity_of(uint32_t level) {
  switch (level) {
    case 1: case 7: return 5;
    case 2: case 6: return 4;
    case 3: case 5: return 3;
    default: return 0;
  }
}

void eid_text(const pelm_eid* eid, char* text, size_t len) {
  text[0] = '\0';
  if (eid != nullptr) inv_util_dump_pelm_eid_to_string(eid, text, len);
}

uint32_t sensor_subtype(const pelm_eid* eid) {
  if (eid == nullptr || eid->tsi == nullptr || eid->tsi_count == 0) return 0;
  return inv_util_get_pelm_tsi_subtype(&eid->tsi[eid->tsi_count - 1]);
}

// The alarm record and shutdown leaf of a card slot or an MPA slot; false for
// any other slot.
bool stats_of(uint32_t slot, slot_temp_alarm_stats** stats, mtimer_leaf_t** leaf, bool* mpa, uint32_t* index) {
  if (slot < ENVMON_FAN_CARD_SLOTS) {
    *stats = &slot_alarm_stats()[slot];
    *leaf = timers().card_shut[slot];
    *mpa = false;
    *index = slot;
    return true;
  }
  if (slot >= kMpaFirst && slot - kMpaFirst < ENVMON_FAN_MPA_SLOTS) {
    *index = slot - kMpaFirst;
    *stats = &mpa_alarm_stats()[*index];
    *leaf = timers().mpa_shut[*index];
    *mpa = true;
    return true;
  }
  return false;
}

void count_down(uint8_t& n) {
  if (n > 0) --n;
}

void in_alarm_add(int32_t n) {
  chassis_fan_info->temp_sensors_in_alarm = std::max(0, chassis_fan_info->temp_sensors_in_alarm + n);
}

// Drops a warm level from the counts: its own count, its counter and the
// chassis count of sensors in alarm.
void drop_warm(slot_temp_alarm_stats& s, uint32_t level) {
  if (level == ENVMON_LEVEL_MINOR_HIGH) {
    count_down(s.num_minor);
    stat_add(kStatMinor, -1);
  } else {
    count_down(s.num_major);
    stat_add(kStatMajor, -1);
  }
  in_alarm_add(-1);
}

void drop_critical(slot_temp_alarm_stats& s, mtimer_leaf_t* leaf) {
  count_down(s.num_critical);
  stat_add(kStatCritical, -1);
  if (s.num_critical == 0) leaf_stop(leaf);
}

bool is_warm(uint32_t level) { return level == ENVMON_LEVEL_MINOR_HIGH || level == ENVMON_LEVEL_MAJOR_HIGH; }

// MPA sensor whose critical level started the MPA's shutdown.
struct MpaCritical {
  bool set = false;
  char name[ENVMON_FAN_SENSOR_NAME_LEN] = "";
};
MpaCritical& mpa_critical() {
  static MpaCritical m;
  return m;
}

envmon_err_t temp_alarm(envmon_sensor_info* sensor, int32_t scope, bool raise) {
  char text[160];
  std::snprintf(text, sizeof(text),
                raise ? "%s has raised a temperature alarm with value of %d"
                      : "%s has cleared a temperature alarm with value of %d",
                sensor->name, sensor->value);
  return report_fault(scope, {14, scope == static_cast<int32_t>(ENVMON_SCOPE_NODE) ? 1u : 27u, 0, raise ? 1 : 2,
                              static_cast<uint16_t>(sensor->alarm_severity), text, sensor->name, &sensor->eid});
}

// The count of sensors in fault of the sensor's group moves by `delta`; the
// group's "multiple sensor faults" fault follows the count across its limit.
void envmon_update_total_sensors_in_fault(envmon_sensor_info* sensor, int32_t scope, int32_t delta) {
  uint32_t* count = nullptr;
  pelm_eid* entity = nullptr;
  const char* name = nullptr;
  if (scope == static_cast<int32_t>(ENVMON_SCOPE_NODE)) {
    count = &envmon_nm->temp_sensors_in_fault;
    entity = &envmon_nm->card_ceid;
    name = "multiple sensors";
  } else {
    uint32_t tray = 0;
    if (sensor_subtype(&sensor->eid) != ENVMON_SENSOR_FAN_SPEED || !envmon_is_fantray_slot(sensor->eid.slot, &tray))
      return;
    count = &envmon_rm->fantray_cb[tray].speed_sensors_in_fault;
    entity = envmon_rm->fan_cont_pelm_eids != nullptr ? &envmon_rm->fan_cont_pelm_eids[tray] : nullptr;
    name = "multiple fan speed sensors";
  }
  const uint32_t limit = is_quelm() ? 1 : 2;
  const uint32_t before = *count;
  if (delta > 0) {
    ++*count;
  } else if (*count > 0) {
    --*count;
  }
  bool raise;
  if (before < limit && *count >= limit) {
    raise = true;
  } else if (before >= limit && *count < limit) {
    raise = false;
  } else {
    return;
  }
  const uint32_t tag = scope == static_cast<int32_t>(ENVMON_SCOPE_NODE) ? 4 : 30;
  const envmon_err_t rc =
      report_fault(scope, {14, tag, 0, raise ? 1 : 2, 4, raise ? kMultipleRaised : kMultipleCleared, name, entity});
  if (rc != ENVMON_OK) {
    tlg_internal(err_tlg_lib_hdl, "In %s: envmon_fm_fault_report returned error for %s alarm, rc = %ld.\n",
                 "envmon_update_total_sensors_in_fault", raise ? "raising" : "clearing", static_cast<long>(rc));
  }
}

}  // namespace

namespace envhal::tavrin {

void slot_stats_update(uint32_t slot, uint32_t level, uint32_t prev, const char* name) {
  slot_temp_alarm_stats* stats = nullptr;
  mtimer_leaf_t* leaf = nullptr;
  bool mpa = false;
  uint32_t index = 0;
  if (!stats_of(slot, &stats, &leaf, &mpa, &index)) return;
  slot_temp_alarm_stats& s = *stats;
  if (mpa) mpa_shut_context[index] = static_cast<int32_t>(index);
  switch (level) {
    case ENVMON_LEVEL_CRITICAL_HIGH:
      if (!leaf_running(leaf)) {
        leaf_start(leaf, kCardShutSecs);
        envhal::copy_text(s.name, sizeof(s.name), name);
      }
      if (prev != ENVMON_LEVEL_CRITICAL_HIGH) {
        ++s.num_critical;
        stat_add(kStatCritical, 1);
        if (is_warm(prev)) drop_warm(s, prev);
      }
      if (mpa) {
        mpa_critical().set = true;
        mpa_shut_slot = static_cast<int32_t>(index);
        envhal::copy_text(mpa_critical().name, sizeof(mpa_critical().name), name);
      }
      break;
    case ENVMON_LEVEL_MINOR_HIGH:
    case ENVMON_LEVEL_MAJOR_HIGH:
      if (prev == level) break;
      if (level == ENVMON_LEVEL_MINOR_HIGH) {
        ++s.num_minor;
        stat_add(kStatMinor, 1);
      } else {
        ++s.num_major;
        stat_add(kStatMajor, 1);
      }
      in_alarm_add(1);
      if (is_warm(prev)) drop_warm(s, prev);
      if (prev == ENVMON_LEVEL_CRITICAL_HIGH) drop_critical(s, leaf);
      break;
    case 1: case 2: case 3: case 4:
      if (mpa && level == ENVMON_LEVEL_NORMAL && mpa_critical().set && name != nullptr &&
          std::strcmp(mpa_critical().name, name) == 0) {
        mpa_critical() = MpaCritical{};
        if (!leaf_running(leaf)) leaf_start(leaf, kCardShutSecs);
      }
      if (is_warm(prev)) drop_warm(s, prev);
      if (prev == ENVMON_LEVEL_CRITICAL_HIGH) drop_critical(s, leaf);
      break;
    default:
      tlg_internal(fanm_tlg_lib_hdl, "unknown threshold %d\n", level);
      break;
  }
}

int32_t inv_temp_reading(const pelm_eid* notified, int32_t value, const envmon_threshold_msg* thresholds,
                         uint32_t slot, const char* name) {
  static constexpr char kFunc[] = "envmon_hal_fan_mgmt_inv_temp_notification";
  if (chassis_fan_info == nullptr || notified == nullptr || thresholds == nullptr) return 0;
  if (envmon_is_fantray_slot(slot, nullptr) || envmon_is_pem_slot(static_cast<int32_t>(slot), nullptr, nullptr))
    return 0;
  if (envmon_is_mpa_slot(slot, nullptr)) {
    tlg_internal(fanm_tlg_lib_hdl, "%s(): Recieved sensor data from MPA slot %d\n", kFunc, slot);
  } else if (slot >= envmon_hal_get_max_inv_slots()) {
    return 0;
  }
  const int32_t zone = envmon_fan_zone_of_slot(slot);
  if (zone > 5) {
    tlg_internal(fanm_tlg_lib_hdl, "Got invalid fan zone %d for slot %d \n", zone, slot);
    return 0;
  }
  // The notified entity as this card's lists keep it: in the notified slot.
  pelm_eid key = *notified;
  key.slot = slot;
  ZoneLists& lists = zone_lists();
  fan_algo_sensor* node = nullptr;
  fan_algo_sensor** tail = &lists.head[zone];
  for (fan_algo_sensor* n = lists.head[zone]; n != nullptr; n = n->next) {
    tail = &n->next;
    if (pelm_eid_compare_eid(&n->eid, &key) == 0) {
      node = n;
      break;
    }
  }
  if (node == nullptr) {
    node = static_cast<fan_algo_sensor*>(std::calloc(1, sizeof(fan_algo_sensor)));
    if (node == nullptr) {
      tlg_internal(err_tlg_lib_hdl, "calloc failed for adding sensor to fan zone %d sensor_list\n", zone);
      return 0;
    }
    if (inv_util_copy_pelm_eid_to_pelm_eid(&key, &node->eid) != INV_UTIL_OK) {
      std::free(node);
      return 0;
    }
    node->value = node->last_value = kNoReading;
    node->deltaT = node->last_deltaT = kNoReading;
    *tail = node;
    ++lists.count[zone];
  }
  node->last_value = node->value;
  node->value = value;
  node->slot = static_cast<int32_t>(slot);
  envhal::copy_text(node->name, sizeof(node->name), name != nullptr ? name : "");

  envmon_threshold_set set{};
  envmon_get_new_thresholds_from_threshold_data(thresholds, static_cast<uint32_t>(node->threshold), kHysteresis,
                                                &set);
  const uint32_t level = envmon_threshold_level_check(&set, value, ENVMON_SENSOR_TEMPERATURE);
  node->last_threshold = node->threshold;
  node->threshold = static_cast<int32_t>(level);
  node->last_deltaT = node->deltaT;
  node->deltaT = set.minor_high - value;
  node->last_state = node->state;

  bool evaluated = false;
  if (level == ENVMON_LEVEL_CRITICAL_HIGH) {
    node->state = ENVMON_FAN_SENSOR_CRITICAL;
  } else if (is_warm(level)) {
    node->state = ENVMON_FAN_SENSOR_WARM;
    if (is_quelm() && level == ENVMON_LEVEL_MAJOR_HIGH) sensor_major_crossed = 1;
  } else if (node->state != ENVMON_FAN_SENSOR_WARM && node->state != ENVMON_FAN_SENSOR_CRITICAL) {
    node->state = ENVMON_FAN_SENSOR_NORMAL;
    sensor_major_crossed = 0;
  } else if (node->deltaT <= kWarmDeltaT) {
    node->state = ENVMON_FAN_SENSOR_WARM;
  } else {
    node->state = ENVMON_FAN_SENSOR_NORMAL;
    sensor_major_crossed = 0;
    if (chassis_fan_info->envmon_fan_state == ENVMON_FAN_ALL_PRESENT) {
      evaluate_and_set_all();
      evaluated = true;
    }
  }
  if (level > ENVMON_LEVEL_NORMAL) {
    tlg_internal(fanm_tlg_lib_hdl,
                 "%s(): TEMP ALARM: zone = %d, slot = %d, name = %s, value = %d Thresholds (%d : %d : %d : %d : %d : "
                 "%d)\n",
                 kFunc, zone, slot, node->name, value, set.critical_low, set.major_low, set.minor_low, set.minor_high,
                 set.major_high, set.critical_high);
  }
  stat_add(kStatInvTemp, 1);
  slot_stats_update(slot, level, static_cast<uint32_t>(node->last_threshold), node->name);
  if (node->threshold != node->last_threshold && chassis_fan_info->envmon_fan_state == ENVMON_FAN_ALL_PRESENT &&
      node->state != ENVMON_FAN_SENSOR_NORMAL) {
    evaluate_and_set_all();
  } else if (!evaluated && std::strstr(node->name, "Inlet") != nullptr) {
    evaluate_and_set_all();
  }
  return 0;
}

}  // namespace envhal::tavrin

extern "C" {

int32_t envmon_hal_fan_mgmt_inv_temp_notification(const inv_sensor_value* value, const inv_threshold_data* thresholds,
                                                  uint32_t slot) {
  if (value == nullptr || thresholds == nullptr) return 0;
  const envmon_threshold_msg msg{thresholds->minor_low,  thresholds->minor_high,   thresholds->major_low,
                                 thresholds->major_high, thresholds->critical_low, thresholds->critical_high};
  return inv_temp_reading(&value->eid, value->value, &msg, slot, value->name);
}

void envmon_hal_sensor_state_update(uint32_t slot, uint32_t subtype, const pelm_eid* eid, uint32_t oper_state,
                                    const char* name) {
  static constexpr char kFunc[] = "envmon_hal_sensor_state_update";
  if (subtype != ENVMON_SENSOR_TEMPERATURE && subtype != ENVMON_SENSOR_CURRENT) return;
  if (slot >= ENVMON_FAN_CARD_SLOTS || envmon_is_fantray_slot(slot, nullptr) ||
      envmon_is_pem_slot(static_cast<int32_t>(slot), nullptr, nullptr) || oper_state == 1)
    return;
  if (subtype == ENVMON_SENSOR_CURRENT) {
    if (name != nullptr && (std::strstr(name, "Hot Swap") != nullptr || std::strstr(name, "Hot_Swap") != nullptr)) {
      tlg_internal(fanm_tlg_lib_hdl, "Resetting fru_current for slot %d\n", slot);
      envmon_set_fru_current(static_cast<int32_t>(slot), 0);
    }
    return;
  }
  const int32_t zone = envmon_fan_zone_of_slot(slot);
  if (zone > 5) {
    tlg_internal(fanm_tlg_lib_hdl, "%s: passed slot %d to INVALID Fan Zone\n", kFunc, slot);
    return;
  }
  if (eid == nullptr) {
    tlg_internal(fanm_tlg_lib_hdl, "passed Null pelm eid for sensor_state_update in slot %d\n", slot);
    return;
  }
  ZoneLists& lists = zone_lists();
  for (fan_algo_sensor** link = &lists.head[zone]; *link != nullptr; link = &(*link)->next) {
    fan_algo_sensor* node = *link;
    pelm_eid key = *eid;
    key.slot = slot;
    if (pelm_eid_compare_eid(&node->eid, &key) != 0) continue;
    tlg_internal(fanm_tlg_lib_hdl,
                 "%s(): Update Fan Algo due to sensor(%s) Oper State down: last_state=%d, last_threshold=%d\n", kFunc,
                 node->name, node->last_state, node->last_threshold);
    // The node's level decides the counts; it is read before the node goes.
    const int32_t level = node->threshold;
    *link = node->next;
    envmon_free_tsi(&node->eid);
    std::free(node);
    lists.count[zone] = std::max(0, lists.count[zone] - 1);
    slot_temp_alarm_stats& s = slot_alarm_stats()[slot];
    if (level == ENVMON_LEVEL_MINOR_HIGH || level == ENVMON_LEVEL_MAJOR_HIGH) {
      drop_warm(s, static_cast<uint32_t>(level));
    } else if (level == ENVMON_LEVEL_CRITICAL_HIGH) {
      drop_critical(s, timers().card_shut[slot]);
    }
    tlg_internal(fanm_tlg_lib_hdl,
                 "%s() Updated Alarm Stats on slot %d: minor=%d, major=%d, critical=%d,  chassis temp_sensors_in_alarm "
                 "%d\n",
                 kFunc, slot, s.num_minor, s.num_major, s.num_critical,
                 chassis_fan_info != nullptr ? chassis_fan_info->temp_sensors_in_alarm : 0);
    return;
  }
}

envmon_err_t envmon_hal_fan_mgmt_temp_value_change_event(const pelm_eid* eid, uint32_t value, int32_t scope,
                                                         uint64_t secs, uint32_t ev_word1, uint32_t ev_word2) {
  static constexpr char kFunc[] = "envmon_hal_fan_mgmt_temp_value_change_event";
  envmon_sensor_info* sensor = nullptr;
  if (envmon_util_get_sensor_info(eid, &sensor, static_cast<uint32_t>(scope)) != ENVMON_OK || sensor == nullptr) {
    char text[ENVMON_EID_STR_LEN];
    eid_text(eid, text, sizeof(text));
    tlg_internal(err_tlg_lib_hdl, "unable to find EID %s\n", text);
    return ENVMON_ERR_INVALID_ARG;
  }
  const int32_t v = static_cast<int32_t>(value);
  sensor->last_value = sensor->value;
  sensor->value = v;
  sensor->previous_update_rate = sensor->update_rate;
  sensor->pd_last_state = sensor->pd_state;
  sensor->timestamp = secs;
  sensor->ev_word[0] = ev_word1;
  sensor->ev_word[1] = ev_word2;
  envmon_obfl_set_state(sensor, ENVMON_OBFL_KIND_TEMP);
  if ((sensor->state & ENVMON_ST_REG_DONE) == 0) sensor->state |= ENVMON_ST_VALUE_WAITING;

  const uint32_t slot = eid->slot;
  if (scope == static_cast<int32_t>(ENVMON_SCOPE_RACK) && slot != ENVMON_SLOT_SELF &&
      (envmon_is_pem_slot(static_cast<int32_t>(slot), nullptr, nullptr) || envmon_is_fantray_slot(slot, nullptr))) {
    envmon_inv_invreg_temp_sensor_update(eid, sensor, static_cast<uint32_t>(scope), 0);
    return ENVMON_OK;
  }

  envmon_threshold_set set{};
  envmon_get_new_thresholds_from_alm_data(&sensor->threshold, sensor->pd_last_state, kHysteresis, &set);
  const uint32_t level = envmon_threshold_level_check(&set, v, ENVMON_SENSOR_TEMPERATURE);
  const uint32_t old_level = envmon_threshold_level_check(&set, sensor->last_value, ENVMON_SENSOR_TEMPERATURE);
  if (envmon_nm != nullptr && envmon_nm->temp_debug != 0) {
    char text[ENVMON_EID_STR_LEN];
    eid_text(eid, text, sizeof(text));
    tlg_internal(dbg_tlg_lib_hdl, "%s(): EID = %s, temp = %d, threshold = %d\n", kFunc, text, v, level);
  }
  sensor->pd_state = level;

  sensor->update_rate = level > ENVMON_LEVEL_NORMAL ? kFastPoll : kNormalPoll;
  if (sensor->update_rate != sensor->previous_update_rate) {
    envmon_drvif_poll_request(sensor, 1, ENVMON_POLL_START, sensor->driver_ownership);
  }

  bool raise = false;
  bool clear = false;
  if (sensor->alarm_init == 0) {
    sensor->alarm_init = 1;
    sensor->last_value = v;
    raise = level != ENVMON_LEVEL_NORMAL;
  } else if (level != ENVMON_LEVEL_NORMAL) {
    raise = level != old_level;
  } else {
    clear = old_level != ENVMON_LEVEL_NORMAL;
  }
  if (raise) sensor->alarm_severity = severity_of(level);
  envmon_inv_invreg_temp_sensor_update(eid, sensor, static_cast<uint32_t>(scope), raise || clear ? 1 : 0);
  if (!raise && !clear) return ENVMON_OK;
  const envmon_err_t rc = temp_alarm(sensor, scope, raise);
  if (clear) sensor->alarm_severity = 0;
  if (rc != ENVMON_OK) {
    tlg_internal(err_tlg_lib_hdl, "In %s: envmon_fm_fault_report returned error for %s alarm, rc = %ld.\n", kFunc,
                 raise ? "raising" : "clearing", static_cast<long>(rc));
  }
  return rc;
}

envmon_err_t envmon_hal_fan_mgmt_sensor_fault_event(const pelm_eid* eid, uint32_t fault, int32_t scope) {
  static constexpr char kFunc[] = "envmon_hal_fan_mgmt_sensor_fault_event";
  envmon_sensor_info* sensor = nullptr;
  char text[ENVMON_EID_STR_LEN];
  eid_text(eid, text, sizeof(text));
  if (envmon_util_get_sensor_info(eid, &sensor, static_cast<uint32_t>(scope)) != ENVMON_OK || sensor == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "unable to find EID %s\n", text);
    return ENVMON_ERR_INVALID_ARG;
  }
  uint32_t value = fault;
  if ((value & ~kFaultMask) != 0) {
    tlg_internal(err_tlg_lib_hdl, "%s: Invalid fault value(0x%x) is forced to value(0x%x)!\n", kFunc, value,
                 value & kFaultMask);
    value &= kFaultMask;
  }
  if (value == 0) {
    tlg_internal(err_tlg_lib_hdl, "%s: Unknown fault value(0x%x)!\n", kFunc, value);
    return ENVMON_OK;
  }
  if ((value & kFaultNone) != 0 && value != kFaultNone) {
    tlg_internal(err_tlg_lib_hdl, "%s: fault value(0x%x) forced to NONE(0x%x)!\n", kFunc, value, kFaultNone);
    value = kFaultNone;
  }
  const uint32_t stored = sensor->fault_event;
  if (value == stored) {
    tlg_internal(fanm_tlg_lib_hdl, "%s: No fault value(0x%x) change!\n", kFunc, value);
    return ENVMON_OK;
  }

  const FaultRow* table = scope == static_cast<int32_t>(ENVMON_SCOPE_NODE) ? kNodeFaults : kRackFaults;
  uint32_t tray = 0;
  const bool fantray = envmon_is_fantray_slot(eid->slot, &tray);
  bool any_raised = false;
  bool any_cleared = false;
  bool i2c_raised = false;
  envmon_err_t rc = ENVMON_OK;
  for (const FaultRow* row = table; row->bit != kFaultEnd; ++row) {
    const bool now = (value & row->bit) != 0;
    if (now == ((stored & row->bit) != 0)) continue;
    char description[160];
    std::snprintf(description, sizeof(description), now ? "%s has raised an alarm for %s" : "%s has cleared an alarm for %s",
                  sensor->name, row->text);
    rc = report_fault(scope, {14, row->tag, 0, now ? 1 : 2, 3, description, sensor->name, &sensor->eid});
    if (now) {
      any_raised = true;
    } else {
      any_cleared = true;
    }
    if (row->bit == kFaultI2c && now) i2c_raised = true;
    if (row->bit == kFaultTolerance && fantray && chassis_fan_info != nullptr) {
      if (now || sensor->trap_flag != 0) {
        envmon_inv_invreg_rm_fan_speed_sensor_update(sensor, eid, sensor->value, sensor->timestamp, 1,
                                                     sensor->max_speed, sensor->min_speed);
        sensor->trap_flag = 1;
      }
      int32_t& oot = chassis_fan_info->num_fans_out_of_tolerance;
      oot = now ? oot + 1 : std::max(0, oot - 1);
      evaluate_and_set_all();
      if (oot < 2 && chassis_fan_info->envmon_fan_state == ENVMON_FAN_ALL_PRESENT &&
          !leaf_running(timers().period)) {
        leaf_start(timers().period, kPeriodSecs);
      }
    }
  }
  int32_t change = 0;
  if (any_raised && (stored == 0 || stored == kFaultNone) && sensor->in_fault == 0) {
    sensor->in_fault = 1;
    change = 1;
  } else if (any_cleared && value == kFaultNone && sensor->in_fault != 0) {
    sensor->in_fault = 0;
    change = -1;
  }
  tlg_internal(fanm_tlg_lib_hdl, "%s: EID=%s, fault_change (0x%x:0x%x), in_fault=%d, fm_state=%d, rc=0x%x\n", kFunc,
               text, stored, value, sensor->in_fault, change, static_cast<uint32_t>(rc));
  sensor->fault_event = value;
  if (i2c_raised) envmon_clear_temp_alarm(eid, sensor, scope);
  if (change != 0) envmon_update_total_sensors_in_fault(sensor, scope, change);
  return ENVMON_OK;
}

void envmon_hal_fan_mgmt_fan_speed_value_change_event(uint32_t slot, uint32_t fan, int32_t rpm, uint64_t timestamp,
                                                      const pelm_eid* eid) {
  uint32_t tray = 0;
  if (fan >= envmon_hal_get_fans_per_tray() || chassis_fan_info == nullptr || chassis_fan_info->trays == nullptr ||
      !envmon_is_fantray_slot(slot, &tray) || tray >= max_fantray())
    return;
  envmon_sensor_info* sensor = nullptr;
  if (envmon_util_get_sensor_info(eid, &sensor, ENVMON_SCOPE_RACK) != ENVMON_OK || sensor == nullptr) {
    char text[ENVMON_EID_STR_LEN];
    eid_text(eid, text, sizeof(text));
    tlg_internal(err_tlg_lib_hdl, "unable to find sensor for EID %s\n", text);
    return;
  }
  chassis_fan_info->trays[tray].fans[fan].hw_speed = rpm;
  envmon_inv_invreg_rm_fan_speed_sensor_update(sensor, eid, rpm, timestamp, 0, sensor->max_speed, sensor->min_speed);
}

}  // extern "C"
