// The power-management record, the power-status names and their inventory
// form, and the small accessors.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;

using Records = PwrTest;

TEST_F(Records, PowerTrayTablesFollowThePlatformLimits) {
  struct Case {
    const char* name;
    uint32_t physical, virtual_trays;
    bool table;
    bool idprom;
  };
  const Case cases[] = {
      {"physical trays get their IDPROM buffers", 2, 4, true, true},
      {"virtual trays have none", 0, 2, true, false},
      {"no trays at all", 0, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EnvcoreStandin& s = envcore_standin();
    s.max_powertray = c.physical;
    s.max_virtual_powertray = c.virtual_trays;
    tlg_test_clear(nullptr);
    DebugStream log(&env_dump_fd);
    build_records();
    envmon_pwr_mgmt_data_t& p = pm();
    ASSERT_EQ(p.envmon_pwr_tray_data != nullptr, c.table);
    const uint32_t trays = c.physical ? c.physical : c.virtual_trays;
    for (uint32_t i = 0; c.table && i < trays; ++i) {
      EXPECT_EQ(p.envmon_pwr_tray_data[i].idprom != nullptr, c.idprom) << "tray " << i;
      // Every byte of a buffer is usable.
      if (c.idprom) p.envmon_pwr_tray_data[i].idprom[s.max_idprom_size - 1] = 0xa5;
    }
    const bool traced = err_traced("envmon_init_pwr_mgmt_data(): no power trays, also 0 virtual "
                                   "power trays \n");
    EXPECT_EQ(traced, !c.table);
    const std::string text = log.text();
    EXPECT_NE(text.find("envmon_init_pwr_mgmt_data: memory allocated for envmon_pwr_mgmt_data\n"),
              std::string::npos);
    EXPECT_EQ(text.find("envmon_init_pwr_mgmt_data: no power trays, also 0 virtual power trays\n") !=
                  std::string::npos,
              !c.table);
    // The budget tables hold one record per route processor, fan tray and card.
    p.rp_pbudget[s.max_rp - 1].pbudget = 1;
    p.fantray_pbudget[s.max_fantray - 1].pbudget = 1;
    p.pbudget_list[envmon_pm::card_records() - 1].pbudget = 1;
    TearDown();
    SetUp();
  }
}

TEST_F(Records, EveryAllocationFailureEndsTheProcess) {
  // Allocations in order: record, route processors, fan trays, cards, trays,
  // then one IDPROM buffer per physical tray.
  envcore_standin().max_powertray = 2;
  ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
  for (int nth = 0; nth < 7; ++nth) {
    SCOPED_TRACE(nth);
    EXPECT_EXIT(
        {
          envcore_test_fail_calloc(nth);
          envmon_init_pwr_mgmt_data();
        },
        ::testing::ExitedWithCode(255), "");
  }
}

TEST(PowerStatus, InventoryFormAndNames) {
  struct Case {
    int32_t status;
    int32_t inventory;
    const char* name;
  };
  const Case cases[] = {
      {-1, 1, "INVALID"},
      {0, 1, "INVALID"},
      {1, 2, "ON"},
      {2, 4, "TEMP_RESERVED"},
      {3, 4, "OFF_TEMP_RESERVED"},
      {4, 4, "PRE_RESERVED"},
      {5, 3, "OFF"},
      {6, 3, "OFF_RESERVED"},
      {7, 4, "OFF_REQUESTED"},
      {8, 4, "STBY_ZONE_RESERVED"},
      {9, 4, "PWR_RESERVED_GOING_DOWN"},
      {10, 2, "PWR_ON_GOING_DOWN"},
      {11, 1, "INVALID"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(envmon_convert_to_inv_pwr_stat(c.status), c.inventory);
    EXPECT_STREQ(envmon_pwr_status_str(c.status), c.name);
  }
}

TEST(PowerNames, KindsAndGroups) {
  const char* kinds[] = {"INVALID", "RP/SC", "FANTRAY", "FC", "LC", "SW",
                         "POWERFILTER", "ECU", "ECU2", "XC", "INVALID"};
  for (int32_t t = 0; t <= 10; ++t) EXPECT_STREQ(envmon_rm_pwr_kind_str(t), kinds[t]) << t;
  const char* groups[] = {"LC", "FC", "SW", "XC", "INVALID"};
  for (uint32_t g = 0; g <= 4; ++g) EXPECT_STREQ(envmon_pwr_card_group_str(g), groups[g]) << g;
}

TEST(GroupIndexes, OnlyBoth255IsEmpty) {
  struct Case {
    uint8_t first;
    int8_t last;
    bool valid;
  };
  const Case cases[] = {{255, -1, false}, {255, 3, true}, {0, -1, true}, {0, 0, true}, {4, 7, true}};
  for (const Case& c : cases)
    EXPECT_EQ(envmon_pwr_mgmt_check_valid_indexes(c.first, c.last), c.valid)
        << int(c.first) << "," << int(c.last);
}

TEST_F(Records, LineCardBudgetFollowsTheModeAtTheMomentOfTheCall) {
  start();
  envmon_entity_pbudget_info_t& lc = card_of(ENVMON_CARD_CLASS_LC, 0);
  lc.max_budget = 300;
  lc.ext_budget = 350;
  const uint8_t idx = pm().start_index[ENVMON_CARD_CLASS_LC];
  EXPECT_EQ(get_lc_max_budget(idx), 300);
  envmon_rm->pwr_cfg.extended_mode_operation = 1;
  EXPECT_TRUE(is_extended_mode_on());
  EXPECT_EQ(get_lc_max_budget(idx), 350);
  envmon_rm->pwr_cfg.extended_mode_operation = 0;
  EXPECT_EQ(get_lc_max_budget(idx), 300);
  // An index past the card records has no budget.
  EXPECT_EQ(get_lc_max_budget(static_cast<uint8_t>(envmon_pm::card_records())), 0);
}

TEST(ShutdownEntities, HasNoEffect) { EXPECT_EQ(envmon_pwr_mgmt_shutdown_entities(), ENVMON_OK); }

TEST(ProgressiveMode, WithoutAPlatformHookNothingIsCalled) {
  pwr_mgmt_standin_reset();
  envmon_pwr_mgmt_set_progressive_mode(1);
  EXPECT_EQ(pwr_mgmt_standin().calls, std::vector<std::string>{});
}

}  // namespace
