// A line card's reload flag and inventory's record of powered-on cards.
#include "pwr_mgmt_fixture.h"

namespace {

using namespace pwrtest;

class Reload : public PwrTest {
 protected:
  void SetUp() override {
    PwrTest::SetUp();
    start();
    make_ready();
    envmon_pm::fru_pwr_alloc_published = true;
  }
  void reload_info(uint32_t pos, uint8_t in_reload, uint32_t type = kLcType) {
    ReqEid eid(slot_of(ENVMON_CARD_CLASS_LC, pos), 1, pos);
    envmon_pwr_mgmt_update_card_reload_info(&eid.e, type, "", 1, 0, in_reload);
  }
  // Line card `pos` holding `budget` in `status`.
  void hold(uint32_t pos, int32_t status, uint16_t budget) {
    envmon_entity_pbudget_info_t& c = card_of(ENVMON_CARD_CLASS_LC, pos);
    c.max_budget = 300;
    c.stby_zn_budget = 30;
    c.ext_budget = 350;
    envmon_pwr_mgmt_change_to_new_pbudget(static_cast<uint8_t>(pos), budget);
    c.status = status;
  }
};

TEST_F(Reload, ReloadFlagAndTheBudgetOfACardKnownToBeOff) {
  struct Case {
    const char* name;
    int32_t status;
    uint8_t cards_known;
    uint8_t in_reload;
    uint8_t flag;
    int32_t after;
    uint16_t budget;
  };
  const Case cases[] = {
      {"requested, not reloading: released", ENVMON_PWR_OFF_REQUESTED, 1, 0, 0, ENVMON_PWR_OFF, 30},
      {"off-temp-reserved, not reloading: released", ENVMON_PWR_OFF_TEMP_RESERVED, 1, 0, 0,
       ENVMON_PWR_OFF, 30},
      {"requested, reloading: kept", ENVMON_PWR_OFF_REQUESTED, 1, 1, 1, ENVMON_PWR_OFF_REQUESTED,
       300},
      {"on, reloading", ENVMON_PWR_ON, 1, 1, 1, ENVMON_PWR_ON, 300},
      {"holding no budget once every card is known: never reloading",
       ENVMON_PWR_STBY_ZONE_RESERVED, 1, 1, 0, ENVMON_PWR_STBY_ZONE_RESERVED, 30},
      {"holding no budget before the card information", ENVMON_PWR_STBY_ZONE_RESERVED, 0, 1, 1,
       ENVMON_PWR_STBY_ZONE_RESERVED, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    hold(1, c.status, c.status == ENVMON_PWR_STBY_ZONE_RESERVED ? 30 : 300);
    pm().all_card_info_rcvd = c.cards_known;
    tlg_test_clear(nullptr);
    reload_info(1, c.in_reload);
    const envmon_entity_pbudget_info_t& lc = card(1);
    EXPECT_EQ(lc.in_reload, c.flag);
    EXPECT_EQ(lc.status, c.after);
    EXPECT_EQ(lc.pbudget, c.budget);
    EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
    EXPECT_TRUE(tlg_test_contains(kPwrm, "LC card(1) in_reload flag: " + std::to_string(c.flag) + "\n"));
    EXPECT_EQ(tlg_test_contains(kPwrm, "LC card(1) shutdown, invoke envmon_pwr_mgmt_card_state_upd "
                                       "to release power budget\n"),
              c.after == ENVMON_PWR_OFF);
  }
}

TEST_F(Reload, OnlyLineCardsWithARecord) {
  hold(0, ENVMON_PWR_OFF_REQUESTED, 300);
  card(0).in_reload = 1;
  reload_info(0, 0, kFcType);
  reload_info(3, 0, 12345);
  EXPECT_EQ(card(0).in_reload, 1);
  EXPECT_EQ(card(0).status, ENVMON_PWR_OFF_REQUESTED);
  ReqEid nowhere(99, 1, 99);
  envmon_pwr_mgmt_update_card_reload_info(&nowhere.e, kLcType, "", 1, 0, 0);
  EXPECT_EQ(card(0).status, ENVMON_PWR_OFF_REQUESTED);
}

TEST_F(Reload, InventoryPowerOnRecordsAreAdopted) {
  struct Case {
    const char* name;
    uint8_t subtype;
    int32_t inv_status;
    uint32_t allocated;
    int32_t status;      // before
    uint16_t budget;     // before
    int32_t after;
    uint16_t adopted;
    uint32_t bitmap;
  };
  const Case cases[] = {
      {"line card on, record already larger", 1, 2, 300, ENVMON_PWR_OFF_REQUESTED, 350, ENVMON_PWR_ON,
       350, 0},
      {"line card on with more power", 1, 2, 400, ENVMON_PWR_INVALID, 350, ENVMON_PWR_ON, 400, 0x1},
      {"line card holding reserved power", 1, 4, 400, ENVMON_PWR_INVALID, 30,
       ENVMON_PWR_OFF_TEMP_RESERVED, 400, 0},
      {"line card reserved, record enough", 1, 4, 300, ENVMON_PWR_INVALID, 300, ENVMON_PWR_INVALID,
       300, 0},
      {"fabric card reserved: unchanged", 4, 4, 400, ENVMON_PWR_INVALID, 30, ENVMON_PWR_INVALID, 30,
       0},
      {"fabric card on", 4, 2, 250, ENVMON_PWR_INVALID, 30, ENVMON_PWR_ON, 250, 0},
      {"other inventory status: ignored", 1, 3, 400, ENVMON_PWR_INVALID, 30, ENVMON_PWR_INVALID, 30,
       0},
      // The record holds 16 bits: more is kept as the most it can hold.
      {"allocation beyond the record's width", 1, 2, 70000, ENVMON_PWR_INVALID, 30, ENVMON_PWR_ON,
       65535, 0x1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t group = c.subtype == 1 ? ENVMON_CARD_CLASS_LC : ENVMON_CARD_CLASS_FC;
    const uint8_t idx = static_cast<uint8_t>(pm().start_index[group]);
    envmon_pwr_mgmt_change_to_new_pbudget(idx, c.budget);
    card(idx).status = c.status;
    pm().lc_powered_on_bitmap = 0;
    calls().clear();
    envmon_pwr_mgmt_card_powered_on_update_from_inv(c.subtype, 0, c.inv_status, c.allocated);
    EXPECT_EQ(card(idx).status, c.after);
    EXPECT_EQ(card(idx).pbudget, c.adopted);
    EXPECT_EQ(pm().lc_powered_on_bitmap, c.bitmap);
    EXPECT_EQ(pm().total_power_budget, sum_of_allocations());
    // The inventory response publishes everything afterwards.
    EXPECT_EQ(pwr_mgmt_calls({"notify_"}), std::vector<std::string>{});
  }
}

TEST_F(Reload, AdoptionIsTraced) {
  envmon_pwr_mgmt_card_powered_on_update_from_inv(1, 2, 2, 400);
  EXPECT_TRUE(tlg_test_contains(
      kPwrm, "envmon_pwr_mgmt_card_powered_on_update_from_inv - card(idx2):  status changed from "
             "STBY_ZONE_RESERVED to ON, card power budget changed from 30 to 400, total power budget "
             "from 900 to 1270(W), lc_powered_on_bitmap 0x4\n"));
}

TEST_F(Reload, InventoryRecordsThatNameNoCard) {
  struct Case {
    const char* name;
    uint8_t subtype;
    int32_t inst;
    uint32_t chassis;
    const char* traced;
  };
  const Case cases[] = {
      {"bad subtype", 7, 0, kPlainChassis, "envmon_pwr_mgmt_card_powered_on_update_from_inv: invalid subtype 7\n"},
      {"bad instance", 1, 42, kPlainChassis,
       "envmon_pwr_mgmt_card_powered_on_update_from_inv: invalid LC instance 42\n"},
      {"line card on an excluded chassis", 1, 0, 592354, nullptr},
      {"line card on another excluded chassis", 1, 0, 1610678537, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear(nullptr);
    envmon_rm->chassis_type = c.chassis;
    const int32_t total = pm().total_power_budget;
    envmon_pwr_mgmt_card_powered_on_update_from_inv(c.subtype, c.inst, 2, 500);
    EXPECT_EQ(pm().total_power_budget, total);
    EXPECT_EQ(card(0).status, ENVMON_PWR_STBY_ZONE_RESERVED);
    if (c.traced) {
      EXPECT_TRUE(err_traced(c.traced));
    } else {
      EXPECT_TRUE(tlg_test_lines(kErr).empty());
    }
  }
}

}  // namespace
