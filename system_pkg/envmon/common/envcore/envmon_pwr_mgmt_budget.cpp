// Entity budgets from the inventory descriptions: the three budget figures of
// an entity's hardware, and the placement of route processors, fan trays and
// cards of the chassis description into their budget records.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "envmon_pwr_mgmt_private.h"

namespace {

constexpr char kNullPointer[] = "%s: NULL pointer\n";
constexpr char kParseFailed[] = "%s: Failed to parse xml file for pi_hw_type %d, pd_hw_type 0x%x, pid %s\n";
constexpr char kParseFailedLog[] =
    "%s: %d - Failed to parse xml file : pi_hw_type 0x%x, pd_hw_type 0x%x, pid %s\n";
constexpr char kGotHandle[] = "%s: got xml handle 0x%p for pi_hw_type %d, pd_hw_type 0x%x, pid %s\n";
constexpr char kNoRoot[] = "%s: no root eid in xml file for pd_hw_type 0x%x, rc = %d\n";
constexpr char kNoBudgetEid[] =
    "%s: failed to get eid for power budget entity sub_type %d,  rc = %ld \n";
constexpr char kNullEidList[] = "%s: NULL eid list \n";
constexpr char kEidDataFailed[] = "%s: geting eid data failed, rc =  %ld \n";
constexpr char kBeforeOverride[] =
    "%s: before override for card type %x got max power budget %d, stby_zn power budget %d ext "
    "power budget %d\n";
constexpr char kGotBudget[] =
    "%s: got max power budget %d, stby_zn power budget %d ext power budget %d\n\n";
constexpr char kGotBudgetLog[] =
    "%s: for card type %x got max power budget %d, stby_zn power budget %d ext power budget %d\n";
constexpr char kInvalidEntityType[] = "%s: invalid power budget entity type %d \n";
constexpr char kXmlInfo[] =
    "%s: info for xml file for %s : sub_type %d, pi_hw_type 0x%x, pd_hw_type 0x%x, pid %s, hw ver "
    "%d.%d\n";
constexpr char kBudgetFailed[] = "%s: envmon_get_power_budget failed \n";
constexpr char kRpCount[] = "%s: incorrect RP EID count %d\n";
constexpr char kEidDataError[] = "%s(): inv_parser_get_eid_data error, rc = %d \n";
constexpr char kRpPosition[] = "%s(): invalid RP/SC position %d \n";
constexpr char kRpConvertOk[] = "%s: inv_convert_eid_to_pelm_eid ok for RP index %d, eid string %s \n";
constexpr char kRpConvertFailed[] = "%s: inv_convert_eid_to_pelm_eid failed for RP index %d\n";
constexpr char kRpFruEid[] = "%s: RP %d fru eid string %s \n";
constexpr char kCardCount[] = "%s: incorrect %s EID count %d\n";
constexpr char kCardEidDataError[] = "%s(): inv_parser_get_eid_data error for %s, rc = %d \n";
constexpr char kCardPosition[] = "%s(): invalid %s position %d \n";
constexpr char kCardConvertOk[] =
    "%s: inv_convert_eid_to_pelm_eid ok for %s index %d, eid string %s \n";
constexpr char kCardConvertFailed[] = "%s: inv_convert_eid_to_pelm_eid failed for %s index %d\n";
constexpr char kCardFruEid[] = "%s: %s index %d fru eid string %s \n";
constexpr char kFtCount[] = "%s: incorrect Fan Tray EID count %d\n";
constexpr char kFtConvertOk[] =
    "%s: inv_convert_eid_to_pelm_eid ok for Fan Tray index %d, eid string %s \n";
constexpr char kFtConvertFailed[] = "%s: inv_convert_eid_to_pelm_eid failed for Fan Tray index %d\n";

// The line number the parse-failure debug line carries.
constexpr int kParseFailedMark = 512;
constexpr uint32_t kUnknownLocation = 0xfffe;
// Selectors of a power-budget entity in a description.
constexpr uint32_t kBudgetCategory = 6;
constexpr uint8_t kBudgetEntityType = 9;
// Indexes are 8-bit with 255 meaning "none".
constexpr uint32_t kMaxCardRecords = 255;

// Owns what the parser hands out.
struct XmlFile {
  inv_xml_handle_t h;
  ~XmlFile() { inv_parser_close_xml_file(h); }
};
struct EidList {
  inv_eid* eids = nullptr;
  ~EidList() { free(eids); }
};

// A description's entity id as the name of an entity in allocation
// notifications: rack and slot unknown, marked present. True when converted.
bool set_container_eid(const inv_eid& from, pelm_eid* to) {
  envmon_free_tsi(to);
  if (inv_util_convert_eid_to_pelm_eid(&from, to) != INV_UTIL_OK) return false;
  to->rack = kUnknownLocation;
  to->slot = kUnknownLocation;
  to->present |= PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT;
  return true;
}

uint32_t group_max(uint32_t group) {
  switch (group) {
    case ENVMON_CARD_CLASS_LC: return envmon_hal_get_max_lc();
    case ENVMON_CARD_CLASS_FC: return envmon_hal_get_max_fc();
    case ENVMON_CARD_CLASS_SWC: return envmon_hal_get_max_swc();
    default: return envmon_hal_get_max_xc();
  }
}

// The remote-card table entry of a card group, when that group is managed remotely.
envmon_remote_card_cb* remote_entry(uint32_t group, uint32_t position) {
  if (position >= group_max(group)) return nullptr;
  switch (group) {
    case ENVMON_CARD_CLASS_LC:
      return envmon_hal_are_lc_managed_remotely() && envmon_rm->lc_cb ? &envmon_rm->lc_cb[position]
                                                                       : nullptr;
    case ENVMON_CARD_CLASS_FC:
      return envmon_hal_are_fc_managed_remotely() && envmon_rm->fc_cb ? &envmon_rm->fc_cb[position]
                                                                       : nullptr;
    case ENVMON_CARD_CLASS_SWC:
      return envmon_hal_are_sw_managed_remotely() && envmon_rm->sw_cb ? &envmon_rm->sw_cb[position]
                                                                       : nullptr;
    default:
      return nullptr;
  }
}

}  // namespace

