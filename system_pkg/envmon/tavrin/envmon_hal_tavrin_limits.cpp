// Platform tavrin: its name, the sizes of the per-slot tables, and the hooks
// whose answers are tavrin's own.
#include <cstring>

#include "envmon_core.h"
#include "envmon_hal.h"
#include "envhal_private.h"
#include "envhal_tavrin_units.h"

using namespace envhal::tavrin;

namespace {

// Chassis type once the rack record exists; 0 before.
uint32_t chassis_type() { return envmon_rm != nullptr ? envmon_rm->chassis_type : 0; }

}  // namespace

namespace envhal::plat {

const char* tlg_component_path() { return "./pelmarok/system_pkg/envmon/tavrin/envhal_tavrin"; }
const char* tlg_build_id() { return ENVHAL_BUILD_ID; }

}  // namespace envhal::plat

extern "C" {

const char* envmon_hal_get_platform_name(void) { return "tavrin"; }

uint32_t envmon_hal_get_max_clients(void) { return 10; }
uint32_t envmon_hal_get_max_inv_slots(void) { return 64; }

uint32_t envmon_hal_get_max_fantray(void) {
  switch (chassis_type()) {
    case kChassis8Slot:
    case kChassis16Slot:
    case kChassis4Slot:
      return 3;
    default:
      return 6;  // also while the rack record does not exist
  }
}

uint32_t envmon_hal_get_max_mpa_fantray(void) { return 0; }
uint32_t envmon_hal_get_max_rp(void) { return 2; }
uint32_t envmon_hal_get_max_fc(void) { return 6; }

// Before the rack record exists the chassis is unknown and the default holds.
uint32_t envmon_hal_get_max_lc(void) {
  switch (chassis_type()) {
    case kChassis16Slot:
      return 16;
    case kChassis4Slot:
      return 4;
    default:
      return 8;
  }
}

uint32_t envmon_hal_get_max_mpa(void) { return 3; }
uint32_t envmon_hal_get_max_xc(void) { return 2; }

bool envmon_hal_is_mpa_supported_on_rp(uint32_t /*card_type*/) { return false; }

int envmon_hal_filter_sensor_eid_by_name(uint32_t subtype, const char* name) {
  if (subtype != 13 || name == nullptr) return false;
  return std::strstr(name, "FC Status") != nullptr || std::strstr(name, "Attention") != nullptr;
}

}  // extern "C"
