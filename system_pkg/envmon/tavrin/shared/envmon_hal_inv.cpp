// Inventory hooks both platforms share: the power modules' containers of the
// virtual power trays, the printed name prefixes of fan trays and power
// modules, the FRU current of card slots from their board current sensors,
// and the PEM library's share of registration and its acknowledgements.
#include <cstring>

#include "entprefix.h"
#include "envmon_core.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "envmon_pem.h"
#include "envmon_pwr_mgmt.h"
#include "envhal_private.h"
#include "inv.h"
#include "invreg.h"
#include "nodeid.h"

namespace {

constexpr uint32_t kBoardCurrentSlots = 64;
constexpr size_t kPrefixMax = 63;

// Request word of a container registration: outstanding, not acknowledged,
// 15 retries left.
constexpr uint32_t kRequestKeep = 0x0FFFFFFCu;
constexpr uint32_t kRequestOutstanding = 0xF0000001u;

// Current of each slot's first and second "Board" current sensor.
struct BoardCurrent {
  int32_t first[kBoardCurrentSlots] = {};
  int32_t second[kBoardCurrentSlots] = {};
};
BoardCurrent& board_current() {
  static BoardCurrent b;
  return b;
}

// A PEM's logic slot: its position, unless the platform has physical power
// trays.
uint32_t pem_logic_slot(uint32_t tray, const pem_record& pem) {
  if (envmon_hal_get_max_powertray() == 0) return static_cast<uint32_t>(pem.hw_position);
  return 20 * tray + static_cast<uint32_t>(pem.hw_position);
}

void log_and_trace(const char* fmt, const char* func, const char* eid, int32_t slot, const char* prefix, int rc) {
  envmon_debug_log(fmt, func, eid, slot, prefix, rc);
  tlg_internal(main_tlg_lib_hdl, fmt, func, eid, slot, prefix, rc);
}

}  // namespace

extern "C" {

void envmon_hal_inv_invreg_rm_register_chassis_lvl_eids(uint32_t* count) {
  static constexpr char kFunc[] = "envmon_hal_inv_invreg_rm_register_chassis_lvl_eids";
  uint8_t connected = 0;
  invreg_handle* handle = envmon_get_invreg_handle(ENVMON_SCOPE_RACK, &connected);
  if (handle == nullptr || connected == 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): RM INVREG not connected\n", kFunc);
    return;
  }
  pd_power_tray_info_t* trays = envhal::pem_trays();
  if (trays == nullptr) return;
  for (uint32_t t = 0; t < envmon_hal_get_max_virtual_powertray(); ++t) {
    for (uint32_t p = 0; p < trays[t].num_pems && trays[t].pems != nullptr; ++p) {
      pem_record& pem = trays[t].pems[p];
      const uint32_t logic_slot = pem_logic_slot(t, pem);
      envmon_setup_fru_eid(logic_slot, &pem.eid);
      invreg_container_req req{};
      const int copied = inv_util_copy_pelm_eid_to_pelm_eid(&pem.cont_eid, &req.container.eid);
      if (copied != INV_UTIL_OK) {
        tlg_internal(err_tlg_lib_hdl, "copy eid failed for pem(%d, %d), rc = 0x%x\n", t, p, copied);
        envmon_free_tsi(&req.container.eid);
        continue;
      }
      req.container.logic_slot = logic_slot;
      req.container.present = 0x3;
      req.present = 0x1;
      char text[ENVMON_EID_STR_LEN];
      inv_util_dump_pelm_eid_to_string(&req.container.eid, text, sizeof(text));
      tlg_internal(main_tlg_lib_hdl, "%s(): register pem container EID = %s to invDB\n", kFunc, text);
      const int rc = invreg_register_container_eid(handle, &req, logic_slot);
      if (rc != 0) {
        tlg_internal(err_tlg_lib_hdl, "%s(): Failed to register pem container with logic_slot %d , capi error rc = %d\n",
                     kFunc, logic_slot, rc);
      } else if (count != nullptr) {
        ++*count;
      }
      envmon_free_tsi(&req.container.eid);
      pem.container_reg_state = (pem.container_reg_state & kRequestKeep) | kRequestOutstanding;
    }
  }
}

