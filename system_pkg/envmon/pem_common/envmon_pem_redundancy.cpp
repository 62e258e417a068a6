// Redundancy of the power modules against the allocated budget: the mode
// from the configured count of redundant PEMs, the chassis alarms that follow
// from it, and the PEM side of the system power figures.
#include "envmon_msgs.h"
#include "envmon_pem_private.h"

namespace {

constexpr int32_t kModeTrayGroups = 0;
constexpr int32_t kModeNPlusN = 1;
constexpr int32_t kModeNone = 2;
constexpr uint8_t kNotConfigured = 255;

void count_failed(envmon_err_t rc) {
  if (rc != ENVMON_OK) pem::count_error();
}

uint32_t available_current(const pem_record& p) {
  const uint64_t a = p.alarms;
  auto lost = [&](uint32_t x, uint32_t y) { return pem::alarm_set(a, x) || pem::alarm_set(a, y); };
  switch (p.pem_raw_data.pem_type) {
    case 0xAB010020:
    case 0xAB010030:
      return ((p.hw_events >> 20) & 0x7ffu) * 100;
    case 0xF00388:
    case 0xF00188:
    case 0xF11993:
    case 0xF0038B:
    case 0xF11990:
    case 0xF0038D:
      return 57100;
    case 0xAB010000:
    case 0xAB010001:
      return 16000;
    case 0xAB010010:
      return (lost(32, 24) ? 0 : 45000) + (lost(33, 25) ? 0 : 45000);
    case 0xAB010040:
      return (lost(32, 24) ? 0 : 60000) + (lost(33, 25) ? 0 : 60000) + (lost(34, 30) ? 0 : 60000);
    case 0xAB010309:
      return lost(32, 24) ? 0 : 60000;
    case 0xAB010308:
      return lost(35, 24) ? 0 : 60000;
    default:
      return 40000;
  }
}

}  // namespace

