// The trap decision: which threshold crossings are reported as traps.
#include <gtest/gtest.h>

#include <vector>

#include "envmon_hal.h"
#include "hal_test_support.h"

namespace {

constexpr uint32_t kTemp = ENVMON_SENSOR_TEMPERATURE;
constexpr uint32_t kVolt = ENVMON_SENSOR_VOLTAGE;

envmon_sensor_info temperature_sensor() {
  envmon_sensor_info s{};
  // critical low, critical high, major low, major high, minor low, minor high
  s.threshold = {-10, 90, 0, 80, 5, 70};
  return s;
}

struct Reading {
  int32_t value;
  int32_t last_value;
  bool trap;
};

struct Sequence {
  const char* name;
  std::vector<Reading> readings;  // in the order the driver reports them
};

TEST(TavrinTrap, FirstReportTrapsWhenAbnormalLaterReportsOnAChangeOfLevel) {
  const Sequence sequences[] = {
      {"first report normal", {{25, 0, false}}},
      {"first report minor high", {{75, 0, true}}},
      {"first report critical low", {{-20, 25, true}}},
      {"first report normal though the last value was not", {{25, 95, false}}},
      {"normal, then within normal", {{25, 0, false}, {30, 25, false}}},
      {"normal, then minor high", {{25, 0, false}, {72, 25, true}}},
      {"minor high, then higher but still minor", {{71, 0, true}, {75, 71, false}}},
      {"minor, major, critical, back to normal",
       {{71, 0, true}, {85, 71, true}, {95, 85, true}, {95, 95, false}, {20, 95, true}}},
      {"low side", {{25, 0, false}, {3, 25, true}, {-1, 3, true}, {-10, -1, true}}},
  };
  haltest::Chassis chassis(0x60010000);
  haltest::reset_pem();
  for (const auto& seq : sequences) {
    SCOPED_TRACE(seq.name);
    envmon_sensor_info sensor = temperature_sensor();
    for (size_t i = 0; i < seq.readings.size(); ++i) {
      sensor.value = seq.readings[i].value;
      sensor.last_value = seq.readings[i].last_value;
      EXPECT_EQ(envmon_hal_is_trap_needed(3, static_cast<int32_t>(kTemp), &sensor), seq.readings[i].trap)
          << "reading " << i;
      EXPECT_EQ(sensor.driver_reported, 1);
    }
  }
}

TEST(TavrinTrap, TheSensorSubtypeDecidesTheGrading) {
  // Voltages compare unsigned: a negative reading is as high as any, so going
  // from 2000 mV to -5 stays critical high; as a temperature it is a change
  // from critical high to critical low.
  haltest::Chassis chassis(0x60010000);
  haltest::reset_pem();
  envmon_sensor_info sensor{};
  sensor.threshold = {900, 1300, 0, 0, 1000, 1200};
  sensor.driver_reported = 1;
  sensor.value = -5;
  sensor.last_value = 2000;
  EXPECT_FALSE(envmon_hal_is_trap_needed(3, static_cast<int32_t>(kVolt), &sensor));
  EXPECT_TRUE(envmon_hal_is_trap_needed(3, static_cast<int32_t>(kTemp), &sensor));
}

TEST(TavrinTrap, SlotsAndSensorsThatNeverTrap) {
  haltest::Chassis chassis(0x60010000);
  haltest::reset_pem();
  haltest::pem().pem_slots = {60};
  struct Case {
    const char* name;
    uint32_t slot;
    bool null_sensor;
    uint32_t obfl_disabled;
    bool trap;
  };
  const Case cases[] = {
      {"fan tray 0", 41, false, 0, false},        {"fan tray 2", 43, false, 0, false},
      {"power module", 60, false, 0, false},      {"no sensor record", 3, true, 0, false},
      {"kept out of the failure log", 3, false, 1, false},
      {"ordinary card slot", 3, false, 0, true},  {"this card", ENVMON_SLOT_SELF, false, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    envmon_sensor_info sensor = temperature_sensor();
    sensor.value = 95;  // critical high on its first report
    sensor.obfl_log_disabled = c.obfl_disabled;
    EXPECT_EQ(envmon_hal_is_trap_needed(c.slot, static_cast<int32_t>(kTemp), c.null_sensor ? nullptr : &sensor),
              c.trap);
  }
}

}  // namespace
