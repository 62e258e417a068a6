// Publication of the system power figures and allocations, FRU currents, the
// configuration arriving, and the deferred low-budget shutdowns.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;
using envmon_pm::kCntTotalPreq;
using envmon_pm::kCntCardFirst;

class Publish : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    envmon_sys_pwr_data& d = pwr_mgmt_standin().sys_pwr;
    d.usable_pwr = 5000;
    d.prot_pwr = 1000;
    d.total_available_current = 70;
    d.total_drawn_current = 20;
  }
  std::vector<std::string> sys_notes() { return pwr_mgmt_calls({"notify_sys"}); }
};

TEST_F(Publish, SystemFiguresAreSentOnceUnlessForced) {
  start();
  make_ready();
  pm().red_mode = 1;
  pm().act_red_mode = 2;
  const std::string sent = "notify_sys(5000, 1000, 900, 1, 2, 70, 20)";
  envmon_chk_n_upd_system_pwr_data(false);
  envmon_chk_n_upd_system_pwr_data(false);
  EXPECT_EQ(sys_notes(), std::vector<std::string>{sent});
  envmon_chk_n_upd_system_pwr_data(true);
  envmon_chk_n_upd_system_pwr_data(true);
  EXPECT_EQ(sys_notes(), (std::vector<std::string>{sent, sent, sent}));
  // The record keeps what was sent last.
  EXPECT_EQ(pm().usable_pwr, 5000);
  EXPECT_EQ(pm().resrv_n_alloc_pwr, 900);
  EXPECT_EQ(pm().total_drawn_current, 20);
  // A change of one figure is sent without force.
  pm().total_power_budget += 10;
  envmon_chk_n_upd_system_pwr_data(false);
  EXPECT_EQ(sys_notes().back(), "notify_sys(5000, 1000, 910, 1, 2, 70, 20)");
}

TEST_F(Publish, SystemFiguresWaitForTheirPreconditions) {
  start();
  struct Case {
    const char* name;
    uint8_t cfg, action, cards;
    bool pem_ready, filled;
    bool sent;
  };
  const Case cases[] = {
      {"everything in place", 1, 1, 1, true, true, true},
      {"configuration not received", 0, 1, 1, true, true, false},
      {"acting and not ready", 1, 1, 1, false, true, false},
      {"accounting only, not ready", 1, 0, 1, false, true, true},
      {"card information missing", 1, 0, 0, true, true, false},
      {"the platform has nothing", 1, 1, 1, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls().clear();
    envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = c.cfg;
    pm().pwr_mgmt_action_ena = c.action;
    pm().all_card_info_rcvd = c.cards;
    pwr_mgmt_standin().pwr_mgmt_ready = c.pem_ready;
    pwr_mgmt_standin().sys_pwr_filled = c.filled;
    envmon_chk_n_upd_system_pwr_data(true);
    EXPECT_EQ(sys_notes().size(), c.sent ? 1u : 0u);
  }
}

TEST_F(Publish, AllocationsGoToClientsRouteProcessorsFirst) {
  cards = {2, 1, 0, 0};
  envcore_standin().max_lc = 2;
  envcore_standin().max_fc = 1;
  envcore_standin().max_xc = 0;
  start();
  card(0).pbudget = 300;
  card(0).status = ENVMON_PWR_ON;
  card(0).current = 12;
  calls().clear();
  envmon_fru_power_alloc_update_all(false);
  const auto& rp = pm().rp_pbudget;
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_alloc_all"}),
            (std::vector<std::string>{fru(rp[0], 100, 4), fru(rp[1], 100, 4), fru(card(0), 300, 2, 12),
                                      fru(card(1), 30, 4), fru(card(2), 200, 4), "hal_alloc_all"}));
}

