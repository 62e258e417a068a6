// Platform-local client: this card's node id and address, and what follows
// from them (rack id, slot node ids, location, configuration start, the
// rack-scope service server, the fault manager's view of the card).
#include <cstdlib>
#include <cstring>

#include "alarmd.h"
#include "envmon.h"
#include "envmon_capi.h"
#include "nodeid.h"
#include "platform_local.h"

namespace {

constexpr const char kCreateFailed[] = "%s(): Unable to create platform_local handle, error: %d\n";
constexpr const char kConnecting[] = "%s(): connecting to platform_local CAPI srvc...\n";
constexpr const char kConnectFailed[] = "%s(): failed to connect to NM PD CAPI, error: %d\n";
constexpr const char kConnectError[] = "%s(): failed to connect, err: %u\n";
constexpr const char kConnected[] = "%s(): connected to platform_local CAPI\n";
constexpr const char kRequesting[] = "%s(): Requesting nodeid, ip addr\n";
constexpr const char kDisconnecting[] = "%s(): disconnecting from platform_local CAPI\n";
constexpr const char kErrorCb[] = "platform_local CAPI Error callback occurred. Error code: %d.\n\n";
constexpr const char kRegResp[] = "%s() CAPI callback occurred. Return code: %d.\n\n";
constexpr const char kFailure[] = "%s(): failure, return_code: %d\n";
constexpr const char kEntered[] = "Entered %s()\n";
constexpr const char kExtractFailed[] = "nodeid_extract_fields2() failed to rack, slot fields rc: %d\n";
constexpr const char kReceived[] =
    "Rcvd from platform_local: rack_type: %d, rack_num: %d, slot_type: %d, slot_num: %d\n";
constexpr const char kRackFailed[] = "nodeid_rack_create() failed, rc: %d\n";
constexpr const char kRackOk[] = "nodeid_rack_create() ok, rack = %X\n";
constexpr const char kRack[] = "rack %X\n";
constexpr const char kSlotType[] = "slot_type: %d\n";
constexpr const char kNodeScope[] = "Caching local nodeid at node scope\n";
constexpr const char kRackScope[] = "Caching local nodeid at rack scope\n";
constexpr const char kCopyFailed[] = "nodeid_create0() failed. rc: %d\n";
constexpr const char kIterate[] = "Going to iterate fru_objs_lst\n";
constexpr const char kInterpretFailed[] =
    "interpret_backplane_slotid() failed for backplane slot_num: %d, rack_type: %d. rc: %d\n";
constexpr const char kInterpreted[] =
    "rack_type: %d, rack_num: %d, pi_slot: %d, slot_type: %d, slot_num: %d\n";
constexpr const char kCreateNodeFailed[] = "nodeid_create() failed, rc: %d\n";
constexpr const char kToStrFailed[] = "nodeid_to_str_external() failed, rc: %d\n";
constexpr const char kSlotLocation[] = "%s(): slot_num: %d, location: %s\n";
constexpr const char kSlotCopyFailed[] = "nodeid_create0() failed, rc: %d\n";
constexpr const char kStored[] = "location: %s stored in fru_objs_list\n";
constexpr const char kSkipping[] = "Skipping slot_num: %d as its pelm EID is NULL\n";
constexpr const char kNoContainer[] = "%s(): cannot update container eid yet, RM invreg not connected\n";
constexpr const char kNoPrefix[] = "%s(): cannot update entity prefix yet, RM invreg not connected\n";
constexpr const char kMgblFailed[] = "%s: Failure in MGBL init!\n";
constexpr const char kMgblOk[] = "envmon_mgbl_init success\n";
constexpr const char kMgblNotCalled[] = "envmon_mgbl_init not called since chassis info not rcvd\n";
constexpr const char kLocationFailed[] = "nodeid_to_str_external() failed, error code: %d\n";
constexpr const char kLocation[] = "Received nodeid location %s\n";
constexpr const char kNoMemory[] = "insufficient memory to duplicate location.\n\n";
constexpr const char kFmFailed[] = "envmon failed to update fm on location(%s), retcode %lx\n";
constexpr const char kFmOk[] = "%s(): envmon_fm_update_location is ok! :locatoin=%s\n";
constexpr const char kRegCompleteFailed[] = "envmon failed in FM register complete, rc=0x%lx\n";
constexpr const char kRegCompleteOk[] = "%s(): alarmd_registerations_complete is ok!\n";
constexpr const char kNoLoc[] = "Did not update loc\n";
constexpr const char kGotIpLog[] = "%s: Got IP address: 0x%x\n";
constexpr const char kGotIp[] = "Got IP address: 0x%x\n";
constexpr const char kNoBoardType[] = "No board type %d yet. Dont publish IP\n";

constexpr size_t kLocationLen = 32;
constexpr int32_t kSlotTypeRp = 1;
constexpr int32_t kSlotTypeSc = 2;
constexpr int32_t kSlotTypeWhitebox = 4;

platform_local_handle_t envmon_pl_lcl_hdl = nullptr;

void envmon_pl_lcl_disconnect_cb(platform_local_handle_t, int32_t, void*) {
  tlg_internal(main_tlg_cmn_hdl, kDisconnecting, __func__);
}

void envmon_pl_lcl_error_cb(platform_local_handle_t, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kErrorCb, code);
}

