// The whole PEM state as text in the server's debug dump.
#include "envmon_pem_private.h"

namespace {

constexpr char kRule48[] = "------------------------------------------------\n";
constexpr char kRule40[] = "----------------------------------------\n";

#define LINE(...) envmon_debug_log(__VA_ARGS__)

void dump_pem(uint32_t t, uint32_t i, const pem_record& p) {
  LINE("PT%d PM%d DATA\n", t, i);
  LINE("%s", kRule40);
  LINE("eid : %s\n", pem::EidText(&p.eid).text);
  LINE("cont_eid : %s\n", pem::EidText(&p.cont_eid).text);
  LINE("ps_eid : %s\n", pem::EidText(&p.ps_eid).text);
  LINE("pem_type : 0x%x\n", p.pem_raw_data.pem_type);
  LINE("status : 0x%x\n", p.status);
  LINE("hw_events: 0x%x\n", p.hw_events);
  LINE("capacity : %d\n", p.capacity);
  LINE("hw_alarms : 0x%llx\n", static_cast<unsigned long long>(p.pem_raw_data.hw_alarms));
  LINE("input_voltage_a : %d\n", p.pem_raw_data.input_voltage_a);
  LINE("input_voltage_b : %d\n", p.pem_raw_data.input_voltage_b);
  LINE("input_voltage_c : %d\n", p.pem_raw_data.input_voltage_c);
  LINE("alarms : 0x%llx\n", static_cast<unsigned long long>(p.alarms));
  LINE("hw_position : %d\n", p.hw_position);
  LINE("instance : %d\n", p.instance);
  LINE("container_regi_done : %d\n", p.container_regi_done);
  LINE("container_reg_state : 0x%x\n", p.container_reg_state);
  LINE("serial_num : %s\n", p.serial_num);
  LINE("pid : %s\n", p.pid);
  LINE("prefix_str : %s\n", p.prefix_str);
  LINE("fru_prefix_capi_flow_ctrl : %d\n", p.fru_prefix_capi_flow_ctrl);
  LINE("hw_ver_maj : %d\n", p.hw_ver_maj);
  LINE("hw_ver_min : %d\n", p.hw_ver_min);
  LINE("misc_state : 0x%x\n", p.misc_state);
  LINE("errors : 0x%x\n", p.errors);
  LINE("current : %d\n", p.current);
  LINE("state_reported_to_inv (successfuly) : %d\n", p.state_reported_to_inv);
  LINE("st_capi_flow_ctrl: %d\n", p.st_capi_flow_ctrl);
  LINE("hour_used_reported_to_inv : %d\n", p.hour_used_reported_to_inv);
  LINE("fault_status_reported_to_inv : 0x%x\n", p.fault_status_reported_to_inv);
  LINE("data_capi_flow_ctrl : %d\n", p.data_capi_flow_ctrl);
  LINE("envmon_pem_init_timer_fd : %d\n", p.envmon_pem_init_timer_fd);
  LINE("%s", kRule40);
  LINE("sensor data : \n");
  LINE("%s", kRule40);
  for (const envmon_sensor_list* l : {&p.voltage_data, &p.current_data, &p.power_data, &p.temp_data, &p.fan_data,
                                      &p.led_data})
    for (uint16_t s = 0; l->sensors != nullptr && s < l->count; ++s) envmon_dump_sensor_data(&l->sensors[s]);
  LINE("%s", kRule40);
  LINE("FPD data : \n");
  LINE("%s", kRule40);
  for (uint16_t f = 0; p.fpds != nullptr && f < p.num_fpds; ++f) envmon_dump_fpd_data(&p.fpds[f]);
  LINE("%s", kRule40);
}

}  // namespace

extern "C" void envmon_pem_pwr_mgmt_dump_data(void) {
  LINE("%s", kRule48);
  LINE("Tolsek PWR MGMT DATA\n");
  LINE("%s", kRule48);
  LINE("--- pd_power_supplies_data ---\n");
  LINE("power_for_pem_redundancy : %d\n", pd_power_supplies_data.power_for_pem_redundancy);
  LINE("all_pem_info_rcvd : %d\n", pd_power_supplies_data.all_pem_info_rcvd);
  LINE("redundancy_num_pems : %d\n", pd_power_supplies_data.redundancy_num_pems);
  LINE("pem_drvif_reg_done : %d\n", pd_power_supplies_data.pem_drvif_reg_done);
  LINE("%s", kRule48);
  if (pd_power_tray_info == nullptr) {
    LINE("Memory is not allcated for power tray data yet\n");
  } else {
    const uint32_t rack = envmon_rm != nullptr ? envmon_rm->pwr_tray_count : 0;
    const bool virt = rack == 0;
    const uint32_t trays = virt ? envmon_hal_get_max_virtual_powertray() : rack;
    for (uint32_t t = 0; t < trays; ++t) {
      const pd_power_tray_info_t& tray = pd_power_tray_info[t];
      LINE("PT%d DATA\n", t);
      LINE("%s", kRule40);
      LINE("virtual power tray : %d\n", virt ? 1 : 0);
      LINE("tray_capacity : %d W\n", tray.tray_capacity);
      LINE("num_pems : %d\n", tray.num_pems);
      LINE("%s", kRule40);
      if (tray.pems == nullptr) {
        LINE("Memory is not allcated for PEM data in power tray %d yet\n", t);
        continue;
      }
      for (uint32_t i = 0; i < tray.num_pems; ++i)
        if (tray.pems[i].status != 0) dump_pem(t, i, tray.pems[i]);
    }
  }
  LINE("%s", kRule48);
}
