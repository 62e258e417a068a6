// Small lookups: card names, the chassis-type mapping, hardware-event
// contexts, time conversions and the board power from hot-swap sensors.
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string_view>

#include "envcore_private.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"

namespace {

constexpr char kUnknownPid[] = "UNKNOWN_PID";
constexpr char kChassisEntered[] = "Entered: pi rack type =  %d\n";
constexpr char kChassisUnknown[] = "Error : Unknown Chassis Type\n";
constexpr char kNoHwCtx[] = "%s:  no memory allocated for hw_ctx\n";
constexpr char kHwOperational[] = "HW Operational";
constexpr char kHwNotOperational[] = "HW Not Operational";
constexpr char kRackScopeSlot[] = "%s: RACK scope slot %d is not supported\n";
constexpr char kScopeUnsupported[] = "%s: scope %d is not supported\n";

constexpr uint32_t kHwEventDownBits = 0x68;
constexpr uint32_t kStatusDownBit = 0x40;

bool contains(std::string_view s, std::string_view part) { return s.find(part) != s.npos; }

// A hot-swap group's reading in the units of the power formula; false when the
// sensor is not readable.
bool read_hs(const envmon_sensor_info& s, int32_t* out) {
  if (s.hw_event != ENVMON_HW_EVENT_OPERATIONAL) return false;
  int64_t v = s.value;
  if (s.scale == ENVMON_SCALE_UNITS) v *= 1000;
  if (s.precision == 3) v /= 1000;
  *out = static_cast<int32_t>(v);
  return true;
}

}  // namespace

