// PEM hardware alarms, the low-input-voltage alarm of an input sensor and the
// chassis power-supply alarms: what reaches the fault manager, once per change.
#include <gtest/gtest.h>

#include <fstream>

#include "envmon_pem_private.h"
#include "pem_fixture.h"
#include "simpaths.h"
#include "tlg_test.h"

namespace {

uint64_t bit(uint32_t id) { return 1ull << id; }

class HwAlarms : public PemFixture {};

TEST_F(HwAlarms, DescriptionsTagsAndSeveritiesByTypeAndTrayKind) {
  struct Case {
    const char* name;
    bool physical;
    uint32_t type;
    uint32_t vendor;
    uint32_t id;
    uint32_t tag;
    uint16_t level;
    const char* raise;
    const char* clear;
  };
  const Case cases[] = {
      {"fan fault, virtual trays", false, kAcPem, 0, 3, 9, 4, "Power module is under HW_FAN_FAULT condition.",
       "Power module condition HW_FAN_FAULT is cleared."},
      {"fan fault, physical trays", true, kAcPem, 0, 3, 9, 4,
       "Power tray 0 power module 2 is under HW_FAN_FAULT condition.",
       "Power tray 0 power module 2 condition HW_FAN_FAULT is cleared."},
      {"power limited", false, kAcPem, 0, 19, 37, 4,
       "Power module is under HW_POWER_LIMITED condition - greater than 110 percent of full load.",
       "Power module condition HW_POWER_LIMITED is cleared - below 105 percent of full load."},
      {"logic voltage of a 3 kW dual feed", false, 0xAB010000, 0, 1, 7, 4,
       "Power module is under HW_LOGIC_CTRL_VOLT_OUT_OF_RANGE condition - exceeded tolerance of +/-0.3V.",
       "Power module condition HW_LOGIC_CTRL_VOLT_OUT_OF_RANGE is cleared."},
      {"logic voltage of the AC family", false, 0xF01960, 0, 1, 138, 4,
       "Power module is under HW_LOGIC_CTRL_VOLT_OUT_OF_RANGE condition - Standby Output is out of range",
       "Power module condition HW_LOGIC_CTRL_VOLT_OUT_OF_RANGE is cleared - Standby Output is out of range"},
      {"output range on physical trays", true, kAcPem, 0, 11, 17, 4,
       "Power tray 0 power module 2 is under HW_VOUT_OUT_OF_RANGE condition(output < 50.5V or > 57.5V).",
       "Power tray 0 power module 2 condition HW_VOUT_OUT_OF_RANGE is cleared."},
      {"output range of the 4.4 kW on virtual trays", false, 0xAB010040, 0, 11, 17, 4,
       "Power module is under HW_VOUT_OUT_OF_RANGE condition(output < 11.2V or > 12.6V).",
       "Power module condition HW_VOUT_OUT_OF_RANGE is cleared."},
      {"input A range, vendor 1 AC on physical trays", true, 0xF01960, 1, 24, 74, 4,
       "Power tray 0 power module 2 is under HW_VIN_A_OUT_OF_RANGE condition(input A < 89V or > 144V).",
       "Power tray 0 power module 2 condition HW_VIN_A_OUT_OF_RANGE is cleared."},
      {"input B range of a DC module", false, kDcPem, 0, 25, 75, 4,
       "Power module is under HW_VIN_B_OUT_OF_RANGE condition(input B < 39.5V or > 73.5V).",
       "Power module condition HW_VIN_B_OUT_OF_RANGE is cleared."},
      {"warning severity", false, kAcPem, 0, 21, 35, 2, "Power module is under HW_LEDS_TEST_FAULT condition.",
       "Power module condition HW_LEDS_TEST_FAULT is cleared."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({3, 3}, c.physical);
    pem(1 - 1, 2).vendor_id = c.vendor;
    apply(0, 2, c.type, bit(c.id));
    apply(0, 2, c.type, 0);
    auto faults = take_faults();
    ASSERT_EQ(faults.size(), 3u);  // insertion notice, raise, clear
    EXPECT_EQ(faults[1].tag, c.tag);
    EXPECT_EQ(faults[1].type, 15u);
    EXPECT_EQ(faults[1].state, 1);
    EXPECT_EQ(faults[1].level, c.level);
    EXPECT_EQ(faults[1].description, c.raise);
    EXPECT_EQ(faults[1].eid, pemtest::eid_text(&pem(0, 2).ps_eid));
    EXPECT_EQ(faults[2].state, 2);
    EXPECT_EQ(faults[2].description, c.clear);
    TearDown();
    SetUp();
  }
}

TEST_F(HwAlarms, ReportedOncePerChangeAndInputOperModeNeverSent) {
  make_trays({1});
  apply(0, 0, kAcPem, bit(15) | bit(16) | bit(22));
  apply(0, 0, kAcPem, bit(15) | bit(16) | bit(22));
  auto faults = take_faults();
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[1].tag, 38u);
  EXPECT_EQ(faults[2].tag, 38u);
  EXPECT_TRUE(pem::alarm_set(pem(0, 0).alarms, 22));
  apply(0, 0, kAcPem, 0);
  faults = take_faults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(pem(0, 0).alarms, 0u);
  EXPECT_EQ(oper_counter(pem::kPMalmRaise), 3u);
}

TEST_F(HwAlarms, AFailedReportStillMovesTheBitAndIsCounted) {
  make_trays({1});
  pemtest::standin().fault_rc = ENVMON_ERR_INVALID_ARG;
  apply(0, 0, kAcPem, bit(5));
  EXPECT_TRUE(pem::alarm_set(pem(0, 0).alarms, 5));
  EXPECT_EQ(error_counter(0), 2u);  // the insertion notice and the alarm
  pemtest::standin().fault_rc = ENVMON_OK;
  take_faults();
  apply(0, 0, kAcPem, bit(5));
  EXPECT_TRUE(take_faults().empty());
}

TEST_F(HwAlarms, BadIdsAndModesAreRefused) {
  make_trays({1});
  for (uint32_t id : {0u, 38u}) EXPECT_EQ(envmon_process_pem_alm(0, 0, id, 1), ENVMON_ERR_INVALID_ARG);
  EXPECT_EQ(envmon_process_pem_alm(0, 0, 3, 2), ENVMON_ERR_INVALID_ARG);
  EXPECT_EQ(envmon_report_pem_alm(0, 0, 40, 1), ENVMON_ERR_INVALID_ARG);
  EXPECT_TRUE(take_faults().empty());
}

TEST_F(HwAlarms, SingleFeedKeepsFeedAlarmsOfALostInputBack) {
  make_trays({1});
  rm.pwr_cfg.single_feed_operation = 1;
  pemtest::standin().hal.single_feed = 1;
  apply(0, 0, kDcPem, bit(24) | bit(32) | bit(26));
  std::vector<uint32_t> tags;
  for (const auto& f : take_faults())
    if (f.state == 1) tags.push_back(f.tag);
  // Feed A has no input: its range and oring alarms and the no-input alarm
  // itself are not sent.
  EXPECT_EQ(tags, std::vector<uint32_t>{});
  EXPECT_FALSE(pem::alarm_set(pem(0, 0).alarms, 24));
  EXPECT_FALSE(pem::alarm_set(pem(0, 0).alarms, 32));
  // Without single feed every one is raised.
  TearDown();
  SetUp();
  make_trays({1});
  apply(0, 0, kDcPem, bit(24) | bit(32) | bit(26));
  for (const auto& f : take_faults())
    if (f.state == 1) tags.push_back(f.tag);
  EXPECT_EQ(tags, (std::vector<uint32_t>{74, 19, 71}));
}

class LowVolt : public PemFixture {
 protected:
  // A DC PEM with one input sensor, present, with no masking timer running.
  envmon_sensor_info& input() {
    make_trays({1});
    envmon_sensor_info& s = add_sensor(0, 0, 29, "Input Voltage A");
    apply(0, 0, kDcPem);
    envmon_pem_close_timer_fd(&pem(0, 0).envmon_pem_init_timer_fd);
    take_faults();
    return s;
  }
  void feed(envmon_sensor_info& s, uint32_t mv) {
    s.value = static_cast<int32_t>(mv);
    envmon_check_pem_low_volt_alm(0, 0, mv, &s);
  }
};

TEST_F(LowVolt, LevelsHoldUntilTheirReleaseThresholds) {
  struct Step {
    uint32_t mv;
    int32_t state;   // 0: nothing reported
    uint16_t level;
    const char* text;
  };
  const Step minor_run[] = {{43990, 1, 3, "Input Voltage A < 44V  (43990 mV)"},
                            {44010, 0, 0, nullptr},
                            {45001, 2, 3, "Input Voltage A < 44V  (45001 mV)"}};
  const Step major_run[] = {{41900, 1, 4, "Input Voltage A < 42V  (41900 mV)"},
                            {43400, 0, 0, nullptr},
                            {43600, 1, 3, "Input Voltage A < 44V  (43600 mV)"},
                            {44010, 0, 0, nullptr},
                            {45001, 2, 3, "Input Voltage A < 44V  (45001 mV)"}};
  for (const auto& run : {std::vector<Step>(std::begin(minor_run), std::end(minor_run)),
                          std::vector<Step>(std::begin(major_run), std::end(major_run))}) {
    envmon_sensor_info& s = input();
    for (const Step& st : run) {
      SCOPED_TRACE(st.mv);
      feed(s, st.mv);
      const auto faults = take_faults();
      if (st.state == 0) {
        EXPECT_TRUE(faults.empty());
        continue;
      }
      ASSERT_EQ(faults.size(), 1u);
      EXPECT_EQ(faults[0].tag, 26u);
      EXPECT_EQ(faults[0].state, st.state);
      EXPECT_EQ(faults[0].level, st.level);
      EXPECT_EQ(faults[0].name, st.text);
      EXPECT_EQ(faults[0].eid, pemtest::eid_text(&s.eid));
      EXPECT_EQ(faults[0].description, std::string(st.state == 1 ? "Power module is under " : "Power module condition ") +
                                           st.text + (st.state == 1 ? " condition." : " is cleared."));
    }
    EXPECT_EQ(s.fault_event, 1u);
    EXPECT_EQ(s.alarm_severity, 0);
    TearDown();
    SetUp();
  }
}

TEST_F(LowVolt, AFeedWithoutInputClearsWhateverTheValue) {
  envmon_sensor_info& s = input();
  feed(s, 41000);
  take_faults();
  pem(0, 0).pem_raw_data.hw_alarms = bit(32);  // feed A without input
  feed(s, 41000);
  const auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].state, 2);
  EXPECT_EQ(s.in_fault, 0);
}

