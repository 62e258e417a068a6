// Platform-driver hooks both platforms share: connection and entity events,
// FPD notifications and the state machine's clean-up of driver work, all
// handed to the PEM library, which owns the power modules.
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_pem.h"
#include "envhal_private.h"

namespace {
constexpr uint32_t kPowerDriver = ENVMON_DRV_POWER;
}  // namespace

extern "C" {

void envmon_hal_drvif_connect(uint32_t driver) { envmon_pem_drvif_connect(driver); }

void envmon_hal_drvif_disconnect(uint32_t driver) { envmon_pem_drvif_disconnect(driver); }

uint32_t envmon_hal_drvif_get_driver_by_slot(uint32_t slot) {
  return envmon_pem_drvif_get_driver_by_slot(static_cast<int32_t>(slot));
}

void envmon_hal_drvif_post_connect_actions(uint32_t driver) {
  if (driver != kPowerDriver) return;
  envmon_drvif_pwr_regi_pem();
  envmon_pem_drvif_verify_uncompleted_fpd_upgrade();
}

void envmon_hal_drvif_eid_data_notification(uint8_t subtype, const drvif_eid_data_rec* entry,
                                            const pelm_eid* entry_eid, pelm_eid* eid, pelm_tsi* tsi,
                                            uint32_t tsi_count, uint32_t slot, uint32_t board_id, const char* serial,
                                            uint32_t state, uint32_t fault, const char* text1, uint32_t warning,
                                            const char* text2, uint32_t misc, const uint8_t* idprom,
                                            uint32_t idprom_len, uint32_t hw_major, uint32_t hw_minor,
                                            uint32_t scope) {
  envmon_pem_drvif_eid_data_notification(subtype, entry, entry_eid, eid, tsi, tsi_count, slot, board_id, serial,
                                         state, fault, text1, warning, text2, misc, idprom, idprom_len, hw_major,
                                         hw_minor, scope);
}

void envmon_hal_drvif_sensor_data_notification_complete(uint8_t subtype) {
  envmon_pem_drvif_sensor_data_notification_complete(subtype);
}

void envmon_hal_drvif_process_volt_fault(uint32_t /*slot*/, uint16_t* /*count*/, envmon_sensor_info** /*list*/) {}

int32_t envmon_hal_drvif_reg_ecu_eids(drvif_eid_register_req* /*req*/) { return 0; }

fpd_data* envmon_hal_get_fpd_data(uint32_t slot, const inv_eid* eid) {
  fpd_data* fpd = envmon_pem_get_fpd_data(slot, eid);
  if (fpd == nullptr) tlg_internal(err_tlg_lib_hdl, "%s: invalid eid for slot %d\n", "envmon_hal_get_fpd_data", slot);
  return fpd;
}

void envmon_hal_drvif_fpd_data_state_notification(uint32_t slot, fpd_data* fpd, uint32_t notified,
                                                  uint32_t prev_state) {
  envmon_pem_drvif_fpd_data_state_notification(slot, fpd, static_cast<uint8_t>(notified), prev_state);
}

void envmon_hal_drvif_fpd_data_fault_notification(uint32_t slot, const pelm_eid* eid, fpd_data* fpd) {
  envmon_pem_drvif_fpd_data_fault_notification(slot, eid, fpd);
}

void envmon_hal_fsa_rm_cleanup_inv_retry_request(void) { envmon_pem_fsa_rm_cleanup_inv_retry_request(); }

void envmon_hal_fsa_rm_cleanup_drvif_retry_request(uint32_t driver) {
  envmon_pem_fsa_rm_cleanup_drvif_retry_request(driver);
}

int32_t envmon_hal_fsa_rm_pd_error_count(void) { return envmon_pem_fsa_rm_pd_error_count(); }

}  // extern "C"
