// Debug dumps: the server's records as text for engineers, one line at a time
// to env_dump_fd, else to env_fd with a timestamp, else nowhere.
#include <stdio.h>
#include <time.h>

#include "envcore_private.h"
#include "envmon_hal.h"
#include "envmon_pwr_mgmt.h"

namespace {

constexpr char kD36[] = "------------------------------------\n";
constexpr char kD40[] = "----------------------------------------\n";
constexpr char kD48[] = "------------------------------------------------\n";
static_assert(sizeof(kD36) == 36 + 2 && sizeof(kD40) == 40 + 2 && sizeof(kD48) == 48 + 2);

#define LINE(...) envmon_debug_log(__VA_ARGS__)

const char* str(const char* s) { return s ? s : "(null)"; }

bool stream_open() { return env_dump_fd || env_fd; }

void banner(const char* title) {
  LINE("%s", kD36);
  LINE("%s", title);
  LINE("%s", kD36);
}

struct PelmText {
  char text[ENVMON_EID_STR_LEN];
  explicit PelmText(const pelm_eid& e) { envmon_dump_pelm_eid_to_string(&e, text); }
};
struct InvText {
  char text[ENVMON_EID_STR_LEN];
  explicit InvText(const inv_eid& e) { envmon_dump_inv_eid_to_string(&e, text); }
};

void dump_list(const envmon_sensor_list& list) {
  for (uint16_t i = 0; list.sensors && i < list.count; ++i) envmon_dump_sensor_data(&list.sensors[i]);
}

void sensor_section(const envmon_sensor_list* const* lists, size_t n) {
  LINE("%s", kD40);
  LINE("sensor data : \n");
  LINE("%s", kD40);
  for (size_t i = 0; i < n; ++i) dump_list(*lists[i]);
}

void dump_remote_cards(const char* title, const envmon_remote_card_cb* cards, uint32_t n) {
  banner(title);
  for (uint32_t i = 0; i < n; ++i) {
    const envmon_remote_card_cb& c = cards[i];
    LINE("ceid : %s\n", PelmText(c.ceid).text);
    LINE("  hw_position : %d\n", c.hw_position);
    LINE("  card_type : 0x%x\n", c.card_type);
    LINE("  cm_card_type : 0x%x\n", c.cm_card_type);
    LINE("  card_state : 0x%x\n", c.card_state);
    LINE("  misc_state : 0x%x\n", c.misc_state);
    LINE("  obfl_client_id : %d\n", c.obfl_client_id);
    LINE("  temp_sensors_in_fault : %d\n", c.temp_sensors_in_fault);
    if (c.misc_state & ENVMON_OBFL_CARD_PRESENT) {
      const envmon_sensor_list* lists[] = {&c.temp_data, &c.voltage_data, &c.current_data};
      sensor_section(lists, 3);
      LINE("%s", kD40);
    }
  }
}

void dump_budget_power_trays(const envmon_pwr_mgmt_data_t& pm) {
  if (!pm.envmon_pwr_tray_data) {
    LINE("Memory is not allcated for pwr tray data yet\n");
    return;
  }
  banner("envmon_pwr_tray_data: \n");
  const uint32_t max_trays = envmon_hal_get_max_powertray();
  if (max_trays == 0) LINE("    no power tray\n");
  for (uint32_t i = 0; i < max_trays && i < envmon_rm->pwr_tray_count; ++i) {
    const envmon_pwr_tray_budget& t = pm.envmon_pwr_tray_data[i];
    LINE("eid : %s\n", PelmText(t.eid).text);
    LINE("fru_eid : %s\n", PelmText(t.fru_eid).text);
    LINE("  type : 0x%x\n", t.type);
    LINE("  hw_position : %d\n", t.hw_position);
    LINE("  state : 0x%x\n", t.state);
    LINE("  inst : %d\n", t.inst);
    LINE("  container_regi_done : %d\n", t.container_regi_done);
    LINE("  serial_num : %s\n", t.serial_num);
    LINE("  loc_str : %s\n", t.loc_str);
    LINE("  prefix_str : %s\n", t.prefix_str);
    LINE("  fru_prefix_capi_flow_ctrl : %d\n", t.fru_prefix_capi_flow_ctrl);
    LINE("  pid : %s\n", t.pid);
  }
  LINE("%s", kD36);
}

}  // namespace

