// Start and stop of fan management and its start-up wait: the pass waits for
// the inventory and fan-driver connections and for every tray's first event,
// holds while the missing trays are mostly unreadable ones, then sets the
// fans and starts the periodic evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "envmon_hal.h"
#include "fan_test_support.h"

namespace {

using fantest::FanChassis;
using fantest::faults_of;
using fantest::nb;

size_t count_calls(const std::string& call) {
  return static_cast<size_t>(std::count(nb().calls.begin(), nb().calls.end(), call));
}

TEST(FanStartUp, WaitsForTheConnectionsAndEveryTraysFirstEvent) {
  FanChassis chassis;
  chassis.records.rm.inv_invreg_connected = 0;
  chassis.start();
  EXPECT_EQ(count_calls("envmon_capi_inv_request_temp_notification()"), 1u);
  chassis.insert(0);
  chassis.insert(1);
  chassis.advance(60);
  EXPECT_TRUE(faults_of(16, 1).empty());
  EXPECT_TRUE(nb().writes.empty());
  chassis.records.rm.inv_invreg_connected = 1;
  chassis.advance(60);  // tray 2 has not been heard of
  EXPECT_TRUE(faults_of(16, 1).empty());
  EXPECT_TRUE(nb().writes.empty());
  chassis.remove(2);  // reported absent
  EXPECT_TRUE(faults_of(16, 1).empty());
  chassis.advance(10);  // all seen: 20 s more
  EXPECT_TRUE(nb().writes.empty());
  chassis.advance(20);
  ASSERT_EQ(faults_of(16, 1).size(), 1u);
  EXPECT_EQ(faults_of(16, 1)[0].slot, 43u);
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 2);
  EXPECT_EQ(chassis.last_written(0), std::vector<int32_t>(6, 100));
  EXPECT_EQ(chassis.last_written(2), std::vector<int32_t>(6, -1));
  // With a tray missing the periodic evaluation does not run.
  nb().writes.clear();
  for (fantray_cb& ft : chassis.trays) ft.fan_data.reg_state = 0;
  chassis.advance(60);
  EXPECT_TRUE(nb().writes.empty());
}

TEST(FanStartUp, AllPresentStartsThePeriodicEvaluation) {
  FanChassis chassis;
  chassis.start_all_present();
  EXPECT_TRUE(faults_of(16, 1).empty());
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 1);
  EXPECT_EQ(chassis.last_written(1), std::vector<int32_t>(6, 100));  // no inlet reading yet
  nb().writes.clear();
  for (fantray_cb& ft : chassis.trays) ft.fan_data.reg_state = 0;
  chassis.advance(29);
  EXPECT_TRUE(nb().writes.empty());
  chassis.advance(1);
  EXPECT_EQ(nb().writes.size(), 1u);
}

TEST(FanStartUp, MissingTraysThatAreMostlyUnreadableHoldTheWaitAtFullSpeed) {
  FanChassis chassis;
  chassis.start();
  chassis.insert(0);
  chassis.remove(1);
  envmon_hal_fan_mgmt_fantray_oir(2, 0, &chassis.containers[2], 1, "unreadable");
  chassis.advance(10);
  // Tray 1 is away for real; tray 2 only cannot be read. Fans at full speed,
  // no chassis shutdown counted down, and the wait goes on.
  EXPECT_EQ(chassis.last_written(0), std::vector<int32_t>(6, 100));
  ASSERT_EQ(faults_of(16, 1).size(), 1u);
  EXPECT_EQ(faults_of(16, 1)[0].slot, 42u);
  chassis.advance(60);
  EXPECT_EQ(faults_of(16, 1).size(), 1u) << "raised once while waiting";
  EXPECT_TRUE(faults_of(16, 46).empty());
  EXPECT_TRUE(faults_of(10, 101).empty());
  // Tray 2 becomes readable and present: the wait ends, and the start-up
  // pass raises tray 1's fault once more.
  chassis.insert(2);
  chassis.advance(30);
  EXPECT_EQ(faults_of(16, 1).size(), 2u);
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 2);
}

TEST(FanStartUp, ARepeatedStartOnlyAsksForTemperaturesAgain) {
  FanChassis chassis;
  chassis.start_all_present();
  chassis_fan_info_t* record = chassis_fan_info;
  chassis.start();
  EXPECT_EQ(chassis_fan_info, record);
  EXPECT_EQ(count_calls("envmon_capi_inv_request_temp_notification()"), 2u);
  EXPECT_EQ(envmon_hal_fan_mgmt_is_fantray_active(2), 1);
}

TEST(FanStartUp, StopReleasesEverythingAndAStartAfterItWaitsAgain) {
  FanChassis chassis;
  chassis.start_all_present();
  envmon_set_card_fan_zone(0, 10, 0);
  chassis.inv_temp(10, 1, "ASIC Temp", 95);  // critical: card shutdown in 15 s
  envmon_hal_fan_mgmt_uninit();
  EXPECT_EQ(chassis_fan_info, nullptr);
  EXPECT_EQ(is_timer_init_done(), 0);
  for (uint32_t t = 0; t < 3; ++t) EXPECT_EQ(count_calls("envmon_rm_fan_cb_cleanup(" + std::to_string(t) + ")"), 1u);
  chassis.advance(30);
  EXPECT_TRUE(faults_of(10, 100).empty()) << "no timer outlives its fan management";
  // Hooks answer quietly without fan management.
  EXPECT_EQ(envmon_hal_fan_mgmt_fantray_oir(0, 0, &chassis.containers[0], 0, nullptr), 0u);
  EXPECT_EQ(envmon_hal_fan_mgmt_fan_speed_update(0, 1), 0u);

  // The next run waits for the trays as the first did.
  nb().faults.clear();
  chassis.start();
  chassis.insert(0);
  chassis.insert(1);
  chassis.advance(20);
  EXPECT_TRUE(faults_of(16, 1).empty()) << "tray 2 has not been heard of in this run";
  chassis.insert(2);
  chassis.advance(30);
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 1);
  EXPECT_TRUE(faults_of(16, 1).empty());
}

}  // namespace
