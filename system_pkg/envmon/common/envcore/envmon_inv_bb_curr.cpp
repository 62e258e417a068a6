// Backplane current of the fixed-board cards: the board's own hot-swap
// current is what the power supplies deliver minus what the other FRUs draw,
// kept from inventory's current notifications and pushed as the value of the
// board's "Hot Swap Fixed" sensor.
#include <string.h>

#include <algorithm>

#include "envmon_inv_private.h"

namespace {

constexpr char kRcvd[] = "RCVD notification for BP slot %d sensor %s val %d oper_raw_state %d\n";
constexpr char kPsuNotOutput[] = "got PSU slot %d but not %s op current\n";
constexpr char kPsuNotUp[] = "Not processing value for pem slot %d sensor %s\n";
constexpr char kPsuValue[] = "RCVD notification for PSU slot %d old/new value %d/%d\n";
constexpr char kBpNotHotSwap[] = "got BP slot %d but not %s op current\n";
constexpr char kDropping[] = "Dropping RCVD notification for BP slot %d sensor %s value %d\n";
constexpr char kNoPec[] = "Set PEC value to %d if no PEC %x\n";
constexpr char kSending[] = "Sending new val %d for fixed LC curr %d to inv\n";
constexpr char kRp[] = "RP %d current %d\n";
constexpr char kLc[] = "LC slot %d current %d\n";
constexpr char kFan[] = "Fan slot %d current %d\n";
constexpr char kTotals[] =
    "Total FAN = %d RP = %d  LC = %dTotal Out current = %d Total PSU IN curr = %d\n";
constexpr char kReturning[] = "returning fixed hot swap current =%d\n";
constexpr char kSensorName[] = "sensor[%d] name %s\n";
constexpr char kNotFound[] = "FIXED LC HOT SWAP VS NOT FOUND %d\n";
constexpr char kNotInDb[] = "Unable to find sensor in DB\n";
constexpr char kInvUpdate[] = "INV update value for sensor %sslot %d from %d to %d\n";

constexpr char kOutputCurrent[] = "Output Current";
constexpr char kHotSwap[] = "Hot Swap";
constexpr char kHotSwapFixed[] = "Hot Swap Fixed";
constexpr uint32_t kPsuFirst = 580;
constexpr uint32_t kPsuCount = 4;
constexpr uint32_t kBpSlots = 14;
constexpr uint32_t kFanFirst = 10;

bool contains(const char* s, const char* what) { return s != nullptr && strstr(s, what) != nullptr; }

// Sum of the entries [first, first + n) that lie inside the table.
uint32_t sum_entries(uint32_t first, uint32_t n, const char* fmt) {
  uint32_t sum = 0;
  const uint32_t end = std::min<uint64_t>(static_cast<uint64_t>(first) + n, kBpSlots);
  for (uint32_t i = first; i < end; ++i) {
    tlg_internal(main_tlg_cmn_hdl, fmt, static_cast<int>(i), bb_lc_fru_current_db[i]);
    sum += static_cast<uint32_t>(bb_lc_fru_current_db[i]);
  }
  return sum;
}

}  // namespace

