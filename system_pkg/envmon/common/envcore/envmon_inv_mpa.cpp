// Port-adapter (MPA) bays of this card: the description and sensor lists of
// an inserted MPA, their registration with inventory, their polling, and
// their removal.
#include <stdlib.h>
#include <string.h>

#include "envmon_inv_private.h"

extern "C" {
#include <safe_str_lib.h>
}

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kSplit[] = "slot_id = %d : bay %d, slot %d  pd_card_type =%d\n";
constexpr char kNotLocal[] = "MPA (slot %d, bay %d) not for the local LC %d \n";
constexpr char kNotLocalFn[] = "%s MPA (slot %d, bay %d) not for the local LC %d \n";
constexpr char kInvalidBay[] = "Invalid bay = %d\n";
constexpr char kInvalidBayFn[] = "%s Invalid bay = %d\n";
constexpr char kInvalidBayColon[] = "%s: Invalid bay = %d\n";
constexpr char kInitialised[] = "%s bay %d pd_card_type(%d) initialized already\n";
constexpr char kOpenFailed[] = "failed to open xml file, pi_hw_type=0x%x, pd_hw_type=0x%x\n";
constexpr char kNoMpaEid[] = "failed to get MPA eid\n";
constexpr char kConvertFailed[] = "inv_util_convert_eid_to_pelm_eid failed for MPA eid\n";
constexpr char kNoTempList[] = "failed to get temperature sensor list\n";
constexpr char kNoVoltList[] = "failed to get voltage sensor list\n";
constexpr char kNoCurrList[] = "failed to get current sensor list\n";
constexpr char kRegFailed[] = "%s: Failed to register for pd_card_type(%d) sensors = %d\n";
constexpr char kTempState[] = "%s(): bay [%d] temp_data.reg_state [0x%X]\n";
constexpr char kVoltState[] = "%s(): bay[%d] voltage_data.reg_state [0x%X]\n";
constexpr char kCurrState[] = "%s(): bay [%d] current_data.reg_state [0x%X]\n";
constexpr char kNoTable[] = "%s: mpa_cb null\n";
constexpr char kNotRegistered[] =
    "Registration did not complete successfully.                        Avoid unregister.\n\n";
constexpr char kUnregistering[] = "%s: unregister MPA sensors on bay [%d] logic_slot [%d]\n";
constexpr char kUnregTemp[] = "failed to unregister temp sensors for MPA\n";
constexpr char kUnregVolt[] = "failed to unregister voltage sensors for MPA\n";
constexpr char kUnregCurr[] = "failed to unregister current sensors for MPA\n";
constexpr char kRegistering[] = "%s(): Registering for MPA OPER state change notification\n";
constexpr char kRegisterFailed[] =
    "%s(): Failed to register for MPA operstate event callback.error rc = %d\n";

constexpr uint32_t kMpaPiType = 18;
constexpr uint32_t kXmlModeMpa = 2;
constexpr uint32_t kEntityCategory = 6;
constexpr uint8_t kMpaType = 9;
constexpr uint8_t kMpaSubtype = 63;
constexpr uint32_t kHwMajor = 0, kHwMinor = 1;
constexpr size_t kPidMax = 36;
constexpr uint32_t kBayRegistered = 0x1;
constexpr uint32_t kListPolling = 0x100;
constexpr uint32_t kSensorDown = 0x40;
constexpr uint32_t kCardEntityType = 9;

bool debug_on() { return envmon_nm->drvif_debug != 0; }

uint32_t mpa_scope() {
  return envmon_hal_is_mpa_supported_on_rp(envmon_nm->card_type) ? ENVMON_SCOPE_RACK
                                                                 : ENVMON_SCOPE_NODE;
}

// The bay of an MPA slot of this card, or null after tracing why not.
envmon_mpa_cb* local_bay(const char* fn, uint32_t slot_id, uint8_t* bay_out, bool with_fn) {
  uint8_t bay = 0;
  uint16_t card_slot = 0;
  envmon_hal_get_mpa_bay_slot(slot_id, &bay, &card_slot);
  *bay_out = bay;
  if (card_slot != envmon_nm->slot_num) {
    if (with_fn)
      tlg_internal(err_tlg_cmn_hdl, kNotLocalFn, fn, static_cast<int>(card_slot), bay,
                   static_cast<int>(envmon_nm->slot_num));
    else
      tlg_internal(err_tlg_cmn_hdl, kNotLocal, static_cast<int>(card_slot), bay,
                   static_cast<int>(envmon_nm->slot_num));
    return nullptr;
  }
  if (envmon_nm->mpa == nullptr || bay >= envmon_nm->max_mpa) {
    if (with_fn)
      tlg_internal(err_tlg_cmn_hdl, kInvalidBayColon, fn, bay);
    else
      tlg_internal(err_tlg_cmn_hdl, kInvalidBay, bay);
    return nullptr;
  }
  return &envmon_nm->mpa[bay];
}

