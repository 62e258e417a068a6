// Card-manager client of the rack scope: card objects of the whole chassis
// and what each card's state means for power management, fan control,
// route-processor presence and remotely managed cards.
#include "card_mgr.h"
#include "envmon.h"
#include "envmon_capi.h"
#include "envmon_role.h"

namespace {

constexpr const char kAlreadyDone[] = "CM init is already done\n";
constexpr const char kCreateFailed[] = "%s: failed to create handle, error: %d\n";
constexpr const char kConnecting[] = "%s: connecting to CM ... \n";
constexpr const char kConnectFailed[] = "%s: failed to connect to CM, error: %d\n";
constexpr const char kCapiError[] = "%s: CAPI returned error %u\n";
constexpr const char kRegisterCalled[] = "called envmon_cm_card_event_register_req, rc = 0x%x\n";
constexpr const char kNoFilter[] = "%s: NULL msgcodec_card_obj_filter \n";
constexpr const char kRegisterRc[] = "%s: cm_object_register rc = 0x%x\n";
constexpr const char kInvoked[] = "%s invoked ... \n";
constexpr const char kErrorCode[] = "%s: error code: %d.\n";
constexpr const char kNoCardInfo[] = "%s: no card info in the msg\n";
constexpr const char kNoLocation[] = "%s: no card location in card_info for iter %d in the CM object data msg\n";
constexpr const char kNullLocation[] = "%s: NULL card_loc in card_info for iter %d in the CM object data msg\n";
constexpr const char kNoSlot[] = "%s: no card slotin card_info for iter %d in the CM object data msg\n";
constexpr const char kBadSlot[] = "%s: invalid slot %d in card_info iter %d in the CM object data msg\n";
constexpr const char kNoCardType[] = "%s: no card type in card_info for iter %d in the CM object data msg\n";
constexpr const char kNoSubType[] = "%s: no sub card type in card_info for iter %d in the CM object data msg\n";
constexpr const char kNoState[] = "%s: no card state in card_info for iter %d in the CM object data msg\n";
constexpr const char kNoSwState[] = "%s: no sw card state in card_info for iter %d in the CM object data msg\n";
constexpr const char kInvalidState[] =
    "%s: invalid card state 0x%x for slot %d, event type %d, card type %d, pd card type = 0x%x "
    "in the CM object data msg\n";
constexpr const char kRpUp[] = "Set RP inst %d TRUE for slot %d\n\n";
constexpr const char kRpDown[] = "Set RP inst %d FALSE for slot %d\n\n";
constexpr const char kRpInvalid[] = "Got card type as RP butslot %d is invalid \n";
constexpr const char kEidOutOfList[] = "%s: no entity id for card %u of class %u\n";
constexpr const char kIter[] =
    "%s: card iter %d -  slot %d, event type %d, card type %d, pd card type = 0x%x card state %d\n";

// Field bits of the card manager's records.
constexpr uint8_t kHasEventType = 0x01;
constexpr uint8_t kHasLocation = 0x04;
constexpr uint8_t kHasCardType = 0x08;
constexpr uint8_t kHasCardState = 0x10;
constexpr uint8_t kHasSubType = 0x40;
constexpr uint8_t kHasSwState = 0x80;
constexpr uint8_t kLocHasSlot = 0x02;
constexpr uint8_t kMsgHasCardInfo = 0x01;
constexpr uint8_t kFilterHasAllCards = 0x08;
constexpr uint8_t kReqHasFilter = 0x01;
constexpr uint8_t kRespHasResult = 0x01;

constexpr int32_t kEventStateChange = 1;
constexpr int32_t kEventRemoved = 2;
constexpr int32_t kStateUnknown = 255;
constexpr int32_t kPwrInvalid = 6;
constexpr int32_t kClassRp = 1;
constexpr int32_t kClassPossiblyRemoteA = 0;
constexpr int32_t kClassFabric = 3;
constexpr int32_t kClassSwitch = 9;
// Switch cards are always of this type for the card manager.
constexpr uint32_t kSwitchCardType = 2033670;

cm_handle_t g_cm = nullptr;

bool possibly_remote(int32_t card_type) {
  return card_type == kClassPossiblyRemoteA || card_type == kClassFabric ||
         card_type == kClassSwitch;
}

bool is_up(int32_t s) { return s == 3 || s == 5 || s == 6; }
bool is_down(int32_t s) { return s == 1 || s == 2 || s == 4 || s == 8; }
bool active() { return envmon_rm->svc_role == ENVMON_ROLE_ACTIVE; }

// Clears the faults of a remote card, named by its entity id in the class's
// list of the chassis description.
void clear_fault(uint32_t cls, uint32_t index) {
  const envmon_eid_list& list = envmon_rm->card_eid_list[cls];
  if (list.eids == nullptr || index >= list.count) {
    tlg_internal(err_tlg_cmn_hdl, kEidOutOfList, "envmon_cm_handle_card_state_change", index, cls);
    return;
  }
  pelm_eid eid{};
  if (inv_util_convert_eid_to_pelm_eid(&list.eids[index], &eid) == INV_UTIL_OK) {
    envmon_fm_fault_clear(1, &eid);
  }
  envmon_free_tsi(&eid);
}

void rp_step(uint32_t slot, bool up) {
  uint32_t idx = 0;
  if (!envmon_is_rp_slot(slot, &idx)) {
    tlg_internal(pwrm_tlg_cmn_hdl, kRpInvalid, static_cast<int>(slot));
    return;
  }
  tlg_internal(pwrm_tlg_cmn_hdl, up ? kRpUp : kRpDown, static_cast<int>(idx),
               static_cast<int>(slot));
  if (envmon_rm->rp_info_rcvd != nullptr) envmon_rm->rp_info_rcvd[idx] = up ? 1 : 0;
  if (!up) envmon_hal_set_db_default_on_rp_down(slot);
}

void card_up(uint32_t slot, int32_t card_type, uint32_t hw) {
  envmon_rm_t& rm = *envmon_rm;
  uint32_t i = 0;
  if (envmon_is_fc_slot(slot, &i) && envmon_hal_are_fc_managed_remotely()) {
    rm.fc_cb[i].misc_state |= ENVMON_OBFL_CARD_PRESENT;
    rm.fc_cb[i].cm_card_type = hw;
  } else if (envmon_is_sw_slot(slot, &i)) {
    rm.sw_cb[i].misc_state |= ENVMON_OBFL_CARD_PRESENT;
    rm.sw_cb[i].cm_card_type = kSwitchCardType;
  }
  if (envmon_is_lc_slot(slot, &i) && envmon_hal_are_lc_managed_remotely()) {
    rm.lc_cb[i].misc_state |= ENVMON_OBFL_CARD_PRESENT;
    rm.lc_cb[i].cm_card_type = hw;
  }
  if (active()) envmon_remotecard_init(slot, static_cast<uint32_t>(card_type), hw);
}

// A remote card that went down (state) or went away (removed, its type forgotten too).
void card_down(uint32_t slot, int32_t card_type, uint32_t hw, bool removed) {
  envmon_rm_t& rm = *envmon_rm;
  uint32_t i = 0;
  auto release = [&](envmon_remote_card_cb& c, uint32_t cls) {
    c.misc_state &= ~ENVMON_OBFL_CARD_PRESENT;
    if (removed) c.cm_card_type = 0;
    clear_fault(cls, i);
    c.temp_sensors_in_fault = 0;
  };
  if (envmon_is_fc_slot(slot, &i) && envmon_hal_are_fc_managed_remotely()) {
    release(rm.fc_cb[i], ENVMON_CARD_CLASS_FC);
  } else if (envmon_is_sw_slot(slot, &i)) {
    release(rm.sw_cb[i], ENVMON_CARD_CLASS_SWC);
  }
  if (envmon_is_lc_slot(slot, &i) && envmon_hal_are_lc_managed_remotely()) {
    release(rm.lc_cb[i], ENVMON_CARD_CLASS_LC);
  }
  if (active()) envmon_remotecard_uninit(slot, static_cast<uint32_t>(card_type), hw);
}

void envmon_cm_error_cb(cm_handle_t, int32_t code) {
  tlg_internal(err_tlg_cmn_hdl, kErrorCode, __func__, code);
}

}  // namespace

