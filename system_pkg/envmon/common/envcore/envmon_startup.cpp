// Start-up of the server core: trace buffers, the rack-scope and node-scope
// records sized from the platform limits, the node-scope clients, and the
// rack-scope side of the active route processor.
#include <stdlib.h>

#include <array>

#include "envcore_private.h"
#include "envmon_drvif.h"
#include "envmon_fm.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "envmon_obfl.h"
#include "envmon_pwr_mgmt.h"
#include "envmon_stats.h"

#ifndef ENVCORE_BUILD_ID
#define ENVCORE_BUILD_ID "envcore"
#endif

namespace {

constexpr uint32_t kTracePoints = 1167;
constexpr char kComponentPath[] = "./pelmarok/system_pkg/envmon/common/envcore";

struct TraceBuffer {
  tlg_handle_t* handle;
  const char* name;
  const char* failure;  // mirrored to the debug log when the open fails
};

// Opening order; enabling goes in another order (fanm before pwrm).
const std::array<TraceBuffer, 10> kBuffers = {{
    {&main_tlg_cmn_hdl, "envmon_cmn_main", "%s(): tlg_open failed for envmon_main\n"},
    {&err_tlg_cmn_hdl, "envmon_cmn_err", "%s(): tlg_open failed for envmon_err\n"},
    {&info_tlg_cmn_hdl, "envmon_cmn_info", "%s(): tlg_open failed for envmon_info\n"},
    {&dbg_tlg_cmn_hdl, "envmon_cmn_dbg", "%s(): tlg_open failed for envmon_dbg\n"},
    {&pwrm_tlg_cmn_hdl, "envmon_cmn_pwrm", "%s(): tlg_open failed for envmon_pwrm\n"},
    {&fanm_tlg_cmn_hdl, "envmon_cmn_fanm", "%s(): tlg_open failed for envmon_fanm\n"},
    {&fault_tlg_cmn_hdl, "envmon_cmn_fault", "%s(): tlg_open failed for envmon_fault\n"},
    {&smil_tlg_cmn_hdl, "envmon_cmn_smil", "%s(): tlg_open failed for envmon_smil\n"},
    {&obfl_tlg_cmn_hdl, "envmon_cmn_obfl", "%s(): tlg_open failed for envmon_obfl\n"},
    {&pmlib_tlg_cmn_hdl, "envmon_pmlib", "%s(): tlg_open failed for envmon_pmlib\n"},
}};
const std::array<tlg_handle_t*, 10> kEnableOrder = {
    &main_tlg_cmn_hdl, &err_tlg_cmn_hdl,   &info_tlg_cmn_hdl,  &dbg_tlg_cmn_hdl,
    &fanm_tlg_cmn_hdl, &pwrm_tlg_cmn_hdl,  &fault_tlg_cmn_hdl, &smil_tlg_cmn_hdl,
    &obfl_tlg_cmn_hdl, &pmlib_tlg_cmn_hdl};

constexpr char kCallocFantray[] = "%s: calloc failed for Fantray CB\n";
constexpr char kCallocFruObjs[] = "%s: calloc failed for fru_objs_lst\n";
constexpr char kCallocFantrayEeprom[] = "%s: calloc failed for Fantray CB EEPROM DATA\n";
constexpr char kCallocFanContEid[] = "%s: calloc failed for Fantray CB for fan container EID\n";
constexpr char kCallocFanContState[] =
    "%s: calloc failed for Fantray CB for fan container reg state\n";
constexpr char kCallocFc[] = "%s: calloc failed for Fantray CB for fc callback\n";
constexpr char kCallocLc[] = "%s: calloc failed for Fantray CB for lc remotly\n";
constexpr char kCallocSw[] = "%s: calloc failed for Fantray CB for sw remotly\n";

// Allocates `count` zeroed T into *slot when it is still null. A count of 0
// leaves it null and is no failure (calloc(0) may answer null).
template <typename T>
bool alloc_missing(T** slot, uint32_t count) {
  if (*slot || count == 0) return true;
  *slot = static_cast<T*>(envmon_calloc(count, sizeof(T)));
  return *slot != nullptr;
}

envmon_err_t no_memory(const char* func, const char* text) {
  if (text) tlg_internal(err_tlg_cmn_hdl, text, func);
  return ENVMON_ERR_NO_MEMORY;
}

struct CommonStep {
  const char* traced;
  const char* logged;
};
constexpr CommonStep kFmStep = {"%s: Failure in FM init!\n\n", "%s(): Failure in FM init!\n"};
constexpr CommonStep kPmStep = {"%s: Failure in PM init!\n\n", "%s(): Failure in PM init!\n"};
constexpr CommonStep kPdStep = {"%s: Failure in Platform Driver init!\n\n",
                                "%s(): Failure in Platform Driver init!\n"};
constexpr CommonStep kNmStep = {"%s: Failure in NM client init!\n\n",
                                "%s(): Failure in NM client init!\n"};
constexpr CommonStep kPlStep = {"%s: Failure in Platform handle init!\n\n",
                                "%s(): Failure in Platform handle init!\n"};

envmon_err_t common_step_failed(const CommonStep& step, envmon_err_t rc) {
  static constexpr char kFunc[] = "envmon_common_init";
  tlg_internal(err_tlg_cmn_hdl, step.traced, kFunc);
  envmon_debug_log(step.logged, kFunc);
  return rc;
}

[[noreturn]] void active_init_failed(const char* text, int line) {
  static constexpr char kFunc[] = "envmon_active_init";
  tlg_internal(err_tlg_cmn_hdl, text, kFunc);
  envmon_exit_at(kFunc, line, -1);
}

}  // namespace

