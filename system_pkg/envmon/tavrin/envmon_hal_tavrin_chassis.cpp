// Rack-scope data of tavrin from the chassis information: the rack record,
// the chassis description and its containers, the cards' fan zones, power
// management and the power modules' records, and the rack-scope services.
#include <cstdlib>
#include <cstring>

#include "envhal_card_mgr.h"
#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_core.h"
#include "envmon_drvif.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "envmon_obfl.h"
#include "envmon_pem.h"
#include "envmon_pwr_mgmt.h"
#include "inv_parser.h"

namespace {

// Presence bits of the chassis-information message.
constexpr uint8_t kHasPdChassisType = 1u << 2;
constexpr uint8_t kHasPid = 1u << 5;

constexpr uint32_t kDefaultChassis = 0x60010000;
constexpr uint32_t kParserCategory = 6;
constexpr uint32_t kParserModeChassis = 1;
constexpr uint32_t kChassisClass = 1;
constexpr uint8_t kContainerType = 5;
constexpr uint8_t kChassisType = 3;
constexpr uint8_t kChassisSubtype = 1;

// Container subtypes and the fan-zone classes of their cards.
enum : uint8_t {
  kContLineCard = 1,
  kContRouteProcessor = 2,
  kContFabric = 4,
  kContPem = 7,
  kContOther = 20,
};
enum : uint32_t {
  kZoneLineCard = 0,
  kZoneRouteProcessor = 1,
  kZoneFabric = 3,
  kZoneOther = 14,
};

constexpr uint32_t kNoRedundancyCount = 255;
constexpr uint32_t kNoReading = 0xffffff;

// Frees a list the parser allocated.
struct ParserList {
  inv_eid* eids = nullptr;
  uint16_t count = 0;
  ~ParserList() { std::free(eids); }
  int get(uint8_t type, uint8_t subtype) {
    return inv_parser_get_eid_by_type_subtype(envmon_rm->chassis_xml, kParserCategory, type, subtype, &count, &eids);
  }
};

// The rack record's list of a card container subtype, or null.
envmon_eid_list* card_list(uint8_t subtype, inv_eid*** eids, uint16_t** count) {
  switch (subtype) {
    case kContLineCard:
      return &envmon_rm->card_eid_list[ENVMON_CARD_CLASS_LC];
    case kContFabric:
      return &envmon_rm->card_eid_list[ENVMON_CARD_CLASS_FC];
    case kContOther:
      return &envmon_rm->card_eid_list[ENVMON_CARD_CLASS_XC];
    case kContRouteProcessor:
      *eids = &envmon_rm->rp_cont_eids;
      *count = &envmon_rm->rp_cont_count;
      return nullptr;
    default:
      return nullptr;
  }
}

// Each readable container of the list gets its card's fan zone.
void set_zones(const envmon_eid_list& list, uint32_t zone_class, const char* func) {
  for (uint16_t i = 0; i < list.count && list.eids != nullptr; ++i) {
    inv_parser_eid_data data{};
    const int rc = inv_parser_get_eid_data(envmon_rm->chassis_xml, &list.eids[i], &data);
    if (rc != 0) {
      tlg_internal(err_tlg_lib_hdl, "%s(): inv_parser_get_eid_data error for card #%d with envmon idx %d, rc = %d \n",
                   func, i, zone_class, rc);
      continue;
    }
    envmon_set_card_fan_zone(zone_class, data.hw_position, data.pos_num);
  }
}

}  // namespace

extern "C" {

int32_t envmon_get_card_container_eids_by_cardtype(uint8_t subtype) {
  static constexpr char kFunc[] = "envmon_get_card_container_eids_by_cardtype";
  inv_eid** rp_eids = nullptr;
  uint16_t* rp_count = nullptr;
  envmon_eid_list* list = card_list(subtype, &rp_eids, &rp_count);
  if (list == nullptr && rp_eids == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "%s(): invalid entity subtype %d for card\n", kFunc, subtype);
    return -1;
  }
  inv_eid** eids = list != nullptr ? &list->eids : rp_eids;
  uint16_t* count = list != nullptr ? &list->count : rp_count;
  // A list read before (a delivery that stopped later) is read afresh.
  std::free(*eids);
  *eids = nullptr;
  *count = 0;
  if (inv_parser_get_eid_by_type_subtype(envmon_rm->chassis_xml, kParserCategory, kContainerType, subtype, count,
                                         eids) != 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to get container eids for subtype %d\n", kFunc, subtype);
    envhal::exit_line(kFunc, __LINE__);
    return -1;
  }
  tlg_internal(main_tlg_lib_hdl, "%s(): got container eids for subtype %d, eid_count %d\n", kFunc, subtype, *count);
  return 0;
}

