// Two inputs outside the card manager's road: a line card's reload flag sent
// with its power request, and inventory's record of which cards were powered
// on (or held reserved power) before this server started.
#include <algorithm>
#include <limits>

#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kInReload[] = "LC card(%d) in_reload flag: %d\n";
constexpr char kRelease[] =
    "LC card(%d) shutdown, invoke envmon_pwr_mgmt_card_state_upd to release power budget\n";
constexpr char kInvalidSubtype[] = "%s: invalid subtype %d\n";
constexpr char kInvalidInstance[] = "%s: invalid LC instance %d\n";
constexpr char kAdopted[] =
    "%s - card(idx%d):  status changed from %s to %s, card power budget changed from %d to %d, "
    "total power budget from %d to %d(W), lc_powered_on_bitmap 0x%x\n";

// Inventory power status of a card: powered on, or holding reserved power.
constexpr int32_t kInvPoweredOn = 2;
constexpr int32_t kInvReserved = 4;
// Card-level TSI subtypes of line and fabric cards.
constexpr uint8_t kSubtypeLc = 1;
constexpr uint8_t kSubtypeFc = 4;
// Chassis types on which inventory's line-card records are not adopted.
constexpr uint32_t kNoLcAdoptChassis[] = {592354u,     592286u,     1610678531u, 1610678532u,
                                          1610678533u, 1610678536u, 1610678537u};

}  // namespace

using namespace envmon_pm;

extern "C" {

void envmon_pwr_mgmt_update_card_reload_info(const pelm_eid* eid, uint32_t card_type,
                                             const char* pid, int32_t hw_ver_maj,
                                             int32_t hw_ver_min, uint8_t in_reload) {
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_pwr_is_lc_card_type(card_type)) return;
  const uint8_t index = envmon_pwr_mgmt_get_card_index(eid, card_type);
  if (index == ENVMON_PWR_NO_INDEX || index > p->pbudget_last_index || !valid_card_index(index))
    return;
  envmon_entity_pbudget_info_t& c = p->pbudget_list[index];
  c.in_reload = (!holds_budget(c.status) && p->all_card_info_rcvd == 1) ? 0 : in_reload;
  tlg_internal(pwrm_tlg_cmn_hdl, kInReload, index, c.in_reload);
  if ((c.status == ENVMON_PWR_OFF_TEMP_RESERVED || c.status == ENVMON_PWR_OFF_REQUESTED) &&
      c.in_reload == 0) {
    envmon_pwr_mgmt_card_state_upd(static_cast<uint8_t>(c.hw_position), 0, card_type, pid,
                                   hw_ver_maj, hw_ver_min, 2);
    tlg_internal(pwrm_tlg_cmn_hdl, kRelease, index);
  }
}

void envmon_pwr_mgmt_card_powered_on_update_from_inv(uint8_t subtype, int32_t inst,
                                                     int32_t fru_power_status,
                                                     uint32_t power_allocated) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_card_powered_on_update_from_inv";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm) return;
  if (fru_power_status != kInvPoweredOn && fru_power_status != kInvReserved) return;
  uint32_t group;
  if (subtype == kSubtypeLc) {
    for (uint32_t chassis : kNoLcAdoptChassis)
      if (envmon_rm->chassis_type == chassis) return;
    group = ENVMON_CARD_CLASS_LC;
  } else if (subtype == kSubtypeFc) {
    group = ENVMON_CARD_CLASS_FC;
  } else {
    tlg_internal(err_tlg_cmn_hdl, kInvalidSubtype, kFunc, subtype);
    return;
  }
  envmon_entity_pbudget_info_t* rec = nullptr;
  uint32_t index = 0;
  if (group_present(group)) {
    for (uint32_t i = p->start_index[group]; i <= p->last_index[group] && valid_card_index(i); ++i) {
      if (p->pbudget_list[i].inst == inst) {
        rec = &p->pbudget_list[i];
        index = i;
        break;
      }
    }
  }
  if (!rec) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidInstance, kFunc, inst);
    return;
  }
  const bool line_card = group == ENVMON_CARD_CLASS_LC;
  const int32_t old = rec->status;
  if (fru_power_status == kInvPoweredOn) {
    rec->status = ENVMON_PWR_ON;
    if (rec->pbudget >= power_allocated) return;
  } else {
    if (!line_card || rec->pbudget >= power_allocated) return;
    rec->status = ENVMON_PWR_OFF_TEMP_RESERVED;
  }
  if (rec->status == ENVMON_PWR_ON && line_card) p->lc_powered_on_bitmap |= 1u << (index % 32);
  // The record holds 16 bits: a larger allocation is kept as the largest it
  // can hold, and the total counts what the record holds.
  const uint16_t adopted = static_cast<uint16_t>(
      std::min<uint32_t>(power_allocated, std::numeric_limits<uint16_t>::max()));
  const uint16_t old_budget = rec->pbudget;
  const int32_t old_total = p->total_power_budget;
  p->total_power_budget = old_total - old_budget + adopted;
  counters_move(index, old_budget, adopted);
  rec->pbudget = adopted;
  tlg_internal(pwrm_tlg_cmn_hdl, kAdopted, kFunc, static_cast<int>(index), status_name(old),
               status_name(rec->status), old_budget, adopted, old_total, p->total_power_budget,
               p->lc_powered_on_bitmap);
}

}  // extern "C"
