// Notifications of the inventory service: sensor values and oper states,
// port-adapter oper states, and FRU insertions and removals.
#include <string.h>

#include "alarmd.h"
#include "envmon_inv_private.h"

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kNull[] = "%s(): NULL %s\n";
constexpr char kNullShort[] = "%s: NULL %s\n";
constexpr char kInvalidData[] = "%s(): invalid data received from inv\n";
constexpr char kInvalidDataShort[] = "%s: invalid data received from inv\n";
constexpr char kInvalidValue[] = "%s(): Invalid sensor value\n";
constexpr char kInvalidBase[] = "%s(): invalid base received from inv\n";
constexpr char kInvalidBaseShort[] = "%s: invalid base received from inv\n";
constexpr char kEventDebug[] = "%s(): event %d slot %d type %d subtype %d instance %d\n";
constexpr char kValueDebug[] = "%s(): name=%s value %d last %d\n";
constexpr char kThresholdDebug[] =
    "%s(): thresholds minor %d/%d major %d/%d critical %d/%d\n";
constexpr char kTempDown[] = "%s(): name=%s: oper state is down %d, or threshold not valid %d\n";
constexpr char kAltDown[] = "%s(): name=%s: oper state is down\n";
constexpr char kAltitude[] = "%s() slot %d received altitude change\n\n";
constexpr char kMpaDown[] = "%s Recieved MPA card down state\n";
constexpr char kMpaFanOk[] = "%s: slot %d  : updated fan state rc = %d\n";
constexpr char kOnlyMpa[] = "%s: Only MPA oper state event changes handled\n";
constexpr char kNotLocal[] = "%s MPA (slot %d, bay %d) not for the local LC %d \n";
constexpr char kMpaOk[] =
    "%s(): MPA OK. Register sensors with INV returns [%d] slot [%d] oper_raw_state [%d] \n";
constexpr char kPollStarted[] = "%s(): Polling started for slot [%d] oper_raw_state [%d]\n";
constexpr char kPollStopped[] = "%s(): Polling stopped for slot [%d] oper_raw_state [%d] \n";
constexpr char kPoweredUp[] =
    "%s(): MPA powered up.  Wait for oper state OK to register. slot [%d] oper_raw_state [%d] \n";
constexpr char kNotHandled[] = "%s(): oper_raw_state [%d] not handled\n";
constexpr char kLcUpdated[] = "Updated slot %d power %d\n";
constexpr char kPemUpdated[] = "Updated PEM slot %d power %d\n";
constexpr char kOwnUpdated[] = "Updated slot %d/%d power %d\n";
constexpr char kUnsupported[] = "ERR: unsupp slot %d in hw type %d\n";
constexpr char kContainerKnown[] = "%s: Container is already available!\n";
constexpr char kNotLcKind[] = "%s: Non-LC/FC/XC card type = %d\n";
constexpr char kMpaInitFailed[] = "%s: mpa init failed slot %d rc = %d\n";
constexpr char kMpaRemovalFailed[] = "%s: mpa removal failed slot %d rc = %d\n";
constexpr char kNonLocal[] = "%s: Non-local LC slot = %d\n";
constexpr char kContainer[] = "%s: LC(%d) container EID = %s\n";
constexpr char kMpaIn[] = "MPA oir inserted at slot %d\n";
constexpr char kMpaOut[] = "MPA oir out at slot %d\n";
constexpr char kMpaOpState[] = "MPA FRU OP state = %d\n";
constexpr char kRpMpaInitFailed[] = "mpa init failed slot %d rc = %d\n";
constexpr char kRpMpaRemovalFailed[] = "mpa removal failed slot %d rc = %d\n";

// Presence bits of a notification and its parts.
constexpr unsigned kBitEvent = 0, kBitValue = 1, kBitBase = 2;
constexpr unsigned kValueBitOperState = 7, kValueBitThresholds = 10, kValueBitInvalid = 11;
constexpr unsigned kBaseBitOperState = 3;

// FRU kinds of FRU events.
constexpr uint32_t kKindLcA = 3, kKindLcB = 7, kKindPem = 9;
constexpr uint32_t kKindLc = 4, kKindFc = 6, kKindXc = 16, kKindMpa = 18;
constexpr uint32_t kPemSlotFirst = 580;
constexpr uint32_t kMpaPiType = 18;
constexpr uint32_t kOperUp = 1, kOperDown = 2;
constexpr int32_t kMpaCardDown = 4, kMpaCardRemoved = 1;

