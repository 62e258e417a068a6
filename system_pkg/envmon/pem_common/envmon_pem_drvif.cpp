// The PEM library's side of the power driver ("PWR", driver 2): which driver
// serves a slot, PEM registration once inventory knows every PEM container,
// polling of a PEM's sensors, the rack number, and the driver's connects,
// disconnects and controller restarts.
#include "drvif.h"
#include "envmon_drvif.h"
#include "envmon_pem_private.h"
#include "fpd_drv.h"

namespace {

constexpr uint32_t kPemOp = 1;
constexpr uint32_t kPemEntityType = 6;
constexpr uint32_t kPemRegType = 11;
constexpr uint32_t kNoDriver = 17;
constexpr uint32_t kStartUpgradeTimeout = 1500;

envmon_sensor_info* first_voltage_sensor(pem_record& p) {
  return p.voltage_data.sensors != nullptr && p.voltage_data.count != 0 ? &p.voltage_data.sensors[0] : nullptr;
}

bool standby_quiet_chassis() {
  if (envmon_rm == nullptr) return false;
  const uint32_t chassis = envmon_rm->chassis_type;
  return (chassis == 0x6001010B || chassis == 0x60010107) && envmon_rm->svc_role != ENVMON_ROLE_ACTIVE;
}

}  // namespace

extern "C" {

uint32_t envmon_pem_drvif_get_driver_by_slot(int32_t slot) {
  uint32_t t = 0, i = 0;
  return envmon_is_pem_slot(slot, &t, &i) ? ENVMON_DRV_POWER : kNoDriver;
}

void envmon_drvif_pem_sensors_poll_request(uint8_t tray, uint8_t pem, uint32_t mode) {
  static constexpr char kFunc[] = "envmon_drvif_pem_sensors_poll_request";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s: invalid pwr_tray_num %d or pem_num %d\n", kFunc, tray, pem);
    return;
  }
  bool armed = false;
  for (uint32_t l = 0; l < pem::kListCount; ++l) {
    envmon_sensor_list* list = pem::sensor_list(*p, l);
    if (list->count == 0 || list->sensors == nullptr) continue;
    envmon_drvif_poll_request(list->sensors, list->count, mode, ENVMON_DRV_POWER);
    list->reg_state = (list->reg_state & 0x0ffffcffu) | 0xf0000100u;
    armed = true;
  }
  if (armed) envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
  if (envmon_sensor_info* first = first_voltage_sensor(*p)) first->state |= ENVMON_SBIT_DRVIF_REG;
  tlg_internal(pwrm_tlg_pem_hdl, "%s: pwr_tray_num %d, pem_num %d\n", kFunc, tray, pem);
}

void envmon_drvif_pwr_regi_pem(void) {
  static constexpr char kFunc[] = "envmon_drvif_pwr_regi_pem";
  if (envmon_hal_get_max_virtual_powertray() != 0) {
    if (envmon_all_pem_container_regi_done() != 1) {
      tlg_internal(pwrm_tlg_pem_hdl, "%s(): delay register with PWR driver for PEM - pem_container_regi not done\n",
                   kFunc);
      return;
    }
    if (envmon_nm == nullptr || envmon_nm->drvif_connected[ENVMON_DRV_POWER] != 1) {
      tlg_internal(pwrm_tlg_pem_hdl, "%s(): delay register with PWR driver for PEM - not connected to PWR driver yet\n",
                   kFunc);
      return;
    }
  }
  if (pd_power_supplies_data.pem_drvif_reg_done) {
    tlg_internal(pwrm_tlg_pem_hdl, "%s ingore: already registered with PWR drv for PEM\n", kFunc);
    return;
  }
  uint32_t op = kPemOp, pt = kPemEntityType, rt = kPemRegType;
  drvif_eid_register_req req{};
  req.op = &op;
  req.op_count = 1;
  req.pt = &pt;
  req.pt_count = 1;
  req.rt = &rt;
  req.rt_count = 1;
  req.present = 0x7;
  drvif_handle_t* h = get_drvif_driver_handler(ENVMON_DRV_POWER);
  const int rc = h != nullptr ? drvif_eid_register(h, &req, 0) : DRVIF_ERR_NOT_CONNECTED;
  if (rc != 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): error while register with PWR driver for PEM,  rc = %d\n", kFunc, rc);
    return;
  }
  pd_power_supplies_data.pem_drvif_reg_done = 1;
  tlg_internal(pwrm_tlg_pem_hdl, "%s(): register with PWR driver ok for PEM\n", kFunc);
}

