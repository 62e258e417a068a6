// PEM firmware upgrades: admitted one PEM at a time and only while the
// remaining capacity still carries the allocated budget; waiting upgrades are
// started one by one as earlier ones end.
#include "envmon_drvif.h"
#include "envmon_fpd.h"
#include "envmon_invreg.h"
#include "envmon_pem_private.h"
#include "fpd_drv.h"

namespace {

constexpr int32_t kAdmitted = 0;
constexpr int32_t kBusy = 1;
constexpr int32_t kWait = 2;
constexpr int32_t kRefuse = 3;

constexpr uint32_t kFpdQueued = 0;
constexpr uint32_t kFpdRequested = 1;
constexpr uint32_t kFpdUpgrading = 3;
constexpr uint32_t kFpdRunning = 4;
constexpr uint32_t kFpdEnded = 10;
constexpr uint32_t kFpdSkipped = 13;
constexpr uint32_t kFpdIdle = 25;

constexpr uint32_t kStartTimeout = 1500;
constexpr uint32_t kWaitTimeout = 3000;
constexpr uint32_t kPemUpgradeTimeout = 1500;
constexpr uint32_t kFanUpgradeTimeout = 1800;
constexpr uint32_t kUpgradeKind = 2;

constexpr char kRefused[] = "PM failed or not enough PMs in the chassis";
constexpr char kBusyText[] = "another upgrade in progress";
constexpr char kRemoved[] = "PM removed";

bool keeps_readings(uint32_t type) {
  return type == 0xAB010030 || type == 0xAB010020 || type == 0xAB010010 || type == 0xAB010001;
}

void set_fault_msg(fpd_data& fpd, const char* text) { pem::copy_text(fpd.fault_msg, sizeof fpd.fault_msg, text, 255); }

void extend(uint8_t tray, uint8_t pem, uint16_t index, fpd_data& fpd, uint32_t value) {
  const int rc = fpd_drv_extend_timeout(fpd.fpd_out.fpd_hd, value);
  tlg_internal(pwrm_tlg_pem_hdl, "fpd_drv_extend_timeout for PEM(%d,%d), fpd %d fpd_hd %p, rc %d\n", tray, pem, index,
               fpd.fpd_out.fpd_hd, rc);
}

void callback(fpd_data& fpd, void* ctx, uint32_t state) {
  if (fpd.cb_func != nullptr) fpd.cb_func(fpd.fpd_out.fpd_hd, ctx, state, fpd.fault_msg);
}

bool any_in_upgrade() {
  bool any = false;
  pem::for_each_pem([&](uint32_t, uint32_t, pem_record& p) { any |= (p.status & ENVMON_PEM_IN_FPD_UPG) != 0; });
  return any;
}

uint32_t total_capacity() {
  const envmon_pwr_mgmt_data_t* p = pem::pm();
  return p != nullptr ? p->total_capacity : 0;
}

void trace_change(const char* func, uint8_t tray, uint8_t pem, uint32_t old_status, uint32_t status,
                  uint32_t old_total) {
  tlg_internal(pwrm_tlg_pem_hdl,
               "%s : pem (%d, %d) status changed from %s to %s, total power capacity changed from %d to %d (W) \n", func,
               tray, pem, envmon_pem_status_to_str(old_status), envmon_pem_status_to_str(status), old_total,
               total_capacity());
}

}  // namespace

extern "C" {

int32_t envmon_pwr_mgmt_request_pem_upg(uint8_t tray, uint8_t pem, uint16_t index) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_request_pem_upg";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return kRefuse;
  if (p->fpds == nullptr || p->num_fpds == 0) {
    tlg_internal(pwrm_tlg_pem_hdl, "0 FPD cnt for PEM(%d,%d)\n", tray, pem);
    return kRefuse;
  }
  if (p->status == 0 || p->status == ENVMON_PEM_NOT_PRESENT || index >= p->num_fpds) return kRefuse;
  fpd_data& fpd = p->fpds[index];
  if (fpd.state == kFpdUpgrading) return kBusy;
  if (fpd.state == kFpdQueued || (p->status & ENVMON_PEM_IN_FPD_UPG)) return kWait;
  const uint32_t old_status = p->status;
  if (any_in_upgrade()) {
    p->status |= ENVMON_PEM_FPD_UPG_REQ;
    tlg_internal(pwrm_tlg_pem_hdl, "%s : pem (%d, %d) status changed from %s to %s \n", kFunc, tray, pem,
                 envmon_pem_status_to_str(old_status), envmon_pem_status_to_str(p->status));
    return kWait;
  }
  const uint32_t tc = total_capacity();
  const envmon_pwr_mgmt_data_t* pm = pem::pm();
  const uint32_t budget = pm != nullptr ? static_cast<uint32_t>(pm->total_power_budget) : 0;
  uint32_t remaining = tc;
  if (pem::usable(p->status)) remaining = tc > p->capacity ? tc - p->capacity : 0;
  if (remaining < budget && (p->status & ENVMON_PEM_OK)) return kRefuse;
  p->status = (p->status & ~ENVMON_PEM_FPD_UPG_REQ) | ENVMON_PEM_IN_FPD_UPG;
  if (pem::usable(old_status)) {
    pem::account_capacity(tray, pem, old_status);
    if (!keeps_readings(p->pem_raw_data.pem_type)) {
      tlg_internal(pwrm_tlg_pem_hdl,
                   "Clearing of Volt/CurrIn/Out sensor values of (%d,%d) pem since the pem is in fpd upgrade state \n",
                   tray, pem);
      for (uint16_t s = 0; p->voltage_data.sensors != nullptr && s < p->voltage_data.count; ++s) {
        envmon_sensor_info& sensor = p->voltage_data.sensors[s];
        sensor.value = 0;
        envmon_inv_invreg_volt_sensor_update(&sensor.eid, &sensor, ENVMON_SCOPE_RACK, 0);
      }
      for (uint16_t s = 0; p->current_data.sensors != nullptr && s < p->current_data.count; ++s) {
        envmon_sensor_info& sensor = p->current_data.sensors[s];
        sensor.value = 0;
        envmon_inv_invreg_curr_sensor_update(&sensor.eid, &sensor, ENVMON_SCOPE_RACK);
      }
    }
    envmon_inv_invreg_pem_data_update(tray, pem, 0);
  }
  trace_change(kFunc, tray, pem, old_status, p->status, tc);
  envmon_check_chassis_ps_alm(true);
  return kAdmitted;
}

