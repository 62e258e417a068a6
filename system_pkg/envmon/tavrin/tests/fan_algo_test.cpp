// Fan-control algorithm of tavrin: the lowest PWM chosen from the route
// processors' inlet temperature (first generation with hysteresis, second
// generation without, the quelm tables), the zone speeds, the control
// thresholds per tray type, and the card fan zones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "envmon_hal.h"
#include "fan_test_support.h"
#include "tlg_test.h"

namespace {

using fantest::FanChassis;
using fantest::nb;

constexpr uint32_t k8Slot = 0x60010000;
constexpr uint32_t k16Slot = 0x60010001;
constexpr uint32_t k4Slot = 0x60010002;
constexpr uint32_t kQuelm = 0x6001010b;
constexpr uint32_t kGen1Board = 0xab040000;
constexpr uint32_t kGen2Board = 0xab040022;

struct Reading {
  uint32_t slot;
  const char* name;
  int32_t value;
  uint8_t pwm;  // every zone's speed after the reading
};

struct InletCase {
  const char* name;
  uint32_t chassis;
  uint32_t board_id;
  uint32_t altitude;
  uint8_t optics;
  std::vector<Reading> readings;
};

std::string zones_of(const FanChassis&) {
  std::string s;
  for (const fan_zone_info& z : chassis_fan_info->zones) s += std::to_string(z.speed) + " ";
  return s;
}

TEST(FanAlgorithm, LowestPwmFollowsTheHotterRouteProcessorInlet) {
  const std::vector<InletCase> cases = {
      {"first generation rises at 31 and 40, returns at 27 and 36",
       k8Slot,
       kGen1Board,
       0,
       0,
       {{0, "Inlet Temp", 25, 20},
        {0, "Inlet Temp", 31, 50},
        {0, "Inlet Temp", 28, 50},
        {0, "Inlet Temp", 27, 20},
        {0, "Inlet Temp", 40, 100},
        {0, "Inlet Temp", 37, 100},
        {0, "Inlet Temp", 36, 50},
        {0, "Inlet Temp", 40, 100},
        {0, "Inlet Temp", 30, 20}}},
      {"first generation on the 16-slot chassis has level 1 at 55",
       k16Slot,
       kGen1Board,
       0,
       0,
       {{0, "Inlet Temp", 31, 55}, {0, "Inlet Temp", 28, 55}, {0, "Inlet Temp", 27, 20}}},
      {"optics fan control: level 0 at 35, level 1 at full speed",
       k8Slot,
       kGen1Board,
       0,
       1,
       {{0, "Inlet Temp", 25, 35}, {0, "Inlet Temp", 31, 100}, {0, "Inlet Temp", 30, 100}, {0, "Inlet Temp", 27, 35}}},
      {"quelm below 1800 m keeps a speed until 3 degrees under the next row",
       kQuelm,
       kGen1Board,
       0,
       0,
       {{0, "Inlet Temp", 26, 60},
        {0, "Inlet Temp", 25, 60},
        {0, "Inlet Temp", 24, 60},
        {0, "Inlet Temp", 23, 45},
        {0, "Inlet Temp", 41, 100},
        {0, "Inlet Temp", 39, 100},
        {0, "Inlet Temp", 38, 80}}},
      {"quelm at 2000 m uses its high table",
       kQuelm,
       kGen1Board,
       2000,
       0,
       {{0, "Inlet Temp", 20, 55}, {0, "Inlet Temp", 30, 70}, {0, "Inlet Temp", 24, 70}, {0, "Inlet Temp", 23, 55}}},
      {"second generation follows its table both ways at once",
       k8Slot,
       kGen2Board,
       0,
       0,
       {{0, "Inlet Temp", 30, 60},
        {0, "Inlet Temp", 25, 47},
        {0, "Inlet Temp", 23, 44},
        {0, "Inlet Temp", 40, 100},
        {0, "Inlet Temp", 39, 90}}},
      {"second generation at 1800 m", k8Slot, kGen2Board, 1800, 0,
       {{0, "Inlet Temp", 30, 78}, {0, "Inlet Temp", 36, 100}, {0, "Inlet Temp", 23, 60}}},
      {"second generation at 1799 m", k8Slot, kGen2Board, 1799, 0, {{0, "Inlet Temp", 30, 60}}},
      {"the hotter of two route processors decides", k8Slot, kGen2Board, 0, 0,
       {{0, "Inlet Temp", 25, 47}, {1, "Inlet Temp", 33, 65}, {1, "Inlet Temp", 20, 47}}},
      {"readings below zero count as zero", k8Slot, kGen2Board, 0, 0, {{0, "Inlet Temp", -5, 44}}},
  };
  for (const InletCase& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis(c.chassis);
    chassis.records.rm.env_cfg.altitude = c.altitude;
    chassis.records.rm.fan_ctrl_optics = c.optics;
    for (fantray_cb& ft : chassis.trays) ft.board_id = c.board_id;
    chassis.start();
    for (uint32_t t = 0; t < chassis.tray_count(); ++t) chassis.insert(t);
    for (const Reading& r : c.readings) {
      SCOPED_TRACE(std::to_string(r.value) + " degrees on slot " + std::to_string(r.slot));
      chassis.inv_temp(r.slot, 1, r.name, r.value);
      for (int z = 0; z < ENVMON_FAN_ZONES; ++z) EXPECT_EQ(chassis.zone_speed(z), r.pwm) << zones_of(chassis);
    }
  }
}

TEST(FanAlgorithm, WithoutAnInletReadingTheFansRunAtFullSpeed) {
  FanChassis chassis;
  chassis.start();
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  EXPECT_EQ(chassis.zone_speed(0), 20);
  // A fresh run whose route-processor zone has a sensor, but no inlet.
  envmon_hal_fan_mgmt_uninit();
  chassis.start();
  chassis.inv_temp(0, 2, "Board Temp", 25);
  envmon_hal_user_fan_speed_change();
  EXPECT_EQ(chassis.zone_speed(0), 100);
}

TEST(FanAlgorithm, TheTraceNamesTheRouteProcessorThatDecided) {
  ASSERT_EQ(envmon_hal_tlg_init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr),
            0u);
  tlg_test_clear();
  FanChassis chassis;
  for (fantray_cb& ft : chassis.trays) ft.board_id = kGen2Board;
  chassis.start();
  for (uint32_t t = 0; t < chassis.tray_count(); ++t) chassis.insert(t);
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  chassis.inv_temp(1, 1, "Inlet Temp", 33);
  EXPECT_TRUE(tlg_test_contains("envmon_lib_fanm", "FAN_SPEED_LOWEST_PWM 47->65 based on RP1 inlet val 33 \n"));
}

