// Budget recomputation: moving an allocation, re-reading a card's budgets,
// the budgets of route processors, fabric and cross-connect cards and fan
// trays found by slot, and the extended-temperature mode switch.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;
using envmon_pm::kCntCardFirst;
using envmon_pm::kCntTotalPreq;

class Recompute : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    start();
    make_ready();
  }
  // The total is the sum of the allocations, and "TotalPreq" counts the same.
  void expect_consistent() {
    EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
    EXPECT_EQ(static_cast<int32_t>(oper(kCntTotalPreq)), pm().total_power_budget);
  }
};

TEST_F(Recompute, MovingAnAllocationKeepsTotalAndCountersInStep) {
  envmon_pwr_mgmt_change_to_new_pbudget(1, 300);
  envmon_pwr_mgmt_change_to_new_pbudget(1, 250);
  EXPECT_EQ(card(1).pbudget, 250);
  EXPECT_EQ(pm().total_power_budget, 1120);
  EXPECT_EQ(oper(kCntCardFirst + 1), 250u);
  expect_consistent();
  // Nothing is published for it.
  EXPECT_EQ(pwr_mgmt_calls({"notify_"}), std::vector<std::string>{});
}

TEST_F(Recompute, ReReadingACardsBudgets) {
  struct Case {
    const char* name;
    int32_t status;
    uint16_t pbudget;
    Budget described;
    bool extended;
    uint16_t allocated;
    bool published;
  };
  const Case cases[] = {
      {"same figures: nothing to tell", ENVMON_PWR_OFF_REQUESTED, 300, {300, 30, 350}, false, 300,
       false},
      {"holding card takes the new maximum", ENVMON_PWR_OFF_REQUESTED, 300, {320, 30, 350}, false,
       320, true},
      {"holding card takes the extended budget in extended mode", ENVMON_PWR_ON, 300,
       {300, 30, 360}, true, 360, true},
      {"holding card keeps its allocation when only the standby zone moves",
       ENVMON_PWR_ON, 300, {300, 40, 350}, false, 300, false},
      {"card off keeps its allocation when only the maximum moves", ENVMON_PWR_OFF, 30,
       {320, 30, 350}, false, 30, false},
      {"card off takes the new standby zone", ENVMON_PWR_OFF, 30, {320, 35, 350}, false, 35, true},
  };
  const uint8_t idx = pm().start_index[ENVMON_CARD_CLASS_LC];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    describe(4, kLcType, 13, {300, 30, 350});
    envmon_pwr_mgmt_update_max_pbudget(idx, kLcType, "", 1, 0, false);
    envmon_pwr_mgmt_change_to_new_pbudget(idx, c.pbudget);
    card(idx).status = c.status;
    envmon_rm->pwr_cfg.extended_mode_operation = c.extended ? 1 : 0;
    describe(4, kLcType, 13, c.described);
    calls().clear();
    tlg_test_clear(nullptr);
    envmon_pwr_mgmt_update_max_pbudget(idx, kLcType, "", 1, 0, true);
    const envmon_entity_pbudget_info_t& lc = card(idx);
    EXPECT_EQ(lc.max_budget, c.described.max);
    EXPECT_EQ(lc.stby_zn_budget, c.described.stby);
    EXPECT_EQ(lc.ext_budget, c.described.ext);
    EXPECT_EQ(lc.pbudget, c.allocated);
    EXPECT_EQ(lc.status, c.status);
    expect_consistent();
    if (c.published) {
      EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms"}),
                (std::vector<std::string>{
                    fru(lc, c.allocated, envmon_convert_to_inv_pwr_stat(c.status)),
                    "hal_ps_alarms(0)"}));
      EXPECT_TRUE(tlg_test_contains(
          kPwrm, "envmon_pwr_mgmt_update_max_pbudget - card (idx0, type 0x69b4) power budget "
                 "changed from " +
                     std::to_string(c.pbudget) + " to " + std::to_string(c.allocated) + "\n"));
    } else {
      EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms"}), std::vector<std::string>{});
    }
  }
  // A card on its full budget re-read with the same figures.
  envmon_rm->pwr_cfg.extended_mode_operation = 0;
  describe(4, kLcType, 13, {300, 30, 350});
  envmon_pwr_mgmt_update_max_pbudget(idx, kLcType, "", 1, 0, false);
  envmon_pwr_mgmt_change_to_new_pbudget(idx, 300);
  card(idx).status = ENVMON_PWR_ON;
  tlg_test_clear(nullptr);
  envmon_pwr_mgmt_update_max_pbudget(idx, kLcType, "", 1, 0, false);
  EXPECT_TRUE(info_traced("envmon_pwr_mgmt_update_max_pbudget no change in  previous and current "
                          "power budget, so return without notifying \n"));
}