TEST_F(LowVolt, NothingDuringAnUpgradeAndNoZeroOnTheQuietChassis) {
  envmon_sensor_info& s = input();
  pem(0, 0).status |= ENVMON_PEM_IN_FPD_UPG;
  feed(s, 41000);
  EXPECT_TRUE(take_faults().empty());
  EXPECT_EQ(s.fault_event, 0u);
  pem(0, 0).status &= ~ENVMON_PEM_IN_FPD_UPG;
  rm.chassis_type = 0x6001010B;
  feed(s, 0);
  EXPECT_TRUE(take_faults().empty());
  EXPECT_TRUE(tlg_test_contains("envmon_pem_lib_err", "envmon_check_pem_low_volt_alm:bad volt_value for PEM(0, 0)\n"));
}

TEST_F(LowVolt, AcModulesAreNotEvaluated) {
  make_trays({1});
  envmon_sensor_info& s = add_sensor(0, 0, 29, "Input Voltage");
  apply(0, 0, kAcPem);
  take_faults();
  envmon_pem_close_timer_fd(&pem(0, 0).envmon_pem_init_timer_fd);
  s.value = 30000;
  envmon_check_pem_low_volt_alm(0, 0, 30000, &s);
  EXPECT_TRUE(take_faults().empty());
}

