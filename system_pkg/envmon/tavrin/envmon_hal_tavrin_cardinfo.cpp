// Start-up completion of tavrin from this card's information: the requests of
// the card-event state machine, and the card-information callback that fills
// the node record, opens the card's inventory description, reads its sensor
// lists and starts the node-scope services and the platform drivers.
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "alarmd.h"
#include "envhal_card_mgr.h"
#include "envhal_private.h"
#include "envmon_core.h"
#include "envmon_drvif.h"
#include "envmon_fm.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "envmon_obfl.h"
#include "inv_parser.h"

namespace {

// Presence bits of the card-information message.
constexpr uint8_t kHasPiCardType = 1u << 1;
constexpr uint8_t kHasCardType = 1u << 2;
constexpr uint8_t kHasPid = 1u << 3;
constexpr uint8_t kHasHwMajor = 1u << 5;
constexpr uint8_t kHasHwMinor = 1u << 6;

constexpr uint32_t kParserCategory = 6;
constexpr uint8_t kCardEntityType = 9;
constexpr uint32_t kParserModeCard = 1;

// PI card types.
enum : uint32_t {
  kPiLineCard = 0,
  kPiRouteProcessor = 1,
  kPiFabric = 3,
  kPiOther = 14,
};

// Inventory description class and card entity subtype of a card.
struct CardClass {
  uint32_t xml_class;
  uint32_t subtype;
};
constexpr CardClass kRouteProcessorClass = {3, 27};

bool card_class_of(uint32_t pi_type, CardClass* out) {
  switch (pi_type) {
    case kPiLineCard:
      *out = {4, 13};
      return true;
    case kPiFabric:
      *out = {6, 7};
      return true;
    case kPiOther:
      *out = {16, 60};
      return true;
    default:
      return false;
  }
}

constexpr uint32_t kRpDrivers[] = {1, 2, 11, 12};
constexpr uint32_t kCardDrivers[] = {10, 12, 15};

// Start steps that must run once, whatever later steps do: a delivery that
// stops at a later step runs the callback again.
enum StartStep : uint32_t {
  kStepParser = 0x1,
  kStepObfl = 0x2,
  kStepRackClient = 0x4,
  kStepFaultManager = 0x8,
  kStepInventory = 0x10,
  kStepServer = 0x20,
};
bool step_done(StartStep step) { return (envhal::card_mgr().steps_done & step) != 0; }
void mark_done(StartStep step) { envhal::card_mgr().steps_done |= step; }

// Reads one sensor list of the card; false (with its trace) when it fails.
bool read_list(uint32_t subtype, envmon_sensor_list& list, const char* what) {
  const envmon_err_t rc = envmon_util_xml_parse_n_store_info(ENVMON_SLOT_SELF, envmon_nm->card_xml,
                                                             ENVMON_ENTITY_TYPE_SENSOR, subtype, &list.count,
                                                             &list.sensors);
  if (rc == ENVMON_OK) return true;
  tlg_internal(err_tlg_lib_hdl, what, static_cast<long>(rc));
  return false;
}

}  // namespace

extern "C" {

// This card's sensor lists from its description; the failure-log thresholds
// of the temperature, voltage and current sensors.
void envmon_nm_get_sensor_eids(void) {
  static constexpr char kFunc[] = "envmon_nm_get_sensor_eids";
  envmon_nm_t* nm = envmon_nm;
  if (!read_list(ENVMON_SENSOR_TEMPERATURE, nm->temp_data, "failed to get temperature sensor list, rc = %ld\n") ||
      !read_list(ENVMON_SENSOR_VOLTAGE, nm->voltage_data, "failed to get voltage sensor list, rc = %ld\n") ||
      !read_list(ENVMON_SENSOR_CURRENT, nm->current_data, "failed to get current sensor list, rc = %ld\n")) {
    envhal::exit_line(kFunc, __LINE__);
    return;
  }
  envmon_obfl_write_env_temp_thresholds(nm->temp_data.sensors, nm->temp_data.count, nm->slot_num, ENVMON_SCOPE_NODE,
                                        0);
  envmon_obfl_write_env_volt_thresholds(nm->voltage_data.sensors, nm->voltage_data.count, nm->slot_num,
                                        ENVMON_SCOPE_NODE, 0);
  envmon_obfl_write_env_curr_thresholds(nm->current_data.sensors, nm->current_data.count, nm->slot_num,
                                        ENVMON_SCOPE_NODE, 0);
  if (!read_list(ENVMON_SENSOR_POWER, nm->power_data, "failed to get power sensor list, rc = %ld\n")) {
    envmon_debug_log("%s:%d - power sensor parsing error\n", kFunc, __LINE__);
  }
}

int32_t envmon_hal_send_card_info(void) {
  static constexpr char kFunc[] = "envmon_hal_send_card_info";
  if (envmon_nm != nullptr && (envmon_nm->misc_state & ENVMON_NM_CARD_INFO_DONE) != 0) {
    return static_cast<int32_t>(ENVMON_ERR32_ALREADY_DONE);
  }
  auto* node = static_cast<card_mgr_node_handle_t>(envhal::card_mgr().node);
  if (node == nullptr) return -2;
  const int rc = card_mgr_node_get_cardinfo(node, nullptr, 0);
  if (rc != 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): error trying to get cardinfo. rc= %d\n", kFunc, rc);
    envmon_debug_log("%s: card_mgr_node_get_cardinfo err = 0x%x\n", kFunc, rc);
  } else {
    envhal::cm_count(envhal::kCmCardReq);
    envmon_debug_log("%s: card_mgr_node_get_cardinfo returned ok\n", kFunc);
  }
  return rc;
}

