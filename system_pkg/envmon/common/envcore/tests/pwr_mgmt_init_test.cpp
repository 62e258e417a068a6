// Power-management start-up and readiness.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;
using envmon_pm::kCntTotalPreq;

using Init = PwrTest;

TEST_F(Init, RouteProcessorsAndPrimaryFanTraysAreBudgetedUpFront) {
  rps = 1;  // one of two route-processor slots filled: both are budgeted
  DebugStream log(&env_dump_fd);
  start();
  for (uint32_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const envmon_entity_pbudget_info_t& rp = pm().rp_pbudget[i];
    EXPECT_EQ(rp.status, ENVMON_PWR_PRE_RESERVED);
    EXPECT_EQ(rp.pbudget, 100);
    EXPECT_EQ(rp.max_budget, 100);
    EXPECT_EQ(rp.stby_zn_budget, 20);
    EXPECT_EQ(rp.ext_budget, 120);
    const envmon_entity_pbudget_info_t& ft = pm().fantray_pbudget[i];
    EXPECT_EQ(ft.status, ENVMON_PWR_PRE_RESERVED);
    EXPECT_EQ(ft.pbudget, 50);
  }
  // The third fan tray is not a primary one.
  EXPECT_EQ(pm().fantray_pbudget[2].status, ENVMON_PWR_INVALID);
  EXPECT_EQ(pm().fantray_pbudget[2].pbudget, 0);
  // Then the platform budgets the cards: 4 x 30 W, 2 x 200 W, 80 W.
  EXPECT_EQ(pm().total_power_budget, 900);
  EXPECT_EQ(oper(kCntTotalPreq), 900u);
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_pbudget_data_init : power budget for RP/SC 200 (W) \n"));
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_pbudget_data_init : power budget for RP/SC and fan tray 300 (W) \n"));
  EXPECT_TRUE(tlg_test_contains(kPwrm,
                                "envmon_pwr_mgmt_pbudget_data_init : base power budget 900 (W) \n"));
  EXPECT_EQ(pm().use_redundand_pwr, 1);
  EXPECT_EQ(envmon_rm->pwr_mgmt_data, envmon_pwr_mgmt_data);
  EXPECT_NE(log.text().find("envmon_pwr_mgmt_init: pwr_mgmt_action_ena set to 1\n"),
            std::string::npos);
}

TEST_F(Init, PlatformBudgetsCardsBetweenLayoutAndFirstPublication) {
  // The platform's card budget start-up sees the card groups laid out.
  pwr_mgmt_standin().card_budgets = [this] {
    ASSERT_EQ(pm().start_index[ENVMON_CARD_CLASS_LC], 0);
    envmon_entity_pbudget_info_t& xc = card_of(ENVMON_CARD_CLASS_XC, 0);
    xc.pbudget = 80;
    xc.status = ENVMON_PWR_PRE_RESERVED;
    pm().total_power_budget += 80;
  };
  start();
  EXPECT_EQ(pm().total_power_budget, 380);
  // Fan-tray allocations go to inventory, each armed for the retries; the
  // service clients hear of nothing yet.
  const auto& ft = pm().fantray_pbudget;
  EXPECT_EQ(pwr_mgmt_calls({"hal_pbudget", "hal_pwr_mgmt_init", "inv_", "ceb_", "notify_"}),
            (std::vector<std::string>{
                "hal_pbudget_data_init",
                "inv_alloc(" + pwr_eid_text(ft[0].container_eid) + ", 50, 4, 0, 0)",
                "inv_alloc(" + pwr_eid_text(ft[1].container_eid) + ", 50, 4, 0, 0)",
                "inv_alloc(" + pwr_eid_text(ft[2].container_eid) + ", 0, 1, 0, 0)",
                "ceb_event(9)",
                "hal_pwr_mgmt_init",
                "inv_curr_notification",
            }));
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(ft[i].reg_state, 0xf0000001u) << i;
}

