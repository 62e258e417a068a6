// Retry handlers of the container, FRU and power-allocation requests.
#include "envmon.h"
#include "envmon_eid_text.h"
#include "envmon_err_hdl.h"
#include "envmon_err_hdl_walk.h"

namespace {

using namespace envmon::retry;
using envmon::eid_text;
using envmon::inv_eid_text;

constexpr const char kFtContFailed[] = "FSA: %s-FT[%d] container REG_REQ failed: EID=%s\n";
constexpr const char kFtContSummary[] = "FSA:RM-FT[%d] CONTAINER REG[%d,%d]\n";
constexpr const char kPtContFailed[] = "FSA: %s-PT[%d] container REG_REQ failed: EID=%s\n";
constexpr const char kPtContSummary[] = "FSA:RM-PT[%d] CONTAINER REG[%d,%d]\n";
constexpr const char kPwrFailed[] = "FSA: %s-FT[%d] PWR Update REQ failed: EID=%s\n";
constexpr const char kPwrSummary[] = "FSA:RM-FT[%d] PWR UPDATE REG[%d,%d]\n";

constexpr const char kFtRegFailed[] = "FSA: %s-FT[%d] EEPROM REG_REQ failed: EID=%s\n";
constexpr const char kFtRegSummary[] = "FSA:RM-FT[%d] EEPROM REG[1,%d]\n";
constexpr const char kFtSetFailed[] = "FSA: %s-FT[%d] EEPROM SET_REQ failed: EID=%s\n";
constexpr const char kFtSetSummary[] = "FSA:RM-FT[%d] EEPROM SET[1,%d]\n";
constexpr const char kFtUnregFailed[] = "FSA: %s-FT[%d] EEPROM UNREG_REQ failed: EID=%s\n";
constexpr const char kFtUnregSummary[] = "FSA:RM-FT[%d] EEPROM UNREG[1,%d]\n";
constexpr const char kFpdFailed[] = "FSA: %s-FT[%d]FPD REG_REQ failed: EID=%s\n";
constexpr const char kFpdSummary[] = "FSA:RM-FT[%d] FPD REG[1,%d]\n";

constexpr const char kPtRegFailed[] = "FSA: %s-PT[%d] EEPROM REG_REQ failed: EID=%s\n";
constexpr const char kPtRegSummary[] = "FSA:RM-PT[%d] EEPROM REG[1,%d]\n";
constexpr const char kPtSetFailed[] = "FSA: %s-PT[%d] EEPROM SET_REQ failed: EID=%s\n";
constexpr const char kPtSetSummary[] = "FSA:RM-PT[%d] EEPROM SET[1,%d]\n";
constexpr const char kPtUnregFailed[] = "FSA: %s-PT[%d] EEPROM UNREG_REQ failed: EID=%s\n";
constexpr const char kPtUnregSummary[] = "FSA:RM-PT[%d] EEPROM UNREG[1,%d]\n";

// A power tray's word keeps its entity-set pair at 0x4/0x8 and its
// unregistration pair at 0x10/0x20.
constexpr pair kPtReg{ENVMON_PT_REG_PENDING, ENVMON_PT_REG_DONE};
constexpr pair kPtSet{ENVMON_PT_SET_PENDING, ENVMON_PT_SET_DONE};
constexpr pair kPtUnreg{ENVMON_PT_UNREG_PENDING, ENVMON_PT_UNREG_DONE};

// The serial number of a fan tray's IDPROM: 11 characters and the terminator.
constexpr size_t kPcbSnLen = 12;

envmon_pwr_mgmt_data_t* pwr_data() {
  return envmon_rm != nullptr ? envmon_rm->pwr_mgmt_data : nullptr;
}

// A container word of a tray: the retry step and its summary.
int container_pass(const char* fn, uint32_t tray, uint32_t& word, inv_eid* eid,
                   const char* failed, const char* summary) {
  if ((word & kReg.pending) == 0) return 0;
  bool resent = step_word(
      word, kReg,
      [eid] {
        if (eid != nullptr) {
          envmon_inv_invreg_rm_register_container_eid(eid, 1, envmon_rm->chassis_xml);
        }
      },
      [fn, tray, eid, failed] {
        tlg_internal(err_tlg_cmn_hdl, failed, fn, static_cast<int>(tray),
                     inv_eid_text(eid).data());
      });
  tlg_internal(smil_tlg_cmn_hdl, summary, static_cast<int>(tray), 1, resent ? 1 : 0);
  return resent ? 1 : 0;
}

}  // namespace