void envmon_pl_lcl_nodeid_reg_resp_cb(platform_local_handle_t, void*, void*, int32_t code) {
  tlg_internal(main_tlg_cmn_hdl, kRegResp, __func__, code);
}

// Gives every inventory slot its node id and location, and pushes them on.
void walk_fru_objects(const char* fn, int32_t rack_type, int32_t rack_num) {
  envmon_rm_t& rm = *envmon_rm;
  const uint32_t slots = envmon_hal_get_max_inv_slots();
  for (uint32_t s = 0; rm.fru_objs_lst != nullptr && s < slots; ++s) {
    envmon_fru_obj& obj = rm.fru_objs_lst[s];
    int32_t pi_slot = 0;
    int32_t slot_type = 0;
    int32_t slot_num = 0;
    int rc = interpret_backplane_slotid(static_cast<int32_t>(s), rack_type, &pi_slot, &slot_type,
                                        &slot_num);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kInterpretFailed, static_cast<int>(s), rack_type, rc);
      continue;
    }
    tlg_internal(main_tlg_cmn_hdl, kInterpreted, rack_type, rack_num, pi_slot, slot_type, slot_num);
    nodeid_td tmp = nullptr;
    rc = nodeid_create(rm.rack, pi_slot, 0, &tmp);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kCreateNodeFailed, rc);
      continue;
    }
    char loc[kLocationLen] = {};
    rc = nodeid_to_str_external(tmp, loc, sizeof(loc));
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kToStrFailed, rc);
      nodeid_destroy(tmp);
      continue;
    }
    tlg_internal(main_tlg_cmn_hdl, kSlotLocation, fn, static_cast<int>(s), loc);
    nodeid_td stored = nullptr;
    rc = nodeid_create0(tmp, &stored);
    nodeid_destroy(tmp);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kSlotCopyFailed, rc);
      continue;
    }
    nodeid_destroy(static_cast<nodeid_td>(obj.nodeid));
    obj.nodeid = stored;
    char stored_loc[kLocationLen] = {};
    rc = nodeid_to_str_external(stored, stored_loc, sizeof(stored_loc));
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kToStrFailed, rc);
      continue;
    }
    tlg_internal(main_tlg_cmn_hdl, kStored, stored_loc);
    if (obj.cont_eid == nullptr) {
      tlg_internal(main_tlg_cmn_hdl, kSkipping, static_cast<int>(s));
      continue;
    }
    if (rm.inv_invreg_connected != 0) {
      envmon_inv_invreg_upd_container_eid_nodeid(obj.cont_eid, stored, ENVMON_SCOPE_RACK, s);
    } else {
      tlg_internal(main_tlg_cmn_hdl, kNoContainer, fn);
    }
    envmon_all_fpd_init_for_slot(s);
    if (rm.inv_invreg_connected != 0) {
      envmon_hal_inv_invreg_update_entity_prefix(static_cast<int32_t>(s));
    } else {
      tlg_internal(main_tlg_cmn_hdl, kNoPrefix, fn);
    }
  }
}

