// Fan zones of the card slots: which of the six zones cools a card, set from
// the chassis description's containers.
#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envhal_tavrin_units.h"
#include "envmon_hal.h"

using namespace envhal::tavrin;

namespace {

// Card classes the chassis-information callback passes.
enum : uint32_t {
  kClassLineCard = 0,
  kClassRouteProcessor = 1,
  kClassFabric = 3,
  kClassOther = 14,
};

// Zone of a line card by its position, or -1 for a position the chassis has not.
int32_t line_card_zone(uint32_t chassis, uint32_t pos) {
  if (chassis == kChassis16Slot) {
    if (pos <= 5) return 3;
    if (pos <= 11) return 4;
    if (pos <= 15) return 5;
    return -1;
  }
  if (chassis == kChassis4Slot) {
    if (pos <= 2) return 3;
    if (pos == 3) return 4;
    return -1;
  }
  if (pos <= 2) return 3;
  if (pos <= 5) return 4;
  if (pos <= 7) return 5;
  return -1;
}

}  // namespace

namespace envhal::tavrin {

int32_t* card_fan_zone() {
  static int32_t zones[ENVMON_FAN_CARD_SLOTS] = {6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
                                                 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
                                                 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6};
  return zones;
}

int32_t envmon_fan_zone_of_slot(uint32_t slot) {
  if (envmon_is_mpa_slot(slot, nullptr)) {
    uint16_t card = 0;
    envmon_hal_get_mpa_bay_slot(slot, nullptr, &card);
    slot = card;
  }
  if (slot < ENVMON_FAN_CARD_SLOTS) return card_fan_zone()[slot];
  return ENVMON_FAN_ZONE_NONE;
}

}  // namespace envhal::tavrin

extern "C" {

void envmon_init_card_fan_zone(void) {
  int32_t* zones = card_fan_zone();
  for (uint32_t i = 0; i < ENVMON_FAN_CARD_SLOTS; ++i) zones[i] = ENVMON_FAN_ZONE_NONE;
}

void envmon_set_card_fan_zone(uint32_t card_class, uint32_t slot, uint32_t hw_position) {
  if (slot >= ENVMON_FAN_CARD_SLOTS) {
    tlg_internal(fanm_tlg_lib_hdl, "wrong hw_position %d for card_type %d\n", slot, card_class);
    return;
  }
  const uint32_t chassis = envmon_rm != nullptr ? envmon_rm->chassis_type : 0;
  int32_t zone = -1;
  switch (card_class) {
    case kClassLineCard:
      zone = line_card_zone(chassis, hw_position);
      if (zone < 0) tlg_internal(fanm_tlg_lib_hdl, "wrong LC position %d\n", hw_position);
      break;
    case kClassRouteProcessor:
    case kClassOther:
      zone = chassis == kChassis4Slot ? 4 : 5;
      break;
    case kClassFabric:
      if (hw_position <= 5) {
        zone = static_cast<int32_t>(hw_position / 2);
      } else {
        tlg_internal(fanm_tlg_lib_hdl, "wrong FC position %d\n", hw_position);
      }
      break;
    default:
      tlg_internal(fanm_tlg_lib_hdl, "wrong card_type %d\n", card_class);
      break;
  }
  if (zone >= 0) card_fan_zone()[slot] = zone;
}

}  // extern "C"
