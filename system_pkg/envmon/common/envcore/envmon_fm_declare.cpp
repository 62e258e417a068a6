// Fault declaration: completes a caller's fault with its location text and
// fully qualified entity id (container, extra part, partly qualified id),
// defers that completion while this card's location is unknown, and works out
// the backplane slot of shutdown requests.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "envmon.h"
#include "envmon_fm_private.h"
#include "nodeid.h"

using namespace envmon_fm;

namespace {

constexpr uint32_t kFanTrayLocType = 6;
constexpr uint32_t kFabricLocType = 3;
constexpr uint32_t kSwitchLocType = 9;
constexpr uint32_t kXcLocType = 14;
constexpr uint32_t kLineCardLocType = 0;
constexpr uint32_t kSwitchChassis[] = {0x909e2, 0x9099e};
constexpr int32_t kChassisShutdownPiSlot = 16;
constexpr size_t kLocMax = 31;

constexpr char kScopeTrace[] = "%s: ds_scope=%d, alarm_scope=%d, idx=%d\n";
constexpr char kNullInfo[] = "Null info\n";
constexpr char kHidden[] = "%s: Sensor : %s is Hide\n";
constexpr char kNotReady[] = "FM infra is not ready:hndl=0x%p, state=%d\n";
constexpr char kInvalidParams[] = "Invalid parameter(s):eid=0x%p, state=%dalarm_lvl=%d\n";
constexpr char kNodeDeferred[] =
    "%s: PQEID(%s): b'd loc(%s) with slot=%d is NULL or container(%d) is not valid!\n";
constexpr char kPiSlotFailed[] = "Failed to get PI slot=%d: rc=0x%x\n";
constexpr char kSlotTrace[] = "slot %d, slot_td %d, cont_eid %s\n";
constexpr char kNotLineCard[] = "slot_td %d not for LC\n";
constexpr char kNoDeferContainer[] = "%s: no container to defer slot=%d, PQ_EID=%s\n";
constexpr char kUnknownLoc[] = "%s: %s location with slot=%d, type=%d\n\n";
constexpr char kFqFailed[] = "%s: Failed to get fully qualified EID: eid1=%s, pq_eid=%s\n";
constexpr char kNoContainer[] = "%s: FM loc=%s, Container is not available!: PQ_EID=%s\n";
constexpr char kFmLoc[] = "%s: FM loc=%s, EID1=%s, FQ_EID=%s\n";
constexpr char kDeclare[] =
    "Fault Declare - state=%d, severity=%d, scope=%d, fault_tag=%d, fault_type=%d, hdl=0x%p, "
    "slot=%d, loc=%s, syslog_loc=%s\n\n";
constexpr char kChassisPiFailed[] = "Failed to get pi slot_num=%d: rc=%d\n";
constexpr char kChassisShutDbg[] = "%s: ### Shutdown chassis: rack_num=%d, pi_slot=%d\n";
constexpr char kChassisShut[] = "%s: Shutdown chassis: rack_num=%d, pi_slot=%d\n";
constexpr char kCardPiFailed[] = "Failed to get PI slot_num=%d: rc=%d\n";
constexpr char kCardShut[] = "%s: ### Shutdown card: rack/PD_slot/PI_slot=%d/%d/%d\n";
constexpr char kOwnerFailed[] = "Failed to set comp obj id:rc=%d\n";
constexpr char kDeclareFailed[] = "Failed to declare fault(%d:0x%lx):rc=0x%lx\n";
constexpr char kUnknown[] = "unknown";
constexpr char kNull[] = "null";

constexpr char kFunc[] = "envmon_fm_fault_report";

bool switch_chassis() {
  for (uint32_t t : kSwitchChassis)
    if (envmon_rm && envmon_rm->chassis_type == t) return true;
  return false;
}

// Entry i of an inventory-form list, when the list has it.
bool list_entry(const inv_eid* list, uint32_t count, uint32_t i, inv_eid* out) {
  if (!list || i >= count) return false;
  *out = list[i];
  return true;
}

bool class_entry(uint32_t card_class, uint32_t i, inv_eid* out) {
  const envmon_eid_list& l = envmon_rm->card_eid_list[card_class];
  return list_entry(l.eids, l.count, i, out);
}

using envmon_acq::copy_text;

// Everything a declaration resolves before the fault goes out.
struct Resolution {
  char loc[kLocMax + 1] = "";
  inv_eid container{};
  bool has_container = false;
  inv_eid extra{};
  bool has_extra = false;
  bool build_loc = false;   // the location text comes from the slot once known
  uint32_t loc_type = 0;
};

// Converts an entity id handed out by the hardware abstraction.
bool to_inv(const pelm_eid* eid, inv_eid* out) {
  return eid && inv_util_convert_pelm_eid_to_eid(eid, out) == INV_UTIL_OK;
}

// Rack scope, slots of the chassis's other units: fills the resolution or
// returns the code that ends the request (ENVMON_OK with `drop` set: nothing
// to declare).
envmon_err_t resolve_rack_slot(uint32_t slot, Resolution* r) {
  uint32_t i = 0;
  if (envmon_is_fantray_slot(slot, &i)) {
    r->has_container = list_entry(envmon_rm->fan_cont_eids, envmon_rm->fan_cont_count, i,
                                  &r->container);
    r->loc_type = kFanTrayLocType;
    r->build_loc = true;
    return ENVMON_OK;
  }
  if (envmon_is_powertray_slot(slot, &i)) {
    r->has_container = list_entry(envmon_rm->pwr_tray_cont_eids, envmon_rm->pwr_tray_count, i,
                                  &r->container);
    r->loc_type = envmon_hal_get_fm_powertray_slottype(slot);
    r->build_loc = true;
    return ENVMON_OK;
  }
  if (envmon_is_fc_slot(slot, &i)) {
    r->has_container = class_entry(ENVMON_CARD_CLASS_FC, i, &r->container);
    r->loc_type = kFabricLocType;
    r->build_loc = true;
    return ENVMON_OK;
  }
  if (switch_chassis() && envmon_is_sw_slot(slot, &i)) {
    r->has_container = class_entry(ENVMON_CARD_CLASS_SWC, i, &r->container);
    r->loc_type = kSwitchLocType;
    r->build_loc = true;
    return ENVMON_OK;
  }
  char text[kLocMax + 1] = "";
  pelm_eid* cont = nullptr;
  pelm_eid* extra = nullptr;
  if (envmon_hal_fm_configure_location_string(static_cast<int32_t>(slot), text, &cont, &extra)) {
    copy_text(r->loc, sizeof(r->loc), text);
    r->has_container = to_inv(cont, &r->container);
    r->has_extra = to_inv(extra, &r->extra);
    const bool location_known = envmon_nm && envmon_nm->my_location;
    if (!location_known && r->has_container && r->has_extra) {
      inv_eid merged{};
      if (inv_util_merge_eid(&r->container, &r->extra, &merged) == INV_UTIL_OK) {
        r->container = merged;
        r->has_extra = false;
      }
    }
    return ENVMON_OK;
  }
  if (envmon_is_mpa_slot(slot, &i)) {
    r->has_container = true;
    r->container = envmon_nm->mpa[i].inv_ceid;
    if (get_mpa_nodeid_location(slot, r->loc, sizeof(r->loc)) != 0) return ENVMON_ERR_INVALID_ARG;
    return ENVMON_OK;
  }
  int32_t slot_index = 0;
  int32_t slot_type = 0;
  int32_t slot_num = 0;
  const int rc = interpret_backplane_slotid(static_cast<int32_t>(slot), unlisted_chassis_flag(),
                                            &slot_index, &slot_type, &slot_num);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kPiSlotFailed, static_cast<int>(slot), static_cast<unsigned>(rc));
    return static_cast<envmon_err_t>(rc);
  }
  r->build_loc = true;
  if (envmon_is_rp_slot(slot, &i)) {
    r->has_container = list_entry(envmon_rm->rp_cont_eids, envmon_rm->rp_cont_count, i,
                                  &r->container);
    r->loc_type = unlisted_chassis_flag() ? 2 : 1;
  } else if (envmon_is_xc_slot(slot, &i) || envmon_is_fc_w_cpu_slot(slot, &i)) {
    const bool xc = envmon_is_xc_slot(slot, &i);
    r->has_container = class_entry(xc ? ENVMON_CARD_CLASS_XC : ENVMON_CARD_CLASS_FC, i,
                                   &r->container);
    r->loc_type = xc ? kXcLocType : kFabricLocType;
    tlg_internal(info_tlg_cmn_hdl, kSlotTrace, static_cast<int>(slot), slot_index,
                 EidText(&r->container).text);
  } else {
    const envmon_eid_list& lc = envmon_rm->card_eid_list[ENVMON_CARD_CLASS_LC];
    if (slot_index < 0 || static_cast<uint32_t>(slot_index) >= lc.count || !lc.eids) {
      // Reported as a failure: the caller's fault is not declared.
      tlg_internal(err_tlg_cmn_hdl, kNotLineCard, slot_index);
      return ENVMON_ERR_INVALID_ARG;
    }
    r->container = lc.eids[slot_index];
    r->has_container = true;
    r->loc_type = kLineCardLocType;
  }
  return ENVMON_OK;
}

}  // namespace

