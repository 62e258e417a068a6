// Inventory hooks of tavrin for power trays, which this platform has not.
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envhal_private.h"

extern "C" {

void envmon_hal_inv_invreg_update_powertray_entities_prefix(void) {
  tlg_internal(err_tlg_lib_hdl, "called update_powertray_entities_prefix - Tavrin does not have power trays\n");
}

void envmon_hal_inv_invreg_rm_register_powertray_entities(uint32_t /*tray*/) {
  tlg_internal(err_tlg_lib_hdl, "called register_powertray_entities - Tavrin does not have power trays\n");
}

uint32_t envmon_hal_get_powertray_inv_hw_type(void) {
  tlg_internal(err_tlg_lib_hdl, "GET PT TYPE - Tavrin does not have power tray\n");
  return 0xFFFFFFFFu;
}

}  // extern "C"
