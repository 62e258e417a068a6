// Fan-tray insertion and removal, their faults, and the shutdown requests of
// fan management: chassis after two minutes with two trays missing or with
// both route-processor inlets at 60 degrees, a card after 15 s at critical
// temperature, a port adapter through the slot-shut driver.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "envmon_hal.h"
#include "fan_test_support.h"
#include "tlg_test.h"

namespace {

using fantest::FanChassis;
using fantest::faults_of;
using fantest::nb;

constexpr char kTrayRemoved[] =
    "Fan Tray has been removed, please insert back within 3 minutes to prevent LCs from getting overheated.";
constexpr char kTwoMissing[] =
    "2 Fan Trays have been removed, chassis will shutdown in 2 minutes. Please re-insert Fan Trays.";

uint32_t counter(const FanChassis& c, uint32_t i) { return c.fan_algo_stats[5 * i]; }

TEST(FanTrayOir, RemovalsRaiseFaultsAndTwoMissingShutTheChassisDownAfterTwoMinutes) {
  FanChassis chassis;
  chassis.start_all_present();
  nb().faults.clear();

  chassis.remove(0);
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 2);
  for (int z = 0; z < ENVMON_FAN_ZONES; ++z) EXPECT_EQ(chassis.zone_speed(z), 100);
  auto removed = faults_of(16, 1);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed[0].state, 1);
  EXPECT_EQ(removed[0].level, 4);
  EXPECT_EQ(removed[0].text, kTrayRemoved);
  EXPECT_EQ(removed[0].slot, 41u);  // the tray's container
  EXPECT_EQ(counter(chassis, 5), 1u);
  EXPECT_TRUE(faults_of(16, 46).empty() || faults_of(16, 46).back().state == 2);

  chassis.remove(1);
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 3);
  auto missing = faults_of(16, 46);
  ASSERT_FALSE(missing.empty());
  EXPECT_EQ(missing.back().state, 1);
  EXPECT_EQ(missing.back().level, 5);
  EXPECT_EQ(missing.back().text, kTwoMissing);
  EXPECT_EQ(missing.back().slot, ENVMON_SLOT_SELF);  // the chassis

  chassis.advance(119);
  EXPECT_TRUE(faults_of(10, 101).empty());
  chassis.advance(1);
  auto shut = faults_of(10, 101);
  ASSERT_EQ(shut.size(), 1u);
  EXPECT_EQ(shut[0].action, 1u);
  EXPECT_EQ(shut[0].state, 1);
  EXPECT_EQ(shut[0].level, 5);
  EXPECT_EQ(shut[0].text, "Requesting shutdown of Chassis due to two or more Fan Trays missing");
  EXPECT_EQ(shut[0].rack, ENVMON_RACK_UNKNOWN);
  EXPECT_EQ(shut[0].slot, ENVMON_SLOT_SELF);
  EXPECT_EQ(counter(chassis, 8), 1u);
  chassis.advance(300);
  EXPECT_EQ(faults_of(10, 101).size(), 1u) << "the shutdown timer is one-shot";
}

TEST(FanTrayOir, ATrayBackInTimeStopsTheShutdownAndClearsTheFaults) {
  FanChassis chassis;
  chassis.start_all_present();
  chassis.remove(0);
  chassis.remove(2);
  chassis.advance(60);
  nb().faults.clear();
  chassis.insert(2);
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 2);
  ASSERT_FALSE(faults_of(16, 46).empty());
  EXPECT_EQ(faults_of(16, 46).back().state, 2);
  EXPECT_EQ(faults_of(16, 46).back().text, "");
  auto cleared = faults_of(16, 1);
  ASSERT_EQ(cleared.size(), 1u);
  EXPECT_EQ(cleared[0].state, 2);
  EXPECT_EQ(cleared[0].slot, 43u);
  EXPECT_EQ(counter(chassis, 6), 4u);  // three at start, one now
  chassis.advance(120);
  EXPECT_TRUE(faults_of(10, 101).empty());
  // All back: the periodic evaluation runs again.
  chassis.insert(0);
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 1);
  nb().writes.clear();
  for (fantray_cb& ft : chassis.trays) ft.fan_data.reg_state = 0;
  chassis.advance(30);
  EXPECT_FALSE(nb().writes.empty());
}