extern "C" {

int32_t envmon_cm_card_state_to_pwr_state(int32_t card_state) {
  switch (card_state) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 3;
    case 4: return 2;
    case 5: return 3;
    case 6: return 3;
    case 7: return 3;
    case 8: return 5;
    case 9:
    case 10:
    case 11: return 4;
    default: return kPwrInvalid;
  }
}

void envmon_cm_handle_card_state_change(cm_object_data_msg* msg) {
  const char* fn = __func__;
  const uint32_t max_slots = envmon_hal_get_max_inv_slots();
  const char empty_pid[19] = {};
  for (uint32_t i = 0; i < msg->card_info_count && msg->card_info != nullptr; ++i) {
    const cm_card_info& info = msg->card_info[i];
    const int iter = static_cast<int>(i);
    // A field a record lacks does not take the previous card's value: card
    // A's state must never be applied to card B.
    int32_t event_type = (info.present & kHasEventType) != 0 ? info.event_type : kEventStateChange;
    if ((info.present & kHasLocation) == 0) {
      tlg_internal(err_tlg_cmn_hdl, kNoLocation, fn, iter);
      continue;
    }
    if (info.card_loc == nullptr || info.card_loc_count == 0) {
      tlg_internal(err_tlg_cmn_hdl, kNullLocation, fn, iter);
      continue;
    }
    if ((info.card_loc[0].present & kLocHasSlot) == 0) {
      tlg_internal(err_tlg_cmn_hdl, kNoSlot, fn, iter);
      continue;
    }
    const uint32_t slot = info.card_loc[0].slot;
    if (slot >= max_slots) {
      tlg_internal(err_tlg_cmn_hdl, kBadSlot, fn, static_cast<int>(slot), iter);
      continue;
    }
    int32_t card_state = kStateUnknown;
    if ((info.present & kHasCardState) != 0) {
      card_state = info.card_state;
    } else {
      tlg_internal(err_tlg_cmn_hdl, kNoState, fn, iter);
    }
    int32_t sw_state = kStateUnknown;
    if ((info.present & kHasSwState) != 0) {
      sw_state = info.sw_card_state;
    } else {
      tlg_internal(err_tlg_cmn_hdl, kNoSwState, fn, iter);
    }
    if ((info.present & kHasCardType) == 0) {
      tlg_internal(err_tlg_cmn_hdl, kNoCardType, fn, iter);
      continue;
    }
    const int32_t card_type = info.card_type;
    if ((info.present & kHasSubType) == 0) {
      tlg_internal(err_tlg_cmn_hdl, kNoSubType, fn, iter);
      continue;
    }
    const uint32_t hw = info.sub_card_type;

    if (event_type == kEventStateChange) {
      const int32_t pwr = envmon_cm_card_state_to_pwr_state(card_state);
      if (pwr == kPwrInvalid) {
        tlg_internal(err_tlg_cmn_hdl, kInvalidState, fn, static_cast<unsigned>(card_state),
                     static_cast<int>(slot), event_type, card_type, hw);
      } else {
        envmon_pwr_mgmt_card_state_upd(static_cast<uint8_t>(slot), card_type, hw, empty_pid, 1, 0,
                                       pwr);
      }
      if (is_up(card_state)) {
        envmon_hal_fan_algo_card_state_upd(slot, hw, card_state, 1);
        if (card_type == kClassRp) rp_step(slot, true);
        if (possibly_remote(card_type)) card_up(slot, card_type, hw);
        envmon_hal_prog_mode_card_state_upd(slot, card_state, sw_state);
      } else if (is_down(card_state)) {
        if (active()) {
          envmon_hal_fan_algo_card_state_upd(slot, hw, card_state, 0);
          if (card_type == kClassRp) rp_step(slot, false);
        }
        if (possibly_remote(card_type)) card_down(slot, card_type, hw, false);
        envmon_hal_prog_mode_card_state_upd(slot, card_state, sw_state);
      }
    } else if (event_type == kEventRemoved) {
      envmon_pwr_mgmt_card_state_upd(static_cast<uint8_t>(slot), card_type, hw, empty_pid, 1, 0, 0);
      if (active()) {
        envmon_hal_fan_algo_card_state_upd(slot, hw, card_state, 0);
        if (card_type == kClassRp) rp_step(slot, false);
      }
      if (possibly_remote(card_type)) card_down(slot, card_type, hw, true);
      envmon_hal_prog_mode_card_state_upd(slot, card_state, sw_state);
      if (card_type == kClassFabric) envmon_hal_sec_fan_alarm_clear(slot);
    }
    tlg_internal(pwrm_tlg_cmn_hdl, kIter, fn, iter, static_cast<int>(slot), event_type, card_type,
                 hw, card_state);
  }
  envmon_pwr_mgmt_set_card_state_upd_done();
}

