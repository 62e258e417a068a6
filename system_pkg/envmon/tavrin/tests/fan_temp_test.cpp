// Temperature, fault and card events of fan management: the zone sensors and
// alarm counts fed by inventory with their shutdown timers, the temperature
// alarms of the drivers' readings with their poll rate, sensor faults, fan
// speeds, sensors going down, and cards leaving.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "envmon_hal.h"
#include "fan_test_support.h"

namespace {

using fantest::FanChassis;
using fantest::faults_of;
using fantest::nb;

uint32_t counter(const FanChassis& c, uint32_t i) { return c.fan_algo_stats[5 * i]; }

class CardSensors : public testing::Test {
 protected:
  void SetUp() override {
    chassis.start_all_present();
    envmon_set_card_fan_zone(0, 10, 0);  // line card slot 10 in zone 3
    chassis.inv_temp(0, 1, "Inlet Temp", 25);
    nb().faults.clear();
  }
  FanChassis chassis;
};

TEST_F(CardSensors, AlarmCountsFollowTheLevels) {
  struct Step {
    int32_t value;
    int32_t minor, major, critical, in_alarm;
  };
  // Thresholds: minor high 70, major high 80, critical high 90; a level is
  // left 3 degrees below its threshold.
  const Step steps[] = {
      {50, 0, 0, 0, 0}, {72, 1, 0, 0, 1}, {85, 0, 1, 0, 1}, {95, 0, 0, 1, 0},
      {88, 0, 1, 0, 1}, {77, 0, 1, 0, 1}, {76, 1, 0, 0, 1}, {60, 0, 0, 0, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.value);
    chassis.inv_temp(10, 1, "ASIC Temp", s.value);
    EXPECT_EQ(counter(chassis, 2), static_cast<uint32_t>(s.minor));
    EXPECT_EQ(counter(chassis, 3), static_cast<uint32_t>(s.major));
    EXPECT_EQ(counter(chassis, 4), static_cast<uint32_t>(s.critical));
    EXPECT_EQ(chassis_fan_info->temp_sensors_in_alarm, s.in_alarm);
  }
  EXPECT_EQ(counter(chassis, 0), 9u) << "every inventory reading is counted";
}

TEST_F(CardSensors, CriticalForFifteenSecondsShutsTheCardDown) {
  chassis.inv_temp(10, 1, "ASIC Temp", 95);
  chassis.advance(14);
  EXPECT_TRUE(faults_of(10, 100).empty());
  chassis.advance(1);
  ASSERT_EQ(faults_of(10, 100).size(), 1u);
  EXPECT_EQ(faults_of(10, 100)[0].slot, 10u);
  EXPECT_EQ(faults_of(10, 100)[0].action, 2u);
}

TEST_F(CardSensors, LeavingCriticalInTimeStopsTheShutdown) {
  chassis.inv_temp(10, 1, "ASIC Temp", 95);
  chassis.advance(10);
  chassis.inv_temp(10, 1, "ASIC Temp", 75);
  chassis.advance(30);
  EXPECT_TRUE(faults_of(10, 100).empty());
}

TEST_F(CardSensors, AWarmSensorStaysWarmCloseToItsThreshold) {
  struct Case {
    const char* name;
    int32_t cooler;
    uint8_t zone_speed;
  };
  // From 72 (warm), the minor high in force is 67.
  const Case cases[] = {{"margin 2 keeps it warm", 65, 100}, {"margin 4 makes it normal", 63, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    chassis.inv_temp(10, 1, "ASIC Temp", 72);
    ASSERT_EQ(chassis.zone_speed(3), 100);
    chassis.inv_temp(10, 1, "ASIC Temp", c.cooler);
    EXPECT_EQ(chassis.zone_speed(3), c.zone_speed);
    chassis.inv_temp(10, 1, "ASIC Temp", 40);
  }
}

TEST_F(CardSensors, ASensorGoingDownLeavesItsZoneAndItsCounts) {
  chassis.inv_temp(10, 1, "ASIC Temp", 95);
  chassis.inv_temp(10, 2, "PHY Temp", 85);
  ASSERT_EQ(chassis_fan_info->temp_sensors_in_alarm, 1);
  pelm_eid asic = fantest::temp_eid(10, 1);
  pelm_eid phy = fantest::temp_eid(10, 2);
  envmon_hal_sensor_state_update(10, ENVMON_SENSOR_TEMPERATURE, &phy, 2, "PHY Temp");
  EXPECT_EQ(chassis_fan_info->temp_sensors_in_alarm, 0);
  EXPECT_EQ(counter(chassis, 3), 0u);
  envmon_hal_sensor_state_update(10, ENVMON_SENSOR_TEMPERATURE, &asic, 2, "ASIC Temp");
  EXPECT_EQ(counter(chassis, 4), 0u);
  chassis.advance(20);
  EXPECT_TRUE(faults_of(10, 100).empty()) << "its critical level went with it";
  // An oper state of 1 (up) changes nothing; a hot-swap current resets the
  // slot's FRU current.
  envmon_hal_sensor_state_update(10, ENVMON_SENSOR_CURRENT, &asic, 2, "Hot_Swap Current");
  EXPECT_EQ(nb().calls.back(), "envmon_set_fru_current(10, 0)");
  envmon_free_tsi(&asic);
  envmon_free_tsi(&phy);
}

TEST_F(CardSensors, ACardLeavingTakesItsSensorsCountsAndShutdownTimer) {
  chassis.inv_temp(10, 1, "ASIC Temp", 95);
  chassis.inv_temp(10, 2, "PHY Temp", 75);
  envmon_hal_fan_algo_card_state_upd(10, 0x60020103, 1, 0);
  EXPECT_EQ(chassis_fan_info->temp_sensors_in_alarm, 0);
  EXPECT_EQ(counter(chassis, 2), 0u);
  EXPECT_EQ(counter(chassis, 4), 0u);
  EXPECT_EQ(chassis.zone_speed(3), 20);
  chassis.advance(30);
  EXPECT_TRUE(faults_of(10, 100).empty()) << "a card that left is not shut down";
}

TEST(FanCardEvents, AnAdapterCarrierTakesItsAdaptersCountsAlong) {
  FanChassis chassis;
  envmon_mpa_cb mpa[3]{};
  chassis.records.nm.mpa = mpa;
  chassis.records.nm.max_mpa = 3;
  envmon_set_card_fan_zone(0, 2, 1);  // card 2 holds MPA slots 515-517
  chassis.start_all_present();
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  chassis.inv_temp(516, 1, "MPA Temp", 75);
  chassis.inv_temp(517, 1, "MPA Temp", 95);
  EXPECT_EQ(chassis_fan_info->temp_sensors_in_alarm, 1);
  envmon_hal_fan_algo_card_state_upd(2, 27034, 1, 0);
  EXPECT_EQ(chassis_fan_info->temp_sensors_in_alarm, 0);
  EXPECT_EQ(counter(chassis, 4), 0u);
  chassis.advance(20);
  EXPECT_TRUE(nb().shut_slots.empty());
  chassis.records.nm.mpa = nullptr;
}

TEST(FanCardEvents, LineCardsOfTheOpticsTypesAreListed) {
  FanChassis chassis;
  chassis.start();
  envmon_hal_fan_algo_card_state_upd(5, 27000, 3, 1);
  envmon_hal_fan_algo_card_state_upd(6, 27070, 3, 1);
  envmon_hal_fan_algo_card_state_upd(7, 27002, 3, 1);  // not an optics type
  EXPECT_EQ(total_lc_cnt, 2);
  envmon_hal_fan_algo_card_state_upd(5, 27000, 6, 1);
  EXPECT_EQ(total_lc_cnt, 2);
  ASSERT_NE(lc_info, nullptr);
  envmon_hal_fan_algo_card_state_upd(6, 27070, 1, 0);
  EXPECT_EQ(total_lc_cnt, 1);
  EXPECT_EQ(lc_info->slot, 5);
  EXPECT_EQ(lc_info->card_state, 6);
  EXPECT_EQ(lc_info->next, nullptr);
}

// A sensor the core keeps, in this card's own lists.
class NodeSensor : public testing::Test {
 protected:
  void SetUp() override {
    sensor.eid = fantest::temp_eid(ENVMON_SLOT_SELF, 1);
    std::snprintf(sensor.name, sizeof(sensor.name), "CPU Temp");
    sensor.threshold = {-15, 90, -10, 80, -5, 70};
    sensor.driver_ownership = 12;
    chassis.records.nm.temp_data.sensors = &sensor;
    chassis.records.nm.temp_data.count = 1;
    chassis.start_all_present();
    nb().faults.clear();
    nb().polls.clear();
  }
  void TearDown() override {
    chassis.records.nm.temp_data = envmon_sensor_list{};
    envmon_free_tsi(&sensor.eid);
  }
  envmon_err_t reading(int32_t value, int32_t scope = ENVMON_SCOPE_NODE) {
    return envmon_hal_fan_mgmt_temp_value_change_event(&sensor.eid, static_cast<uint32_t>(value), scope, 1000, 9, 0);
  }
  FanChassis chassis;
  envmon_sensor_info sensor{};
};

TEST_F(NodeSensor, TemperatureAlarmsAndPollRateFollowTheLevel) {
  struct Step {
    int32_t value;
    int32_t alarm;        // 0 none, 1 raised, 2 cleared
    uint16_t level;       // alarm level of the report
    int32_t poll_rate;    // the rate sent to the driver, 0 when not sent
  };
  const Step steps[] = {
      {50, 0, 0, 10}, {75, 1, 3, 1}, {76, 0, 0, 0}, {85, 1, 4, 0},
      {78, 0, 0, 0},  {50, 2, 4, 10}, {51, 0, 0, 0}, {-12, 1, 4, 0},  // low levels keep the slow rate
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.value);
    nb().faults.clear();
    nb().polls.clear();
    nb().pushes.clear();
    EXPECT_EQ(reading(s.value), 0u);
    if (s.alarm == 0) {
      EXPECT_TRUE(nb().faults.empty());
    } else {
      ASSERT_EQ(nb().faults.size(), 1u);
      const fantest::Fault& f = nb().faults[0];
      EXPECT_EQ(f.type, 14u);
      EXPECT_EQ(f.tag, 1u);
      EXPECT_EQ(f.state, s.alarm);
      EXPECT_EQ(f.level, s.level);
      EXPECT_EQ(f.name, "CPU Temp");
      EXPECT_EQ(f.text, std::string("CPU Temp has ") + (s.alarm == 1 ? "raised" : "cleared") +
                            " a temperature alarm with value of " + std::to_string(s.value));
    }
    if (s.poll_rate == 0) {
      EXPECT_TRUE(nb().polls.empty());
    } else {
      ASSERT_EQ(nb().polls.size(), 1u);
      EXPECT_EQ(nb().polls[0].update_rate, s.poll_rate);
      EXPECT_EQ(nb().polls[0].driver, 12u);
      EXPECT_EQ(nb().polls[0].mode, 3u);
    }
    ASSERT_EQ(nb().pushes.size(), 1u);
    EXPECT_EQ(nb().pushes[0].trap, s.alarm != 0 ? 1 : 0);
    EXPECT_EQ(nb().pushes[0].value, s.value);
  }
  EXPECT_EQ(sensor.timestamp, 1000u);
  EXPECT_EQ(sensor.ev_word[0], 9u);
}

TEST_F(NodeSensor, AFirstReadingAboveNormalRaisesAtOnce) {
  reading(95);
  ASSERT_EQ(nb().faults.size(), 1u);
  EXPECT_EQ(nb().faults[0].level, 5);
  EXPECT_EQ(nb().faults[0].state, 1);
}

TEST_F(NodeSensor, RackScopeAlarmsUseTheirOwnTagAndAnUnknownSensorIsRefused) {
  chassis.records.rm.temp_data.sensors = &sensor;
  chassis.records.rm.temp_data.count = 1;
  reading(75, ENVMON_SCOPE_RACK);
  ASSERT_EQ(nb().faults.size(), 1u);
  EXPECT_EQ(nb().faults[0].tag, 27u);
  EXPECT_EQ(nb().faults[0].scope, 1);
  chassis.records.rm.temp_data = envmon_sensor_list{};
  pelm_eid unknown = fantest::temp_eid(ENVMON_SLOT_SELF, 7);
  EXPECT_EQ(envmon_hal_fan_mgmt_temp_value_change_event(&unknown, 50, ENVMON_SCOPE_NODE, 0, 0, 0),
            ENVMON_ERR_INVALID_ARG);
  envmon_free_tsi(&unknown);
}

TEST_F(NodeSensor, SensorFaultsRaiseAndClearPerBit) {
  struct Step {
    uint32_t fault;
    std::vector<std::pair<uint32_t, int32_t>> reports;  // (tag, state)
    uint8_t in_fault;
  };
  const Step steps[] = {
      {0x800000, {{6, 1}}, 1},
      {0x800000, {}, 1},                              // unchanged
      {0xc00000, {{4, 1}}, 1},                        // device error too
      {0x1 | 0x400000, {{6, 2}, {4, 2}}, 0},          // none wins over the others
      {0x0, {}, 0},                                   // unknown value
      {0x10 | 0x4000000, {{5, 1}}, 1},                // unknown bits dropped
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.fault);
    nb().faults.clear();
    envmon_hal_fan_mgmt_sensor_fault_event(&sensor.eid, s.fault, ENVMON_SCOPE_NODE);
    std::vector<std::pair<uint32_t, int32_t>> got;
    for (const fantest::Fault& f : nb().faults) {
      if (f.type == 14 && f.tag != 1) got.emplace_back(f.tag, f.state);
    }
    EXPECT_EQ(got, s.reports);
    EXPECT_EQ(sensor.in_fault, s.in_fault);
  }
}

