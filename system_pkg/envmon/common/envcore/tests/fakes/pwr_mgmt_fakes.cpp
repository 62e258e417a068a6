// Recording stand-ins of power management. Part of envcore_fakes; a test
// program that links the core before the fakes builds them in as well, so
// that its own exported copies come before the core's real ones.
#include "envcore_fakes.h"

using fakes::rec;
using fakes::result;

#define R32(fn) static_cast<int32_t>(result(fn))

extern "C" {

void envmon_pwr_mgmt_handle_role_ch(void) { rec(__func__, "%s", ""); }
void envmon_pwr_mgmt_card_state_upd(uint8_t slot, int32_t cls, uint32_t type, const char* pid,
                                    int32_t a, int32_t b, int32_t state) {
  rec(__func__, "%u,%d,0x%x,%s,%d,%d,%d", slot, cls, type, pid, a, b, state);
}
void envmon_pwr_mgmt_set_card_state_upd_done(void) { rec(__func__, "%s", ""); }
int32_t envmon_pwr_mgmt_get_budget(const pelm_eid* eid, uint32_t type, const char* pid, int32_t a,
                                   int32_t b) {
  rec(__func__, "%u,0x%x,%s,%d,%d", eid->slot, type, pid != nullptr ? pid : "", a, b);
  return R32(__func__);
}
void envmon_pwr_mgmt_update_card_reload_info(const pelm_eid* eid, uint32_t type, const char* pid,
                                             int32_t a, int32_t b, uint8_t reload) {
  rec(__func__, "%u,0x%x,%s,%d,%d,%u", eid->slot, type, pid != nullptr ? pid : "", a, b, reload);
}
envmon_err_t envmon_chk_n_upd_system_pwr_data(bool force) {
  rec(__func__, "%d", force ? 1 : 0);
  return 0;
}
envmon_err_t envmon_fru_power_alloc_update_all(bool group) {
  rec(__func__, "%d", group ? 1 : 0);
  return 0;
}
void envmon_volt_value_change_event(const pelm_eid* eid, int32_t v, int32_t scope, uint64_t) {
  rec(__func__, "%u,%d,%d", eid->slot, v, scope);
}
void envmon_curr_value_change_event(const pelm_eid* eid, int32_t v, int32_t scope, uint64_t) {
  rec(__func__, "%u,%d,%d", eid->slot, v, scope);
}
bool envmon_pwr_mgmt_ready(void) {
  rec(__func__, "%s", "");
  return result(__func__) != 0;
}
envmon_err_t envmon_pwr_mgmt_update_pbudget_data(void) {
  rec(__func__, "%s", "");
  return 0;
}
void envmon_pwr_mgmt_set_action_mode(uint8_t on) { rec(__func__, "%u", on); }
envmon_err_t envmon_set_pwr_mgmt_cfg_rcvd(void) {
  rec(__func__, "%s", "");
  return 0;
}

}  // extern "C"