extern "C" envmon_err_t envmon_fm_fault_report(int32_t scope, envmon_fm_fault_req* req) {
  const uint32_t idx = index_of(scope);
  const int32_t alarm_scope = alarm_scope_of(scope);
  tlg_internal(fault_tlg_cmn_hdl, kScopeTrace, kFunc, scope, alarm_scope, static_cast<int>(idx));
  if (!req || !req->fault_data) {
    tlg_internal(err_tlg_cmn_hdl, kNullInfo);
    return ENVMON_ERR_INVALID_ARG;
  }
  alarmd_fault_data* fd = req->fault_data;

  // A sensor hidden in inventory never shows a raised fault.
  if (fd->eid) {
    envmon_sensor_info* sensor = nullptr;
    if (envmon_util_get_sensor_info(fd->eid, &sensor, static_cast<uint32_t>(scope)) == ENVMON_OK &&
        sensor) {
      uint8_t hidden = 0;
      envmon_hal_inv_invreg_is_hidden_sensor(sensor, &hidden);
      if (hidden) {
        tlg_internal(fault_tlg_cmn_hdl, kHidden, kFunc, sensor->name);
        fd->state = 2;
      }
    }
  }
  if (!ready(idx)) {
    tlg_internal(err_tlg_cmn_hdl, kNotReady, static_cast<void*>(envmon_fm_cb[idx].handle),
                 static_cast<int>(envmon_fm_cb[idx].state));
    return ENVMON_ERR_INVALID_ARG;
  }
  fd->alarm_scope = alarm_scope;
  if (!fd->eid || fd->state < 1 || fd->state > 3 || fd->alarm_level >= 6) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidParams, static_cast<void*>(fd->eid), fd->state,
                 static_cast<int>(fd->alarm_level));
    return ENVMON_ERR_INVALID_ARG;
  }

  // From here on the fault data points at the local FQ EID; every return
  // below goes through `done`, which points it back at the caller's id.
  pelm_eid* const caller_eid = fd->eid;
  OwnedEid fq;
  OwnedEid trimmed;           // copy of the caller's id, its first level dropped
  pelm_tsi* trimmed_levels = nullptr;
  fd->eid = &fq.eid;
  fd->pending = 0;
  const pelm_eid* pq = caller_eid->tsi_count >= 1 ? caller_eid : nullptr;
  const uint32_t slot = caller_eid->slot;
  const uint32_t slot_num = envmon_nm ? envmon_nm->slot_num : 0;
  const char* my_location = envmon_nm ? envmon_nm->my_location : nullptr;
  Resolution r;
  bool deferred = false;
  envmon_err_t rc = ENVMON_OK;

  auto done = [&](envmon_err_t result) {
    if (trimmed_levels) {
      trimmed.eid.tsi = trimmed_levels;
      trimmed.eid.tsi_count += 1;
    }
    fd->eid = caller_eid;
    return result;
  };

  if (idx == 0) {
    copy_text(r.loc, sizeof(r.loc), my_location);
    uint32_t bay = 0;
    if (my_location && envmon_nm->card_container_valid_flag) {
      uint32_t rp = 0;
      if (envmon_rm && envmon_is_rp_slot(slot_num, &rp)) {
        r.has_container = node_container(&r.container);
      } else if (envmon_is_mpa_slot(slot, &bay)) {
        r.container = envmon_nm->mpa[bay].inv_ceid;
        r.has_container = true;
        if (get_mpa_nodeid_location(slot, r.loc, sizeof(r.loc)) != 0)
          return done(ENVMON_ERR_INVALID_ARG);
      } else {
        r.has_container = node_container(&r.container);
      }
    } else {
      tlg_internal(fault_tlg_cmn_hdl, kNodeDeferred, kFunc, EidText(caller_eid).text,
                   my_location ? my_location : "", static_cast<int>(slot),
                   envmon_nm ? static_cast<int>(envmon_nm->card_container_valid_flag) : 0);
      if (envmon_nm) envmon_nm->fm_node_update_pending = 1;
      fd->pending = 1;
      fd->slot = slot_num;
      deferred = true;
      if (inv_util_copy_pelm_eid_to_pelm_eid(caller_eid, &fq.eid) != INV_UTIL_OK)
        return done(ENVMON_ERR_INVALID_ARG);
    }
  } else if (!envmon_rm) {
    return done(ENVMON_ERR_INVALID_ARG);
  } else if (slot == ENVMON_SLOT_SELF) {
    // A chassis-level fault: located by the rack, contained by the chassis.
    if (!envmon_is_whitebox_cluster() ||
        nodeid_RACK_to_str_external(envmon_rm->rack, r.loc, 8) != 0) {
      snprintf(r.loc, sizeof(r.loc), "%d", static_cast<int>(envmon_rm->rack));
    }
    r.has_container = to_inv(&envmon_rm->chassis_eid, &r.container);
    pq = nullptr;
    if (caller_eid->tsi_count > 1) {
      if (inv_util_copy_pelm_eid_to_pelm_eid(caller_eid, &trimmed.eid) == INV_UTIL_OK) {
        trimmed_levels = trimmed.eid.tsi;
        trimmed.eid.tsi = trimmed_levels + 1;
        trimmed.eid.tsi_count -= 1;
        pq = &trimmed.eid;
      } else {
        pq = caller_eid;
      }
    }
  } else if (slot == slot_num) {
    copy_text(r.loc, sizeof(r.loc), my_location);
    uint32_t rp = 0;
    if (envmon_is_rp_slot(slot, &rp))
      r.has_container = list_entry(envmon_rm->rp_cont_eids, envmon_rm->rp_cont_count, rp,
                                   &r.container);
  } else {
    rc = resolve_rack_slot(slot, &r);
    if (rc != ENVMON_OK) return done(rc);
  }

  if (idx == 1 && !my_location) {
    // Rack scope before this card's location is known: declared pending, and
    // completed once the location arrives.
    if (!r.has_container) {
      tlg_internal(err_tlg_cmn_hdl, kNoDeferContainer, kFunc, static_cast<int>(slot),
                   EidText(pq ? pq : caller_eid).text);
      return done(ENVMON_ERR_INVALID_ARG);
    }
    envmon_rm->fm_rack_pending_faults = 1;
    fd->pending = 1;
    fd->slot = slot;
    envmon_fm_add_pqeid_item(slot, &r.container, r.loc_type);
    r.has_container = false;
    deferred = true;
    const pelm_eid* keep = trimmed_levels ? &trimmed.eid : caller_eid;
    if (inv_util_copy_pelm_eid_to_pelm_eid(keep, &fq.eid) != INV_UTIL_OK)
      return done(ENVMON_ERR_INVALID_ARG);
  } else if (idx == 1 && r.build_loc) {
    uint32_t a = 0, b = 0, c = 0;
    if (envmon_fm_get_loc_str(slot, r.loc_type, r.loc, &a, &b, &c) != 0) {
      copy_text(r.loc, sizeof(r.loc), kUnknown);
      tlg_internal(fault_tlg_cmn_hdl, kUnknownLoc, kFunc, kUnknown, static_cast<int>(slot),
                   static_cast<int>(r.loc_type));
    }
  }

  if (!deferred) {
    rc = envmon_util_build_fq_eid(r.has_container ? &r.container : nullptr,
                                  r.has_extra ? &r.extra : nullptr, pq, &fq.eid);
    if (rc != ENVMON_OK) {
      tlg_internal(err_tlg_cmn_hdl, kFqFailed, kFunc,
                   r.has_container ? EidText(&r.container).text : kNull,
                   pq ? EidText(pq).text : kNull);
      return done(rc);
    }
  } else {
    tlg_internal(fault_tlg_cmn_hdl, kNoContainer, kFunc, r.loc, EidText(&fq.eid).text);
  }
  if (idx == 0) fq.eid.slot = slot_num;
  if (envmon_rm) fq.eid.rack = envmon_rm->rack;
  fd->timestamp = static_cast<uint64_t>(time(nullptr));
  tlg_internal(fault_tlg_cmn_hdl, kFmLoc, kFunc, r.loc,
               r.has_container ? EidText(&r.container).text : kNull, EidText(&fq.eid).text);

  // A power module's faults are located by its power tray's text.
  const char* syslog_loc = r.loc;
  uint32_t tray = 0, pem = 0;
  const envmon_pwr_mgmt_data_t* pm = envmon_rm ? envmon_rm->pwr_mgmt_data : nullptr;
  if (envmon_is_pem_slot(static_cast<int32_t>(slot), &tray, &pem) && pm &&
      pm->envmon_pwr_tray_data) {
    syslog_loc = pm->envmon_pwr_tray_data[tray].loc_str;
  }
  fd->location = r.loc;
  fd->description2 = fd->description;
  fd->description3 = fd->description;
  fd->syslog_location = syslog_loc;
  alarmd_handle_t handle = envmon_fm_cb[idx].handle;
  tlg_internal(fault_tlg_cmn_hdl, kDeclare, fd->state, static_cast<int>(fd->alarm_level),
               alarm_scope, static_cast<int>(req->fault_tag), static_cast<int>(req->fault_type),
               static_cast<void*>(handle), static_cast<int>(slot), r.loc, syslog_loc);

  if (req->shutdown_action == 1) {
    int32_t pi_slot = 0;
    const int prc = interpret_backplane_slotid(static_cast<int32_t>(slot_num),
                                               unlisted_chassis_flag(), &pi_slot, nullptr, nullptr);
    if (prc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kChassisPiFailed, static_cast<int>(slot_num), prc);
      pi_slot = kChassisShutdownPiSlot;
    }
    const int rack_num = envmon_rm ? static_cast<int>(envmon_rm->rack_num) : 0;
    fq.eid.slot = static_cast<uint32_t>(pi_slot);
    envmon_debug_log(kChassisShutDbg, kFunc, rack_num, pi_slot);
    tlg_internal(main_tlg_cmn_hdl, kChassisShut, kFunc, rack_num, pi_slot);
  } else if (req->shutdown_action == 2) {
    int32_t pi_slot = 0;
    const int32_t flag = idx == 0 ? 0 : unlisted_chassis_flag();
    const int prc = interpret_backplane_slotid(static_cast<int32_t>(slot), flag, &pi_slot, nullptr,
                                               nullptr);
    if (prc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kCardPiFailed, static_cast<int>(slot), prc);
      return done(static_cast<envmon_err_t>(prc));
    }
    envmon_debug_log(kCardShut, kFunc, static_cast<int>(fq.eid.rack), static_cast<int>(fq.eid.slot),
                     pi_slot);
    tlg_internal(main_tlg_cmn_hdl, kCardShut, kFunc, static_cast<int>(fq.eid.rack),
                 static_cast<int>(fq.eid.slot), pi_slot);
    fq.eid.slot = static_cast<uint32_t>(pi_slot);
  }

  const int64_t orc = alarmd_set_owner_comp_object_id(handle, &fq.eid);
  if (orc != 0) tlg_internal(err_tlg_cmn_hdl, kOwnerFailed, static_cast<int>(orc));
  const alarmd_fault_id_t id = alarmd_create_local_fault_id(req->fault_type, req->fault_tag);
  const int64_t drc = alarmd_fault_declare(handle, id, fd);
  if (drc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kDeclareFailed, static_cast<int>(req->fault_tag),
                 static_cast<unsigned long>(id), static_cast<unsigned long>(drc));
  }
  return done(static_cast<envmon_err_t>(drc));
}