using namespace envmon_pm;

extern "C" {

envmon_err_t envmon_get_power_budget(int32_t entity_type, int32_t pi_hw_type, int32_t pd_hw_type,
                                     const char* pid, int32_t hw_ver_maj, int32_t hw_ver_min,
                                     uint8_t subtype, uint16_t* max_budget,
                                     uint16_t* stby_zn_budget, uint16_t* ext_budget,
                                     pelm_eid* eid) {
  static constexpr char kFunc[] = "envmon_get_power_budget";
  (void)entity_type;
  (void)hw_ver_maj;
  (void)hw_ver_min;
  if (!max_budget || !stby_zn_budget || !ext_budget) {
    tlg_internal(err_tlg_cmn_hdl, kNullPointer, kFunc);
    return ENVMON_ERR_INVALID_ARG;
  }
  const char* id = pid ? pid : "";
  // The description is the same for every version of the hardware.
  inv_parser_open_req req{};
  req.pi_hw_type = static_cast<uint32_t>(pi_hw_type);
  req.pd_hw_type = static_cast<uint32_t>(pd_hw_type);
  req.hw_major = 1;
  req.hw_minor = 0;
  snprintf(req.pid, sizeof(req.pid), "%.36s", id);
  XmlFile xml{inv_parser_open_xml_file_v2(1, &req)};
  if (!xml.h) {
    tlg_internal(err_tlg_cmn_hdl, kParseFailed, kFunc, pi_hw_type, static_cast<unsigned>(pd_hw_type),
                 id);
    envmon_debug_log(kParseFailedLog, kFunc, kParseFailedMark, static_cast<unsigned>(pi_hw_type),
                     static_cast<unsigned>(pd_hw_type), id);
    return ENVMON_ERR_INVALID_ARG;
  }
  tlg_internal(pwrm_tlg_cmn_hdl, kGotHandle, kFunc, static_cast<void*>(xml.h), pi_hw_type,
               static_cast<unsigned>(pd_hw_type), id);

  if (eid) {
    inv_eid* root = nullptr;
    const int rc = inv_parser_get_root_eid(xml.h, &root);
    if (rc == INV_PARSER_OK && root) {
      envmon_free_tsi(eid);
      inv_util_convert_eid_to_pelm_eid(root, eid);
    } else {
      // The entity id is only a convenience for the caller; its budgets still count.
      tlg_internal(err_tlg_cmn_hdl, kNoRoot, kFunc, static_cast<unsigned>(pd_hw_type), rc);
    }
    free(root);
  }

  EidList list;
  uint16_t count = 0;
  const int rc = inv_parser_get_eid_by_type_subtype(xml.h, kBudgetCategory, kBudgetEntityType,
                                                    subtype, &count, &list.eids);
  if (rc != INV_PARSER_OK) {
    tlg_internal(err_tlg_cmn_hdl, kNoBudgetEid, kFunc, subtype, static_cast<long>(rc));
    return static_cast<envmon_err_t>(static_cast<int64_t>(rc));
  }
  if (count == 0 || !list.eids) {
    tlg_internal(err_tlg_cmn_hdl, kNullEidList, kFunc);
    return ENVMON_OK;
  }
  inv_parser_eid_data data{};
  const int drc = inv_parser_get_eid_data(xml.h, &list.eids[0], &data);
  if (drc != INV_PARSER_OK) {
    tlg_internal(err_tlg_cmn_hdl, kEidDataFailed, kFunc, static_cast<long>(drc));
    return static_cast<envmon_err_t>(static_cast<int64_t>(drc));
  }
  *max_budget = data.max_budget;
  *stby_zn_budget = data.stby_zn_budget;
  *ext_budget = data.ext_budget;
  envmon_debug_log(kBeforeOverride, kFunc, static_cast<unsigned>(pd_hw_type), *max_budget,
                   *stby_zn_budget, *ext_budget);
  envmon_hal_override_power_budget_value(pd_hw_type, max_budget, ext_budget);
  tlg_internal(pwrm_tlg_cmn_hdl, kGotBudget, kFunc, *max_budget, *stby_zn_budget, *ext_budget);
  envmon_debug_log(kGotBudgetLog, kFunc, static_cast<unsigned>(pd_hw_type), *max_budget,
                   *stby_zn_budget, *ext_budget);
  return ENVMON_OK;
}

void envmon_get_entity_power_budget(int32_t entity_type, uint16_t* max_budget,
                                    uint16_t* stby_zn_budget, uint16_t* ext_budget,
                                    pelm_eid* eid) {
  static constexpr char kFunc[] = "envmon_get_entity_power_budget";
  if (!max_budget || !stby_zn_budget) {
    tlg_internal(err_tlg_cmn_hdl, kNullPointer, kFunc);
    return;
  }
  uint8_t subtype = 0;
  int32_t pi = 0;
  int32_t pd = 0;
  char pid[ENVMON_PID_LEN * 2] = {};
  int32_t maj = 0;
  int32_t min = 0;
  if (!envmon_hal_pwr_mgmt_get_hw_type(static_cast<uint32_t>(entity_type), &subtype, &pi, &pd,
                                       pid, &maj, &min)) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidEntityType, kFunc, entity_type);
    *max_budget = 0;
    *stby_zn_budget = 0;
    if (ext_budget) *ext_budget = 0;
    return;
  }
  pid[sizeof(pid) - 1] = '\0';
  tlg_internal(pwrm_tlg_cmn_hdl, kXmlInfo, kFunc, envmon_rm_pwr_kind_str(entity_type), subtype,
               static_cast<unsigned>(pi), static_cast<unsigned>(pd), pid, maj, min);
  if (envmon_get_power_budget(entity_type, pi, pd, pid, maj, min, subtype, max_budget,
                              stby_zn_budget, ext_budget, eid) != ENVMON_OK)
    tlg_internal(err_tlg_cmn_hdl, kBudgetFailed, kFunc);
}

