// Fault-manager glue for power modules, trays and shelves: repeat marks,
// the action handler, fault locations and the tags of platform faults.
#include <cstdio>

#include "envmon_pem_private.h"
#include "nodeid.h"

namespace {

constexpr uint32_t kRepeatable[] = {43, 26, 23, 24, 54, 48, 56, 103};
constexpr uint32_t kTagIdpromAccess = 42;
constexpr uint32_t kTagTrayRemoved = 31;
constexpr uint32_t kTagTrayInserted = 32;
constexpr uint32_t kTagTrayUndetected = 53;
constexpr uint32_t kTagShelfUndetected = 52;
constexpr uint32_t kPowerShelfSubtype = 44;
constexpr size_t kLocationSize = 32;

bool known_tag(long tag) {
  if ((tag >= 5 && tag <= 25) || (tag >= 31 && tag <= 40) || (tag >= 47 && tag <= 49) || (tag >= 51 && tag <= 56))
    return true;
  for (long t : {43L, 71L, 72L, 74L, 75L, 78L, 103L, 137L, 138L, 150L})
    if (tag == t) return true;
  return false;
}

}  // namespace

extern "C" {

void envmon_pem_fm_rm_set_repeatable(struct alarmd_handle* handle) {
  for (uint32_t tag : kRepeatable) alarmd_set_action_repeat(handle, alarmd_create_local_fault_id(pem::kFaultType, tag), 1);
}

int envmon_pem_fm_rm_action_handler(struct alarmd_handle* /*handle*/, struct alarmd_fault* fault, uint32_t /*action*/,
                                    void* /*data*/, uint32_t /*data_len*/, void* /*ctx*/) {
  const long tag = alarmd_get_fault_tag(fault);
  if (!known_tag(tag)) tlg_internal(fault_tlg_pem_hdl, "Unknown fault_tag=%ld\n", tag);
  return 0;
}

int32_t envmon_pem_fm_configure_location_string(int32_t slot, char* location, pelm_eid** eid1, pelm_eid** eid2) {
  uint32_t t = 0, i = 0;
  if (!envmon_is_pem_slot(slot, &t, &i)) return 0;
  pem_record* p = pem::pem_at(t, i);
  inv_util_convert_pelm_eid_to_eid(&p->cont_eid, &pem_cont_inv_eid);
  if (pem::real_trays()) {
    envmon_pwr_tray_budget* b = pem::tray_budget(t);
    if (location != nullptr) pem::format(location, kLocationSize, "%s-PM%d", b != nullptr ? b->loc_str : "", i);
    if (eid1 != nullptr) *eid1 = b != nullptr ? &b->eid : nullptr;
    if (eid2 != nullptr) *eid2 = &p->cont_eid;
    return 1;
  }
  const uint32_t per_tray = pd_power_tray_info[0].num_pems;
  const int pm_number = static_cast<int>(t * per_tray + i);
  if (envmon_is_whitebox_cluster()) {
    char rack[8] = "";
    const int rc = nodeid_RACK_to_str_external(envmon_rm != nullptr ? envmon_rm->rack : 0, rack, sizeof rack);
    if (rc != 0) {
      tlg_internal(err_tlg_pem_hdl, "%s, Rack ID to string failed\n", __func__);
      return rc;
    }
    if (location != nullptr) pem::format(location, kLocationSize, "%s/PM%d", rack, pm_number);
  } else if (location != nullptr) {
    pem::format(location, kLocationSize, "%d/PM%d", envmon_rm != nullptr ? static_cast<int>(envmon_rm->rack_num) : 0,
                  pm_number);
  }
  if (eid1 != nullptr) *eid1 = &p->cont_eid;
  return 1;
}

envmon_fm_fault_req* envmon_hal_fm_configure_idprom_access_failure(envmon_fm_fault_req* req) {
  if (req != nullptr) req->fault_tag = kTagIdpromAccess;
  return req;
}

uint32_t envmon_pem_fm_configure_powertray_oir_fault(envmon_fm_fault_req* req, uint8_t inserted) {
  if (req != nullptr) {
    req->fault_type = pem::kFaultType;
    req->fault_tag = inserted ? kTagTrayInserted : kTagTrayRemoved;
  }
  uint32_t* counter = envmon_stats_counter(envmon_pwrm_oper_stats_hdl, inserted ? pem::kPTinsertion : pem::kPTremoval);
  return counter != nullptr ? envmon_stats_add(counter, 1) : 0;
}

void envmon_pem_fm_configure_hw_undetected_failure(pelm_eid* eid, envmon_fm_fault_req* req, char* text) {
  if (eid == nullptr || req == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "passed NULL pointer to get fault tag for PEM HW undetected failure\n");
    return;
  }
  uint32_t index = 0;
  if (envmon_is_powertray_slot(eid->slot, &index)) {
    req->fault_tag = kTagTrayUndetected;
    return;
  }
  if (eid->tsi != nullptr && eid->tsi_count > 0 && eid->tsi[eid->tsi_count - 1].subtype == kPowerShelfSubtype) {
    req->fault_tag = kTagShelfUndetected;
    const uint32_t instance = eid->tsi[eid->tsi_count - 1].instance;
    if (instance != 0 && text != nullptr) pem::format(text, 256, "%s %d", "Power Shelf", instance - 1);
    return;
  }
  tlg_internal(err_tlg_pem_hdl, "passed eid %s to get fault tag for HW undetected failure\n", pem::EidText(eid).text);
}

}  // extern "C"
