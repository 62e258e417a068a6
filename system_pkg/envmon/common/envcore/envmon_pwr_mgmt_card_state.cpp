// A card's power status after a card-manager state report, and what the
// change means for its budget: released to the standby-zone budget, admitted
// (or shut, or left for the deferred walk) on a low budget, or re-read.
#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kInvalidRpSlot[] =
    "%s: invalid slot %d for RP/SC (CM card type 0x%x, PD card type 0x%x) from CM msg\n";
constexpr char kInvalidSlot[] = "%s: invalid slot %d for card type(%d, 0x%x) from CM msg\n";
constexpr char kInReload[] = "LC card(%d) in_reload flag: %d\n";
constexpr char kSameStatus[] =
    "Power status for the PID: '%s' is same, so skip update. pre_status=%u, pstatus:%u \n\n";
constexpr char kRpChanged[] = "%s - slot%d (idx%d) RP status changed from %s to %s\n";
constexpr char kFcSlotChanged[] = "%s - slot%d (idx%d) status changed from %s to %s\n";
constexpr char kFcChanged[] = "%s - slot%d (idx%d) FC(%d, 0x%x) status changed from %s to %s\n";
constexpr char kShutLc[] =
    "%s : shutdown LC (idx%d) because of low power budget - total_budget %d, total_capacity %d\n";
constexpr char kCardChanged[] =
    "%s - slot%d (idx%d): card status changed from %s to %s, total power budget %d(W), "
    "lc_power_on_bitmap 0x%x\n";

constexpr int32_t kClassLc = 0;
constexpr int32_t kClassRp1 = 1;
constexpr int32_t kClassRp2 = 2;
constexpr int32_t kClassFc = 3;
constexpr int32_t kClassXc = 14;

bool is_rp_card(int32_t card_class, uint32_t type) {
  return card_class == kClassRp1 || card_class == kClassRp2 || envmon_pwr_is_rp_card_type(type) ||
         envmon_pwr_is_sc_card_type(type);
}
bool is_line_card(int32_t card_class, uint32_t type) {
  return card_class == kClassLc || envmon_pwr_is_lc_card_type(type);
}
bool is_fc_like(int32_t card_class, uint32_t type) {
  return card_class == kClassFc || card_class == kClassXc || envmon_pwr_is_fc_card_type(type) ||
         envmon_pwr_is_xc_card_type(type);
}

uint32_t lc_bit(uint32_t index) { return 1u << (index % 32); }

}  // namespace

using namespace envmon_pm;

