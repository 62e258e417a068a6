// The retry handlers over whole progress words: what each pass leaves in the
// sensor, list, container, FRU and failure-log words, what it re-sends and
// what it returns.
#include "envmon_err_hdl.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core_traces.h"
#include "envcore_fakes.h"
#include "records_fixture.h"
#include "tlg_test.h"

namespace {

using strings = std::vector<std::string>;

class ErrHdl : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::reset();
    fakes::open_core_traces();
  }
  void make(uint32_t fantrays = 0) {
    fakes::hal().max_fantray = fantrays;
    recs_.emplace();
  }
  std::vector<uint32_t> states(const envmon_sensor_list& l) {
    std::vector<uint32_t> out;
    for (uint16_t i = 0; i < l.count; ++i) out.push_back(l.sensors[i].state);
    return out;
  }
  std::optional<fakes::records> recs_;
};

TEST_F(ErrHdl, NodeSensorPass) {
  struct Case {
    const char* name;
    uint32_t list_in;
    std::vector<uint32_t> in;
    std::vector<uint32_t> out;
    uint32_t list_out;
    int ret;
    strings calls;
  };
  const Case cases[] = {
      {"answered: settled, list done", 0xf0000001, {0xf0000003}, {0xf0000002}, 0xf0000002, 0, {}},
      {"pending: re-sent, one retry spent", 0xf0000001, {0xf0000001}, {0xe8000001}, 0xf0000001, 1,
       {"envmon_inv_invreg_register_sensors(3,temp0,1)"}},
      {"31 left", 0xf0000001, {0xf8000001}, {0xf0000001}, 0xf0000001, 1,
       {"envmon_inv_invreg_register_sensors(3,temp0,1)"}},
      {"last retry", 0xf0000001, {0x08000001}, {0x00000001}, 0xf0000001, 1,
       {"envmon_inv_invreg_register_sensors(3,temp0,1)"}},
      {"spent: given up, other bits kept, list done", 0xf0000001, {0x00100301}, {0x00100300},
       0xf0000002, 0, {}},
      {"waiting value of an accepted registration sent", 0xf0000001, {0x00100042}, {0x00100002},
       0xf0000001, 1, {"envmon_inv_invreg_report_sensor_data_after_reg(25,temp0,3)"}},
      {"waiting value of a refused registration dropped", 0xf0000001, {0x00100040},
       {0x00100000}, 0xf0000002, 0, {}},
      {"list not pending is not walked", 0x00000002, {0xf0000001, 0x40}, {0xf0000001, 0x40},
       0x00000002, 0, {}},
      {"walked from the last sensor", 0xf0000001, {0xf0000001, 0xf0000003, 0xf0000001},
       {0xe8000001, 0xf0000002, 0xe8000001}, 0xf0000001, 2,
       {"envmon_inv_invreg_register_sensors(3,temp2,1)",
        "envmon_inv_invreg_register_sensors(3,temp0,1)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make();
    fakes::clear_calls();
    envmon_sensor_list& l = recs_->nm().temp_data;
    fakes::records::fill(l, "temp", c.in, c.list_in);
    EXPECT_EQ(envmon_err_hdl_nm_bd_sensor(), c.ret);
    EXPECT_EQ(states(l), c.out);
    EXPECT_EQ(l.reg_state, c.list_out);
    EXPECT_EQ(fakes::calls(), c.calls);
    recs_.reset();
  }
}

TEST_F(ErrHdl, UnansweredRegistrationIsGivenUpInThe31stPass) {
  make();
  fakes::records::fill(recs_->nm().voltage_data, "volt", {0xf0100001}, 0xf0000001);
  int passes = 0;
  while (envmon_err_hdl_nm_bd_sensor() != 0 && passes < 40) ++passes;
  EXPECT_EQ(passes, 30);
  EXPECT_EQ(fakes::calls_of({"envmon_inv_invreg_register_sensors"}).size(), 30u);
  EXPECT_EQ(recs_->nm().voltage_data.sensors[0].state, 0x00100000u);
  EXPECT_EQ(recs_->nm().voltage_data.reg_state, 0xf0000002u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "FSA: envmon_err_hdl_nm_bd_sensor-volt sensor REG_REQ failed: EID="));
  fakes::clear_calls();
  EXPECT_EQ(envmon_err_hdl_nm_bd_sensor(), 0);
  EXPECT_TRUE(fakes::calls().empty());
}

TEST_F(ErrHdl, ChassisSensorsHaveNoValueStep) {
  make();
  fakes::records::fill(recs_->rm().temp_data, "chassis", {0x40, 0xf0000001}, 0xf0000001);
  EXPECT_EQ(envmon_err_hdl_rm_bd_sensor(), 1);
  EXPECT_EQ(states(recs_->rm().temp_data), (std::vector<uint32_t>{0x40, 0xe8000001}));
  EXPECT_EQ(fakes::calls(), strings{"envmon_inv_invreg_register_sensors(1,chassis1,1)"});
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "FSA:RM CHASSIS sensor REG[1,1]\n"));
}