envmon_err_t envmon_pem_fpd_image_set(struct fpd_drv_upgrade_req* req, fpd_data** out, uint32_t* kind,
                                      uint8_t* proceed) {
  if (proceed != nullptr) *proceed = 1;
  uint32_t t = 0, i = 0;
  if (req == nullptr || !envmon_is_pem_slot(static_cast<int32_t>(req->slot), &t, &i)) return ENVMON_ERR_INVALID_ARG;
  pem_record* p = pem::pem_at(t, i);
  fpd_data* fpd = nullptr;
  uint16_t index = 0;
  for (uint16_t f = 0; p->fpds != nullptr && f < p->num_fpds && fpd == nullptr; ++f)
    if (envmon_inv_eid_same(&p->fpds[f].eid, &req->eid)) {
      fpd = &p->fpds[f];
      index = f;
    }
  if (fpd == nullptr) return ENVMON_ERR_INVALID_ARG;
  const uint8_t tray = static_cast<uint8_t>(t), pem = static_cast<uint8_t>(i);
  if (envmon_hal_verify_pt_fpd_skip(req, fpd)) {
    fpd->state = kFpdSkipped;
    if (proceed != nullptr) *proceed = 0;
    return ENVMON_OK;
  }
  const int32_t answer = envmon_pwr_mgmt_request_pem_upg(tray, pem, index);
  tlg_internal(pwrm_tlg_pem_hdl, "envmon_pwr_mgmt_request_pem_upg returned %d\n", answer);
  switch (answer) {
    case kRefuse:
      set_fault_msg(*fpd, kRefused);
      if (req->result_cb != nullptr) req->result_cb(fpd->fpd_out.fpd_hd, req->ctx, kFpdEnded, fpd->fault_msg);
      fpd->state = kFpdEnded;
      if (proceed != nullptr) *proceed = 0;
      return ENVMON_OK;
    case kBusy:
      set_fault_msg(*fpd, kBusyText);
      if (req->result_cb != nullptr) req->result_cb(fpd->fpd_out.fpd_hd, req->ctx, kFpdUpgrading, fpd->fault_msg);
      fpd->state = kFpdUpgrading;
      if (proceed != nullptr) *proceed = 0;
      return ENVMON_OK;
    case kWait:
      fpd->state = kFpdQueued;
      extend(tray, pem, index, *fpd, kWaitTimeout);
      if (proceed != nullptr) *proceed = 0;
      [[fallthrough]];
    default:
      if (out != nullptr) *out = fpd;
      if (kind != nullptr) *kind = kUpgradeKind;
      return ENVMON_OK;
  }
}