TEST_F(Recompute, ReReadingFailsWithoutChange) {
  const uint8_t idx = 1;
  card(idx).max_budget = 77;
  envmon_pwr_mgmt_update_max_pbudget(idx, 12345, "", 1, 0, true);
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_update_max_pbudget - passed invalid card type 0x3039 \n"));
  envmon_pwr_mgmt_update_max_pbudget(idx, 27001, "", 1, 0, true);  // no description written
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_update_max_pbudget envmon_get_power_budget failed \n"));
  EXPECT_EQ(card(idx).max_budget, 77);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru"}), std::vector<std::string>{});
}

TEST_F(Recompute, CardBudgetByTypeAndSlot) {
  enum Where { kRp, kFc, kXc, kFt };
  struct Case {
    const char* name;
    int32_t slot;
    uint32_t type;
    int32_t state;
    uint8_t action;
    Where where;
    uint32_t pos;
    uint16_t allocated;
  };
  const Case cases[] = {
      {"route processor", 1, kRpType, 1, 1, kRp, 1, 110},
      {"fabric card, acting", 11, kFcType, 2, 1, kFc, 1, 210},
      {"fabric card off, accounting only: standby zone", 11, kFcType, 2, 0, kFc, 1, 26},
      {"fabric card present, accounting only: full budget", 10, kFcType, 1, 0, kFc, 0, 210},
      {"cross-connect card", 16, kXcType, 1, 1, kXc, 0, 85},
      {"fan tray", 21, kFtType, 1, 1, kFt, 1, 55},
  };
  auto record = [this](Where w, uint32_t pos) -> envmon_entity_pbudget_info_t& {
    switch (w) {
      case kRp: return pm().rp_pbudget[pos];
      case kFc: return card_of(ENVMON_CARD_CLASS_FC, pos);
      case kXc: return card_of(ENVMON_CARD_CLASS_XC, pos);
      default: return pm().fantray_pbudget[pos];
    }
  };
  describe(3, kRpType, 27, {110, 20, 120});
  describe(6, kFcType, 7, {210, 26, 220});
  describe(16, kXcType, 60, {85, 10, 90});
  describe(7, kFtType, 6, {55, 50, 60});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pm().pwr_mgmt_action_ena = c.action;
    calls().clear();
    envmon_update_card_budget(c.slot, static_cast<int32_t>(c.type), "", 1, 0, true, c.state);
    EXPECT_EQ(record(c.where, c.pos).pbudget, c.allocated);
    expect_consistent();
    // The caller publishes; the alarm check runs on a change.
    EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms"}),
              std::vector<std::string>{"hal_ps_alarms(0)"});
  }
}

TEST_F(Recompute, CardBudgetWithoutHardwareAsksThePlatform) {
  pwr_mgmt_standin().hw_types[3] = {7, 6, 27004, ""};
  describe(6, 27004, 7, {230, 27, 240});
  envmon_update_card_budget(10, static_cast<int32_t>(kFcType), "", 1, 0, false, 0);
  EXPECT_EQ(pwr_mgmt_calls({"hal_get_hw_type"}), std::vector<std::string>{"hal_get_hw_type(3)"});
  EXPECT_EQ(card_of(ENVMON_CARD_CLASS_FC, 0).max_budget, 230);
  EXPECT_EQ(card_of(ENVMON_CARD_CLASS_FC, 0).pbudget, 230);
  // A type the platform cannot name: nothing stored.
  pwr_mgmt_standin().hw_types.erase(3);
  envmon_update_card_budget(11, static_cast<int32_t>(kFcType), "", 1, 0, false, 0);
  EXPECT_TRUE(tlg_test_contains(kPwrm, "envmon_update_card_budget: invalid power budget entity type 3 \n"));
  EXPECT_EQ(card_of(ENVMON_CARD_CLASS_FC, 1).max_budget, 200);  // as the start-up left it
}