extern "C" {

int envmon_err_hdl_rm_ft_cont(void) {
  if (envmon_rm == nullptr || envmon_rm->fan_cont_reg_state == nullptr) return 1;
  const uint32_t trays = envmon_hal_get_max_fantray();
  int total = 0;
  for (uint32_t t = 0; t < trays; ++t) {
    inv_eid* eid = (envmon_rm->fan_cont_eids != nullptr && t < envmon_rm->fan_cont_count)
                             ? &envmon_rm->fan_cont_eids[t]
                             : nullptr;
    total += container_pass(__func__, t, envmon_rm->fan_cont_reg_state[t], eid, kFtContFailed,
                            kFtContSummary);
  }
  return total;
}

int envmon_err_hdl_rm_pt_cont(void) {
  if (envmon_hal_get_max_powertray() == 0) return 0;
  // No table yet counts as nothing pending.
  if (envmon_rm == nullptr || envmon_rm->pwr_tray_cont_reg_state == nullptr) return 0;
  int total = 0;
  for (uint32_t t = 0; t < envmon_rm->pwr_tray_count; ++t) {
    inv_eid* eid = envmon_rm->pwr_tray_cont_eids != nullptr
                             ? &envmon_rm->pwr_tray_cont_eids[t]
                             : nullptr;
    total += container_pass(__func__, t, envmon_rm->pwr_tray_cont_reg_state[t], eid,
                            kPtContFailed, kPtContSummary);
  }
  return total;
}

int envmon_err_hdl_rm_pwr_info(void) {
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  if (pm == nullptr || pm->fantray_pbudget == nullptr) return 1;
  const char* fn = __func__;
  const uint32_t trays = envmon_hal_get_max_fantray();
  int total = 0;
  for (uint32_t t = 0; t < trays; ++t) {
    envmon_entity_pbudget_info_t& rec = pm->fantray_pbudget[t];
    if ((rec.reg_state & kReg.pending) == 0) continue;
    bool resent = step_word(
        rec.reg_state, kReg,
        [&rec] {
          envmon_inv_invreg_fru_power_alloc_update(&rec.eid, rec.pbudget, rec.status, rec.current,
                                                   0);
        },
        [fn, t, &rec] {
          tlg_internal(err_tlg_cmn_hdl, kPwrFailed, fn, static_cast<int>(t),
                       eid_text(rec.eid).data());
        });
    tlg_internal(smil_tlg_cmn_hdl, kPwrSummary, static_cast<int>(t), 1, resent ? 1 : 0);
    if (resent) ++total;
  }
  return total;
}

int envmon_err_hdl_rm_ft_fru(void) {
  if (envmon_rm == nullptr || envmon_rm->fantray_cb == nullptr) return 0;
  const char* fn = __func__;
  const uint32_t trays = envmon_hal_get_max_fantray();
  int total = 0;
  // One flag for the whole pass: the EEPROM data waits while the step before
  // it re-sent something.
  bool resent = false;
  auto one = [&](uint32_t& word, pair p, uint32_t t, auto&& send, const char* failed,
                 const char* summary, const char* eid) {
    if ((word & p.pending) == 0) return;
    resent = false;
    resent = step_word(word, p, send, [&] {
      tlg_internal(err_tlg_cmn_hdl, failed, fn, static_cast<int>(t), eid);
    });
    if (resent) ++total;
    tlg_internal(smil_tlg_cmn_hdl, summary, static_cast<int>(t), resent ? 1 : 0);
  };
  for (uint32_t t = 0; t < trays; ++t) {
    fantray_cb& ft = envmon_rm->fantray_cb[t];
    const auto ceid = eid_text(ft.ceid);
    one(ft.flags, kReg, t,
        [&ft] {
          char serial[kPcbSnLen] = {};
          envmon_hal_idprom_get_pcb_sn(ft.eeprom, envmon_hal_get_max_idprom_size(), serial,
                                       sizeof(serial));
          envmon_inv_invreg_fan_fru_reg(ft.hw_position, ft.board_id, serial, ft.eeprom,
                                        ft.eeprom_len, &ft.ceid);
        },
        kFtRegFailed, kFtRegSummary, ceid.data());
    if (!resent) {
      one(ft.flags, kEeprom, t,
          [&ft] {
            envmon_reg_and_set_eeprom_data(ft.fru_xml, ft.hw_position, &ft.ceid, ft.eeprom,
                                           ft.eeprom_len);
          },
          kFtSetFailed, kFtSetSummary, ceid.data());
    }
    one(ft.flags, kUnreg, t, [&ft] { envmon_inv_invreg_fan_fru_unreg(ft.hw_position); },
        kFtUnregFailed, kFtUnregSummary, ceid.data());
    for (uint32_t j = 0; ft.fpd_data != nullptr && j < ft.fpd_count; ++j) {
      fpd_data& fpd = ft.fpd_data[j];
      one(fpd.reg_state, kReg, t, [&fpd] { envmon_reg_fpd_eid(&fpd, fpd.fpd_out.fpd_hd, fpd.eid.slot); },
          kFpdFailed, kFpdSummary, inv_eid_text(&fpd.eid).data());
    }
  }
  return total;
}

int envmon_err_hdl_rm_pt_fru(void) {
  if (envmon_hal_get_max_powertray() == 0) return 0;
  envmon_pwr_mgmt_data_t* pm = pwr_data();
  if (pm == nullptr || pm->envmon_pwr_tray_data == nullptr) return 0;
  const char* fn = __func__;
  int total = 0;
  bool resent = false;
  auto one = [&](uint32_t& word, pair p, uint32_t t, auto&& send, const char* failed,
                 const char* summary, const char* eid) {
    if ((word & p.pending) == 0) return;
    resent = false;
    resent = step_word(word, p, send, [&] {
      tlg_internal(err_tlg_cmn_hdl, failed, fn, static_cast<int>(t), eid);
    });
    if (resent) ++total;
    tlg_internal(smil_tlg_cmn_hdl, summary, static_cast<int>(t), resent ? 1 : 0);
  };
  for (uint32_t t = 0; t < envmon_rm->pwr_tray_count; ++t) {
    envmon_pwr_tray_budget& pt = pm->envmon_pwr_tray_data[t];
    const auto eid = eid_text(pt.eid);
    one(pt.reg_state, kPtReg, t,
        [&pt, t] {
          envmon_inv_invreg_reg_pwr_fru(t, 0, pt.fru_type, pt.fru_text, 11, 0, 0);
        },
        kPtRegFailed, kPtRegSummary, eid.data());
    if (!resent) {
      one(pt.reg_state, kPtSet, t,
          [t] { envmon_hal_inv_invreg_rm_register_powertray_entities(t); }, kPtSetFailed,
          kPtSetSummary, eid.data());
    }
    one(pt.reg_state, kPtUnreg, t,
        [&pt, t] { envmon_inv_invreg_unreg_pwr_fru(t, 0, pt.fru_type); }, kPtUnregFailed,
        kPtUnregSummary, eid.data());
  }
  return total;
}

}  // extern "C"