TEST(FanAlgorithm, AWarmSensorDrivesItsZoneToFullSpeed) {
  FanChassis chassis;
  chassis.start_all_present();
  envmon_set_card_fan_zone(0, 10, 0);  // a line card in zone 3
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  chassis.inv_temp(10, 1, "ASIC Temp", 72);  // minor high 70
  EXPECT_EQ(chassis.zone_speed(3), 100);
  EXPECT_EQ(chassis.zone_speed(4), 20);
  EXPECT_EQ(chassis_fan_info->zones[3].last_speed, 100);
  // The fans run at the fastest zone's speed.
  EXPECT_EQ(chassis.last_written(0), std::vector<int32_t>(6, 100));
}

TEST(FanAlgorithm, SmallestMarginOfAZoneIsKeptAndCappedAtFive) {
  FanChassis chassis;
  chassis.start_all_present();
  envmon_set_card_fan_zone(0, 10, 0);
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  chassis.inv_temp(10, 1, "ASIC Temp", 50);  // margin 20
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  EXPECT_EQ(chassis_fan_info->zones[3].smallest_deltaT, 5);
  chassis.inv_temp(10, 2, "ASIC2 Temp", 68);  // margin 2
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  EXPECT_EQ(chassis_fan_info->zones[3].smallest_deltaT, 2);
  EXPECT_EQ(chassis_fan_info->zones[3].last_smallest_deltaT, 5);
}