void start_configuration() {
  const bool chassis = (envmon_nm->misc_state & ENVMON_NM_CHASSIS_INFO_DONE) != 0;
  if (envmon_rm->svc_role == ENVMON_ROLE_ACTIVE && (envmon_hal_check_platform_skip() || chassis)) {
    if (envmon_mgbl_init(envmon_evloop) != 0) {
      envmon_debug_log(kMgblFailed, "envmon_pl_lcl_nodeid_cb");
      exit(-1);
    }
    tlg_internal(main_tlg_cmn_hdl, kMgblOk);
  } else {
    tlg_internal(main_tlg_cmn_hdl, kMgblNotCalled);
  }
}

// Location of the card from its node id, kept and given to the fault manager.
void publish_location(const char* fn, nodeid_td nodeid) {
  // The buffer starts empty so that a failed conversion never stores noise.
  char loc[kLocationLen] = {};
  int rc = nodeid_to_str_external(nodeid, loc, sizeof(loc));
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kLocationFailed, rc);
    return;  // the location already held stays
  }
  tlg_internal(main_tlg_cmn_hdl, kLocation, loc);
  char* copy = strdup(loc);
  if (copy == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoMemory);
    return;
  }
  free(envmon_nm->my_location);
  envmon_nm->my_location = copy;
  if (!envmon_is_publishing_card_type(envmon_nm->card_type)) {
    tlg_internal(main_tlg_cmn_hdl, kNoLoc);
    return;
  }
  envmon_err_t frc = envmon_fm_update_location(loc);
  if (frc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kFmFailed, loc, static_cast<unsigned long>(frc));
  } else {
    tlg_internal(main_tlg_cmn_hdl, kFmOk, fn, loc);
  }
  int arc = alarmd_registerations_complete("envmon");
  if (arc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kRegCompleteFailed, static_cast<unsigned long>(arc));
  } else {
    tlg_internal(main_tlg_cmn_hdl, kRegCompleteOk, fn);
  }
}

}  // namespace

extern "C" {

void envmon_pl_lcl_connect_cb(platform_local_handle_t h, int32_t status, void*) {
  if (status != 0) {
    tlg_internal(err_tlg_cmn_hdl, kConnectError, __func__, static_cast<unsigned>(status));
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kConnected, __func__);
  platform_local_client_hello hello{};
  hello.client_name = const_cast<char*>("envmon");
  hello.present = 0x1;
  platform_local_client_hi(h, &hello);
  tlg_internal(main_tlg_cmn_hdl, kRequesting, __func__);
  platform_local_reg_req req{};
  platform_local_register_for_my_nodeid(h, &req, nullptr);
  platform_local_reg_req addr_req{};
  platform_local_register_for_my_ip_address(h, &addr_req, nullptr);
}

void envmon_pl_lcl_nodeid_cb(platform_local_handle_t, nodeid_td nodeid, void*, int32_t status,
                             void*) {
  const char* fn = __func__;
  if (envmon_rm == nullptr || envmon_nm == nullptr) return;
  envmon_rm_t& rm = *envmon_rm;
  envmon_nm_t& nm = *envmon_nm;
  if (status != 0) {
    tlg_internal(err_tlg_cmn_hdl, kFailure, fn, status);
    envmon_check_chassis_alarms();
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kEntered, fn);
  envmon_debug_log(kEntered, fn);
  int32_t rack_type = 0;
  int32_t rack_num = 0;
  int32_t slot_type = 0;
  int32_t slot_num = 0;
  int rc = nodeid_extract_fields2(nodeid, &rack_type, &rack_num, &slot_type, &slot_num, nullptr);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kExtractFailed, rc);
    return;
  }
  tlg_internal(main_tlg_cmn_hdl, kReceived, rack_type, rack_num, slot_type, slot_num);
  envmon_debug_log(kReceived, rack_type, rack_num, slot_type, slot_num);
  rm.rack_num = static_cast<uint32_t>(rack_num);
  if (envmon_is_whitebox_cluster()) slot_type = kSlotTypeWhitebox;
  const bool rack_scope =
      slot_type == kSlotTypeRp || slot_type == kSlotTypeSc || slot_type == kSlotTypeWhitebox;
  uint32_t rack = 0;
  rc = nodeid_rack_create(rack_type, rack_num, &rack);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kRackFailed, rc);
  } else if (rack != rm.rack) {
    envmon_debug_log(kRackOk, rack);
    rm.rack = rack;
    tlg_internal(main_tlg_cmn_hdl, kRack, rack);
    if (rack_scope) envmon_hal_update_rack_num(rack);
  }
  tlg_internal(main_tlg_cmn_hdl, kSlotType, slot_type);

  if (!rack_scope) {
    if (!(nm.nodeid_valid != 0 && nodeid_compare(nodeid, static_cast<nodeid_td>(nm.nodeid)) == 0)) {
      tlg_internal(main_tlg_cmn_hdl, kNodeScope);
      nodeid_td copy = nullptr;
      rc = nodeid_create0(nodeid, &copy);
      if (rc == 0) {
        nodeid_destroy(static_cast<nodeid_td>(nm.nodeid));
        nm.nodeid = copy;
        nm.nodeid_valid = 1;
      } else {
        tlg_internal(err_tlg_cmn_hdl, kCopyFailed, rc);
      }
    }
  } else if (!(rm.rack_nodeid_valid != 0 &&
               nodeid_compare(nodeid, static_cast<nodeid_td>(rm.rack_nodeid)) == 0)) {
    tlg_internal(main_tlg_cmn_hdl, kRackScope);
    nodeid_td copy = nullptr;
    rc = nodeid_create0(nodeid, &copy);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kCopyFailed, rc);
    } else {
      nodeid_destroy(static_cast<nodeid_td>(rm.rack_nodeid));
      rm.rack_nodeid = copy;
      rm.rack_nodeid_valid = 1;
      tlg_internal(main_tlg_cmn_hdl, kIterate);
      envmon_debug_log(kIterate);
      walk_fru_objects(fn, rack_type, rack_num);
      start_configuration();
    }
  }
  publish_location(fn, nodeid);
  envmon_check_chassis_alarms();
}