extern "C" int32_t envmon_fm_get_loc_str(uint32_t slot, uint32_t loc_type, char* text,
                                         uint32_t* slot_index, uint32_t* value2,
                                         uint32_t* value3) {
  static constexpr char kFn[] = "envmon_fm_get_loc_str";
  static constexpr char kRackFields[] = "%s: Failed to Extract rack fields from rack 0x%x\n";
  static constexpr char kBackplane[] = "%s: Failed to Backplan info with slot=%d, rc=%d\n";
  static constexpr char kNodeid[] = "%s: Failed to get Nodeid with slot=%d, rc=%d\n";
  static constexpr char kNodeStr[] = "%s: Failed to get NodeStr with slot=%d, rc=%d\n";
  if (!text || !envmon_rm) return NODEID_EINVAL;
  int32_t flag = unlisted_chassis_flag();
  if (envmon_is_whitebox_cluster()) {
    int32_t rack_type = 0;
    const int rc = nodeid_extract_rack_fields(envmon_rm->rack, &rack_type, nullptr);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kRackFields, kFn, static_cast<unsigned>(envmon_rm->rack));
      return rc;
    }
    flag = rack_type;
  }
  int32_t out1 = 0, out2 = 0, out3 = 0;
  int rc = interpret_backplane_slotid(static_cast<int32_t>(slot), flag, &out1, &out2, &out3);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kBackplane, kFn, static_cast<int>(slot), rc);
    return rc;
  }
  if (slot_index) *slot_index = static_cast<uint32_t>(out1);
  if (value2) *value2 = static_cast<uint32_t>(out2);
  if (value3) *value3 = static_cast<uint32_t>(out3);
  nodeid_td node = nullptr;
  rc = nodeid_create2(flag, static_cast<int32_t>(envmon_rm->rack_num),
                      static_cast<int32_t>(loc_type), out3, 0, &node);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kNodeid, kFn, static_cast<int>(slot), rc);
    return rc;
  }
  rc = nodeid_to_str_external(node, text, kLocMax);
  nodeid_destroy(node);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kNodeStr, kFn, static_cast<int>(slot), rc);
    return rc;
  }
  return 0;
}
