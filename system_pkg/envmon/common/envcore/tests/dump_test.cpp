#include <gtest/gtest.h>

#include <string.h>
#include <time.h>

#include <regex>
#include <sstream>
#include <string>

#include "envcore_test_util.h"

namespace {

const std::string D36(36, '-');
const std::string D40(40, '-');
const std::string D48(48, '-');

std::string banner(const std::string& title) { return D36 + "\n" + title + D36 + "\n"; }

std::string ctime_text(time_t t) {
  char buf[32];
  ctime_r(&t, buf);
  return buf;
}

class Dump : public ::testing::Test {
 protected:
  void SetUp() override {
    envcore_standin_reset();
    envcore_free_records();
    tsi_[0] = {5, 2, 1};
    tsi_[1] = {8, 25, 1};
    sensor_.eid.rack = 0xfffe;
    sensor_.eid.slot = 0xfffe;
    sensor_.eid.tsi = tsi_;
    sensor_.eid.tsi_count = 2;
    sensor_.state = 0x100302;
    sensor_.driver_ownership = 1;
    snprintf(sensor_.name, sizeof(sensor_.name), "Inlet Temp");
    sensor_.value = 31;
    sensor_.timestamp = 1700000000;
    sensor_.last_value = 30;
    sensor_.obfl_last_value = 0xffffff;
    sensor_.obfl_seq_num = 4;
    sensor_.obfl_last_ack_ok_seq_num = 3;
    sensor_.pd_state = 0x10;
    sensor_.pd_last_state = 0x20;
    sensor_.update_rate = 10;
    sensor_.previous_update_rate = 30;
    sensor_.delta = 1;
    sensor_.scale = 9;
    sensor_.precision = 0;
    sensor_.alarm_severity = -2;
    sensor_.in_fault = 1;
    sensor_.fault_event = 0x400000;
    sensor_.hw_event = 0x10;
    sensor_.hw_state = 1;
    sensor_.hw_st_capi_flow_ctrl = 0;
    sensor_.val_capi_flow_ctrl = 1;
    sensor_.driver_reported = 1;
    sensor_.last_trap_value = 29;
    sensor_.threshold = {-10, 85, -5, 75, 0, 65};
  }
  void TearDown() override {
    if (envmon_nm) envmon_nm->temp_data = {};
    envcore_free_records();
  }
  std::string sensor_text() const {
    return "eid : 65534/65534 TSI: 5/2/1 8/25/1\n"
           "  state : 0x100302\n"
           "  driver_ownership : 1\n"
           "  name : Inlet Temp\n"
           "  value : 31\n"
           "  timestamp : " + ctime_text(1700000000) + "\n"
           "  last_value : 30\n"
           "  obfl_last_value : 16777215\n"
           "  obfl_seq_num : 4\n"
           "  obfl_last_ack_ok_seq_num : 3\n"
           "  pd_state : 0x10\n"
           "  pd_last_state : 0x20\n"
           "  update_rate : 10\n"
           "  previous_update_rate : 30\n"
           "  delta : 1\n"
           "  scale : 9\n"
           "  precision : 0\n"
           "  alarm_severity : -2\n"
           "  in_fault : 1\n"
           "  fault_event : 0x400000\n"
           "  hw_event : 0x10\n"
           "  hw_state(up 1, down 2, n/a 3) : 0x1\n"
           "  hw_st_capi_flow_ctrl : 0x0\n"
           "  val_capi_flow_ctrl : 0x1\n"
           "  driver_reported : 1\n"
           "  last_trap_value : 29\n"
           "  threshold.critical_low : -10\n"
           "  threshold.critical_high : 85\n"
           "  threshold.major_low : -5\n"
           "  threshold.major_high : 75\n"
           "  threshold.minor_low : 0\n"
           "  threshold.minor_high : 65\n";
  }
  pelm_tsi tsi_[2];
  envmon_sensor_info sensor_{};
};

TEST_F(Dump, SensorRecordFieldByField) {
  DebugStream out(&env_dump_fd);
  envmon_dump_sensor_data(&sensor_);
  EXPECT_EQ(out.text(), sensor_text());
  envmon_dump_sensor_data(nullptr);
  EXPECT_EQ(out.text(), sensor_text());  // a null record writes nothing
}

TEST_F(Dump, FpdRecordFieldByField) {
  fpd_data f{};
  f.eid.rack = 0xfffe;
  f.eid.slot = 41;
  f.eid.level_count = 2;
  f.eid.levels[0] = {5, 5, 1};
  f.eid.levels[1] = {6, 9, 35};
  snprintf(f.name, sizeof(f.name), "FT0-FPGA");
  f.name_len = 8;
  f.state_set = 1;
  f.state = 25;
  f.init_st = 2;
  f.reg_state = 0xf0000001;
  snprintf(f.fpd_path, sizeof(f.fpd_path), "/opt/tolvu/pelmarok/bin/ft.img");
  f.req_fpd_ver_major = 1;
  f.req_fpd_ver_minor = 2;
  f.hw_ver_major = 3;
  f.hw_ver_minor = 4;
  f.fpd_ver_major = 5;
  f.fpd_ver_minor = 6;
  f.inst_fpd_ver_major = 7;
  f.inst_fpd_ver_minor = 8;
  f.fpd_size = 4096;
  f.spi_flash = 1;
  f.is_upgradable = 1;
  f.upg_progress = 50;
  f.toggle_upgrade = 0;
  snprintf(f.fault_msg, sizeof(f.fault_msg), "none");
  f.upgrade_state = 0x3;
  f.val_capi_flow_ctrl = 1;
  DebugStream out(&env_dump_fd);
  envmon_dump_fpd_data(&f);
  EXPECT_EQ(out.text(),
            "eid : 65534/41 TSI: 5/5/1 6/9/35\n"
            "  name : FT0-FPGA\n"
            "  name_len : 8\n"
            "  fpd_out.fpd_hd : (nil)\n"
            "  cb_func : (nil)\n"
            "  state_set : 0x1\n"
            "  state : 0x19\n"
            "  init_st : 0x2\n"
            "  reg_state : 0xf0000001\n"
            "  fpd_path : /opt/tolvu/pelmarok/bin/ft.img\n"
            "  req_fpd_ver_major : 1\n"
            "  req_fpd_ver_minor : 2\n"
            "  hw_ver_major : 3\n"
            "  hw_ver_minor : 4\n"
            "  fpd_ver_major : 5\n"
            "  fpd_ver_minor : 6\n"
            "  inst_fpd_ver_major : 7\n"
            "  inst_fpd_ver_minor : 8\n"
            "  fpd_size : 4096\n"
            "  spi_flash : 1\n"
            "  is_upgradable : 1\n"
            "  upg_progress : 50\n"
            "  toggle_upgrade : 0\n"
            "  fault_msg : none\n"
            "  upgrade_state : 0x3\n"
            "  val_capi_flow_ctrl : 0x1\n");
}

TEST_F(Dump, NodeRecordWithItsSensors) {
  ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
  envmon_nm_t* nm = envmon_nm;
  nm->pm_capi_connected = 1;
  nm->plat_drv_capi_connected = 1;
  nm->drvif_connected[1] = 1;
  nm->drvif_connected[16] = 1;
  nm->card_ceid.rack = 0xfffe;
  nm->card_ceid.slot = 0xfffe;
  nm->card_type = 0x1e0810;
  nm->hw_type = 21014;
  nm->slot_num = 0;
  nm->misc_state = 0x6;
  nm->temp_data = {&sensor_, 1, 0x2};
  nm->voltage_data.reg_state = 0x200;
  DebugStream out(&env_dump_fd);
  envmon_dump_nm_data();
  std::string drivers = "drvif_connected : ";
  for (int d = 0; d < 17; ++d) drivers += "(drv" + std::to_string(d) + ", " + ((d == 1 || d == 16) ? "1" : "0") + ") ";
  const std::string expected = banner("ENVMON NM data:\n") +
                               "pm_capi_connected : 1\n"
                               "inv_invreg_connected : 0\n"
                               "plat_drv_capi_connected : 1\n"
                               "obfl_capi_connected : 0\n" +
                               drivers + "\n" +
                               "card_ceid : 65534/65534 TSI:\n"
                               "card_type : 0x1e0810\n"
                               "hw_type : 0x5216\n"
                               "slot_num : 0\n"
                               "process_restart : 0\n"
                               "obfl_client_id : 0\n"
                               "misc_state : 6\n"
                               "ip_address : 0xffffffff\n"
                               "temp_sensors_in_fault : 0\n"
                               "disable_temp_monitoring : 0\n"
                               "my_location : (null)\n"
                               "card_container_valid_flag : 0\n" +
                               D40 + "\nsensor data : \n" + D40 + "\n" +
                               "temp_data.reg_state : 0x2\n"
                               "voltage_data.reg_state : 0x200\n"
                               "current_data.reg_state : 0x0\n\n" +
                               sensor_text() + D36 + "\n";
  EXPECT_EQ(out.text(), expected);
}

TEST_F(Dump, RackRecordOnAPlatformWithoutRemoteCards) {
  envcore_standin().max_fantray = 1;
  ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
  envmon_rm_t* rm = envmon_rm;
  rm->chassis_type = 0x60010000;
  snprintf(rm->chassis_sn, 12, "SN123");
  snprintf(rm->pid, sizeof(rm->pid), "TAV-8");
  rm->svc_role = 1;
  rm->prev_role = 3;
  rm->fantray_cb[0].hw_position = 41;
  rm->fantray_cb[0].board_id = 0xab040000;
  snprintf(rm->fantray_cb[0].pid, 64, "TAV-FAN");
  rm->fantray_cb[0].misc_state = 0x1000;
  rm->fantray_cb[0].temp_data = {&sensor_, 1, 0};
  DebugStream out(&env_dump_fd);
  envmon_dump_rm_data();
  rm->fantray_cb[0].temp_data = {};
  const std::string expected =
      banner("ENVMON RM data:\n") +
      "chassis_type : 0x60010000\n"
      "chassis_sn : SN123\n"
      "pid : TAV-8\n"
      "is_proto_chassis : 0\n"
      "rack_num : 0\n"
      "rack : fffe\n"
      "inv_capi_connected : 0\n"
      "inv_invreg_connected : 0\n"
      "cm_capi_connected : 0\n"
      "obfl_capi_connected : 0\n"
      "cm_obj_reged : 0\n"
      "svc_role : 1\n"
      "prev_role : 3\n"
      "user_fan_speed_pwm : 0\n"
      "fan_ctrl_optics : 0\n" +
      D36 + "\n" + banner("fantray_cb:\n") +
      "ceid : 0/0 TSI:\n"
      "  hw_position : 41\n"
      "  board_id : 0xab040000\n"
      "  pid : TAV-FAN\n"
      "  prefix_str : \n"
      "  fru_prefix_capi_flow_ctrl : 0\n"
      "  misc_state : 0x1000\n"
      "  obfl_client_id : 0\n"
      "  obfl_log_client_id : 0\n"
      "  speed_sensors_in_fault : 0\n" +
      D40 + "\nsensor data : \n" + D40 + "\n" + sensor_text() + D40 + "\nFPD data : \n" + D40 + "\n" +
      "Memory is not allcated for fc_cb yet \n"
      "Memory is not allcated for sw_cb yet \n"
      "Memory is not allocated for lc_cb yet \n";
  EXPECT_EQ(out.text(), expected);
}

TEST_F(Dump, RemoteCardsShowSensorsOnlyWhenPresent) {
  envcore_standin().fc_remote = 1;
  envcore_standin().max_fc = 2;
  envcore_standin().max_fantray = 0;
  ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
  ASSERT_EQ(envmon_init_rack_entity_data(), ENVMON_OK);
  envmon_rm_t* rm = envmon_rm;
  rm->fc_cb[0].hw_position = 4;
  rm->fc_cb[0].misc_state = 0x1;  // present
  rm->fc_cb[0].card_state = -1;
  rm->fc_cb[0].temp_data = {&sensor_, 1, 0};
  rm->fc_cb[1].hw_position = 5;
  rm->fc_cb[1].temp_data = {&sensor_, 1, 0};
  DebugStream out(&env_dump_fd);
  envmon_dump_rm_data();
  rm->fc_cb[0].temp_data = {};
  rm->fc_cb[1].temp_data = {};
  const std::string text = out.text();
  const std::string fc0 = "ceid : 0/0 TSI:\n"
                          "  hw_position : 4\n"
                          "  card_type : 0x0\n"
                          "  cm_card_type : 0x0\n"
                          "  card_state : 0xffffffff\n"
                          "  misc_state : 0x1\n"
                          "  obfl_client_id : 0\n"
                          "  temp_sensors_in_fault : 0\n" +
                          D40 + "\nsensor data : \n" + D40 + "\n" + sensor_text() + D40 + "\n";
  const std::string fc1 = "ceid : 0/0 TSI:\n"
                          "  hw_position : 5\n"
                          "  card_type : 0x0\n"
                          "  cm_card_type : 0x0\n"
                          "  card_state : 0x0\n"
                          "  misc_state : 0x0\n"
                          "  obfl_client_id : 0\n"
                          "  temp_sensors_in_fault : 0\n";
  EXPECT_NE(text.find(banner("fc_cb:\n") + fc0 + fc1 + "Memory is not allcated for sw_cb yet \n"),
            std::string::npos)
      << text;
  // No fan trays on this platform: the table was never created.
  EXPECT_NE(text.find("Memory is not allcated for fantray_cb yet \n"), std::string::npos);
}

TEST_F(Dump, PowerManagementData) {
  DebugStream out(&env_dump_fd);
  ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
  envmon_dump_pwr_mgmt_data();
  EXPECT_EQ(out.text(), "Memory is not allcated for pwr mgmt data yet\n");

  EnvcoreStandin& s = envcore_standin();
  s.max_rp = 1;
  s.max_fantray = 1;
  s.max_fc = 1;
  s.max_lc = 0;
  s.max_swc = 0;
  s.max_xc = 0;
  envmon_pwr_mgmt_data_t pm{};
  envmon_pwr_tray_budget trays[2]{};
  envmon_entity_pbudget_info_t rp{}, ft{}, card{};
  pm.envmon_pwr_tray_data = trays;
  pm.red_mode = 1;
  pm.total_capacity = 6000;
  pm.pwr_mgmt_action_ena = 1;
  pm.alarms = 0x100000002ULL;
  pm.total_power_budget = 1200;
  pm.lc_powered_on_bitmap = 0x5;
  pm.all_card_info_rcvd = 1;
  pm.start_index[0] = pm.last_index[0] = 255;
  pm.start_index[1] = pm.last_index[1] = 0;
  pm.start_index[2] = pm.last_index[2] = 255;
  pm.start_index[3] = pm.last_index[3] = 255;
  pm.rp_pbudget = &rp;
  rp.hw_position = 0;
  rp.pbudget = 300;
  rp.status = 1;
  rp.current = 12000;
  pm.fantray_pbudget = &ft;
  ft.pbudget = 400;
  ft.status = 1;
  ft.reg_state = 0xf0000002;
  pm.pbudget_list = nullptr;
  pm.usable_pwr = 4000;
  pm.prot_pwr = 2000;
  envmon_rm->pwr_mgmt_data = &pm;
  envmon_rm->pwr_cfg.single_feed_operation = 1;
  (void)card;
  DebugStream full(&env_dump_fd);
  envmon_dump_pwr_mgmt_data();
  const std::string expected =
      D48 + "\n" +
      "Common PWR MGMT DATA:\n"
      "red_mode : 0x1\n"
      "act_red_mode : 0x0\n"
      "total_capacity : 6000\n"
      "pwr_tray_drvif_reg_done : 0\n"
      "pwr_mgmt_action_ena : 1\n"
      "single feed mode: 1\n"
      "extended temp mode : 0\n"
      "alarms : 0x100000002\n" +
      banner("envmon_pwr_tray_data: \n") + "    no power tray\n" + D36 + "\n" +
      "power_budget_data:\n" + D36 + "\n" +
      "total_power_budget : 1200\n"
      "lc_powered_on_bitmap : 0x5\n"
      "all_card_info_rcvd : 1\n"
      "card 0 (LC 0, FC 1, SWC 2, XC 3) start_index 255 last_index 255\n"
      "card 1 (LC 0, FC 1, SWC 2, XC 3) start_index 0 last_index 0\n"
      "card 2 (LC 0, FC 1, SWC 2, XC 3) start_index 255 last_index 255\n"
      "card 3 (LC 0, FC 1, SWC 2, XC 3) start_index 255 last_index 255\n"
      "pbudget_last_index : 0\n" +
      banner("rp_pbudget: \n") +
      "eid : 0/0 TSI:\n"
      "container_eid : 0/0 TSI:\n"
      "  hw_position : 0\n"
      "  pbudget : 300\n"
      "  status : 0x1\n"
      "  current : 12000\n" +
      banner("fantray_pbudget: \n") +
      "container_eid : 0/0 TSI:\n"
      "fru_eid : 0/0 TSI:\n"
      "  pbudget : 400\n"
      "  status : 0x1\n"
      "  current : 0\n"
      "  reg_state : 0xf0000002\n" +
      D36 + "\n" + D36 + "\nother cards pbudget: \n" + D36 + "\n" +
      "Memory is not allcated for pbudget_list yet \n" + banner("sys_pwr_data reported to INV:\n") +
      "usable_pwr : 4000\n"
      "prot_pwr : 2000\n"
      "resrv_n_alloc_pwr : 0\n"
      "cnf_pwr_red_mode : 0\n"
      "act_pwr_red_mode : 0\n"
      "total_available_current : 0\n"
      "total_drawn_current : 0\n" +
      D36 + "\n" + D48 + "\n";
  EXPECT_EQ(full.text(), expected);
  envmon_rm->pwr_mgmt_data = nullptr;
}

TEST_F(Dump, WithoutAStreamNothingIsWritten) {
  ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
  ASSERT_EQ(env_fd, nullptr);
  ASSERT_EQ(env_dump_fd, nullptr);
  const envmon_sensor_info before = sensor_;
  envmon_dump_sensor_data(&sensor_);
  envmon_dump_nm_data();
  envmon_dump_rm_data();
  envmon_dump_pwr_mgmt_data();
  EXPECT_EQ(memcmp(&before, &sensor_, sizeof(sensor_)), 0);
}

TEST_F(Dump, TheDebugLogPrefixesEveryLineWithTheTime) {
  DebugStream log(&env_fd);
  envmon_dump_sensor_data(&sensor_);
  std::istringstream lines(log.text());
  const std::regex stamped(R"(^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4} (eid|  [a-z_.()0-9, /]+) : )");
  std::string line;
  int stamped_lines = 0;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;  // the timestamp field's own newline
    EXPECT_TRUE(std::regex_search(line, stamped)) << line;
    ++stamped_lines;
  }
  EXPECT_EQ(stamped_lines, 32);
}

}  // namespace