extern "C" {

int32_t bb_lc_fru_current_db[14] = {};
int32_t bb_pem_fru_curr[4] = {};

uint32_t envmon_get_fixed_board_curr(void) {
  const uint32_t r = envmon_hal_get_max_rp();
  const uint32_t l = envmon_hal_get_max_lc();
  const uint32_t f = envmon_hal_get_max_fantray();
  // The platform limits may reach beyond the table: only its entries count.
  const uint32_t rp = sum_entries(0, r, kRp);
  const uint32_t lc = r < kBpSlots ? sum_entries(r, l, kLc) : 0;
  const uint32_t fan = sum_entries(kFanFirst, f, kFan);
  uint32_t in = 0;
  for (uint32_t i = 0; i < kPsuCount; ++i) in += static_cast<uint32_t>(bb_pem_fru_curr[i]);
  const uint32_t out = rp + lc + fan;
  tlg_internal(main_tlg_cmn_hdl, kTotals, static_cast<int>(fan), static_cast<int>(rp),
               static_cast<int>(lc), static_cast<int>(out), static_cast<int>(in));
  if (in < out) return 0;
  tlg_internal(main_tlg_cmn_hdl, kReturning, static_cast<int>(in - out));
  return in - out;
}

void envmon_bb_curr_value_change_event(uint32_t current, uint64_t timestamp) {
  if (envmon_nm == nullptr) return;
  envmon_sensor_list& list = envmon_nm->current_data;
  envmon_sensor_info* fixed = nullptr;
  for (uint16_t i = 0; list.sensors != nullptr && i < list.count; ++i) {
    if (!contains(list.sensors[i].name, kHotSwapFixed)) continue;
    tlg_internal(main_tlg_cmn_hdl, kSensorName, static_cast<int>(i), list.sensors[i].name);
    fixed = &list.sensors[i];
    break;
  }
  if (fixed == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNotFound, static_cast<int>(current));
    return;
  }
  envmon_sensor_info* sensor = nullptr;
  if (envmon_util_find_sensor_info(&fixed->eid, list.count, list.sensors, &sensor) != 0 ||
      sensor == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNotInDb);
    return;
  }
  const int32_t previous = sensor->value;
  sensor->last_value = sensor->value;
  sensor->value = static_cast<int32_t>(current);
  sensor->timestamp = timestamp;
  envmon_obfl_set_state(sensor, ENVMON_OBFL_KIND_CURR);
  tlg_internal(main_tlg_cmn_hdl, kInvUpdate, sensor->name, static_cast<int>(envmon_nm->slot_num),
               previous, sensor->value);
  envmon_inv_invreg_curr_sensor_update(&sensor->eid, sensor, ENVMON_SCOPE_NODE);
}

void envmon_bb_update_fru_current(const inv_notify_event_data* data) {
  if (data == nullptr || !msgcodec_test_bit(&data->present, 1)) return;
  const inv_sensor_value& v = data->value;
  const uint32_t slot = v.eid.slot;
  const char* name = v.name != nullptr ? v.name : "";
  tlg_internal(main_tlg_cmn_hdl, kRcvd, static_cast<int>(slot), name, v.value,
               static_cast<int>(v.oper_state));
  bool changed = false;
  if (slot >= kPsuFirst && slot < kPsuFirst + kPsuCount) {
    if (!contains(name, kOutputCurrent)) {
      tlg_internal(main_tlg_cmn_hdl, kPsuNotOutput, static_cast<int>(slot), name);
      return;
    }
    if (v.oper_state != 1) {
      tlg_internal(main_tlg_cmn_hdl, kPsuNotUp, static_cast<int>(slot), name);
      return;
    }
    int32_t& entry = bb_pem_fru_curr[slot - kPsuFirst];
    tlg_internal(main_tlg_cmn_hdl, kPsuValue, static_cast<int>(slot), entry, v.value);
    if (entry != v.value) {
      entry = v.value;
      changed = true;
    }
  } else if (slot < kBpSlots) {
    if (!contains(name, kHotSwap)) {
      tlg_internal(main_tlg_cmn_hdl, kBpNotHotSwap, static_cast<int>(slot), name);
      return;
    }
    if (contains(name, kHotSwapFixed)) {
      tlg_internal(main_tlg_cmn_hdl, kDropping, static_cast<int>(slot), name, v.value);
      return;
    }
    int32_t& entry = bb_lc_fru_current_db[slot];
    if (entry != v.value) {
      if (slot == envmon_nm->slot_num && entry != 0 && envmon_hal_no_pec()) {
        tlg_internal(main_tlg_cmn_hdl, kNoPec, v.value, 1u);
        entry = 0;
      } else {
        entry = v.value;
      }
      changed = true;
    }
  }
  if (!changed) return;
  const uint32_t current = envmon_get_fixed_board_curr();
  tlg_internal(main_tlg_cmn_hdl, kSending, static_cast<int>(current), static_cast<int>(current));
  envmon_bb_curr_value_change_event(current, v.timestamp);
}

}  // extern "C"