void envmon_get_rp_sc_eid(void) {
  static constexpr char kFunc[] = "envmon_get_rp_sc_eid";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm || !p->rp_pbudget) return;
  const uint32_t max_rp = envmon_hal_get_max_rp();
  uint32_t n = envmon_rm->rp_cont_count;
  if (max_rp < n) {
    tlg_internal(err_tlg_cmn_hdl, kRpCount, kFunc, static_cast<int>(n));
    n = max_rp;
  }
  for (uint32_t i = 0; i < n && envmon_rm->rp_cont_eids; ++i) {
    const inv_eid& id = envmon_rm->rp_cont_eids[i];
    inv_parser_eid_data data{};
    const int rc = inv_parser_get_eid_data(envmon_rm->chassis_xml, &id, &data);
    if (rc != INV_PARSER_OK) {
      tlg_internal(err_tlg_cmn_hdl, kEidDataError, kFunc, rc);
      continue;
    }
    if (data.pos_num >= max_rp) {
      tlg_internal(err_tlg_cmn_hdl, kRpPosition, kFunc, static_cast<int>(data.pos_num));
      continue;
    }
    const uint32_t pos = data.pos_num;
    envmon_entity_pbudget_info_t& rec = p->rp_pbudget[pos];
    rec.hw_position = static_cast<int32_t>(data.hw_position);
    if (set_container_eid(id, &rec.container_eid)) {
      tlg_internal(pwrm_tlg_cmn_hdl, kRpConvertOk, kFunc, static_cast<int>(pos),
                   EidText(&rec.container_eid).text);
    } else {
      tlg_internal(err_tlg_cmn_hdl, kRpConvertFailed, kFunc, static_cast<int>(pos));
    }
    envmon_free_tsi(&rec.eid);
    envmon_setup_fru_eid(data.hw_position, &rec.eid);
    tlg_internal(pwrm_tlg_cmn_hdl, kRpFruEid, kFunc, static_cast<int>(pos), EidText(&rec.eid).text);
  }
}