class ChassisAlarms : public PemFixture {};

TEST_F(ChassisAlarms, EachChangeIsReportedOnce) {
  make_trays({1});
  EXPECT_EQ(envmon_process_chassis_ps_alm(6, 1), ENVMON_OK);
  EXPECT_EQ(envmon_process_chassis_ps_alm(6, 1), ENVMON_OK);
  EXPECT_EQ(envmon_process_chassis_ps_alm(1, 0), ENVMON_OK);  // never raised
  auto faults = take_faults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].tag, 40u);
  EXPECT_EQ(faults[0].level, 3);
  EXPECT_EQ(faults[0].eid, "65534/65534 3/1/0");
  EXPECT_EQ(pm.alarms, bit(6));
  EXPECT_EQ(envmon_process_chassis_ps_alm(6, 0), ENVMON_OK);
  EXPECT_EQ(take_faults().size(), 1u);
  EXPECT_EQ(pm.alarms, 0u);
  EXPECT_EQ(oper_counter(pem::kPwrAlmRaise), 1u);
  EXPECT_EQ(oper_counter(pem::kPwrAlmClear), 1u);
  for (uint32_t id : {0u, 7u}) EXPECT_EQ(envmon_process_chassis_ps_alm(id, 1), ENVMON_ERR_INVALID_ARG);
  EXPECT_EQ(envmon_process_chassis_ps_alm(3, 2), ENVMON_ERR_INVALID_ARG);
  EXPECT_EQ(pm.alarms, 0u);
}

