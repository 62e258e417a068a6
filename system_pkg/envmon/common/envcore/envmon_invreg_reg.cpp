// Registration requests of sensors, containers, FPD and EEPROM entities, and
// the choice of the registration client of a scope.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "envmon_invreg_private.h"

extern "C" {
#include <safe_str_lib.h>
}

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kInvalidParams[] = "%s(): invalid parameters: sensors=0x%p, num_sensors=%d\n";
constexpr char kNoHandle[] = "%s(): could not get invreg handle for scope %d\n";
constexpr char kNotConnectedDb[] = "%s(): INVREG is not connected with invdb\n";
constexpr char kRegistering[] = "%s(): registering %d sensors with inv INVREG\n";
constexpr char kUnregistering[] = "%s(): unregistering %d sensors with inv INVREG\n";
constexpr char kNoMemory[] = "%s(): failed to allocate memory \n";
constexpr char kRegFailed[] = "%s(): failed to register eid with  inventory, CAPI error = %d\n";
constexpr char kUnregFailed[] =
    "%s(): failed to unregister eid with  inventory, CAPI error = %d\n";
constexpr char kClearingFault[] = "%s(): Clearing fault for sensor %s\n";
constexpr char kContNotConnected[] =
    "%s(): did not register container eids, invreg not connected yet\n";
constexpr char kContRegistering[] = "%s(): registering %d eid with inv invreg\n";
constexpr char kContDataFailed[] = "%s(): inv_parser_get_eid_datafailed, rc = 0x%x\n";
constexpr char kContSendFailed[] =
    "%s(): Failed to register container with logic_slot %d , capi error rc = %d\n";
constexpr char kFpdNotConnected[] =
    "%s(): error registering fpd eid for slot %d, RM INVREG not connected\n";
constexpr char kFpdSendFailed[] = "%s(): error registering fpd eid for slot %d, capi error rc = %d\n";
constexpr char kNoIdprom[] = "%s():  faild to get idprom type, rc: %ld\n";
constexpr char kOneRegistered[] = "%s(): registered %s eid %s \n";
constexpr char kOneFailed[] = "%s(): error registering %s eid %s, capi error, rc = %d\n";
constexpr char kOneNotConnected[] = "%s(): error registering %s eid %s, INVREG RM not connected\n";
constexpr char kPromOk[] = "%s(): updating inv with eeprom data for eid %s ok \n";
constexpr char kPromFailed[] =
    "%s(): error updating inv with eeprom data for eid %s, capi error, rc = %d\n";
constexpr char kPromNotConnected[] =
    "%s(): error updating inv with eeprom data for eid %s, INVREG RM not connected\n";

// IDPROM entity in a FRU's description.
constexpr uint32_t kEntityCategory = 6;
constexpr uint8_t kIdpromType = 9;
constexpr uint8_t kIdpromSubtype = 38;

struct pelm_array_deleter {
  uint32_t count;
  void operator()(pelm_eid* a) const { inv_util_free_pelm_eid(a, count); }
};
using pelm_array = std::unique_ptr<pelm_eid, pelm_array_deleter>;

bool platform_is_obv8k() {
  const char* name = envmon_hal_get_platform_name();
  if (name == nullptr) return false;
  static constexpr char kObv8k[] = "obv8k";
  const size_t n = strlen(kObv8k);
  for (const char* p = name; *p != '\0'; ++p)
    if (strncasecmp(p, kObv8k, n) == 0) return true;
  return false;
}