void envmon_pl_lcl_ip_addr_cb(platform_local_handle_t, uint32_t* address) {
  if (address == nullptr || envmon_nm == nullptr || envmon_rm == nullptr) return;
  const uint32_t addr = *address;
  envmon_debug_log(kGotIpLog, __func__, addr);
  if (addr == envmon_nm->ip_address) return;
  tlg_internal(main_tlg_cmn_hdl, kGotIp, addr);
  envmon_nm->ip_address = addr;
  if (envmon_is_rp_card_type(envmon_nm->card_type) &&
      (envmon_nm->misc_state & ENVMON_NM_CHASSIS_INFO_DONE) != 0 &&
      envmon_rm->svc_role == ENVMON_ROLE_ACTIVE) {
    envmon_server_init(envmon_evloop, ENVMON_SCOPE_RACK);
  }
  if (envmon_is_publishing_card_type(envmon_nm->card_type)) {
    alarmd_local_vm_ip_update(addr);
  } else {
    tlg_internal(err_tlg_cmn_hdl, kNoBoardType, static_cast<int>(envmon_nm->card_type));
  }
}

envmon_err_t envmon_capi_platform_handle_init(struct evloop* loop) {
  platform_local_handle_t h = nullptr;
  int rc = platform_local_handle_create(&h, loop, nullptr);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, __func__, rc);
    return static_cast<envmon_err_t>(static_cast<int64_t>(rc));
  }
  platform_local_set_connect_callback(h, envmon_pl_lcl_connect_cb);
  platform_local_set_disconnect_callback(h, envmon_pl_lcl_disconnect_cb);
  platform_local_set_error_callback(h, envmon_pl_lcl_error_cb);
  platform_local_set_nodeid_registration_resp_callback(h, envmon_pl_lcl_nodeid_reg_resp_cb);
  platform_local_set_nodeid_callback(h, envmon_pl_lcl_nodeid_cb);
  platform_local_set_ip_address_callback(h, envmon_pl_lcl_ip_addr_cb);
  tlg_internal(main_tlg_cmn_hdl, kConnecting, __func__);
  rc = platform_local_connect(h, nullptr);
  if (rc != 0) {
    platform_local_handle_destroy(h);
    tlg_internal(err_tlg_cmn_hdl, kConnectFailed, __func__, rc);
    return static_cast<envmon_err_t>(static_cast<int64_t>(rc));
  }
  envmon_pl_lcl_hdl = h;
  return 0;
}

}  // extern "C"