bool has(const uint8_t* present, unsigned bit) { return msgcodec_test_bit(present, bit) != 0; }

bool mpa_supported_here() {
  return envmon_nm != nullptr && envmon_hal_is_mpa_supported_on_rp(envmon_nm->card_type);
}

// Splits a port-adapter slot into this card's slot and the bay.
void split_mpa_slot(uint32_t slot, uint16_t* card_slot, uint8_t* bay) {
  *card_slot = 0;
  *bay = 0;
  envmon_hal_get_mpa_bay_slot(slot, bay, card_slot);
}

// Sets an entry of a current table when its index lies inside it.
template <size_t N>
bool set_current(int32_t (&table)[N], uint32_t index, int32_t value) {
  if (index >= N) return false;
  table[index] = value;
  return true;
}

}  // namespace

bool envmon_inv_is_rp_card() {
  return envmon_nm != nullptr && envmon_is_rp_card_type(envmon_nm->card_type);
}

bool envmon_inv_is_bb_card() {
  return envmon_nm != nullptr &&
         (envmon_nm->card_type == 0x3f054c || envmon_nm->card_type == 0x3f0560);
}

extern "C" {

void envmon_inv_notify_event_cb(inv_handle_t* handle, const inv_notify_event_data* data) {
  static const char* fn = __func__;
  if (handle == nullptr || data == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNull, fn, handle == nullptr ? "hdl" : "data");
    return;
  }
  const bool value = has(&data->present, kBitValue);
  const bool base = has(&data->present, kBitBase);
  if (!has(&data->present, kBitEvent) || (!value && !base)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidData, fn);
    return;
  }
  const uint32_t event = data->event;
  const pelm_eid& eid = value ? data->value.eid : data->base.eid;
  const uint32_t slot = eid.slot;
  if (envmon_nm->temp_debug != 0) {
    const pelm_tsi* last = eid.tsi != nullptr && eid.tsi_count != 0 ? &eid.tsi[eid.tsi_count - 1]
                                                                   : nullptr;
    tlg_internal(dbg_tlg_cmn_hdl, kEventDebug, fn, static_cast<int>(event),
                 static_cast<int>(slot), last ? static_cast<int>(last->type) : 0,
                 last ? static_cast<int>(last->subtype) : 0,
                 last ? static_cast<int>(last->instance) : 0);
  }
  if (event != INV_EVENT_OPER_STATE && !value) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidValue, fn);
    return;
  }
  const inv_sensor_value& v = data->value;
  const char* name = v.name != nullptr ? v.name : "";
  if (event == INV_EVENT_TEMPERATURE) {
    if (!has(v.present, kValueBitOperState)) return;
    const bool invalid = has(v.present, kValueBitInvalid) && v.thresholds_invalid != 0;
    if (v.oper_state != kOperUp || invalid || !has(v.present, kValueBitThresholds)) {
      tlg_internal(info_tlg_cmn_hdl, kTempDown, fn, name, static_cast<int>(v.oper_state),
                   invalid ? 1 : 0);
      return;
    }
    if (envmon_nm->temp_debug != 0) {
      const inv_threshold_data& t = v.thresholds;
      tlg_internal(dbg_tlg_cmn_hdl, kValueDebug, fn, name, v.value, v.last_value);
      tlg_internal(dbg_tlg_cmn_hdl, kThresholdDebug, fn, t.minor_low, t.minor_high, t.major_low,
                   t.major_high, t.critical_low, t.critical_high);
    }
    envmon_hal_fan_mgmt_inv_temp_notification(&v, &v.thresholds, slot);
  } else if (event == INV_EVENT_ALTITUDE) {
    if (v.oper_state != kOperUp) {
      tlg_internal(info_tlg_cmn_hdl, kAltDown, fn, name);
      return;
    }
    tlg_internal(info_tlg_cmn_hdl, kAltitude, fn, static_cast<int>(slot));
    envmon_hal_fan_mgmt_inv_altitude_notification(&v);
  } else if (event == INV_EVENT_OPER_STATE) {
    if (mpa_supported_here()) {
      envmon_mpa_inv_notify_event_cb(handle, data);
      return;
    }
    if (!base) {
      tlg_internal(err_tlg_cmn_hdl, kInvalidBase, fn);
      return;
    }
    const inv_base_data& b = data->base;
    const uint32_t bslot = b.eid.slot;
    if (has(&b.present, kBaseBitOperState)) {
      const uint32_t subtype =
          b.eid.tsi != nullptr && b.eid.tsi_count != 0
              ? inv_util_get_pelm_tsi_subtype(&b.eid.tsi[b.eid.tsi_count - 1])
              : 0;
      envmon_hal_sensor_state_update(bslot, subtype, &b.eid, b.oper_state,
                                     b.name != nullptr ? b.name : "");
    }
    uint32_t idx = 0;
    if (envmon_is_mpa_slot(bslot, &idx) && b.oper_state == kOperDown) {
      tlg_internal(info_tlg_cmn_hdl, kMpaDown, fn);
      envmon_hal_fan_algo_card_state_upd(bslot, b.location.card_type, kMpaCardDown, 0);
      tlg_internal(info_tlg_cmn_hdl, kMpaFanOk, fn, static_cast<int>(bslot), 0);
    }
  }
  if (envmon_inv_is_bb_card())
    envmon_bb_update_fru_current(data);
  else
    envmon_hal_inv_capi_notify_event(data);
}

