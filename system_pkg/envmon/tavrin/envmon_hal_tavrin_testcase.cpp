// Engineering test cases run through the monitoring service.
#include "envmon_core.h"
#include "envmon_drvif.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "envmon_pwr_mgmt.h"
#include "envhal_private.h"

namespace {

constexpr uint32_t kRemoveFirstFantray = 107;  // 107, 108, 109: fan trays 0, 1, 2
constexpr uint32_t kRemoveLastFantray = 109;
constexpr uint32_t kRestartRackDrivers = 110;
// The FRU slot of fan tray i is i + 41.
constexpr uint32_t kFantrayFruSlotOffset = 66;

}  // namespace

extern "C" void envmon_hal_run_test_case(uint32_t test_id) {
  tlg_internal(main_tlg_lib_hdl, "%s: called with test ID=%d\n", __func__, test_id);
  if (test_id >= kRemoveFirstFantray && test_id <= kRemoveLastFantray) {
    const uint32_t tray = test_id - kRemoveFirstFantray;
    // Only a tray the chassis has, once its records exist, can be removed.
    if (envmon_rm == nullptr || envmon_rm->fantray_cb == nullptr || tray >= envmon_hal_get_max_fantray()) {
      tlg_internal(err_tlg_lib_hdl, "%s: test id %d not supported\n", __func__, test_id);
      return;
    }
    envmon_hal_fan_mgmt_fantray_oir(tray, 0, &envmon_rm->fantray_cb[tray].ceid, 0, nullptr);
    envmon_rm_fan_cb_cleanup(tray);
    envmon_inv_invreg_fan_fru_unreg(test_id - kFantrayFruSlotOffset);
    envmon_pwr_mgmt_fantray_oir_ev(static_cast<uint8_t>(tray), 0);
    return;
  }
  if (test_id == kRestartRackDrivers) {
    envmon_drvif_rm_init();
    return;
  }
  tlg_internal(err_tlg_lib_hdl, "%s: test id %d not supported\n", __func__, test_id);
}
