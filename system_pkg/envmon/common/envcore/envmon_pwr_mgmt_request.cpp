// The answer to a card's power request, and the lookup of a card's budget
// index from its entity id and type.
#include "envmon_pem.h"
#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kInstancesWrong[] = "%s: envmon_entity_pbudget_info_t card instances wrong\n";
constexpr char kInvalidEid[] = "%s: pasted invalid EID \n";
constexpr char kNullEid[] = "%s: NULL eid\n";
constexpr char kPassedEid[] = "%s: passed eid %s, card type 0x%x\n";
constexpr char kBeforeConfig[] =
    "%s: received power budget request for eid %s card type 0x%x before power config is recieved \n";
constexpr char kWrongCard[] = "%s: wrong card type 0x%x or eid %s\n";
constexpr char kToRequested[] = "%s - card (0x%x) with index %d status changed from %s to %s\n";
constexpr char kBeforeReady[] =
    "%s: received power budget request for eid %s card type 0x%x before pwr mgmt is ready \n";
constexpr char kAvoidRedundant[] =
    "%s: Power budget, avoid using redundant Power,Prot_pwr :%d, Modified Capacity:%d, Total:%d\n\n";
constexpr char kNoBudget[] =
    "%s : power budget not available for index %d - budget requested %d, current total power "
    "budget %d (W), total_capacity %d.\n";
constexpr char kShutFailed[] =
    "%s : power budget not available for index %d - requesting card shutdown failed \n";
constexpr char kGranted[] =
    "%s : power budget %d allocated for card (0x%x) with index %d status changed from %s to %s, "
    "now total power budget %d (W).,use_redundand_pwr:%d\n\n";

constexpr uint8_t kNotFound = ENVMON_PWR_NO_INDEX;
// The TSI level type of a card and the subtype of a line card.
constexpr uint32_t kCardLevelType = 5;
constexpr uint32_t kLineCardSubtype = 1;

using envmon_pm::pm;

// A card index laid out from the chassis description.
bool laid_out(uint32_t i) {
  envmon_pwr_mgmt_data_t* p = pm();
  bool any = false;
  for (uint32_t g = 0; g < ENVMON_CARD_CLASS_COUNT; ++g) any = any || envmon_pm::group_present(g);
  return any && i <= p->pbudget_last_index && envmon_pm::valid_card_index(i);
}

}  // namespace

namespace envmon_pm {

uint32_t usable_capacity(const char* func) {
  envmon_pwr_mgmt_data_t* p = pm();
  const uint32_t capacity = p->total_capacity;
  const uint32_t prot = p->power_supplies ? p->power_supplies->power_for_pem_redundancy : 0;
  if (p->use_redundand_pwr == 1 || capacity <= prot) return capacity;
  const uint32_t usable = capacity - prot;
  tlg_internal(pwrm_tlg_cmn_hdl, kAvoidRedundant, func, static_cast<int>(prot),
               static_cast<int>(usable), static_cast<int>(capacity));
  return usable;
}

}  // namespace envmon_pm

using namespace envmon_pm;

extern "C" {

uint8_t envmon_pwr_mgmt_get_card_index(const pelm_eid* eid, uint32_t card_type) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_get_card_index";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!eid || !p || !p->pbudget_list) return kNotFound;
  int32_t group = -1;
  if (envmon_pwr_is_lc_card_type(card_type))
    group = ENVMON_CARD_CLASS_LC;
  else if (envmon_pwr_is_fc_card_type(card_type))
    group = ENVMON_CARD_CLASS_FC;
  else if (envmon_pwr_is_swc_card_type(card_type))
    group = ENVMON_CARD_CLASS_SWC;
  else if (envmon_pwr_is_xc_card_type(card_type))
    group = ENVMON_CARD_CLASS_XC;

  // The walk of a group: every laid-out index of it; none for an empty group.
  // A type of no group walks index 0 alone, and only by instance: its slot
  // says nothing about which card record it is.
  uint32_t first = 0;
  uint32_t last = 0;
  bool walkable = false;
  auto select = [&](uint32_t g) {
    first = p->start_index[g];
    last = p->last_index[g];
    walkable = group_present(g);
  };
  if (group >= 0) {
    select(static_cast<uint32_t>(group));
    for (uint32_t i = first; walkable && i <= last && valid_card_index(i); ++i)
      if (p->pbudget_list[i].hw_position == static_cast<int32_t>(eid->slot))
        return static_cast<uint8_t>(i);
  } else {
    walkable = laid_out(0);
  }
  if (eid->tsi_count == 0 || !eid->tsi) {
    tlg_internal(err_tlg_cmn_hdl, kInstancesWrong, kFunc);
    return kNotFound;
  }
  const pelm_tsi* level = nullptr;
  for (uint32_t l = 0; l < eid->tsi_count; ++l) {
    if (eid->tsi[l].type == kCardLevelType) {
      level = &eid->tsi[l];
      break;
    }
  }
  if (!level) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidEid, kFunc);
    return kNotFound;
  }
  const int32_t inst = static_cast<int32_t>(level->instance);
  if (last == 0 && inv_util_get_pelm_tsi_subtype(level) == kLineCardSubtype)
    select(ENVMON_CARD_CLASS_LC);
  for (uint32_t i = first; walkable && i <= last && valid_card_index(i); ++i)
    if (p->pbudget_list[i].inst == inst) return static_cast<uint8_t>(i);
  tlg_internal(err_tlg_cmn_hdl, kInstancesWrong, kFunc);
  return kNotFound;
}

