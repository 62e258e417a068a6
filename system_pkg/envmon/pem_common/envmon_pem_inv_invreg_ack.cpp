// PEM state, hardware event and data kept current in inventory, and the
// inventory service's acknowledgements of the PEM registrations, which carry
// the registration chain on. An error acknowledgement leaves its request
// outstanding, so that the retry turn sends it again while retries last.
#include <cstdlib>
#include <cstring>

#include "envmon_drvif.h"
#include "envmon_invreg.h"
#include "envmon_pem_private.h"
#include "inv.h"
#include "inv_parser.h"
#include "invreg.h"

namespace {

constexpr uint32_t kPemKind = 9;
constexpr uint32_t kEventUp = 1;
constexpr uint32_t kEventDown = 4;
constexpr uint32_t kFpdSubtype = 35;
constexpr uint32_t kControllerSubtype = 44;
constexpr uint32_t kFpgaDataWaiting = 0x40;
constexpr uint32_t kHotSwapEvent = 5;

bool ack_ok(uint32_t code) { return code == 1 || code == 3 || code == 4 || code == 12 || code == 17; }

struct XmlFile {
  inv_xml_handle_t xml = nullptr;
  ~XmlFile() {
    if (xml != nullptr) inv_parser_close_xml_file(xml);
  }
};

// Opens the PEM's own inventory description; without it the PEM's entities
// cannot be named, which ends the server.
inv_xml_handle_t open_pem_description(const char* func, const pem_record& p) {
  inv_parser_open_req req{};
  req.pi_hw_type = kPemKind;
  req.pd_hw_type = p.pem_raw_data.pem_type;
  req.hw_major = p.hw_ver_maj;
  req.hw_minor = p.hw_ver_min;
  pem::copy_text(req.pid, sizeof req.pid, p.pid, 35);
  inv_xml_handle_t xml = inv_parser_open_xml_file_v2(1, &req);
  if (xml == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to parse PEM xml file\n", func);
    pem::exit_process(func, __LINE__);
  }
  return xml;
}

uint32_t psm_state(const pem_record& p) {
  uint32_t state = 1;
  if (p.status & (ENVMON_PEM_FAILED | ENVMON_PEM_IN_FPD_UPG)) state = pem::alarm_set(p.alarms, 18) ? 3 : 2;
  const uint64_t hw = p.pem_raw_data.hw_alarms;
  // One input feed of two lost.
  if (pem::alarm_set(hw, 35) != pem::alarm_set(hw, 36) || pem::alarm_set(hw, 32) != pem::alarm_set(hw, 33)) state = 4;
  return state;
}

void event_text(const pem_record& p, uint32_t event, uint32_t* code, const char** text) {
  if (event == kEventUp) {
    *code = 1;
    *text = "HW Operational";
  } else if (pem::alarm_set(p.alarms, 18)) {
    *code = 2;
    *text = "HW Access Failure";
  } else if ((p.alarms & 0x544) != 0) {
    *code = 3;
    *text = "HW Temp/Thermal Failure";
  } else if (pem::alarm_set(p.alarms, 3)) {
    *code = 100;
    *text = "HW Fan Failure";
  } else {
    *code = 5;
    *text = "No Input or HW Power Failure";
  }
}

const pelm_tsi* last_level(const pelm_eid* eid, uint32_t from_end = 0) {
  if (eid == nullptr || eid->tsi == nullptr || eid->tsi_count <= from_end) return nullptr;
  return &eid->tsi[eid->tsi_count - 1 - from_end];
}

bool pem_of_slot(uint32_t slot, uint32_t* t, uint32_t* i) { return envmon_is_pem_slot(static_cast<int32_t>(slot), t, i); }

}  // namespace