void envmon_tavrin_pwr_mgmt_pem_data_init(void) {
  static constexpr char kFunc[] = "envmon_tavrin_pwr_mgmt_pem_data_init";
  ParserList pems;
  const int rc = pems.get(kContainerType, kContPem);
  pd_power_tray_info_t* trays = envhal::pem_trays();
  if (rc != 0 || pems.count == 0 || trays == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to get pem container eids, rc %d, cnt %d\n", kFunc, rc, pems.count);
    return;
  }
  const uint32_t tray_count = envmon_hal_get_max_virtual_powertray();
  const uint32_t per_tray = pems.count / tray_count;
  for (uint32_t t = 0; t < tray_count; ++t) {
    pd_power_tray_info_t& tray = trays[t];
    tray.num_pems = static_cast<uint8_t>(per_tray);
    if (tray.pems == nullptr && per_tray > 0) {
      tray.pems = static_cast<pem_record*>(std::calloc(per_tray, sizeof(pem_record)));
      if (tray.pems == nullptr) {
        envmon_debug_log("FAILED to allocate memory for PEM info - exit\n");
        std::exit(-1);
      }
    }
    for (uint32_t j = 0; j < per_tray; ++j) {
      pem_record& pem = tray.pems[j];
      if (pem.idprom_data == nullptr) {
        pem.idprom_data = static_cast<uint8_t*>(std::calloc(1, envmon_hal_get_max_idprom_size()));
        if (pem.idprom_data == nullptr) {
          envmon_debug_log("FAILED to allocate memory for PEM IDPROM data - exit\n");
          std::exit(-1);
        }
      }
      const inv_eid& container = pems.eids[t * per_tray + j];
      inv_parser_eid_data data{};
      const int data_rc = inv_parser_get_eid_data(envmon_rm->chassis_xml, &container, &data);
      if (data_rc != 0) {
        tlg_internal(err_tlg_lib_hdl, "%s(): inv_parser_get_eid_data error, rc = %d \n", kFunc, data_rc);
        continue;
      }
      pem.hw_position = static_cast<int32_t>(data.hw_position);
      pem.instance = data.instance;
      if (pem.cont_eid.tsi_count == 0) {
        inv_eid id = container;
        id.rack = static_cast<uint16_t>(ENVMON_RACK_UNKNOWN);
        id.slot = static_cast<uint16_t>(ENVMON_SLOT_SELF);
        if (inv_util_convert_eid_to_pelm_eid(&id, &pem.cont_eid) == INV_UTIL_OK) {
          char text[ENVMON_EID_STR_LEN];
          inv_util_dump_pelm_eid_to_string(&pem.cont_eid, text, sizeof(text));
          tlg_internal(main_tlg_lib_hdl, "got PEM container eid %s\n", text);
        }
      }
    }
    if (envmon_rm->pwr_cfg.red_num_pems == kNoRedundancyCount) {
      envmon_pem_pwr_mgmt_set_redundancy_num_pems(static_cast<uint8_t>(kNoRedundancyCount));
    }
    for (uint32_t j = 0; j < per_tray; ++j) {
      tray.pems[j].pem_raw_data.input_voltage_a = kNoReading;
      tray.pems[j].pem_raw_data.input_voltage_b = kNoReading;
    }
  }
}