extern "C" {

void envmon_pem_pwr_mgmt_set_redundancy_num_pems(uint8_t count) {
  envmon_pwr_mgmt_data_t* p = pem::pm();
  int32_t mode = kModeTrayGroups;
  if (count == kNotConfigured) {
    pd_power_supplies_data.redundancy_num_pems = 0;
  } else {
    pd_power_supplies_data.redundancy_num_pems = count;
    mode = count > 0 ? kModeNPlusN : kModeNone;
  }
  if (p != nullptr) p->red_mode = mode;
  envmon_debug_log("%s: red num pems %d, redundnacy mode %d", __func__, pd_power_supplies_data.redundancy_num_pems,
                   mode);
  tlg_internal(pwrm_tlg_pem_hdl, "%s: red num pems %d, redundnacy mode %d\n", __func__,
               pd_power_supplies_data.redundancy_num_pems, mode);
  envmon_check_chassis_ps_alm(true);
}

void envmon_get_pwr_tray_grp_capacity(uint32_t* group_a, uint32_t* group_b) {
  uint32_t a = 0, b = 0;
  const uint32_t half = pem::tray_count() / 2;
  for (uint32_t t = 0; pd_power_tray_info != nullptr && t < 2 * half; ++t)
    (t < half ? a : b) += pd_power_tray_info[t].tray_capacity;
  if (group_a != nullptr) *group_a = a;
  if (group_b != nullptr) *group_b = b;
}

// The answer is what was decided; the core does not read it as a failure.
envmon_err_t envmon_pem_pwr_mgmt_check_chassis_pwr_supply_alarms(void) {
  envmon_pwr_mgmt_data_t* p = pem::pm();
  if (p == nullptr) return ENVMON_OK;
  const uint32_t tc = p->total_capacity;
  const uint32_t tpb = static_cast<uint32_t>(p->total_power_budget);
  const uint32_t per_pem = pd_power_supplies_data.power_for_pem_redundancy;
  const uint32_t reserve = per_pem * pd_power_supplies_data.redundancy_num_pems;
  if (p->red_mode == kModeNPlusN || p->red_mode == kModeNone) {
    p->act_red_mode = 1;
    envmon_process_chassis_ps_alm(1, 0);
    if (p->red_mode == kModeNPlusN) {
      const bool lost = reserve >= tc || tc - reserve < tpb;
      if (lost)
        tlg_internal(pwrm_tlg_pem_hdl, "Raising redundancy lost alarm : TC = %d, RP=%d, TPB=%d\n", tc, reserve, tpb);
      count_failed(envmon_process_chassis_ps_alm(2, lost ? 1 : 0));
    } else {
      p->act_red_mode = 2;
      envmon_process_chassis_ps_alm(2, 0);
    }
  } else {
    envmon_process_chassis_ps_alm(2, 0);
    uint32_t a = 0, b = 0;
    envmon_get_pwr_tray_grp_capacity(&a, &b);
    const bool short_group = a < tpb || b < tpb;
    count_failed(envmon_process_chassis_ps_alm(1, short_group ? 1 : 0));
    p->act_red_mode = short_group ? 1 : 0;
  }
  if (p->pwr_mgmt_action_ena && tc < tpb) envmon_pwr_mgmt_shutdown_entities();
  count_failed(envmon_process_chassis_ps_alm(6, tc < tpb ? 1 : 0));
  // Losing one PEM would leave less than the budget: no redundancy in force.
  if (per_pem >= tc || tc - per_pem < tpb) p->act_red_mode = 2;
  return ENVMON_OK;
}

bool envmon_pem_check_n_update_system_pwr_data(struct envmon_sys_pwr_data* data, uint8_t /*force*/) {
  envmon_pwr_mgmt_data_t* p = pem::pm();
  if (data == nullptr || p == nullptr) return false;
  const uint32_t tc = p->total_capacity;
  const uint32_t tpb = static_cast<uint32_t>(p->total_power_budget);
  const uint32_t per_pem = pd_power_supplies_data.power_for_pem_redundancy;
  const uint32_t reserve = per_pem * pd_power_supplies_data.redundancy_num_pems;
  uint32_t usable = tc, prot = 0;
  if (p->red_mode == kModeTrayGroups) {
    envmon_get_pwr_tray_grp_capacity(&usable, &prot);
  } else if (p->red_mode == kModeNPlusN && tpb < tc) {
    if (tc - tpb < reserve) {
      // The PEMs needed to carry the budget; never more than there is.
      const uint32_t needed = (tpb + per_pem - 1) / per_pem;
      usable = std::min(per_pem * needed, tc);
      prot = tc - usable;
    } else {
      prot = reserve;
      usable = tc - reserve;
    }
  }
  data->usable_pwr = static_cast<int32_t>(usable);
  data->prot_pwr = static_cast<int32_t>(prot);
  pem::for_each_pem([&](uint32_t, uint32_t, pem_record& rec) {
    const bool drawing = rec.current != 0 && !pem::alarm_set(rec.alarms, 17);
    if (!drawing && !pem::usable(rec.status)) return;
    data->total_available_current += static_cast<int32_t>(available_current(rec));
    data->total_drawn_current += static_cast<int32_t>(rec.current);
  });
  return true;
}

void envmon_pem_capi_notify_sys_pwr_data(const struct envmon_sys_pwr_data* data,
                                         struct envmon_notif_sys_pwr_data* payload) {
  if (data == nullptr || payload == nullptr || data->cnf_pwr_red_mode != kModeNPlusN) return;
  // The notification hook names the service's record opaquely.
  auto* n = reinterpret_cast<notif_sys_pwr_data*>(payload);
  n->cnf_pwr_red_mode |= pd_power_supplies_data.redundancy_num_pems << 16;
  n->present |= NOTIF_SYS_PWR_DATA_HAS_CNF_PWR_RED_MODE;
}

void envmon_set_min_pems_per_tray_grp(uint8_t count) {
  uint32_t min_pems = count;
  if (count == kNotConfigured) {
    min_pems = 0;
    const uint32_t trays = pem::tray_count();
    for (uint32_t t = 0; pd_power_tray_info != nullptr && t < trays; ++t) {
      const envmon_pwr_tray_budget* b = pem::tray_budget(t);
      if (b == nullptr || b->state != 1 || pd_power_tray_info[t].num_pems == 0) continue;
      min_pems = (trays / 2) * pd_power_tray_info[t].num_pems;
      break;
    }
  }
  tlg_internal(pwrm_tlg_pem_hdl, "%s: min pems %d\n", __func__, static_cast<uint8_t>(min_pems));
  envmon_chk_n_upd_system_pwr_data(false);
}

bool envmon_pem_is_pwr_mgmt_ready(void) {
  if (pd_power_supplies_data.all_pem_info_rcvd == 1) return true;
  tlg_internal(pwrm_tlg_pem_hdl, "pwr_mgmt not ready - PEM config info not ready\n");
  return false;
}

}  // extern "C"