TEST_F(ChassisAlarms, ShutdownActionGoesWithTheRaiseOnly) {
  make_trays({1});
  envmon_process_chassis_ps_alm(4, 1);
  envmon_process_chassis_ps_alm(4, 0);
  const auto faults = take_faults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].tag, 102u);
  EXPECT_EQ(faults[0].action, 1u);
  EXPECT_EQ(faults[0].level, 5);
  EXPECT_EQ(faults[0].description,
            "CHASSIS SHUTDOWN due to all power modules in failed or input voltage < 40V condition.");
  EXPECT_EQ(faults[1].action, 0u);
}

TEST_F(ChassisAlarms, LowBudgetShutdownTextByChassis) {
  struct Case {
    uint32_t chassis;
    const char* text;
  };
  const Case cases[] = {
      {0x60010000, "CHASSIS SHUTDOWN due to power budget not enough for RPs, fan trays and fabric cards."},
      {0x60020000, "CHASSIS SHUTDOWN due to power budget not enough for RPs, fan trays."},
  };
  for (const Case& c : cases) {
    make_trays({1});
    rm.chassis_type = c.chassis;
    envmon_report_chassis_ps_alm(5, 1);
    const auto faults = take_faults();
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].tag, 6u);
    EXPECT_EQ(faults[0].description, c.text);
    TearDown();
    SetUp();
  }
}

TEST_F(ChassisAlarms, RedundancyLostIsMinorOnlyWithTheMarkerAt2400W) {
  char root[] = "/tmp/pem_chassis_alm.XXXXXX";
  ASSERT_NE(mkdtemp(root), nullptr);
  setenv(SIM_PATH_ROOT_ENV, root, 1);
  struct Case {
    bool marker;
    uint32_t capacity;
    uint16_t level;
  };
  const Case cases[] = {{true, 2400, 3}, {true, 3000, 4}, {false, 2400, 4}};
  const std::string marker = std::string(root) + "/tmp/wyl_chassis_type_halverstrand";
  for (const Case& c : cases) {
    make_trays({1});
    ASSERT_EQ(sim_mkdirs((std::string(root) + "/tmp").c_str()), 0);
    if (c.marker)
      std::ofstream(marker) << "";
    else
      unlink(marker.c_str());
    pm.total_capacity = c.capacity;
    envmon_report_chassis_ps_alm(2, 1);
    envmon_report_chassis_ps_alm(2, 0);
    const auto faults = take_faults();
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_EQ(faults[0].tag, 22u);
    EXPECT_EQ(faults[0].level, c.level);
    EXPECT_EQ(faults[1].level, c.level);
    // The minor case writes its syslog message on raise and on clear.
    EXPECT_EQ(pemtest::calls("zul_errmsg"),
              c.level == 3 ? std::vector<std::string>(2, "zul_errmsg(POWER_REDUNDANCY_LOST, 3)")
                           : std::vector<std::string>{});
    TearDown();
    SetUp();
  }
  unlink(marker.c_str());
  rmdir((std::string(root) + "/tmp").c_str());
  rmdir(root);
  unsetenv(SIM_PATH_ROOT_ENV);
}