void envmon_pwr_mgmt_pem_upg_done(uint8_t tray, uint8_t pem, uint16_t index, uint8_t failed) {
  static constexpr char kFunc[] = "envmon_pwr_mgmt_pem_upg_done";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  if (p->status == ENVMON_PEM_NOT_PRESENT) {
    tlg_internal(pwrm_tlg_pem_hdl, "%s : pem (%d, %d) already removed, ignore UPD msg\n", kFunc, tray, pem);
    return;
  }
  const uint32_t old_status = p->status;
  const uint32_t old_total = total_capacity();
  for (uint16_t f = 0; p->fpds != nullptr && f < p->num_fpds; ++f) {
    if (f == index || p->fpds[f].state != kFpdQueued) continue;
    // The next FPD of the same PEM starts right away, still in the upgrade.
    p->status = (old_status & ~ENVMON_PEM_FPD_UPG_REQ) | ENVMON_PEM_IN_FPD_UPG;
    envmon_drvif_request_fpd_upd(ENVMON_DRV_POWER, &p->fpds[f]);
    p->fpds[f].state = kFpdRequested;
    extend(tray, pem, f, p->fpds[f], kStartTimeout);
    return;
  }
  if (failed == 1)
    p->status = ENVMON_PEM_FAILED;
  else
    p->status &= ~(ENVMON_PEM_FPD_UPG_REQ | ENVMON_PEM_IN_FPD_UPG);
  if (p->status == ENVMON_PEM_OK && !pem::usable(old_status)) {
    pem::account_capacity(tray, pem, old_status);
    envmon_inv_invreg_pem_data_update(tray, pem, 0);
  }
  trace_change(kFunc, tray, pem, old_status, p->status, old_total);
  envmon_pem_restart_queued_fpd_upg();
  envmon_check_chassis_ps_alm(true);
}

void envmon_pem_restart_queued_fpd_upg(void) {
  pem::for_each_pem([](uint32_t t, uint32_t i, pem_record& p) {
    if (!(p.status & ENVMON_PEM_FPD_UPG_REQ)) return;
    const uint8_t tray = static_cast<uint8_t>(t), pem = static_cast<uint8_t>(i);
    for (uint16_t f = 0; p.fpds != nullptr && f < p.num_fpds; ++f) {
      fpd_data& fpd = p.fpds[f];
      if (fpd.state != kFpdQueued) continue;
      fpd.state = kFpdIdle;
      switch (envmon_pwr_mgmt_request_pem_upg(tray, pem, f)) {
        case kRefuse:
          set_fault_msg(fpd, kRefused);
          callback(fpd, &fpd, kFpdEnded);
          fpd.state = kFpdEnded;
          break;
        case kBusy:
        case kWait:
          fpd.state = kFpdQueued;
          extend(tray, pem, f, fpd, kWaitTimeout);
          break;
        default:
          envmon_drvif_request_fpd_upd(ENVMON_DRV_POWER, &fpd);
          fpd.state = kFpdRequested;
          extend(tray, pem, f, fpd, kStartTimeout);
          break;
      }
    }
    // The request is withdrawn once none of the PEM's FPDs waits any more.
    bool waiting = false;
    for (uint16_t f = 0; p.fpds != nullptr && f < p.num_fpds; ++f) waiting |= p.fpds[f].state == kFpdQueued;
    if (!waiting) p.status &= ~ENVMON_PEM_FPD_UPG_REQ;
  });
}

void envmon_pem_cancel_fpd_upg(uint8_t tray, uint8_t pem) {
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  for (uint16_t f = 0; p->fpds != nullptr && f < p->num_fpds; ++f) {
    fpd_data& fpd = p->fpds[f];
    if (fpd.state != kFpdQueued && fpd.state != kFpdRequested && fpd.state != kFpdUpgrading && fpd.state != kFpdRunning)
      continue;
    fpd.state = kFpdEnded;
    set_fault_msg(fpd, kRemoved);
    callback(fpd, &fpd, kFpdEnded);
  }
  envmon_pem_restart_queued_fpd_upg();
}

uint32_t envmon_pem_fpd_get_upgrade_timeout(const fpd_data* fpd) {
  if (fpd == nullptr) return 0;
  uint32_t index = 0, t = 0, i = 0;
  const int32_t slot = fpd->eid.slot;
  if (envmon_is_pem_slot(slot, &t, &i)) return kPemUpgradeTimeout;
  if (envmon_is_fantray_slot(static_cast<uint32_t>(slot), &index)) return kFanUpgradeTimeout;
  return 0;
}

void envmon_pem_fpd_init_slot(uint32_t slot) {
  uint32_t tray = 0;
  if (!envmon_is_powertray_slot(slot, &tray)) return;
  pd_power_tray_info_t* t = pem::tray_at(tray);
  for (uint32_t i = 0; t != nullptr && t->pems != nullptr && i < t->num_pems; ++i) {
    pem_record& p = t->pems[i];
    for (uint16_t f = 0; p.fpds != nullptr && f < p.num_fpds; ++f) {
      if (p.fpds[f].init_st != ENVMON_FPD_INIT_PENDING) continue;
      if (envmon_fpd_init(&p.fpds[f], static_cast<uint32_t>(pem::pem_slot(tray, i)), envmon_evloop) == 0)
        p.fpds[f].init_st = ENVMON_FPD_INIT_DONE;
    }
  }
}

int32_t envmon_pem_fpd_init(fpd_data* fpd, uint32_t slot, uint32_t* node_slot, void* reg) {
  return envmon_fpd_process_data(fpd, slot, node_slot, static_cast<struct fpd_drv_reg_info*>(reg));
}

}  // extern "C"
