#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

#include "envcore_test_util.h"

namespace {

inv_eid make_inv(uint16_t rack, uint16_t slot, std::initializer_list<inv_eid_level> levels) {
  inv_eid e;
  memset(&e, 0, sizeof(e));
  e.rack = rack;
  e.slot = slot;
  for (const auto& l : levels) e.levels[e.level_count++] = l;
  return e;
}

std::string pelm_text(const pelm_eid* e) {
  char buf[256];
  memset(buf, 'x', sizeof(buf));
  envmon_dump_pelm_eid_to_string(e, buf);
  return buf;
}

class Util : public ::testing::Test {
 protected:
  void SetUp() override {
    envcore_standin_reset();
    envcore_free_records();
    envcore_open_traces();
    tlg_test_clear(nullptr);
  }
  void TearDown() override { envcore_free_records(); }
};

// ---- Entity ids ----

TEST_F(Util, EntityIdTexts) {
  pelm_tsi levels[2] = {{5, 2, 1}, {8, 25, 3}};
  pelm_eid e{};
  e.rack = 0xfffe;
  e.slot = 42;
  e.tsi = levels;
  e.tsi_count = 2;
  EXPECT_EQ(pelm_text(&e), "65534/42 TSI: 5/2/1 8/25/3");
  e.tsi = nullptr;
  EXPECT_EQ(pelm_text(&e), "65534/42 TSI:");
  EXPECT_EQ(pelm_text(nullptr), "\n");

  inv_eid inv = make_inv(1, 7, {{3, 1, 1}, {9, 23, 65535}});
  char buf[256];
  envmon_dump_inv_eid_to_string(&inv, buf);
  EXPECT_STREQ(buf, "1/7 TSI: 3/1/1 9/23/65535");
  inv.level_count = 200;  // corrupt: at most the 16 levels of the record are read
  envmon_dump_inv_eid_to_string(&inv, buf);
  EXPECT_EQ(std::string(buf).rfind("1/7 TSI: 3/1/1 9/23/65535", 0), 0u);
}

TEST_F(Util, EntityIdTextIsCutAt255Characters) {
  pelm_tsi levels[40];
  for (uint32_t i = 0; i < 40; ++i) levels[i] = {200, 201, 4000000000u};
  pelm_eid e{};
  e.rack = 4000000000u;
  e.slot = 4000000000u;
  e.tsi = levels;
  e.tsi_count = 40;
  const std::string text = pelm_text(&e);
  EXPECT_EQ(text.size(), 255u);
  EXPECT_EQ(text.rfind("4000000000/4000000000 TSI: 200/201/4000000000", 0), 0u);
}

TEST_F(Util, FruAndPowerTrayIds) {
  pelm_eid fru;
  memset(&fru, 0xee, sizeof(fru));
  envmon_setup_fru_eid(43, &fru);
  EXPECT_EQ(fru.id, 1u);
  EXPECT_EQ(fru.rack, 0xfffeu);
  EXPECT_EQ(fru.slot, 43u);
  EXPECT_EQ(fru.subid, 0u);
  EXPECT_EQ(fru.tsi, nullptr);
  EXPECT_EQ(fru.tsi_count, 0u);
  envmon_setup_fru_eid(43, nullptr);  // nothing to do

  pelm_eid tray{};
  envmon_setup_pwr_tray_eid(30, &tray);
  EXPECT_EQ(pelm_text(&tray), "65534/30 TSI: 9/23/1");
  envmon_free_tsi(&tray);
  EXPECT_EQ(tray.tsi, nullptr);
  EXPECT_EQ(tray.tsi_count, 0u);
  EXPECT_EQ(tray.present & PELM_EID_HAS_TSI, 0);
  envmon_free_tsi(&tray);  // again: nothing
}

TEST_F(Util, InventoryIdsCompareLevelByLevel) {
  const inv_eid a = make_inv(1, 2, {{5, 2, 1}, {8, 25, 3}});
  struct Case {
    const char* name;
    inv_eid b;
    int same;
  };
  const Case cases[] = {
      {"same", make_inv(1, 2, {{5, 2, 1}, {8, 25, 3}}), 1},
      {"other rack", make_inv(2, 2, {{5, 2, 1}, {8, 25, 3}}), 0},
      {"other slot", make_inv(1, 3, {{5, 2, 1}, {8, 25, 3}}), 0},
      {"fewer levels", make_inv(1, 2, {{5, 2, 1}}), 0},
      {"other instance", make_inv(1, 2, {{5, 2, 1}, {8, 25, 4}}), 0},
      {"other subtype", make_inv(1, 2, {{5, 2, 1}, {8, 29, 3}}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(envmon_inv_eid_same(&a, &c.b), c.same);
  }
  inv_eid bad = a;
  inv_eid bad2 = a;
  bad.level_count = bad2.level_count = 17;
  EXPECT_EQ(envmon_inv_eid_same(&bad, &bad2), 0);
  EXPECT_EQ(envmon_inv_eid_same(&a, nullptr), 0);
}

TEST_F(Util, FullyQualifiedEntityIds) {
  const inv_eid card = make_inv(0xfffe, 0xfffe, {{3, 1, 1}, {5, 2, 1}});
  const inv_eid rel = make_inv(0, 0, {{8, 25, 3}});
  // A partly qualified id: only the sensor's own level.
  pelm_tsi pq_levels[1] = {{8, 29, 2}};
  pelm_eid pq{};
  pq.rack = 0xfffe;
  pq.slot = 0xfffe;
  pq.tsi = pq_levels;
  pq.tsi_count = 1;
  // One that names the container itself adds nothing.
  pelm_tsi same_levels[2] = {{3, 1, 1}, {5, 2, 1}};
  pelm_eid same = pq;
  same.tsi = same_levels;
  same.tsi_count = 2;
  struct Case {
    const char* name;
    const inv_eid* rel;
    const pelm_eid* pq;
    const char* text;
  };
  const Case cases[] = {
      {"container alone", nullptr, nullptr, "65534/65534 TSI: 3/1/1 5/2/1"},
      {"container and relative part", &rel, nullptr, "65534/65534 TSI: 3/1/1 5/2/1 8/25/3"},
      {"container and partly qualified id", nullptr, &pq, "65534/65534 TSI: 3/1/1 5/2/1 8/29/2"},
      {"relative part and partly qualified id", &rel, &pq,
       "65534/65534 TSI: 3/1/1 5/2/1 8/25/3 8/29/2"},
      {"qualified id of the container", nullptr, &same, "65534/65534 TSI: 3/1/1 5/2/1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pelm_eid out{};
    ASSERT_EQ(envmon_util_build_fq_eid(&card, c.rel, c.pq, &out), ENVMON_OK);
    EXPECT_EQ(pelm_text(&out), c.text);
    envmon_free_tsi(&out);
  }
  pelm_eid out{};
  EXPECT_EQ(envmon_util_build_fq_eid(nullptr, nullptr, nullptr, &out), 0x401014deca100802ULL);
  EXPECT_TRUE(err_traced("envmon_util_build_fq_eid: NULL inv eid\n"));
  inv_eid bad = card;
  bad.level_count = 17;
  EXPECT_EQ(envmon_util_build_fq_eid(&bad, nullptr, nullptr, &out), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(err_traced("envmon_util_build_fq_eid: INVALID inv eid\n"));
  inv_eid deep = make_inv(0, 0, {});
  deep.level_count = 16;
  for (auto& l : deep.levels) l = {9, 9, 9};
  EXPECT_EQ(envmon_util_build_fq_eid(&card, &deep, nullptr, &out), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(err_traced("envmon_util_build_fq_eid: Cannot merge: eid1="));
  pelm_tsi wide = {8, 300, 1};  // a subtype that does not fit the inventory form
  pelm_eid bad_pq{};
  bad_pq.tsi = &wide;
  bad_pq.tsi_count = 1;
  EXPECT_EQ(envmon_util_build_fq_eid(&card, nullptr, &bad_pq, &out), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(err_traced("envmon_util_build_fq_eid: Cannot convert to inv EID format: eid="));
  EXPECT_EQ(out.tsi, nullptr);
}

TEST_F(Util, TsiSubtypeIntoAPair) {
  const pelm_tsi level = {8, 29, 4};
  uint8_t pair[2] = {7, 0};
  EXPECT_EQ(inv_set_inv_tsi_subtype(&level, pair), 0);
  EXPECT_EQ(pair[0], 7);
  EXPECT_EQ(pair[1], 29);
  EXPECT_NE(inv_set_inv_tsi_subtype(nullptr, pair), 0);
}

// ---- Slot classes ----

class Slots : public Util {
 protected:
  void SetUp() override {
    Util::SetUp();
    EnvcoreStandin& s = envcore_standin();
    s.fc_remote = s.lc_remote = s.sw_remote = 1;
    s.max_swc = 2;
    s.max_powertray = 2;
    ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
    ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
    ASSERT_EQ(envmon_init_rack_entity_data(), ENVMON_OK);
    envmon_rm_t* rm = envmon_rm;
    for (uint32_t i = 0; i < s.max_fantray; ++i) rm->fantray_cb[i].hw_position = 41 + i;
    for (uint32_t i = 0; i < s.max_fc; ++i) rm->fc_cb[i].hw_position = 4 + i;
    for (uint32_t i = 0; i < s.max_lc; ++i) rm->lc_cb[i].hw_position = 10 + i;
    for (uint32_t i = 0; i < s.max_swc; ++i) rm->sw_cb[i].hw_position = 26 + i;
    rm->lc_cb[3].card_type = 0x420845;
    rm->card_eid_list[ENVMON_CARD_CLASS_FC].count = 4;  // only four fabric cards described
    rm->card_eid_list[ENVMON_CARD_CLASS_XC].count = 2;
    // Power-management data: two power trays, two route processors, cards
    // packed LC 0-15, FC 16-21, XC 22-23.
    pm_.envmon_pwr_tray_data = trays_;
    trays_[0].hw_position = 30;
    trays_[1].hw_position = 31;
    rm->pwr_tray_count = 2;
    pm_.rp_pbudget = rps_;
    rps_[0].hw_position = 0;
    rps_[1].hw_position = 1;
    rm->rp_count = 2;
    pm_.pbudget_list = cards_;
    for (int i = 0; i < 24; ++i) cards_[i].hw_position = 100 + i;
    pm_.start_index[0] = 0;
    pm_.last_index[0] = 15;
    pm_.start_index[1] = 16;
    pm_.last_index[1] = 21;
    pm_.start_index[2] = pm_.last_index[2] = 255;
    pm_.start_index[3] = 22;
    pm_.last_index[3] = 23;
    rm->pwr_mgmt_data = &pm_;
  }
  envmon_pwr_mgmt_data_t pm_{};
  envmon_pwr_tray_budget trays_[2]{};
  envmon_entity_pbudget_info_t rps_[2]{};
  envmon_entity_pbudget_info_t cards_[24]{};
};

TEST_F(Slots, EachClassFindsItsRecordIndex) {
  using Fn = bool (*)(uint32_t, uint32_t*);
  struct Case {
    const char* name;
    Fn fn;
    uint32_t slot;
    bool found;
    uint32_t index;
  };
  const Case cases[] = {
      {"fan tray", envmon_is_fantray_slot, 43, true, 2},
      {"not a fan tray", envmon_is_fantray_slot, 44, false, 0},
      {"this card is never a fan tray", envmon_is_fantray_slot, 0xfffe, false, 0},
      {"fabric card", envmon_is_fc_slot, 7, true, 3},
      {"fabric card beyond the described ones", envmon_is_fc_slot, 8, false, 0},
      {"line card", envmon_is_lc_slot, 25, true, 15},
      {"switch card", envmon_is_sw_slot, 27, true, 1},
      {"this card is never a switch card", envmon_is_sw_slot, 0xfffe, false, 0},
      {"power tray", envmon_is_powertray_slot, 31, true, 1},
      {"route processor", envmon_is_rp_slot, 1, true, 1},
      {"cross-connect card", envmon_is_xc_slot, 123, true, 1},
      {"cross-connect index past the group", envmon_is_xc_slot, 124, false, 0},
      {"MPA slot, index within its bay", envmon_is_mpa_slot, 517, true, 2},
      {"below the MPA range", envmon_is_mpa_slot, 511, false, 0},
      {"above the MPA range", envmon_is_mpa_slot, 560, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t index = 0xdead;
    EXPECT_EQ(c.fn(c.slot, &index), c.found);
    EXPECT_EQ(index, c.found ? c.index : 0xdeadu);
  }
}

TEST_F(Slots, ClassesThatAreNotRemoteOrHaveNoTableAnswerNo) {
  EnvcoreStandin& s = envcore_standin();
  uint32_t index = 0;
  s.lc_remote = 0;
  EXPECT_FALSE(envmon_is_lc_slot(10, &index));
  s.fc_remote = 0;
  EXPECT_FALSE(envmon_is_fc_slot(4, &index));
  s.max_powertray = 0;
  EXPECT_FALSE(envmon_is_powertray_slot(30, &index));

  tlg_test_clear("envmon_cmn_err");
  s.fc_remote = 1;
  free(envmon_rm->fc_cb);
  envmon_rm->fc_cb = nullptr;
  EXPECT_FALSE(envmon_is_fc_slot(4, &index));
  EXPECT_TRUE(err_traced("NULL fc_cb\n"));
  free(envmon_rm->sw_cb);
  envmon_rm->sw_cb = nullptr;
  EXPECT_FALSE(envmon_is_sw_slot(26, &index));
  EXPECT_TRUE(err_traced("NULL sw_cb\n"));
  for (uint32_t i = 0; i < s.max_fantray; ++i) free(envmon_rm->fantray_cb[i].eeprom);
  free(envmon_rm->fantray_cb);
  envmon_rm->fantray_cb = nullptr;
  EXPECT_FALSE(envmon_is_fantray_slot(41, &index));
  EXPECT_TRUE(err_traced("NULL fantray_cb\n"));
  // An MPA bay past the table is no MPA slot.
  envmon_nm->max_mpa = 2;
  EXPECT_FALSE(envmon_is_mpa_slot(514, &index));
  free(envmon_nm->mpa);
  envmon_nm->mpa = nullptr;
  EXPECT_FALSE(envmon_is_mpa_slot(512, &index));
  s.mpa_start = 0;
  EXPECT_FALSE(envmon_is_mpa_slot(512, &index));
}

TEST_F(Slots, FabricCardsWithACpuAreFoundInTheBudgetGroup) {
  envcore_standin().fc_remote = 0;
  uint32_t index = 0;
  EXPECT_TRUE(envmon_is_fc_w_cpu_slot(118, &index));
  EXPECT_EQ(index, 2u);
  EXPECT_FALSE(envmon_is_fc_w_cpu_slot(120, &index));  // beyond the four described
  // A group of one fabric card is found too.
  pm_.start_index[1] = pm_.last_index[1] = 16;
  EXPECT_TRUE(envmon_is_fc_w_cpu_slot(116, &index));
  EXPECT_EQ(index, 0u);
  EXPECT_FALSE(envmon_is_fc_w_cpu_slot(117, &index));
  // An empty group, or fabric cards managed remotely, never match.
  pm_.start_index[1] = pm_.last_index[1] = 255;
  EXPECT_FALSE(envmon_is_fc_w_cpu_slot(116, &index));
  pm_.start_index[1] = 16;
  pm_.last_index[1] = 21;
  envcore_standin().fc_remote = 1;
  EXPECT_FALSE(envmon_is_fc_w_cpu_slot(116, &index));
}

TEST_F(Slots, MiscStateWordOfASlot) {
  uint32_t pem_word = 0;
  envcore_standin().misc_states[300] = &pem_word;
  EXPECT_EQ(envmon_rm_get_misc_state(42), &envmon_rm->fantray_cb[1].misc_state);
  EXPECT_EQ(envmon_rm_get_misc_state(5), &envmon_rm->fc_cb[1].misc_state);
  EXPECT_EQ(envmon_rm_get_misc_state(26), &envmon_rm->sw_cb[0].misc_state);
  EXPECT_EQ(envmon_rm_get_misc_state(12), &envmon_rm->lc_cb[2].misc_state);
  EXPECT_EQ(envmon_rm_get_misc_state(300), &pem_word);
  EXPECT_EQ(envmon_rm_get_misc_state(301), nullptr);
  pelm_eid lc{};
  lc.slot = 13;
  EXPECT_EQ(envmon_util_get_card_info(&lc), 0x420845u);
  lc.slot = 14;
  EXPECT_EQ(envmon_util_get_card_info(&lc), 0u);
  lc.slot = 99;
  EXPECT_EQ(envmon_util_get_card_info(&lc), 0u);
}

// ---- Names, chassis types, hardware events ----

TEST_F(Util, CardNamesAndChassisTypes) {
  envcore_standin().card_names[0x1e0810] = "RP-TAVRIN";
  EXPECT_STREQ(envmon_get_card_name(0x1e0810), "RP-TAVRIN");
  EXPECT_STREQ(envmon_get_card_name(0x1234), "UNKNOWN_PID");

  struct Case {
    uint8_t rack_type;
    uint32_t pi_type, chassis_class;
    bool unknown;
  };
  const Case cases[] = {{0, 1, 1, false}, {1, 2, 2, false}, {2, 20, 3, false},
                        {3, 1, 1, true},  {4, 22, 4, false}, {255, 1, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.rack_type));
    tlg_test_clear(nullptr);
    uint32_t pi = 0, cls = 0;
    envmon_get_chassis_type(c.rack_type, &pi, &cls);
    EXPECT_EQ(pi, c.pi_type);
    EXPECT_EQ(cls, c.chassis_class);
    EXPECT_EQ(err_traced("Error : Unknown Chassis Type\n"), c.unknown);
    EXPECT_TRUE(info_traced("Entered: pi rack type =  " + std::to_string(c.rack_type) + "\n"));
  }
  envcore_standin().platform_name = "tavrin-OBV8K-x";
  EXPECT_TRUE(envmon_is_extended_mode_supported());
  envcore_standin().platform_name = "tavrin";
  EXPECT_FALSE(envmon_is_extended_mode_supported());
}

TEST_F(Util, HardwareEventContextAndInventoryReport) {
  struct Case {
    uint32_t hw_event, status;
    uint32_t state, oper_state;
    const char* reason;
    int reported;  // state reported to inventory, 0 none
  };
  const Case cases[] = {
      {0x10, 0, 1, 1, "HW Operational", 1},     {0x20, 0, 4, 2, "HW Not Operational", 4},
      {0x40, 0, 4, 2, "HW Not Operational", 4}, {0x08, 0, 4, 2, "HW Not Operational", 4},
      {0x10, 0x40, 4, 2, "HW Not Operational", 1}, {0, 0, 1, 1, "HW Operational", 0},
      {0x30, 0, 4, 2, "HW Not Operational", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "event 0x" << std::hex << c.hw_event << " status 0x" << c.status);
    envmon_hw_ctx ctx{};
    envmon_set_hw_event_ctx(&ctx, c.hw_event, c.status);
    EXPECT_EQ(ctx.state, c.state);
    EXPECT_EQ(ctx.oper_state, c.oper_state);
    EXPECT_STREQ(ctx.reason, c.reason);
    EXPECT_EQ(ctx.present, 7);
    envcore_standin().hw_events.clear();
    envmon_report_drvif_hw_event_to_inv(c.hw_event, 42);
    if (c.reported) {
      ASSERT_EQ(envcore_standin().hw_events.size(), 1u);
      EXPECT_EQ(envcore_standin().hw_events[0], (std::vector<uint32_t>{42, 1, static_cast<uint32_t>(c.reported)}));
    } else {
      EXPECT_TRUE(envcore_standin().hw_events.empty());
    }
  }
  envmon_set_hw_event_ctx(nullptr, 0x10, 0);
  EXPECT_TRUE(err_traced("envmon_set_hw_event_ctx:  no memory allocated for hw_ctx\n"));
}

TEST_F(Util, DatesAndTimestamps) {
  const envmon_date leap = {2020, 2, 29, 0};
  const time_t t = duration_to_secs(&leap);
  struct tm tm;
  localtime_r(&t, &tm);
  EXPECT_EQ(tm.tm_year, 120);
  EXPECT_EQ(tm.tm_mon, 1);
  EXPECT_EQ(tm.tm_mday, 29);
  EXPECT_EQ(tm.tm_hour, 23);
  EXPECT_EQ(tm.tm_min, 59);
  EXPECT_EQ(tm.tm_sec, 59);

  char buf[32];
  envmon_get_timestamp_str(t, buf, sizeof(buf));
  char expected[32];
  ctime_r(&t, expected);
  EXPECT_STREQ(buf, expected);
  EXPECT_EQ(buf[24], '\n');
  char small[8];
  envmon_get_timestamp_str(t, small, sizeof(small));
  EXPECT_EQ(strlen(small), 7u);
}

// ---- Board power ----

class BoardPower : public Util {
 protected:
  void SetUp() override {
    Util::SetUp();
    ASSERT_EQ(envmon_init_node_scope_data(), ENVMON_OK);
    const char* vnames[] = {"VP1P0", "Hot_Swap Voltage", "HS_2 Vin", "Hot_Swap 3 Vin"};
    const char* inames[] = {"Hot_Swap Current", "IOUT", "HS_2 Iout", "HS_3 Iout"};
    for (int i = 0; i < 4; ++i) {
      snprintf(volt_[i].name, sizeof(volt_[i].name), "%s", vnames[i]);
      snprintf(curr_[i].name, sizeof(curr_[i].name), "%s", inames[i]);
      volt_[i].hw_event = curr_[i].hw_event = 0x10;
    }
    envmon_nm->voltage_data = {volt_, 4, 0};
    envmon_nm->current_data = {curr_, 4, 0};
    envmon_nm->power_data = {&power_, 1, 0};
  }
  void TearDown() override {
    envmon_nm->voltage_data = {};
    envmon_nm->current_data = {};
    envmon_nm->power_data = {};
    Util::TearDown();
  }
  envmon_sensor_info volt_[4]{};
  envmon_sensor_info curr_[4]{};
  envmon_sensor_info power_{};
};

TEST_F(BoardPower, HotSwapIndexesFromTheNames) {
  envmon_board_pwr_idx idx{};
  envmon_get_nm_board_pwr_idx(&idx);
  EXPECT_EQ(idx.valid, 1);
  EXPECT_EQ(idx.hs1_idx[0], 1);
  EXPECT_EQ(idx.hs1_idx[1], 0);
  EXPECT_EQ(idx.has_hs2, 1);
  EXPECT_EQ(idx.hs2_idx[0], 2);
  EXPECT_EQ(idx.hs2_idx[1], 2);
  EXPECT_EQ(idx.has_hs3, 1);
  EXPECT_EQ(idx.hs3_idx[0], 3);
  EXPECT_EQ(idx.hs3_idx[1], 3);
  // Nothing is done while a list is empty.
  envmon_board_pwr_idx none{};
  envmon_nm->current_data.count = 0;
  envmon_get_nm_board_pwr_idx(&none);
  EXPECT_EQ(none.valid, 0);
}

TEST_F(BoardPower, PowerFromVoltageAndCurrent) {
  envmon_board_pwr_idx idx{};
  idx.hs1_idx[0] = 1;
  idx.hs1_idx[1] = 0;
  idx.valid = 1;
  // One group: V 12340 mV (scale 8), I 1000 mA: P1 = 123 x 1000 / 1000 = 123...
  volt_[1].value = 12340;
  volt_[1].scale = 8;
  volt_[1].timestamp = 777;
  curr_[0].value = 10032;
  curr_[0].scale = 8;
  // P1 = (12340 / 100) x 10032 / 1000 = 123 x 10032 / 1000 = 1233; (1233 + 10) / 10 = 124.
  uint8_t state_changed = 9, value_changed = 9;
  envmon_calculate_board_power_value(&idx, 0, &state_changed, &value_changed, 3, 0xfffe);
  EXPECT_EQ(power_.value, 124);
  EXPECT_EQ(power_.timestamp, 777u);
  EXPECT_EQ(power_.hw_event, 0x10u);
  EXPECT_EQ(state_changed, 1);
  EXPECT_EQ(value_changed, 1);
  // Same reading again: nothing changes.
  envmon_calculate_board_power_value(&idx, 0, &state_changed, &value_changed, 3, 0xfffe);
  EXPECT_EQ(state_changed, 0);
  EXPECT_EQ(value_changed, 0);
  // Units: a voltage in volts (scale 9) is taken times 1000, a current of
  // precision 3 divided by 1000.
  volt_[1].value = 12;
  volt_[1].scale = 9;
  curr_[0].value = 2000000;
  curr_[0].precision = 3;
  envmon_calculate_board_power_value(&idx, 0, &state_changed, &value_changed, 3, 0xfffe);
  EXPECT_EQ(power_.value, (120 * 2000 / 1000 + 10) / 10);
  // A second group adds its power.
  idx.has_hs2 = 1;
  idx.hs2_idx[0] = 2;
  idx.hs2_idx[1] = 2;
  volt_[2].value = 5000;
  volt_[2].scale = 8;
  curr_[2].value = 3000;
  curr_[2].scale = 8;
  envmon_calculate_board_power_value(&idx, 0, &state_changed, &value_changed, 3, 0xfffe);
  EXPECT_EQ(power_.value, (240 + 150 + 10) / 10);
}

TEST_F(BoardPower, AnUnreadableSensorMakesThePowerUnreadable) {
  envmon_board_pwr_idx idx{};
  idx.valid = 1;
  power_.hw_event = 0x10;
  power_.value = 55;
  curr_[0].hw_event = 0x20;
  uint8_t state_changed = 0, value_changed = 0;
  envmon_calculate_board_power_value(&idx, 0, &state_changed, &value_changed, 3, 0xfffe);
  EXPECT_EQ(power_.hw_event, 0x20u);
  EXPECT_EQ(state_changed, 1);
  EXPECT_EQ(value_changed, 0);
  EXPECT_EQ(power_.value, 55);
  // Scopes and slots that are not supported, and an index past the power list.
  tlg_test_clear("envmon_cmn_err");
  ASSERT_EQ(envmon_init_rack_scope_data(), ENVMON_OK);
  envmon_calculate_board_power_value(&idx, 0, &state_changed, &value_changed, 1, 77);
  EXPECT_TRUE(err_traced("envmon_calculate_board_power_value: RACK scope slot 77 is not supported\n"));
  envmon_calculate_board_power_value(&idx, 0, &state_changed, &value_changed, 2, 0);
  EXPECT_TRUE(err_traced("envmon_calculate_board_power_value: scope 2 is not supported\n"));
  curr_[0].hw_event = 0x10;
  envmon_calculate_board_power_value(&idx, 1, &state_changed, &value_changed, 3, 0xfffe);
  EXPECT_EQ(power_.hw_event, 0x20u);  // power index 1 does not exist: nothing done
}

}  // namespace