TEST_F(Publish, AllocationsNeedABudgetAndTheActiveRole) {
  start();
  struct Case {
    const char* name;
    uint32_t role;
    int32_t total;
    bool sent;
  };
  const Case cases[] = {
      {"active with a budget", ENVMON_ROLE_ACTIVE, 300, true},
      {"standby", ENVMON_ROLE_STANDBY, 300, false},
      {"no budget", ENVMON_ROLE_ACTIVE, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls().clear();
    envmon_rm->svc_role = c.role;
    pm().total_power_budget = c.total;
    envmon_fru_power_alloc_update_all(false);
    envmon_fru_power_alloc_update_all(true);
    EXPECT_EQ(pwr_mgmt_calls({"notify_fru"}).empty(), !c.sent);
    EXPECT_EQ(pwr_mgmt_calls({"inv_alloc"}).empty(), !c.sent);
  }
}

TEST_F(Publish, FanTrayAllocationsWaitForTheInventoryClient) {
  start();
  for (uint32_t i = 0; i < 3; ++i) pm().fantray_pbudget[i].reg_state = 0x2;  // acknowledged
  calls().clear();
  envmon_rm->inv_invreg_connected = 0;
  envmon_fru_power_alloc_update_all(true);
  EXPECT_EQ(calls(), std::vector<std::string>{});
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(pm().fantray_pbudget[i].reg_state, 0x2u);
  envmon_rm->inv_invreg_connected = 1;
  pm().fantray_pbudget[1].reg_state = 0x08000042;  // other bits are kept
  envmon_fru_power_alloc_update_all(true);
  EXPECT_EQ(pwr_mgmt_calls({"inv_alloc"}).size(), 3u);
  EXPECT_EQ(pwr_mgmt_calls({"ceb_event"}), std::vector<std::string>{"ceb_event(9)"});
  EXPECT_EQ(pm().fantray_pbudget[0].reg_state, 0xf0000001u);
  EXPECT_EQ(pm().fantray_pbudget[1].reg_state, 0xf8000041u);
}

TEST_F(Publish, FruCurrentGoesWhereTheSlotIs) {
  start();
  const auto& rp = pm().rp_pbudget;
  const auto& ft = pm().fantray_pbudget;
  struct Case {
    const char* name;
    int32_t slot, current;
    std::vector<std::string> sent;
    const char* traced;
  };
  const Case cases[] = {
      {"route processor", 1, 5, {fru(rp[1], 100, 4, 5)}, "fru_current set for RP slot 1, curr_val 5\n"},
      {"same value again", 1, 5, {}, nullptr},
      {"line card", 3, 7, {fru(card(1), 30, 4, 7)}, "fru_current set for card slot 3, curr_val 7\n"},
      {"fan tray", 21, 9, {"inv_alloc(" + pwr_eid_text(ft[1].container_eid) + ", 50, 4, 9, 0)"},
       "fru_current set for FT[1] slot 21, curr_val 9\n"},
      {"fan tray, same value", 21, 9, {}, nullptr},
      {"nothing in that slot", 40, 9, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls().clear();
    tlg_test_clear(nullptr);
    envmon_set_fru_current(c.slot, c.current);
    EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "inv_alloc"}), c.sent);
    EXPECT_TRUE(info_traced("setting fru_current for slot " + std::to_string(c.slot) +
                            ", curr_val " + std::to_string(c.current) + "\n"));
    if (c.traced) {
      EXPECT_TRUE(info_traced(c.traced));
    }
  }
  EXPECT_EQ(pm().rp_pbudget[1].current, 5);
  EXPECT_EQ(card(1).current, 7);
  EXPECT_EQ(pm().fantray_pbudget[1].current, 9);
}

TEST_F(Publish, ConfigurationReceivedOnceThenOnlyTheAlarmCheck) {
  start();
  pm().all_card_info_rcvd = 1;
  calls().clear();
  envmon_set_pwr_mgmt_cfg_rcvd();
  EXPECT_EQ(envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd, 1);
  EXPECT_TRUE(tlg_test_contains(kPwrm, "configuration rcvd\n"));
  EXPECT_TRUE(tlg_test_contains(kPwrm, "envmon_pwr_mgmt_check_card_shut_pending - done\n"));
  EXPECT_EQ(pwr_mgmt_calls({"hal_ps_alarms", "notify_sys"}),
            (std::vector<std::string>{"notify_sys(5000, 1000, 900, 0, 0, 70, 20)", "hal_ps_alarms(1)",
                                      "notify_sys(5000, 1000, 900, 0, 0, 70, 20)"}));
  tlg_test_clear(nullptr);
  calls().clear();
  envmon_set_pwr_mgmt_cfg_rcvd();
  EXPECT_FALSE(tlg_test_contains(kPwrm, "configuration rcvd\n"));
  EXPECT_FALSE(tlg_test_contains(kPwrm, "done\n"));
  EXPECT_EQ(pwr_mgmt_calls({"hal_ps_alarms", "notify_sys"}),
            (std::vector<std::string>{"hal_ps_alarms(1)", "notify_sys(5000, 1000, 900, 0, 0, 70, 20)"}));
}

TEST_F(Publish, ChassisAlarmCheckOnlyOnceConfigured) {
  start();
  envmon_check_chassis_ps_alm(false);
  EXPECT_EQ(pwr_mgmt_calls({"hal_ps_alarms"}), std::vector<std::string>{});
  envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = 1;
  envmon_check_chassis_ps_alm(false);
  EXPECT_EQ(pwr_mgmt_calls({"hal_ps_alarms"}), std::vector<std::string>{"hal_ps_alarms(0)"});
}