extern "C" {

void envmon_pwr_mgmt_card_state_upd(uint8_t slot, int32_t card_class, uint32_t card_type,
                                    const char* pid, int32_t hw_ver_maj, int32_t hw_ver_min,
                                    int32_t card_state) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_card_state_upd";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm) return;
  if (!fru_pwr_alloc_published) envmon_fru_power_alloc_update_all(false);
  const char* id = pid ? pid : "";
  const bool rp = is_rp_card(card_class, card_type);

  envmon_entity_pbudget_info_t* rec = nullptr;
  uint8_t index = 0;
  bool in_reload = false;
  if (rp) {
    for (uint32_t i = 0; p->rp_pbudget && i < envmon_hal_get_max_rp(); ++i) {
      if (p->rp_pbudget[i].hw_position == slot) {
        rec = &p->rp_pbudget[i];
        index = static_cast<uint8_t>(i);
        break;
      }
    }
    if (!rec) {
      tlg_internal(err_tlg_cmn_hdl, kInvalidRpSlot, kFunc, slot, card_class, card_type);
      err_bump(kErrCmNotif);
      return;
    }
  } else {
    if (envmon_pwr_mgmt_find_card_idx(slot, card_class, card_type, &index) != ENVMON_OK) {
      tlg_internal(err_tlg_cmn_hdl, kInvalidSlot, kFunc, slot, card_class, card_type);
      err_bump(kErrCmNotif);
      return;
    }
    rec = &p->pbudget_list[index];
    in_reload = rec->in_reload != 0;
  }
  envmon_entity_pbudget_info_t& c = *rec;
  const int32_t old = c.status;

  if (in_reload) {
    if (card_state == 0 || (card_state == 3 && old != ENVMON_PWR_ON)) c.in_reload = 0;
    tlg_internal(pwrm_tlg_cmn_hdl, kInReload, index, c.in_reload);
  }
  const int32_t now = envmon_pwr_mgmt_map_card_st_to_power_st(
      static_cast<uint32_t>(card_state), card_class, static_cast<int32_t>(card_type), old, in_reload);
  if (now == old && !envmon_is_extended_mode_supported()) {
    tlg_internal(pwrm_tlg_cmn_hdl, kSameStatus, id, static_cast<unsigned>(old),
                 static_cast<unsigned>(now));
    return;
  }

  if (rp) {
    envmon_update_card_budget(slot, static_cast<int32_t>(card_type), pid, hw_ver_maj, hw_ver_min,
                              true, card_state);
    if (now == old) return;
    c.status = now;
    tlg_internal(pwrm_tlg_cmn_hdl, kRpChanged, kFunc, slot, index, status_name(old),
                 status_name(now));
    publish_alloc(c);
    return;
  }

  envmon_pwr_mgmt_update_max_pbudget(index, card_type, pid, hw_ver_maj, hw_ver_min, false);

  if (is_fc_like(card_class, card_type) &&
      envmon_pwr_is_fc_prereserve_chassis(envmon_rm->chassis_type)) {
    envmon_update_card_budget(slot, static_cast<int32_t>(card_type), pid, hw_ver_maj, hw_ver_min,
                              true, card_state);
    tlg_internal(pwrm_tlg_cmn_hdl, kFcSlotChanged, kFunc, slot, index, status_name(old),
                 status_name(now));
    if (c.status != now) {
      c.status = now;
      tlg_internal(pwrm_tlg_cmn_hdl, kFcChanged, kFunc, slot, index, card_class, card_type,
                   status_name(old), status_name(now));
      publish_alloc(c);
    }
    return;
  }

  const bool line_card = is_line_card(card_class, card_type);
  if (holds_budget(old) && !holds_budget(now)) {
    envmon_pwr_mgmt_change_to_new_pbudget(index, c.stby_zn_budget);
  } else if (!holds_budget(old) && holds_budget(now)) {
    // A card entering budget takes its mode's budget, as a granted request does.
    const uint16_t full = get_lc_max_budget(index);
    bool check = envmon_hal_are_lc_managed_remotely() != 0;
    if (p->use_redundand_pwr == 1) check = !check;
    const uint32_t role = envmon_rm->svc_role;
    if (line_card && check && role != ENVMON_ROLE_STANDBY && role != ENVMON_ROLE_NONE &&
        !platform_is_sim_platform()) {
      if (!cfg_received()) {
        c.shut_pending = 1;
      } else if (p->pwr_mgmt_action_ena != 0 && !envmon_hal_is_pwr_mgmt_ready()) {
        c.shut_pending = 1;
      } else if (p->pwr_mgmt_action_ena != 0) {
        const int32_t need = p->total_power_budget + full - c.pbudget;
        const uint32_t usable = usable_capacity(kFunc);
        if (static_cast<uint32_t>(need) > usable) {
          envmon_hal_fm_process_card_shut_on_low_budget(index, 1);
          tlg_internal(err_tlg_cmn_hdl, kShutLc, kFunc, index, need, static_cast<int>(usable));
          return;
        }
      }
    }
    envmon_pwr_mgmt_change_to_new_pbudget(index, full);
    if (envmon_hal_fm_process_card_shut_on_low_budget(index, 0) != ENVMON_OK)
      err_bump(kErrAlmRepFail);
  }
  c.status = now;
  if (line_card) {
    if (old != ENVMON_PWR_ON && now == ENVMON_PWR_ON) p->lc_powered_on_bitmap |= lc_bit(index);
    if (old == ENVMON_PWR_ON && now != ENVMON_PWR_ON) p->lc_powered_on_bitmap &= ~lc_bit(index);
  }
  if (now != old) {
    tlg_internal(pwrm_tlg_cmn_hdl, kCardChanged, kFunc, slot, index, status_name(old),
                 status_name(now), p->total_power_budget, p->lc_powered_on_bitmap);
    publish_alloc(c);
  }
  envmon_chk_n_upd_system_pwr_data(false);
}

void envmon_pwr_mgmt_set_card_state_upd_done(void) {
  if (envmon_pwr_mgmt_ready()) envmon_check_chassis_ps_alm(true);
}

}  // extern "C"