TEST_F(ErrHdl, EveryPortAdapterBayIsSwept) {
  fakes::hal().max_mpa = 3;
  make();
  for (uint32_t b = 0; b < 3; ++b) {
    fakes::records::fill(recs_->nm().mpa[b].current_data, "curr", {0xf0000001}, 0xf0000001);
  }
  EXPECT_EQ(envmon_err_hdl_nm_MPA_sensor(), 3);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "FSA:NM SENSOR REG[3,3]\n"));
}

TEST_F(ErrHdl, RemoteCardHandlersFollowTheirClass) {
  fakes::hal().max_fc = 2;
  fakes::hal().max_swc = 1;
  fakes::hal().fc_remote = 1;
  fakes::hal().sw_remote = 1;
  make();
  fakes::records::fill(recs_->rm().fc_cb[1].temp_data, "fct", {0xf0000101}, 0xf0000101);
  fakes::records::fill(recs_->rm().sw_cb[0].voltage_data, "swv", {0xf0000100}, 0xf0000100);
  EXPECT_EQ(envmon_err_hdl_rm_fab_sensor(), 1);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "FSA:FC[1] SENSOR REG[1,1]\n"));
  EXPECT_EQ(envmon_err_hdl_rm_fab_drvif(), 1);
  EXPECT_EQ(envmon_err_hdl_rm_swc_drvif(), 1);
  EXPECT_EQ(envmon_err_hdl_rm_swc_sensor(), 0);
  EXPECT_EQ(fakes::calls(), (strings{"envmon_inv_invreg_register_sensors(1,fct0,1)",
                                     "envmon_drvif_poll_request(fct0,1,3,17)",
                                     "envmon_drvif_poll_request(swv0,1,3,17)"}));
  // A fabric card class that is not managed remotely is not looked at.
  fakes::hal().fc_remote = 0;
  fakes::clear_calls();
  EXPECT_EQ(envmon_err_hdl_rm_fab_sensor(), 0);
  EXPECT_EQ(envmon_err_hdl_rm_fab_drvif(), 0);
  EXPECT_EQ(envmon_err_hdl_rm_fab_obfl(), 0);
  EXPECT_TRUE(fakes::calls().empty());
  fakes::hal().fc_remote = 1;
}

TEST_F(ErrHdl, MissingTables) {
  struct Case {
    const char* name;
    int (*handler)();
    int ret;
  };
  const Case cases[] = {
      {"fan containers not created yet: keep waiting", envmon_err_hdl_rm_ft_cont, 1},
      {"no power-management data yet: keep waiting", envmon_err_hdl_rm_pwr_info, 1},
      {"no power trays", envmon_err_hdl_rm_pt_cont, 0},
      {"no power trays", envmon_err_hdl_rm_pt_fru, 0},
      {"no switch-card table", envmon_err_hdl_rm_swc_sensor, 0},
      {"no switch-card table", envmon_err_hdl_rm_swc_drvif, 0},
      {"no switch-card table", envmon_err_hdl_rm_swc_obfl, 0},
      {"no line-card table", envmon_err_hdl_rm_lc_sensor, 0},
      {"no fan trays", envmon_err_hdl_rm_ft_sensor, 0},
  };
  fakes::hal().max_swc = 2;  // a limit without its table
  fakes::hal().max_lc = 2;
  make();
  free(recs_->rm().fan_cont_reg_state);
  recs_->rm().fan_cont_reg_state = nullptr;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.handler(), c.ret);
  }
  EXPECT_TRUE(fakes::calls().empty());
}

