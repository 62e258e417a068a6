// Writing fan speeds to the fan driver: second-generation trays in steps of
// 10 PWM, one step a second; the configured raised speed; refusals; one tray
// at a time; one fan again.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "envmon_hal.h"
#include "fan_test_support.h"

namespace {

using fantest::FanChassis;
using fantest::nb;

constexpr uint32_t kGen2Board = 0xab040022;
constexpr uint32_t kSetPending = 0x400;

// The values written to one fan, in order.
std::vector<uint32_t> writes_to(uint32_t slot, uint32_t fan) {
  std::vector<uint32_t> out;
  for (const fantest::Write& w : nb().writes) {
    for (size_t i = 0; i < w.values.size(); ++i) {
      if (w.slots[i] == slot && w.fans[i] == fan) out.push_back(w.values[i]);
    }
  }
  return out;
}

// The set-sensor acknowledgement of the driver ends the tray's request.
void acknowledge(FanChassis& c) {
  for (fantray_cb& ft : c.trays) ft.fan_data.reg_state &= ~kSetPending;
}

class SecondGeneration : public testing::Test {
 protected:
  void SetUp() override {
    for (fantray_cb& ft : chassis.trays) ft.board_id = kGen2Board;
    chassis.start();
    for (uint32_t t = 0; t < 3; ++t) chassis.insert(t);
    chassis.inv_temp(0, 1, "Inlet Temp", 30);  // 60 PWM
    chassis.advance(30);                       // start-up wait and pass: the first step
    nb().events.clear();
  }
  FanChassis chassis;
};

TEST_F(SecondGeneration, FansRampFromUnsetToTheirTargetOneStepASecond) {
  EXPECT_EQ(writes_to(41, 0), (std::vector<uint32_t>{91}));
  chassis.advance(1);
  EXPECT_EQ(writes_to(41, 0), (std::vector<uint32_t>{91, 81}));
  chassis.advance(3);
  const std::vector<uint32_t> ramp = {91, 81, 71, 61, 60};
  for (uint32_t t = 0; t < 3; ++t) {
    for (uint32_t f = 0; f < 6; ++f) EXPECT_EQ(writes_to(41 + t, f), ramp) << "tray " << t << " fan " << f;
  }
  for (const fantest::Write& w : nb().writes) {
    EXPECT_EQ(w.driver, ENVMON_DRV_FAN);
    EXPECT_EQ(w.kinds, std::vector<uint32_t>(w.values.size(), 13u));
  }
  // Each write asks the state machine to follow the requests up.
  EXPECT_EQ(nb().events, std::vector<uint32_t>(4, 9u));
  // Done: nothing more until the periodic evaluation finds the requests
  // answered and sends the speeds again.
  chassis.advance(10);
  EXPECT_EQ(writes_to(41, 0).size(), 5u);
  acknowledge(chassis);
  chassis.advance(30);
  EXPECT_EQ(writes_to(41, 0), (std::vector<uint32_t>{91, 81, 71, 61, 60, 60}));
}

TEST_F(SecondGeneration, ASingleTrayUpdateWritesThatTrayOnly) {
  // Mid-ramp, the core asks for tray 1 again, with its sensors polled.
  nb().writes.clear();
  nb().polls.clear();
  envmon_hal_fan_mgmt_fan_speed_update(1, 1);
  ASSERT_EQ(nb().writes.size(), 1u);
  EXPECT_EQ(nb().writes[0].slots, std::vector<uint32_t>(6, 42u));
  EXPECT_EQ(nb().writes[0].values, std::vector<uint32_t>(6, 81u));
  // The other trays' requests are not marked as sent.
  acknowledge(chassis);
  envmon_hal_fan_mgmt_fan_speed_update(1, 0);
  EXPECT_EQ(chassis.trays[0].fan_data.reg_state & kSetPending, 0u);
  EXPECT_NE(chassis.trays[1].fan_data.reg_state & kSetPending, 0u);
  // Polling of every sensor group of the tray by the fan driver.
  EXPECT_EQ(nb().polls.size(), 6u);
  for (const fantest::Poll& p : nb().polls) {
    EXPECT_EQ(p.mode, 3u);
    EXPECT_EQ(p.driver, 1u);
  }
  EXPECT_EQ(chassis.trays[1].temp_data.reg_state & 0xf0000300u, 0xf0000100u);
  EXPECT_NE(std::count(nb().events.begin(), nb().events.end(), 9u), 0);
}

TEST_F(SecondGeneration, AWriteRefusedOnTheLastStepStillResumesThePeriodicEvaluation) {
  chassis.advance(3);  // 61 written
  ASSERT_EQ(writes_to(41, 0).back(), 61u);
  envmon_hal_fan_timer_disable(1);
  chassis.advance(1);  // the last step is refused
  EXPECT_EQ(writes_to(41, 0).back(), 61u);
  envmon_hal_fan_timer_disable(0);
  chassis.inv_temp(0, 1, "Inlet Temp", 30);  // any evaluation completes the ramp
  EXPECT_EQ(writes_to(41, 0).back(), 60u);
  const size_t written = writes_to(41, 0).size();
  acknowledge(chassis);
  chassis.advance(30);
  EXPECT_EQ(writes_to(41, 0).size(), written + 1) << "the periodic evaluation stopped for good";
}

TEST(FanSpeedSet, RaisedSpeedOfTheConfigurationWinsOverLowerZones) {
  struct Case {
    const char* name;
    uint32_t user_pwm;
    int32_t asic;   // a line-card sensor's temperature
    uint32_t want;
  };
  const Case cases[] = {
      {"no raised speed", 0, 50, 20},
      {"raised speed above every zone", 80, 50, 80},
      {"a zone at full speed", 80, 75, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis;
    chassis.start_all_present();
    envmon_set_card_fan_zone(0, 10, 0);
    chassis.inv_temp(0, 1, "Inlet Temp", 25);
    chassis.inv_temp(10, 1, "ASIC Temp", c.asic);
    chassis.records.rm.user_fan_speed_pwm = c.user_pwm;
    envmon_hal_user_fan_speed_change();
    EXPECT_EQ(chassis.last_written(2), std::vector<int32_t>(6, static_cast<int32_t>(c.want)));
  }
}

TEST(FanSpeedSet, NothingIsWrittenWhileRefused) {
  struct Case {
    const char* name;
    void (*refuse)(FanChassis&);
  };
  const Case cases[] = {
      {"fan control disabled by request", [](FanChassis&) { envmon_hal_fan_timer_disable(1); }},
      {"not the active role", [](FanChassis& c) { c.records.rm.svc_role = ENVMON_ROLE_STANDBY; }},
      {"fan-tray control off", [](FanChassis& c) { c.records.rm.env_cfg.ft_ctrl = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis;
    chassis.start_all_present();
    c.refuse(chassis);
    nb().writes.clear();
    chassis.inv_temp(0, 1, "Inlet Temp", 45);
    envmon_hal_user_fan_speed_change();
    EXPECT_TRUE(nb().writes.empty());
  }
}

TEST(FanSpeedSet, NoSpeedReachesTheDriverBeforeTheStartUpPass) {
  FanChassis chassis;
  chassis.start();
  for (uint32_t t = 0; t < 3; ++t) chassis.insert(t);
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  envmon_hal_fan_mgmt_fan_speed_update(0, 0);
  EXPECT_TRUE(nb().writes.empty());
  chassis.advance(30);
  EXPECT_EQ(chassis.last_written(0), std::vector<int32_t>(6, 20));
}

TEST(FanSpeedSet, OneFanIsSentItsSpeedAgain) {
  FanChassis chassis;
  chassis.start_all_present();
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  nb().writes.clear();
  envmon_hal_fan_mgmt_fan_speed_update_per_eid(1, &chassis.fans[1][4]);
  ASSERT_EQ(nb().writes.size(), 1u);
  EXPECT_EQ(nb().writes[0].slots, std::vector<uint32_t>{42});
  EXPECT_EQ(nb().writes[0].fans, std::vector<uint32_t>{4});
  EXPECT_EQ(nb().writes[0].values, std::vector<uint32_t>{20});
  // A fan of another tray, an absent tray or a tray beyond the chassis: nothing.
  nb().writes.clear();
  envmon_hal_fan_mgmt_fan_speed_update_per_eid(0, &chassis.fans[1][4]);
  envmon_hal_fan_mgmt_fan_speed_update_per_eid(5, &chassis.fans[1][4]);
  chassis.remove(2);
  nb().writes.clear();
  envmon_hal_fan_mgmt_fan_speed_update_per_eid(2, &chassis.fans[2][0]);
  EXPECT_TRUE(nb().writes.empty());
}

TEST(FanSpeedSet, SpeedUpdateAnswersTheRoleOffTheActiveRole) {
  FanChassis chassis;
  chassis.start_all_present();
  chassis.records.rm.svc_role = ENVMON_ROLE_STANDBY;
  EXPECT_EQ(envmon_hal_fan_mgmt_fan_speed_update(0, 1), ENVMON_ROLE_STANDBY);
  chassis.records.rm.svc_role = ENVMON_ROLE_ACTIVE;
  EXPECT_EQ(envmon_hal_fan_mgmt_fan_speed_update(7, 1), 0u);
}

TEST(FanSpeedSet, TrayHooksOfTheCore) {
  FanChassis chassis;
  EXPECT_EQ(envmon_hal_fan_mgmt_is_fantray_active(0), 0);
  EXPECT_EQ(envmon_hal_fan_mgmt_inv_reg_set_state(0, 1), 0);
  chassis.start();
  chassis.insert(1);
  EXPECT_EQ(envmon_hal_fan_mgmt_is_fantray_active(1), 1);
  EXPECT_EQ(envmon_hal_fan_mgmt_is_fantray_active(0), 0);
  EXPECT_EQ(envmon_hal_fan_mgmt_inv_reg_set_state(1, 1), 1);
  EXPECT_TRUE(envmon_hal_fan_mgmt_is_inv_reg_active(1));
  EXPECT_FALSE(envmon_hal_fan_mgmt_is_inv_reg_active(0));
  EXPECT_FALSE(envmon_hal_fan_mgmt_is_inv_reg_active(9));
  chassis.remove(1);
  EXPECT_FALSE(envmon_hal_fan_mgmt_is_inv_reg_active(1));
}

}  // namespace