void envmon_mpa_inv_notify_event_cb(inv_handle_t* handle, const inv_notify_event_data* data) {
  static const char* fn = __func__;
  if (handle == nullptr || data == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNullShort, fn, handle == nullptr ? "hdl" : "data");
    return;
  }
  if (!has(&data->present, kBitEvent)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidDataShort, fn);
    return;
  }
  if (data->event != INV_EVENT_OPER_STATE) {
    tlg_internal(info_tlg_cmn_hdl, kOnlyMpa, fn);
    envmon_inv_notify_event_cb(handle, data);
    return;
  }
  if (!has(&data->present, kBitBase)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidBaseShort, fn);
    return;
  }
  const inv_base_data& b = data->base;
  const uint32_t slot = b.eid.slot;
  uint16_t card_slot = 0;
  uint8_t bay = 0;
  split_mpa_slot(slot, &card_slot, &bay);
  if (card_slot != envmon_nm->slot_num) {
    tlg_internal(err_tlg_cmn_hdl, kNotLocal, fn, static_cast<int>(card_slot), bay,
                 static_cast<int>(envmon_nm->slot_num));
    return;
  }
  const uint32_t raw = b.oper_state;
  switch (raw) {
    case 2: {
      const envmon_err_t rc = envmon_inv_register_mpa_sensor(bay);
      tlg_internal(info_tlg_cmn_hdl, kMpaOk, fn, static_cast<int>(rc), static_cast<int>(slot),
                   static_cast<int>(raw));
      envmon_mpa_start_stop_sensor_polling(bay, ENVMON_POLL_START);
      tlg_internal(info_tlg_cmn_hdl, kPollStarted, fn, static_cast<int>(slot),
                   static_cast<int>(raw));
      break;
    }
    case 3: case 13: case 14: case 15:
      envmon_mpa_start_stop_sensor_polling(bay, ENVMON_POLL_STOP);
      if (envmon_nm->drvif_debug != 0)
        tlg_internal(dbg_tlg_cmn_hdl, kPollStopped, fn, static_cast<int>(slot),
                     static_cast<int>(raw));
      break;
    case 16:
      tlg_internal(info_tlg_cmn_hdl, kPoweredUp, fn, static_cast<int>(slot), static_cast<int>(raw));
      break;
    default:
      tlg_internal(info_tlg_cmn_hdl, kNotHandled, fn, static_cast<int>(raw));
      break;
  }
}