TEST_F(NodeSensor, AnUnreadableSensorClearsItsTemperatureAlarm) {
  reading(85);
  nb().faults.clear();
  envmon_hal_fan_mgmt_sensor_fault_event(&sensor.eid, 0x800000, ENVMON_SCOPE_NODE);
  const auto cleared = faults_of(14, 1);
  ASSERT_EQ(cleared.size(), 1u);
  EXPECT_EQ(cleared[0].state, 2);
  EXPECT_EQ(cleared[0].level, 4);
  EXPECT_EQ(cleared[0].text, "CPU Temp has cleared a temperature alarm as i2c access is unavialble");
  EXPECT_EQ(sensor.alarm_severity, 0);
  // The next reading starts the alarm over: a first reading above normal raises.
  nb().faults.clear();
  reading(85);
  ASSERT_EQ(faults_of(14, 1).size(), 1u);
  EXPECT_EQ(faults_of(14, 1)[0].state, 1);
}

TEST_F(NodeSensor, TwoSensorsInFaultOnTheCardRaiseTheMultipleFault) {
  envmon_sensor_info second{};
  second.eid = fantest::temp_eid(ENVMON_SLOT_SELF, 2);
  std::snprintf(second.name, sizeof(second.name), "DDR Temp");
  envmon_sensor_info both[2] = {sensor, second};
  chassis.records.nm.temp_data.sensors = both;
  chassis.records.nm.temp_data.count = 2;
  envmon_hal_fan_mgmt_sensor_fault_event(&both[0].eid, 0x400000, ENVMON_SCOPE_NODE);
  EXPECT_TRUE(faults_of(14, 4).empty() || faults_of(14, 4).back().name != "multiple sensors");
  envmon_hal_fan_mgmt_sensor_fault_event(&both[1].eid, 0x400000, ENVMON_SCOPE_NODE);
  std::vector<fantest::Fault> multiple;
  for (const fantest::Fault& f : faults_of(14, 4)) {
    if (f.name == "multiple sensors") multiple.push_back(f);
  }
  ASSERT_EQ(multiple.size(), 1u);
  EXPECT_EQ(multiple[0].state, 1);
  EXPECT_EQ(multiple[0].level, 4);
  EXPECT_EQ(multiple[0].text, "multiple sensor faults");
  envmon_hal_fan_mgmt_sensor_fault_event(&both[1].eid, 0x1, ENVMON_SCOPE_NODE);
  multiple.clear();
  for (const fantest::Fault& f : faults_of(14, 4)) {
    if (f.name == "multiple sensors") multiple.push_back(f);
  }
  ASSERT_EQ(multiple.size(), 2u);
  EXPECT_EQ(multiple[1].state, 2);
  EXPECT_EQ(multiple[1].text, "multiple sensor faults cleared");
  chassis.records.nm.temp_data.sensors = &sensor;
  chassis.records.nm.temp_data.count = 1;
  envmon_free_tsi(&second.eid);
}