TEST(FanTrayOir, ShutdownIsOnlyRequestedOnTheActiveRoleWithMonitoringOn) {
  struct Case {
    const char* name;
    uint32_t role;
    uint8_t envmon_ctrl;
    size_t requests;
  };
  const Case cases[] = {{"active, monitoring on", 1, 1, 1}, {"standby", 2, 1, 0}, {"monitoring off", 1, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis;
    chassis.start_all_present();
    chassis.remove(0);
    chassis.remove(1);
    chassis.records.rm.svc_role = c.role;
    chassis.records.rm.env_cfg.envmon_ctrl = c.envmon_ctrl;
    chassis.advance(120);
    EXPECT_EQ(faults_of(10, 101).size(), c.requests);
  }
}

TEST(FanTrayOir, ARemovalWithAnUnreadableIdpromOnlyChangesTheIdpromFault) {
  FanChassis chassis;
  chassis.start_all_present();
  nb().faults.clear();
  envmon_hal_fan_mgmt_fantray_oir(1, 0, &chassis.containers[1], 1, "IDPROM read failed");
  EXPECT_EQ(envmon_hal_fan_mgmt_is_fantray_active(1), 1);
  EXPECT_EQ(chassis_fan_info->envmon_fan_state, 1);
  ASSERT_EQ(nb().faults.size(), 1u);
  EXPECT_EQ(nb().faults[0].type, 16u);
  EXPECT_EQ(nb().faults[0].tag, 77u);
  EXPECT_EQ(nb().faults[0].state, 1);
  EXPECT_EQ(nb().faults[0].text, "FT1: IDPROM read failed");
  // Readable again.
  envmon_hal_fan_mgmt_fantray_oir(1, 1, &chassis.containers[1], 0, nullptr);
  ASSERT_EQ(nb().faults.size(), 2u);
  EXPECT_EQ(nb().faults[1].tag, 77u);
  EXPECT_EQ(nb().faults[1].state, 2);
  EXPECT_EQ(nb().faults[1].text, "FT1");
}

TEST(FanTrayOir, ARemovalDuringTheStartUpWaitRaisesNoFaultYet) {
  FanChassis chassis;
  chassis.start();
  for (uint32_t t = 0; t < 3; ++t) chassis.insert(t);
  chassis.remove(2);
  EXPECT_TRUE(faults_of(16, 1).empty());
  chassis.advance(30);  // the start-up pass raises it
  ASSERT_EQ(faults_of(16, 1).size(), 1u);
  EXPECT_EQ(faults_of(16, 1)[0].slot, 43u);
}

TEST(FanTrayOir, AFailedClearKeepsTheFaultMarkedRaised) {
  FanChassis chassis;
  chassis.start_all_present();
  chassis.remove(0);
  ASSERT_EQ(chassis_fan_info->trays[0].alarm_state, 1);
  nb().fault_result = 0x1234;
  chassis.insert(0);
  EXPECT_EQ(chassis_fan_info->trays[0].alarm_state, 1);
  nb().fault_result = 0;
}

TEST(FanTrayOir, RouteProcessorInletsAt60DegreesShutTheChassisDown) {
  struct Case {
    const char* name;
    std::optional<int32_t> rp0;
    std::optional<int32_t> rp1;
    bool shut;
  };
  const Case cases[] = {
      {"61 and 59", 61, 59, false},
      {"61 and 60", 61, 60, true},
      {"one reads 60, the other has no inlet", 60, std::nullopt, true},
      {"59 alone", 59, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis;
    chassis.start_all_present();
    if (c.rp0) chassis.inv_temp(0, 1, "Inlet Temp", *c.rp0, 40, 50, 90);
    if (c.rp1) chassis.inv_temp(1, 1, "Inlet Temp", *c.rp1, 40, 50, 90);
    chassis.inv_temp(0, 2, "CPU Temp", 95, 70, 80, 90);  // critical on the first route processor
    nb().faults.clear();
    chassis.advance(15);
    const auto chassis_shut = faults_of(10, 101);
    const auto card_shut = faults_of(10, 100);
    if (c.shut) {
      ASSERT_EQ(chassis_shut.size(), 1u);
      EXPECT_EQ(chassis_shut[0].text, "Requesting shutdown of Chassis due to SUP inlet temperature >=60 deg-C");
      EXPECT_EQ(chassis_shut[0].action, 1u);
      EXPECT_TRUE(card_shut.empty());
    } else {
      EXPECT_TRUE(chassis_shut.empty());
      ASSERT_EQ(card_shut.size(), 1u);
      EXPECT_EQ(card_shut[0].action, 2u);
      EXPECT_EQ(card_shut[0].slot, 0u);
      EXPECT_EQ(card_shut[0].text, "Requesting shutdown due to critical temperature alarm");
      EXPECT_EQ(counter(chassis, 7), 1u);
    }
  }
}

TEST(FanTrayOir, APortAdapterIsShutWithThreeAttempts) {
  struct Case {
    const char* name;
    int32_t answer;
    size_t attempts;
    bool traced;
  };
  const Case cases[] = {{"accepted at once", 0, 1, false}, {"refused every time", -1, 3, true}};
  ASSERT_EQ(envmon_hal_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr),
            0u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tlg_test_clear();
    FanChassis chassis;
    envmon_mpa_cb mpa[3]{};
    chassis.records.nm.mpa = mpa;
    chassis.records.nm.max_mpa = 3;
    envmon_set_card_fan_zone(0, 1, 0);  // the adapters' card
    chassis.start_all_present();
    nb().shut_result = c.answer;
    chassis.inv_temp(514, 1, "MPA Temp", 95);  // bay 2 of card 1
    chassis.advance(14);
    EXPECT_TRUE(nb().shut_slots.empty());
    chassis.advance(1);
    EXPECT_EQ(nb().shut_slots, std::vector<uint32_t>(c.attempts, 514u));
    EXPECT_EQ(tlg_test_contains("envmon_lib_err", "Could not shut MPA offset 2 after 3 retry\n"), c.traced);
    chassis.advance(60);
    EXPECT_EQ(nb().shut_slots.size(), c.attempts);
    chassis.records.nm.mpa = nullptr;
  }
}

}  // namespace