void envmon_inv_noti_fru_oir_event_cb(inv_handle_t* handle, const inv_fru_oir_event* ev) {
  static const char* fn = __func__;
  if (ev == nullptr) return;
  const uint32_t kind = ev->fru_kind;
  const uint32_t slot = ev->slot;
  if (envmon_inv_is_bb_card() && ev->op == INV_FRU_OIR_REMOVED) {
    // Indexes come from the peer: a slot outside a table changes nothing.
    if (kind == kKindLcA || kind == kKindLcB) {
      if (set_current(bb_lc_fru_current_db, slot, 0))
        tlg_internal(info_tlg_cmn_hdl, kLcUpdated, static_cast<int>(slot), 0);
    } else if (kind == kKindPem) {
      if (slot >= kPemSlotFirst && set_current(bb_pem_fru_curr, slot - kPemSlotFirst, 0))
        tlg_internal(info_tlg_cmn_hdl, kPemUpdated, static_cast<int>(slot), 0);
    } else if (kind == kKindMpa) {
      if (set_current(bb_lc_fru_current_db, envmon_nm->slot_num, 0))
        tlg_internal(info_tlg_cmn_hdl, kOwnUpdated, static_cast<int>(envmon_nm->slot_num),
                     static_cast<int>(slot), 0);
    } else {
      tlg_internal(err_tlg_cmn_hdl, kUnsupported, static_cast<int>(slot), static_cast<int>(kind));
    }
  }
  if (kind != kKindMpa && envmon_nm->card_container_valid_flag == 1) {
    tlg_internal(info_tlg_cmn_hdl, kContainerKnown, fn);
    return;
  }
  if (kind != kKindLc && kind != kKindFc && kind != kKindXc && kind != kKindMpa) {
    tlg_internal(info_tlg_cmn_hdl, kNotLcKind, fn, static_cast<int>(kind));
    return;
  }
  if (kind == kKindMpa) {
    const inv_mpa_data& m = ev->mpa;
    if (ev->op == INV_FRU_OIR_INSERTED) {
      const envmon_err_t rc =
          envmon_inv_mpa_init(handle, &m.fru_eid, m.slot_id, m.pd_card_type, m.pid);
      if (rc != 0)
        tlg_internal(err_tlg_cmn_hdl, kMpaInitFailed, fn, static_cast<int>(m.slot_id),
                     static_cast<int>(rc));
    } else if (ev->op == INV_FRU_OIR_REMOVED) {
      const envmon_err_t rc = envmon_inv_handle_mpa_removal(m.slot_id, m.pd_card_type);
      if (rc != 0)
        tlg_internal(err_tlg_cmn_hdl, kMpaRemovalFailed, fn, static_cast<int>(m.slot_id),
                     static_cast<int>(rc));
    }
    return;
  }
  if (slot != envmon_nm->slot_num) {
    tlg_internal(info_tlg_cmn_hdl, kNonLocal, fn, static_cast<int>(slot));
    return;
  }
  tlg_internal(info_tlg_cmn_hdl, kContainer, fn, static_cast<int>(slot),
               eid_text(ev->cont_eid).data());
  envmon_free_tsi(&envmon_nm->card_ceid);
  inv_util_copy_pelm_eid_to_pelm_eid(&ev->cont_eid, &envmon_nm->card_ceid);
  inv_util_convert_pelm_eid_to_eid(&ev->cont_eid, &envmon_nm->card_cont_eid);
  envmon_nm->card_container_valid_flag = 1;
  // Faults declared while the container was unknown get it now.
  if (envmon_nm->fm_node_update_pending != 0 && envmon_nm->my_location != nullptr) {
    envmon_nm->fm_node_update_pending = 0;
    alarmd_fault_data_update_t update;
    alarmd_fault_data_update_init(&update);
    update.slot = envmon_nm->slot_num;
    update.cont_eid = &envmon_nm->card_ceid;
    update.location = envmon_nm->my_location;
    envmon_fm_fault_data_update(ENVMON_SCOPE_NODE, &update);
  }
}

void envmon_inv_noti_mpa_oir_event_cb(inv_handle_t* handle, const inv_fru_oir_event* ev) {
  if (ev == nullptr || ev->pi_type != kMpaPiType) return;
  const inv_mpa_data& m = ev->mpa;
  const uint32_t slot = m.slot_id;
  if (mpa_supported_here()) {
    if (ev->op == INV_FRU_OIR_INSERTED) {
      tlg_internal(info_tlg_cmn_hdl, kMpaIn, static_cast<int>(slot));
      const envmon_err_t rc = envmon_inv_mpa_init(handle, &m.fru_eid, slot, m.pd_card_type, m.pid);
      if (rc != 0)
        tlg_internal(err_tlg_cmn_hdl, kRpMpaInitFailed, static_cast<int>(slot),
                     static_cast<int>(rc));
    } else if (ev->op == INV_FRU_OIR_REMOVED) {
      tlg_internal(info_tlg_cmn_hdl, kMpaOut, static_cast<int>(slot));
      const envmon_err_t rc = envmon_inv_handle_mpa_removal(slot, m.pd_card_type);
      if (rc != 0)
        tlg_internal(err_tlg_cmn_hdl, kRpMpaRemovalFailed, static_cast<int>(slot),
                     static_cast<int>(rc));
    } else {
      tlg_internal(err_tlg_cmn_hdl, kMpaOpState, static_cast<int>(ev->op));
    }
  }
  if (ev->op != INV_FRU_OIR_REMOVED) return;
  tlg_internal(info_tlg_cmn_hdl, kMpaOut, static_cast<int>(slot));
  envmon_hal_fan_algo_card_state_upd(slot, m.pd_card_type, kMpaCardRemoved, 0);
}

}  // extern "C"