// The shared body of sensor registration and unregistration.
envmon_err_t sensors_request(const char* fn, uint32_t scope, envmon_sensor_info* sensors,
                             uint16_t count, bool reg) {
  if (sensors == nullptr || count == 0) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidParams, fn, static_cast<void*>(sensors), count);
    return ENVMON_ERR_INVALID_ARG;
  }
  uint8_t connected = 0;
  invreg_handle_t* h = envmon_get_invreg_handle(scope, &connected);
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNoHandle, fn, static_cast<int>(scope));
    return ENVMON_ERR_INVALID_ARG;
  }
  if (connected == 0) {
    tlg_internal(err_tlg_cmn_hdl, kNotConnectedDb, fn);
    return ENVMON_ERR_NOT_CONNECTED;
  }
  tlg_internal(info_tlg_cmn_hdl, reg ? kRegistering : kUnregistering, fn, count);
  pelm_array eids(inv_util_alloc_pelm_eid(count), pelm_array_deleter{count});
  if (!eids) {
    tlg_internal(err_tlg_cmn_hdl, kNoMemory, fn);
    return ENVMON_ERR_NO_MEMORY;
  }
  const bool clear_faults = !reg && platform_is_obv8k();
  for (uint16_t i = 0; i < count; ++i) {
    envmon_sensor_info& s = sensors[i];
    if (clear_faults) {
      envmon_hal_fan_mgmt_sensor_fault_event(&s.eid, 1, ENVMON_SCOPE_NODE);
      tlg_internal(info_tlg_cmn_hdl, kClearingFault, fn, s.name);
    }
    inv_util_copy_pelm_eid_to_pelm_eid(&s.eid, &eids.get()[i]);
    // An unregistered sensor is neither pending nor registered: stamping it
    // for registration would have the state machine register it again.
    s.state = reg ? stamp_reg(s.state) : (s.state & ~(retry::kReg.pending | retry::kReg.done));
  }
  invreg_eid_list_req req{};
  req.eids = eids.get();
  req.eid_count = count;
  set_bit(&req.present, 0);
  const int rc = reg ? invreg_register_eid(h, &req, scope) : invreg_unregister_eid(h, &req, 0);
  envmon_err_t result = ENVMON_OK;
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, reg ? kRegFailed : kUnregFailed, fn, rc);
    result = ENVMON_ERR_NOT_CONNECTED;
  }
  if (reg) {
    if (scope == ENVMON_SCOPE_NODE)
      nm_count(kNmRegEid, count);
    else
      rm_count(kRmRegSensorEid, count);
  }
  return result;
}

}  // namespace

invreg_handle_t* envmon::invreg::rm_client() {
  if (envmon_rm == nullptr || envmon_rm->inv_invreg_connected == 0) return nullptr;
  return envmon_inv_invreg_rm_hdl;
}

extern "C" {

invreg_handle_t* envmon_inv_invreg_nm_hdl = nullptr;
invreg_handle_t* envmon_inv_invreg_rm_hdl = nullptr;

struct invreg_handle* envmon_get_invreg_handle(uint32_t scope, uint8_t* connected) {
  uint8_t c = 0;
  invreg_handle_t* h = nullptr;
  if (scope == ENVMON_SCOPE_NODE) {
    h = envmon_inv_invreg_nm_hdl;
    c = envmon_nm != nullptr ? envmon_nm->inv_invreg_connected : 0;
  } else if (scope == ENVMON_SCOPE_RACK) {
    h = envmon_inv_invreg_rm_hdl;
    c = envmon_rm != nullptr ? envmon_rm->inv_invreg_connected : 0;
  }
  if (h == nullptr) c = 0;
  if (connected != nullptr) *connected = c;
  return h;
}

envmon_err_t envmon_inv_invreg_register_sensors(uint32_t scope, envmon_sensor_info* sensors,
                                                uint16_t count) {
  return sensors_request(__func__, scope, sensors, count, true);
}

envmon_err_t envmon_inv_invreg_unregister_sensors(uint32_t scope, envmon_sensor_info* sensors,
                                                  uint16_t count) {
  return sensors_request(__func__, scope, sensors, count, false);
}

uint16_t envmon_inv_invreg_rm_register_container_eid(inv_eid* eids, uint16_t count,
                                                     inv_xml_handle_t xml) {
  static const char* fn = __func__;
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kContNotConnected, fn);
    return 0;
  }
  tlg_internal(info_tlg_cmn_hdl, kContRegistering, fn, count);
  uint16_t handled = 0;
  for (uint16_t i = 0; eids != nullptr && i < count; ++i) {
    inv_parser_eid_data data{};
    const int prc = inv_parser_get_eid_data(xml, &eids[i], &data);
    if (prc != INV_PARSER_OK) {
      tlg_internal(err_tlg_cmn_hdl, kContDataFailed, fn, static_cast<unsigned>(prc));
      return handled;
    }
    inv_eid copy{};
    inv_util_copy_eid_to_eid(&eids[i], &copy, eids[i].level_count);
    copy.rack = ENVMON_RACK_UNKNOWN;
    copy.slot = ENVMON_SLOT_SELF;
    invreg_container_req req{};
    inv_util_convert_eid_to_pelm_eid(&copy, &req.container.eid);
    req.container.logic_slot = data.logic_slot;
    set_bit(&req.container.present, 0);
    set_bit(&req.container.present, 1);
    set_bit(&req.present, 0);
    const int rc = invreg_register_container_eid(h, &req, data.logic_slot);
    if (rc != 0) {
      tlg_internal(err_tlg_cmn_hdl, kContSendFailed, fn, static_cast<int>(data.logic_slot), rc);
    } else {
      rm_count(kRmRegCnt);
    }
    envmon_free_tsi(&req.container.eid);
    ++handled;
  }
  return handled;
}

