// A card's power status and budget after a card-manager state report.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;
using envmon_pm::kErrAlmRepFail;
using envmon_pm::kErrCmNotif;

constexpr int32_t kUp = 3;    // card-manager card states as power management receives them
constexpr int32_t kGone = 0;

class CardState : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    start();
    make_ready();
    envmon_pm::fru_pwr_alloc_published = true;
  }
  void report(uint32_t group, uint32_t pos, int32_t state, int32_t card_class, uint32_t type) {
    envmon_pwr_mgmt_card_state_upd(static_cast<uint8_t>(slot_of(group, pos)), card_class, type,
                                   type == kLcType ? "TV-LC-32T16Q4H" : "", 1, 0, state);
  }
  void lc_up(uint32_t pos) { report(ENVMON_CARD_CLASS_LC, pos, kUp, kClassLc, kLcType); }
};

TEST_F(CardState, LineCardAdmission) {
  // 900 W allocated; a line card coming up from its 30 W standby zone needs
  // 1170 W in all (1220 W extended).
  struct Case {
    const char* name;
    uint8_t cfg;
    uint8_t action;
    bool pem_ready;
    uint32_t capacity;
    bool extended;
    uint32_t role;
    bool sim;
    // Outcome.
    bool shut;
    int32_t status;
    uint16_t allocated;
    uint8_t pending;
  };
  const Case cases[] = {
      {"fits exactly", 1, 1, true, 1170, false, ENVMON_ROLE_ACTIVE, false, false, 1, 300, 0},
      {"one watt short: shut", 1, 1, true, 1169, false, ENVMON_ROLE_ACTIVE, false, true, 8, 30, 0},
      {"extended budget fits", 1, 1, true, 1220, true, ENVMON_ROLE_ACTIVE, false, false, 1, 350, 0},
      {"extended budget one watt short", 1, 1, true, 1219, true, ENVMON_ROLE_ACTIVE, false, true, 8,
       30, 0},
      {"configuration not received: decided later", 0, 1, true, 0, false, ENVMON_ROLE_ACTIVE, false,
       false, 1, 300, 1},
      {"PEM data missing: decided later", 1, 1, false, 0, false, ENVMON_ROLE_ACTIVE, false, false, 1,
       300, 1},
      {"accounting only", 1, 0, true, 0, false, ENVMON_ROLE_ACTIVE, false, false, 1, 300, 0},
      {"standby route processor", 1, 1, true, 0, false, ENVMON_ROLE_STANDBY, false, false, 1, 300,
       0},
      {"no role", 1, 1, true, 0, false, ENVMON_ROLE_NONE, false, false, 1, 300, 0},
      {"simulated platform", 1, 1, true, 0, false, ENVMON_ROLE_ACTIVE, true, false, 1, 300, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = c.cfg;
    pm().pwr_mgmt_action_ena = c.action;
    pwr_mgmt_standin().pwr_mgmt_ready = c.pem_ready;
    pm().total_capacity = c.capacity;
    envmon_rm->pwr_cfg.extended_mode_operation = c.extended ? 1 : 0;
    envmon_rm->svc_role = c.role;
    pwr_mgmt_standin().sim_platform = c.sim;
    lc_up(0);
    const envmon_entity_pbudget_info_t& lc = card(0);
    EXPECT_EQ(lc.status, c.status);
    EXPECT_EQ(lc.pbudget, c.allocated);
    EXPECT_EQ(lc.shut_pending, c.pending);
    EXPECT_EQ(pm().total_power_budget, 870 + c.allocated);
    EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
    if (c.shut) {
      EXPECT_EQ(pwr_mgmt_calls({"shut", "notify_fru"}), std::vector<std::string>{"shut(0, 1)"});
      EXPECT_EQ(pm().lc_powered_on_bitmap, 0u);
      EXPECT_TRUE(err_traced("envmon_pwr_mgmt_card_state_upd : shutdown LC (idx0) because of low "
                             "power budget - total_budget " +
                             std::to_string(870 + (c.extended ? 350 : 300)) +
                             ", total_capacity " + std::to_string(c.capacity) + "\n"));
    } else {
      // Admitted: any low-budget shutdown is withdrawn and the change published.
      EXPECT_EQ(pwr_mgmt_calls({"shut", "notify_fru"}),
                (std::vector<std::string>{"shut(0, 0)", fru(lc, c.allocated, 2)}));
      EXPECT_EQ(pm().lc_powered_on_bitmap, 1u);
      EXPECT_TRUE(tlg_test_contains(
          kPwrm, "envmon_pwr_mgmt_card_state_upd - slot2 (idx0): card status changed from "
                 "STBY_ZONE_RESERVED to ON, total power budget " +
                     std::to_string(870 + c.allocated) + "(W), lc_power_on_bitmap 0x1\n"));
    }
  }
}

TEST_F(CardState, FailedWithdrawalIsCounted) {
  pm().total_capacity = 5000;
  pwr_mgmt_standin().shut_result = 3;
  const uint32_t before = errc(kErrAlmRepFail);
  lc_up(1);
  EXPECT_EQ(card(1).status, ENVMON_PWR_ON);
  EXPECT_EQ(errc(kErrAlmRepFail), before + 1);
}

TEST_F(CardState, LineCardGoingAwayFallsToItsStandbyZone) {
  pm().total_capacity = 5000;
  lc_up(2);
  card(2).in_reload = 1;
  calls().clear();
  report(ENVMON_CARD_CLASS_LC, 2, kGone, kClassLc, kLcType);
  const envmon_entity_pbudget_info_t& lc = card(2);
  EXPECT_EQ(lc.status, ENVMON_PWR_STBY_ZONE_RESERVED);
  EXPECT_EQ(lc.pbudget, 30);
  EXPECT_EQ(lc.in_reload, 0);
  EXPECT_EQ(pm().lc_powered_on_bitmap, 0u);
  EXPECT_EQ(pm().total_power_budget, 900);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "shut"}), std::vector<std::string>{fru(lc, 30, 4)});
  EXPECT_TRUE(tlg_test_contains(kPwrm, "LC card(2) in_reload flag: 0\n"));
}

