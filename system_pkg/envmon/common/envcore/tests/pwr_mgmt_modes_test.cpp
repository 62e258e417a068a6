// Action mode with the fabric cards budgeted up front, and the progressive-mode
// entry point.
#include "pwr_mgmt_fixture.h"

// This program's platform provides the progressive-mode hook.
extern "C" void envmon_hal_pwr_mgmt_set_progressive_mode(uint8_t mode) {
  pwr_mgmt_standin().calls.push_back("hal_progressive(" + std::to_string(mode) + ")");
}

namespace {

using namespace pwrtest;

class Modes : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    chassis_type = kPreReserveChassis;
    start();
    make_ready();
    envmon_pm::fru_pwr_alloc_published = true;
    for (uint32_t i = 0; i < 2; ++i) {
      envmon_entity_pbudget_info_t& fc = card_of(ENVMON_CARD_CLASS_FC, i);
      fc.max_budget = 200;
      fc.stby_zn_budget = 25;
      fc.ext_budget = 220;
    }
  }
  uint8_t fc_index(uint32_t pos) {
    return static_cast<uint8_t>(pm().start_index[ENVMON_CARD_CLASS_FC] + pos);
  }
};

TEST_F(Modes, FabricCardsFollowTheActionMode) {
  struct Case {
    const char* name;
    int32_t status;
    uint16_t budget;
    uint8_t action;
    bool extended;
    int32_t after;
    uint16_t allocated;
  };
  const Case cases[] = {
      {"temp-reserved, acting", 2, 200, 1, false, 4, 200},
      {"temp-reserved, accounting", 2, 200, 0, false, 8, 25},
      {"pre-reserved, accounting", 4, 200, 0, false, 8, 25},
      {"standby zone, acting", 8, 25, 1, false, 4, 200},
      {"standby zone, acting, extended", 8, 25, 1, true, 4, 220},
      {"off-temp-reserved, acting: keeps its budget", 3, 200, 1, false, 6, 200},
      {"off-temp-reserved, accounting", 3, 200, 0, false, 5, 25},
      {"off, acting", 5, 25, 1, false, 6, 200},
      {"off, acting, extended", 5, 25, 1, true, 6, 220},
      {"off-reserved, accounting", 6, 200, 0, false, 5, 25},
      {"on, accounting: unchanged", 1, 200, 0, false, 1, 200},
      {"requested, accounting: unchanged", 7, 200, 0, false, 7, 200},
      {"going down, accounting: unchanged", 9, 200, 0, false, 9, 200},
      {"on going down, acting: unchanged", 10, 200, 1, false, 10, 200},
      {"invalid, acting: unchanged", 0, 0, 1, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_entity_pbudget_info_t& fc = card_of(ENVMON_CARD_CLASS_FC, 0);
    envmon_pwr_mgmt_change_to_new_pbudget(fc_index(0), c.budget);
    fc.status = c.status;
    card_of(ENVMON_CARD_CLASS_FC, 1).status = ENVMON_PWR_ON;
    envmon_rm->pwr_cfg.extended_mode_operation = c.extended ? 1 : 0;
    pm().pwr_mgmt_action_ena = c.action ? 0 : 1;
    calls().clear();
    tlg_test_clear(nullptr);
    envmon_pwr_mgmt_set_action_mode(c.action);
    EXPECT_EQ(pm().pwr_mgmt_action_ena, c.action);
    EXPECT_EQ(fc.status, c.after);
    EXPECT_EQ(fc.pbudget, c.allocated);
    EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
    if (c.after != c.status) {
      EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms"}),
                (std::vector<std::string>{
                    fru(fc, c.allocated, envmon_convert_to_inv_pwr_stat(c.after)),
                    "hal_ps_alarms(1)"}));
      EXPECT_TRUE(tlg_test_contains(
          kPwrm, std::string("envmon_pwr_mgmt_lcc_fc_pwr_budget_ch - FC (idx4) status changed from ") +
                     envmon_pwr_status_str(c.status) + " to " + envmon_pwr_status_str(c.after) +
                     ", total power budget " + std::to_string(pm().total_power_budget) + "(W)\n"));
    } else {
      EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms"}), std::vector<std::string>{});
    }
  }
}

TEST_F(Modes, EveryChangedFabricCardIsPublishedAndChecked) {
  for (uint32_t i = 0; i < 2; ++i) card_of(ENVMON_CARD_CLASS_FC, i).status = ENVMON_PWR_PRE_RESERVED;
  envmon_pwr_mgmt_change_to_new_pbudget(fc_index(0), 200);
  envmon_pwr_mgmt_change_to_new_pbudget(fc_index(1), 200);
  envmon_pwr_mgmt_set_action_mode(0);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms"}).size(), 4u);
  // Setting the same mode again finds nothing to change.
  calls().clear();
  envmon_pwr_mgmt_set_action_mode(0);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms"}), std::vector<std::string>{});
  EXPECT_EQ(pm().total_power_budget, 550);
}

TEST_F(Modes, OtherChassisOnlyStoreTheFlag) {
  envmon_rm->chassis_type = kPlainChassis;
  card_of(ENVMON_CARD_CLASS_FC, 0).status = ENVMON_PWR_PRE_RESERVED;
  DebugStream log(&env_dump_fd);
  envmon_pwr_mgmt_set_action_mode(0);
  EXPECT_EQ(pm().pwr_mgmt_action_ena, 0);
  EXPECT_EQ(card_of(ENVMON_CARD_CLASS_FC, 0).status, ENVMON_PWR_PRE_RESERVED);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru"}), std::vector<std::string>{});
  EXPECT_TRUE(tlg_test_contains(kPwrm, "envmon_pwr_mgmt_set_action_mode: action_ena 0\n"));
  EXPECT_NE(log.text().find("envmon_pwr_mgmt_set_action_mode: pwr_mgmt_action_ena set to 0\n"),
            std::string::npos);
}

TEST_F(Modes, NoFabricCards) {
  TearDown();
  PwrTest::SetUp();
  chassis_type = kPreReserveChassis;
  cards = {4, 0, 0, 1};
  start();
  const int32_t total = pm().total_power_budget;
  envmon_pwr_mgmt_set_action_mode(0);
  envmon_pwr_mgmt_set_action_mode(1);
  EXPECT_EQ(pm().total_power_budget, total);
  EXPECT_EQ(pwr_mgmt_calls({"notify_fru"}), std::vector<std::string>{});
}

TEST_F(Modes, ProgressiveModeGoesToThePlatform) {
  envmon_pwr_mgmt_set_progressive_mode(1);
  EXPECT_EQ(pwr_mgmt_calls({"hal_progressive"}), std::vector<std::string>{"hal_progressive(1)"});
}

}  // namespace