bool initialised(const envmon_mpa_cb& b) { return (b.state & ENVMON_MPA_LISTS_BUILT) != 0; }

}  // namespace

extern "C" {

int32_t envmon_mpa_register_for_oper_state_change(void* inv_handle) {
  static const char* fn = __func__;
  if (debug_on()) tlg_internal(dbg_tlg_cmn_hdl, kRegistering, fn);
  inv_event_reg_req req{kCardEntityType, kMpaSubtype, 1, INV_EVENT_OPER_STATE, 0xf};
  const int rc = inv_register_event(static_cast<inv_handle_t*>(inv_handle), &req, 1);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kRegisterFailed, fn, rc);
  return rc;
}

envmon_err_t envmon_inv_mpa_init(void* inv_handle, const pelm_eid* fru_eid, uint32_t slot_id,
                                 uint32_t pd_card_type, const char* pid) {
  static const char* fn = __func__;
  if (envmon_nm == nullptr) return ENVMON_ERR_INVALID_ARG;
  uint8_t bay = 0;
  uint16_t card_slot = 0;
  envmon_hal_get_mpa_bay_slot(slot_id, &bay, &card_slot);
  tlg_internal(info_tlg_cmn_hdl, kSplit, static_cast<int>(slot_id), bay,
               static_cast<int>(card_slot), static_cast<int>(pd_card_type));
  uint8_t checked_bay = 0;
  envmon_mpa_cb* b = local_bay(fn, slot_id, &checked_bay, false);
  if (b == nullptr) return ENVMON_ERR_INVALID_ARG;
  const bool supported = envmon_hal_is_mpa_supported_on_rp(envmon_nm->card_type);
  if (initialised(*b) && b->card_type == pd_card_type) {
    if (supported) envmon_mpa_register_for_oper_state_change(inv_handle);
    tlg_internal(info_tlg_cmn_hdl, kInitialised, fn, bay, static_cast<int>(pd_card_type));
    return ENVMON_OK;
  }
  inv_parser_open_req req{};
  req.pi_hw_type = kMpaPiType;
  req.pd_hw_type = pd_card_type;
  req.hw_major = kHwMajor;
  req.hw_minor = kHwMinor;
  if (pid != nullptr) strncpy_s(req.pid, sizeof(req.pid), pid, kPidMax);
  b->xml = inv_parser_open_xml_file_v2(kXmlModeMpa, &req);
  if (b->xml == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kOpenFailed, kMpaPiType, pd_card_type);
    return ENVMON_ERR_NOT_CONNECTED;
  }
  uint16_t n = 0;
  inv_eid* found = nullptr;
  const int prc = inv_parser_get_eid_by_type_subtype(b->xml, kEntityCategory, kMpaType,
                                                     kMpaSubtype, &n, &found);
  if (prc != INV_PARSER_OK || n == 0 || found == nullptr) {
    free(found);
    tlg_internal(err_tlg_cmn_hdl, kNoMpaEid);
    // The bay stays free: nothing of the description is kept.
    inv_parser_close_xml_file(b->xml);
    b->xml = nullptr;
    return ENVMON_ERR_NOT_CONNECTED;
  }
  envmon_free_tsi(&b->ceid);
  if (inv_util_convert_eid_to_pelm_eid(&found[0], &b->ceid) != INV_UTIL_OK)
    tlg_internal(err_tlg_cmn_hdl, kConvertFailed);
  b->ceid.rack = ENVMON_RACK_UNKNOWN;
  b->ceid.slot = slot_id;
  if (envmon_util_xml_parse_n_store_info(slot_id, b->xml, ENVMON_ENTITY_TYPE_SENSOR,
                                         ENVMON_SENSOR_TEMPERATURE, &b->temp_data.count,
                                         &b->temp_data.sensors) != 0)
    tlg_internal(err_tlg_cmn_hdl, kNoTempList);
  if (envmon_util_xml_parse_n_store_info(slot_id, b->xml, ENVMON_ENTITY_TYPE_SENSOR,
                                         ENVMON_SENSOR_VOLTAGE, &b->voltage_data.count,
                                         &b->voltage_data.sensors) != 0)
    tlg_internal(err_tlg_cmn_hdl, kNoVoltList);
  const envmon_err_t rc = envmon_util_xml_parse_n_store_info(
      slot_id, b->xml, ENVMON_ENTITY_TYPE_SENSOR, ENVMON_SENSOR_CURRENT, &b->current_data.count,
      &b->current_data.sensors);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kNoCurrList);
  b->state |= ENVMON_MPA_LISTS_BUILT;
  b->card_type = pd_card_type;
  if (fru_eid != nullptr) inv_util_convert_pelm_eid_to_eid(fru_eid, &b->inv_ceid);
  inv_parser_close_xml_file(b->xml);
  b->xml = nullptr;
  envmon_mpa_register_for_oper_state_change(inv_handle);
  free(found);
  return rc;
}

