// Slot numbering of platform tavrin: port-adapter (MPA) slots 512..559, three
// per card; optics (transceiver) slots 600..1879; and the fan-tray types.
#include <cstdio>

#include "envmon_core.h"
#include "envmon_hal.h"
#include "envhal_private.h"

namespace {

constexpr uint32_t kMpaFirst = 512;
constexpr uint32_t kMpaLast = 559;
constexpr uint32_t kMpaPerCard = 3;
constexpr uint32_t kOpticsFirst = 600;
constexpr uint32_t kOpticsEnd = 1880;
constexpr uint32_t kOpticsPerCard = 80;
constexpr size_t kLocationMax = 31;  // bytes written, terminator included

constexpr uint32_t kFantrayTypes[] = {0xab040000, 0xab040001, 0xab040002, 0xab040020,
                                      0xab040021, 0xab040022, 0xab040040, 0xab040041};

}  // namespace

extern "C" {

bool envmon_hal_is_optics_slot(uint32_t slot) { return slot >= kOpticsFirst && slot < kOpticsEnd; }

uint32_t envmon_hal_if_logical_slot_to_lc_logical_slot(uint32_t slot) {
  const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
  if (chassis == 0x6001010b || chassis == 0x60010107) {
    // These chassis carry the optics of their port adapters.
    if (slot <= 679) return 1;
    if (slot <= 699) return 512;
    if (slot <= 719) return 513;
    return 514;
  }
  return (slot - kOpticsFirst) / kOpticsPerCard + 1;
}

void envmon_hal_get_mpa_bay_slot(uint32_t slot, uint8_t* index, uint16_t* card) {
  if (index != nullptr) *index = static_cast<uint8_t>((slot - kMpaFirst) % kMpaPerCard);
  if (card != nullptr) *card = static_cast<uint16_t>((slot - kMpaFirst) / kMpaPerCard + 1);
}

void envmon_hal_get_mpa_logic_slot(uint16_t card, uint8_t index, uint32_t* slot) {
  if (slot != nullptr) *slot = uint32_t{card} * kMpaPerCard + index + (kMpaFirst - kMpaPerCard);
}

void envmon_hal_get_mpa_range(uint32_t* last, uint32_t* first) {
  if (last != nullptr) *last = kMpaLast;
  if (first != nullptr) *first = kMpaFirst;
}

int hal_get_mpa_nodeid_location(uint32_t slot, char* location, uint32_t location_len) {
  // Without the card's own location there is nothing to name the bay by.
  if (location == nullptr || location_len == 0 || envmon_nm == nullptr || envmon_nm->my_location == nullptr)
    return -1;
  uint8_t index = 0;
  envmon_hal_get_mpa_bay_slot(slot, &index, nullptr);
  const size_t len = location_len < kLocationMax ? location_len : kLocationMax;
  std::snprintf(location, len, "%s/%d", envmon_nm->my_location, index + 1);
  return 0;
}

bool envmon_hal_is_fantray(uint32_t card_type) {
  for (uint32_t t : kFantrayTypes) {
    if (t == card_type) return true;
  }
  return false;
}

}  // extern "C"
