// Backplane current: the fixed board's hot-swap current from the currents
// inventory reports for the power supplies and the other FRUs.
#include "invreg_fixture.h"
#include "invreg_wire.h"

using namespace invtest;
namespace w = invreg_wire;

namespace {

class BbCurrent : public InvregTest {
 protected:
  void SetUp() override {
    InvregTest::SetUp();
    for (int32_t& v : bb_lc_fru_current_db) v = 0;
    for (int32_t& v : bb_pem_fru_curr) v = 0;
    nm().card_type = 0x3f054c;
    nm().slot_num = 3;
    answers().max_lc = 4;  // line cards in slots 2-5, fan trays from slot 10
    fill_list(nm().current_data, ENVMON_SLOT_SELF, ENVMON_SENSOR_CURRENT, 2, "Board");
    snprintf(nm().current_data.sensors[1].name, ENVMON_SENSOR_NAME_LEN, "LC Hot Swap Fixed");
    connect_node();
    model().clear_received();
  }
  // Inventory reports one current.
  void report(uint32_t slot, const char* name, int32_t value, uint32_t oper = 1) {
    inv_notify_event_data n{};
    n.event = INV_EVENT_CURRENT;
    n.value.eid = sensor_eid(slot, ENVMON_SENSOR_CURRENT, 1);
    n.value.name = const_cast<char*>(name);
    n.value.value = value;
    n.value.oper_state = oper;
    n.value.timestamp = 5000 + slot;
    n.value.present[0] = 0xff;
    n.value.present[1] = 0x01;
    n.present = 0x3;
    envmon_bb_update_fru_current(&n);
    envmon_free_tsi(&n.value.eid);
    run();
  }
  const envmon_sensor_info& fixed() { return nm().current_data.sensors[1]; }
  size_t pushes() { return model().received_of(w::kCurrentData).size(); }
};

TEST_F(BbCurrent, SuppliedMinusDrawnIsPushedAsTheFixedSensorsValue) {
  report(580, "PSU0 Output Current", 100);
  report(581, "PSU1 Output Current", 60);
  EXPECT_EQ(fixed().value, 160);
  report(0, "RP0 Hot Swap", 20);       // route processor
  report(4, "LC4 Hot Swap", 30);       // line card
  report(11, "FT1 Hot Swap", 15);      // fan tray
  report(9, "Slot9 Hot Swap", 99);     // in the table but counted by no sum
  EXPECT_EQ(fixed().value, 160 - 20 - 30 - 15);
  EXPECT_EQ(fixed().last_value, 95) << "the value pushed before";
  const invdb::Entity* e = in_model(fixed());
  ASSERT_TRUE(e && e->value);
  EXPECT_EQ(e->value->value, 95);
  EXPECT_EQ(e->value->timestamp, 5009u);
  EXPECT_EQ(invtest::count_of("envmon_obfl_set_state(LC Hot Swap Fixed,3)"), 6u);
}

TEST_F(BbCurrent, WhatDoesNotChangeOrDoesNotCountPublishesNothing) {
  report(580, "PSU0 Output Current", 100);
  const size_t before = pushes();
  struct Case {
    const char* name;
    uint32_t slot;
    const char* sensor;
    int32_t value;
    uint32_t oper;
  };
  const Case cases[] = {
      {"unchanged value", 580, "PSU0 Output Current", 100, 1},
      {"PSU sensor that is not the output", 580, "PSU0 Input Current", 5, 1},
      {"PSU not operational", 581, "PSU1 Output Current", 50, 2},
      {"board sensor that is not hot swap", 2, "LC2 Vcore Current", 7, 1},
      {"the board's own derived sensor", 2, "LC2 Hot Swap Fixed", 7, 1},
      {"slot beyond the table", 14, "X Hot Swap", 7, 1},
      {"slot after the PSUs", 584, "PSU4 Output Current", 7, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    report(c.slot, c.sensor, c.value, c.oper);
    EXPECT_EQ(pushes(), before);
  }
  for (uint32_t i = 0; i < 14; ++i) EXPECT_EQ(bb_lc_fru_current_db[i], 0) << i;
  EXPECT_EQ(bb_pem_fru_curr[1], 0);
}

TEST_F(BbCurrent, MoreDrawnThanSuppliedPublishesZero) {
  report(580, "PSU0 Output Current", 10);
  report(0, "RP0 Hot Swap", 25);
  EXPECT_EQ(fixed().value, 0);
  EXPECT_EQ(envmon_get_fixed_board_curr(), 0u);
}

TEST_F(BbCurrent, SumsStayInsideTheTableWhateverThePlatformLimits) {
  // Line cards and fan trays counted to slots 17 and 15: only the 14 entries exist.
  answers().max_lc = 16;
  answers().max_fantray = 6;
  for (uint32_t s = 0; s < 14; ++s) bb_lc_fru_current_db[s] = 1;
  bb_pem_fru_curr[0] = 100;
  // Route processors 0-1, line cards 2-13, fan trays 10-13 (both sums count those).
  EXPECT_EQ(envmon_get_fixed_board_curr(), 100u - 2 - 12 - 4);
  answers().max_rp = 20;
  EXPECT_EQ(envmon_get_fixed_board_curr(), 100u - 14 - 0 - 4);
  answers().max_fantray = 3;  // the fixture's fan-tray table
}

TEST_F(BbCurrent, OwnSlotWithoutPecStoresZeroOnceItHadAValue) {
  answers().no_pec = true;
  report(3, "LC3 Hot Swap", 40);
  EXPECT_EQ(bb_lc_fru_current_db[3], 40) << "a first value is kept";
  report(3, "LC3 Hot Swap", 45);
  EXPECT_EQ(bb_lc_fru_current_db[3], 0);
}

TEST_F(BbCurrent, RemovedFrusLeaveTheTablesWithinTheirBounds) {
  connect_inv();
  bb_lc_fru_current_db[4] = 30;
  bb_pem_fru_curr[2] = 70;
  bb_lc_fru_current_db[3] = 11;
  struct Case {
    const char* name;
    uint32_t kind;
    uint32_t slot;
  };
  const Case cases[] = {
      {"line card", 3, 4}, {"power supply", 9, 582}, {"this card's adapter", 18, 999},
      {"line card beyond the table", 7, 40}, {"power supply below its slots", 9, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    inv_fru_oir_event ev{};
    ev.op = INV_FRU_OIR_REMOVED;
    ev.fru_kind = c.kind;
    ev.slot = c.slot;
    ev.present = 0x7;
    envmon_inv_noti_fru_oir_event_cb(envmon_inv_hdl, &ev);
  }
  EXPECT_EQ(bb_lc_fru_current_db[4], 0);
  EXPECT_EQ(bb_pem_fru_curr[2], 0);
  EXPECT_EQ(bb_lc_fru_current_db[3], 0) << "the adapter's removal zeroes this card's entry";
}

}  // namespace