void envmon_cm_notify_object_data_cb(cm_handle_t, cm_object_data_msg* msg) {
  if (msg == nullptr || (msg->present & kMsgHasCardInfo) == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNoCardInfo, __func__);
    return;
  }
  if (envmon_rm == nullptr) return;
  envmon_cm_handle_card_state_change(msg);
}

int32_t envmon_cm_card_event_register_req(void) {
  if (g_cm == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoFilter, __func__);
    return -1;
  }
  cm_card_obj_filter filter{};
  filter.all_cards = 1;
  filter.present = kFilterHasAllCards;
  cm_object_register_req req{};
  req.card_filter = &filter;
  req.card_filter_count = 1;
  req.present = kReqHasFilter;
  int rc = cm_object_register(g_cm, &req, 0);
  tlg_internal(pwrm_tlg_cmn_hdl, kRegisterRc, __func__, static_cast<unsigned>(rc));
  if (rc == 0 && envmon_rm != nullptr) envmon_rm->cm_obj_reged = 1;
  return rc;
}

void envmon_cm_connect_cb(cm_handle_t, int32_t status, void*) {
  if (status != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCapiError, __func__, static_cast<unsigned>(status));
    return;
  }
  if (envmon_rm == nullptr) return;
  if (envmon_nm != nullptr && envmon_nm->clients != nullptr) {
    const uint32_t max = envmon_hal_get_max_clients();
    for (uint32_t i = 0; i < max; ++i) {
      if (envmon_nm->clients[i].pwr_data_registered != 0) {
        int32_t rc = envmon_cm_card_event_register_req();
        tlg_internal(pwrm_tlg_cmn_hdl, kRegisterCalled, static_cast<unsigned>(rc));
        break;
      }
    }
  }
  envmon_rm->cm_capi_connected = 1;
}