void envmon_reg_fpd_eid(fpd_data* fpd, void* fpd_info, uint32_t slot) {
  static const char* fn = __func__;
  if (fpd == nullptr) return;
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kFpdNotConnected, fn, static_cast<int>(slot));
    return;
  }
  pelm_eid eid{};
  inv_util_convert_eid_to_pelm_eid(&fpd->eid, &eid);
  eid.rack = ENVMON_RACK_UNKNOWN;
  eid.slot = slot;
  invreg_eid_list_req req{&eid, 1, 0};
  set_bit(&req.present, 0);
  const int rc = invreg_register_eid(h, &req, 0);
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kFpdSendFailed, fn, static_cast<int>(slot), rc);
  envmon_hal_inv_invreg_reg_fpd_eid(slot, fpd_info);
  envmon_free_tsi(&eid);
  envmon_drvif_get_fpd_info(&fpd->eid, slot);
}

int32_t envmon_rm_reg_one_eid(pelm_eid* eid, uint8_t eeprom) {
  static const char* fn = __func__;
  const char* what = eeprom != 0 ? "eeprom" : "";
  const auto text = eid_text(*eid);
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kOneNotConnected, fn, what, text.data());
    return static_cast<int32_t>(ENVMON_ERR32_ALREADY_DONE);
  }
  invreg_eid_list_req req{eid, 1, 0};
  set_bit(&req.present, 0);
  const int rc = invreg_register_eid(h, &req, 0);
  if (rc != 0)
    tlg_internal(err_tlg_cmn_hdl, kOneFailed, fn, what, text.data(), rc);
  else
    tlg_internal(info_tlg_cmn_hdl, kOneRegistered, fn, what, text.data());
  return rc;
}

void envmon_rm_report_eeprom_data(const pelm_eid* eid, const uint8_t* idprom,
                                  uint32_t idprom_len) {
  static const char* fn = __func__;
  if (eid == nullptr) return;
  const auto text = eid_text(*eid);
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kPromNotConnected, fn, text.data());
    return;
  }
  invreg_eeprom_req req{};
  req.eid = *eid;
  set_bit(&req.present, 0);
  set_bit(&req.present, 1);
  struct dc_idprom_content* decoded = nullptr;
  envmon_hal_idprom_set_inv_proto_fields(idprom, idprom_len, &req.eeprom, 0, &decoded);
  const int rc = invreg_report_eeprom_data(h, &req, 0);
  free(decoded);
  if (rc != 0) {
    tlg_internal(err_tlg_cmn_hdl, kPromFailed, fn, text.data(), rc);
    return;
  }
  rm_count(kRmProm);
  tlg_internal(info_tlg_cmn_hdl, kPromOk, fn, text.data());
}

void envmon_reg_and_set_eeprom_data(inv_xml_handle_t xml, uint32_t slot, pelm_eid* eid,
                                    const uint8_t* idprom, uint32_t idprom_len) {
  static const char* fn = __func__;
  uint16_t n = 0;
  inv_eid* found = nullptr;
  const int prc =
      inv_parser_get_eid_by_type_subtype(xml, kEntityCategory, kIdpromType, kIdpromSubtype, &n,
                                         &found);
  if (prc != INV_PARSER_OK || n == 0 || found == nullptr) {
    free(found);
    tlg_internal(err_tlg_cmn_hdl, kNoIdprom, fn, static_cast<long>(prc));
    envmon_exit_at(fn, __LINE__, -1);
  }
  pelm_eid idprom_eid{};
  inv_util_convert_eid_to_pelm_eid(&found[0], &idprom_eid);
  idprom_eid.rack = ENVMON_RACK_UNKNOWN;
  idprom_eid.slot = slot;
  free(found);
  if (envmon_rm_reg_one_eid(&idprom_eid, 1) != 0) {
    envmon_free_tsi(&idprom_eid);
    return;
  }
  if (eid != nullptr) {
    envmon_free_tsi(eid);
    *eid = idprom_eid;  // the caller's record takes over the levels
    envmon_rm_report_eeprom_data(eid, idprom, idprom_len);
  } else {
    envmon_rm_report_eeprom_data(&idprom_eid, idprom, idprom_len);
    envmon_free_tsi(&idprom_eid);
  }
}

}  // extern "C"
