// Slot classes: from a slot id to the index of its record in envmon_rm or in
// the power-management data. A false answer leaves the index untouched.
#include <algorithm>

#include "envcore_private.h"
#include "envmon_hal.h"
#include "envmon_pwr_mgmt.h"

namespace {

constexpr char kNullFantray[] = "NULL fantray_cb\n";
constexpr char kNullFc[] = "NULL fc_cb\n";
constexpr char kNullSw[] = "NULL sw_cb\n";

template <typename Rec>
bool find_position(const Rec* table, uint32_t n, uint32_t slot, uint32_t* index) {
  for (uint32_t i = 0; i < n; ++i) {
    if (table[i].hw_position == slot) {
      if (index) *index = i;
      return true;
    }
  }
  return false;
}

envmon_pwr_mgmt_data_t* pwr_data() { return envmon_rm ? envmon_rm->pwr_mgmt_data : nullptr; }

uint16_t class_count(uint32_t card_class) {
  return envmon_rm ? envmon_rm->card_eid_list[card_class].count : 0;
}

// Walks the card budget records of one card group: first index + i for i below
// `limit`, not past the group's last index; the answer is i.
bool find_in_group(uint32_t card_class, uint32_t limit, uint32_t slot, uint32_t* index) {
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  if (!pm || !pm->pbudget_list) return false;
  const uint32_t first = pm->start_index[card_class];
  const uint32_t last = pm->last_index[card_class];
  for (uint32_t i = 0; i < limit; ++i) {
    const uint32_t at = first + i;
    if (at > last) break;
    if (static_cast<uint32_t>(pm->pbudget_list[at].hw_position) == slot) {
      if (index) *index = i;
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" {

bool envmon_is_fantray_slot(uint32_t slot, uint32_t* index) {
  if (slot == ENVMON_SLOT_SELF) return false;
  if (!envmon_rm || !envmon_rm->fantray_cb) {
    tlg_internal(err_tlg_cmn_hdl, kNullFantray);
    return false;
  }
  return find_position(envmon_rm->fantray_cb, envmon_hal_get_max_fantray(), slot, index);
}

bool envmon_is_fc_slot(uint32_t slot, uint32_t* index) {
  if (slot == ENVMON_SLOT_SELF || !envmon_hal_are_fc_managed_remotely()) return false;
  if (!envmon_rm || !envmon_rm->fc_cb) {
    tlg_internal(err_tlg_cmn_hdl, kNullFc);
    return false;
  }
  const uint32_t n = std::min<uint32_t>(envmon_hal_get_max_fc(), class_count(ENVMON_CARD_CLASS_FC));
  return find_position(envmon_rm->fc_cb, n, slot, index);
}

bool envmon_is_lc_slot(uint32_t slot, uint32_t* index) {
  if (!envmon_hal_are_lc_managed_remotely() || !envmon_rm || !envmon_rm->lc_cb) return false;
  return find_position(envmon_rm->lc_cb, envmon_hal_get_max_lc(), slot, index);
}

bool envmon_is_sw_slot(uint32_t slot, uint32_t* index) {
  if (slot == ENVMON_SLOT_SELF) return false;
  if (!envmon_rm || !envmon_rm->sw_cb) {
    tlg_internal(err_tlg_cmn_hdl, kNullSw);
    return false;
  }
  if (!envmon_hal_are_sw_managed_remotely()) return false;
  return find_position(envmon_rm->sw_cb, envmon_hal_get_max_swc(), slot, index);
}

bool envmon_is_powertray_slot(uint32_t slot, uint32_t* index) {
  if (envmon_hal_get_max_powertray() == 0) return false;
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  if (!pm || !pm->envmon_pwr_tray_data) return false;
  const uint32_t n = std::min<uint32_t>(envmon_rm->pwr_tray_count, envmon_hal_get_max_powertray());
  for (uint32_t i = 0; i < n; ++i) {
    if (static_cast<uint32_t>(pm->envmon_pwr_tray_data[i].hw_position) == slot) {
      if (index) *index = i;
      return true;
    }
  }
  return false;
}

bool envmon_is_rp_slot(uint32_t slot, uint32_t* index) {
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  if (!pm || !pm->rp_pbudget) return false;
  // rp_count comes from the description; the budget table has the platform's size.
  const uint32_t n = std::min<uint32_t>(envmon_rm->rp_count, envmon_hal_get_max_rp());
  for (uint32_t i = 0; i < n; ++i) {
    if (static_cast<uint32_t>(pm->rp_pbudget[i].hw_position) == slot) {
      if (index) *index = i;
      return true;
    }
  }
  return false;
}

bool envmon_is_fc_w_cpu_slot(uint32_t slot, uint32_t* index) {
  if (envmon_hal_are_fc_managed_remotely()) return false;
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  if (!pm) return false;
  // An empty group has both indexes at 255; a group of one card has first == last.
  if (!envmon_pwr_mgmt_check_valid_indexes(pm->start_index[ENVMON_CARD_CLASS_FC],
                                           static_cast<int8_t>(pm->last_index[ENVMON_CARD_CLASS_FC])))
    return false;
  const uint32_t n = std::min<uint32_t>(envmon_hal_get_max_fc(), class_count(ENVMON_CARD_CLASS_FC));
  return find_in_group(ENVMON_CARD_CLASS_FC, n, slot, index);
}

bool envmon_is_xc_slot(uint32_t slot, uint32_t* index) {
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  if (!pm) return false;
  if (!envmon_pwr_mgmt_check_valid_indexes(pm->start_index[ENVMON_CARD_CLASS_XC],
                                           static_cast<int8_t>(pm->last_index[ENVMON_CARD_CLASS_XC])))
    return false;
  const uint32_t n = std::min<uint32_t>(envmon_hal_get_max_xc(), class_count(ENVMON_CARD_CLASS_XC));
  return find_in_group(ENVMON_CARD_CLASS_XC, n, slot, index);
}

bool envmon_is_mpa_slot(uint32_t slot, uint32_t* index) {
  uint32_t end = 0;
  uint32_t start = 0;
  envmon_hal_get_mpa_range(&end, &start);
  if (start == 0 || end == 0 || !envmon_nm || !envmon_nm->mpa) return false;
  if (slot < start || slot > end) return false;
  uint8_t mpa = 0;
  uint16_t bay = 0;
  envmon_hal_get_mpa_bay_slot(slot, &mpa, &bay);
  // The answer indexes envmon_nm->mpa; one past the table would be read out of bounds.
  if (mpa >= envmon_nm->max_mpa) return false;
  if (index) *index = mpa;
  return true;
}

uint32_t* envmon_rm_get_misc_state(uint32_t slot) {
  uint32_t i = 0;
  if (envmon_rm) {
    if (envmon_is_fantray_slot(slot, &i)) return &envmon_rm->fantray_cb[i].misc_state;
    if (envmon_is_fc_slot(slot, &i)) return &envmon_rm->fc_cb[i].misc_state;
    if (envmon_is_sw_slot(slot, &i)) return &envmon_rm->sw_cb[i].misc_state;
    if (envmon_is_lc_slot(slot, &i)) return &envmon_rm->lc_cb[i].misc_state;
  }
  return envmon_hal_get_misc_state(static_cast<int32_t>(slot));
}

uint32_t envmon_util_get_card_info(const pelm_eid* eid) {
  uint32_t i = 0;
  if (!eid || !envmon_is_lc_slot(eid->slot, &i)) return 0;
  return envmon_rm->lc_cb[i].card_type;
}

}  // extern "C"
