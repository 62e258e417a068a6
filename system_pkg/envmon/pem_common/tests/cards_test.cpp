// Card budgets at start-up, card shutdowns through the fault manager and the
// fault-manager glue of power modules.
#include <gtest/gtest.h>

#include <fstream>

#include "alarmd_test.h"
#include "envmon_pem_private.h"
#include "pem_fixture.h"
#include "tlg_test.h"

namespace {

class Cards : public PemFixture {
 protected:
  void SetUp() override {
    PemFixture::SetUp();
    cards.assign(8, envmon_entity_pbudget_info_t{});
    for (size_t i = 0; i < cards.size(); ++i) {
      cards[i].hw_position = static_cast<int32_t>(10 + i);
      setup_eid(static_cast<uint32_t>(10 + i), &cards[i].eid);
      setup_eid(static_cast<uint32_t>(10 + i), &cards[i].fru_eid);
    }
    pm.pbudget_list = cards.data();
    // Line cards 0-3, fabric cards 4-5, no switch cards, cross-connects 6-7.
    pm.start_index[ENVMON_CARD_CLASS_LC] = 0;
    pm.last_index[ENVMON_CARD_CLASS_LC] = 3;
    pm.start_index[ENVMON_CARD_CLASS_FC] = 4;
    pm.last_index[ENVMON_CARD_CLASS_FC] = 5;
    pm.start_index[ENVMON_CARD_CLASS_SWC] = ENVMON_PWR_NO_INDEX;
    pm.last_index[ENVMON_CARD_CLASS_SWC] = ENVMON_PWR_NO_INDEX;
    pm.start_index[ENVMON_CARD_CLASS_XC] = 6;
    pm.last_index[ENVMON_CARD_CLASS_XC] = 7;
    pm.pbudget_last_index = 7;
    auto& b = pemtest::standin().budgets;
    b[4] = {600, 100, 700};
    b[3] = {300, 50, 350};
    b[9] = {200, 20, 250};
  }
  static void setup_eid(uint32_t slot, pelm_eid* eid) { envmon_setup_fru_eid(slot, eid); }
  std::vector<envmon_entity_pbudget_info_t> cards;
};

TEST_F(Cards, StartingBudgetsByGroupAndMode) {
  struct Case {
    const char* name;
    uint8_t action;
    bool extended;
    const char* platform;
    uint16_t fc_budget;
    int32_t fc_status;
  };
  const Case cases[] = {
      {"action, extended mode", 1, true, "obv8k", 350, ENVMON_PWR_PRE_RESERVED},
      {"action, normal mode", 1, false, "obv8k", 300, ENVMON_PWR_PRE_RESERVED},
      {"no action", 0, true, "obv8k", 50, ENVMON_PWR_STBY_ZONE_RESERVED},
      {"action on a tavrin platform", 1, true, "Tavrin", 50, ENVMON_PWR_STBY_ZONE_RESERVED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pm.pwr_mgmt_action_ena = c.action;
    pemtest::standin().extended_mode = c.extended;
    pemtest::standin().hal.platform = c.platform;
    envmon_pem_lcc_pwr_mgmt_pbudget_data_init();
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(cards[i].pbudget, 100);
      EXPECT_EQ(cards[i].status, ENVMON_PWR_STBY_ZONE_RESERVED);
      EXPECT_EQ(cards[i].fru_eid.slot, static_cast<uint32_t>(10 + i));
      EXPECT_EQ(cards[i].fru_eid.rack, 0xfffeu);
    }
    for (int i = 4; i < 6; ++i) {
      EXPECT_EQ(cards[i].pbudget, c.fc_budget);
      EXPECT_EQ(cards[i].status, c.fc_status);
    }
    for (int i = 6; i < 8; ++i) {
      EXPECT_EQ(cards[i].pbudget, 200);
      EXPECT_EQ(cards[i].status, ENVMON_PWR_PRE_RESERVED);
    }
    EXPECT_EQ(pm.total_power_budget, 400 + 2 * c.fc_budget + 400);
    EXPECT_EQ(oper_counter(pem::kCardPbudget + 4), c.fc_budget);
    EXPECT_EQ(oper_counter(pem::kTotalPreq), static_cast<uint32_t>(pm.total_power_budget));
    TearDown();
    SetUp();
  }
}

TEST_F(Cards, NoCrossConnectCardsNoCrossConnectTrace) {
  pemtest::standin().hal.max_xc = 0;
  envmon_pem_lcc_pwr_mgmt_pbudget_data_init();
  EXPECT_EQ(cards[6].pbudget, 0);
  EXPECT_FALSE(tlg_test_contains("envmon_pem_lib_pwrm", "FC and XC"));
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_pwrm", "power budget for RP, FT and LC 400 (W)"));
}

TEST_F(Cards, LowBudgetShutdownSequence) {
  EXPECT_EQ(envmon_process_card_shut_on_low_budget(2, 1), ENVMON_OK);
  auto faults = take_faults();
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[0].tag, 54u);
  EXPECT_EQ(faults[0].state, 1);
  EXPECT_EQ(faults[0].eid, "65534/12");
  EXPECT_EQ(faults[1].tag, 43u);
  EXPECT_EQ(faults[1].action, 2u);
  EXPECT_EQ(faults[1].level, 4);
  EXPECT_EQ(faults[1].description, "Requesting shutdown due to no power budget available");
  EXPECT_EQ(faults[2].tag, 54u);
  EXPECT_EQ(faults[2].state, 2);
  EXPECT_EQ(faults[2].action, 0u);
  EXPECT_EQ(cards[2].shutdown_on_low_pbudget, 1);
  EXPECT_EQ(envmon_pem_fm_process_card_shut_on_low_budget(2, 1), ENVMON_OK);
  EXPECT_EQ(take_faults().size(), 3u);  // sent again
  EXPECT_EQ(envmon_process_card_shut_on_low_budget(2, 0), ENVMON_OK);
  EXPECT_EQ(cards[2].shutdown_on_low_pbudget, 0);
  EXPECT_TRUE(take_faults().empty());
  EXPECT_EQ(envmon_process_card_shut_on_low_budget(2, 0), ENVMON_OK);  // flag already clear
}