void envmon_hal_inv_invreg_update_entity_prefix(int32_t slot) {
  static constexpr char kFunc[] = "envmon_hal_inv_invreg_update_entity_prefix";
  envmon_debug_log("%s: entered, slot: %d \n", kFunc, slot);
  if (envmon_rm == nullptr || envmon_rm->rack_nodeid_valid == 0) {
    envmon_debug_log("%s: nodeid not yet valid \n", kFunc);
    return;
  }
  int32_t rack_type = 0;
  int32_t rack_num = 0;
  int32_t slot_type = 0;
  int32_t slot_num = 0;
  int32_t instance = 0;
  const int extracted =
      nodeid_extract_fields2(envmon_rm->rack_nodeid, &rack_type, &rack_num, &slot_type, &slot_num, &instance);
  if (extracted != 0) {
    envmon_debug_log("%s: nodeid extract failed %ld\n", kFunc, static_cast<long>(extracted));
    return;
  }
  platform_fru_entity loc;
  platform_fru_entity_init(&loc);
  loc.chassis_class = rack_type;
  loc.rack = rack_num;
  const pelm_eid* target = nullptr;
  uint32_t tray = 0;
  uint32_t pem = 0;
  bool fantray = false;
  envmon_pwr_mgmt_data_t* pm = envmon_rm->pwr_mgmt_data;
  if (envmon_is_fantray_slot(static_cast<uint32_t>(slot), &tray)) {
    envmon_debug_log("%s: : got fan tray slot%d \n", kFunc, slot);
    loc.bp_slot_id = slot;
    fantray = true;
    if (pm != nullptr && pm->fantray_pbudget != nullptr) target = &pm->fantray_pbudget[tray].eid;
  } else if (envmon_is_pem_slot(slot, &tray, &pem)) {
    loc.bp_slot_id = slot;
    pd_power_tray_info_t* trays = envhal::pem_trays();
    if (trays != nullptr && pem < trays[tray].num_pems && trays[tray].pems != nullptr) {
      target = &trays[tray].pems[pem].ps_eid;
    }
  }
  if (target == nullptr || target->tsi_count == 0 || target->tsi == nullptr) {
    envmon_debug_log("%s: EID not set for: %d with index %d pem_index %d \n", kFunc, slot, tray, pem);
    return;
  }
  platform_prefix_names names{};
  const int created = platform_create_prefix(&loc, &names);
  if (created != 0) {
    envmon_debug_log("%s: create prefix failed %ld\n", kFunc, static_cast<long>(created));
    return;
  }
  invreg_fru_prefix req{};
  if (inv_util_copy_pelm_eid_to_pelm_eid(target, &req.eid) != INV_UTIL_OK) {
    envmon_free_tsi(&req.eid);
    return;
  }
  req.prefix = names.prefix_with_dash;
  req.present = 0x3;
  uint8_t connected = 0;
  invreg_handle* handle = envmon_get_invreg_handle(ENVMON_SCOPE_RACK, &connected);
  if (handle == nullptr || connected == 0) {
    tlg_internal(err_tlg_lib_hdl, "%s(): RM INVREG not connected\n", kFunc);
    envmon_free_tsi(&req.eid);
    return;
  }
  const int rc = invreg_update_fru_prefix(handle, &req, 0);
  if (fantray) {
    envhal::copy_text(envmon_rm->fantray_cb[tray].prefix_str, kPrefixMax + 1, names.prefix_with_dash);
  } else {
    envmon_pem_update_prefix_str(slot, &names);
  }
  char text[ENVMON_EID_STR_LEN];
  inv_util_dump_pelm_eid_to_string(&req.eid, text, sizeof(text));
  log_and_trace("%s: update prefix for: eid %s, slot: %d, %s, rc 0x%x\n", kFunc, text, slot, names.prefix_with_dash,
                rc);
  envmon_free_tsi(&req.eid);
}