void envmon_cm_disconnect_cb(cm_handle_t, int32_t status, void*) {
  if (status != 0) tlg_internal(err_tlg_cmn_hdl, kCapiError, __func__, static_cast<unsigned>(status));
  if (envmon_rm == nullptr) return;
  envmon_rm->cm_capi_connected = 0;
  envmon_rm->cm_obj_reged = 0;
}

void envmon_cm_object_registered_cb(cm_handle_t, cm_object_register_resp* resp, void*,
                                    int32_t status, void*) {
  const int32_t result = resp != nullptr && (resp->present & kRespHasResult) != 0 ? resp->result : 0;
  if (status == 0 && result == 0) tlg_internal(main_tlg_cmn_hdl, kInvoked, __func__);
}

void envmon_cm_object_unregistered_cb(cm_handle_t, cm_object_register_resp*, void*, int32_t,
                                      void*) {
  tlg_internal(main_tlg_cmn_hdl, kInvoked, __func__);
}

envmon_err_t envmon_capi_cm_init(struct evloop* loop) {
  if (envmon_rm == nullptr) return ENVMON_ERR_INVALID_ARG;
  if (envmon_rm->cm_init_done != 0) {
    tlg_internal(err_tlg_cmn_hdl, kAlreadyDone);
    return 0;
  }
  cm_handle_t h = nullptr;
  int rc = cm_handle_create(&h, loop, 0);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kCreateFailed, __func__, rc);
    return static_cast<envmon_err_t>(static_cast<int64_t>(rc));
  }
  cm_set_connect_callback(h, envmon_cm_connect_cb);
  cm_set_disconnect_callback(h, envmon_cm_disconnect_cb);
  cm_set_object_registered_callback(h, envmon_cm_object_registered_cb);
  cm_set_notify_object_data_callback(h, envmon_cm_notify_object_data_cb);
  cm_set_object_unregistered_callback(h, envmon_cm_object_unregistered_cb);
  cm_set_error_callback(h, envmon_cm_error_cb);
  tlg_internal(main_tlg_cmn_hdl, kConnecting, __func__);
  rc = cm_connect(h, nullptr);
  if (rc != 0) {
    cm_handle_destroy(h);
    tlg_internal(err_tlg_cmn_hdl, kConnectFailed, __func__, rc);
    return static_cast<envmon_err_t>(static_cast<int64_t>(rc));
  }
  g_cm = h;
  envmon_rm->cm_init_done = 1;
  return 0;
}

}  // extern "C"
