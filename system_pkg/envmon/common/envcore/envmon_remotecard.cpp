// Remote-card proxy: rack-scope monitoring of fabric, line and switch cards
// that have no monitoring server of their own.
#include <cstdlib>

#include "envmon.h"
#include "envmon_role.h"

namespace {

constexpr const char kInit[] = "%s slot_id = %d : card_type =%d, pd_card_type =%d\n";
constexpr const char kUninit[] = "%s slot_id = %d : card_type =%d, pd_card_type=%d\n";
constexpr const char kSwInit[] = "%s SW card init\n";
constexpr const char kFabricForce[] = "%s DRELON: fabric card force init\n";
constexpr const char kNotRemote[] = "%s Invalid card_type=%d not remotely managed\n";
constexpr const char kBadSlot[] = "%s Invalid slot id=%d\n";
constexpr const char kAlready[] = "%s card_type(%d) pd_card_type(%d) initialized already\n";
constexpr const char kXmlOpen[] = "failed to open xml file, pi_hw_type=0x%x, pd_hw_type=0x%x\n";
constexpr const char kCardEid[] = "failed to get card eid type %d, subtype %d\n";
constexpr const char kConvert[] = "%s(): inv_util_convert_eid_to_pelm_eid failed for card eid\n";
constexpr const char kTempList[] = "failed to get temperature sensor list\n";
constexpr const char kVoltList[] = "failed to get voltage sensor list\n";
constexpr const char kCurrList[] = "failed to get current sensor list\n";
constexpr const char kRegFailed[] =
    "%s: Failed to register remote card card_type(%d), pd_card_type(%d) sensors = %d\n";
constexpr const char kNotInit[] =
    "%s: card(%d) is not initialized yet : card_type =%d, pd_card_type =%d\n";
constexpr const char kExiting[] = "%s:%d - exiting()\n";

constexpr uint32_t kChassisDrelon = 0x9099e;
constexpr uint32_t kSwPdType = 0x1f0806;
constexpr uint32_t kSwPdTypeDrelon = 0x1f0808;
constexpr uint32_t kFcPdTypeDrelon = 0x42094e;

// card_state bits kept by the proxy.
constexpr int32_t kRegistered = 0x1;
constexpr int32_t kInitialised = 0x100000;

// Fresh registration and polling requests on a list word.
constexpr uint32_t kRegArmed = ENVMON_ST_REG_PENDING | ENVMON_ST_RETRY_RELOAD;
constexpr uint32_t kRegClear = ENVMON_ST_REG_PENDING | ENVMON_ST_REG_DONE | ENVMON_ST_RETRY_RELOAD;
constexpr uint32_t kPollArmed = ENVMON_ST_POLL_PENDING | ENVMON_ST_RETRY_RELOAD;
constexpr uint32_t kPollClear =
    ENVMON_ST_POLL_PENDING | ENVMON_ST_POLL_DONE | ENVMON_ST_RETRY_RELOAD;

struct card_table {
  envmon_remote_card_cb* cards = nullptr;
  uint32_t count = 0;
  uint32_t pi_hw_type = 0;
  uint32_t card_subtype = 0;
};

card_table table_of(uint32_t cls) {
  envmon_rm_t& rm = *envmon_rm;
  if (cls == ENVMON_RC_CLASS_FC && envmon_hal_are_fc_managed_remotely()) {
    return {rm.fc_cb, envmon_hal_get_max_fc(), 6, 7};
  }
  if (cls == ENVMON_RC_CLASS_LC && envmon_hal_are_lc_managed_remotely()) {
    return {rm.lc_cb, envmon_hal_get_max_lc(), 4, 13};
  }
  if (cls == ENVMON_RC_CLASS_SW && envmon_hal_are_sw_managed_remotely()) {
    return {rm.sw_cb, envmon_hal_get_max_swc(), 13, 8};
  }
  return {};
}

envmon_remote_card_cb* find(const card_table& t, uint32_t slot) {
  for (uint32_t i = 0; t.cards != nullptr && i < t.count; ++i) {
    if (t.cards[i].hw_position == slot) return &t.cards[i];
  }
  return nullptr;
}

[[noreturn]] void exit_path(const char* fn, int line) {
  envmon_debug_log(kExiting, fn, line);
  exit(-1);
}

void arm(envmon_sensor_list& list, uint32_t clear, uint32_t set) {
  list.reg_state = (list.reg_state & ~clear) | set;
}

// Registers the card's sensors and asks for their polling.
envmon_err_t register_card(envmon_remote_card_cb& rec, uint32_t cls, uint32_t pd_type) {
  if (envmon_rm->inv_invreg_connected == 1 && (rec.card_state & kRegistered) != 0) return 0;
  envmon_err_t rc = envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, rec.temp_data.sensors,
                                                       rec.temp_data.count);
  if (rc == 0) arm(rec.temp_data, kRegClear, kRegArmed);
  if (rc == 0 && rec.voltage_data.count != 0) {
    rc = envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, rec.voltage_data.sensors,
                                            rec.voltage_data.count);
    arm(rec.voltage_data, kRegClear, kRegArmed);
  }
  if (rc == 0 && rec.current_data.count != 0) {
    rc = envmon_inv_invreg_register_sensors(ENVMON_SCOPE_RACK, rec.current_data.sensors,
                                            rec.current_data.count);
    arm(rec.current_data, kRegClear, kRegArmed);
  }
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kRegFailed, "envmon_remotecard_init", static_cast<int>(cls),
                 static_cast<int>(pd_type),
                 rec.temp_data.count + rec.voltage_data.count + rec.current_data.count);
    return rc;
  }
  rec.card_state |= kRegistered;
  envmon_drvif_poll_request(rec.temp_data.sensors, rec.temp_data.count, ENVMON_POLL_START,
                            ENVMON_DRV_ALL);
  arm(rec.temp_data, kPollClear, kPollArmed);
  envmon_drvif_poll_request(rec.voltage_data.sensors, rec.voltage_data.count, ENVMON_POLL_START,
                            ENVMON_DRV_ALL);
  arm(rec.voltage_data, kPollClear, kPollArmed);
  if (rec.current_data.count != 0) {
    envmon_drvif_poll_request(rec.current_data.sensors, rec.current_data.count,
                              ENVMON_POLL_START, ENVMON_DRV_ALL);
    arm(rec.current_data, kPollClear, kPollArmed);
  }
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  return 0;
}