extern "C" {

bool envmon_inv_invreg_report_pem_hw_event(uint8_t tray, uint8_t pem, uint8_t force) {
  static constexpr char kFunc[] = "envmon_inv_invreg_report_pem_hw_event";
  if (envmon_hal_get_max_virtual_powertray() == 0) return false;
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return false;
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (h == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): could not get invreg handle\n", kFunc);
    return false;
  }
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to update inventory with hw event since invreg not connected\n", kFunc);
    return false;
  }
  const uint32_t event = (p->status & ENVMON_PEM_FAILED) ? kEventDown : kEventUp;
  const uint32_t faults = static_cast<uint32_t>(p->alarms);
  if (!force && event == p->hw_event_reported_to_inv && faults == p->fault_status_reported_to_inv) return false;
  invreg_event_data msg{};
  envmon_setup_fru_eid(static_cast<uint32_t>(pem::pem_slot(tray, pem)), &msg.eid);
  msg.event_type = event;
  const char* text = nullptr;
  event_text(*p, event, &msg.event_state, &text);
  msg.descr = const_cast<char*>(text);
  msg.present = 0xf;
  const int rc = invreg_report_event_data(h, &msg, 0);
  if (rc != 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to update inventory with hw event %d, capi error rc = %d\n", kFunc, event,
                 rc);
  } else {
    tlg_internal(info_tlg_pem_hdl, "%s(): set hw event %d for eid %s force_update %d alarms 0x%x faults_to_inv 0x%x\n",
                 kFunc, event, pem::EidText(&msg.eid).text, force, faults, p->fault_status_reported_to_inv);
    p->hw_event_reported_to_inv = event;
  }
  return true;
}

void envmon_inv_invreg_pem_data_update(uint8_t tray, uint8_t pem, uint8_t force) {
  static constexpr char kFunc[] = "envmon_inv_invreg_pem_data_update";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  bool connected = false;
  invreg_handle* h = pem::rack_invreg(&connected);
  if (!connected) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to update inventory with pem data, RM invreg not connected\n", kFunc);
    return;
  }
  if (envmon_inv_invreg_report_pem_hw_event(tray, pem, force)) force = 1;
  if ((p->ps_eid.present & PELM_EID_HAS_SLOT) == 0 || p->ps_eid.tsi_count == 0) return;
  uint32_t state = psm_state(*p);
  const uint32_t faults = static_cast<uint32_t>(p->alarms);
  const uint32_t hours = p->pem_raw_data.hours_used;
  if (!force && state == p->state_reported_to_inv && faults == p->fault_status_reported_to_inv &&
      hours == p->hour_used_reported_to_inv)
    return;
  invreg_pem_status_data msg{};
  inv_util_copy_pelm_eid_to_pelm_eid(&p->ps_eid, &msg.eid);
  msg.hours_used = hours;
  msg.fault_status = faults;
  msg.psm_state = state;
  msg.pd_state = static_cast<uint32_t>((p->alarms << 4) | (p->status & 0xf));
  msg.capacity = p->capacity;
  msg.present = 0x3f;
  if (envmon_nm != nullptr && envmon_nm->pwr_debug)
    tlg_internal(dbg_tlg_pem_hdl,
                 "%s(): updating pem data - EID = %s hours_used %d fault_status %d psm_state %d pd_state 0x%x power capacity %d in invDB\n",
                 kFunc, pem::EidText(&msg.eid).text, hours, faults, state, msg.pd_state, msg.capacity);
  const int rc = invreg_report_pem_status_data(h, &msg, 0);
  envmon_free_tsi(&msg.eid);
  if (rc != 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to update inventory with pem(%d,%d) data, capi error rc = %d\n", kFunc,
                 tray, pem, rc);
  } else {
    p->fault_status_reported_to_inv = faults;
    p->hour_used_reported_to_inv = hours;
    tlg_internal(info_tlg_pem_hdl,
                 "%s(): updated inventory with pem(%d,%d) psm_state %d with invreg_report_pem_status_data() \n", kFunc,
                 tray, pem, state);
  }
  p->data_capi_flow_ctrl = rc == INVREG_FLOW_CONTROLLED ? 1 : 0;
  if (!force && state == p->state_reported_to_inv) return;
  const int32_t src = envmon_inv_invreg_upd_eid_state(&p->ps_eid, &state, 1, ENVMON_SCOPE_RACK);
  if (src != 0) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Failed to update PEM(%d,%d) state %d to inventory, rc = %d\n", kFunc, tray, pem,
                 state, src);
  } else {
    p->state_reported_to_inv = state;
    tlg_internal(info_tlg_pem_hdl, "%s(): updated PEM(%d,%d) state %d to inventory with envmon_inv_invreg_upd_eid_state() \n",
                 kFunc, tray, pem, state);
  }
  p->st_capi_flow_ctrl = src == INVREG_FLOW_CONTROLLED ? 1 : 0;
  if (p->admin_state_reported_to_inv != 1) {
    envmon_inv_invreg_eid_upd_power_admin_state(h, &p->ps_eid, 1);
    p->admin_state_reported_to_inv = 1;
  }
  envmon_inv_invreg_eid_upd_power_oper_state(h, &p->ps_eid, state);
}

