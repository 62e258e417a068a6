// FPD (FPGA) data of fan trays to inventory: the report, its re-send after
// flow control, and the answer to inventory's own request.
#include "envmon_invreg_private.h"

using namespace envmon::invreg;
using envmon::eid_text;

namespace {

constexpr char kNotConnected[] = "%s():  Failed to report fpga data to INVREG RM, not connected\n";
constexpr char kConvertFailed[] = "%s():  inv_util_convert_eid_to_pelm_eid failed\n";
constexpr char kSetFpd[] = "%s(): set fpd data for %s\n";
constexpr char kFields[] =
    "%s(): is_upgradable %d, hw_ver_major %d, hw_ver_minor %d, fpd_ver_major %d, fpd_ver_minor "
    "%d, fw_ver_major %d, fw_ver_minor %d, state %d, fpd_size %d\n";
constexpr char kSendFailed[] = "%s():  eid %s, rc %d \n";
constexpr char kNullEid[] = "%s(): NULL eid\n";
constexpr char kInvalidEid[] = "%s(): invalid eid %s\n";

// An upgrade in progress reports the version being written.
constexpr uint32_t kUpgradeRunning = 2;

}  // namespace

extern "C" {

void envmon_inv_invreg_rm_set_fpga_data(invreg_fpga_data* d, const fpd_data* fpd) {
  d->fpd_size = fpd->fpd_size;
  d->is_upgradable = fpd->is_upgradable;
  d->hw_ver_major = fpd->hw_ver_major;
  d->hw_ver_minor = fpd->hw_ver_minor;
  d->fpd_ver_major = fpd->fpd_ver_major;
  d->fpd_ver_minor = fpd->fpd_ver_minor;
  d->spi_flash = fpd->spi_flash;
  d->state = fpd->state_set;
  if (fpd->upgrade_state == kUpgradeRunning) {
    d->fw_ver_major = fpd->req_fpd_ver_major;
    d->fw_ver_minor = fpd->req_fpd_ver_minor;
  } else {
    d->fw_ver_major = fpd->inst_fpd_ver_major;
    d->fw_ver_minor = fpd->inst_fpd_ver_minor;
  }
  d->image_attr = fpd->image_attr;
  d->present[0] = 0xff;
  d->present[1] = 0x0f;
  tlg_internal(info_tlg_cmn_hdl, kFields, __func__, d->is_upgradable,
               static_cast<int>(d->hw_ver_major), static_cast<int>(d->hw_ver_minor),
               static_cast<int>(d->fpd_ver_major), static_cast<int>(d->fpd_ver_minor),
               static_cast<int>(d->fw_ver_major), static_cast<int>(d->fw_ver_minor),
               static_cast<int>(d->state), static_cast<int>(d->fpd_size));
}

int32_t envmon_inv_invreg_rm_report_fpga_data(fpd_data* fpd, uint8_t first) {
  static const char* fn = __func__;
  if (fpd == nullptr) return INVREG_FAILED;
  invreg_handle_t* h = rm_client();
  if (h == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNotConnected, fn);
    return INVREG_FAILED;
  }
  invreg_fpga_data d{};
  if (inv_util_convert_eid_to_pelm_eid(&fpd->eid, &d.eid) != INV_UTIL_OK) {
    tlg_internal(err_tlg_cmn_hdl, kConvertFailed, fn);
    envmon_free_tsi(&d.eid);
    return INVREG_FAILED;
  }
  const uint32_t slot = d.eid.slot;
  d.eid.rack = ENVMON_RACK_UNKNOWN;
  const auto text = eid_text(d.eid);
  tlg_internal(info_tlg_cmn_hdl, kSetFpd, fn, text.data());
  envmon_inv_invreg_rm_set_fpga_data(&d, fpd);
  const int rc = invreg_report_fpga_data(h, &d, 0);
  fpd->val_capi_flow_ctrl = rc == INVREG_FLOW_CONTROLLED ? 1 : 0;
  if (rc != 0) tlg_internal(err_tlg_cmn_hdl, kSendFailed, fn, text.data(), rc);
  envmon_free_tsi(&d.eid);
  if (first != 1 || rc != 0 || fpd->init_st == ENVMON_FPD_INIT_DONE) return rc;
  if (envmon_rm->rack_nodeid_valid == 1) {
    if (envmon_fpd_init(fpd, slot, envmon_evloop) == 0) fpd->init_st = ENVMON_FPD_INIT_DONE;
  } else {
    // Registered with the FPD framework for the whole slot once node ids are known.
    fpd->init_st = ENVMON_FPD_INIT_PENDING;
  }
  return rc;
}

void envmon_inv_invreg_rm_get_fpga_data_cb(invreg_handle_t* handle, const pelm_eid* eid,
                                           uint64_t req_ctx) {
  static const char* fn = __func__;
  if (eid == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kNullEid, fn);
    return;
  }
  invreg_fpga_data resp{};
  inv_util_copy_pelm_eid_to_pelm_eid(eid, &resp.eid);
  inv_eid ieid{};
  inv_util_convert_pelm_eid_to_eid(&resp.eid, &ieid);
  const auto text = eid_text(resp.eid);
  const fpd_data* fpd = envmon_hal_get_fpd_data(resp.eid.slot, &ieid);
  if (fpd == nullptr) {
    tlg_internal(err_tlg_cmn_hdl, kInvalidEid, fn, text.data());
  } else {
    tlg_internal(info_tlg_cmn_hdl, kSetFpd, fn, text.data());
    envmon_inv_invreg_rm_set_fpga_data(&resp, fpd);
    invreg_resp_fpga_data(handle, &resp, 1, 0, req_ctx);
  }
  envmon_free_tsi(&resp.eid);
}

}  // extern "C"