void envmon_hal_inv_capi_notify_event(const inv_notify_event_data* data) {
  if (data == nullptr || data->event != INV_EVENT_CURRENT) return;
  const inv_sensor_value& v = data->value;
  const uint32_t slot = v.eid.slot;
  if (slot >= kBoardCurrentSlots) return;
  if (envmon_is_pem_slot(static_cast<int32_t>(slot), nullptr, nullptr)) return;
  if (v.name == nullptr || std::strstr(v.name, "Board") == nullptr) return;
  if (envmon_nm != nullptr && envmon_nm->curr_debug != 0) {
    tlg_internal(dbg_tlg_lib_hdl, "%s(): name = %s value %d, state %d, oper_state %d, slot %d\n",
                 "envmon_hal_inv_capi_notify_event", v.name, v.value, v.state, v.oper_state, slot);
  }
  BoardCurrent& b = board_current();
  if (std::strchr(v.name, '2') != nullptr) {
    b.second[slot] = v.value;
    envmon_set_fru_current(static_cast<int32_t>(slot), b.first[slot] + b.second[slot]);
  } else {
    b.first[slot] = v.value;
    // A slot whose second sensor has reported follows that sensor's reports.
    if (b.second[slot] == 0) envmon_set_fru_current(static_cast<int32_t>(slot), b.first[slot]);
  }
}

uint32_t envmon_hal_convert_pd_type_2_inv_pi_type(uint32_t pd_type) {
  uint32_t inv_type = 0;
  return envmon_pem_convert_pd_type_2_inv_pi_type(pd_type, &inv_type) == ENVMON_OK ? inv_type : 0;
}

void envmon_hal_inv_invreg_rm_connect(void) { envmon_pem_inv_invreg_rm_connect(); }
void envmon_hal_inv_invreg_rm_disconnect(void) { envmon_pem_inv_invreg_rm_disconnect(); }

void envmon_hal_inv_invreg_response_report_eeprom_data(const invreg_ack* ack, uint32_t slot) {
  envmon_pem_inv_invreg_response_report_eeprom_data(ack, slot);
}

void envmon_hal_inv_invreg_response_register_eid(uint32_t code, const pelm_eid* eid) {
  envmon_pem_inv_invreg_response_register_eid(code, eid);
}

void envmon_hal_inv_invreg_rm_register_powertray_entities_fru(uint32_t tray, uint32_t pem, uint32_t pd_fru_type,
                                                              const char* serial, uint32_t serial_len,
                                                              uint32_t hw_major, uint32_t hw_minor) {
  envmon_pem_inv_invreg_rm_register_powertray_entities_fru(tray, pem, pd_fru_type, serial, serial_len, hw_major,
                                                           hw_minor);
}

void envmon_hal_inv_invreg_rm_unregister_powertray_entities_fru(uint32_t tray, uint32_t pem, uint32_t pd_fru_type) {
  envmon_pem_inv_invreg_rm_unregister_powertray_entities_fru(tray, pem, pd_fru_type);
}

void envmon_hal_inv_invreg_rm_response_register_fru_type(const invreg_ack* ack, uint32_t slot) {
  envmon_pem_inv_invreg_rm_response_register_fru_type(ack, slot);
}

void envmon_hal_inv_invreg_rm_response_unregister_fru_type(const invreg_ack* ack, uint32_t slot) {
  envmon_pem_inv_invreg_rm_response_unregister_fru_type(ack, slot);
}

void envmon_hal_inv_invreg_rm_response_register_container_eid(const invreg_ack* ack, uint32_t slot) {
  envmon_pem_inv_invreg_rm_response_register_container_eid(ack, slot);
}

void envmon_hal_invreg_flow_resume_chk_n_resend_pwr_data(void) { envmon_invreg_flow_resume_chk_n_resend_pem_data(); }

void envmon_hal_inv_invreg_reg_fpd_eid(uint32_t /*slot*/, void* /*fpd_info*/) {}

}  // extern "C"