void clear_list(envmon_sensor_list& list) {
  envmon_remotecard_free_objects(list.count, list.sensors);
  list.sensors = nullptr;
  list.count = 0;
  list.reg_state = 0;
}

}  // namespace

extern "C" {

void envmon_remotecard_free_objects(uint16_t count, envmon_sensor_info* sensors) {
  if (sensors == nullptr) return;
  for (uint16_t i = 0; i < count; ++i) envmon_free_tsi(&sensors[i].eid);
  free(sensors);
}

envmon_err_t envmon_remotecard_init(uint32_t slot_id, uint32_t card_class, uint32_t pd_card_type) {
  tlg_internal(main_tlg_cmn_hdl, kInit, __func__, static_cast<int>(slot_id),
               static_cast<int>(card_class), static_cast<int>(pd_card_type));
  if (envmon_rm == nullptr) return ENVMON_ERR_INVALID_ARG;
  envmon_rm_t& rm = *envmon_rm;
  uint32_t pd = pd_card_type;
  if (card_class == ENVMON_RC_CLASS_SW) {
    pd = rm.chassis_type == kChassisDrelon ? kSwPdTypeDrelon : kSwPdType;
    tlg_internal(main_tlg_cmn_hdl, kSwInit, __func__);
  } else if (card_class == ENVMON_RC_CLASS_FC && rm.chassis_type == kChassisDrelon) {
    tlg_internal(main_tlg_cmn_hdl, kFabricForce, __func__);
    pd = kFcPdTypeDrelon;
  }
  card_table t = table_of(card_class);
  envmon_remote_card_cb* rec = nullptr;
  if (t.cards != nullptr) {
    rec = find(t, slot_id);
  } else {
    rec = envmon_hal_get_rc_cb(slot_id, card_class, pd, &t.pi_hw_type, &t.card_subtype);
    if (rec != nullptr) {
      t.cards = rec;
      t.count = 1;
      if (rec->hw_position != slot_id) rec = nullptr;
    }
  }
  if (t.cards == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNotRemote, __func__, static_cast<int>(card_class));
    return ENVMON_ERR_INVALID_ARG;
  }
  if (rec == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kBadSlot, __func__, static_cast<int>(slot_id));
    return ENVMON_ERR_INVALID_ARG;
  }
  if ((rec->card_state & kInitialised) != 0 && rec->card_type == pd) {
    tlg_internal(main_tlg_cmn_hdl, kAlready, __func__, static_cast<int>(card_class),
                 static_cast<int>(pd));
    // A card whose registration failed is asked again rather than left
    // unmonitored for good.
    if ((rec->card_state & kRegistered) == 0) return register_card(*rec, card_class, pd);
    return 0;
  }

  inv_parser_open_req key{};
  key.pi_hw_type = t.pi_hw_type;
  key.pd_hw_type = pd;
  key.hw_major = 1;
  key.hw_minor = 0;
  inv_xml_handle_t xml = inv_parser_open_xml_file_v2(1, &key);
  rec->card_xml = xml;
  if (xml == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kXmlOpen, t.pi_hw_type, pd);
    return ENVMON_ERR_NOT_CONNECTED;
  }
  uint16_t n = 0;
  inv_eid* eids = nullptr;
  int prc = inv_parser_get_eid_by_type_subtype(xml, 6, 9, static_cast<uint8_t>(t.card_subtype), &n,
                                               &eids);
  if (prc != INV_PARSER_OK || n == 0 || eids == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kCardEid, 9, static_cast<int>(t.card_subtype));
    exit_path(__func__, __LINE__);
  }
  // A record set up before with another type still holds its entity id.
  envmon_free_tsi(&rec->ceid);
  if (inv_util_convert_eid_to_pelm_eid(&eids[0], &rec->ceid) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kConvert, __func__);
    exit_path(__func__, __LINE__);
  }
  rec->ceid.rack = ENVMON_RACK_UNKNOWN;
  rec->ceid.slot = slot_id;
  struct {
    envmon_sensor_list* list;
    uint32_t subtype;
    const char* failed;
  } const lists[] = {
      {&rec->temp_data, ENVMON_SENSOR_TEMPERATURE, kTempList},
      {&rec->voltage_data, ENVMON_SENSOR_VOLTAGE, kVoltList},
      {&rec->current_data, ENVMON_SENSOR_CURRENT, kCurrList},
  };
  for (const auto& l : lists) {
    if (envmon_util_xml_parse_n_store_info(slot_id, xml, ENVMON_ENTITY_TYPE_SENSOR, l.subtype,
                                           &l.list->count, &l.list->sensors) != 0) {
      tlg_internal(err_tlg_cmn_hdl, "%s", l.failed);
      exit_path(__func__, __LINE__);
    }
  }
  rec->card_state |= kInitialised;
  envmon_err_t rc = register_card(*rec, card_class, pd);
  rec->card_type = pd;
  envmon_obfl_write_env_temp_thresholds(rec->temp_data.sensors, rec->temp_data.count, slot_id, 1,
                                        0);
  envmon_obfl_write_env_volt_thresholds(rec->voltage_data.sensors, rec->voltage_data.count,
                                        slot_id, 1, 0);
  envmon_obfl_write_env_curr_thresholds(rec->current_data.sensors, rec->current_data.count,
                                        slot_id, 1, 0);
  inv_parser_close_xml_file(xml);
  rec->card_xml = nullptr;
  free(eids);
  return rc;
}