int32_t envmon_pwr_mgmt_get_budget(const pelm_eid* eid, uint32_t card_type, const char* pid,
                                   int32_t hw_ver_maj, int32_t hw_ver_min) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_get_budget";
  if (!eid) {
    tlg_internal(pwrm_tlg_cmn_hdl, kNullEid, kFunc);
    return ENVMON_PWR_REQ_BAD;
  }
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm) return ENVMON_PWR_REQ_NOT_READY;
  if (!fru_pwr_alloc_published) envmon_fru_power_alloc_update_all(false);
  const EidText text(eid);
  tlg_internal(pwrm_tlg_cmn_hdl, kPassedEid, kFunc, text.text, card_type);
  envmon_debug_log(kPassedEid, kFunc, text.text, card_type);

  // Their budget is reserved at start-up.
  if (envmon_pwr_is_rp_card_type(card_type) || envmon_pwr_is_sc_card_type(card_type))
    return ENVMON_PWR_REQ_GRANTED;

  const uint8_t idx = envmon_pwr_mgmt_get_card_index(eid, card_type);
  if (idx == kNotFound || idx > p->pbudget_last_index) {
    if (!cfg_received()) {
      tlg_internal(pwrm_tlg_cmn_hdl, kBeforeConfig, kFunc, text.text, card_type);
      return ENVMON_PWR_REQ_NOT_READY;
    }
    if (p->pwr_mgmt_action_ena != 1) return ENVMON_PWR_REQ_GRANTED;
    tlg_internal(err_tlg_cmn_hdl, kWrongCard, kFunc, card_type, text.text);
    return ENVMON_PWR_REQ_BAD;
  }

  envmon_pwr_mgmt_update_max_pbudget(idx, card_type, pid, hw_ver_maj, hw_ver_min, true);
  envmon_entity_pbudget_info_t& c = p->pbudget_list[idx];
  const int32_t old = c.status;
  if (holds_budget(old)) {
    if (old == ENVMON_PWR_TEMP_RESERVED || old == ENVMON_PWR_OFF_TEMP_RESERVED ||
        old == ENVMON_PWR_PRE_RESERVED || old == ENVMON_PWR_OFF_RESERVED) {
      c.status = ENVMON_PWR_OFF_REQUESTED;
      tlg_internal(pwrm_tlg_cmn_hdl, kToRequested, kFunc, card_type, idx, status_name(old),
                   status_name(c.status));
    }
    return ENVMON_PWR_REQ_GRANTED;
  }

  if (!cfg_received() || (p->pwr_mgmt_action_ena != 0 && !envmon_pwr_mgmt_ready())) {
    tlg_internal(pwrm_tlg_cmn_hdl, kBeforeReady, kFunc, text.text, card_type);
    return ENVMON_PWR_REQ_NOT_READY;
  }

  const uint16_t max = get_lc_max_budget(idx);
  const int32_t need = p->total_power_budget - c.pbudget + max;
  const uint32_t usable = usable_capacity(kFunc);
  if (p->pwr_mgmt_action_ena != 0 && static_cast<uint32_t>(need) > usable) {
    tlg_internal(pwrm_tlg_cmn_hdl, kNoBudget, kFunc, idx, max, p->total_power_budget,
                 static_cast<int>(usable));
    oper_add(kCntNoPbudget, 1);
    if (envmon_hal_fm_process_card_shut_on_low_budget(idx, 1) != ENVMON_OK)
      tlg_internal(err_tlg_cmn_hdl, kShutFailed, kFunc, idx);
    return ENVMON_PWR_REQ_NO_BUDGET;
  }
  // The counters move with the allocation, so a refused request leaves them as they were.
  counters_move(idx, c.pbudget, max);
  c.pbudget = max;
  p->total_power_budget = need;
  c.status = ENVMON_PWR_OFF_REQUESTED;
  tlg_internal(pwrm_tlg_cmn_hdl, kGranted, kFunc, c.pbudget, card_type, idx, status_name(old),
               status_name(c.status), p->total_power_budget, p->use_redundand_pwr);
  publish_alloc(c);
  envmon_check_chassis_ps_alm(true);
  return ENVMON_PWR_REQ_GRANTED;
}

}  // extern "C"
