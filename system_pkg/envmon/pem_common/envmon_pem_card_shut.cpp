// Card shutdowns requested from the fault manager: for a budget too short to
// keep the card powered, and in progressive mode when the chassis draws more
// than the configured threshold.
#include <cstdio>

#include "envmon_pem_private.h"

namespace {

constexpr uint32_t kTagNoBudget = 54;
constexpr uint32_t kTagLowBudgetShut = 43;
constexpr uint32_t kTagProgressiveShut = 103;
constexpr uint16_t kSeverityMajor = 4;
constexpr uint32_t kActionShutCard = 2;
constexpr char kLowBudgetText[] = "Requesting shutdown due to no power budget available";

envmon_entity_pbudget_info_t* card(uint8_t index) {
  envmon_pwr_mgmt_data_t* p = pem::pm();
  if (p == nullptr || p->pbudget_list == nullptr || index > p->pbudget_last_index) return nullptr;
  return &p->pbudget_list[index];
}

envmon_err_t report(const char* func, uint32_t tag, pelm_eid* eid, int32_t state, uint32_t action,
                    const char* descr) {
  pem::FaultRequest fr(tag, eid, state, kSeverityMajor);
  fr.req.shutdown_action = action;
  fr.data.description = descr;
  (void)func;
  return fr.send();
}

// Shared shape of the two requests: index and mode checked, the fault
// sequence sent for a shutdown, the card's flag set or withdrawn.
template <typename Sequence>
envmon_err_t process(const char* func, const char* what, uint8_t index, int32_t mode, Sequence&& seq) {
  envmon_entity_pbudget_info_t* c = card(index);
  if (c == nullptr || (mode != 0 && mode != 1)) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid card index %d or alarm mode %d\n", func, index, mode);
    return ENVMON_ERR_INVALID_ARG;
  }
  if (mode == 1) {
    const envmon_err_t rc = seq(*c);
    c->shutdown_on_low_pbudget = 1;
    tlg_internal(pwrm_tlg_pem_hdl, "%s : card %d %s shutdown alarm raised \n", func, index, what);
    return rc;
  }
  if (c->shutdown_on_low_pbudget) {
    c->shutdown_on_low_pbudget = 0;
    tlg_internal(pwrm_tlg_pem_hdl, "%s : card %d %s shutdown alarm cleared \n", func, index, what);
  }
  return ENVMON_OK;
}

}  // namespace

extern "C" {

envmon_err_t envmon_report_card_low_budget_shut_alm(uint8_t index, int32_t mode) {
  static constexpr char kFunc[] = "envmon_report_card_low_budget_shut_alm";
  envmon_entity_pbudget_info_t* c = card(index);
  if (c == nullptr) return ENVMON_ERR_INVALID_ARG;
  const bool raise = mode == 1;
  envmon_err_t rc = report(kFunc, kTagNoBudget, &c->fru_eid, raise ? pem::kRaise : pem::kClear, 0, nullptr);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s: envmon_fm_fault_report returned error for %s card %d no power budget alarm, rc = %ld.\n",
                 kFunc, raise ? "raising" : "clearing", index, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: %s card (index %d) no power budget alarm\n", kFunc,
                 raise ? "raised" : "cleared", index);
  if (!raise) return rc;
  rc = report(kFunc, kTagLowBudgetShut, &c->eid, pem::kRaise, kActionShutCard, kLowBudgetText);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s: envmon_fm_fault_report returned error for %s card %d low budget shutdown alarm, rc = %ld.\n",
                 kFunc, "raising", index, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: %s card (index %d) low budget shutdown alarm\n", kFunc, "raised", index);
  rc = report(kFunc, kTagNoBudget, &c->fru_eid, pem::kClear, 0, nullptr);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s: envmon_fm_fault_report returned error for clearing card %d no budget alarm, rc = %ld.\n",
                 kFunc, index, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: clearing card (index %d) no budget alarm\n", kFunc, index);
  return rc;
}

envmon_err_t envmon_report_card_prog_mode_shut_alm(uint8_t index, int32_t mode, int32_t power_draw) {
  static constexpr char kFunc[] = "envmon_report_card_prog_mode_shut_alm";
  envmon_entity_pbudget_info_t* c = card(index);
  if (c == nullptr) return ENVMON_ERR_INVALID_ARG;
  const bool raise = mode == 1;
  char descr[256];
  const char* text = nullptr;
  if (raise) {
    const envmon_pwr_cfg* cfg = envmon_rm != nullptr ? &envmon_rm->pwr_cfg : nullptr;
    const int32_t priority = cfg != nullptr && index < ENVMON_NODE_PRIORITY_MAX ? cfg->node_priority[index] : 0;
    pem::format(descr, sizeof descr, "Node priority %d, Chassis power draw %d W exceeded shutdown threshold %d W",
                  priority, power_draw, cfg != nullptr ? static_cast<int>(cfg->prog_shut_threshold) : 0);
    text = descr;
  }
  const envmon_err_t rc = report(kFunc, kTagProgressiveShut, &c->eid, pem::kRaise, kActionShutCard, text);
  if (rc != ENVMON_OK)
    tlg_internal(err_tlg_pem_hdl,
                 "In %s: envmon_fm_fault_report returned error for %s card %d progressive shutdown alarm, rc = %ld.\n",
                 kFunc, raise ? "raising" : "clearing", index, static_cast<long>(rc));
  else
    tlg_internal(fault_tlg_pem_hdl, "%s: %s card (index %d) progressive shutdown alarm\n", kFunc,
                 raise ? "raised" : "cleared", index);
  return rc;
}

envmon_err_t envmon_process_card_shut_on_low_budget(uint8_t index, int32_t mode) {
  return process("envmon_process_card_shut_on_low_budget", "low budget", index, mode,
                 [&](envmon_entity_pbudget_info_t&) { return envmon_report_card_low_budget_shut_alm(index, mode); });
}

envmon_err_t envmon_process_card_shut_progressive_mode(uint8_t index, int32_t mode, int32_t power_draw) {
  return process("envmon_process_card_shut_progressive_mode", "progressive", index, mode,
                 [&](envmon_entity_pbudget_info_t&) {
                   return envmon_report_card_prog_mode_shut_alm(index, mode, power_draw);
                 });
}

envmon_err_t envmon_pem_fm_process_card_shut_on_low_budget(uint8_t index, uint8_t mode) {
  return envmon_process_card_shut_on_low_budget(index, mode);
}

envmon_err_t envmon_pem_fm_process_card_shut_progressive_mode(uint8_t index, int32_t mode, int32_t power_draw) {
  return envmon_process_card_shut_progressive_mode(index, mode, power_draw);
}

}  // extern "C"