void envmon_pem_inv_invreg_report_hw_event(int32_t slot) {
  uint32_t t = 0, i = 0;
  if (envmon_is_pem_slot(slot, &t, &i)) envmon_inv_invreg_pem_data_update(static_cast<uint8_t>(t), static_cast<uint8_t>(i), 1);
}

void envmon_inv_rereg_pem_fru_data(uint8_t tray, uint8_t pem) {
  static constexpr char kFunc[] = "envmon_inv_rereg_pem_fru_data";
  pem_record* p = pem::pem_at(tray, pem);
  if (p == nullptr) return;
  XmlFile file;
  file.xml = open_pem_description(kFunc, *p);
  const int32_t slot = pem::pem_slot(tray, pem);
  envmon_inv_invreg_rm_setup_powersupply_eid(slot, tray, pem, file.xml);
  if (p->cont_nodeid_upd_pending != 1) envmon_hal_inv_invreg_update_entity_prefix(static_cast<int32_t>(p->ps_eid.slot));
  envmon_reg_and_set_eeprom_data(file.xml, static_cast<uint32_t>(slot), &p->idprom_eid, p->idprom_data, p->idprom_len);
  envmon_inv_invreg_pem_data_update(tray, pem, 1);
}

void envmon_pem_inv_invreg_rm_connect(void) {
  for (uint32_t i = 0; i < 2; ++i)
    if (pctrl_data[i].reg_state != 0) envmon_inv_invreg_reg_pmbus_ctrl_eids(i, 1, 1, 1);
}

void envmon_pem_inv_invreg_rm_disconnect(void) {
  pem::for_each_pem([](uint32_t, uint32_t, pem_record& p) { p.container_regi_done = 0; });
}

void envmon_pem_inv_invreg_response_register_eid(uint32_t ack, const pelm_eid* eid) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_response_register_eid";
  const pelm_tsi* last = last_level(eid);
  if (last == nullptr) return;
  if (eid->slot == ENVMON_SLOT_SELF) {
    if (last->subtype != kControllerSubtype || last->instance < 1 || last->instance > 2) return;
    pctrl_data_t& c = pctrl_data[last->instance - 1];
    if (ack_ok(ack))
      c.reg_state |= ENVMON_ST_REG_DONE;
    else
      tlg_internal(err_tlg_pem_hdl, "%s(): Ack Error=%d, eid=%s\n", kFunc, ack, pem::EidText(eid).text);
    return;
  }
  uint32_t t = 0, i = 0;
  if (!pem_of_slot(eid->slot, &t, &i) || last->subtype != kFpdSubtype) return;
  tlg_internal(info_tlg_pem_hdl, "%s: ack=%d, eid=%s \n", kFunc, ack, pem::EidText(eid).text);
  pem_record* p = pem::pem_at(t, i);
  inv_eid wanted{};
  inv_util_convert_pelm_eid_to_eid(eid, &wanted);
  fpd_data* fpd = nullptr;
  for (uint16_t f = 0; p->fpds != nullptr && f < p->num_fpds && fpd == nullptr; ++f)
    if (envmon_inv_eid_same(&p->fpds[f].eid, &wanted)) fpd = &p->fpds[f];
  if (fpd == nullptr) {
    tlg_internal(err_tlg_pem_hdl, "%s(): No PEM FPD info, eid=%s\n", kFunc, pem::EidText(eid).text);
    return;
  }
  if (!ack_ok(ack)) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Ack Error=%d, eid=%s\n", kFunc, ack, pem::EidText(eid).text);
    return;
  }
  fpd->reg_state |= ENVMON_ST_REG_DONE;
  if (fpd->reg_state & kFpgaDataWaiting) {
    envmon_inv_invreg_rm_report_fpga_data(fpd, 1);
    fpd->reg_state &= ~kFpgaDataWaiting;
  }
}

