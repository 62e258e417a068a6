// Leaving the active role, fan-tray insertion and removal, power-tray events.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;

class Role : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    start();
    make_ready();
    envmon_pm::fru_pwr_alloc_published = true;
  }
};

TEST_F(Role, ActiveRoleOnlyTraces) {
  envmon_rm->prev_role = ENVMON_ROLE_STANDBY;
  pm().total_capacity = 5000;
  envmon_pwr_mgmt_handle_role_ch();
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_handle_role_ch: power mgmt received role change - old:new (2:1)\n"));
  EXPECT_EQ(pm().total_capacity, 5000u);
  EXPECT_EQ(envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd, 1);
  EXPECT_EQ(calls(), std::vector<std::string>{});
}

TEST_F(Role, LeavingTheActiveRoleForgetsConfigurationCapacityAndPendingShutdowns) {
  pm().total_capacity = 5000;
  pm().usable_pwr = 4000;
  pm().prot_pwr = 1000;
  pm().resrv_n_alloc_pwr = 300;
  pm().alarms = 0x6;
  pm().pwr_tray_drvif_reg_done = 1;
  pm().pwr_mgmt_action_ena = 0;
  envmon_pwr_cfg& cfg = envmon_rm->pwr_cfg;
  cfg.pwr_ctrl = 0;
  cfg.red_num_pems = 2;
  cfg.single_feed_operation = cfg.extended_mode_operation = cfg.progressive_mode_operation = 1;
  for (uint32_t i = 0; i < envmon_pm::card_records(); ++i) card(i).shut_pending = 1;
  envmon_pwr_mgmt_change_to_new_pbudget(0, 300);
  card(0).status = ENVMON_PWR_ON;
  const int32_t total = pm().total_power_budget;
  envmon_rm->prev_role = ENVMON_ROLE_ACTIVE;
  envmon_rm->svc_role = ENVMON_ROLE_STANDBY;
  DebugStream log(&env_dump_fd);

  envmon_pwr_mgmt_handle_role_ch();

  EXPECT_EQ(cfg.pwr_mgmt_cfg_rcvd, 0);
  EXPECT_EQ(cfg.pwr_ctrl, 1);
  EXPECT_EQ(cfg.red_num_pems, 255u);
  EXPECT_EQ(cfg.single_feed_operation, 0);
  EXPECT_EQ(cfg.extended_mode_operation, 0);
  EXPECT_EQ(cfg.progressive_mode_operation, 0);
  EXPECT_EQ(pm().total_capacity, 0u);
  EXPECT_EQ(pm().usable_pwr, 0);
  EXPECT_EQ(pm().prot_pwr, 0);
  EXPECT_EQ(pm().resrv_n_alloc_pwr, 300);  // the other figures stay
  EXPECT_EQ(pm().alarms, 0u);
  EXPECT_EQ(pm().pwr_tray_drvif_reg_done, 0);
  EXPECT_EQ(pm().pwr_mgmt_action_ena, 1);
  // Pending shutdowns of line cards are forgotten, nothing else.
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(card_of(ENVMON_CARD_CLASS_LC, i).shut_pending, 0) << i;
  EXPECT_EQ(card_of(ENVMON_CARD_CLASS_FC, 0).shut_pending, 1);
  // Budgets and statuses stay.
  EXPECT_EQ(pm().total_power_budget, total);
  EXPECT_EQ(card(0).status, ENVMON_PWR_ON);
  EXPECT_EQ(card(0).pbudget, 300);
  EXPECT_EQ(calls(), std::vector<std::string>{"hal_role_change"});
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_handle_role_ch: power mgmt clean up on role change - old:new (1:2)\n"));
  const std::string text = log.text();
  EXPECT_NE(text.find("envmon_pwr_mgmt_handle_role_ch: pwr_ctrl set to 1, redundancy_num_pems 255\n"),
            std::string::npos);
  EXPECT_NE(text.find("envmon_pwr_mgmt_handle_role_ch: pwr_mgmt_action_ena set to 1\n"),
            std::string::npos);

  // Power requests are answered "not ready" until a configuration arrives.
  envmon_rm->svc_role = ENVMON_ROLE_ACTIVE;
  ReqEid eid(slot_of(ENVMON_CARD_CLASS_LC, 1), 1, 1);
  EXPECT_EQ(envmon_pwr_mgmt_get_budget(&eid.e, kLcType, "", 1, 0), 3);
}