TEST_F(ErrHdl, FanTrayPollingAndSpeed) {
  make(2);
  fantray_cb& ft = recs_->rm().fantray_cb[1];
  fakes::records::fill(ft.fan_data, "fan", {0x50000602, 0x00000202}, 0x00000602);
  fakes::records::fill(ft.temp_data, "ftt", {0xf0000101}, 0x00000101);
  fakes::hal().ft_primary = false;
  // Polling: the temperature sensor is re-sent to the secondary fan driver;
  // speed: only the fan whose set is pending.
  EXPECT_EQ(envmon_err_hdl_rm_ft_drvif(), 2);
  EXPECT_EQ(fakes::calls(), (strings{"envmon_drvif_poll_request(ftt0,1,3,14)",
                                     "envmon_hal_fan_mgmt_fan_speed_update_per_eid(1,fan0)"}));
  EXPECT_EQ(states(ft.fan_data), (std::vector<uint32_t>{0x48000602, 0x00000202}));
  EXPECT_EQ(ft.fan_data.reg_state, 0x00000602u) << "fan list: polling settled, speed pending";
  EXPECT_EQ(ft.temp_data.reg_state, 0x00000101u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "FSA:RM-FT[1] SPEED DRVIF_SET[1,1]\n"));
  // The fan's set is answered: the next pass settles the speed list.
  ft.fan_data.sensors[0].state |= 0x800;
  ft.temp_data.sensors[0].state |= 0x200;
  fakes::clear_calls();
  EXPECT_EQ(envmon_err_hdl_rm_ft_drvif(), 0);
  EXPECT_TRUE(fakes::calls().empty());
  EXPECT_EQ(ft.fan_data.reg_state, 0x00000a02u);
  EXPECT_EQ(ft.temp_data.reg_state, 0x00000201u);
}

TEST_F(ErrHdl, FailureLogPriority) {
  struct Case {
    const char* name;
    uint32_t in;
    uint32_t out;
    int ret;
    strings calls;
    const char* trace;
  };
  const Case cases[] = {
      {"service registration first", 0xf0003006, 0xe8003006, 1,
       {"envmon_obfl_svc_registration(3,7,1)"},
       "FSA: envmon_err_hdl_nm_obfl OBFL_SVC_REG_REQ re-sent\n"},
      {"thresholds before logs", 0x08008700, 0x00008700, 1, {"envmon_obfl_nm_write_thr_all()"},
       "FSA: envmon_err_hdl_nm_obfl OBFL_THR_REQ re-sent\n"},
      {"logs", 0x10000200, 0x08000200, 1, {"envmon_obfl_nm_log_all(1,0x0)"},
       "FSA: envmon_err_hdl_nm_obfl OBFL LOG re-sent\n"},
      {"spent: traced as failed, not counted", 0x00000400, 0x00000400, 0, {},
       "FSA: envmon_err_hdl_nm_obfl OBFL LOG failed\n"},
      {"nothing pending", 0xf0000006, 0xf0000006, 0, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make();
    fakes::clear_calls();
    tlg_test_clear("envmon_cmn_err");
    recs_->nm().slot_num = 7;
    recs_->nm().misc_state = c.in;
    EXPECT_EQ(envmon_err_hdl_nm_obfl(), c.ret);
    EXPECT_EQ(recs_->nm().misc_state, c.out);
    EXPECT_EQ(fakes::calls(), c.calls);
    if (c.trace != nullptr) {
      EXPECT_TRUE(tlg_test_contains("envmon_cmn_err", c.trace));
    }
    recs_.reset();
  }
}

TEST_F(ErrHdl, FanTrayFailureLogsCountEntities) {
  make(3);
  recs_->rm().fantray_cb[0].misc_state = 0xf0001000;
  recs_->rm().fantray_cb[0].hw_position = 41;
  recs_->rm().fantray_cb[2].misc_state = 0x00000100;  // spent
  recs_->rm().fantray_cb[2].hw_position = 43;
  EXPECT_EQ(envmon_err_hdl_rm_ft_obfl(), 1);
  EXPECT_EQ(fakes::calls(), strings{"envmon_obfl_svc_registration(1,41,1)"});
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "FSA: envmon_err_hdl_rm_ft_obfl-FT[0] OBFL_SVC_REG_REQ re-sent\n"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "FSA: envmon_err_hdl_rm_ft_obfl-FT[2] OBFL LOG failed\n"));
}