void envmon_pem_inv_invreg_response_report_eeprom_data(const struct invreg_ack* msg, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_response_report_eeprom_data";
  if (msg == nullptr) return;
  uint32_t t = 0, i = 0;
  if (pem_of_slot(slot, &t, &i)) {
    pem_record* p = pem::pem_at(t, i);
    if (ack_ok(msg->ack))
      p->fru_reg_state |= ENVMON_ST_EEPROM_DONE;
    else
      tlg_internal(err_tlg_pem_hdl, "%s(): Ack Error=%d, slot=%d eid=%s\n", kFunc, msg->ack, slot,
                   pem::EidText(&msg->eid).text);
    return;
  }
  const pelm_tsi* shelf = last_level(&msg->eid, 1);
  if (slot == ENVMON_SLOT_SELF && msg->eid.tsi_count >= 3 && shelf != nullptr && shelf->subtype == kControllerSubtype &&
      shelf->instance >= 1 && shelf->instance <= 2) {
    pctrl_data_t& c = pctrl_data[shelf->instance - 1];
    if (ack_ok(msg->ack))
      c.idprom_reg_state |= ENVMON_ST_EEPROM_DONE;
    else
      tlg_internal(err_tlg_pem_hdl, "%s(): Ack Error=%d, PMBUd idprom %d, eid=%s\n", kFunc, msg->ack, shelf->instance - 1,
                   pem::EidText(&msg->eid).text);
    return;
  }
  tlg_internal(err_tlg_pem_hdl, "%s():  Invalid eid %s with slot=%d\n", kFunc, pem::EidText(&msg->eid).text, slot);
}

void envmon_pem_inv_invreg_rm_response_register_fru_type(const struct invreg_ack* msg, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_rm_response_register_fru_type";
  uint32_t t = 0, i = 0;
  if (msg == nullptr || !pem_of_slot(slot, &t, &i)) return;
  pem_record* p = pem::pem_at(t, i);
  if (p->status == ENVMON_PEM_NOT_PRESENT) {
    tlg_internal(info_tlg_pem_hdl,
                 "Rcvd FRU reg resp for PEM %dfor which we have rcvd removal before ACK. So not going to register the eids for this module\n",
                 i);
    return;
  }
  if (!ack_ok(msg->ack)) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Ack Error=%d, slot: %d eid: %s\n", kFunc, msg->ack, slot,
                 pem::EidText(&msg->eid).text);
    return;
  }
  pem::count_invreg(pem::kRegPemFruack);
  p->fru_reg_state |= ENVMON_ST_REG_DONE;
  XmlFile file;
  file.xml = open_pem_description(kFunc, *p);
  envmon_inv_invreg_rm_setup_powersupply_eid(static_cast<int32_t>(slot), static_cast<uint8_t>(t),
                                             static_cast<uint8_t>(i), file.xml);
  int32_t entity_slot = static_cast<int32_t>(slot);
  if (p->cont_nodeid_upd_pending != 1) {
    envmon_hal_inv_invreg_update_entity_prefix(static_cast<int32_t>(p->ps_eid.slot));
    entity_slot = static_cast<int32_t>(p->ps_eid.slot);
  }
  envmon_inv_invreg_rm_register_pem_entities(entity_slot, static_cast<uint8_t>(t), static_cast<uint8_t>(i), file.xml);
  envmon_inv_invreg_pem_data_update(static_cast<uint8_t>(t), static_cast<uint8_t>(i), 1);
  p->fru_reg_state = pem::arm(p->fru_reg_state, ENVMON_ST_EEPROM_PENDING, ENVMON_ST_EEPROM_DONE);
  envmon_ceb_fsa_sched_event(ENVMON_CEB_EV_REG_REQ);
}

void envmon_pem_inv_invreg_rm_response_unregister_fru_type(const struct invreg_ack* msg, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_rm_response_unregister_fru_type";
  uint32_t t = 0, i = 0;
  if (msg == nullptr || !pem_of_slot(slot, &t, &i)) return;
  pem_record* p = pem::pem_at(t, i);
  if (!ack_ok(msg->ack)) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Ack Error=%d, slot=%d PT=%d PEM=%d\n", kFunc, msg->ack, slot, t, i);
    return;
  }
  p->fru_reg_state |= ENVMON_ST_UNREG_DONE;
  pem::count_invreg(pem::kUnregPemFruack);
}

