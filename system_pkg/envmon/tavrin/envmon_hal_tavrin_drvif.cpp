// Platform-driver hooks of tavrin: the scope of a slot with its failure-log
// mark, the sensor path (optics temperatures into the fan algorithm, board
// power from the hot-swap controllers), and the FPD questions.
#include <cstring>

#include "drvif.h"
#include "envhal_private.h"
#include "envhal_tavrin_fan.h"
#include "envmon_drvif.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "envmon_pem.h"

using namespace envhal::tavrin;

namespace {

bool hot_swap_name(const char* name) {
  return std::strstr(name, "Hot_Swap") != nullptr || std::strstr(name, "HS") != nullptr;
}

// Index of the last hot-swap sensor of a list (0 when none is).
uint16_t last_hot_swap(const envmon_sensor_list& list) {
  uint16_t index = 0;
  for (uint16_t i = 0; i < list.count; ++i) {
    if (hot_swap_name(list.sensors[i].name)) index = i;
  }
  return index;
}

// A changed board power is made known: its operational state and its value.
envmon_err_t board_power_update(const envmon_board_pwr_idx* idx, envmon_sensor_list& power, uint32_t scope,
                                uint32_t slot) {
  uint8_t state_changed = 0;
  uint8_t value_changed = 0;
  envmon_calculate_board_power_value(idx, 0, &state_changed, &value_changed, scope, slot);
  if (power.sensors == nullptr || power.count == 0) return ENVMON_OK;
  envmon_sensor_info& board = power.sensors[0];
  if (state_changed != 0) envmon_update_oper_state(&board.eid, board.hw_event, scope);
  if (value_changed != 0) envmon_inv_invreg_power_usage_update(&board.eid, &board, scope);
  return ENVMON_OK;
}

envmon_err_t fan_tray_board_power(uint32_t slot) {
  uint32_t tray = 0;
  if (!envmon_is_fantray_slot(slot, &tray)) return ENVMON_OK;
  fantray_cb& ft = envmon_rm->fantray_cb[tray];
  if (ft.voltage_data.count == 0 || ft.current_data.count == 0 || ft.voltage_data.sensors == nullptr ||
      ft.current_data.sensors == nullptr)
    return ENVMON_OK;
  // A tray's lists come and go with the tray: its table is built afresh.
  ft.board_pwr_idx = envmon_board_pwr_idx{};
  ft.board_pwr_idx.hs1_idx[0] = last_hot_swap(ft.voltage_data);
  ft.board_pwr_idx.hs1_idx[1] = last_hot_swap(ft.current_data);
  ft.board_pwr_idx.valid = 1;
  return board_power_update(&ft.board_pwr_idx, ft.power_data, ENVMON_SCOPE_RACK, slot);
}

envmon_err_t node_board_power(const pelm_eid* eid, uint32_t slot) {
  envmon_nm_t* nm = envmon_nm;
  if (nm->board_pwr_idx.valid == 0) envmon_get_nm_board_pwr_idx(&nm->board_pwr_idx);
  if (nm->board_pwr_idx.valid == 0) return ENVMON_OK;
  envmon_sensor_info* sensor = nullptr;
  const envmon_err_t rc = envmon_util_get_sensor_info(eid, &sensor, ENVMON_SCOPE_NODE);
  if (rc != ENVMON_OK) return rc;
  if (sensor == nullptr || !hot_swap_name(sensor->name)) return ENVMON_OK;
  return board_power_update(&nm->board_pwr_idx, nm->power_data, ENVMON_SCOPE_NODE, slot);
}

}  // namespace

extern "C" {

void envmon_hal_set_obfl_state_pending(uint32_t slot, uint32_t* scope) {
  if ((envmon_nm != nullptr && slot == envmon_nm->slot_num) || envmon_is_mpa_slot(slot, nullptr)) {
    if (scope != nullptr) *scope = ENVMON_SCOPE_NODE;
    if (envmon_nm != nullptr) envmon_nm->misc_state |= ENVMON_NM_OBFL_LOG_ALL;
    return;
  }
  if (scope != nullptr) *scope = ENVMON_SCOPE_RACK;
  if (envmon_rm == nullptr) return;
  if (envmon_is_fantray_slot(slot, nullptr)) {
    envmon_rm->obfl_flags |= ENVMON_RM_OBFL_FANTRAYS;
  } else if (envmon_is_pem_slot(static_cast<int32_t>(slot), nullptr, nullptr)) {
    envmon_rm->obfl_flags |= ENVMON_RM_OBFL_PEMS;
  } else {
    envmon_rm->obfl_flags |= ENVMON_RM_OBFL_OTHER;
  }
}

void envmon_hal_process_optics_sensor(const drvif_sensor_data_rec* notification, const pelm_eid* eid,
                                      uint32_t slot) {
  if (notification == nullptr) return;
  optics_reading(eid, slot, notification->value, notification->thr_minor_high,
                 static_cast<uint32_t>(notification->oper_state));
}

envmon_err_t envmon_hal_drvif_sensor_data_notification(uint8_t subtype, const drvif_sensor_data_rec* entry,
                                                       pelm_eid* eid, const char* eid_str, pelm_tsi* tsi,
                                                       uint32_t tsi_count, uint32_t slot, uint32_t scope,
                                                       int32_t value, uint32_t hw_event, uint32_t fault_event,
                                                       uint32_t warning_event, uint32_t aux2, uint32_t scale,
                                                       uint32_t aux1, uint64_t sensor_type, uint64_t timestamp) {
  if (envmon_hal_is_optics_slot(slot) && subtype == ENVMON_SENSOR_TEMPERATURE) {
    if (envmon_nm != nullptr && envmon_nm->disable_temp_monitoring != 0) {
      tlg_internal(err_tlg_lib_hdl, "Temperature monitoring disabled.Optics Temperature change rejected\n");
    } else {
      envmon_hal_process_optics_sensor(entry, eid, slot);
    }
  }
  envmon_pem_drvif_sensor_data_notification(subtype, entry, eid, eid_str, tsi, tsi_count, slot, scope, value,
                                            hw_event, fault_event, warning_event, aux2, scale, aux1, sensor_type,
                                            timestamp);
  if (subtype != ENVMON_SENSOR_CURRENT && subtype != ENVMON_SENSOR_VOLTAGE) return ENVMON_OK;
  if (scope == ENVMON_SCOPE_RACK && envmon_rm != nullptr) return fan_tray_board_power(slot);
  if (scope == ENVMON_SCOPE_NODE && envmon_nm != nullptr) return node_board_power(eid, slot);
  return ENVMON_OK;
}

void envmon_hal_drvif_eid_data_notification_complete(uint8_t subtype) {
  envmon_pem_drvif_eid_data_notification_complete(subtype);
}

bool envmon_hal_is_fpd_upgrade_supported(uint32_t driver) { return driver == ENVMON_DRV_POWER; }

bool envmon_hal_check_get_fpd_resp(uint32_t /*slot*/, uint32_t /*code*/) { return false; }

}  // extern "C"