class LowVin : public PemFixture {
 protected:
  void dc(uint32_t tray, uint32_t index, uint32_t a, uint32_t b, uint32_t type = kDcPem) {
    apply(tray, index, type);
    pem(tray, index).pem_raw_data.input_voltage_a = a;
    pem(tray, index).pem_raw_data.input_voltage_b = b;
  }
  std::vector<std::pair<uint32_t, int32_t>> chassis_faults() {
    std::vector<std::pair<uint32_t, int32_t>> out;
    for (const auto& f : take_faults())
      if (f.eid == "65534/65534 3/1/0") out.emplace_back(f.tag, f.state);
    return out;
  }
};

TEST_F(LowVin, AllDcPemsLowRaisesAndTheHysteresisHolds) {
  make_trays({1, 1});
  envmon_sensor_info& in0 = add_sensor(0, 0, 29, "Input Voltage A");
  add_sensor(1, 0, 29, "Input Voltage A");
  dc(0, 0, 40500, 40600);
  dc(1, 0, 40100, 40000);
  take_faults();
  EXPECT_EQ(envmon_check_dc_pem_low_vin_alm(), ENVMON_OK);
  EXPECT_EQ(chassis_faults(), (std::vector<std::pair<uint32_t, int32_t>>{{5, 1}}));
  EXPECT_EQ(in0.update_rate, 2);
  EXPECT_EQ(pem(0, 0).voltage_data.reg_state & 0xf0000300u, 0xf0000100u);
  EXPECT_EQ(pemtest::standin().events, std::vector<uint32_t>{ENVMON_CEB_EV_REG_REQ});
  dc(0, 0, 41000, 41200);  // below the raised limit of 41750
  envmon_check_dc_pem_low_vin_alm();
  EXPECT_TRUE(chassis_faults().empty());
  dc(0, 0, 41800, 41200);  // one feed above: not low any more
  envmon_check_dc_pem_low_vin_alm();
  EXPECT_EQ(chassis_faults(), (std::vector<std::pair<uint32_t, int32_t>>{{5, 2}}));
  EXPECT_EQ(in0.update_rate, 10);
}

TEST_F(LowVin, OneAcModuleEndsTheCheck) {
  make_trays({1, 1});
  dc(0, 0, 30000, 30000);
  apply(1, 0, kAcPem);
  take_faults();
  EXPECT_EQ(envmon_check_dc_pem_low_vin_alm(), ENVMON_OK);
  EXPECT_TRUE(chassis_faults().empty());
}

TEST_F(LowVin, NoPemLeftToJudgeAsksForAChassisShutdown) {
  using Faults = std::vector<std::pair<uint32_t, int32_t>>;
  struct Case {
    const char* name;
    bool disabled;
    const char* platform;
    Faults expected;
  };
  // With graceful shutdown disabled the inputs count as all low instead.
  const Case cases[] = {{"judged", false, "tavrin", Faults{{102, 1}}},
                        {"graceful shutdown disabled", true, "tavrin", Faults{{5, 1}}},
                        {"excluded platform", false, "MIRNO-2", Faults{}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    make_trays({2});
    rm.vin_uv_shut_disabled = c.disabled ? 1 : 0;
    pemtest::standin().hal.platform = c.platform;
    dc(0, 0, 39999, 39999);
    dc(0, 1, 20000, 0);
    take_faults();
    envmon_check_dc_pem_low_vin_alm();
    EXPECT_EQ(chassis_faults(), c.expected);
    TearDown();
    SetUp();
  }
}

TEST_F(LowVin, WithTheShutdownRaisedAllLowDoesNotRaiseAgain) {
  make_trays({1});
  dc(0, 0, 40000, 40100);
  pm.alarms = bit(4);
  take_faults();
  envmon_check_dc_pem_low_vin_alm();
  EXPECT_TRUE(chassis_faults().empty());
}

TEST_F(LowVin, WaitsForTheRackNumber) {
  make_trays({1});
  free(nm.my_location);
  nm.my_location = nullptr;
  EXPECT_EQ(envmon_check_dc_pem_low_vin_alm(), ENVMON_ERR_NOT_CONNECTED);
}

}  // namespace
