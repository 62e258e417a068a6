// The answer to a card's power request: 1 granted, 2 no budget, 3 not ready,
// 4 bad request.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;
using envmon_pm::kCntCardFirst;
using envmon_pm::kCntNoPbudget;
using envmon_pm::kCntTotalPreq;

class Request : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    start();
    make_ready();
    envmon_pm::fru_pwr_alloc_published = true;
  }
  // A request from line card `pos` (slot and instance as described).
  int32_t ask_lc(uint32_t pos, uint32_t type = kLcType) {
    ReqEid eid(slot_of(ENVMON_CARD_CLASS_LC, pos), 1, pos);
    return envmon_pwr_mgmt_get_budget(&eid.e, type, "", 1, 0);
  }
};

TEST_F(Request, AnswersOverTheBudgetEdges) {
  // 900 W allocated at start-up; a line card on its 30 W standby zone asks
  // for 300 W (350 W in extended mode): 1170 W (1220 W) in all.
  struct Case {
    const char* name;
    uint32_t capacity;
    uint8_t action;
    bool extended;
    int32_t answer;
    uint16_t allocated;
  };
  const Case cases[] = {
      {"exactly the capacity", 1170, 1, false, 1, 300},
      {"one watt short", 1169, 1, false, 2, 30},
      {"extended budget fits", 1220, 1, true, 1, 350},
      {"extended budget one watt short", 1219, 1, true, 2, 30},
      {"no capacity, accounting only", 0, 0, false, 1, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    pm().total_capacity = c.capacity;
    pm().pwr_mgmt_action_ena = c.action;
    envmon_rm->pwr_cfg.extended_mode_operation = c.extended ? 1 : 0;
    const uint32_t preq = oper(kCntTotalPreq);
    EXPECT_EQ(ask_lc(0), c.answer);
    const envmon_entity_pbudget_info_t& lc = card(0);
    EXPECT_EQ(lc.pbudget, c.allocated);
    EXPECT_EQ(pm().total_power_budget, 870 + c.allocated);
    EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
    // The counters move with the allocation only.
    EXPECT_EQ(oper(kCntTotalPreq), preq + c.allocated - 30);
    EXPECT_EQ(oper(kCntCardFirst + 0), c.allocated);
    if (c.answer == 1) {
      EXPECT_EQ(lc.status, ENVMON_PWR_OFF_REQUESTED);
      EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms", "shut"}),
                (std::vector<std::string>{fru(lc, c.allocated, 4), "hal_ps_alarms(1)"}));
      EXPECT_EQ(oper(kCntNoPbudget), 0u);
    } else {
      EXPECT_EQ(lc.status, ENVMON_PWR_STBY_ZONE_RESERVED);
      EXPECT_EQ(pwr_mgmt_calls({"notify_fru", "hal_ps_alarms", "shut"}),
                std::vector<std::string>{"shut(0, 1)"});
      EXPECT_EQ(oper(kCntNoPbudget), 1u);
      EXPECT_TRUE(tlg_test_contains(
          kPwrm, "envmon_pwr_mgmt_get_budget : power budget not available for index 0 - budget "
                 "requested " +
                     std::to_string(c.extended ? 350 : 300) +
                     ", current total power budget 900 (W), total_capacity " +
                     std::to_string(c.capacity) + ".\n"));
    }
  }
}

TEST_F(Request, GrantIsTracedWithTheNewTotal) {
  pm().total_capacity = 5000;
  EXPECT_EQ(ask_lc(2), 1);
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_get_budget : power budget 300 allocated for card (0x69b4) with index 2 "
             "status changed from STBY_ZONE_RESERVED to OFF_REQUESTED, now total power budget 1170 "
             "(W).,use_redundand_pwr:1\n\n"));
}

TEST_F(Request, RefusalStaysARefusalWhenTheShutdownRequestFails) {
  pm().total_capacity = 0;
  pwr_mgmt_standin().shut_result = 7;
  EXPECT_EQ(ask_lc(1), 2);
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_get_budget : power budget not available for index 1 - "
                         "requesting card shutdown failed \n"));
}