TEST(FanSensorFaults, FansOutOfToleranceOnATray) {
  struct Case {
    const char* name;
    uint32_t chassis;
    int fans_in_fault;
    bool multiple;    // "multiple sensor faults" raised for the tray
    uint8_t speed;    // zone speed after
  };
  const Case cases[] = {
      {"one fan on tavrin", 0x60010000, 1, false, 20},
      {"two fans on tavrin", 0x60010000, 2, true, 100},
      {"one fan on quelm", 0x6001010b, 1, true, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FanChassis chassis(c.chassis);
    chassis.start_all_present();
    chassis.inv_temp(0, 1, "Inlet Temp", 10);
    nb().faults.clear();
    nb().pushes.clear();
    for (int f = 0; f < c.fans_in_fault; ++f) {
      envmon_hal_fan_mgmt_sensor_fault_event(&chassis.fans[0][f].eid, 0x4000000, ENVMON_SCOPE_RACK);
    }
    EXPECT_EQ(chassis_fan_info->num_fans_out_of_tolerance, c.fans_in_fault);
    EXPECT_EQ(faults_of(14, 44).size(), static_cast<size_t>(c.fans_in_fault));
    EXPECT_EQ(faults_of(14, 30).size(), c.multiple ? 1u : 0u);
    if (c.multiple) {
      EXPECT_EQ(faults_of(14, 30)[0].name, "multiple fan speed sensors");
      EXPECT_EQ(faults_of(14, 30)[0].slot, 41u);
    }
    EXPECT_EQ(chassis.zone_speed(0), c.speed);
    ASSERT_EQ(nb().pushes.size(), static_cast<size_t>(c.fans_in_fault));
    EXPECT_EQ(nb().pushes[0].what, "fan");
    EXPECT_EQ(nb().pushes[0].trap, 1);
  }
}

TEST(FanSensorFaults, I2cAndToleranceTogetherCountTheFanOnce) {
  FanChassis chassis;
  chassis.start_all_present();
  envmon_sensor_info& fan = chassis.fans[1][2];
  fan.alarm_severity = 3;
  nb().faults.clear();
  envmon_hal_fan_mgmt_sensor_fault_event(&fan.eid, 0x4800000, ENVMON_SCOPE_RACK);
  EXPECT_EQ(faults_of(14, 45).size(), 1u);
  EXPECT_EQ(faults_of(14, 45)[0].text, "FT1 Fan 2 Speed has raised an alarm for I2C access error");
  EXPECT_EQ(faults_of(14, 44).size(), 1u);
  EXPECT_EQ(faults_of(14, 44)[0].text, "FT1 Fan 2 Speed has raised an alarm for out of tolerance");
  EXPECT_EQ(faults_of(14, 27).size(), 1u) << "its temperature alarm is cleared";
  EXPECT_EQ(chassis_fan_info->num_fans_out_of_tolerance, 1);
  EXPECT_EQ(chassis.trays[1].speed_sensors_in_fault, 1u);
  // Cleared again: the count goes back, the periodic evaluation resumes.
  envmon_hal_fan_mgmt_sensor_fault_event(&fan.eid, 0x1, ENVMON_SCOPE_RACK);
  EXPECT_EQ(chassis_fan_info->num_fans_out_of_tolerance, 0);
  EXPECT_EQ(chassis.trays[1].speed_sensors_in_fault, 0u);
}

TEST(FanSpeedReadings, AreKeptAndPushedToInventory) {
  FanChassis chassis;
  chassis.start_all_present();
  nb().pushes.clear();
  envmon_hal_fan_mgmt_fan_speed_value_change_event(42, 3, 7200, 55, &chassis.fans[1][3].eid);
  EXPECT_EQ(chassis_fan_info->trays[1].fans[3].hw_speed, 7200);
  ASSERT_EQ(nb().pushes.size(), 1u);
  EXPECT_EQ(nb().pushes[0].value, 7200);
  EXPECT_EQ(nb().pushes[0].trap, 0);
  // A fan beyond the tray, a slot that is no tray: nothing.
  envmon_hal_fan_mgmt_fan_speed_value_change_event(42, 6, 100, 55, &chassis.fans[1][3].eid);
  envmon_hal_fan_mgmt_fan_speed_value_change_event(10, 3, 100, 55, &chassis.fans[1][3].eid);
  EXPECT_EQ(nb().pushes.size(), 1u);
}

}  // namespace