TEST_F(Cards, ProgressiveShutdownNamesPriorityDrawAndThreshold) {
  rm.pwr_cfg.node_priority[3] = 7;
  rm.pwr_cfg.prog_shut_threshold = 5000;
  EXPECT_EQ(envmon_process_card_shut_progressive_mode(3, 1, 5200), ENVMON_OK);
  const auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].tag, 103u);
  EXPECT_EQ(faults[0].action, 2u);
  EXPECT_EQ(faults[0].description, "Node priority 7, Chassis power draw 5200 W exceeded shutdown threshold 5000 W");
  EXPECT_EQ(cards[3].shutdown_on_low_pbudget, 1);
}

TEST_F(Cards, BadIndexOrModeIsRefused) {
  EXPECT_EQ(envmon_process_card_shut_on_low_budget(7, 1), ENVMON_OK);  // the last index is valid
  take_faults();
  EXPECT_EQ(envmon_process_card_shut_on_low_budget(8, 1), ENVMON_ERR_INVALID_ARG);
  EXPECT_EQ(envmon_process_card_shut_on_low_budget(1, 2), ENVMON_ERR_INVALID_ARG);
  EXPECT_EQ(envmon_process_card_shut_progressive_mode(8, 1, 0), ENVMON_ERR_INVALID_ARG);
  pm.pbudget_list = nullptr;  // no cards at all
  EXPECT_EQ(envmon_process_card_shut_on_low_budget(0, 1), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(take_faults().empty());
}

class FmGlue : public PemFixture {};

TEST_F(FmGlue, RepeatableFaultsInOrder) {
  alarmd_handle_t h = alarmd_test_handle_new();
  envmon_pem_fm_rm_set_repeatable(h);
  std::vector<alarmd_fault_id_t> expected;
  for (uint32_t tag : {43, 26, 23, 24, 54, 48, 56, 103}) expected.push_back(alarmd_create_local_fault_id(15, tag));
  EXPECT_EQ(alarmd_test_repeat_marks(h), expected);
  alarmd_test_handle_free(h);
}

TEST_F(FmGlue, ActionHandlerAcceptsEveryFault) {
  for (uint32_t tag : {26u, 41u, 43u, 150u}) {
    alarmd_fault_t* f = alarmd_test_fault_new(15, tag);
    EXPECT_EQ(envmon_pem_fm_rm_action_handler(nullptr, f, 1, nullptr, 0, nullptr), 0);
    alarmd_test_fault_free(f);
  }
  const auto lines = tlg_test_lines("envmon_pem_lib_fault");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Unknown fault_tag=26\n"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Unknown fault_tag=41\n"), 1);
  EXPECT_EQ(lines.size(), 2u);
}