TEST_F(Request, CardsThatAlreadyHoldBudget) {
  pm().total_capacity = 0;  // any new allocation would be refused
  struct Case {
    const char* name;
    int32_t status;
    int32_t after;
  };
  const Case cases[] = {
      {"temporarily reserved", 2, 7}, {"off, temporarily reserved", 3, 7}, {"pre-reserved", 4, 7},
      {"off, reserved", 6, 7},        {"on", 1, 1},                        {"requested", 7, 7},
      {"reserved going down", 9, 9},  {"on going down", 10, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_pwr_mgmt_change_to_new_pbudget(0, 300);
    card(0).status = c.status;
    const int32_t total = pm().total_power_budget;
    calls().clear();
    EXPECT_EQ(ask_lc(0), 1);
    EXPECT_EQ(card(0).status, c.after);
    EXPECT_EQ(pm().total_power_budget, total);
    EXPECT_EQ(pwr_mgmt_calls({"shut", "notify_fru"}), std::vector<std::string>{});
  }
}

TEST_F(Request, NotReadyAndBadRequests) {
  pm().total_capacity = 5000;
  struct Case {
    const char* name;
    uint32_t type;
    uint32_t slot;
    uint8_t cfg, action;
    bool pem_ready;
    int32_t answer;
    const char* traced;
  };
  const char* kNoCard = "envmon_pwr_mgmt_get_budget: wrong card type 0x3039 or eid 0/99 TSI: 5/9/99\n";
  const Case cases[] = {
      {"route processor: reserved at start-up", kRpType, 0, 0, 1, false, 1, nullptr},
      {"system controller: reserved at start-up", kScType, 0, 0, 1, false, 1, nullptr},
      {"no card record, configuration not received", 12345, 99, 0, 1, true, 3,
       "envmon_pwr_mgmt_get_budget: received power budget request for eid 0/99 TSI: 5/9/99 card "
       "type 0x3039 before power config is recieved \n"},
      {"no card record, accounting only", 12345, 99, 1, 0, true, 1, nullptr},
      {"no card record, acting", 12345, 99, 1, 1, true, 4, kNoCard},
      {"line card before the configuration", kLcType, 2, 0, 1, true, 3,
       "envmon_pwr_mgmt_get_budget: received power budget request for eid 0/2 TSI: 5/9/99 card "
       "type 0x69b4 before pwr mgmt is ready \n"},
      {"line card, acting, PEM data missing", kLcType, 2, 1, 1, false, 3, nullptr},
      {"line card, accounting only, PEM data missing", kLcType, 2, 1, 0, false, 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_pwr_mgmt_change_to_new_pbudget(0, 0);
    card(0).status = ENVMON_PWR_INVALID;
    tlg_test_clear(nullptr);
    envmon_rm->pwr_cfg.pwr_mgmt_cfg_rcvd = c.cfg;
    pm().pwr_mgmt_action_ena = c.action;
    pwr_mgmt_standin().pwr_mgmt_ready = c.pem_ready;
    ReqEid eid(c.slot, 9, 99);
    EXPECT_EQ(envmon_pwr_mgmt_get_budget(&eid.e, c.type, "", 1, 0), c.answer);
    if (c.traced) {
      EXPECT_TRUE(tlg_test_contains(kPwrm, c.traced) || err_traced(c.traced)) << c.traced;
    }
  }
  EXPECT_EQ(envmon_pwr_mgmt_get_budget(nullptr, kLcType, "", 1, 0), 4);
  EXPECT_TRUE(tlg_test_contains(kPwrm, "envmon_pwr_mgmt_get_budget: NULL eid\n"));
}

TEST_F(Request, CrossConnectCardIsBudgetedLikeACard) {
  pm().total_capacity = 5000;
  ReqEid eid(slot_of(ENVMON_CARD_CLASS_XC, 0), 16, 0);
  EXPECT_EQ(envmon_pwr_mgmt_get_budget(&eid.e, kXcType, "", 1, 0), 1);
  EXPECT_EQ(card_of(ENVMON_CARD_CLASS_XC, 0).pbudget, 80);
  EXPECT_EQ(card_of(ENVMON_CARD_CLASS_XC, 0).status, ENVMON_PWR_OFF_REQUESTED);
}

TEST_F(Request, ProtectionPowerIsKeptBackOnlyWithoutRedundantPowerUse) {
  pd_power_supplies_data_t supplies{};
  supplies.power_for_pem_redundancy = 400;
  pm().power_supplies = &supplies;
  pm().total_capacity = 1500;  // 1170 W asked for
  struct Case {
    const char* name;
    uint8_t redundant;
    int32_t answer;
  };
  const Case cases[] = {{"redundant power used", 1, 1}, {"protection power kept back", 0, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_pwr_mgmt_change_to_new_pbudget(0, 0);
    card(0).status = ENVMON_PWR_INVALID;
    pm().use_redundand_pwr = c.redundant;
    EXPECT_EQ(ask_lc(0), c.answer);
  }
  EXPECT_TRUE(tlg_test_contains(kPwrm, "envmon_pwr_mgmt_get_budget: Power budget, avoid using "
                                       "redundant Power,Prot_pwr :400, Modified Capacity:1100, "
                                       "Total:1500\n\n"));
  pm().power_supplies = nullptr;
}

TEST_F(Request, CardIndexBySlotThenByInstance) {
  struct Case {
    const char* name;
    uint32_t type;
    uint32_t slot;
    uint32_t level_type, subtype, inst;
    bool levels;
    uint8_t index;
  };
  const Case cases[] = {
      {"line card by slot", kLcType, 4, 5, 1, 0, true, 2},
      {"line card by instance", kLcType, 99, 5, 1, 3, true, 3},
      {"fabric card by slot", kFcType, 11, 5, 4, 0, true, 5},
      {"fabric card by instance", kFcType, 99, 5, 4, 0, true, 4},
      {"unknown type, line-card level: by instance", 12345, 99, 5, 1, 1, true, 1},
      // The slot of a type of no group says nothing about its record.
      {"unknown type in line card 0's slot", 12345, 2, 5, 9, 7, true, 255},
      {"no levels", kLcType, 99, 5, 1, 0, false, 255},
      {"no card level", kLcType, 99, 8, 1, 0, true, 255},
      {"instance of no card", kLcType, 99, 5, 1, 9, true, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReqEid eid(c.slot, c.subtype, c.inst);
    eid.level.type = c.level_type;
    if (!c.levels) eid.e.tsi_count = 0;
    EXPECT_EQ(envmon_pwr_mgmt_get_card_index(&eid.e, c.type), c.index);
  }
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_get_card_index: pasted invalid EID \n"));
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_get_card_index: envmon_entity_pbudget_info_t card "
                         "instances wrong\n"));
}

using NoCards = PwrTest;

TEST_F(NoCards, NoCardRecordsAtAll) {
  EnvcoreStandin& s = envcore_standin();
  s.max_lc = s.max_fc = s.max_swc = s.max_xc = 0;
  cards = {0, 0, 0, 0};
  start();
  make_ready();
  ReqEid eid(2, 1, 0);
  EXPECT_EQ(envmon_pwr_mgmt_get_card_index(&eid.e, 12345), 255);
  EXPECT_EQ(envmon_pwr_mgmt_get_budget(&eid.e, kLcType, "", 1, 0), 4);
}

TEST_F(Request, FirstRequestPublishesEveryAllocationFirst) {
  envmon_pm::fru_pwr_alloc_published = false;
  pm().total_capacity = 5000;
  ask_lc(0);
  const auto published = pwr_mgmt_calls({"notify_fru", "hal_alloc_all"});
  ASSERT_EQ(published.size(), 2u + envmon_pm::card_records() + 2u);
  EXPECT_EQ(published[2 + envmon_pm::card_records()], "hal_alloc_all");
  EXPECT_EQ(published.back(), fru(card(0), 300, 4));
  calls().clear();
  ask_lc(1);
  EXPECT_EQ(pwr_mgmt_calls({"hal_alloc_all"}), std::vector<std::string>{});
}

}  // namespace