void envmon_pem_inv_invreg_rm_response_register_container_eid(const struct invreg_ack* msg, uint32_t slot) {
  static constexpr char kFunc[] = "envmon_pem_inv_invreg_rm_response_register_container_eid";
  uint32_t t = 0, i = 0;
  if (msg == nullptr || !pem_of_slot(slot, &t, &i)) return;
  pem_record* p = pem::pem_at(t, i);
  if (!ack_ok(msg->ack)) {
    tlg_internal(err_tlg_pem_hdl, "%s(): Ack Error=%d, slot=%d eid=%s\n", kFunc, msg->ack, slot,
                 pem::EidText(&msg->eid).text);
    return;
  }
  p->container_reg_state |= ENVMON_ST_REG_DONE;
  if (pem::real_trays())
    envmon_upd_inv_pem_container_eid_nodeid(static_cast<uint8_t>(t), static_cast<uint8_t>(i));
  else
    envmon_upd_inv_container_eid_nodeid(ENVMON_SCOPE_RACK, slot, &p->cont_eid);
  if (p->container_regi_done != 1) {
    p->container_regi_done = 1;
    if (pem::present(p->status))
      envmon_inv_invreg_reg_pwr_fru(t, i, p->pem_raw_data.pem_type, p->serial_num, 11, p->hw_ver_maj, p->hw_ver_min);
    else if (p->pem_raw_data.pem_type != 0)
      envmon_inv_invreg_unreg_pwr_fru(t, i, p->pem_raw_data.pem_type);
  }
  if (envmon_all_pem_container_regi_done()) {
    envmon_drvif_pwr_regi_pem();
    tlg_internal(info_tlg_pem_hdl, "called envmon_drvif_pwr_regi() to register with PWR driver for PEM\n");
  }
}

void envmon_invreg_flow_resume_chk_n_resend_pem_data(void) {
  if (pd_power_tray_info == nullptr) return;
  const uint32_t rack = envmon_rm != nullptr ? envmon_rm->pwr_tray_count : 0;
  const uint32_t trays = rack != 0 ? rack : envmon_hal_get_max_virtual_powertray();
  for (uint32_t t = 0; t < trays; ++t) {
    pd_power_tray_info_t& tray = pd_power_tray_info[t];
    for (uint32_t i = 0; tray.pems != nullptr && i < tray.num_pems; ++i) {
      pem_record& p = tray.pems[i];
      if (!pem::present(p.status)) continue;
      if (p.fru_prefix_capi_flow_ctrl) envmon_hal_inv_invreg_update_entity_prefix(static_cast<int32_t>(p.ps_eid.slot));
      if (p.st_capi_flow_ctrl || p.data_capi_flow_ctrl)
        envmon_inv_invreg_pem_data_update(static_cast<uint8_t>(t), static_cast<uint8_t>(i), 1);
      for (uint16_t f = 0; p.fpds != nullptr && f < p.num_fpds; ++f) {
        if (!p.fpds[f].val_capi_flow_ctrl) continue;
        envmon_inv_invreg_rm_report_fpga_data(&p.fpds[f], 0);
        tlg_internal(info_tlg_pem_hdl, "%s(): resent fpd data for pem fpd (%d,%d,%d)\n", __func__, t, i, f);
      }
      for (uint32_t l = 0; l < pem::kListCount; ++l) {
        envmon_sensor_list* list = pem::sensor_list(p, l);
        for (uint16_t s = 0; list->sensors != nullptr && s < list->count; ++s)
          envmon_check_sensor_flow_ctrl_n_resend(pem::kListSubtype[l], &list->sensors[s], ENVMON_SCOPE_RACK);
      }
    }
  }
}

void envmon_pem_inv_capi_notify_event(const struct inv_notify_event_data* event) {
  if (event == nullptr || event->event != kHotSwapEvent) return;
  const inv_sensor_value& v = event->value;
  const uint32_t slot = v.eid.slot;
  uint32_t t = 0, i = 0;
  if (pem_of_slot(slot, &t, &i) || v.name == nullptr || std::strstr(v.name, "Hot Swap") == nullptr) return;
  if (envmon_nm != nullptr && envmon_nm->pwr_debug)
    tlg_internal(dbg_tlg_pem_hdl, "%s(): name = %s value %d, state %d, oper_state %d, slot %d\n", __func__, v.name,
                 v.value, v.state, v.oper_state, slot);
  envmon_set_fru_current(static_cast<int32_t>(slot), v.value);
}

}  // extern "C"