extern "C" {

envmon_err_t envmon_tlg_init(struct evloop* loop, tlg_handle_t main, tlg_handle_t err,
                             tlg_handle_t info, tlg_handle_t dbg, tlg_handle_t pwrm,
                             tlg_handle_t fanm, tlg_handle_t fault, tlg_handle_t smil,
                             tlg_handle_t obfl, tlg_handle_t pmlib) {
  const std::array<tlg_handle_t, 10> parents = {main, err,   info, dbg,  pwrm,
                                                fanm, fault, smil, obfl, pmlib};
  for (size_t i = 0; i < kBuffers.size(); ++i) {
    const TraceBuffer& b = kBuffers[i];
    if (tlg_open_internal(b.handle, b.name, 0, kTracePoints, kComponentPath, ENVCORE_BUILD_ID,
                          parents[i]) != 0) {
      // The buffers may not be open: the debug log is the only witness.
      envmon_debug_log(b.failure, __func__);
      return ENVMON_ERR_TLG_INIT;
    }
  }
  for (tlg_handle_t* h : kEnableOrder) tlg_enable_configuration(*h, loop);
  return ENVMON_OK;
}

envmon_err_t envmon_init_rack_scope_data(void) {
  const bool created = envmon_rm == nullptr;
  if (!alloc_missing(&envmon_rm, 1)) return no_memory(__func__, nullptr);
  envmon_rm_t* rm = envmon_rm;
  // A completing call keeps the rack id learnt meanwhile.
  if (created) rm->rack = ENVMON_RACK_UNKNOWN;
  if (!alloc_missing(&rm->chassis_sn, envmon_hal_get_chassis_sn_length()))
    return no_memory(__func__, nullptr);
  if (!alloc_missing(&rm->fantray_cb, envmon_hal_get_max_fantray()))
    return no_memory(__func__, kCallocFantray);
  if (envmon_hal_get_max_powertray() != 0 &&
      !alloc_missing(&rm->pwr_tray_cont_reg_state, envmon_hal_get_max_powertray()))
    return no_memory(__func__, nullptr);
  if (!alloc_missing(&rm->rp_hw_position, envmon_hal_get_max_rp()))
    return no_memory(__func__, nullptr);
  if (!alloc_missing(&rm->rp_info_rcvd, envmon_hal_get_max_rp()))
    return no_memory(__func__, nullptr);
  if (!alloc_missing(&rm->fru_objs_lst, envmon_hal_get_max_inv_slots()))
    return no_memory(__func__, kCallocFruObjs);
  rm->fm_loc_update_pending = 0;
  return ENVMON_OK;
}

envmon_err_t envmon_init_rack_entity_data(void) {
  static constexpr char kFunc[] = "envmon_init_rack_entity_data";
  envmon_rm_t* rm = envmon_rm;
  if (!rm) return ENVMON_ERR_INVALID_ARG;  // the rack record comes first
  const uint32_t trays = envmon_hal_get_max_fantray();
  if (!alloc_missing(&rm->fantray_cb, trays)) return no_memory(kFunc, kCallocFantray);
  for (uint32_t i = 0; rm->fantray_cb && i < trays; ++i) {
    if (!alloc_missing(&rm->fantray_cb[i].eeprom, envmon_hal_get_max_idprom_size()))
      return no_memory(kFunc, kCallocFantrayEeprom);
  }
  if (!alloc_missing(&rm->fan_cont_pelm_eids, trays)) return no_memory(kFunc, kCallocFanContEid);
  if (!alloc_missing(&rm->fan_cont_reg_state, trays)) return no_memory(kFunc, kCallocFanContState);
  if (envmon_hal_are_fc_managed_remotely()) {
    if (!alloc_missing(&rm->fc_cb, envmon_hal_get_max_fc())) return no_memory(kFunc, kCallocFc);
  } else {
    rm->fc_cb = nullptr;
  }
  if (envmon_hal_are_lc_managed_remotely()) {
    const bool created = rm->lc_cb == nullptr;
    if (!alloc_missing(&rm->lc_cb, envmon_hal_get_max_lc())) return no_memory(kFunc, kCallocLc);
    for (uint32_t i = 0; created && rm->lc_cb && i < envmon_hal_get_max_lc(); ++i)
      rm->lc_cb[i].card_kind = 0;
  } else {
    rm->lc_cb = nullptr;
  }
  if (envmon_hal_are_sw_managed_remotely()) {
    if (!alloc_missing(&rm->sw_cb, envmon_hal_get_max_swc())) return no_memory(kFunc, kCallocSw);
  } else {
    rm->sw_cb = nullptr;
  }
  envmon_init_pwr_mgmt_data();
  return ENVMON_OK;
}

envmon_err_t envmon_init_node_scope_data(void) {
  if (!alloc_missing(&envmon_nm, 1)) return ENVMON_ERR_NO_MEMORY;
  envmon_nm_t* nm = envmon_nm;
  if (!alloc_missing(&nm->clients, envmon_hal_get_max_clients())) return ENVMON_ERR_NO_MEMORY;
  const uint32_t max_mpa = envmon_hal_get_max_mpa();
  if (!nm->mpa && max_mpa != 0) {
    // max_mpa is 8-bit; a larger platform answer cannot be described by the record.
    const uint32_t bays = max_mpa > UINT8_MAX ? UINT8_MAX : max_mpa;
    if (!alloc_missing(&nm->mpa, bays)) return ENVMON_ERR_NO_MEMORY;
    nm->max_mpa = static_cast<uint8_t>(bays);
  }
  nm->temp_debug = nm->volt_debug = nm->curr_debug = 1;
  nm->drvif_debug = nm->fan_debug = nm->pwr_debug = 1;
  nm->ip_address = ENVMON_IP_UNKNOWN;
  nm->fm_loc_set = 0;
  nm->my_location = nullptr;
  return ENVMON_OK;
}

envmon_err_t envmon_common_init(struct evloop* loop) {
  envmon_stats_init();  // ends the process itself when its tables cannot be had
  envmon_err_t rc = envmon_fm_init(ENVMON_SCOPE_NODE, loop);
  if (rc != 0) return common_step_failed(kFmStep, rc);
  rc = envmon_capi_pm_init(envmon_evloop);
  if (rc != 0) return common_step_failed(kPmStep, rc);
  envmon_fm_fault_report_resync(ENVMON_SCOPE_NODE, ENVMON_FM_RESYNC_START);
  rc = envmon_hal_capi_platform_driver_init(loop);
  if (rc != 0) return common_step_failed(kPdStep, rc);
  rc = envmon_inv_invreg_nm_client_init(loop);
  if (rc != 0) return common_step_failed(kNmStep, rc);
  rc = envmon_capi_platform_handle_init(loop);
  if (rc != 0) return common_step_failed(kPlStep, rc);
  return ENVMON_OK;
}

envmon_err_t envmon_active_init(void) {
  if (envmon_failed32(envmon_inv_invreg_rm_client_init(envmon_evloop)))
    active_init_failed("%s(): Failed to init RM INVREG\n", 36);
  if (envmon_failed32(envmon_capi_inv_init(envmon_evloop)))
    active_init_failed("%s(): Failed to init INV\n", 44);
  // Without an address the platform-local client creates the server when it arrives.
  if (envmon_nm && envmon_nm->ip_address != ENVMON_IP_UNKNOWN &&
      envmon_failed32(envmon_server_init(envmon_evloop, ENVMON_SCOPE_RACK)))
    active_init_failed("%s(): Failed to init Envmon CAPI\n", 53);
  if (!envmon_rm || envmon_rm->chassis_type == 0) return ENVMON_OK;
  if (envmon_failed32(envmon_obfl_rm_init(envmon_evloop)))
    active_init_failed("%s(): Failed to init RM OBFL\n", 68);
  return ENVMON_OK;
}

}  // extern "C"
