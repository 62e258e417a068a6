// Cards coming and going as fan management sees them: the line cards whose
// optics drive the fans, and the clearing of a removed card's or port
// adapter's temperature sensors and alarm counts.
#include <algorithm>
#include <cstdlib>

#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_hal.h"

using namespace envhal::tavrin;

namespace {

constexpr uint32_t kMpaFirst = 512;
constexpr uint32_t kMpaBays = 3;

constexpr uint32_t kOpticsLineCards[] = {27000, 27001, 27006, 27010, 27011, 27012, 27013, 27014, 27017,
                                         27018, 27023, 27034, 27035, 27044, 27046, 27050, 27055, 27060,
                                         27061, 27062, 27063, 27064, 27066, 27067, 27068, 27069, 27070};
constexpr uint32_t kMpaCarriers[] = {0x60020103, 0x60020109, 0x60020104, 0x60020105, 0x60020108, 27034,
                                     27035,      27065,      27066,      27067,      27068};

template <size_t N>
bool listed(const uint32_t (&list)[N], uint32_t value) {
  return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

// Adds, updates or removes the line card of the slot; true when the list changed.
bool lc_list_update(uint32_t slot, uint32_t card_type, int32_t card_state, bool inserted) {
  lc_info_t* entry = lc_info;
  while (entry != nullptr && entry->slot != static_cast<int32_t>(slot)) entry = entry->next;
  if (inserted) {
    if (entry != nullptr) {
      if (entry->card_state == card_state) return false;
      entry->card_state = card_state;
      return true;
    }
    entry = static_cast<lc_info_t*>(std::calloc(1, sizeof(lc_info_t)));
    if (entry == nullptr) {
      tlg_internal(err_tlg_lib_hdl, "%s(): no memory\n", "envmon_hal_fan_algo_card_state_upd");
      return false;
    }
    entry->slot = static_cast<int32_t>(slot);
    entry->card_type = static_cast<int32_t>(card_type);
    entry->card_state = card_state;
    entry->next = lc_info;
    if (lc_info != nullptr) lc_info->prev = entry;
    lc_info = entry;
    ++total_lc_cnt;
    tlg_internal(fanm_tlg_lib_hdl, "LC slot %d type 0x%x added. Totoal LC count %d.\n", slot, card_type,
                 total_lc_cnt);
    return true;
  }
  if (entry == nullptr) return false;
  if (entry->prev != nullptr) entry->prev->next = entry->next;
  if (entry->next != nullptr) entry->next->prev = entry->prev;
  if (lc_info == entry) lc_info = entry->next;
  std::free(entry);
  if (total_lc_cnt > 0) --total_lc_cnt;
  tlg_internal(fanm_tlg_lib_hdl, "LC slot %d removed. Totoal LC count %d.\n", slot, total_lc_cnt);
  return true;
}

void trace_clearing(const char* what, uint32_t slot, const slot_temp_alarm_stats& s) {
  tlg_internal(fanm_tlg_lib_hdl, what, "envmon_hal_fan_algo_card_state_upd", slot, s.num_minor, s.num_major,
               s.num_critical, chassis_fan_info->temp_sensors_in_alarm);
}

void clear_mpa(uint32_t mpa_slot) {
  if (mpa_slot < kMpaFirst || mpa_slot - kMpaFirst >= ENVMON_FAN_MPA_SLOTS) return;
  const uint32_t index = mpa_slot - kMpaFirst;
  slot_temp_alarm_stats& s = mpa_alarm_stats()[index];
  tlg_internal(fanm_tlg_lib_hdl,
               "%s: clearing sensors from fan algo for mpa_slot %d num_minor = %d, num_major = %d, num_critical = %d, "
               "temp_sensors_in_alarm = %d\n",
               "envmon_fan_algo_mpa_removal_upd", mpa_slot, s.num_minor, s.num_major, s.num_critical,
               chassis_fan_info->temp_sensors_in_alarm);
  clear_slot_stats(&s, static_cast<int32_t>(mpa_slot), timers().mpa_shut[index]);
}

}  // namespace

namespace envhal::tavrin {

void clear_slot_stats(slot_temp_alarm_stats* stats, int32_t node_slot, mtimer_leaf_t* leaf) {
  slot_temp_alarm_stats& s = *stats;
  chassis_fan_info->temp_sensors_in_alarm =
      std::max(0, chassis_fan_info->temp_sensors_in_alarm - (s.num_minor + s.num_major));
  stat_add(kStatMinor, -static_cast<int32_t>(s.num_minor));
  stat_add(kStatMajor, -static_cast<int32_t>(s.num_major));
  stat_add(kStatCritical, -static_cast<int32_t>(s.num_critical));
  s = slot_temp_alarm_stats{};
  // A card that left cannot be shut down for the heat it had.
  leaf_stop(leaf);
  envmon_fan_algo_sensor_list_cleanup(static_cast<uint32_t>(node_slot));
}

bool is_optics_line_card(uint32_t card_type) { return listed(kOpticsLineCards, card_type); }

void free_zone_lists() {
  ZoneLists& lists = zone_lists();
  for (int32_t zone = 0; zone < ENVMON_FAN_ZONES; ++zone) {
    fan_algo_sensor* node = lists.head[zone];
    while (node != nullptr) {
      fan_algo_sensor* next = node->next;
      envmon_free_tsi(&node->eid);
      std::free(node);
      node = next;
    }
    lists.head[zone] = nullptr;
    lists.count[zone] = 0;
  }
}

void free_lc_list() {
  while (lc_info != nullptr) {
    lc_info_t* next = lc_info->next;
    std::free(lc_info);
    lc_info = next;
  }
  total_lc_cnt = 0;
}

}  // namespace envhal::tavrin

extern "C" {

int32_t envmon_fan_algo_sensor_list_cleanup(uint32_t slot) {
  const int32_t zone = envmon_fan_zone_of_slot(slot);
  if (zone > 5) return 0;
  ZoneLists& lists = zone_lists();
  fan_algo_sensor** link = &lists.head[zone];
  while (*link != nullptr) {
    fan_algo_sensor* node = *link;
    if (node->slot != static_cast<int32_t>(slot)) {
      link = &node->next;
      continue;
    }
    *link = node->next;
    envmon_free_tsi(&node->eid);
    std::free(node);
    lists.count[zone] = std::max(0, lists.count[zone] - 1);
  }
  return 0;
}

int32_t envmon_fan_algo_mpa_removal_upd(uint32_t mpa_slot) {
  if (chassis_fan_info == nullptr) return 0;
  clear_mpa(mpa_slot);
  if (chassis_fan_info->envmon_fan_state == ENVMON_FAN_ALL_PRESENT) evaluate_and_set_all();
  return 0;
}

void envmon_hal_fan_algo_card_state_upd(uint32_t slot, uint32_t card_type, int32_t card_state, uint32_t up) {
  static constexpr char kFunc[] = "envmon_hal_fan_algo_card_state_upd";
  tlg_internal(fanm_tlg_lib_hdl, "oir event recieved slot %d inserted: %d\n", slot, up);
  if (chassis_fan_info == nullptr) return;
  const bool inserted = up != 0;
  if (is_optics_line_card(card_type) && lc_list_update(slot, card_type, card_state, inserted)) {
    evaluate_and_set_all();
  }
  if (inserted) return;
  envmon_hal_fan_algo_optics_sensor_list_upd(slot, card_type, 0);
  if (envmon_is_mpa_slot(slot, nullptr)) {
    tlg_internal(fanm_tlg_lib_hdl, "%s : MPA shut/removal detected slot = %d\n", kFunc, slot);
    envmon_fan_algo_mpa_removal_upd(slot);
    return;
  }
  if (slot >= ENVMON_FAN_CARD_SLOTS) return;
  slot_temp_alarm_stats& s = slot_alarm_stats()[slot];
  trace_clearing("%s: clearing sensors from fan algo for slot %d num_minor = %d, num_major = %d, num_critical = %d, "
                 "temp_sensors_in_alarm = %d\n",
                 slot, s);
  clear_slot_stats(&s, static_cast<int32_t>(slot), timers().card_shut[slot]);
  if (listed(kMpaCarriers, card_type)) {
    for (uint8_t bay = 0; bay < kMpaBays; ++bay) {
      uint32_t mpa_slot = 0;
      envmon_hal_get_mpa_logic_slot(static_cast<uint16_t>(slot), bay, &mpa_slot);
      clear_mpa(mpa_slot);
    }
  }
  if (chassis_fan_info->envmon_fan_state == ENVMON_FAN_ALL_PRESENT) evaluate_and_set_all();
}

}  // extern "C"