class ShutPending : public Publish {
 protected:
  // Four line cards ON at 300 W each (standby zone 30 W), all pending.
  void SetUp() override {
    Publish::SetUp();
    start();
    make_ready();
    for (uint32_t i = 0; i < 4; ++i) {
      envmon_entity_pbudget_info_t& c = card_of(ENVMON_CARD_CLASS_LC, i);
      c.max_budget = 300;
      c.stby_zn_budget = 30;
      envmon_pwr_mgmt_change_to_new_pbudget(static_cast<uint8_t>(i), 300);
      c.status = ENVMON_PWR_ON;
      c.shut_pending = 1;
      pm().lc_powered_on_bitmap |= 1u << i;
    }
    calls().clear();
    tlg_test_clear(nullptr);
  }
};

TEST_F(ShutPending, ShutsOnlyWhileTheBudgetExceedsTheCapacity) {
  // 900 W at start-up with the line cards moved from 30 W to 300 W: 1980 W
  // against 1900 W.
  pm().total_capacity = 1900;
  card_of(ENVMON_CARD_CLASS_LC, 3).status = ENVMON_PWR_STBY_ZONE_RESERVED;
  const uint32_t preq = oper(kCntTotalPreq);
  envmon_pwr_mgmt_check_card_shut_pending();
  // The first card brings the total to 1710 W: the others are spared.
  EXPECT_EQ(pwr_mgmt_calls({"shut"}), std::vector<std::string>{"shut(0, 1)"});
  const envmon_entity_pbudget_info_t& first = card(0);
  EXPECT_EQ(first.status, ENVMON_PWR_OFF);
  EXPECT_EQ(first.pbudget, 30);
  EXPECT_EQ(pm().total_power_budget, 1710);
  EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
  EXPECT_EQ(oper(kCntTotalPreq), preq - 270);
  EXPECT_EQ(oper(kCntCardFirst + 0), 30u);
  EXPECT_EQ(pm().lc_powered_on_bitmap, 0xeu);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru"}), std::vector<std::string>{fru(first, 30, 3)});
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_check_card_shut_pending - card(idx0): status changed from ON to OFF, "
             "card power budget changed from 300 to 30, total power budget from 1980 to 1710(W) \n"));
  EXPECT_TRUE(tlg_test_contains(kPwrm, "envmon_pwr_mgmt_check_card_shut_pending - done\n"));
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(card_of(ENVMON_CARD_CLASS_LC, i).shut_pending, 0) << i;
}

TEST_F(ShutPending, CardsWithoutBudgetAreNotShut) {
  pm().total_capacity = 100;
  for (uint32_t i = 0; i < 4; ++i) {
    envmon_pwr_mgmt_change_to_new_pbudget(static_cast<uint8_t>(i), 30);
    card(i).status = ENVMON_PWR_STBY_ZONE_RESERVED;
  }
  envmon_pwr_mgmt_check_card_shut_pending();
  EXPECT_EQ(pwr_mgmt_calls({"shut"}), std::vector<std::string>{});
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(card(i).shut_pending, 0) << i;
}

TEST_F(ShutPending, WalkConditions) {
  struct Case {
    const char* name;
    bool sim;
    uint8_t cfg;
    uint8_t action;
    bool ready;
    int lc_remote;
    uint32_t chassis;
    bool flags_cleared;
    bool shut;
  };
  const Case cases[] = {
      {"acting and ready", false, 1, 1, true, 0, kPlainChassis, true, true},
      {"simulated platform", true, 1, 1, true, 0, kPlainChassis, false, false},
      {"configuration not received", false, 0, 1, true, 0, kPlainChassis, false, false},
      {"acting, not ready", false, 1, 1, false, 0, kPlainChassis, false, false},
      {"accounting only: flags consumed, nothing shut", false, 1, 0, false, 0, kPlainChassis, true,
       false},
      {"line cards managed remotely", false, 1, 1, true, 1, kPlainChassis, false, false},
      {"excluded chassis 592354", false, 1, 1, true, 0, 592354, false, false},
      {"excluded chassis 592286", false, 1, 1, true, 0, 592286, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls().clear();
    pm().total_capacity = 0;
    for (uint32_t i = 0; i < 4; ++i) card(i).shut_pending = 1;
    pwr_mgmt_standin().sim_platform = c.sim;
    envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = c.cfg;
    pm().pwr_mgmt_action_ena = c.action;
    pwr_mgmt_standin().pwr_mgmt_ready = c.ready;
    envcore_standin().lc_remote = c.lc_remote;
    envmon_rm->chassis_type = c.chassis;
    envmon_pwr_mgmt_check_card_shut_pending();
    EXPECT_EQ(card(3).shut_pending, c.flags_cleared ? 0 : 1);
    EXPECT_EQ(!pwr_mgmt_calls({"shut"}).empty(), c.shut);
    // Put the shut cards back on.
    for (uint32_t i = 0; i < 4; ++i) {
      envmon_pwr_mgmt_change_to_new_pbudget(static_cast<uint8_t>(i), 300);
      card(i).status = ENVMON_PWR_ON;
    }
  }
}

}  // namespace