TEST_F(FmGlue, Locations) {
  char loc[32];
  pelm_eid* e1 = nullptr;
  pelm_eid* e2 = nullptr;
  make_trays({4, 4});
  rm.rack_num = 0;
  EXPECT_EQ(envmon_pem_fm_configure_location_string(slot(1, 2), loc, &e1, &e2), 1);
  EXPECT_STREQ(loc, "0/PM6");
  EXPECT_EQ(e1, &pem(1, 2).cont_eid);
  EXPECT_EQ(e2, nullptr);
  inv_eid expected{};
  inv_util_convert_pelm_eid_to_eid(&pem(1, 2).cont_eid, &expected);
  EXPECT_EQ(envmon_inv_eid_same(&pem_cont_inv_eid, &expected), 1);
  EXPECT_EQ(envmon_pem_fm_configure_location_string(7, loc, &e1, &e2), 0);
  TearDown();
  SetUp();
  make_trays({3, 3}, true);
  EXPECT_EQ(envmon_pem_fm_configure_location_string(slot(1, 2), loc, &e1, &e2), 1);
  EXPECT_STREQ(loc, "0/PT1-PM2");
  EXPECT_EQ(e1, &tray_budgets[1].eid);
  EXPECT_EQ(e2, &pem(1, 2).cont_eid);
}

TEST_F(FmGlue, UndetectedHardwareTags) {
  make_trays({1});
  envmon_fm_fault_req req{};
  char text[256] = "";
  inv_eid shelf{};
  shelf.rack = 0xfffe;
  shelf.slot = 0xfffe;
  shelf.level_count = 2;
  shelf.levels[0] = {6, 1, 0};
  shelf.levels[1] = {9, 44, 1};
  pelm_eid e{};
  inv_util_convert_eid_to_pelm_eid(&shelf, &e);
  envmon_pem_fm_configure_hw_undetected_failure(&e, &req, text);
  EXPECT_EQ(req.fault_tag, 52u);
  EXPECT_STREQ(text, "Power Shelf 0");
  e.tsi[1].instance = 0;
  text[0] = '\0';
  req = envmon_fm_fault_req{};
  envmon_pem_fm_configure_hw_undetected_failure(&e, &req, text);
  EXPECT_EQ(req.fault_tag, 52u);
  EXPECT_STREQ(text, "");
  e.tsi[1].subtype = 7;
  req = envmon_fm_fault_req{};
  envmon_pem_fm_configure_hw_undetected_failure(&e, &req, text);
  EXPECT_EQ(req.fault_tag, 0u);
  envmon_free_tsi(&e);
  envmon_pem_fm_configure_hw_undetected_failure(nullptr, &req, text);
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "passed NULL pointer to get fault tag for PEM HW undetected failure\n"));
}

TEST_F(FmGlue, IdpromAndTrayFaultTags) {
  envmon_fm_fault_req req{};
  EXPECT_EQ(envmon_hal_fm_configure_idprom_access_failure(&req), &req);
  EXPECT_EQ(req.fault_tag, 42u);
  EXPECT_EQ(envmon_pem_fm_configure_powertray_oir_fault(&req, 1), 0u);
  EXPECT_EQ(req.fault_tag, 32u);
  EXPECT_EQ(envmon_pem_fm_configure_powertray_oir_fault(&req, 1), 1u);  // the previous count
  EXPECT_EQ(envmon_pem_fm_configure_powertray_oir_fault(&req, 0), 0u);
  EXPECT_EQ(req.fault_tag, 31u);
}

}  // namespace