envmon_err_t envmon_remotecard_uninit(uint32_t slot_id, uint32_t card_class,
                                      uint32_t pd_card_type) {
  tlg_internal(main_tlg_cmn_hdl, kUninit, __func__, static_cast<int>(slot_id),
               static_cast<int>(card_class), static_cast<int>(pd_card_type));
  if (envmon_rm == nullptr) return ENVMON_ERR_INVALID_ARG;
  card_table t = table_of(card_class);
  if (t.cards == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNotRemote, __func__, static_cast<int>(card_class));
    return ENVMON_ERR_INVALID_ARG;
  }
  envmon_remote_card_cb* rec = find(t, slot_id);
  if (rec == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kBadSlot, __func__, static_cast<int>(slot_id));
    return ENVMON_ERR_INVALID_ARG;
  }
  if ((rec->card_state & kInitialised) == 0) {
    tlg_internal(info_tlg_cmn_hdl, kNotInit, __func__, static_cast<int>(slot_id),
                 static_cast<int>(card_class), static_cast<int>(pd_card_type));
    return 0;
  }
  clear_list(rec->temp_data);
  clear_list(rec->voltage_data);
  clear_list(rec->current_data);
  envmon_free_tsi(&rec->ceid);
  rec->card_state = 0;
  rec->card_type = 0;
  return 0;
}

}  // extern "C"