TEST_F(ErrHdl, ContainersAndPowerUpdates) {
  make(2);
  envmon_rm_t& rm = recs_->rm();
  rm.fan_cont_count = 2;
  rm.fan_cont_eids = static_cast<inv_eid*>(calloc(2, sizeof(inv_eid)));
  rm.fan_cont_eids[1].slot = 42;
  rm.fan_cont_reg_state[0] = 0xf0000003;  // answered
  rm.fan_cont_reg_state[1] = 0x00000001;  // spent
  EXPECT_EQ(envmon_err_hdl_rm_ft_cont(), 0);
  EXPECT_EQ(rm.fan_cont_reg_state[0], 0xf0000002u);
  EXPECT_EQ(rm.fan_cont_reg_state[1], 0x00000000u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_err",
                                "FSA: envmon_err_hdl_rm_ft_cont-FT[1] container REG_REQ failed"));
  rm.fan_cont_reg_state[1] = 0x20000001;
  EXPECT_EQ(envmon_err_hdl_rm_ft_cont(), 1);
  EXPECT_EQ(rm.fan_cont_reg_state[1], 0x18000001u);
  EXPECT_EQ(fakes::calls(), strings{"envmon_inv_invreg_rm_register_container_eid(42,1)"});
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "FSA:RM-FT[1] CONTAINER REG[1,1]\n"));

  envmon_pwr_mgmt_data_t& pm = recs_->pwr_mgmt();
  pm.fantray_pbudget[1].eid.slot = 42;
  pm.fantray_pbudget[1].pbudget = 120;
  pm.fantray_pbudget[1].status = 1;
  pm.fantray_pbudget[1].current = 9;
  pm.fantray_pbudget[1].reg_state = 0xf0000001;
  fakes::clear_calls();
  EXPECT_EQ(envmon_err_hdl_rm_pwr_info(), 1);
  EXPECT_EQ(fakes::calls(), strings{"envmon_inv_invreg_fru_power_alloc_update(42,120,1,9,0)"});
  EXPECT_EQ(pm.fantray_pbudget[1].reg_state, 0xe8000001u);
}

TEST_F(ErrHdl, FanTrayFruStepsInOrder) {
  make(1);
  fantray_cb& ft = recs_->rm().fantray_cb[0];
  ft.hw_position = 41;
  ft.board_id = 0x7e;
  ft.eeprom_len = 256;
  ft.flags = 0xf0000011;  // registration and EEPROM data pending
  EXPECT_EQ(envmon_err_hdl_rm_ft_fru(), 1);
  EXPECT_EQ(fakes::calls(), (strings{"envmon_hal_idprom_get_pcb_sn(256,12)",
                                     "envmon_inv_invreg_fan_fru_reg(41,0x7e,SN000000001,256)"}))
      << "the EEPROM data waits while the registration was re-sent";
  EXPECT_EQ(ft.flags, 0xe8000011u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "FSA:RM-FT[0] EEPROM REG[1,1]\n"));
  // Registration answered: settled, and the EEPROM data goes out.
  ft.flags |= 0x2;
  fakes::clear_calls();
  EXPECT_EQ(envmon_err_hdl_rm_ft_fru(), 1);
  EXPECT_EQ(fakes::calls(), strings{"envmon_reg_and_set_eeprom_data(41,256)"});
  EXPECT_EQ(ft.flags, 0xe0000012u);
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "FSA:RM-FT[0] EEPROM REG[1,0]\n"));
  EXPECT_TRUE(tlg_test_contains("envmon_cmn_smil", "FSA:RM-FT[0] EEPROM SET[1,1]\n"));
}

}  // namespace
