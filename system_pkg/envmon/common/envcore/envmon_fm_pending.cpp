// Faults declared before this card's location was known: the slots waiting
// for their container and location, and their completion once the location
// arrives.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "envmon.h"
#include "envmon_fm_private.h"

using namespace envmon_fm;

namespace {

constexpr char kFound[] = "%s: Found existing node with slot=%d!\n";
constexpr char kAdded[] = "%s: Node is added with slot=%d!\n";
constexpr char kNoMemory[] = "%s: Cannot allocate memory with size=%d!\n";
constexpr char kUnknownLoc[] = "%s: Unknown location with slot=%d, type=%d\n";
constexpr char kPendingNode[] = "%s: Pending node with slot=%d, loc=%s!\n";
constexpr char kNullNode[] = "%s: Null Node pointer!\n";
constexpr char kDeleted[] = "%s: Node is deleted with slot=%d!\n";
constexpr char kNotInit[] = "FM not initialized, deferring table update.\n\n";
constexpr char kLocationFailed[] =
    "failed to update the location into fm, indx: %d, handle: %ld, rc: %ld.\n\n";
constexpr char kRackPending[] = "%s: Process Rack-scoped PQEID alarms!\n";
constexpr char kUpdated[] = "update the location info into FM tables successfully.\n\n";
constexpr char kUnknown[] = "unknown";

envmon_fm_pqeid_item* g_pending = nullptr;

void set_loc(envmon_fm_pqeid_item* item, const char* text) {
  envmon_acq::copy_text(item->loc, sizeof(item->loc), text);
}

}  // namespace

extern "C" {

void envmon_fm_add_pqeid_item(uint32_t slot, const inv_eid* cont, uint32_t loc_type) {
  static constexpr char kFunc[] = "envmon_fm_add_pqeid_item";
  for (envmon_fm_pqeid_item* it = g_pending; it; it = it->next) {
    if (it->slot == slot) {
      tlg_internal(fault_tlg_cmn_hdl, kFound, kFunc, static_cast<int>(slot));
      return;
    }
  }
  auto* item = static_cast<envmon_fm_pqeid_item*>(calloc(1, sizeof(envmon_fm_pqeid_item)));
  if (!item) {
    tlg_internal(err_tlg_cmn_hdl, kNoMemory, kFunc, static_cast<int>(sizeof(envmon_fm_pqeid_item)));
    return;
  }
  item->slot = slot;
  item->loc_type = loc_type;
  if (cont) inv_util_convert_eid_to_pelm_eid(cont, &item->cont_eid);
  item->next = g_pending;
  g_pending = item;
  tlg_internal(fault_tlg_cmn_hdl, kAdded, kFunc, static_cast<int>(slot));
}

envmon_fm_pqeid_item* envon_fm_get_pending_pqeid_item(void) {
  static constexpr char kFunc[] = "envon_fm_get_pending_pqeid_item";
  envmon_fm_pqeid_item* item = g_pending;
  if (!item) return nullptr;
  g_pending = item->next;
  item->next = nullptr;
  if (item->slot == ENVMON_SLOT_SELF) {
    snprintf(item->loc, sizeof(item->loc), "%X", envmon_rm ? envmon_rm->rack : 0u);
  } else if (envmon_nm && item->slot == envmon_nm->slot_num) {
    set_loc(item, envmon_nm->my_location);
  } else {
    char text[ENVMON_FM_LOC_LEN] = "";
    pelm_eid* cont = nullptr;
    pelm_eid* extra = nullptr;
    uint32_t a = 0, b = 0, c = 0;
    if (envmon_hal_fm_configure_location_string(static_cast<int32_t>(item->slot), text, &cont,
                                                &extra)) {
      set_loc(item, text);
    } else if (envmon_fm_get_loc_str(item->slot, item->loc_type, item->loc, &a, &b, &c) != 0) {
      set_loc(item, kUnknown);
      tlg_internal(fault_tlg_cmn_hdl, kUnknownLoc, kFunc, static_cast<int>(item->slot),
                   static_cast<int>(item->loc_type));
    }
  }
  tlg_internal(fault_tlg_cmn_hdl, kPendingNode, kFunc, static_cast<int>(item->slot), item->loc);
  return item;
}

void envmon_fm_delete_pqeid_item(envmon_fm_pqeid_item* item) {
  static constexpr char kFunc[] = "envmon_fm_delete_pqeid_item";
  if (!item) {
    tlg_internal(err_tlg_cmn_hdl, kNullNode, kFunc);
    return;
  }
  tlg_internal(fault_tlg_cmn_hdl, kDeleted, kFunc, static_cast<int>(item->slot));
  envmon_free_tsi(&item->cont_eid);
  free(item);
}

envmon_err_t envmon_fm_update_location(const char* /*location*/) {
  static constexpr char kFunc[] = "envmon_fm_update_location";
  uint32_t idx = 0;
  while (idx < 2 && envmon_fm_cb[idx].handle == nullptr) ++idx;
  if (idx == 2) {
    tlg_internal(main_tlg_cmn_hdl, kNotInit);
    return ENVMON_OK;
  }
  const char* my_location = envmon_nm ? envmon_nm->my_location : nullptr;
  const int64_t rc = alarmd_set_my_location(envmon_fm_cb[idx].handle, my_location);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kLocationFailed, static_cast<int>(idx),
                 reinterpret_cast<long>(envmon_fm_cb[idx].handle), static_cast<long>(rc));
    return static_cast<envmon_err_t>(rc);
  }
  const uint32_t rack = envmon_rm ? envmon_rm->rack : ENVMON_RACK_UNKNOWN;

  if (envmon_nm && envmon_nm->fm_node_update_pending && envmon_nm->card_container_valid_flag) {
    envmon_nm->fm_node_update_pending = 0;
    inv_eid cont{};
    OwnedEid cont_eid;
    if (node_container(&cont)) inv_util_convert_eid_to_pelm_eid(&cont, &cont_eid.eid);
    cont_eid.eid.rack = rack;
    alarmd_fault_data_update_t update;
    alarmd_fault_data_update_init(&update);
    update.slot = envmon_nm->slot_num;
    update.cont_eid = &cont_eid.eid;
    update.location = my_location;
    envmon_fm_fault_data_update(ENVMON_SCOPE_NODE, &update);
  }

  if (envmon_rm && envmon_rm->fm_rack_pending_faults) {
    tlg_internal(fault_tlg_cmn_hdl, kRackPending, kFunc);
    while (envmon_fm_pqeid_item* item = envon_fm_get_pending_pqeid_item()) {
      item->cont_eid.rack = rack;
      alarmd_fault_data_update_t update;
      alarmd_fault_data_update_init(&update);
      update.slot = item->slot;
      update.chassis_level = (item->slot == ENVMON_SLOT_SELF && item->cont_eid.tsi_count < 2) ? 1 : 0;
      update.cont_eid = &item->cont_eid;
      update.location = item->loc;
      envmon_fm_fault_data_update(ENVMON_SCOPE_RACK, &update);
      envmon_fm_delete_pqeid_item(item);
    }
    envmon_rm->fm_rack_pending_faults = 0;
  }
  tlg_internal(main_tlg_cmn_hdl, kUpdated);
  return ENVMON_OK;
}

}  // extern "C"

namespace envmon_fm {
void pending_clear() {
  while (envmon_fm_pqeid_item* item = g_pending) {
    g_pending = item->next;
    envmon_free_tsi(&item->cont_eid);
    free(item);
  }
}
}  // namespace envmon_fm