envmon_err_t envmon_inv_register_mpa_sensor(uint8_t bay) {
  static const char* fn = __func__;
  if (envmon_nm == nullptr || envmon_nm->mpa == nullptr || bay >= envmon_nm->max_mpa) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidBayFn, fn, bay);
    return ENVMON_ERR_INVALID_ARG;
  }
  envmon_mpa_cb& b = envmon_nm->mpa[bay];
  if (envmon_nm->inv_invreg_connected == 0 || !initialised(b)) return ENVMON_OK;
  const uint32_t scope = mpa_scope();
  envmon_sensor_list* lists[] = {&b.temp_data, &b.voltage_data, &b.current_data};
  for (envmon_sensor_list* l : lists) {
    if (l->sensors == nullptr || l->count == 0) continue;
    const envmon_err_t rc = envmon_inv_invreg_register_sensors(scope, l->sensors, l->count);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kRegFailed, fn, static_cast<int>(b.card_type),
                   static_cast<int>(rc));
      return rc;
    }
    l->reg_state = stamp_reg(l->reg_state);
  }
  b.state |= kBayRegistered;
  return ENVMON_OK;
}

void envmon_mpa_start_stop_sensor_polling(uint8_t bay, uint32_t mode) {
  static const char* fn = __func__;
  if (envmon_nm == nullptr || envmon_nm->mpa == nullptr || bay >= envmon_nm->max_mpa) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidBayFn, fn, bay);
    return;
  }
  envmon_mpa_cb& b = envmon_nm->mpa[bay];
  const uint32_t scope = mpa_scope();
  envmon_sensor_list* lists[] = {&b.temp_data, &b.voltage_data, &b.current_data};
  for (envmon_sensor_list* l : lists) {
    if (l->sensors == nullptr || l->count == 0) continue;
    if (mode == ENVMON_POLL_START) {
      envmon_drvif_poll_request(l->sensors, l->count, ENVMON_POLL_START, ENVMON_DRV_ALL);
      l->reg_state |= kListPolling;
    } else {
      envmon_drvif_poll_request(l->sensors, l->count, ENVMON_POLL_STOP, ENVMON_DRV_ALL);
      l->reg_state &= ~kListPolling;
      for (uint16_t i = 0; i < l->count; ++i)
        envmon_update_oper_state(&l->sensors[i].eid, kSensorDown, scope);
    }
  }
  if (debug_on()) {
    tlg_internal(dbg_tlg_cmn_hdl, kTempState, fn, bay, b.temp_data.reg_state);
    tlg_internal(dbg_tlg_cmn_hdl, kVoltState, fn, bay, b.voltage_data.reg_state);
    tlg_internal(dbg_tlg_cmn_hdl, kCurrState, fn, bay, b.current_data.reg_state);
  }
}

void envmon_inv_free_sensor_data(envmon_sensor_info** sensors, uint16_t* count) {
  if (sensors == nullptr || *sensors == nullptr) return;
  const uint16_t n = count != nullptr ? *count : 0;
  for (uint16_t i = 0; i < n; ++i) envmon_free_tsi(&(*sensors)[i].eid);
  free(*sensors);
  *sensors = nullptr;
  if (count != nullptr) *count = 0;
}

envmon_err_t envmon_inv_handle_mpa_removal(uint32_t slot_id, uint32_t /*pd_card_type*/) {
  static const char* fn = __func__;
  if (envmon_nm == nullptr || envmon_nm->mpa == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoTable, fn);
    return ENVMON_ERR_INVALID_ARG;
  }
  uint8_t bay = 0;
  envmon_mpa_cb* b = local_bay(fn, slot_id, &bay, true);
  if (b == nullptr) return ENVMON_ERR_INVALID_ARG;
  if (!initialised(*b)) {
    tlg_internal(err_tlg_cmn_hdl, kNotRegistered);
    return ENVMON_ERR_INVALID_ARG;
  }
  if (debug_on()) tlg_internal(dbg_tlg_cmn_hdl, kUnregistering, fn, bay, static_cast<int>(slot_id));
  envmon_mpa_start_stop_sensor_polling(bay, ENVMON_POLL_STOP);
  const uint32_t scope = mpa_scope();
  struct {
    envmon_sensor_list* list;
    const char* failed;
  } lists[] = {{&b->temp_data, kUnregTemp}, {&b->voltage_data, kUnregVolt},
               {&b->current_data, kUnregCurr}};
  envmon_err_t rc = ENVMON_OK;
  for (auto& l : lists) {
    if (l.list->sensors == nullptr || l.list->count == 0) continue;
    rc = envmon_inv_invreg_unregister_sensors(scope, l.list->sensors, l.list->count);
    if (rc != 0) tlg_internal(err_tlg_cmn_hdl, "%s", l.failed);
    envmon_inv_free_sensor_data(&l.list->sensors, &l.list->count);
  }
  envmon_free_tsi(&b->ceid);
  if (b->xml != nullptr) inv_parser_close_xml_file(b->xml);
  memset(b, 0, sizeof(*b));
  return rc;
}

}  // extern "C"
