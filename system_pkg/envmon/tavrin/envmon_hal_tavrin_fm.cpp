// Tavrin's own fault and FPD hooks: the repeatable rack faults, card shutdown
// on a low power budget, undetected hardware, and which power-supply FPD
// upgrades are skipped.
#include "envmon_core.h"
#include "envmon_fm.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envhal_private.h"
#include "fpd_drv.h"

extern "C" {

void envmon_hal_fm_rm_set_repeatable(alarmd_handle_t handle) {
  static constexpr envhal::FaultKey kRackRepeatable[] = {
      {16, 1}, {16, 2}, {16, 46}, {10, 100}, {14, 28}, {14, 29}, {14, 27}, {14, 44}, {14, 45}, {14, 30}, {16, 4},
  };
  envhal::fm_set_repeatable(handle, kRackRepeatable);
  envmon_pem_fm_rm_set_repeatable(handle);
}

envmon_err_t envmon_hal_fm_process_card_shut_on_low_budget(uint8_t card_index, uint8_t mode) {
  return envmon_pem_fm_process_card_shut_on_low_budget(card_index, mode);
}

void envmon_hal_fm_configure_hw_undetected_failure(pelm_eid* eid, envmon_fm_fault_req* req, char* text) {
  if (eid == nullptr || req == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "passed NULL pointer to get fault tag for HW undetected failure\n");
    return;
  }
  envmon_pem_fm_configure_hw_undetected_failure(eid, req, text);
}

// Power supplies are upgraded only when asked for by location and FPD.
bool envmon_hal_verify_pt_fpd_skip(fpd_drv_upgrade_req* req, fpd_data* fpd) {
  if (req == nullptr) return false;
  tlg_internal(main_tlg_lib_hdl, "location all %d fpd all %d auto upg %d\n", req->all_locations, req->all_fpds,
               req->auto_upgrade);
  const char* reason = nullptr;
  if (req->all_locations == 1) {
    reason = "Power supplies excluded from upgrade location all option.";
  } else if (req->auto_upgrade == 1) {
    reason = "Power supplies excluded from fpd auto upgrade option.";
  } else {
    return false;
  }
  if (req->result_cb != nullptr) {
    req->result_cb(fpd != nullptr ? fpd->fpd_out.fpd_hd : nullptr, req->ctx, FPD_DRV_STATE_SKIPPED, reason);
  }
  return true;
}

}  // extern "C"