void envmon_get_card_eid(void) {
  static constexpr char kFunc[] = "envmon_get_card_eid";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm || !p->pbudget_list) return;

  // Layout: the groups LC, FC, SWC, XC packed in that order.
  const uint32_t capacity = std::min(card_records(), kMaxCardRecords);
  uint32_t taken = 0;
  bool any = false;
  uint32_t prev_last = 0;
  uint32_t laid_out[ENVMON_CARD_CLASS_COUNT] = {};
  for (uint32_t g = 0; g < ENVMON_CARD_CLASS_COUNT; ++g) {
    uint32_t k = envmon_rm->card_eid_list[g].count;
    if (capacity - taken < k) {
      tlg_internal(err_tlg_cmn_hdl, kCardCount, kFunc, envmon_pwr_card_group_str(g),
                   static_cast<int>(k));
      k = capacity - taken;
    }
    laid_out[g] = k;
    if (k > 0) {
      const uint32_t start = any ? prev_last + 1 : 0;
      p->start_index[g] = static_cast<uint8_t>(start);
      p->last_index[g] = static_cast<uint8_t>(start + k - 1);
      p->pbudget_last_index = p->last_index[g];
      prev_last = p->last_index[g];
      any = true;
      taken += k;
    } else {
      p->start_index[g] = ENVMON_PWR_NO_INDEX;
      p->last_index[g] = ENVMON_PWR_NO_INDEX;
    }
  }

  // Entities: each card's slot, instance and ids from the chassis description.
  for (uint32_t g = 0; g < ENVMON_CARD_CLASS_COUNT; ++g) {
    const envmon_eid_list& ids = envmon_rm->card_eid_list[g];
    const char* group = envmon_pwr_card_group_str(g);
    for (uint32_t i = 0; i < ids.count && ids.eids; ++i) {
      inv_parser_eid_data data{};
      const int rc = inv_parser_get_eid_data(envmon_rm->chassis_xml, &ids.eids[i], &data);
      if (rc != INV_PARSER_OK) {
        tlg_internal(err_tlg_cmn_hdl, kCardEidDataError, kFunc, group, rc);
        continue;
      }
      if (data.pos_num >= laid_out[g]) {
        tlg_internal(err_tlg_cmn_hdl, kCardPosition, kFunc, group, static_cast<int>(data.pos_num));
        continue;
      }
      const uint32_t index = p->start_index[g] + data.pos_num;
      envmon_entity_pbudget_info_t& rec = p->pbudget_list[index];
      rec.hw_position = static_cast<int32_t>(data.hw_position);
      if (envmon_remote_card_cb* remote = remote_entry(g, data.pos_num))
        remote->hw_position = data.hw_position;
      rec.inst = data.instance;
      if (set_container_eid(ids.eids[i], &rec.container_eid)) {
        tlg_internal(pwrm_tlg_cmn_hdl, kCardConvertOk, kFunc, group, static_cast<int>(index),
                     EidText(&rec.container_eid).text);
      } else {
        tlg_internal(err_tlg_cmn_hdl, kCardConvertFailed, kFunc, group, static_cast<int>(index));
      }
      envmon_free_tsi(&rec.eid);
      envmon_setup_fru_eid(data.hw_position, &rec.eid);
      tlg_internal(pwrm_tlg_cmn_hdl, kCardFruEid, kFunc, group, static_cast<int>(index),
                   EidText(&rec.eid).text);
    }
  }
}

void envmon_get_fantray_eid(void) {
  static constexpr char kFunc[] = "envmon_get_fantray_eid";
  envmon_pwr_mgmt_data_t* p = pm();
  if (!p || !envmon_rm || !p->fantray_pbudget) return;
  const uint32_t max_ft = envmon_hal_get_max_fantray();
  uint32_t n = envmon_rm->fan_cont_count;
  if (max_ft < n) {
    tlg_internal(err_tlg_cmn_hdl, kFtCount, kFunc, static_cast<int>(n));
    n = max_ft;
  }
  for (uint32_t i = 0; i < n && envmon_rm->fan_cont_eids; ++i) {
    envmon_entity_pbudget_info_t& rec = p->fantray_pbudget[i];
    if (set_container_eid(envmon_rm->fan_cont_eids[i], &rec.container_eid)) {
      tlg_internal(pwrm_tlg_cmn_hdl, kFtConvertOk, kFunc, static_cast<int>(i),
                   EidText(&rec.container_eid).text);
    } else {
      tlg_internal(err_tlg_cmn_hdl, kFtConvertFailed, kFunc, static_cast<int>(i));
    }
  }
}

}  // extern "C"