TEST(FanAlgorithm, DegradedStatesRunEveryZoneAtFullSpeed) {
  struct Case {
    const char* name;
    uint32_t chassis;
    int32_t fan_state;
    int32_t out_of_tolerance;
    uint8_t full;
  };
  const Case cases[] = {
      {"one tray missing", k8Slot, 2, 0, 100},
      {"two trays missing", k8Slot, 3, 0, 100},
      {"one fan out of tolerance on tavrin", k8Slot, 1, 1, 20},
      {"two fans out of tolerance on tavrin", k8Slot, 1, 2, 100},
      {"one fan out of tolerance on quelm", kQuelm, 1, 1, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis(c.chassis);
    chassis.start();
    for (uint32_t t = 0; t < chassis.tray_count(); ++t) chassis.insert(t);
    chassis.inv_temp(0, 1, "Inlet Temp", 10);
    chassis_fan_info->envmon_fan_state = c.fan_state;
    chassis_fan_info->num_fans_out_of_tolerance = c.out_of_tolerance;
    envmon_hal_user_fan_speed_change();
    const uint8_t want = c.full == 100 ? 100 : (c.chassis == kQuelm ? 30 : 20);
    for (int z = 0; z < ENVMON_FAN_ZONES; ++z) EXPECT_EQ(chassis.zone_speed(z), want) << zones_of(chassis);
  }
}

TEST(FanAlgorithm, TrayTypeFollowsOpticsControlAndSetsTheLevels) {
  struct Case {
    const char* name;
    uint8_t type;
    uint8_t optics;
    uint8_t type_after;
    int gen2;
  };
  const Case cases[] = {
      {"gen1 without optics", 1, 0, 0, 0}, {"gen1 with optics", 0, 1, 1, 0},
      {"gen2 with optics", 2, 1, 3, 0},    {"gen2 without optics", 3, 0, 2, 1},
      {"small gen2 with optics", 4, 1, 5, 0}, {"small gen2", 5, 0, 4, 1},
      {"large gen2 has no optics twin", 6, 1, 6, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis;
    chassis.records.rm.fan_ctrl_optics = c.optics;
    chassis_ft_type = c.type;
    chassis.start();  // applies the control thresholds
    EXPECT_EQ(chassis_ft_type, c.type_after);
    EXPECT_EQ(is_fan_tray_type_gen2(), c.gen2);
  }
}

TEST(FanAlgorithm, InsertedTrayBoardSetsTheTrayType) {
  struct Case {
    const char* name;
    uint8_t before;
    uint32_t board;
    uint8_t after;
  };
  const Case cases[] = {
      {"large gen2 from anything", 3, 0xab040042, 6}, {"gen2 from gen1", 0, 0xab040022, 2},
      {"gen2 from gen1 with optics", 1, 0xab040022, 3}, {"gen2 over another gen2", 4, 0xab040022, 4},
      {"small gen2 from gen1", 0, 0xab040002, 4},       {"small gen2 with optics", 1, 0xab040002, 5},
      {"other boards keep the type", 2, 0xab040000, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis;
    chassis.records.rm.fan_ctrl_optics = c.before % 2;
    chassis.start();
    chassis_ft_type = c.before;
    chassis.trays[0].board_id = c.board;
    chassis.insert(0);
    EXPECT_EQ(chassis_ft_type, c.after);
  }
}

TEST(FanAlgorithm, CardFanZones) {
  struct Case {
    const char* name;
    uint32_t chassis;
    uint32_t card_class;
    uint32_t slot;
    uint32_t position;
    int32_t zone;  // 6: left as it was
  };
  const Case cases[] = {
      {"8-slot line card 0", k8Slot, 0, 10, 0, 3},      {"8-slot line card 5", k8Slot, 0, 10, 5, 4},
      {"8-slot line card 7", k8Slot, 0, 10, 7, 5},      {"8-slot line card 8 is wrong", k8Slot, 0, 10, 8, 6},
      {"16-slot line card 11", k16Slot, 0, 10, 11, 4},  {"16-slot line card 15", k16Slot, 0, 10, 15, 5},
      {"16-slot line card 16 is wrong", k16Slot, 0, 10, 16, 6}, {"4-slot line card 3", k4Slot, 0, 10, 3, 4},
      {"4-slot line card 4 is wrong", k4Slot, 0, 10, 4, 6}, {"route processor", k8Slot, 1, 12, 0, 5},
      {"route processor of the 4-slot", k4Slot, 1, 12, 0, 4}, {"fourth card list", k8Slot, 14, 12, 0, 5},
      {"fabric card 0", k8Slot, 3, 20, 0, 0},            {"fabric card 3", k8Slot, 3, 20, 3, 1},
      {"fabric card 5", k8Slot, 3, 20, 5, 2},            {"fabric card 6 is wrong", k8Slot, 3, 20, 6, 6},
      {"unknown class", k8Slot, 2, 20, 0, 6},            {"slot 64 is beyond the table", k8Slot, 1, 64, 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis(c.chassis);
    envmon_set_card_fan_zone(c.card_class, c.slot, c.position);
    chassis.start();
    chassis.inv_temp(0, 1, "Inlet Temp", 25);
    chassis.inv_temp(c.slot, 1, "ASIC Temp", 85);  // major high: its zone, if any, at full speed
    EXPECT_EQ(chassis_fan_info->temp_sensors_in_alarm, c.zone == 6 ? 0 : 1);
    for (int32_t z = 0; z < ENVMON_FAN_ZONES; ++z) {
      EXPECT_EQ(chassis.zone_speed(z), z == c.zone ? 100 : 20) << "zone " << z;
    }
  }
}

TEST(FanAlgorithm, AltitudeChangeNeedsANewSpeedOnlyAcross1800Metres) {
  struct Case {
    uint32_t before;
    uint32_t after;
    bool needed;
  };
  const Case cases[] = {{1799, 1800, true}, {1800, 1799, true}, {1800, 5000, false}, {0, 1799, false}, {0, 2000, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.before) + " -> " + std::to_string(c.after));
    EXPECT_EQ(envmon_hal_altitude_fan_set_needed(c.before, c.after), c.needed);
  }
}

}  // namespace
