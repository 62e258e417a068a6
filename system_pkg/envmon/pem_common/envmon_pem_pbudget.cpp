// Initial power budgets of line, fabric, switch and cross-connect cards: each
// card's budgets from its inventory description, its starting allocation and
// power status, and the allocations added to the chassis total.
#include <strings.h>

#include <cstring>

#include "envmon_pem_private.h"

namespace {

constexpr int32_t kKindFabric = 3;
constexpr int32_t kKindLine = 4;
constexpr int32_t kKindSwitch = 5;
constexpr int32_t kKindCrossConnect = 9;
constexpr uint32_t kTotalCounter = 10;

enum class Start { kStandby, kReserved, kFabric };

bool tavrin_platform() {
  const char* name = envmon_hal_get_platform_name();
  if (name == nullptr) return false;
  for (const char* p = name; *p != '\0'; ++p)
    if (strncasecmp(p, "tavrin", 6) == 0) return true;
  return false;
}

// Budgets one card group; false when the group is empty.
bool budget_group(uint32_t group, int32_t kind, Start start) {
  envmon_pwr_mgmt_data_t* p = pem::pm();
  if (p == nullptr || p->pbudget_list == nullptr) return false;
  const uint8_t first = p->start_index[group];
  const uint8_t last = p->last_index[group];
  if (first == ENVMON_PWR_NO_INDEX || last == ENVMON_PWR_NO_INDEX) return false;
  for (uint32_t i = first; i <= last && i <= p->pbudget_last_index; ++i) {
    envmon_entity_pbudget_info_t& c = p->pbudget_list[i];
    uint16_t max_budget = 0, stby_budget = 0, ext_budget = 0;
    envmon_get_entity_power_budget(kind, &max_budget, &stby_budget, &ext_budget, nullptr);
    c.max_budget = max_budget;
    c.stby_zn_budget = stby_budget;
    c.ext_budget = ext_budget;
    c.pbudget = stby_budget;
    c.status = ENVMON_PWR_STBY_ZONE_RESERVED;
    if (start == Start::kReserved) {
      c.pbudget = max_budget;
      c.status = ENVMON_PWR_PRE_RESERVED;
    } else if (start == Start::kFabric && p->pwr_mgmt_action_ena && !tavrin_platform()) {
      c.pbudget = is_extended_mode_on() ? ext_budget : max_budget;
      c.status = ENVMON_PWR_PRE_RESERVED;
    }
    if (group == ENVMON_CARD_CLASS_LC) {
      c.fru_eid.rack = ENVMON_RACK_UNKNOWN;
      c.fru_eid.slot = static_cast<uint32_t>(c.hw_position);
      c.fru_eid.present |= PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT;
    }
    p->total_power_budget += c.pbudget;
    pem::count_oper(pem::kCardPbudget + i, c.pbudget);
    pem::count_oper(kTotalCounter, c.pbudget);
  }
  return true;
}

int32_t total_budget() {
  const envmon_pwr_mgmt_data_t* p = pem::pm();
  return p != nullptr ? p->total_power_budget : 0;
}

}  // namespace

extern "C" {

void envmon_pem_lcc_pwr_mgmt_pbudget_data_init(void) {
  static constexpr char kFunc[] = "envmon_pem_lcc_pwr_mgmt_pbudget_data_init";
  if (budget_group(ENVMON_CARD_CLASS_LC, kKindLine, Start::kStandby))
    tlg_internal(pwrm_tlg_pem_hdl, "%s: power budget for RP, FT and LC %d (W)\n", kFunc, total_budget());
  if (envmon_hal_get_max_fc() != 0 && budget_group(ENVMON_CARD_CLASS_FC, kKindFabric, Start::kFabric))
    tlg_internal(pwrm_tlg_pem_hdl, "%s: power budget for RP, FT, LC, and FC %d (W)\n", kFunc, total_budget());
  if (envmon_hal_get_max_xc() != 0 && budget_group(ENVMON_CARD_CLASS_XC, kKindCrossConnect, Start::kReserved))
    tlg_internal(pwrm_tlg_pem_hdl, "%s: power budget for RP, FT, LC, FC and XC %d (W)\n", kFunc, total_budget());
}

void envmon_pem_fcc_pwr_mgmt_pbudget_data_init(void) {
  static constexpr char kFunc[] = "envmon_pem_fcc_pwr_mgmt_pbudget_data_init";
  if (budget_group(ENVMON_CARD_CLASS_FC, kKindFabric, Start::kStandby))
    tlg_internal(pwrm_tlg_pem_hdl, "%s: power budget for RP/SC, FT and FC %d (W)\n", kFunc, total_budget());
  if (budget_group(ENVMON_CARD_CLASS_SWC, kKindSwitch, Start::kStandby))
    tlg_internal(pwrm_tlg_pem_hdl, "%s: power budget for RP/SC, FT, FC and SW %d (W)\n", kFunc, total_budget());
}

}  // extern "C"
