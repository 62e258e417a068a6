// Entity budgets read from the inventory descriptions, and the placement of
// the chassis description's route processors, fan trays and cards.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;

constexpr envmon_err_t kInvalidArg = 0x401014deca100802ULL;

using Budgets = PwrTest;

TEST_F(Budgets, FiguresOfADescription) {
  uint16_t max = 1, stby = 2, ext = 3;
  DebugStream log(&env_dump_fd);
  // The caller's hardware versions are not part of the lookup.
  EXPECT_EQ(envmon_get_power_budget(4, 4, kLcType, "", 7, 9, 13, &max, &stby, &ext, nullptr),
            ENVMON_OK);
  EXPECT_EQ(max, 300);
  EXPECT_EQ(stby, 30);
  EXPECT_EQ(ext, 350);
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_get_power_budget: got max power budget 300, stby_zn power budget 30 ext power "
             "budget 350\n\n"));
  EXPECT_NE(log.text().find("envmon_get_power_budget: for card type 69b4 got max power budget 300, "
                            "stby_zn power budget 30 ext power budget 350\n"),
            std::string::npos);
}

TEST_F(Budgets, LookupFailures) {
  describe(4, kLcType2, 99, {1, 2, 3});  // a budget entity of another subtype only
  struct Case {
    const char* name;
    int32_t pi;
    uint32_t pd;
    bool outputs;
    envmon_err_t rc;
    const char* traced;
  };
  const Case cases[] = {
      {"no description", 4, 99999, true, kInvalidArg,
       "envmon_get_power_budget: Failed to parse xml file for pi_hw_type 4, pd_hw_type 0x1869f, "
       "pid \n"},
      {"no budget entity of the subtype", 4, kLcType2, true, ENVMON_OK,
       "envmon_get_power_budget: NULL eid list \n"},
      {"a missing output", 4, kLcType, false, kInvalidArg, "envmon_get_power_budget: NULL pointer\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear(nullptr);
    uint16_t max = 11, stby = 12, ext = 13;
    EXPECT_EQ(envmon_get_power_budget(4, c.pi, static_cast<int32_t>(c.pd), "", 1, 0, 13, &max,
                                      &stby, c.outputs ? &ext : nullptr, nullptr),
              c.rc);
    EXPECT_TRUE(err_traced(c.traced));
    // The caller's figures stay as they were.
    EXPECT_EQ(max, 11);
    EXPECT_EQ(stby, 12);
    EXPECT_EQ(ext, 13);
  }
}

TEST_F(Budgets, DescriptionRootIsHandedOutOnRequest) {
  uint16_t max = 0, stby = 0, ext = 0;
  pelm_eid eid{};
  ASSERT_EQ(envmon_get_power_budget(3, 6, kFcType, "", 1, 0, 7, &max, &stby, &ext, &eid), ENVMON_OK);
  ASSERT_EQ(eid.tsi_count, 1u);
  EXPECT_EQ(eid.tsi[0].type, 5u);
  EXPECT_EQ(eid.tsi[0].subtype, 1u);
  EXPECT_EQ(max, 200);
  envmon_free_tsi(&eid);
}

TEST_F(Budgets, EntityBudgetOfThePlatformsHardware) {
  uint16_t max = 9, stby = 9, ext = 9;
  envmon_get_entity_power_budget(2, &max, &stby, &ext, nullptr);
  EXPECT_EQ(max, 50);
  EXPECT_EQ(stby, 50);
  EXPECT_EQ(ext, 60);
  EXPECT_TRUE(tlg_test_contains(kPwrm, "envmon_get_entity_power_budget: info for xml file for "
                                       "FANTRAY : sub_type 6, pi_hw_type 0x7, pd_hw_type "
                                       "0xab040000, pid , hw ver 0.1\n"));
  // A type the platform cannot name gets no budget at all.
  envmon_get_entity_power_budget(5, &max, &stby, &ext, nullptr);
  EXPECT_EQ(max, 0);
  EXPECT_EQ(stby, 0);
  EXPECT_EQ(ext, 0);
  EXPECT_TRUE(err_traced("envmon_get_entity_power_budget: invalid power budget entity type 5 \n"));
}

using Layout = PwrTest;

TEST_F(Layout, CardGroupsArePackedInOrder) {
  struct Case {
    const char* name;
    uint32_t max_lc, max_fc, max_swc, max_xc;
    std::array<uint32_t, 4> described;
    std::array<uint8_t, 4> start, last;
    uint8_t last_index;
    const char* cut;
  };
  const Case cases[] = {
      {"all groups", 4, 2, 0, 1, {4, 2, 0, 1}, {0, 4, 255, 6}, {3, 5, 255, 6}, 6, nullptr},
      {"no fabric cards", 4, 2, 2, 0, {4, 0, 2, 0}, {0, 255, 4, 255}, {3, 255, 5, 255}, 5, nullptr},
      {"line cards only", 4, 2, 0, 1, {2, 0, 0, 0}, {0, 255, 255, 255}, {1, 255, 255, 255}, 1,
       nullptr},
      {"more cards than records", 4, 2, 0, 1, {6, 2, 0, 1}, {0, 6, 255, 255}, {5, 6, 255, 255}, 6,
       "envmon_get_card_eid: incorrect FC EID count 2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EnvcoreStandin& s = envcore_standin();
    s.max_lc = c.max_lc;
    s.max_fc = c.max_fc;
    s.max_swc = c.max_swc;
    s.max_xc = c.max_xc;
    cards = c.described;
    start();
    for (uint32_t g = 0; g < ENVMON_CARD_CLASS_COUNT; ++g) {
      EXPECT_EQ(pm().start_index[g], c.start[g]) << "group " << g;
      EXPECT_EQ(pm().last_index[g], c.last[g]) << "group " << g;
    }
    EXPECT_EQ(pm().pbudget_last_index, c.last_index);
    if (c.cut) {
      EXPECT_TRUE(err_traced(c.cut));
      EXPECT_TRUE(err_traced("envmon_get_card_eid: incorrect XC EID count 1\n"));
    }
    TearDown();
    SetUp();
  }
}

TEST_F(Layout, CardsTakeSlotInstanceAndIdsFromTheChassisDescription) {
  cards = {4, 2, 0, 1};
  start();
  for (uint32_t g : {ENVMON_CARD_CLASS_LC, ENVMON_CARD_CLASS_FC, ENVMON_CARD_CLASS_XC}) {
    for (uint32_t i = 0; i < cards[g]; ++i) {
      SCOPED_TRACE(std::to_string(g) + "/" + std::to_string(i));
      const envmon_entity_pbudget_info_t& c = card_of(g, i);
      EXPECT_EQ(c.hw_position, static_cast<int32_t>(slot_of(g, i)));
      EXPECT_EQ(c.inst, static_cast<int32_t>(i));
      // The container id names the entity, wherever it sits.
      EXPECT_EQ(c.container_eid.rack, 0xfffeu);
      EXPECT_EQ(c.container_eid.slot, 0xfffeu);
      ASSERT_EQ(c.container_eid.tsi_count, 1u);
      EXPECT_EQ(c.container_eid.tsi[0].subtype, group_subtype(g));
      EXPECT_EQ(c.container_eid.tsi[0].instance, i);
      // The FRU id is the slot's.
      EXPECT_EQ(c.eid.slot, slot_of(g, i));
      EXPECT_EQ(c.eid.tsi_count, 0u);
    }
  }
  for (uint32_t i = 0; i < rps; ++i) {
    EXPECT_EQ(pm().rp_pbudget[i].hw_position, static_cast<int32_t>(i));
    EXPECT_EQ(pm().rp_pbudget[i].container_eid.tsi[0].subtype, 2u);
  }
  for (uint32_t i = 0; i < fan_trays; ++i)
    EXPECT_EQ(pm().fantray_pbudget[i].container_eid.tsi[0].instance, i);
}

TEST_F(Layout, RemotelyManagedLineCardsLearnTheirSlots) {
  envcore_standin().lc_remote = 1;
  start();
  for (uint32_t i = 0; i < cards[ENVMON_CARD_CLASS_LC]; ++i)
    EXPECT_EQ(envmon_rm->lc_cb[i].hw_position, slot_of(ENVMON_CARD_CLASS_LC, i));
}

TEST_F(Layout, CountsAndPositionsBeyondTheRecordsAreTracedAndSkipped) {
  build_records();
  // Three route processors and four fan trays described for two and three records.
  std::vector<inv_eid> rp(3), ft(4);
  for (uint32_t i = 0; i < 3; ++i) rp[i] = envmon_rm->rp_cont_eids[i % 2];
  for (uint32_t i = 0; i < 4; ++i) ft[i] = envmon_rm->fan_cont_eids[i % 3];
  envmon_rm->rp_cont_eids = rp.data();
  envmon_rm->rp_cont_count = 3;
  envmon_rm->fan_cont_eids = ft.data();
  envmon_rm->fan_cont_count = 4;
  // A line card described at a position past its group.
  const std::string xml =
      "<inventory><entity tsi=\"5/1/9\" pos_num=\"4\" hw_position=\"40\"/></inventory>";
  inv_xml_handle_t extra = inv_parser_open_xml_buffer(xml.data(), xml.size(), "extra");
  inv_eid far{};
  far.level_count = 1;
  far.levels[0] = {5, 1, 9};
  envmon_rm->chassis_xml = extra;
  envmon_rm->card_eid_list[ENVMON_CARD_CLASS_LC] = {&far, 1};
  for (uint32_t g = 1; g < ENVMON_CARD_CLASS_COUNT; ++g) envmon_rm->card_eid_list[g] = {nullptr, 0};
  envmon_get_card_eid();
  EXPECT_TRUE(err_traced("envmon_get_card_eid(): invalid LC position 4 \n"));
  EXPECT_NE(pm().pbudget_list[0].hw_position, 40);
  inv_parser_close_xml_file(extra);
  envmon_rm->chassis_xml = nullptr;
  envmon_rm->card_eid_list[ENVMON_CARD_CLASS_LC] = {nullptr, 0};
  envmon_get_rp_sc_eid();
  envmon_get_fantray_eid();
  EXPECT_TRUE(err_traced("envmon_get_rp_sc_eid: incorrect RP EID count 3\n"));
  EXPECT_TRUE(err_traced("envmon_get_fantray_eid: incorrect Fan Tray EID count 4\n"));
  EXPECT_TRUE(err_traced("envmon_get_rp_sc_eid(): inv_parser_get_eid_data error, rc = -1 \n"));
  envmon_rm->rp_cont_count = 0;
  envmon_rm->fan_cont_count = 0;
}

}  // namespace
