// Optics-driven fan ramp: hot optics step the fans up one row of the speed
// table every 90 s; once cool for 5 minutes they step down one row every 10
// minutes back to the inlet's row; 15 minutes without optics events end it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "drvif.h"
#include "envmon_hal.h"
#include "fan_test_support.h"

namespace {

using fantest::FanChassis;
using fantest::faults_of;
using fantest::nb;

constexpr uint32_t kGen2Board = 0xab040022;
// Rows of the 10-row table, by PWM.
constexpr uint8_t kRowPwm[] = {44, 47, 50, 55, 60, 65, 70, 80, 90, 100};

class Optics : public testing::Test {
 protected:
  void SetUp() override {
    for (fantray_cb& ft : chassis.trays) ft.board_id = kGen2Board;
    chassis.start_all_present();
    chassis.inv_temp(0, 1, "Inlet Temp", 29);  // row 3
    ASSERT_EQ(chassis.zone_speed(0), kRowPwm[3]);
    nb().faults.clear();
  }

  // An optics module at its minor-high temperature, as the driver reports it.
  void hot(uint32_t slot) {
    drvif_sensor_data_rec rec{};
    rec.eid = fantest::temp_eid(slot, 1);
    rec.value = 75;
    rec.thr_minor_high = 70;
    rec.oper_state = 1;
    envmon_hal_drvif_sensor_data_notification(ENVMON_SENSOR_TEMPERATURE, &rec, &rec.eid, "optics", rec.eid.tsi,
                                              rec.eid.tsi_count, slot, ENVMON_SCOPE_RACK, rec.value, 0x10, 0, 0, 0, 9,
                                              0, 0, 1);
    envmon_free_tsi(&rec.eid);
  }

  size_t list_size() const {
    size_t n = 0;
    for (const optics_sensor* s = optics_sensor_list; s != nullptr; s = s->next) ++n;
    return n;
  }

  FanChassis chassis;
};

TEST_F(Optics, HotOpticsStepTheFansUpEvery90SecondsToTheTopRow) {
  hot(650);
  EXPECT_EQ(chassis.zone_speed(0), kRowPwm[4]) << "first step at the ramp start";
  const auto raised = faults_of(16, 79);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].state, 1);
  EXPECT_EQ(raised[0].level, 2);
  EXPECT_EQ(raised[0].text, "Optics fan algo running.");
  EXPECT_EQ(raised[0].slot, ENVMON_SLOT_SELF);
  for (int row = 5; row <= 9; ++row) {
    chassis.advance(89);
    EXPECT_EQ(chassis.zone_speed(0), kRowPwm[row - 1]);
    chassis.advance(1);
    EXPECT_EQ(chassis.zone_speed(0), kRowPwm[row]) << "row " << row;
  }
  chassis.advance(900);
  EXPECT_EQ(chassis.zone_speed(0), kRowPwm[9]) << "never above the top row, and kept while hot";
  // A second start while ramping changes nothing.
  hot(650);
  EXPECT_EQ(faults_of(16, 79).size(), 1u);
}

TEST_F(Optics, CoolOpticsHoldFiveMinutesThenStepDownEveryTenBackToTheInletRow) {
  hot(650);
  chassis.advance(90);
  ASSERT_EQ(chassis.zone_speed(0), kRowPwm[5]);
  envmon_hal_fan_algo_optics_removal(650);
  EXPECT_EQ(optics_sensor_list, nullptr);
  chassis.advance(299);
  EXPECT_EQ(chassis.zone_speed(0), kRowPwm[5]) << "held during the wait";
  chassis.advance(1);
  EXPECT_EQ(chassis.zone_speed(0), kRowPwm[4]);
  EXPECT_TRUE(faults_of(16, 79).size() == 1) << "still running";
  chassis.advance(599);
  EXPECT_EQ(chassis.zone_speed(0), kRowPwm[4]);
  chassis.advance(1);
  EXPECT_EQ(chassis.zone_speed(0), kRowPwm[3]);
  const auto cleared = faults_of(16, 79);
  ASSERT_EQ(cleared.size(), 2u);
  EXPECT_EQ(cleared[1].state, 2);
  EXPECT_EQ(cleared[1].text, "");
  // Back to normal: the periodic evaluation runs again.
  nb().writes.clear();
  for (fantray_cb& ft : chassis.trays) ft.fan_data.reg_state = 0;
  chassis.advance(30);
  EXPECT_FALSE(nb().writes.empty());
}

TEST_F(Optics, OpticsHotAgainDuringTheWaitRampUpAgain) {
  hot(650);
  envmon_hal_fan_algo_optics_removal(650);
  chassis.advance(100);
  const uint8_t held = chassis.zone_speed(0);
  hot(651);
  chassis.advance(90);
  EXPECT_GT(chassis.zone_speed(0), held);
}

TEST_F(Optics, RecoverTimerExpiryEndsOpticsControl) {
  hot(650);
  envmon_hal_fan_algo_optics_removal(650);
  chassis.advance(300);  // cool: back at the inlet's row, fault cleared
  ASSERT_EQ(faults_of(16, 79).back().state, 2);
  // An optics module that turned hot without a ramp: only the recover timer
  // is left to end it.
  optics_sensor* node = static_cast<optics_sensor*>(std::calloc(1, sizeof(optics_sensor)));
  node->eid = fantest::temp_eid(652, 1);
  node->slot = 652;
  optics_sensor_list = node;
  restart_optics_recover_timer();
  nb().faults.clear();
  chassis.advance(900);
  EXPECT_EQ(optics_sensor_list, nullptr);
  ASSERT_EQ(faults_of(16, 79).size(), 1u);
  EXPECT_EQ(faults_of(16, 79)[0].state, 2);
  chassis.inv_temp(0, 1, "Inlet Temp", 29);
  EXPECT_EQ(chassis.zone_speed(0), kRowPwm[3]);
}

TEST_F(Optics, ALineCardLeavingTakesItsOpticsNodesAlong) {
  struct Case {
    const char* name;
    std::vector<uint32_t> hot_slots;
    uint32_t card_slot;
    uint32_t card_type;
    size_t left;
  };
  // Optics slots 600-679 belong to card 1, 680-759 to card 2.
  const Case cases[] = {
      {"every node of the card, first and in between", {600, 700, 679}, 1, 27000, 1},
      {"the last ones start the wait", {600, 601}, 1, 27000, 0},
      {"a card type without optics control", {600}, 1, 27002, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (uint32_t s : c.hot_slots) hot(s);
    envmon_hal_fan_algo_optics_sensor_list_upd(c.card_slot, c.card_type, 0);
    EXPECT_EQ(list_size(), c.left);
    if (c.left == 0) {
      // The wait holds the speed, then the ramp-down starts.
      const uint8_t held = chassis.zone_speed(0);
      chassis.advance(300);
      EXPECT_LT(chassis.zone_speed(0), held);
    }
    disable_optics_FT_algo();
    EXPECT_EQ(optics_sensor_list, nullptr);
  }
}

}  // namespace