TEST_F(Init, ActionFollowsTheConfigurationOnlyOnceReceived) {
  struct Case {
    const char* name;
    uint8_t received, pwr_ctrl;
    uint8_t action;
  };
  const Case cases[] = {
      {"not received: act", 0, 0, 1},
      {"received, account only", 1, 0, 0},
      {"received, act", 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    build_records();
    envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = c.received;
    envmon_rm->pwr_cfg.pwr_ctrl = c.pwr_ctrl;
    ASSERT_EQ(envmon_pwr_mgmt_init(), ENVMON_OK);
    EXPECT_EQ(pm().pwr_mgmt_action_ena, c.action);
    TearDown();
    SetUp();
  }
}

TEST_F(Init, NoCurrentNotificationWithoutInventory) {
  build_records();
  envmon_rm->inv_capi_connected = 0;
  envmon_rm->inv_invreg_connected = 0;
  ASSERT_EQ(envmon_pwr_mgmt_init(), ENVMON_OK);
  EXPECT_EQ(pwr_mgmt_calls({"inv_"}), std::vector<std::string>{});
}

TEST_F(Init, PlatformFailureEndsTheProcess) {
  build_records();
  pwr_mgmt_standin().pwr_mgmt_init = 5;
  EXPECT_EXIT(envmon_pwr_mgmt_init(), ::testing::ExitedWithCode(255), "");
}

TEST_F(Init, PhysicalPowerTraysArePlacedFromTheChassisDescription) {
  envcore_standin().max_powertray = 2;
  build_records();
  const std::string xml =
      "<inventory>"
      "<entity tsi=\"5/23/0\" pos_num=\"1\" hw_position=\"30\" instance=\"7\"/>"
      "<entity tsi=\"5/23/1\" pos_num=\"2\" hw_position=\"31\"/>"
      "</inventory>";
  inv_xml_handle_t trays = inv_parser_open_xml_buffer(xml.data(), xml.size(), "trays");
  inv_eid ids[2] = {};
  for (uint16_t i = 0; i < 2; ++i) {
    ids[i].level_count = 1;
    ids[i].levels[0] = {5, 23, i};
  }
  inv_xml_handle_t chassis = envmon_rm->chassis_xml;
  envmon_rm->chassis_xml = trays;
  envmon_rm->pwr_tray_cont_eids = ids;
  envmon_rm->pwr_tray_count = 2;
  envmon_pwr_mgmt_ps_data_init();
  const envmon_pwr_tray_budget& t = pm().envmon_pwr_tray_data[1];
  EXPECT_EQ(t.hw_position, 30);
  EXPECT_EQ(t.inst, 7);
  EXPECT_EQ(t.eid.slot, 30u);
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_ps_data_init(): invalid power tray position 2 \n"));
  envmon_rm->chassis_xml = chassis;
  envmon_rm->pwr_tray_cont_eids = nullptr;
  envmon_rm->pwr_tray_count = 0;
  inv_parser_close_xml_file(trays);
}

using Ready = PwrTest;

TEST_F(Ready, NeedsActiveRoleConfigurationCardInformationAndPemData) {
  start();
  struct Case {
    const char* name;
    uint32_t role;
    uint8_t cfg, cards;
    bool pem;
    bool ready;
    const char* traced;
  };
  const Case cases[] = {
      {"standby", ENVMON_ROLE_STANDBY, 1, 1, true, false, "pwr_mgmt not ready - role 2\n"},
      {"no configuration", ENVMON_ROLE_ACTIVE, 0, 1, true, false,
       "pwr_mgmt not ready - cfg_rcvd 0, card_info_rcvd 1\n"},
      {"no card information", ENVMON_ROLE_ACTIVE, 1, 0, true, false,
       "pwr_mgmt not ready - cfg_rcvd 1, card_info_rcvd 0\n"},
      {"PEM data missing", ENVMON_ROLE_ACTIVE, 1, 1, false, false, nullptr},
      {"ready", ENVMON_ROLE_ACTIVE, 1, 1, true, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear(nullptr);
    envmon_rm->svc_role = c.role;
    envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = c.cfg;
    pm().all_card_info_rcvd = c.cards;
    pwr_mgmt_standin().pwr_mgmt_ready = c.pem;
    EXPECT_EQ(envmon_pwr_mgmt_ready(), c.ready);
    if (c.traced) {
      EXPECT_TRUE(tlg_test_contains(kPwrm, c.traced));
    }
  }
}

TEST_F(Ready, PowerTrayContainersAllAcknowledged) {
  start();
  struct Case {
    const char* name;
    uint16_t trays;
    uint8_t done0, done1;
    bool all;
  };
  const Case cases[] = {
      {"no power trays", 0, 1, 1, false},
      {"both acknowledged", 2, 1, 1, true},
      {"one outstanding", 2, 1, 0, false},
      {"more trays than records", 3, 1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_rm->pwr_tray_count = c.trays;
    pm().envmon_pwr_tray_data[0].container_regi_done = c.done0;
    pm().envmon_pwr_tray_data[1].container_regi_done = c.done1;
    EXPECT_EQ(envmon_all_power_tray_container_regi_done(), c.all);
  }
  envmon_rm->pwr_tray_count = 0;
}

}  // namespace