TEST_F(CardState, ReloadFlagSurvivesAnUpReportOfACardAlreadyOn) {
  pm().total_capacity = 5000;
  lc_up(0);
  card(0).in_reload = 1;
  lc_up(0);
  EXPECT_EQ(card(0).in_reload, 1);
  // The same report on a card not yet on clears it.
  report(ENVMON_CARD_CLASS_LC, 0, 1, kClassLc, kLcType);  // reloading: 1 -> 3
  EXPECT_EQ(card(0).status, ENVMON_PWR_OFF_TEMP_RESERVED);
  lc_up(0);
  EXPECT_EQ(card(0).in_reload, 0);
}

TEST_F(CardState, SameStatusIsSkippedUnlessExtendedModeIsSupported) {
  pm().total_capacity = 5000;
  lc_up(0);
  calls().clear();
  lc_up(0);
  EXPECT_EQ(pwr_mgmt_calls({"notify_", "hal_sys_pwr"}), std::vector<std::string>{});
  EXPECT_TRUE(tlg_test_contains(kPwrm, "Power status for the PID: 'TV-LC-32T16Q4H' is same, so skip update. "
                                       "pre_status=1, pstatus:1 \n\n"));
  // Where extended mode exists the budgets are re-read and the figures refreshed.
  envcore_standin().platform_name = "OBV8K-lab";
  describe(4, kLcType, 13, {320, 30, 350});
  lc_up(0);
  EXPECT_EQ(card(0).pbudget, 320);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru"}), std::vector<std::string>{fru(card(0), 320, 2)});
  EXPECT_EQ(pwr_mgmt_calls({"hal_sys_pwr"}).size(), 1u);
}

TEST_F(CardState, LineCardIndex33UsesBit1) {
  TearDown();
  PwrTest::SetUp();
  envcore_standin().max_lc = 40;
  cards = {34, 0, 0, 0};
  start();
  make_ready();
  pm().total_capacity = 50000;
  lc_up(33);
  EXPECT_EQ(card(33).status, ENVMON_PWR_ON);
  EXPECT_EQ(pm().lc_powered_on_bitmap, 0x2u);
}