void envmon_pem_drvif_connect(uint32_t driver) {
  tlg_internal(pwrm_tlg_pem_hdl, "%s: reseting the ENVMON_SBIT_DRVIF_REG bit for power driver during fresh connect\n",
               __func__);
  if (driver != ENVMON_DRV_POWER) return;
  pem::for_each_pem([](uint32_t, uint32_t, pem_record& p) {
    if (envmon_sensor_info* first = first_voltage_sensor(p)) first->state &= ~ENVMON_SBIT_DRVIF_REG;
  });
}

void envmon_pem_drvif_disconnect(uint32_t driver) {
  if (pd_power_tray_info == nullptr) return;
  if (standby_quiet_chassis()) {
    tlg_internal(err_tlg_pem_hdl, "%s: STBY disconnect\n", __func__);
    return;
  }
  if (driver != ENVMON_DRV_POWER) return;
  pd_power_supplies_data.pem_drvif_reg_done = 0;
  if (envmon_pwr_mgmt_data_t* p = pem::pm()) p->pwr_tray_drvif_reg_done = 0;
  pd_power_supplies_data.all_pem_info_rcvd = 0;
  pem::for_each_pem([](uint32_t, uint32_t, pem_record& p) {
    if (p.status != 0 && p.status != ENVMON_PEM_NOT_PRESENT) p.status |= ENVMON_PEM_PRESENT_BEFORE_CCC_RESTART;
  });
}

void envmon_pem_send_rack_num_to_driver(uint32_t rack) {
  envmon_pwr_mgmt_data_t* p = pem::pm();
  if (p == nullptr) {
    tlg_internal(pwrm_tlg_pem_hdl, "Set rack num to PWR DR not done yet, waiting for pwr mgmt init\n");
    return;
  }
  if (p->pwr_tray_drvif_reg_done != 1) {
    tlg_internal(pwrm_tlg_pem_hdl, "Set rack num to PWR DR not done yet, waiting for DRVIF reg done\n");
    return;
  }
  envmon_drvif_send_rack_num_to_driver(ENVMON_DRV_POWER, rack);
}

void envmon_drvif_ccc_restart_pem_fpd_upg_handling(uint8_t tray, uint8_t pem) {
  static constexpr char kFunc[] = "envmon_drvif_ccc_restart_pem_fpd_upg_handling";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr || p->fpds == nullptr) return;
  for (uint16_t f = 0; f < p->num_fpds; ++f) {
    fpd_data& rec = p->fpds[f];
    const bool interrupted = rec.state_set == 3 || (rec.state_set == 2 && (rec.state == 1 || rec.state == 3));
    if (!interrupted) {
      envmon_drvif_get_fpd_info(&rec.eid, rec.eid.slot);
      continue;
    }
    const int rc = fpd_drv_extend_timeout(rec.fpd_out.fpd_hd, kStartUpgradeTimeout);
    tlg_internal(pwrm_tlg_pem_hdl, "%s:fpd_drv_extend_timeout for fpd_hd %p, rc %d\n", kFunc, rec.fpd_out.fpd_hd, rc);
    envmon_drvif_request_fpd_upd(ENVMON_DRV_POWER, &rec);
    tlg_internal(pwrm_tlg_pem_hdl, "%s: re-requested fpd upgrade for PEM (%d, %d) fpd #%d\n", kFunc, tray, pem, f);
    return;
  }
}

}  // extern "C"