void envmon_get_card_mgr_chassisinfo_cb(card_mgr_rack_handle_t /*h*/, card_mgr_chassisinfo_msg* msg,
                                        void* /*cookie*/, int32_t error, void* /*user*/) {
  static constexpr char kFunc[] = "envmon_get_card_mgr_chassisinfo_cb";
  envmon_nm_t* nm = envmon_nm;
  envmon_rm_t* rm = envmon_rm;
  if (nm == nullptr || rm == nullptr || (nm->misc_state & ENVMON_NM_CHASSIS_INFO_DONE) != 0) return;
  if (error != 0 || msg == nullptr) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to get chassis info, err: %u\n", kFunc, static_cast<uint32_t>(error));
    envhal::cm_count_error(envhal::kCmErrChassInfo);
    return;
  }
  envhal::cm_count(envhal::kCmChassInfo);

  if ((msg->present & kHasPdChassisType) != 0) {
    rm->chassis_type = msg->pd_chassis_type;
  } else {
    rm->chassis_type = kDefaultChassis;
    tlg_internal(main_tlg_lib_hdl, "chassisinfo msg does have pd_chassis_type\n");
  }
  if ((msg->present & kHasPid) != 0) envhal::copy_text(rm->pid, ENVMON_PID_MAX + 1, msg->pid);
  rm->pid[ENVMON_PID_MAX] = '\0';
  if (rm->chassis_sn != nullptr) envhal::copy_text(rm->chassis_sn, envmon_hal_get_chassis_sn_length(), msg->serial);
  const char* serial = rm->chassis_sn != nullptr ? rm->chassis_sn : "";
  tlg_internal(main_tlg_lib_hdl, "%s(): Chassis type (PI/PD) = 0x%x/0x%x, Serial # = %s \n", kFunc,
               msg->pi_chassis_type, rm->chassis_type, serial);
  envmon_debug_log("%s(): Chassis type = 0x%x, Serial # = %s \n", kFunc, rm->chassis_type, serial);

  if (rm->chassis_xml == nullptr) {
    inv_parser_open_req req{};
    req.pi_hw_type = kChassisClass;
    req.pd_hw_type = rm->chassis_type;
    req.hw_major = msg->hw_ver_major;
    req.hw_minor = msg->hw_ver_minor;
    rm->chassis_xml = inv_parser_open_xml_file_v2(kParserModeChassis, &req);
  }
  if (rm->chassis_xml == nullptr) {
    envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_INVALID_CHASSIS);
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to parse xml file with chassis_type=0x%x\n", kFunc, rm->chassis_type);
    envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_INVALID_CHASSIS);
    envhal::cm_count_error(envhal::kCmErrChassInfo);
    envmon_debug_log("%s(): open xml file failed\n", kFunc);
    return;
  }
  if (envmon_init_rack_entity_data() != ENVMON_OK) {
    envmon_debug_log("%s(): Failure in envmon RM entiry init\n", kFunc);
    return;
  }
  if (envmon_hal_init_pd_data() != ENVMON_OK) {
    envmon_debug_log("%s(): Failure in envmon Platform Dependent data init\n", kFunc);
    return;
  }

  const bool rp = envhal::is_rp_card_type(nm->card_type);
  if (rp && rm->svc_role == ENVMON_ROLE_ACTIVE) envmon_active_init();
  if (rp) envmon_init_card_fan_zone();

  {
    ParserList rps;
    if (rps.get(kContainerType, kContRouteProcessor) != 0) {
      tlg_internal(err_tlg_lib_hdl, "%s(): Failed to get RP container eids\n", kFunc);
      envhal::exit_line(kFunc, __LINE__);
      return;
    }
    uint16_t count = rps.count;
    const uint32_t max_rp = envmon_hal_get_max_rp();
    if (count > max_rp) {
      tlg_internal(err_tlg_lib_hdl, "%s(): Limit max RP count to %d\n", kFunc, max_rp);
      count = static_cast<uint16_t>(max_rp);
    }
    rm->rp_count = count;
    for (uint16_t i = 0; i < count; ++i) {
      inv_parser_eid_data data{};
      if (inv_parser_get_eid_data(rm->chassis_xml, &rps.eids[i], &data) != 0) continue;
      if (rm->rp_hw_position != nullptr) rm->rp_hw_position[i] = data.hw_position;
      envmon_set_card_fan_zone(kZoneRouteProcessor, data.hw_position, data.pos_num);
    }
  }

  std::free(rm->fan_cont_eids);
  rm->fan_cont_eids = nullptr;
  rm->fan_cont_count = 0;
  if (inv_parser_get_eid_by_type_subtype(rm->chassis_xml, kParserCategory, kContainerType,
                                         static_cast<uint8_t>(envmon_hal_get_fantray_container_eid_subtype()),
                                         &rm->fan_cont_count, &rm->fan_cont_eids) != 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to get fantray container eids\n\n", kFunc);
    envhal::exit_line(kFunc, __LINE__);
    return;
  }
  const uint32_t trays = envmon_hal_get_max_fantray();
  for (uint16_t i = 0; i < rm->fan_cont_count && i < trays; ++i) {
    inv_parser_eid_data data{};
    if (inv_parser_get_eid_data(rm->chassis_xml, &rm->fan_cont_eids[i], &data) != 0) continue;
    if (rm->fantray_cb != nullptr) rm->fantray_cb[i].hw_position = data.hw_position;
    if (rm->fan_cont_pelm_eids != nullptr) {
      pelm_eid& eid = rm->fan_cont_pelm_eids[i];
      envmon_free_tsi(&eid);
      inv_util_convert_eid_to_pelm_eid(&rm->fan_cont_eids[i], &eid);
      eid.rack = ENVMON_RACK_UNKNOWN;
      eid.slot = data.hw_position;
    }
  }

  std::free(rm->chassis_inv_eids);
  rm->chassis_inv_eids = nullptr;
  rm->chassis_inv_eid_count = 0;
  if (inv_parser_get_eid_by_type_subtype(rm->chassis_xml, kParserCategory, kChassisType, kChassisSubtype,
                                         &rm->chassis_inv_eid_count, &rm->chassis_inv_eids) != 0 ||
      rm->chassis_inv_eid_count == 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to get chassis eid\n", kFunc);
    envhal::exit_line(kFunc, __LINE__);
    return;
  }
  envmon_free_tsi(&rm->chassis_eid);
  if (inv_util_convert_eid_to_pelm_eid(&rm->chassis_inv_eids[0], &rm->chassis_eid) != INV_UTIL_OK) {
    tlg_internal(err_tlg_lib_hdl, "%s(): inv_util_convert_eid_to_pelm_eid failed for chassis eid\n", kFunc);
  }
  rm->chassis_eid.rack = ENVMON_RACK_UNKNOWN;
  rm->chassis_eid.slot = ENVMON_SLOT_SELF;

  for (uint8_t subtype : {kContRouteProcessor, kContFabric, kContLineCard, kContOther}) {
    envmon_get_card_container_eids_by_cardtype(subtype);
  }
  set_zones(rm->card_eid_list[ENVMON_CARD_CLASS_LC], kZoneLineCard, kFunc);
  set_zones(rm->card_eid_list[ENVMON_CARD_CLASS_FC], kZoneFabric, kFunc);
  set_zones(rm->card_eid_list[ENVMON_CARD_CLASS_XC], kZoneOther, kFunc);

  envmon_pwr_mgmt_init();
  envmon_tavrin_pwr_mgmt_pem_data_init();

  if (rm->inv_invreg_connected == 1) {
    envmon_inv_invreg_rm_register_chassis_lvl_eids();
    envmon_drvif_rm_poll_all_sensors(ENVMON_DRV_ALL, ENVMON_POLL_START);
  }
  if (rm->inv_capi_connected == 1) envmon_inv_req_fru_power_info();
  if (rm->svc_role == ENVMON_ROLE_ACTIVE && envmon_obfl_rm_init(envhal::card_mgr().loop) != ENVMON_OK) {
    tlg_internal(err_tlg_lib_hdl, "%s(): Failed to init RM OBFL\n", kFunc);
    envhal::exit_line(kFunc, __LINE__);
    return;
  }
  if (nm->inv_invreg_connected == 1 && ((nm->temp_data.reg_state & ENVMON_ST_REG_DONE) == 0 ||
                                        (nm->voltage_data.reg_state & ENVMON_ST_REG_DONE) == 0 ||
                                        (nm->current_data.reg_state & ENVMON_ST_REG_DONE) == 0)) {
    envmon_inv_invreg_nm_reg_all_sensors();
    tlg_internal(main_tlg_lib_hdl, "sensors INVDB_REG not OK, register now...\n");
  }
  nm->misc_state |= ENVMON_NM_CHASSIS_INFO_DONE;
}

}  // extern "C"