int32_t envmon_hal_send_chassis_info(void) {
  envhal::CardMgrState& s = envhal::card_mgr();
  if (envmon_nm != nullptr && (envmon_nm->misc_state & ENVMON_NM_CHASSIS_INFO_DONE) != 0) {
    return static_cast<int32_t>(ENVMON_ERR32_ALREADY_DONE);
  }
  if (envmon_nm == nullptr || envmon_nm->cm_rack_connected != 1) {
    // The rack connection asks again once it is up.
    s.chassis_request_pending = true;
    return static_cast<int32_t>(ENVMON_ERR32_ALREADY_DONE);
  }
  if (s.chassis_requests_sent > 0) return 0;
  const int rc = card_mgr_rack_get_chassisinfo(static_cast<card_mgr_rack_handle_t>(s.rack), nullptr, 0);
  ++s.chassis_requests_sent;
  if (rc != 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): error trying to get chassis info. rc = %d\n", "envmon_hal_send_chassis_info",
                 rc);
  } else {
    envhal::cm_count(envhal::kCmChassReq);
  }
  return rc;
}

void envmon_get_card_mgr_cardinfo_cb(card_mgr_node_handle_t /*h*/, card_mgr_cardinfo_msg* msg, void* /*cookie*/,
                                     int32_t error, void* /*user*/) {
  static constexpr char kFunc[] = "envmon_get_card_mgr_cardinfo_cb";
  envmon_nm_t* nm = envmon_nm;
  if (nm == nullptr || (nm->misc_state & ENVMON_NM_CARD_INFO_DONE) != 0) return;
  envmon_debug_log("%s() entered\n", kFunc);
  if (error != 0 || msg == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to get card info, err: %u\n", kFunc, static_cast<uint32_t>(error));
    envhal::cm_count_error(envhal::kCmErrCardInfo);
    return;
  }
  envhal::cm_count(envhal::kCmCardInfo);
  envmon_debug_log("%s() capi status ok\n", kFunc);
  evloop_t* loop = envhal::card_mgr().loop;
  if (!step_done(kStepParser)) {
    inv_parser_init(loop);
    mark_done(kStepParser);
  }

  char pid[ENVMON_PID_MAX + 1] = "";
  if ((msg->present & kHasPid) != 0) envhal::copy_text(pid, sizeof(pid), msg->pid);
  const uint32_t pi_type = (msg->present & kHasPiCardType) != 0 ? msg->pi_card_type : 0;
  if ((msg->present & kHasCardType) != 0) nm->card_type = msg->card_type;
  nm->slot_num = msg->slot;
  tlg_internal(main_tlg_lib_hdl, "%s(): card type = 0x%x, PI type %d, PID %sslot # = %d\n", kFunc, nm->card_type,
               pi_type, pid, nm->slot_num);
  envmon_debug_log("%s(): pid = %s, card type = 0x%x, pi card type %d\n", kFunc, pid, nm->card_type, pi_type);

  if (nm->obfl_capi_connected != 1 && !step_done(kStepObfl)) {
    if (envmon_obfl_nm_init(loop) != ENVMON_OK) {
      envhal::exit_line(kFunc, __LINE__);
      return;
    }
    mark_done(kStepObfl);
  }

  const bool rp = envhal::is_rp_card_type(nm->card_type) || pi_type == kPiRouteProcessor;
  CardClass card_class = kRouteProcessorClass;
  if (rp) {
    tlg_internal(main_tlg_lib_hdl, "%s(): Running from RP\n", kFunc);
    if (!step_done(kStepRackClient)) {
      const int32_t rc = envmon_capi_card_mgr_init(loop, 1);
      if (rc != 0) {
        envmon_debug_log("%s(): envmon_capi_card_mgr_init rc = 0x%x\n", kFunc, rc);
      } else {
        mark_done(kStepRackClient);
      }
    }
    if (!step_done(kStepFaultManager)) {
      if (envmon_fm_init(ENVMON_SCOPE_RACK, loop) != ENVMON_OK) {
        envhal::exit_line(kFunc, __LINE__);
        return;
      }
      mark_done(kStepFaultManager);
    }
    if (nm->ip_address != ENVMON_IP_UNKNOWN) {
      tlg_internal(main_tlg_lib_hdl, "republishing IP to FM\n");
      envmon_debug_log("republishing IP to FM\n");
      alarmd_local_vm_ip_update(nm->ip_address);
    }
    if (nm->my_location != nullptr) {
      const envmon_err_t rc = envmon_fm_update_location(nm->my_location);
      if (rc != ENVMON_OK) {
        tlg_internal(err_tlg_lib_hdl, "envmon failed to update fm on loc(%s),retcode %lx\n", nm->my_location,
                     static_cast<unsigned long>(rc));
      } else {
        tlg_internal(main_tlg_lib_hdl, "%s()FM update loc is ok:loc=%s\n", kFunc, nm->my_location);
      }
      const int done_rc = alarmd_registerations_complete("envmon");
      if (done_rc != 0) {
        tlg_internal(err_tlg_lib_hdl, "envmon failed in FM register complete, rc=0x%lx\n",
                     static_cast<unsigned long>(done_rc));
      } else {
        tlg_internal(main_tlg_lib_hdl, "%s(): alarmd_registerations_complete is ok!\n", kFunc);
      }
    }
    if (!step_done(kStepServer)) {
      if (envmon_server_init(loop, ENVMON_SCOPE_NODE) != ENVMON_OK) {
        envhal::exit_line(kFunc, __LINE__);
        return;
      }
      mark_done(kStepServer);
    }
    nm->card_container_valid_flag = 1;
  } else {
    if (!card_class_of(pi_type, &card_class)) {
      tlg_internal(err_tlg_lib_hdl, "%s(): Unknown card type of %d\n", kFunc, nm->card_type);
      envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_INVALID_CARD);
      envhal::cm_count_error(envhal::kCmErrCardPIt);
      return;
    }
    tlg_internal(main_tlg_lib_hdl, "%s(): Running from card with PI type %d\n", kFunc, pi_type);
    if (!step_done(kStepInventory)) {
      if (envmon_capi_inv_init(loop) != ENVMON_OK) {
        envhal::exit_line(kFunc, __LINE__);
        return;
      }
      mark_done(kStepInventory);
    }
    if (!step_done(kStepServer)) {
      if (envmon_server_init(loop, ENVMON_SCOPE_NODE) != ENVMON_OK) {
        envhal::exit_line(kFunc, __LINE__);
        return;
      }
      mark_done(kStepServer);
    }
    envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_CARD_LC);
  }

  inv_parser_open_req req{};
  req.pi_hw_type = card_class.xml_class;
  req.pd_hw_type = nm->card_type;
  if ((msg->present & kHasHwMajor) != 0 && (msg->present & kHasHwMinor) != 0) {
    req.hw_major = msg->hw_ver_major;
    req.hw_minor = msg->hw_ver_minor;
  }
  nm->card_xml = inv_parser_open_xml_file_v2(kParserModeCard, &req);
  if (nm->card_xml == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to parse xml file\n", kFunc);
    envhal::exit_line(kFunc, __LINE__);
    return;
  }
  envmon_nm_get_sensor_eids();

  uint16_t count = 0;
  inv_eid* eids = nullptr;
  if (inv_parser_get_eid_by_type_subtype(nm->card_xml, kParserCategory, kCardEntityType,
                                         static_cast<uint8_t>(card_class.subtype), &count, &eids) != 0 ||
      count == 0 || eids == nullptr) {
    std::free(eids);
    tlg_internal(err_tlg_lib_hdl, "failed to get card eid type %d, subtype %d\n", kCardEntityType, card_class.subtype);
    envhal::exit_line(kFunc, __LINE__);
    return;
  }
  envmon_free_tsi(&nm->card_ceid);
  if (inv_util_convert_eid_to_pelm_eid(&eids[0], &nm->card_ceid) != INV_UTIL_OK) {
    tlg_internal(err_tlg_lib_hdl, "%s(): inv_util_convert_eid_to_pelm_eid failed for card eid\n", kFunc);
    envhal::exit_line(kFunc, __LINE__);
    std::free(eids);
    return;
  }
  nm->card_ceid.rack = ENVMON_RACK_UNKNOWN;
  nm->card_ceid.slot = ENVMON_SLOT_SELF;
  std::free(eids);

  if (nm->inv_invreg_connected == 1) envmon_inv_invreg_nm_reg_all_sensors();
  envmon_fm_start_resync_timer();
  const uint32_t* drivers = rp ? std::begin(kRpDrivers) : std::begin(kCardDrivers);
  const uint32_t* drivers_end = rp ? std::end(kRpDrivers) : std::end(kCardDrivers);
  for (const uint32_t* d = drivers; d != drivers_end; ++d) {
    if (envmon_drvif_init(loop, *d) != 0) {
      tlg_internal(err_tlg_lib_hdl, "%s: Failure in DRVIF init!, driver_id=%d\n", kFunc, *d);
      envmon_debug_log("%s(): Failure in DRVIF init!, driver_id=%d\n", kFunc, *d);
      tlg_internal(err_tlg_lib_hdl, "Failure in DRVIF init!, driver_id=%d\n", *d);
    }
  }
  nm->misc_state |= ENVMON_NM_CARD_INFO_DONE;
}

}  // extern "C"