TEST_F(Recompute, CardBudgetRefusals) {
  const int32_t total = pm().total_power_budget;
  struct Case {
    const char* name;
    int32_t slot;
    uint32_t type;
    int32_t state;
    const char* traced;
  };
  const Case cases[] = {
      {"line card", 2, kLcType, 1, "LC type 69b4 not supported\n"},
      {"fabric card in no fabric slot", 2, kFcType, 1,
       "envmon_update_card_budget - passed invalid card type 0x697b \n"},
      {"route processor in no route-processor slot", 9, kRpType, 1,
       "envmon_update_card_budget - passed invalid card type 0x5216 \n"},
      {"unknown type", 10, 99, 1, "envmon_update_card_budget - passed invalid card type 0x63 \n"},
      // Its budget is read from the hardware the platform names for this card.
      {"system controller: looked up, never stored", 12, kScType, 0,
       "Card 2033671 not supported with card_idx 255\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_update_card_budget(c.slot, static_cast<int32_t>(c.type), "", 1, 0, true, c.state);
    EXPECT_TRUE(tlg_test_contains(kPwrm, c.traced));
  }
  EXPECT_EQ(pm().total_power_budget, total);
}

TEST_F(Recompute, ExtendedModeSwitch) {
  // Line card 0 at its maximum, line card 1 on its standby zone, fabric card 0
  // at its maximum.
  for (uint32_t i = 0; i < 2; ++i) {
    card_of(ENVMON_CARD_CLASS_LC, i).max_budget = 300;
    card_of(ENVMON_CARD_CLASS_LC, i).stby_zn_budget = 30;
    card_of(ENVMON_CARD_CLASS_LC, i).ext_budget = 350;
  }
  envmon_pwr_mgmt_change_to_new_pbudget(0, 300);
  envmon_pwr_mgmt_change_to_new_pbudget(1, 30);
  envmon_entity_pbudget_info_t& fc = card_of(ENVMON_CARD_CLASS_FC, 0);
  fc.max_budget = 200;
  fc.ext_budget = 220;
  envmon_pwr_mgmt_change_to_new_pbudget(static_cast<uint8_t>(pm().start_index[ENVMON_CARD_CLASS_FC]),
                                        200);
  calls().clear();
  envmon_rm->pwr_cfg.extended_mode_operation = 1;
  envmon_pwr_mgmt_update_pbudget_data();
  EXPECT_EQ(card(0).pbudget, 350);
  EXPECT_EQ(card(1).pbudget, 30);
  EXPECT_EQ(fc.pbudget, 220);
  EXPECT_EQ(pm().rp_pbudget[0].pbudget, 120);
  EXPECT_EQ(pm().fantray_pbudget[0].pbudget, 60);
  EXPECT_EQ(pm().fantray_pbudget[2].pbudget, 0);  // not a primary tray
  expect_consistent();
  EXPECT_EQ(oper(kCntCardFirst + 0), 350u);
  // Fan trays to inventory, then route processors and cards to the clients.
  const auto published = pwr_mgmt_calls({"inv_alloc", "notify_fru"});
  ASSERT_EQ(published.size(), 3u + 2u + envmon_pm::card_records());
  EXPECT_EQ(published[0].rfind("inv_alloc(", 0), 0u);
  EXPECT_EQ(published[3], fru(pm().rp_pbudget[0], 120, 4));
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_update_pbudget_data: power budget for RP, FT, LC, and FC 1320 (W)\n"));

  // Line and fabric cards stay where they are when the switch comes again.
  envmon_pwr_mgmt_update_pbudget_data();
  EXPECT_EQ(card(0).pbudget, 350);
  EXPECT_EQ(card(1).pbudget, 30);
  EXPECT_EQ(fc.pbudget, 220);
  expect_consistent();

  envmon_rm->pwr_cfg.extended_mode_operation = 0;
  envmon_pwr_mgmt_update_pbudget_data();
  EXPECT_EQ(card(0).pbudget, 300);
  EXPECT_EQ(fc.pbudget, 200);
  expect_consistent();
}

}  // namespace
