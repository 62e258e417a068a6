// Role changes: the rack scope starts on the active route processor and is
// torn down, in a fixed order, when the card leaves the active role.
#include "envmon_role.h"

#include "envmon.h"

namespace {

constexpr const char kRoleChange[] = "%s(): role-old:new=%d:%d\n";
constexpr const char kRoleChangeLog[] = "%s: role-old:new=%d:%d\n";
constexpr const char kRoleIgnored[] = "%s(): role %d is not a role, ignored\n";
constexpr const char kWhiteboxNone[] = "For whitebox do nothing when role is None\n\n";
constexpr const char kWhiteboxActive[] = "Previous role was none and its active now..ignore it..\n\n";
constexpr const char kActivate[] = "%s(): role-old:new=%d:%d Card_type.. %d Misc State.. %d\n";

// Polling is stopped with mode 4 through each sensor's own driver.
constexpr uint32_t kPollStop = 4;

bool present(const envmon_remote_card_cb& card) {
  return (card.misc_state & ENVMON_OBFL_CARD_PRESENT) != 0;
}

void start_rack_scope(uint32_t prev_role) {
  envmon_rm_t& rm = *envmon_rm;
  if (envmon_nm != nullptr && envmon_is_rp_card_type(envmon_nm->card_type) &&
      (envmon_nm->misc_state & ENVMON_NM_CHASSIS_INFO_DONE) != 0) {
    tlg_internal(main_tlg_cmn_hdl, kActivate, "envmon_role_notification",
                 static_cast<int>(prev_role), static_cast<int>(rm.svc_role),
                 static_cast<int>(envmon_nm->card_type), static_cast<int>(envmon_nm->misc_state));
    envmon_active_init();
  }
  // Otherwise the chassis-information callback starts it when it comes.
  if (envmon_hal_are_fc_managed_remotely() && rm.fc_cb != nullptr) {
    const uint32_t n = envmon_hal_get_max_fc();
    for (uint32_t i = 0; i < n; ++i) {
      envmon_remote_card_cb& c = rm.fc_cb[i];
      if (envmon_hal_check_platform_skip() || present(c)) {
        envmon_remotecard_init(c.hw_position, ENVMON_RC_CLASS_FC, c.cm_card_type);
      }
    }
  }
  if (rm.sw_cb != nullptr) {
    const uint32_t n = envmon_hal_get_max_swc();
    for (uint32_t i = 0; i < n; ++i) {
      envmon_remote_card_cb& c = rm.sw_cb[i];
      if (present(c)) envmon_remotecard_init(c.hw_position, ENVMON_RC_CLASS_SW, c.cm_card_type);
    }
  }
  if (envmon_hal_are_lc_managed_remotely() && rm.lc_cb != nullptr) {
    const uint32_t n = envmon_hal_get_max_lc();
    for (uint32_t i = 0; i < n; ++i) {
      envmon_remote_card_cb& c = rm.lc_cb[i];
      if (present(c)) {
        envmon_remotecard_init(c.hw_position, static_cast<uint32_t>(c.card_kind), c.cm_card_type);
      }
    }
  }
  if (prev_role == ENVMON_ROLE_NONE) envmon_hal_handle_role_for_pec_oir(ENVMON_ROLE_ACTIVE);
}

void release_remote_cards(envmon_remote_card_cb* cards, uint32_t n, bool managed, uint32_t cls,
                          bool use_kind) {
  if (!managed || cards == nullptr) return;
  for (uint32_t i = 0; i < n; ++i) {
    envmon_remote_card_cb& c = cards[i];
    envmon_remotecard_uninit(c.hw_position, use_kind ? static_cast<uint32_t>(c.card_kind) : cls,
                             c.cm_card_type);
  }
}

// The order matters: alarms first, the service server last.
void tear_down_rack_scope() {
  envmon_rm_t& rm = *envmon_rm;
  envmon_hal_clear_rack_scope_alarms();
  envmon_inv_invreg_rm_client_disconnect();
  envmon_capi_inv_disconnect();
  envmon_drvif_rm_poll_all_sensors(ENVMON_DRV_ALL, kPollStop);
  envmon_drvif_unregister_eid(ENVMON_DRV_FAN, 7, 2);
  envmon_drvif_unregister_eid(ENVMON_DRV_FAN2, 7, 2);
  envmon_hal_fan_mgmt_uninit();
  envmon_drvif_unregister_eid(ENVMON_DRV_POWER, 6, 2);
  envmon_drvif_unregister_eid(ENVMON_DRV_POWER, 9, 2);
  envmon_pwr_mgmt_handle_role_ch();
  release_remote_cards(rm.fc_cb, envmon_hal_get_max_fc(), envmon_hal_are_fc_managed_remotely(),
                       ENVMON_RC_CLASS_FC, false);
  release_remote_cards(rm.sw_cb, envmon_hal_get_max_swc(), envmon_hal_are_sw_managed_remotely(),
                       ENVMON_RC_CLASS_SW, false);
  release_remote_cards(rm.lc_cb, envmon_hal_get_max_lc(), envmon_hal_are_lc_managed_remotely(),
                       ENVMON_RC_CLASS_LC, true);
  envmon_server_uninit(ENVMON_SCOPE_RACK);
}

}  // namespace

extern "C" void envmon_role_notification(uint32_t role, const char* /*service_name*/) {
  if (envmon_rm == nullptr) return;
  envmon_rm_t& rm = *envmon_rm;
  rm.prev_role = rm.svc_role;
  tlg_internal(main_tlg_cmn_hdl, kRoleChange, __func__, static_cast<int>(rm.svc_role),
               static_cast<int>(role));
  envmon_debug_log(kRoleChangeLog, __func__, static_cast<int>(rm.svc_role),
                   static_cast<int>(role));
  if (role == rm.svc_role) return;
  // A number outside 1-3 is not stored: kept, it would hide an active
  // previous role from the next change and leave the rack scope running on a
  // standby card.
  if (role < ENVMON_ROLE_ACTIVE || role > ENVMON_ROLE_NONE) {
    tlg_internal(err_tlg_cmn_hdl, kRoleIgnored, __func__, static_cast<int>(role));
    return;
  }
  rm.svc_role = role;
  if (envmon_is_whitebox_cluster()) {
    if (role == ENVMON_ROLE_NONE) {
      tlg_internal(main_tlg_cmn_hdl, kWhiteboxNone);
      return;
    }
    if (rm.prev_role == ENVMON_ROLE_NONE && role == ENVMON_ROLE_ACTIVE) {
      tlg_internal(main_tlg_cmn_hdl, kWhiteboxActive);
      return;
    }
  }
  if (role == ENVMON_ROLE_ACTIVE) {
    start_rack_scope(rm.prev_role);
    return;
  }
  if (rm.prev_role == ENVMON_ROLE_ACTIVE) tear_down_rack_scope();
}