TEST_F(CardState, FabricCardIsNeverShutHere) {
  pm().total_capacity = 0;
  envmon_rm->chassis_type = kPlainChassis;
  envmon_pwr_mgmt_change_to_new_pbudget(4, 25);
  card(4).status = ENVMON_PWR_STBY_ZONE_RESERVED;
  report(ENVMON_CARD_CLASS_FC, 0, kUp, kClassFc, kFcType);
  const envmon_entity_pbudget_info_t& fc = card_of(ENVMON_CARD_CLASS_FC, 0);
  EXPECT_EQ(fc.status, ENVMON_PWR_ON);
  EXPECT_EQ(fc.pbudget, 200);
  EXPECT_EQ(pwr_mgmt_calls({"shut"}), std::vector<std::string>{"shut(4, 0)"});
}

TEST_F(CardState, FabricCardOnAPreReserveChassisIsReBudgetedBySlot) {
  envmon_rm->chassis_type = kPreReserveChassis;
  pwr_mgmt_standin().hw_types[3] = {7, 6, static_cast<int32_t>(kFcType), ""};
  struct Case {
    const char* name;
    int32_t state;
    uint8_t action;
    int32_t status;
    uint16_t allocated;
    size_t published;
  };
  // The card starts pre-reserved with 200 W.
  const Case cases[] = {
      {"present while acting: unchanged", kGone, 1, ENVMON_PWR_PRE_RESERVED, 200, 0},
      {"accounting only: standby zone", kGone, 0, ENVMON_PWR_STBY_ZONE_RESERVED, 25, 1},
      {"up", kUp, 0, ENVMON_PWR_ON, 200, 1},
      {"gone while acting: pre-reserved again", kGone, 1, ENVMON_PWR_PRE_RESERVED, 200, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls().clear();
    pm().pwr_mgmt_action_ena = c.action;
    report(ENVMON_CARD_CLASS_FC, 1, c.state, kClassFc, kFcType);
    const envmon_entity_pbudget_info_t& fc = card_of(ENVMON_CARD_CLASS_FC, 1);
    EXPECT_EQ(fc.status, c.status);
    EXPECT_EQ(fc.pbudget, c.allocated);
    EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
    const auto notes = pwr_mgmt_calls({"notify_fru"});
    ASSERT_EQ(notes.size(), c.published);
    if (!notes.empty()) {
      EXPECT_EQ(notes.back(), fru(fc, c.allocated, envmon_convert_to_inv_pwr_stat(c.status)));
    }
    EXPECT_EQ(pwr_mgmt_calls({"shut"}), std::vector<std::string>{});
  }
}

TEST_F(CardState, RouteProcessorStatusAndBudget) {
  describe(3, kRpType, 27, {110, 20, 120});
  envmon_pwr_mgmt_card_state_upd(1, kClassRp, kRpType, "", 1, 0, kUp);
  const envmon_entity_pbudget_info_t& rp = pm().rp_pbudget[1];
  EXPECT_EQ(rp.status, ENVMON_PWR_ON);
  EXPECT_EQ(rp.pbudget, 110);
  EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru"}), std::vector<std::string>{fru(rp, 110, 2)});
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_card_state_upd - slot1 (idx1) RP status changed from PRE_RESERVED to ON\n"));
}

TEST_F(CardState, UnknownSlotsAreCountedAndChangeNothing) {
  const int32_t total = pm().total_power_budget;
  const uint32_t before = errc(kErrCmNotif);
  envmon_pwr_mgmt_card_state_upd(9, kClassRp, kRpType, "", 1, 0, kUp);
  envmon_pwr_mgmt_card_state_upd(40, kClassLc, kLcType, "", 1, 0, kUp);
  EXPECT_EQ(errc(kErrCmNotif), before + 2);
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_card_state_upd: invalid slot 9 for RP/SC (CM card type "
                         "0x1, PD card type 0x5216) from CM msg\n"));
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_card_state_upd: invalid slot 40 for card type(0, 0x69b4) "
                         "from CM msg\n"));
  EXPECT_EQ(pm().total_power_budget, total);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru"}), std::vector<std::string>{});
}

TEST_F(CardState, EndOfMessageChecksAlarmsWhenReady) {
  envmon_pwr_mgmt_set_card_state_upd_done();
  EXPECT_EQ(pwr_mgmt_calls({"hal_ps_alarms"}), std::vector<std::string>{"hal_ps_alarms(1)"});
  calls().clear();
  pwr_mgmt_standin().pwr_mgmt_ready = false;
  envmon_pwr_mgmt_set_card_state_upd_done();
  EXPECT_EQ(calls(), std::vector<std::string>{});
}

}  // namespace