extern "C" {

void envmon_dump_sensor_data(const envmon_sensor_info* s) {
  if (!s || !stream_open()) return;
  char when[32];
  const time_t t = static_cast<time_t>(s->timestamp);
  if (!ctime_r(&t, when)) snprintf(when, sizeof(when), "\n");
  LINE("eid : %s\n", PelmText(s->eid).text);
  LINE("  state : 0x%x\n", s->state);
  LINE("  driver_ownership : %d\n", s->driver_ownership);
  LINE("  name : %s\n", s->name);
  LINE("  value : %d\n", s->value);
  LINE("  timestamp : %s\n", when);
  LINE("  last_value : %d\n", s->last_value);
  LINE("  obfl_last_value : %d\n", s->obfl_last_value);
  LINE("  obfl_seq_num : %d\n", s->obfl_seq_num);
  LINE("  obfl_last_ack_ok_seq_num : %d\n", s->obfl_last_ack_ok_seq_num);
  LINE("  pd_state : 0x%x\n", s->pd_state);
  LINE("  pd_last_state : 0x%x\n", s->pd_last_state);
  LINE("  update_rate : %d\n", s->update_rate);
  LINE("  previous_update_rate : %d\n", s->previous_update_rate);
  LINE("  delta : %d\n", s->delta);
  LINE("  scale : %d\n", s->scale);
  LINE("  precision : %d\n", s->precision);
  LINE("  alarm_severity : %d\n", s->alarm_severity);
  LINE("  in_fault : %d\n", s->in_fault);
  LINE("  fault_event : 0x%x\n", s->fault_event);
  LINE("  hw_event : 0x%x\n", s->hw_event);
  LINE("  hw_state(up 1, down 2, n/a 3) : 0x%x\n", s->hw_state);
  LINE("  hw_st_capi_flow_ctrl : 0x%x\n", s->hw_st_capi_flow_ctrl);
  LINE("  val_capi_flow_ctrl : 0x%x\n", s->val_capi_flow_ctrl);
  LINE("  driver_reported : %d\n", s->driver_reported);
  LINE("  last_trap_value : %d\n", s->last_trap_value);
  LINE("  threshold.critical_low : %d\n", s->threshold.critical_low);
  LINE("  threshold.critical_high : %d\n", s->threshold.critical_high);
  LINE("  threshold.major_low : %d\n", s->threshold.major_low);
  LINE("  threshold.major_high : %d\n", s->threshold.major_high);
  LINE("  threshold.minor_low : %d\n", s->threshold.minor_low);
  LINE("  threshold.minor_high : %d\n", s->threshold.minor_high);
}

void envmon_dump_fpd_data(const fpd_data* f) {
  if (!f || !stream_open()) return;
  LINE("eid : %s\n", InvText(f->eid).text);
  LINE("  name : %.*s\n", static_cast<int>(sizeof(f->name)), f->name);
  LINE("  name_len : %d\n", f->name_len);
  LINE("  fpd_out.fpd_hd : %p\n", f->fpd_out.fpd_hd);
  LINE("  cb_func : %p\n", reinterpret_cast<void*>(f->cb_func));
  LINE("  state_set : 0x%x\n", f->state_set);
  LINE("  state : 0x%x\n", f->state);
  LINE("  init_st : 0x%x\n", f->init_st);
  LINE("  reg_state : 0x%x\n", f->reg_state);
  LINE("  fpd_path : %.*s\n", static_cast<int>(sizeof(f->fpd_path)), f->fpd_path);
  LINE("  req_fpd_ver_major : %d\n", f->req_fpd_ver_major);
  LINE("  req_fpd_ver_minor : %d\n", f->req_fpd_ver_minor);
  LINE("  hw_ver_major : %d\n", f->hw_ver_major);
  LINE("  hw_ver_minor : %d\n", f->hw_ver_minor);
  LINE("  fpd_ver_major : %d\n", f->fpd_ver_major);
  LINE("  fpd_ver_minor : %d\n", f->fpd_ver_minor);
  LINE("  inst_fpd_ver_major : %d\n", f->inst_fpd_ver_major);
  LINE("  inst_fpd_ver_minor : %d\n", f->inst_fpd_ver_minor);
  LINE("  fpd_size : %d\n", f->fpd_size);
  LINE("  spi_flash : %d\n", f->spi_flash);
  LINE("  is_upgradable : %d\n", f->is_upgradable);
  LINE("  upg_progress : %d\n", f->upg_progress);
  LINE("  toggle_upgrade : %d\n", f->toggle_upgrade);
  LINE("  fault_msg : %.*s\n", static_cast<int>(sizeof(f->fault_msg)), f->fault_msg);
  LINE("  upgrade_state : 0x%x\n", f->upgrade_state);
  LINE("  val_capi_flow_ctrl : 0x%x\n", f->val_capi_flow_ctrl);
}

void envmon_dump_pwr_mgmt_data(void) {
  if (!stream_open()) return;
  const envmon_pwr_mgmt_data_t* pm = envmon_rm ? envmon_rm->pwr_mgmt_data : nullptr;
  if (!pm) {
    LINE("Memory is not allcated for pwr mgmt data yet\n");
    return;
  }
  LINE("%s", kD48);
  LINE("Common PWR MGMT DATA:\n");
  LINE("red_mode : 0x%x\n", pm->red_mode);
  LINE("act_red_mode : 0x%x\n", pm->act_red_mode);
  LINE("total_capacity : %d\n", pm->total_capacity);
  LINE("pwr_tray_drvif_reg_done : %d\n", pm->pwr_tray_drvif_reg_done);
  LINE("pwr_mgmt_action_ena : %d\n", pm->pwr_mgmt_action_ena);
  LINE("single feed mode: %d\n", envmon_rm->pwr_cfg.single_feed_operation);
  LINE("extended temp mode : %d\n", envmon_rm->pwr_cfg.extended_mode_operation);
  LINE("alarms : 0x%llx\n", static_cast<unsigned long long>(pm->alarms));

  dump_budget_power_trays(*pm);

  LINE("power_budget_data:\n");
  LINE("%s", kD36);
  LINE("total_power_budget : %d\n", pm->total_power_budget);
  LINE("lc_powered_on_bitmap : 0x%x\n", pm->lc_powered_on_bitmap);
  LINE("all_card_info_rcvd : %d\n", pm->all_card_info_rcvd);
  for (uint32_t c = 0; c < ENVMON_CARD_CLASS_COUNT; ++c)
    LINE("card %d (LC 0, FC 1, SWC 2, XC 3) start_index %d last_index %d\n", c,
         pm->start_index[c], pm->last_index[c]);
  LINE("pbudget_last_index : %d\n", pm->pbudget_last_index);

  banner("rp_pbudget: \n");
  if (pm->rp_pbudget) {
    for (uint32_t i = 0; i < envmon_hal_get_max_rp(); ++i) {
      const envmon_entity_pbudget_info_t& r = pm->rp_pbudget[i];
      LINE("eid : %s\n", PelmText(r.eid).text);
      LINE("container_eid : %s\n", PelmText(r.container_eid).text);
      LINE("  hw_position : %d\n", r.hw_position);
      LINE("  pbudget : %d\n", r.pbudget);
      LINE("  status : 0x%x\n", r.status);
      LINE("  current : %d\n", r.current);
    }
  } else {
    LINE("Memory is not allcated for rp_pbudget yet \n");
  }

  banner("fantray_pbudget: \n");
  if (pm->fantray_pbudget) {
    for (uint32_t i = 0; i < envmon_hal_get_max_fantray(); ++i) {
      const envmon_entity_pbudget_info_t& f = pm->fantray_pbudget[i];
      LINE("container_eid : %s\n", PelmText(f.container_eid).text);
      LINE("fru_eid : %s\n", PelmText(f.fru_eid).text);
      LINE("  pbudget : %d\n", f.pbudget);
      LINE("  status : 0x%x\n", f.status);
      LINE("  current : %d\n", f.current);
      LINE("  reg_state : 0x%x\n", f.reg_state);
    }
  } else {
    LINE("Memory is not allcated for fantray_pbudget yet \n");
  }
  LINE("%s", kD36);

  LINE("%s", kD36);
  LINE("other cards pbudget: \n");
  LINE("%s", kD36);
  if (pm->pbudget_list) {
    const uint32_t cards = envmon_hal_get_max_fc() + envmon_hal_get_max_lc() +
                           envmon_hal_get_max_swc() + envmon_hal_get_max_xc();
    for (uint32_t i = 0; i < cards; ++i) {
      const envmon_entity_pbudget_info_t& c = pm->pbudget_list[i];
      LINE("eid : %s\n", PelmText(c.eid).text);
      LINE("container_eid : %s\n", PelmText(c.container_eid).text);
      LINE("  hw_position : %d\n", c.hw_position);
      LINE("  inst : %d\n", c.inst);
      LINE("  stby_zn_budget : %d\n", c.stby_zn_budget);
      LINE("  max_budget : %d\n", c.max_budget);
      LINE("  ext_budget : %d\n", c.ext_budget);
      LINE("  pbudget : %d\n", c.pbudget);
      LINE("  status : 0x%x\n", c.status);
      LINE("  current : %d\n", c.current);
      LINE("  shutdown_on_low_pbudget : %d\n", c.shutdown_on_low_pbudget);
      LINE("  in_reload flag :  %d\n", c.in_reload);
    }
  } else {
    LINE("Memory is not allcated for pbudget_list yet \n");
  }

  banner("sys_pwr_data reported to INV:\n");
  LINE("usable_pwr : %d\n", pm->usable_pwr);
  LINE("prot_pwr : %d\n", pm->prot_pwr);
  LINE("resrv_n_alloc_pwr : %d\n", pm->resrv_n_alloc_pwr);
  LINE("cnf_pwr_red_mode : %d\n", pm->cnf_pwr_red_mode);
  LINE("act_pwr_red_mode : %d\n", pm->act_pwr_red_mode);
  LINE("total_available_current : %d\n", pm->total_available_current);
  LINE("total_drawn_current : %d\n", pm->total_drawn_current);
  LINE("%s", kD36);
  LINE("%s", kD48);
}

void envmon_dump_rm_data(void) {
  const envmon_rm_t* rm = envmon_rm;
  if (!rm || !stream_open()) return;
  banner("ENVMON RM data:\n");
  LINE("chassis_type : 0x%x\n", rm->chassis_type);
  LINE("chassis_sn : %s\n", str(rm->chassis_sn));
  LINE("pid : %.*s\n", static_cast<int>(sizeof(rm->pid)), rm->pid);
  LINE("is_proto_chassis : %d\n", rm->is_proto_chassis);
  LINE("rack_num : %d\n", rm->rack_num);
  LINE("rack : %x\n", rm->rack);
  LINE("inv_capi_connected : %d\n", rm->inv_capi_connected);
  LINE("inv_invreg_connected : %d\n", rm->inv_invreg_connected);
  LINE("cm_capi_connected : %d\n", rm->cm_capi_connected);
  LINE("obfl_capi_connected : %d\n", rm->obfl_capi_connected);
  LINE("cm_obj_reged : %d\n", rm->cm_obj_reged);
  LINE("svc_role : %d\n", rm->svc_role);
  LINE("prev_role : %d\n", rm->prev_role);
  LINE("user_fan_speed_pwm : %d\n", rm->user_fan_speed_pwm);
  LINE("fan_ctrl_optics : %d\n", rm->fan_ctrl_optics);
  LINE("%s", kD36);

  if (rm->fantray_cb) {
    banner("fantray_cb:\n");
    for (uint32_t i = 0; i < envmon_hal_get_max_fantray(); ++i) {
      const fantray_cb& ft = rm->fantray_cb[i];
      LINE("ceid : %s\n", PelmText(ft.ceid).text);
      LINE("  hw_position : %d\n", ft.hw_position);
      LINE("  board_id : 0x%x\n", ft.board_id);
      LINE("  pid : %.*s\n", static_cast<int>(sizeof(ft.pid)), ft.pid);
      LINE("  prefix_str : %.*s\n", static_cast<int>(sizeof(ft.prefix_str)), ft.prefix_str);
      LINE("  fru_prefix_capi_flow_ctrl : %d\n", ft.fru_prefix_capi_flow_ctrl);
      LINE("  misc_state : 0x%x\n", ft.misc_state);
      LINE("  obfl_client_id : %d\n", ft.obfl_client_id);
      LINE("  obfl_log_client_id : %d\n", ft.obfl_log_client_id);
      LINE("  speed_sensors_in_fault : %d\n", ft.speed_sensors_in_fault);
      const envmon_sensor_list* lists[] = {&ft.temp_data, &ft.voltage_data, &ft.current_data,
                                           &ft.fan_data, &ft.subtype13_data};
      sensor_section(lists, 5);
      LINE("%s", kD40);
      LINE("FPD data : \n");
      LINE("%s", kD40);
      for (uint32_t f = 0; ft.fpd_data && f < ft.fpd_count; ++f) envmon_dump_fpd_data(&ft.fpd_data[f]);
    }
  } else {
    LINE("Memory is not allcated for fantray_cb yet \n");
  }

  if (rm->fc_cb && envmon_hal_are_fc_managed_remotely())
    dump_remote_cards("fc_cb:\n", rm->fc_cb, envmon_hal_get_max_fc());
  else
    LINE("Memory is not allcated for fc_cb yet \n");

  if (rm->sw_cb)
    dump_remote_cards("sw_cb:\n", rm->sw_cb, envmon_hal_get_max_swc());
  else
    LINE("Memory is not allcated for sw_cb yet \n");

  if (rm->lc_cb && envmon_hal_are_lc_managed_remotely())
    dump_remote_cards("lc_cb:\n", rm->lc_cb, envmon_hal_get_max_lc());
  else
    LINE("Memory is not allocated for lc_cb yet \n");
}

void envmon_dump_nm_data(void) {
  const envmon_nm_t* nm = envmon_nm;
  if (!nm || !stream_open()) return;
  banner("ENVMON NM data:\n");
  LINE("pm_capi_connected : %d\n", nm->pm_capi_connected);
  LINE("inv_invreg_connected : %d\n", nm->inv_invreg_connected);
  LINE("plat_drv_capi_connected : %d\n", nm->plat_drv_capi_connected);
  LINE("obfl_capi_connected : %d\n", nm->obfl_capi_connected);
  char drivers[ENVMON_DRVIF_MAX * 16 + 32];
  int used = snprintf(drivers, sizeof(drivers), "drvif_connected : ");
  for (uint32_t d = 0; d < ENVMON_DRVIF_MAX && used > 0 && static_cast<size_t>(used) < sizeof(drivers); ++d)
    used += snprintf(drivers + used, sizeof(drivers) - static_cast<size_t>(used), "(drv%d, %d) ", d,
                     nm->drvif_connected[d]);
  LINE("%s\n", drivers);
  LINE("card_ceid : %s\n", PelmText(nm->card_ceid).text);
  LINE("card_type : 0x%x\n", nm->card_type);
  LINE("hw_type : 0x%x\n", nm->hw_type);
  LINE("slot_num : %d\n", nm->slot_num);
  LINE("process_restart : %d\n", nm->process_restart);
  LINE("obfl_client_id : %d\n", nm->obfl_client_id);
  LINE("misc_state : %d\n", nm->misc_state);
  LINE("ip_address : 0x%x\n", nm->ip_address);
  LINE("temp_sensors_in_fault : %d\n", nm->temp_sensors_in_fault);
  LINE("disable_temp_monitoring : %d\n", nm->disable_temp_monitoring);
  LINE("my_location : %s\n", str(nm->my_location));
  LINE("card_container_valid_flag : %d\n", nm->card_container_valid_flag);
  LINE("%s", kD40);
  LINE("sensor data : \n");
  LINE("%s", kD40);
  LINE("temp_data.reg_state : 0x%x\n", nm->temp_data.reg_state);
  LINE("voltage_data.reg_state : 0x%x\n", nm->voltage_data.reg_state);
  LINE("current_data.reg_state : 0x%x\n\n", nm->current_data.reg_state);
  dump_list(nm->temp_data);
  dump_list(nm->voltage_data);
  dump_list(nm->current_data);
  LINE("%s", kD36);
}

}  // extern "C"