TEST_F(Role, LeavingTheActiveRoleResetsPhysicalPowerTrays) {
  TearDown();
  PwrTest::SetUp();
  envcore_standin().max_powertray = 3;
  start();
  envmon_rm->pwr_tray_count = 2;
  for (uint32_t t = 0; t < 3; ++t) {
    pm().envmon_pwr_tray_data[t].container_regi_done = 1;
    pm().envmon_pwr_tray_data[t].state = 1;
  }
  envmon_rm->svc_role = ENVMON_ROLE_NONE;
  envmon_pwr_mgmt_handle_role_ch();
  for (uint32_t t = 0; t < 2; ++t) {
    EXPECT_EQ(pm().envmon_pwr_tray_data[t].container_regi_done, 0) << t;
    EXPECT_EQ(pm().envmon_pwr_tray_data[t].state, 0) << t;
  }
  // Past the rack's tray count nothing is touched.
  EXPECT_EQ(pm().envmon_pwr_tray_data[2].state, 1);
  envmon_rm->pwr_tray_count = 0;
}

TEST_F(Role, WithoutThePowerRecordOnlyTheConfigurationIsReset) {
  envmon_pwr_mgmt_data_t* saved = envmon_pwr_mgmt_data;
  envmon_pwr_mgmt_data = nullptr;
  envmon_rm->svc_role = ENVMON_ROLE_STANDBY;
  envmon_pwr_mgmt_handle_role_ch();
  envmon_pwr_mgmt_data = saved;
  EXPECT_EQ(envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd, 0);
  EXPECT_TRUE(tlg_test_contains(kPwrm, "envmon_pwr_mgmt_handle_role_ch: Oops NULL pointer\n\n"));
  EXPECT_EQ(calls(), std::vector<std::string>{});
}

TEST_F(Role, FanTrayPresenceMovesItsStatusNotItsBudget) {
  const auto& ft = pm().fantray_pbudget;
  const std::string eid = pwr_eid_text(ft[1].container_eid);
  struct Case {
    const char* name;
    uint8_t present;
    int32_t status;
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {"inserted", 1, ENVMON_PWR_ON, {"inv_alloc(" + eid + ", 50, 2, 0, 0)", "ceb_event(9)"}},
      {"inserted again", 1, ENVMON_PWR_ON, {}},
      {"removed", 0, ENVMON_PWR_PRE_RESERVED, {"inv_alloc(" + eid + ", 50, 4, 0, 0)", "ceb_event(9)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls().clear();
    pm().fantray_pbudget[1].reg_state = 0x2;
    envmon_pwr_mgmt_fantray_oir_ev(1, c.present);
    EXPECT_EQ(ft[1].status, c.status);
    EXPECT_EQ(ft[1].pbudget, 50);
    EXPECT_EQ(calls(), c.sent);
    EXPECT_EQ(ft[1].reg_state, c.sent.empty() ? 0x2u : 0xf0000001u);
  }
  envmon_pwr_mgmt_fantray_oir_ev(3, 1);
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_fantray_oir_ev: invalid fan tray number 3 \n"));
}

TEST_F(Role, PowerTrayEvents) {
  struct Case {
    const char* name;
    uint32_t physical;
    uint16_t count;
    uint8_t tray;
    bool stored;
    std::vector<std::string> sent;
    bool traced;
  };
  const Case cases[] = {
      {"no physical trays", 0, 2, 1, false, {}, false},
      {"tray within the count", 2, 2, 1, true, {"hal_pt_oir(1, 1)"}, false},
      {"tray at the count", 2, 2, 2, false, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    PwrTest::SetUp();
    envcore_standin().max_powertray = c.physical;
    start();
    envmon_rm->pwr_tray_count = c.count;
    calls().clear();
    tlg_test_clear(nullptr);
    envmon_pwr_mgmt_powertray_hwtype_upd(c.tray, 0x1234);
    envmon_pwr_mgmt_powertray_oir_ev(c.tray, 1);
    if (c.physical) {
      EXPECT_EQ(pm().envmon_pwr_tray_data[1].type, c.stored ? 0x1234 : 0);
    }
    EXPECT_EQ(calls(), c.sent);
    EXPECT_EQ(err_traced("envmon_pwr_mgmt_powertray_oir_ev: invalid power tray " +
                         std::to_string(c.tray) + " \n"),
              c.traced);
    envmon_rm->pwr_tray_count = 0;
  }
}

}  // namespace
