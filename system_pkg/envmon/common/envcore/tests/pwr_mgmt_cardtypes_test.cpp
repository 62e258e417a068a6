// Card-type lists, the power status after a card-manager state, and the card
// index found by slot.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;

TEST(CardTypeLists, MembershipAndBoundaries) {
  enum Kind { RP, SC, LC, FC, SWC, XC, FT, NONE };
  struct Case {
    const char* name;
    uint32_t type;
    Kind kind;
  };
  const Case cases[] = {
      {"first route processor", 3453, RP},
      {"last route processor", 1879187473, RP},
      {"system controller", 2033671, SC},
      {"system controller is not a route processor", 2033666, SC},
      {"line-card range start", 4130048, LC},
      {"line-card range end", 4130304, LC},
      {"just below the range", 4130047, NONE},
      {"just past the range", 4130305, NONE},
      {"listed line card", 5513234, LC},
      {"first listed line card", 3219, LC},
      {"fabric card", 4589100, FC},
      {"switch card", 2033670, SWC},
      {"switch card 2", 2033672, SWC},
      {"cross-connect card", 21005, XC},
      {"fan tray", 2869166599u, FT},
      {"between two fan trays", 2869166598u + 100, NONE},
      {"zero", 0, NONE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(envmon_pwr_is_rp_card_type(c.type), c.kind == RP);
    EXPECT_EQ(envmon_pwr_is_sc_card_type(c.type), c.kind == SC);
    EXPECT_EQ(envmon_pwr_is_lc_card_type(c.type), c.kind == LC);
    EXPECT_EQ(envmon_pwr_is_fc_card_type(c.type), c.kind == FC);
    EXPECT_EQ(envmon_pwr_is_swc_card_type(c.type), c.kind == SWC);
    EXPECT_EQ(envmon_pwr_is_xc_card_type(c.type), c.kind == XC);
    EXPECT_EQ(envmon_pwr_is_fantray_type(c.type), c.kind == FT);
  }
  for (uint32_t chassis : {3222u, 1610678797u, 0x60010000u, 0x60010002u})
    EXPECT_TRUE(envmon_pwr_is_fc_prereserve_chassis(chassis)) << chassis;
  for (uint32_t chassis : {0u, 3223u, 0x60010003u})
    EXPECT_FALSE(envmon_pwr_is_fc_prereserve_chassis(chassis)) << chassis;
}

using StateMap = PwrTest;

TEST_F(StateMap, CardStateToPowerStatus) {
  start();
  constexpr bool kReload = true;
  struct Case {
    const char* name;
    uint32_t state;
    int32_t card_class;
    uint32_t type;
    int32_t status;
    bool reload;
    uint8_t action;
    uint32_t chassis;
    uint8_t redundant;
    int32_t expected;
  };
  const uint32_t pre = kPreReserveChassis;
  const uint32_t plain = kPlainChassis;  // not a pre-reserve chassis
  const Case cases[] = {
      // State 0: pre-reserved cards hold their budget, others the standby zone.
      {"0 line card", 0, kClassLc, kLcType, 1, false, 1, pre, 1, 8},
      {"0 route-processor class", 0, 2, 0, 0, false, 1, plain, 1, 4},
      {"0 switch-card class", 0, 9, 0, 0, false, 1, plain, 1, 4},
      {"0 cross-connect type", 0, kClassLc, kXcType, 0, false, 1, plain, 1, 4},
      {"0 system-controller type", 0, 5, kScType, 0, false, 1, plain, 1, 4},
      {"0 fabric card, pre-reserve chassis, action on", 0, kClassFc, 0, 0, false, 1, pre, 1, 4},
      {"0 fabric card, pre-reserve chassis, action off", 0, kClassFc, 0, 0, false, 0, pre, 1, 8},
      {"0 fabric type, other chassis", 0, 7, kFcType, 0, false, 1, plain, 1, 8},
      // State 1.
      {"1 from OFF_REQUESTED stays", 1, 2, kRpType, 7, kReload, 1, pre, 1, 7},
      {"1 pre-reserved", 1, 9, 0, 4, false, 1, plain, 1, 6},
      {"1 from TEMP_RESERVED", 1, kClassLc, kLcType, 2, false, 1, plain, 1, 3},
      {"1 from OFF_TEMP_RESERVED", 1, kClassLc, kLcType, 3, kReload, 1, plain, 1, 3},
      {"1 not reloading", 1, kClassLc, kLcType, 1, false, 1, plain, 1, 5},
      {"1 reloading from ON", 1, kClassLc, kLcType, 1, kReload, 1, plain, 1, 3},
      {"1 reloading from ON_GOING_DOWN", 1, kClassLc, kLcType, 10, kReload, 1, plain, 1, 3},
      {"1 reloading otherwise unchanged", 1, kClassLc, kLcType, 8, kReload, 1, plain, 1, 8},
      // State 2.
      {"2 reloading", 2, 1, kRpType, 1, kReload, 1, plain, 1, 3},
      {"2 pre-reserved", 2, 14, 0, 1, false, 1, plain, 1, 6},
      {"2 requested, redundant power not used", 2, kClassLc, kLcType, 7, false, 1, plain, 0, 7},
      {"2 requested, redundant power used", 2, kClassLc, kLcType, 7, false, 1, plain, 1, 5},
      {"2 otherwise", 2, kClassLc, kLcType, 1, false, 1, plain, 0, 5},
      // State 3.
      {"3 any", 3, kClassLc, kLcType, 8, false, 1, plain, 1, 1},
      // State 4.
      {"4 from ON", 4, kClassLc, kLcType, 1, false, 1, plain, 1, 10},
      {"4 from ON_GOING_DOWN", 4, kClassLc, kLcType, 10, false, 1, plain, 1, 10},
      {"4 from OFF_RESERVED", 4, kClassLc, kLcType, 6, false, 1, plain, 1, 9},
      {"4 from RESERVED_GOING_DOWN", 4, kClassLc, kLcType, 9, false, 1, plain, 1, 9},
      {"4 from OFF stays", 4, kClassLc, kLcType, 5, false, 1, plain, 1, 5},
      {"4 from STBY_ZONE stays", 4, kClassLc, kLcType, 8, false, 1, plain, 1, 8},
      // State 5.
      {"5 ON stays", 5, kClassLc, kLcType, 1, false, 1, plain, 1, 1},
      {"5 ON_GOING_DOWN stays", 5, kClassLc, kLcType, 10, false, 1, plain, 1, 10},
      {"5 otherwise OFF", 5, kClassLc, kLcType, 7, false, 1, plain, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pm().pwr_mgmt_action_ena = c.action;
    pm().use_redundand_pwr = c.redundant;
    envmon_rm->chassis_type = c.chassis;
    EXPECT_EQ(envmon_pwr_mgmt_map_card_st_to_power_st(c.state, c.card_class,
                                                      static_cast<int32_t>(c.type), c.status,
                                                      c.reload),
              c.expected);
  }
}

TEST_F(StateMap, UnknownCardStateIsInvalidTracedAndCounted) {
  start();
  const uint32_t before = errc(envmon_pm::kErrCmNotif);
  EXPECT_EQ(envmon_pwr_mgmt_map_card_st_to_power_st(6, kClassLc, kLcType, 1, false), 0);
  EXPECT_TRUE(err_traced("envmon_pwr_mgmt_map_card_st_to_power_st: invalid card state 6 \n"));
  EXPECT_EQ(errc(envmon_pm::kErrCmNotif), before + 1);
}

using FindCard = PwrTest;

TEST_F(FindCard, GroupBySlotWithinTheCardsGroup) {
  cards = {4, 2, 0, 1};
  start();
  // LC 0-3 (slots 2-5), FC 4-5 (slots 10-11), XC 6 (slot 16).
  struct Case {
    const char* name;
    uint8_t slot;
    int32_t card_class;
    uint32_t type;
    bool found;
    uint8_t index;
  };
  const Case cases[] = {
      {"line card by class", 3, kClassLc, 0, true, 1},
      {"line card by type", 5, 7, kLcType, true, 3},
      {"fabric card by class", 11, kClassFc, 0, true, 5},
      {"fabric card by type", 10, 7, kFcType, true, 4},
      {"cross-connect by class", 16, kClassXc, 0, true, 6},
      {"cross-connect by type", 16, 7, kXcType, true, 6},
      {"line card in a fabric slot", 10, kClassLc, 0, false, 0},
      {"fabric card in a line-card slot", 2, kClassFc, 0, false, 0},
      {"switch card: empty group", 14, 9, 0, false, 0},
      {"no group", 2, 7, 12345, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t index = 0xee;
    const envmon_err_t rc = envmon_pwr_mgmt_find_card_idx(c.slot, c.card_class, c.type, &index);
    EXPECT_EQ(rc, c.found ? ENVMON_OK : 0x401014deca100802ULL);
    EXPECT_EQ(index, c.found ? c.index : 0xee);
  }
}

TEST_F(FindCard, SlotIsComparedAsAByte) {
  start();
  card_of(ENVMON_CARD_CLASS_LC, 2).hw_position = 256 + 7;
  uint8_t index = 0;
  ASSERT_EQ(envmon_pwr_mgmt_find_card_idx(7, kClassLc, 0, &index), ENVMON_OK);
  EXPECT_EQ(index, pm().start_index[ENVMON_CARD_CLASS_LC] + 2);
}

}  // namespace