extern "C" {

int get_mpa_nodeid_location(uint32_t slot, char* location, uint32_t location_len) {
  return hal_get_mpa_nodeid_location(slot, location, location_len);
}

const char* envmon_get_card_name(uint32_t card_type) {
  const char* name = envmon_hal_get_card_name(card_type);
  return name ? name : kUnknownPid;
}

void envmon_get_chassis_type(uint8_t pi_rack_type, uint32_t* pi_type, uint32_t* chassis_class) {
  tlg_internal(info_tlg_cmn_hdl, kChassisEntered, static_cast<int>(pi_rack_type));
  uint32_t type = 1;
  uint32_t cls = 1;
  switch (pi_rack_type) {
    case 0:
      break;
    case 1:
      type = 2;
      cls = 2;
      break;
    case 2:
      type = 20;
      cls = 3;
      break;
    case 4:
      type = 22;
      cls = 4;
      break;
    default:
      tlg_internal(err_tlg_cmn_hdl, kChassisUnknown);
      break;
  }
  if (pi_type) *pi_type = type;
  if (chassis_class) *chassis_class = cls;
}

bool envmon_is_extended_mode_supported(void) {
  const char* name = envmon_hal_get_platform_name();
  if (!name) return false;
  std::string_view n(name);
  static constexpr std::string_view kObv8k = "obv8k";
  for (size_t i = 0; i + kObv8k.size() <= n.size(); ++i) {
    size_t j = 0;
    while (j < kObv8k.size() && tolower(static_cast<unsigned char>(n[i + j])) == kObv8k[j]) ++j;
    if (j == kObv8k.size()) return true;
  }
  return false;
}

void envmon_set_hw_event_ctx(envmon_hw_ctx* ctx, uint32_t hw_event, uint32_t status) {
  if (!ctx) {
    tlg_internal(err_tlg_cmn_hdl, kNoHwCtx, "envmon_set_hw_event_ctx");
    return;
  }
  const bool down = (status & kStatusDownBit) || (hw_event & kHwEventDownBits);
  ctx->state = down ? 4 : 1;
  ctx->oper_state = down ? 2 : 1;
  ctx->reason = down ? kHwNotOperational : kHwOperational;
  ctx->present = ENVMON_HW_CTX_HAS_STATE | ENVMON_HW_CTX_HAS_OPER_STATE | ENVMON_HW_CTX_HAS_REASON;
}

void envmon_report_drvif_hw_event_to_inv(uint32_t hw_event, uint32_t slot) {
  uint32_t state;
  if (hw_event & kHwEventDownBits)
    state = ENVMON_INV_HW_DOWN;
  else if (hw_event & ENVMON_HW_EVENT_OPERATIONAL)
    state = ENVMON_INV_HW_UP;
  else
    return;
  pelm_eid fru;
  envmon_setup_fru_eid(slot, &fru);
  envmon_inv_invreg_report_hw_event(&fru, ENVMON_SCOPE_RACK, state);
}

time_t duration_to_secs(const envmon_date* date) {
  if (!date) return 0;
  struct tm tm;
  memset(&tm, 0, sizeof(tm));
  tm.tm_year = date->year - 1900;
  tm.tm_mon = date->month - 1;
  tm.tm_mday = date->day;
  tm.tm_hour = 23;
  tm.tm_min = 59;
  tm.tm_sec = 59;
  tm.tm_isdst = 0;
  return mktime(&tm);
}

void envmon_get_timestamp_str(time_t t, char* buf, size_t size) {
  if (!buf || size == 0) return;
  char text[32];
  if (!ctime_r(&t, text)) {
    buf[0] = '\0';
    return;
  }
  snprintf(buf, size, "%s", text);
}

void envmon_get_nm_board_pwr_idx(envmon_board_pwr_idx* idx) {
  envmon_nm_t* nm = envmon_nm;
  if (!idx || !nm || nm->voltage_data.count == 0 || nm->current_data.count == 0 ||
      !nm->voltage_data.sensors || !nm->current_data.sensors)
    return;
  const envmon_sensor_list* lists[2] = {&nm->voltage_data, &nm->current_data};
  for (int pos = 0; pos < 2; ++pos) {
    for (uint16_t j = 0; j < lists[pos]->count; ++j) {
      std::string_view name(lists[pos]->sensors[j].name,
                            strnlen(lists[pos]->sensors[j].name, ENVMON_SENSOR_NAME_LEN));
      const bool hot_swap = contains(name, "Hot_Swap");
      if (!hot_swap && !contains(name, "HS")) continue;
      if ((hot_swap && contains(name, "3")) || contains(name, "HS_3")) {
        idx->hs3_idx[pos] = j;
        idx->has_hs3 = 1;
      } else if ((hot_swap && contains(name, "2")) || contains(name, "HS_2")) {
        idx->hs2_idx[pos] = j;
        idx->has_hs2 = 1;
      } else {
        idx->hs1_idx[pos] = j;
      }
    }
  }
  idx->valid = 1;
}

void envmon_calculate_board_power_value(const envmon_board_pwr_idx* idx, uint16_t power_index,
                                        uint8_t* state_changed, uint8_t* value_changed,
                                        uint32_t scope, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_calculate_board_power_value";
  if (!idx || !state_changed || !value_changed) return;
  *state_changed = 0;
  *value_changed = 0;
  if (!idx->valid) return;

  const envmon_sensor_list* power = nullptr;
  const envmon_sensor_list* volt = nullptr;
  const envmon_sensor_list* curr = nullptr;
  if (scope == ENVMON_SCOPE_NODE) {
    if (!envmon_nm) return;
    power = &envmon_nm->power_data;
    volt = &envmon_nm->voltage_data;
    curr = &envmon_nm->current_data;
  } else if (scope == ENVMON_SCOPE_RACK) {
    uint32_t tray = 0;
    if (!envmon_is_fantray_slot(slot, &tray)) {
      tlg_internal(err_tlg_cmn_hdl, kRackScopeSlot, kFunc, static_cast<int>(slot));
      return;
    }
    const fantray_cb& ft = envmon_rm->fantray_cb[tray];
    power = &ft.power_data;
    volt = &ft.voltage_data;
    curr = &ft.current_data;
  } else {
    tlg_internal(err_tlg_cmn_hdl, kScopeUnsupported, kFunc, static_cast<int>(scope));
    return;
  }
  if (power_index >= power->count || !power->sensors) return;
  envmon_sensor_info& target = power->sensors[power_index];

  struct Group {
    const uint16_t* idx;
    bool present;
  };
  const Group groups[3] = {{idx->hs1_idx, true}, {idx->hs2_idx, idx->has_hs2 != 0},
                           {idx->hs3_idx, idx->has_hs3 != 0}};
  int32_t p[3] = {0, 0, 0};
  bool valid = true;
  for (int g = 0; g < 3 && valid; ++g) {
    if (!groups[g].present) continue;
    // An index past its list (a list rebuilt since the indexes were taken) is no reading.
    if (groups[g].idx[0] >= volt->count || groups[g].idx[1] >= curr->count || !volt->sensors ||
        !curr->sensors) {
      valid = false;
      break;
    }
    int32_t v = 0;
    int32_t i = 0;
    if (!read_hs(volt->sensors[groups[g].idx[0]], &v) ||
        !read_hs(curr->sensors[groups[g].idx[1]], &i)) {
      valid = false;
      break;
    }
    p[g] = static_cast<int32_t>(static_cast<int64_t>(v / 100) * i / 1000);
  }
  if (!valid) {
    if (target.hw_event == ENVMON_HW_EVENT_OPERATIONAL) {
      target.hw_event = ENVMON_HW_EVENT_NOT_READABLE;
      *state_changed = 1;
    }
    return;
  }
  if (target.hw_event != ENVMON_HW_EVENT_OPERATIONAL) {
    target.hw_event = ENVMON_HW_EVENT_OPERATIONAL;
    *state_changed = 1;
  }
  int64_t sum = p[0];
  if (idx->has_hs2) sum += p[1];
  sum += 5;
  if (idx->has_hs3) sum += p[2];
  sum += 5;
  const int32_t result = static_cast<int32_t>(sum / 10);
  target.timestamp = volt->sensors[idx->hs1_idx[0]].timestamp;
  if (result != target.value) {
    target.value = result;
    *value_changed = 1;
  }
}

}  // extern "C"