namespace {

std::string dump_text() {
  FILE* f = std::tmpfile();
  env_dump_fd = f;
  envmon_hal_fan_mgmt_dump_data_structures();
  env_dump_fd = nullptr;
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

TEST(FanDump, ShowsStatesZonesFansSlotsAndZoneSensors) {
  FanChassis chassis;
  chassis.start_all_present();
  envmon_set_card_fan_zone(0, 10, 0);
  chassis.inv_temp(0, 1, "Inlet Temp", 25);
  chassis.inv_temp(10, 1, "ASIC Temp", 85);
  envmon_hal_fan_mgmt_fan_speed_value_change_event(42, 3, 7200, 55, &chassis.fans[1][3].eid);
  const std::string text = dump_text();
  for (const char* line : {"FAN DATA STRUCTURES\n", "FAN STATE = 1\n", "TEMPERATURE STATE = 1\n",
                           "temp_sensors_in_alarm = 1\n", "num_fans_out_of_tolerance  = 0\n",
                           "Fan Zone 3: speed 100, last_speed 100, smallest_deltaT 5 \n",
                           "Fan Zone 0: speed 20, last_speed 20, smallest_deltaT 5 \n",
                           "tray 1 fan 3: h_zone 4, v_zone 1\n", "tray 1 fan 3: speed 100PWM, last_speed 100PWM\n",
                           "tray 1 fan 3: hw_speed from fan driver 7200\n",
                           "SLOT 10: fan zone 3, num_minor 0, num_major 1, num_critical 0\n", " ASIC Temp->\n",
                           "     slot 10, value 85, deltaT -15, state 2, threshold 6, last_threshold 0\n", "null\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(text.find("### ERROR"), std::string::npos);
}

}  // namespace
